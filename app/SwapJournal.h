#pragma once
// The journal that makes the data folder's swap crash-safe. Everything a swap makes lives in
// one hidden work area inside the data folder (same file system, so every move is a rename):
//
//   <data folder>/.nestbridge-swap/journal    the phase, rewritten atomically and durably
//   <data folder>/.nestbridge-swap/staging/   the restored files, until they move in
//   <data folder>/.nestbridge-swap/setaside/  the old data files, until the new ones stand
//
// A work area without a journal holds nothing of value: the journal is written before any data
// file moves and removed only once the data folder durably holds the set that stays.
#include <cstdint>
#include <string>
#include <vector>

namespace nb {

enum class TSwapPhase : uint8_t {
    Preparing,    // restoring into staging: the data folder is the old set (or being set aside)
    MovingIn,     // committed: every old file is set aside, staging is complete and durable
    RollingBack,  // going back to the old set
};

const char* SwapPhaseName(TSwapPhase phase);

struct TSwapWorkArea {
    explicit TSwapWorkArea(const std::string& dataFolder);
    std::string DataFolder;
    std::string Root;
    std::string Journal;
    std::string Staging;
    std::string SetAside;
};

struct TSwapRecord {
    TSwapPhase Phase = TSwapPhase::Preparing;
    // From MovingIn on: the names in staging at the commit, i.e. every file the swap brings in.
    std::vector<std::string> Restored;
};

// Text form of a record; names are escaped so that any byte but NUL survives.
std::string EncodeSwapRecord(const TSwapRecord& record);
// False when text is not a whole record (a journal is never torn, but a disk may be damaged).
bool DecodeSwapRecord(const std::string& text, TSwapRecord& record);

class TSwapJournal {
public:
    explicit TSwapJournal(const std::string& dataFolder) : area_(dataFolder) {}

    const TSwapWorkArea& Area() const { return area_; }
    // Creates the work area and writes the Preparing record, both durable. False when the
    // work area already exists (an earlier run was not recovered) or cannot be made.
    bool Begin();
    // Replaces the record, durably.
    bool Write(const TSwapRecord& record);
    // Removes the journal, then what is left of the work area. Call only once the data folder
    // holds the set that stays and is durable.
    bool Finish();

private:
    TSwapWorkArea area_;
};

// Reads the journal of a work area; false when there is none or it cannot be decoded.
bool ReadSwapJournal(const TSwapWorkArea& area, TSwapRecord& record);

}  // namespace nb
