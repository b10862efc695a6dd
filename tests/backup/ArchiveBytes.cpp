#include "tests/backup/ArchiveBytes.h"

#include <stdexcept>
#include <zlib.h>

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "tests/support/TestSupport.h"

namespace nb::test {

std::string Int32(int32_t value) {
    auto v = static_cast<uint32_t>(value);
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

int32_t Int32At(const std::string& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) throw std::runtime_error("archive ends at " + std::to_string(offset));
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[offset + static_cast<size_t>(i)]);
    return static_cast<int32_t>(v);
}

std::string Zlib(const std::string& content, int level) {
    uLongf size = compressBound(content.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(content.data()),
              content.size(), level);
    out.resize(size);
    return out;
}

ArchiveBytes& ArchiveBytes::Header(const std::string& title, int32_t totalSize, int32_t fileCount) {
    return Word(static_cast<int32_t>(title.size())).Raw(title).Word(totalSize).Word(fileCount);
}
ArchiveBytes& ArchiveBytes::Name(const std::string& name) { return Word(static_cast<int32_t>(name.size())).Raw(name); }
ArchiveBytes& ArchiveBytes::Entry(const std::string& name, int32_t stamp) { return Name(name).Word(stamp).Marker(); }
ArchiveBytes& ArchiveBytes::Marker() { return Raw(std::string("EC2\0", 4)); }
ArchiveBytes& ArchiveBytes::Compressed(const std::string& content) {
    std::string z = Zlib(content);
    return Word(static_cast<int32_t>(z.size())).Raw(z);
}
ArchiveBytes& ArchiveBytes::Stored(const std::string& content) {
    return Word(-static_cast<int32_t>(content.size())).Raw(content);
}
ArchiveBytes& ArchiveBytes::Word(int32_t value) { return Raw(Int32(value)); }
ArchiveBytes& ArchiveBytes::Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}

std::string ParsedEntry::Content() const {
    std::string all;
    for (const auto& section : Sections)
        for (const auto& block : section) all += block.Content;
    return all;
}

std::string Inflate(const std::string& data) {
    std::string out(16384, '\0');
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                   data.size()) != Z_OK)
        throw std::runtime_error("bad zlib block");
    out.resize(size);
    return out;
}

namespace {

std::vector<ParsedBlock> ParseSection(const std::string& bytes, size_t& at) {
    if (bytes.compare(at, 4, std::string("EC2\0", 4)) != 0) throw std::runtime_error("bad marker");
    at += 4;
    std::vector<ParsedBlock> blocks;
    for (;;) {
        int32_t length = Int32At(bytes, at);
        at += 4;
        if (length == 0) return blocks;
        size_t size = static_cast<size_t>(length < 0 ? -static_cast<int64_t>(length) : length);
        std::string data = bytes.substr(at, size);
        at += size;
        blocks.push_back({length, length < 0 ? data : Inflate(data)});
    }
}

}  // namespace

ParsedArchive ParseArchive(const std::string& firstVolume) {
    ParsedArchive archive;
    std::string path = firstVolume;
    std::string bytes = ReadFile(path);
    size_t at = 0;
    int32_t titleLength = Int32At(bytes, at);
    archive.Title = bytes.substr(4, static_cast<size_t>(titleLength));
    at = 4 + static_cast<size_t>(titleLength);
    archive.TotalSize = Int32At(bytes, at);
    archive.FileCount = Int32At(bytes, at + 4);
    at += 8;
    for (;;) {
        int32_t length = Int32At(bytes, at);
        at += 4;
        if (length == 0) {
            archive.Ended = true;
            return archive;
        }
        std::string name = bytes.substr(at, static_cast<size_t>(length));
        at += static_cast<size_t>(length);
        if (name.rfind("NEXT:DISK", 0) == 0) {
            if (at != bytes.size()) throw std::runtime_error("bytes after a continuation record");
            // Built in place: GCC 12 warns (-Wrestrict) on "." + a temporary when optimizing.
            std::string extension = name.substr(8);
            extension[0] = '.';
            path = ChangeFileExt(path, extension);
            bytes = ReadFile(path);
            at = 0;
        } else {
            archive.Entries.push_back({name, Int32At(bytes, at), {}});
            at += 4;
        }
        archive.Entries.back().Sections.push_back(ParseSection(bytes, at));
    }
}

bool RestoreBytes(TBackupFile& archive, const std::string& bytes, const std::string& target) {
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream.SetPosition(0);
    archive.RestoreStream = &stream;
    try {
        bool ok = archive.Restore(":STREAM", target);
        archive.RestoreStream = nullptr;
        return ok;
    } catch (...) {
        archive.RestoreStream = nullptr;
        throw;
    }
}

void RunLog::Attach(TBackupFile& archive) {
    archive.OnError = [this](TBackupFile&, int32_t code, std::string) { Errors.push_back(code); };
    archive.OnProgress = [this](TBackupFile&, std::string, TPercentage percent, bool&) { Percents.push_back(percent); };
}

}  // namespace nb::test
