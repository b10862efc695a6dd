#include "app/DataFolderSwap.h"

#include "backup/backup.h"
#include "app/FileNotices.h"
#include "app/StartupRecovery.h"
#include "platform/CrashPoint.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace nb {

const char* SwapStepName(TSwapStep step) {
    switch (step) {
        case TSwapStep::VerifyArchives: return "VerifyArchives";
        case TSwapStep::FindReadOnlyFiles: return "FindReadOnlyFiles";
        case TSwapStep::PrepareStaging: return "PrepareStaging";
        case TSwapStep::RestoreIntoStaging: return "RestoreIntoStaging";
        case TSwapStep::SetAsideDataFiles: return "SetAsideDataFiles";
        case TSwapStep::Commit: return "Commit";
        case TSwapStep::MoveRestoredFiles: return "MoveRestoredFiles";
        case TSwapStep::RemoveSetAside: return "RemoveSetAside";
        case TSwapStep::Done: return "Done";
    }
    return "";
}

std::vector<std::string> PlainFileNames(const std::string& folder) {
    std::vector<std::string> names;
    TFileSearch search(JoinPath(folder, "*.*"), faArchive);
    TSearchRec rec;
    while (search.Next(rec)) names.push_back(rec.Name);
    return names;
}

std::vector<std::string> DataFileNames(const std::string& folder) {
    std::vector<std::string> names;
    constexpr uint32_t notPlain = faHidden | faSysFile | faVolumeID | faDirectory;
    for (const auto& rec : FolderEntries(folder))
        if (!(rec.Attr & notPlain) || (!(rec.Attr & faHidden) && IsSymbolicLink(JoinPath(folder, rec.Name))))
            names.push_back(rec.Name);
    return names;
}

std::vector<std::string> ReadOnlyPlainFiles(const std::string& folder) {
    std::vector<std::string> names;
    TFileSearch search(JoinPath(folder, "*.*"), faArchive);
    TSearchRec rec;
    while (search.Next(rec))
        if (rec.Attr & faReadOnly) names.push_back(rec.Name);
    return names;
}

TDataFolderSwap::TDataFolderSwap(std::string dataFolder, std::vector<std::string> archives, TRestoreFunction restore)
    : dataFolder_(std::move(dataFolder)), archives_(std::move(archives)), restore_(std::move(restore)),
      journal_(dataFolder_) {}

bool TDataFolderSwap::Stop(const std::string& problem, TSwapFault fault, const std::string& file) {
    failedStep_ = step_;
    problem_ = problem;
    // Judged here, while what the failed step wrote still takes its room.
    fault_ = fault == TSwapFault::Other && DiskLooksFull(dataFolder_) ? TSwapFault::DiskFull : fault;
    problemFile_ = file;
    return false;
}

TResult<> TDataFolderSwap::Run() {
    if (dataFolder_.empty()) {
        Stop("no data folder");
        return Fail(problem_);
    }
    using Step = bool (TDataFolderSwap::*)();
    const std::pair<TSwapStep, Step> steps[] = {
        {TSwapStep::VerifyArchives, &TDataFolderSwap::VerifyArchives},
        {TSwapStep::FindReadOnlyFiles, &TDataFolderSwap::FindReadOnlyFiles},
        {TSwapStep::PrepareStaging, &TDataFolderSwap::PrepareStaging},
        {TSwapStep::RestoreIntoStaging, &TDataFolderSwap::RestoreIntoStaging},
        {TSwapStep::SetAsideDataFiles, &TDataFolderSwap::SetAsideDataFiles},
        {TSwapStep::Commit, &TDataFolderSwap::Commit},
        {TSwapStep::MoveRestoredFiles, &TDataFolderSwap::MoveRestoredFiles},
    };
    try {
        for (const auto& [step, run] : steps) {
            step_ = step;
            CrashPoint(std::string("swap.") + SwapStepName(step));
            if (OnStep) OnStep(step);
            if (!(this->*run)()) {
                Undo();
                return Fail(problem_, static_cast<int>(fault_));
            }
        }
    } catch (...) {
        failedStep_ = step_;
        Undo();
        throw;
    }
    // From here the data folder holds the restored files: what is left to clear is only the old copies.
    step_ = TSwapStep::RemoveSetAside;
    CrashPoint("swap.RemoveSetAside");
    if (OnStep) OnStep(step_);
    RemoveSetAside();
    step_ = TSwapStep::Done;
    if (OnStep) OnStep(step_);
    return {};
}

// Every block of each archive is inflated and its walk must reach the end marker during the
// restore into staging, before any data file moves; a separate pass would read it all twice.
bool TDataFolderSwap::VerifyArchives() {
    for (const auto& archive : archives_)
        if (!FileExists(archive)) return Stop("missing archive " + archive);
    return true;
}

