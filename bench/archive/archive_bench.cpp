// Archive throughput next to gzip on the same bytes, and peak memory while archiving a large file.
//   archive_bench [--size-mib N] [--shop-mib N] [--big-mib N] [--runs N]
// Create and restore with one thread and with the machine's, beside gzip -1, pigz -1 and
// igzip -1 (those installed) and their decompressors to /dev/null, and tar -x of an uncompressed
// tar (what writing the files alone costs), on the mixed corpus and on a shop's books.
// Or, to compare the builds of two systems on the same files (scripts/bench-windows.sh):
//   archive_bench --make-corpus DIR [--size-mib N]       writes the corpus into DIR
//   archive_bench --corpus DIR --work DIR [--runs N] [--threads N]   create and restore only, on DIR's
//                                                    files, with N threads (0: the machine's)
// Or each block codec backend alone, on 16 KiB pieces of both data sets, by level:
//   archive_bench --codecs [--size-mib N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "backup/ArchiveFormat.h"
#include "backup/backup.h"
#include "bench/ftp/PeakMemory.h"
#include "backup/codec/CodecBackend.h"
#include "bench/shopdata/ShopBooks.h"

namespace fs = std::filesystem;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Table rows as the accounting program keeps them: fixed fields, repeated names, varying numbers.
void WriteRecords(const std::string& path, size_t bytes, uint32_t seed) {
    std::mt19937 engine(seed);
    auto rng = [&engine] { return static_cast<unsigned>(engine()); };
    static const char* const parties[] = {"Marrowby Trading", "Tallyvine Foods",  "Gaon Hardware", "Seoul Paper Co",
                                          "Hanbit Textiles",  "Daehan Logistics", "Mirae Office",  "Nuri Electric"};
    std::ofstream out(path, std::ios::binary);
    std::string line;
    size_t written = 0;
    for (uint32_t id = 1; written < bytes; ++id) {
        char buf[256];
        int n = std::snprintf(buf, sizeof buf, "%08u|2024-%02u-%02u|ITEM-%05u|%-20s|%6u|%9u.%02u|%c|거래처%03u\r\n", id,
                              1 + rng() % 12, 1 + rng() % 28, rng() % 5000, parties[rng() % 8], rng() % 1000,
                              rng() % 10000000, rng() % 100, "SPRI"[rng() % 4], rng() % 300);
        out.write(buf, n);
        written += static_cast<size_t>(n);
    }
}

void WriteRandom(const std::string& path, size_t bytes, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> chunk(65536 / 4);
    std::ofstream out(path, std::ios::binary);
    for (size_t done = 0; done < bytes; done += 65536) {
        for (auto& w : chunk) w = rng();
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  static_cast<std::streamsize>(std::min<size_t>(65536, bytes - done)));
    }
}

