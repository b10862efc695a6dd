#pragma once
// Archive bytes built and taken apart by hand, independently of the component, so that the
// tests check the format itself.
#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup.h"

namespace nb::test {

std::string Int32(int32_t value);
int32_t Int32At(const std::string& bytes, size_t offset);
// zlib stream of content at the given level (a complete RFC 1950 stream).
std::string Zlib(const std::string& content, int level = 1);
// A block's content by plain zlib; throws std::runtime_error when zlib refuses it.
std::string Inflate(const std::string& stream);

class ArchiveBytes {
public:
    ArchiveBytes& Header(const std::string& title, int32_t totalSize, int32_t fileCount);
    ArchiveBytes& Name(const std::string& name);                  // length and bytes
    ArchiveBytes& Entry(const std::string& name, int32_t stamp);  // name, stamp, marker
    ArchiveBytes& Marker();
    ArchiveBytes& Compressed(const std::string& content);  // one compressed block
    ArchiveBytes& Stored(const std::string& content);      // one stored block
    ArchiveBytes& Word(int32_t value);
    ArchiveBytes& Raw(const std::string& bytes);
    ArchiveBytes& EndSection() { return Word(0); }
    ArchiveBytes& EndArchive() { return Word(0); }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// One parsed entry: its blocks as written (positive length: compressed) and its content.
struct ParsedBlock {
    int32_t Length;
    std::string Content;
};
struct ParsedEntry {
    std::string Name;
    int32_t Stamp = 0;
    std::vector<std::vector<ParsedBlock>> Sections;
    std::string Content() const;
};
struct ParsedArchive {
    std::string Title;
    int32_t TotalSize = 0, FileCount = 0;
    std::vector<ParsedEntry> Entries;
    bool Ended = false;  // the end marker was reached
};
// Walks every volume following continuation records; throws std::runtime_error on a fault.
ParsedArchive ParseArchive(const std::string& firstVolume);

// Restore from ":STREAM" over the given bytes.
bool RestoreBytes(TBackupFile& archive, const std::string& bytes, const std::string& target);

// Records the reports of a run.
struct RunLog {
    std::vector<int32_t> Errors;
    std::vector<int> Percents;
    void Attach(TBackupFile& archive);
};

}  // namespace nb::test