bool TDataFolderSwap::FindReadOnlyFiles() {
    // A link is moved, not written: what it points to being read-only is no obstacle.
    for (const auto& name : ReadOnlyPlainFiles(dataFolder_))
        if (!IsSymbolicLink(JoinPath(dataFolder_, name)))
            return Stop("read-only data file " + name, TSwapFault::ReadOnlyFile, name);
    // Moving a file another program writes would leave its writes in the set-aside copy.
    std::vector<std::string> paths;
    for (const auto& name : PlainFileNames(dataFolder_))
        if (!IsSymbolicLink(JoinPath(dataFolder_, name))) paths.push_back(JoinPath(dataFolder_, name));
    auto held = FilesOpenElsewhere(paths);
    if (!held.empty())
        return Stop("data file in use " + held.front(), TSwapFault::FileInUse, ExtractFileName(held.front()));
    return true;
}

bool TDataFolderSwap::PrepareStaging() {
    const TSwapWorkArea& area = journal_.Area();
    // The press settled what a dead run left before it began; a work area still there is never reused.
    if (PathExists(area.Root)) return Stop("an earlier swap is unfinished");
    if (!journal_.Begin()) {
        if (!PathExists(area.Journal)) RemoveDirectoryTree(area.Root);  // holds no data without its journal
        return Stop("cannot create the work area");
    }
    begun_ = true;
    CrashPoint("swap.journal-begun");
    return CreateDir(area.Staging) || Stop("cannot create the staging folder");
}

bool TDataFolderSwap::RestoreIntoStaging() {
    const std::string& staging = journal_.Area().Staging;
    for (const auto& archive : archives_) {
        try {
            if (!restore_(archive, staging)) return Stop("restore of " + archive + " failed");
        } catch (const Exception& e) {
            // A truncated or malformed archive is a failed verification, not an error to escape.
            return Stop(archive + ": " + e.Message());
        }
    }
    // A restored entry of the work area's own name could never move in; it is no data of the user's.
    if (PathExists(JoinPath(staging, ExtractFileName(journal_.Area().Root))))
        return Stop("the archive holds an entry named like the swap's work area");
    // The commit promises that staging holds the whole new set: it must survive a power cut.
    for (const auto& entry : FolderEntries(staging)) {
        CrashPoint("swap.staged-synced");
        if (!(entry.Attr & faDirectory) && !SyncFile(JoinPath(staging, entry.Name)))
            return Stop("cannot sync " + entry.Name);
    }
    if (!SyncDirectory(staging)) return Stop("cannot sync the staging folder");
    return !OnStaged || OnStaged() || Stop("the restored set could not be kept");
}

bool TDataFolderSwap::SetAsideDataFiles() {
    const std::string& setAside = journal_.Area().SetAside;
    if (!CreateDir(setAside)) return Stop("cannot create the set-aside folder");
    for (const auto& name : DataFileNames(dataFolder_)) {
        CrashPoint("swap.set-aside");
        if (!RenameNoReplace(JoinPath(dataFolder_, name), JoinPath(setAside, name)))
            return Stop("cannot set aside " + name);
    }
    // Both folders' entries must be on disk before the commit is.
    if (!SyncDirectory(dataFolder_) || !SyncDirectory(setAside)) return Stop("cannot sync the set-aside files");
    return true;
}

bool TDataFolderSwap::Commit() {
    TSwapRecord record{TSwapPhase::MovingIn, {}};
    for (const auto& entry : FolderEntries(journal_.Area().Staging))
        if (!(entry.Attr & faDirectory)) record.Restored.push_back(entry.Name);
    if (!journal_.Write(record)) return Stop("cannot write the journal");
    committed_ = true;
    return true;
}

bool TDataFolderSwap::MoveRestoredFiles() {
    const TSwapWorkArea& area = journal_.Area();
    for (const auto& entry : FolderEntries(area.Staging)) {
        if (entry.Attr & faDirectory) continue;  // restores write no folders here
        CrashPoint("swap.move-in");
        std::string target = JoinPath(dataFolder_, entry.Name);
        int32_t existing = FileGetAttr(target);
        if (existing != -1) {
            // Only hidden or system entries and folders are left; a file of the same name gives way
            // to the restored one, as the restore would have overwritten it.
            if (existing & faDirectory)
                return Stop("a folder stands where " + entry.Name + " goes", TSwapFault::FolderInTheWay, entry.Name);
            if (!RenameNoReplace(target, JoinPath(area.SetAside, entry.Name)))
                return Stop("cannot set aside " + entry.Name);
        }
        if (!RenameNoReplace(JoinPath(area.Staging, entry.Name), target)) return Stop("cannot move in " + entry.Name);
    }
    CrashPoint("swap.moved-in");
    return SyncDirectory(dataFolder_) || Stop("cannot sync the data folder");
}

bool TDataFolderSwap::RemoveSetAside() {
    // A failure here leaves only old copies in the work area, which the next start removes.
    return journal_.Finish();
}

void TDataFolderSwap::Undo() {
    if (!begun_) return;
    // After the commit a crash during the way back must not be completed forwards.
    if (committed_) {
        TSwapRecord record;
        ReadSwapJournal(journal_.Area(), record);
        record.Phase = TSwapPhase::RollingBack;
        journal_.Write(record);
    }
    CrashPoint("swap.rollback");
    // The same journal-driven way back a restart takes; what cannot go back stays in the work
    // area, journal and all, rather than being lost.
    rolledBack_ = RollBackSwap(dataFolder_).Ok();
}

}  // namespace nb