double BestSeconds(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        prepare();
        auto t0 = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int RssChild(const std::string& source, const std::string& archivePath) {
    nb::TBackupFile archive;
    if (!archive.Backup({source}, archivePath)) return 1;
    std::printf("peak: %ld\n", PeakMemoryKiB());
    return 0;
}

// The corpus: table rows (3/4) and incompressible bytes (1/4).
std::vector<std::string> MakeCorpus(const fs::path& folder, size_t corpusMiB) {
    fs::create_directories(folder);
    std::vector<std::string> files;
    size_t recordBytes = corpusMiB * 3 / 4 * 1024 * 1024, randomBytes = corpusMiB * 1024 * 1024 - recordBytes;
    for (int i = 0; i < 12; ++i) {
        files.push_back((folder / ("Table" + std::to_string(i) + ".DB")).string());
        WriteRecords(files.back(), recordBytes / 12, static_cast<uint32_t>(i + 1));
    }
    for (int i = 0; i < 2; ++i) {
        files.push_back((folder / ("Blob" + std::to_string(i) + ".BIN")).string());
        WriteRandom(files.back(), randomBytes / 2, static_cast<uint32_t>(100 + i));
    }
    return files;
}

// Create and restore alone on a given corpus, so that builds for two systems can be compared on
// the same files: one line each, "create|restore MIB_PER_SECOND".
int CompareOnCorpus(const fs::path& corpus, const fs::path& work, int runs, unsigned threads) {
    double total = 0;
    for (const auto& entry : fs::directory_iterator(corpus))
        if (entry.is_regular_file()) total += static_cast<double>(entry.file_size());
    fs::create_directories(work);
    const std::string archivePath = (work / "bench.bck").string(), restoreDir = (work / "restored").string();
    nb::TBackupFile archive;
    archive.Threads = threads;
    double create = BestSeconds(
        runs, [&] { fs::remove(archivePath); },
        [&] {
            if (!archive.Backup({(corpus / "*.*").string()}, archivePath)) std::exit(1);
        });
    double restore = BestSeconds(
        runs,
        [&] {
            fs::remove_all(restoreDir);
            fs::create_directories(restoreDir);
        },
        [&] {
            if (!archive.Restore(archivePath, restoreDir)) std::exit(1);
        });
    std::printf("corpus %.1f MiB\ncreate %.1f\nrestore %.1f\n", total / kMiB, total / kMiB / create,
                total / kMiB / restore);
    fs::remove_all(work);
    return 0;
}

bool Installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void CompareOnData(const std::string& label, const std::vector<std::string>& files, const fs::path& work, int runs) {
    double total = 0;
    std::string fileArgs;
    for (const auto& f : files) {
        total += static_cast<double>(fs::file_size(f));
        fileArgs.append(" ").append(Quote(f));
    }
    const fs::path folder = fs::path(files.front()).parent_path();
    const std::string archivePath = (work / "bench.bck").string(), restoreDir = (work / "restored").string();
    const std::string gz = (work / "bench.gz").string(), tarPath = (work / "plain.tar").string();
    auto mib = [&](double seconds) { return total / kMiB / seconds; };
    auto clearRestore = [&] {
        fs::remove_all(restoreDir);
        fs::create_directories(restoreDir);
    };
    std::printf("\n%s: %.1f MiB in %zu files, %u cores\n", label.c_str(), total / kMiB, files.size(),
                std::max(1u, std::thread::hardware_concurrency()));

    double create[2], restore[2], igzipCreate = 0, igzipRestore = 0;
    const unsigned threads[2] = {1, 0};
    nb::TBackupFile archive;
    for (int t = 0; t < 2; ++t) {
        archive.Threads = threads[t];
        create[t] = BestSeconds(
            runs, [&] { fs::remove(archivePath); },
            [&] {
                if (!archive.Backup({(folder / "*.*").string()}, archivePath)) std::exit(1);
            });
        restore[t] = BestSeconds(runs, clearRestore, [&] {
            if (!archive.Restore(archivePath, restoreDir)) std::exit(1);
        });
    }
    double archiveSize = static_cast<double>(fs::file_size(archivePath));
    std::printf("  create   1 thread %7.1f MiB/s   all cores %7.1f MiB/s (%.2fx)   archive %.1f MiB\n", mib(create[0]),
                mib(create[1]), create[0] / create[1], archiveSize / kMiB);
    std::printf("  restore  1 thread %7.1f MiB/s   all cores %7.1f MiB/s (%.2fx)\n", mib(restore[0]), mib(restore[1]),
                restore[0] / restore[1]);
    for (const char* tool : {"gzip", "pigz", "igzip"}) {
        if (!Installed(tool)) {
            std::printf("  %-6s not installed: skipped\n", tool);
            continue;
        }
        double pack = BestSeconds(
            runs, [&] { fs::remove(gz); }, [&] { Shell(std::string(tool) + " -1 -c" + fileArgs + " > " + Quote(gz)); });
        double unpack = BestSeconds(
            runs, [] {}, [&] { Shell(std::string(tool) + " -d -c " + Quote(gz) + " > /dev/null"); });
        std::printf("  %-6s -1 %7.1f MiB/s (%.1f MiB)   -d to /dev/null %7.1f MiB/s\n", tool, mib(pack),
                    static_cast<double>(fs::file_size(gz)) / kMiB, mib(unpack));
        if (std::string(tool) == "igzip") igzipCreate = pack, igzipRestore = unpack;
    }
    double untar = 0;
    if (Installed("tar")) {
        Shell("tar -cf " + Quote(tarPath) + " -C " + Quote(folder.string()) + " .");
        untar = BestSeconds(runs, clearRestore, [&] { Shell("tar -xf " + Quote(tarPath) + " -C " + Quote(restoreDir)); });
        std::printf("  tar -x of an uncompressed tar (writing the files alone) %7.1f MiB/s\n", mib(untar));
    } else {
        std::printf("  tar    not installed: skipped\n");
    }
    if (igzipCreate > 0 && untar > 0)
        std::printf("  all cores beside igzip: create %.2fx its speed, restore %.2fx igzip -d's, %.2fx tar -x's\n",
                    igzipCreate / create[1], igzipRestore / restore[1], untar / restore[1]);
    fs::remove(archivePath);
    fs::remove(gz);
    fs::remove(tarPath);
    fs::remove_all(restoreDir);
}

std::vector<std::vector<uint8_t>> Pieces(const std::vector<std::string>& files) {
    std::vector<std::vector<uint8_t>> pieces;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        for (;;) {
            std::vector<uint8_t> piece(nb::archive::kPieceSize);
            in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
            if (in.gcount() <= 0) break;
            piece.resize(static_cast<size_t>(in.gcount()));
            pieces.push_back(std::move(piece));
        }
    }
    return pieces;
}

