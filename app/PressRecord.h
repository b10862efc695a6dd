#pragma once
// What this computer remembers of its last successful press for each user ID and data folder:
// which server copy it uploaded or downloaded and the state of its tables then. The data guard compares against it
// before a press could lose work.
#include <cstdint>
#include <string>
#include <vector>

namespace nb {

// One table file of the data folder.
struct TTableState {
    std::string Name;
    int64_t Size = 0;
    int64_t WriteTime = 0;  // nanoseconds since 1970, as fine as the file system keeps it
    bool operator==(const TTableState&) const = default;
};

// The server's copy as the server describes it: SIZE and MDTM, where it answers them.
struct TServerCopy {
    int64_t Size = -1;  // -1: not answered
    std::string Stamp;  // MDTM's "YYYYMMDDHHMMSS[.sss]" (UTC); empty: not answered
    bool Exists() const { return Size >= 0 || !Stamp.empty(); }
    bool operator==(const TServerCopy&) const = default;
};

struct TPressRecord {
    TServerCopy Server;
    std::string Title;  // the archive's title
    std::vector<TTableState> Tables;
};

// The 33 name patterns of the accounting program's tables, in the order they are packed.
extern const char* const DataFilePatterns[33];

// The tables of the data folder: every file one of the 33 patterns names, by name.
std::vector<TTableState> CurrentTables(const std::string& dataFolder);
// Whether an archive entry's stored name is one of the tables.
bool IsTableName(const std::string& fileName);

// The record file: "LastPress.txt" beside the settings file.
std::string PressRecordFile(const std::string& settingsFile);
// False when there is no record for userID and dataFolder or the file cannot be read whole.
bool ReadPressRecord(const std::string& file, const std::string& userID, const std::string& dataFolder,
                     TPressRecord& record);
// Replaces that record, keeping every other one; durable once it answers true.
bool WritePressRecord(const std::string& file, const std::string& userID, const std::string& dataFolder,
                      const TPressRecord& record);

}  // namespace nb
