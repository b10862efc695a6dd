// Blocks packed and unpacked on a pool of threads: the same archive and the same events, in the
// same order and on the calling thread, whatever the pool's size; a cancel or a bad block stops
// the run where it stops without a pool.
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "backup/ArchiveFormat.h"
#include "backup/BlockPool.h"
#include "backup/backup.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "tests/backup/ArchiveBytes.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::ArchiveBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

namespace fs = std::filesystem;

constexpr unsigned kPoolSizes[] = {1, 2, 8};
constexpr int32_t kStamp = 0x58A54C21;

std::string Text(size_t n) {
    std::string s;
    for (size_t i = 0; s.size() < n; ++i) s += "row " + std::to_string(i * 7919 % 10007) + "|Gaon Hardware|거래처\r\n";
    return s.substr(0, n);
}

// Every progress event as "file percent", with whether each came on the calling thread.
struct Events {
    std::vector<std::string> Seen;
    bool OnCaller = true;
    void Attach(TBackupFile& archive) {
        auto caller = std::this_thread::get_id();
        archive.OnProgress = [this, caller](TBackupFile&, std::string file, TPercentage percent, bool&) {
            std::string name = fs::path(file).filename().string();
            if (name.rfind("FID", 0) == 0) name = "(file list)";  // a temporary file's own name
            Seen.push_back(name + " " + std::to_string(percent));
            OnCaller = OnCaller && std::this_thread::get_id() == caller;
        };
    }
};

class PoolTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string source = dir / "src";
    void SetUp() override {
        fs::create_directories(source);
        WriteFile(source + "/big.db", Text(300000));
        WriteFile(source + "/random.bin", test::RandomBytes(70000, 3));
        WriteFile(source + "/empty.db", "");
        WriteFile(source + "/small.db", "small");
    }
    // The volumes' bytes in order.
    static std::vector<std::string> Volumes(const std::string& first) {
        std::vector<std::string> volumes{ReadFile(first)};
        for (unsigned n = 2; FileExists(VolumePath(first, n)); ++n) volumes.push_back(ReadFile(VolumePath(first, n)));
        return volumes;
    }
};

TEST_F(PoolTest, ArchiveAndEventsAreTheSameWhateverThePoolSize) {
    for (int32_t maxSize : {0, 60000}) {
        std::vector<std::string> firstVolumes, firstEvents, firstRestoreEvents;
        for (unsigned threads : kPoolSizes) {
            SCOPED_TRACE("threads " + std::to_string(threads) + ", volume limit " + std::to_string(maxSize));
            std::string path = dir / ("t" + std::to_string(threads) + "m" + std::to_string(maxSize) + ".bck");
            TBackupFile archive;
            archive.Threads = threads;
            archive.MaxSize = maxSize;
            archive.SaveFileID = true;
            archive.OnNeedDisk = [](TBackupFile&, uint16_t, bool&) {};
            Events events;
            events.Attach(archive);
            ASSERT_TRUE(archive.Backup({source + "/*.*"}, path));
            EXPECT_TRUE(events.OnCaller);
            auto volumes = Volumes(path);
            // The file list's stamp is its temporary file's time, which differs from run to run.
            constexpr size_t kListStamp = 12 + 4 + 9;  // after the header and the name record
            volumes.front().replace(kListStamp, 4, 4, '\0');
            EXPECT_EQ(volumes.size() > 2, maxSize != 0);

            std::string target = dir / ("r" + std::to_string(threads) + "m" + std::to_string(maxSize));
            Events restoreEvents;
            restoreEvents.Attach(archive);
            ASSERT_TRUE(archive.Restore(path, target));
            EXPECT_TRUE(restoreEvents.OnCaller);
            for (const char* name : {"big.db", "random.bin", "empty.db", "small.db"})
                EXPECT_EQ(ReadFile(target + "/" + name), ReadFile(source + "/" + name)) << name;
            EXPECT_TRUE(VerifyArchive(path, threads).Ok);

            if (threads == kPoolSizes[0]) {
                firstVolumes = volumes;
                firstEvents = events.Seen;
                firstRestoreEvents = restoreEvents.Seen;
                continue;
            }
            EXPECT_EQ(volumes, firstVolumes);
            EXPECT_EQ(events.Seen, firstEvents);
            EXPECT_EQ(restoreEvents.Seen, firstRestoreEvents);
        }
    }
}