// One thread, one backend: deflate MiB/s and packed size beside zlib's at each level, and
// inflate MiB/s of zlib's level-1 blocks.
void MeasureCodecs(const std::string& label, const std::vector<std::string>& files) {
    using namespace nb::archive;
    auto pieces = Pieces(files);
    double total = 0;
    for (const auto& p : pieces) total += static_cast<double>(p.size());
    std::vector<uint8_t> out(kPieceSize);
    auto zlib = MakeZlibBackend();
    std::vector<std::vector<uint8_t>> streams;  // zlib level 1, the inflaters' input
    double inflated = 0;
    for (const auto& p : pieces) {
        int32_t size = 0;
        if (zlib->Deflate(p.data(), static_cast<int32_t>(p.size()), out.data(), 1, size) == Packed::Compressed) {
            streams.emplace_back(out.begin(), out.begin() + size);
            inflated += static_cast<double>(p.size());
        }
    }
    std::printf("%s: %.1f MiB in %zu pieces of 16 KiB\n", label.c_str(), total / kMiB, pieces.size());
    double zlibPacked[10] = {};
    for (const auto& backend : AvailableBackends()) {
        auto codec = backend.Make();
        for (int level : {1, 6, 9}) {
            double packed = 0;
            double seconds = BestSeconds(
                2, [] {},
                [&] {
                    packed = 0;
                    for (const auto& p : pieces) {
                        int32_t size = 0;
                        auto r = codec->Deflate(p.data(), static_cast<int32_t>(p.size()), out.data(), level, size);
                        packed += r == Packed::Compressed ? size : static_cast<double>(p.size());
                    }
                });
            if (backend.Name == "zlib") zlibPacked[level] = packed;
            std::printf("  %-10s deflate level %d %7.1f MiB/s  packed %5.1f%% of zlib's\n", backend.Name.c_str(), level,
                        total / kMiB / seconds, 100.0 * packed / zlibPacked[level]);
        }
        double seconds = BestSeconds(
            2, [] {},
            [&] {
                for (const auto& s : streams) {
                    int32_t produced = 0;
                    if (!codec->Inflate(s.data(), static_cast<int32_t>(s.size()), out.data(), produced)) std::exit(1);
                }
            });
        std::printf("  %-10s inflate         %7.1f MiB/s (of output)\n", backend.Name.c_str(),
                    inflated / kMiB / seconds);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--rss-child") return RssChild(argv[2], argv[3]);
    if (argc >= 2 && std::string(argv[1]) == "--codecs") {
        size_t mib = argc == 4 ? std::stoul(argv[3]) : 64;
        fs::path work = fs::temp_directory_path() / ("archive_bench." + std::to_string(std::random_device{}()));
        MeasureCodecs("records and incompressible bytes", MakeCorpus(work / "corpus", mib));
        MeasureCodecs("shop's books", nb::bench::MakeShopBooks((work / "shop").string(), mib * 1024 * 1024));
        fs::remove_all(work);
        return 0;
    }
    size_t corpusMiB = 64, shopMiB = 64, bigMiB = 300;
    int runs = 3;
    unsigned threads = 0;
    std::string makeCorpus, corpus, workDir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--size-mib") corpusMiB = std::stoul(argv[i + 1]);
        if (option == "--big-mib") bigMiB = std::stoul(argv[i + 1]);
        if (option == "--shop-mib") shopMiB = std::stoul(argv[i + 1]);
        if (option == "--runs") runs = std::stoi(argv[i + 1]);
        if (option == "--threads") threads = static_cast<unsigned>(std::stoul(argv[i + 1]));
        if (option == "--make-corpus") makeCorpus = argv[i + 1];
        if (option == "--corpus") corpus = argv[i + 1];
        if (option == "--work") workDir = argv[i + 1];
    }
    if (!makeCorpus.empty()) return MakeCorpus(makeCorpus, corpusMiB).empty() ? 1 : 0;
    if (!corpus.empty()) {
        if (workDir.empty()) {
            std::fprintf(stderr, "--corpus needs --work\n");
            return 2;
        }
        return CompareOnCorpus(corpus, workDir, runs, threads);
    }
    fs::path work = fs::temp_directory_path() / ("archive_bench." + std::to_string(std::random_device{}()));
    CompareOnData("mixed corpus (3/4 records, 1/4 incompressible)", MakeCorpus(work / "corpus", corpusMiB), work, runs);
    fs::remove_all(work / "corpus");
    CompareOnData("shop's books (tables, indexes, memos)",
                  nb::bench::MakeShopBooks((work / "shop").string(), shopMiB * 1024 * 1024), work, runs);
    fs::remove_all(work / "shop");
    std::string big = (work / "Big.DB").string();
    WriteRecords(big, bigMiB * 1024 * 1024 / 2, 7);
    {
        std::ofstream tail(big, std::ios::binary | std::ios::app);
        std::mt19937 rng(9);
        std::vector<char> chunk(65536);
        for (size_t done = 0; done < bigMiB * 1024 * 1024 / 2; done += chunk.size()) {
            for (auto& c : chunk) c = static_cast<char>(rng());
            tail.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }
    std::string rssOut = (work / "rss.txt").string();
    Shell(Quote(argv[0]) + " --rss-child " + Quote(big) + " " + Quote((work / "big.bck").string()) + " > " +
          Quote(rssOut));
    std::ifstream rss(rssOut);
    std::string label;
    double kib = -1;
    rss >> label >> kib;
    if (kib < 0)
        std::printf("peak RSS: not measured (the child run could not be started or could not tell)\n");
    else
        std::printf("peak RSS creating an archive of a %.0f MiB file: %.1f MiB (target <= 32 MiB)\n",
                    static_cast<double>(fs::file_size(big)) / kMiB, kib / 1024.0);
    fs::remove_all(work);
    return 0;
}
