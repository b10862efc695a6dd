#pragma once
// Replaces the plain files of the data folder by the contents of archives without ever
// leaving it half done: the archives are verified and restored into a hidden staging folder
// beside the data files first, and the data files are only set aside (and removed at the end)
// so that any failure can put everything back.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nb {

// The steps in the order they run. A crash-safe journal hooks in at exactly these.
enum class TSwapStep : uint8_t {
    VerifyArchives,      // every archive exists and every block of it inflates to the end marker
    FindReadOnlyFiles,   // no plain data file is one the platform would refuse to delete
    PrepareStaging,      // an empty hidden staging folder inside the data folder
    RestoreIntoStaging,  // each archive, in order, restored into the staging folder
    SetAsideDataFiles,   // the plain data files moved into a hidden set-aside folder
    MoveRestoredFiles,   // the restored files moved into the data folder
    RemoveSetAside,      // the set-aside files removed
    Done,
};

const char* SwapStepName(TSwapStep step);

// The data folder's plain files: neither hidden, nor system, nor folders.
std::vector<std::string> PlainFileNames(const std::string& folder);
// The plain files the platform would refuse to delete (read-only).
std::vector<std::string> ReadOnlyPlainFiles(const std::string& folder);

class TDataFolderSwap {
public:
    using TRestoreFunction = std::function<bool(const std::string& archivePath, const std::string& targetFolder)>;

    TDataFolderSwap(std::string dataFolder, std::vector<std::string> archives, TRestoreFunction restore);
    ~TDataFolderSwap();
    TDataFolderSwap(const TDataFolderSwap&) = delete;
    TDataFolderSwap& operator=(const TDataFolderSwap&) = delete;

    // Runs every step. True: the data folder holds the restored files, its hidden and system
    // files and its subfolders. False, or an exception from the restore: the data folder is as
    // it was before, and FailedStep()/Problem() say where it stopped.
    bool Run();

    // Told each step as it starts.
    std::function<void(TSwapStep step)> OnStep;

    TSwapStep FailedStep() const { return failedStep_; }
    const std::string& Problem() const { return problem_; }
    // False when a failure could not put every data file back; they are then in SetAsideFolder().
    bool RolledBack() const { return rolledBack_; }
    const std::string& StagingFolder() const { return staging_; }
    const std::string& SetAsideFolder() const { return setAside_; }

private:
    bool VerifyArchives();
    bool FindReadOnlyFiles();
    bool PrepareStaging();
    bool RestoreIntoStaging();
    bool SetAsideDataFiles();
    bool MoveRestoredFiles();
    bool RemoveSetAside();
    // Puts back what the set-aside and move steps changed; false when something could not be.
    bool Rollback();
    bool Fail(const std::string& problem);
    std::string UniqueHiddenFolder(const std::string& stem) const;

    std::string dataFolder_;
    std::vector<std::string> archives_;
    TRestoreFunction restore_;
    std::string staging_;
    std::string setAside_;
    TSwapStep step_ = TSwapStep::VerifyArchives;
    TSwapStep failedStep_ = TSwapStep::Done;
    std::string problem_;
    bool rolledBack_ = true;
    std::vector<std::string> setAsideNames_;   // data files now in the set-aside folder
    std::vector<std::string> displacedNames_;  // hidden files a restored file of the same name replaced
    std::vector<std::string> movedInNames_;    // restored files now in the data folder
};

}  // namespace nb