TEST_F(PoolTest, CancelStopsAtTheNextBlock) {
    std::string reference = dir / "reference.bck";
    ASSERT_TRUE(TBackupFile().Backup({source + "/big.db"}, reference));
    for (unsigned threads : kPoolSizes) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        TBackupFile archive;
        archive.Threads = threads;
        int blocks = 0;
        archive.OnProgress = [&](TBackupFile&, std::string file, TPercentage, bool& goOn) {
            if (!file.empty() && ++blocks == 3) goOn = false;
        };
        std::string path = dir / "cut.bck";
        EXPECT_FALSE(archive.Backup({source + "/big.db"}, path));
        EXPECT_EQ(blocks, 3);
        // The entry's section holds the three blocks and its end, and nothing follows.
        std::string bytes = ReadFile(path), content;
        size_t at = bytes.find(std::string("EC2\0", 4)) + 4;
        for (int32_t length; (length = test::Int32At(bytes, at)) != 0; at += 4 + static_cast<size_t>(length))
            content += test::Inflate(bytes.substr(at + 4, static_cast<size_t>(length)));
        EXPECT_EQ(at + 4, bytes.size());
        EXPECT_EQ(content, ReadFile(source + "/big.db").substr(0, 3 * 16384));

        blocks = 0;
        std::string target = dir / ("cut" + std::to_string(threads));
        EXPECT_FALSE(archive.Restore(reference, target));
        EXPECT_EQ(blocks, 3);
        EXPECT_EQ(ReadFile(target + "/big.db"), ReadFile(source + "/big.db").substr(0, 3 * 16384));
    }
}

// Blocks 1 to 3 sound, then a bad one, then more that must never be written.
std::string WithBadFourthBlock(const std::string& bad) {
    ArchiveBytes bytes;
    bytes.Header("", 6 * 16384, 1).Entry("c:\\z.db", kStamp);
    for (char c : std::string("abc")) bytes.Compressed(std::string(16384, c));
    bytes.Raw(bad);
    for (char c : std::string("efgh")) bytes.Compressed(std::string(16384, c));
    return bytes.EndSection().EndArchive().Bytes();
}

TEST_F(PoolTest, ABadBlockSurfacesAtThatBlock) {
    std::string broken = test::Zlib(std::string(16384, 'd'));
    broken[broken.size() / 2] ^= 0x55;
    std::string good = std::string(16384, 'a') + std::string(16384, 'b') + std::string(16384, 'c');
    for (unsigned threads : kPoolSizes) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        TBackupFile archive;
        archive.Threads = threads;
        test::RunLog log;
        log.Attach(archive);
        std::string target = dir / ("bad" + std::to_string(threads));

        // A stream zlib refuses: its partial output written, error 6, nothing after it.
        EXPECT_FALSE(test::RestoreBytes(
            archive, WithBadFourthBlock(test::Int32(static_cast<int32_t>(broken.size())) + broken), target));
        EXPECT_EQ(log.Errors, std::vector<int32_t>{beCompressionError});
        EXPECT_EQ(log.Percents.size(), 5u) << "four blocks and the final event";
        std::string written = ReadFile(target + "/z.db");
        EXPECT_EQ(written.substr(0, good.size()), good);
        EXPECT_LE(written.size(), good.size() + 16384);

        // A block length the format forbids: error 1 once the three before it are written.
        log = {};
        log.Attach(archive);
        EXPECT_FALSE(test::RestoreBytes(archive, WithBadFourthBlock(test::Int32(16385)), target));
        EXPECT_EQ(log.Errors, std::vector<int32_t>{beCannotReadFile});
        EXPECT_EQ(log.Percents.size(), 4u) << "three blocks and the final event";
        EXPECT_EQ(ReadFile(target + "/z.db"), good);

        // The verifier names the bad block's place.
        std::string path = dir / "bad.bck";
        WriteFile(path, WithBadFourthBlock(test::Int32(static_cast<int32_t>(broken.size())) + broken));
        VerifyResult result = VerifyArchive(path, threads);
        EXPECT_FALSE(result.Ok);
        size_t fourth = 12 + (4 + 7 + 4 + 4) + 3 * (4 + test::Zlib(std::string(16384, 'a')).size());
        EXPECT_NE(result.Problem.find("offset " + std::to_string(fourth) + ":"), std::string::npos) << result.Problem;
    }
}

// A file or section left early (a cancel, a bad block) leaves jobs on the threads; the next one
// clears the pool while they run, and must neither hang nor hand back their stale results.
TEST(BlockPoolTest, ClearingWhileThreadsWorkNeitherHangsNorKeepsOldJobs) {
    archive::BlockPool pool(2);
    const std::string data = test::RandomBytes(archive::kPieceSize, 9);
    for (int round = 0; round < 2000; ++round) {
        while (!pool.Full()) {
            archive::BlockJob& job = pool.Next();
            job.Kind = archive::BlockJob::Work::Deflate;
            job.Count = archive::kPieceSize;
            std::copy(data.begin(), data.end(), job.In.begin());
            pool.Submit();
        }
        pool.Clear();
        ASSERT_TRUE(pool.Empty()) << "round " << round;
    }
    archive::BlockJob& job = pool.Next();
    job.Kind = archive::BlockJob::Work::Deflate;
    job.Count = 5;
    std::copy_n("aaaaa", 5, job.In.begin());
    pool.Submit();
    EXPECT_EQ(pool.Front().Result, archive::Packed::Compressed);
    EXPECT_LT(pool.Front().PackedSize, 20);
}

}  // namespace
}  // namespace nb
