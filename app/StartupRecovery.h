#pragma once
// What every start of nestbridge and nestbridge-cli does first: a download whose swap was cut
// short (crash, kill, power cut) is completed or undone, so that the data folder holds exactly
// the old set of data files or exactly the new one, and what a dead run left behind (staging
// and set-aside folders, temporary downloads) is removed.
#include <cstdint>
#include <string>

#include "platform/Result.h"

namespace nb {

enum class TRecoveryOutcome : uint8_t {
    Clean,             // nothing was left
    LeftoversRemoved,  // a dead run's temporary files were removed; no data file had moved
    RolledBack,        // the data folder is back to the old set
    Completed,         // the data folder now holds the new set
    Busy,              // another running process is working on the data folder: left alone
    Failed,            // could not finish; everything is kept where it is for the next start
};

struct TRecoveryResult {
    TRecoveryOutcome Outcome = TRecoveryOutcome::Clean;
    std::string DataFolder;
    std::string Problem;  // why it failed
};

// Recovers dataFolder. Cheap when there is nothing to do; never touches a data folder another
// live process is restoring.
TRecoveryResult RecoverInterruptedSwap(const std::string& dataFolder);
// Recovers the data folder the registry names, the one the window works on.
TRecoveryResult RecoverInterruptedSwap();
// The same for a caller that already holds the data folder's lock.
TRecoveryResult RecoverInterruptedSwapLocked(const std::string& dataFolder);

// The way back of a swap that stopped short, driven by its journal: the files it brought in go
// back to staging, the set-aside ones come home, the work area goes. The swap's own undo and
// the next start's recovery both take it. A failure (the work area kept) when a file cannot go back.
TResult<> RollBackSwap(const std::string& dataFolder);

// A line for the user about what was done; empty when there was nothing worth saying.
std::string RecoveryNotice(const TRecoveryResult& result);

}  // namespace nb
