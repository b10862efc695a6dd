#include "app/StartupRecovery.h"

#include <vector>

#include "app/DataFolderLocation.h"
#include "app/SwapJournal.h"
#include "platform/CrashPoint.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/Format.h"

namespace nb {

namespace {

bool IsFolder(const std::string& path) {
    int32_t attr = FileGetAttr(path);
    return attr != -1 && (attr & faDirectory);
}

// A temporary download or archive of a dead run in the Backup folder: ".nestbridge-download-XXXXXX",
// ".nestbridge-archive-XXXXXX", or ".nestbridge-early-XXXXXX", a copy of the tables packed during
// a download that the swap had not yet taken (the tables themselves were still in place).
bool IsPartialDownload(const std::string& name) {
    for (const std::string stem : {".nestbridge-download-", ".nestbridge-archive-", ".nestbridge-early-"})
        if (name.size() == stem.size() + 6 && name.compare(0, stem.size(), stem) == 0) return true;
    return false;
}

bool RemovePartialDownloads(const std::string& dataFolder) {
    const std::string backup = JoinPath(dataFolder, "Backup");
    bool removed = false;
    for (const auto& name : FolderEntryNames(backup)) {
        if (!IsPartialDownload(name) || IsFolder(JoinPath(backup, name))) continue;
        CrashPoint("recover.partial-download");
        removed = DeleteFile(JoinPath(backup, name)) || removed;
    }
    if (removed) SyncDirectory(backup);
    return removed;
}

TRecoveryResult Failed(TRecoveryResult result, std::string problem) {
    result.Outcome = TRecoveryOutcome::Failed;
    result.Problem = std::move(problem);
    return result;
}

TResult<> EnsureFolder(const std::string& folder) {
    if (DirectoryExists(folder) || CreateDir(folder)) return {};
    return Fail("cannot make " + folder);
}

TResult<> SyncDataFolder(const TSwapWorkArea& area) {
    if (SyncDirectory(area.DataFolder)) return {};
    return Fail("cannot sync " + area.DataFolder);
}

// Back to the old set: the files the swap brought in go back to staging, the set-aside files
// come home. Each move is a rename, so a file is always in exactly one place, and a second
// pass after another crash picks up where this one stopped.
TResult<> RollBack(const TSwapWorkArea& area, const TSwapRecord& record) {
    // Staging outlives the journal's restored list; without it no file can be told to be ours.
    const bool stagingKept = DirectoryExists(area.Staging);
    for (const auto& name : stagingKept ? record.Restored : std::vector<std::string>{}) {
        const std::string inData = JoinPath(area.DataFolder, name);
        // Still in staging: it never moved in, and what stands in the data folder is not ours.
        if (PathExists(JoinPath(area.Staging, name)) || !PathExists(inData) || IsFolder(inData)) continue;
        CrashPoint("recover.take-back");
        if (!RenameNoReplace(inData, JoinPath(area.Staging, name))) return Fail("cannot take back " + name);
    }
    for (const auto& name : FolderEntryNames(area.SetAside)) {
        CrashPoint("recover.put-back");
        if (!RenameNoReplace(JoinPath(area.SetAside, name), JoinPath(area.DataFolder, name)))
            return Fail("cannot put back " + name);
    }
    return SyncDataFolder(area);
}

// On to the new set: what is left in staging moves in; a hidden or system file of the same
// name gives way to it, as the restore would have overwritten it.
TResult<> RollForward(const TSwapWorkArea& area) {
    for (const auto& name : FolderEntryNames(area.Staging)) {
        const std::string from = JoinPath(area.Staging, name), to = JoinPath(area.DataFolder, name);
        if (IsFolder(from)) continue;  // restores into staging write no folders
        CrashPoint("recover.move-in");
        if (PathExists(to)) {
            if (IsFolder(to)) return Fail("a folder stands where " + name + " goes");
            if (auto made = EnsureFolder(area.SetAside); !made) return made;
            if (!RenameNoReplace(to, JoinPath(area.SetAside, name))) return Fail("cannot set aside " + name);
        }
        if (!RenameNoReplace(from, to)) return Fail("cannot move in " + name);
    }
    return SyncDataFolder(area);
}

}  // namespace

TResult<> RollBackSwap(const std::string& dataFolder) {
    const TSwapWorkArea area(ExcludeTrailingPathDelimiter(dataFolder));
    TSwapRecord record;
    if (!ReadSwapJournal(area, record)) return Fail("unreadable journal " + area.Journal);
    if (auto back = RollBack(area, record); !back) return back;
    if (TSwapJournal(area.DataFolder).Finish()) return {};
    return Fail("cannot remove " + area.Root);
}

TRecoveryResult RecoverInterruptedSwapLocked(const std::string& dataFolder) {
    TRecoveryResult result;
    result.DataFolder = ExcludeTrailingPathDelimiter(dataFolder);
    if (result.DataFolder.empty() || !DirectoryExists(result.DataFolder)) return result;
    CrashPoint("recover.begin");
    if (RemovePartialDownloads(result.DataFolder)) result.Outcome = TRecoveryOutcome::LeftoversRemoved;

    const TSwapWorkArea area(result.DataFolder);
    if (!PathExists(area.Root)) return result;
    TSwapJournal journal(result.DataFolder);
    TSwapRecord record;
    if (!PathExists(area.Journal)) {
        // Nothing moves before the journal exists, so nothing in here is data.
        if (!journal.Finish()) return Failed(result, "cannot remove " + area.Root);
        if (result.Outcome == TRecoveryOutcome::Clean) result.Outcome = TRecoveryOutcome::LeftoversRemoved;
        return result;
    }
    if (!ReadSwapJournal(area, record)) return Failed(result, "unreadable journal " + area.Journal);

    std::string problem;
    if (record.Phase == TSwapPhase::MovingIn) {
        CrashPoint("recover.roll-forward");
        TResult<> forward = RollForward(area);
        if (forward) {
            if (!journal.Finish()) return Failed(result, "cannot remove " + area.Root);
            result.Outcome = TRecoveryOutcome::Completed;
            return result;
        }
        // The new set cannot be put in place: the old one can, as every old file is set aside.
        problem = forward.Failure().Reason;
        record.Phase = TSwapPhase::RollingBack;
        if (!journal.Write(record)) return Failed(result, problem);
    }
    CrashPoint("recover.roll-back");
    const bool dataMoved = !record.Restored.empty() || !FolderEntryNames(area.SetAside).empty();
    if (auto back = RollBack(area, record); !back) return Failed(result, back.Failure().Reason);
    if (!journal.Finish()) return Failed(result, "cannot remove " + area.Root);
    if (dataMoved)
        result.Outcome = TRecoveryOutcome::RolledBack;
    else if (result.Outcome == TRecoveryOutcome::Clean)
        result.Outcome = TRecoveryOutcome::LeftoversRemoved;
    return result;
}

TRecoveryResult RecoverInterruptedSwap(const std::string& dataFolder) {
    TRecoveryResult result;
    result.DataFolder = ExcludeTrailingPathDelimiter(dataFolder);
    if (result.DataFolder.empty() || !DirectoryExists(result.DataFolder)) return result;
    TFolderLock lock(result.DataFolder);
    if (!lock.Held()) {
        result.Outcome = TRecoveryOutcome::Busy;
        return result;
    }
    return RecoverInterruptedSwapLocked(result.DataFolder);
}

TRecoveryResult RecoverInterruptedSwap() {
    std::string folder;
    try {
        folder = RegisteredDataFolder();
    } catch (const std::exception&) {
        // The window reports an unreadable registry value itself; there is nothing to recover.
    }
    return RecoverInterruptedSwap(folder);
}

std::string RecoveryNotice(const TRecoveryResult& result) {
    switch (result.Outcome) {
        case TRecoveryOutcome::Completed: return "중단되었던 자료 복원을 마쳤습니다.";
        case TRecoveryOutcome::RolledBack: return "중단되었던 자료 복원을 취소하고 이전 자료로 되돌렸습니다.";
        case TRecoveryOutcome::Failed:
            return Format("중단되었던 자료 복원을 정리하지 못했습니다. 자료 파일은 %s 폴더에 그대로 보존되어 있습니다.",
                          TSwapWorkArea(result.DataFolder).Root.c_str());
        default: return {};
    }
}

}  // namespace nb
