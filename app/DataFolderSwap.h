#pragma once
// Replaces the plain files of the data folder by the contents of archives without ever
// leaving it half done: the archives are verified and restored into a hidden staging folder
// beside the data files first, and the data files are only set aside (and removed at the end)
// so that any failure can put everything back. A journal (app/SwapJournal.h) records the phase
// durably, so that after a crash the next start completes or undoes the swap.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/SwapJournal.h"
#include "platform/Result.h"

namespace nb {

// The steps in the order they run.
enum class TSwapStep : uint8_t {
    VerifyArchives,      // every archive exists (its blocks are all inflated by the restore into staging)
    FindReadOnlyFiles,   // no plain data file is read-only or held open by another program
    PrepareStaging,      // the work area with its journal and an empty staging folder
    RestoreIntoStaging,  // each archive, in order, restored into the staging folder, made durable
    SetAsideDataFiles,   // the plain data files moved into the set-aside folder
    Commit,              // the journal says: from here on the new set goes in
    MoveRestoredFiles,   // the restored files moved into the data folder
    RemoveSetAside,      // the set-aside files removed
    Done,
};

const char* SwapStepName(TSwapStep step);

// The data folder's plain files: neither hidden, nor system, nor folders.
std::vector<std::string> PlainFileNames(const std::string& folder);
// What a swap replaces: the plain files and every symbolic link that is not hidden, whatever it
// points to (the link itself moves, never what it points to).
std::vector<std::string> DataFileNames(const std::string& folder);
// The plain files the platform would refuse to delete (read-only).
std::vector<std::string> ReadOnlyPlainFiles(const std::string& folder);

// Why a swap stopped, where one file is the cause (ProblemFile() names it).
enum class TSwapFault : uint8_t { None, ReadOnlyFile, FileInUse, FolderInTheWay, DiskFull, Other };

class TDataFolderSwap {
public:
    using TRestoreFunction = std::function<bool(const std::string& archivePath, const std::string& targetFolder)>;

    TDataFolderSwap(std::string dataFolder, std::vector<std::string> archives, TRestoreFunction restore);
    TDataFolderSwap(const TDataFolderSwap&) = delete;
    TDataFolderSwap& operator=(const TDataFolderSwap&) = delete;

    // Runs every step. Done: the data folder holds the restored files, its hidden and system
    // files and its subfolders. A failure (its reason the problem, its code the TSwapFault), or an
    // exception from the restore: the data folder is as it was before, and FailedStep(), Fault()
    // and ProblemFile() say where it stopped. The caller holds the data folder's lock
    // (TFolderLock) throughout.
    TResult<> Run();

    // Told each step as it starts.
    std::function<void(TSwapStep step)> OnStep;
    // Called once every archive is restored into staging, before any data file moves; false
    // fails the swap there.
    std::function<bool()> OnStaged;

    TSwapStep FailedStep() const { return failedStep_; }
    TSwapFault Fault() const { return fault_; }
    // The data file's name (without folder) behind Fault(); empty for TSwapFault::Other.
    const std::string& ProblemFile() const { return problemFile_; }
    // False when a failure could not put every data file back; they are then kept in the work
    // area (SetAsideFolder()) with its journal, and the next start tries again.
    bool RolledBack() const { return rolledBack_; }
    const std::string& StagingFolder() const { return journal_.Area().Staging; }
    const std::string& SetAsideFolder() const { return journal_.Area().SetAside; }

private:
    bool VerifyArchives();
    bool FindReadOnlyFiles();
    bool PrepareStaging();
    bool RestoreIntoStaging();
    bool SetAsideDataFiles();
    bool Commit();
    bool MoveRestoredFiles();
    bool RemoveSetAside();
    // Puts back what the set-aside and move steps changed; false when something could not be.
    // Rolls back, and removes the work area once the old set stands again.
    void Undo();
    // Records why a step stops the swap; answers false, so that a step stops in one line.
    bool Stop(const std::string& problem, TSwapFault fault = TSwapFault::Other, const std::string& file = {});

    std::string dataFolder_;
    std::vector<std::string> archives_;
    TRestoreFunction restore_;
    TSwapJournal journal_;
    bool begun_ = false;      // the work area and its journal exist
    bool committed_ = false;  // the journal says MovingIn
    TSwapStep step_ = TSwapStep::VerifyArchives;
    TSwapStep failedStep_ = TSwapStep::Done;
    std::string problem_;
    TSwapFault fault_ = TSwapFault::None;
    std::string problemFile_;
    bool rolledBack_ = true;
};

}  // namespace nb
