#include "app/DataFolderSwap.h"

#include "backup/backup.h"
#include "platform/Clock.h"
#include "platform/CrashPoint.h"
#include "platform/DirectoryTree.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace nb {

namespace {

std::string Join(const std::string& folder, const std::string& name) { return folder + PathDelim + name; }

// Every entry of a folder but "." and "..", hidden and system ones included.
std::vector<TSearchRec> Entries(const std::string& folder) {
    std::vector<TSearchRec> entries;
    TFileSearch search(Join(folder, "*"), faAnyFile);
    TSearchRec rec;
    while (search.Next(rec))
        if (rec.Name != "." && rec.Name != "..") entries.push_back(rec);
    return entries;
}

}  // namespace

const char* SwapStepName(TSwapStep step) {
    switch (step) {
        case TSwapStep::VerifyArchives: return "VerifyArchives";
        case TSwapStep::FindReadOnlyFiles: return "FindReadOnlyFiles";
        case TSwapStep::PrepareStaging: return "PrepareStaging";
        case TSwapStep::RestoreIntoStaging: return "RestoreIntoStaging";
        case TSwapStep::SetAsideDataFiles: return "SetAsideDataFiles";
        case TSwapStep::MoveRestoredFiles: return "MoveRestoredFiles";
        case TSwapStep::RemoveSetAside: return "RemoveSetAside";
        case TSwapStep::Done: return "Done";
    }
    return "";
}

std::vector<std::string> PlainFileNames(const std::string& folder) {
    std::vector<std::string> names;
    TFileSearch search(Join(folder, "*.*"), faArchive);
    TSearchRec rec;
    while (search.Next(rec)) names.push_back(rec.Name);
    return names;
}

std::vector<std::string> ReadOnlyPlainFiles(const std::string& folder) {
    std::vector<std::string> names;
    TFileSearch search(Join(folder, "*.*"), faArchive);
    TSearchRec rec;
    while (search.Next(rec))
        if (rec.Attr & faReadOnly) names.push_back(rec.Name);
    return names;
}

TDataFolderSwap::TDataFolderSwap(std::string dataFolder, std::vector<std::string> archives, TRestoreFunction restore)
    : dataFolder_(std::move(dataFolder)), archives_(std::move(archives)), restore_(std::move(restore)) {}

TDataFolderSwap::~TDataFolderSwap() {
    if (!staging_.empty()) RemoveDirectoryTree(staging_);
}

bool TDataFolderSwap::Fail(const std::string& problem) {
    failedStep_ = step_;
    problem_ = problem;
    return false;
}

std::string TDataFolderSwap::UniqueHiddenFolder(const std::string& stem) const {
    std::string base = Join(dataFolder_, Format(".nestbridge-%s-%u", stem.c_str(), CurrentProcessId()));
    std::string path = base;
    for (int n = 2; PathExists(path); ++n) path = base + "-" + std::to_string(n);
    return path;
}

bool TDataFolderSwap::Run() {
    if (dataFolder_.empty()) return Fail("no data folder");
    using Step = bool (TDataFolderSwap::*)();
    const std::pair<TSwapStep, Step> steps[] = {
        {TSwapStep::VerifyArchives, &TDataFolderSwap::VerifyArchives},
        {TSwapStep::FindReadOnlyFiles, &TDataFolderSwap::FindReadOnlyFiles},
        {TSwapStep::PrepareStaging, &TDataFolderSwap::PrepareStaging},
        {TSwapStep::RestoreIntoStaging, &TDataFolderSwap::RestoreIntoStaging},
        {TSwapStep::SetAsideDataFiles, &TDataFolderSwap::SetAsideDataFiles},
        {TSwapStep::MoveRestoredFiles, &TDataFolderSwap::MoveRestoredFiles},
    };
    try {
        for (const auto& [step, run] : steps) {
            step_ = step;
            CrashPoint(std::string("swap.") + SwapStepName(step));
            if (OnStep) OnStep(step);
            if (!(this->*run)()) {
                rolledBack_ = Rollback();
                return false;
            }
        }
    } catch (...) {
        failedStep_ = step_;
        rolledBack_ = Rollback();
        throw;
    }
    // From here the data folder holds the restored files: what is left to clear is only the old copies.
    step_ = TSwapStep::RemoveSetAside;
    CrashPoint("swap.RemoveSetAside");
    if (OnStep) OnStep(step_);
    RemoveSetAside();
    step_ = TSwapStep::Done;
    if (OnStep) OnStep(step_);
    return true;
}

bool TDataFolderSwap::VerifyArchives() {
    for (const auto& archive : archives_) {
        if (!FileExists(archive)) return Fail("missing archive " + archive);
        VerifyResult result = VerifyArchive(archive);
        if (!result.Ok) return Fail(result.Problem);
    }
    return true;
}

bool TDataFolderSwap::FindReadOnlyFiles() {
    auto readOnly = ReadOnlyPlainFiles(dataFolder_);
    return readOnly.empty() || Fail("read-only data file " + readOnly.front());
}

bool TDataFolderSwap::PrepareStaging() {
    staging_ = UniqueHiddenFolder("staging");
    if (!CreateDir(staging_)) {
        staging_.clear();
        return Fail("cannot create the staging folder");
    }
    return true;
}

bool TDataFolderSwap::RestoreIntoStaging() {
    for (const auto& archive : archives_)
        if (!restore_(archive, staging_)) return Fail("restore of " + archive + " failed");
    return true;
}

bool TDataFolderSwap::SetAsideDataFiles() {
    setAside_ = UniqueHiddenFolder("setaside");
    if (!CreateDir(setAside_)) {
        setAside_.clear();
        return Fail("cannot create the set-aside folder");
    }
    for (const auto& name : PlainFileNames(dataFolder_)) {
        if (!RenameFile(Join(dataFolder_, name), Join(setAside_, name))) return Fail("cannot set aside " + name);
        setAsideNames_.push_back(name);
    }
    SyncDirectory(dataFolder_);
    return true;
}

bool TDataFolderSwap::MoveRestoredFiles() {
    for (const auto& entry : Entries(staging_)) {
        if (entry.Attr & faDirectory) continue;  // restores write no folders here
        std::string target = Join(dataFolder_, entry.Name);
        int32_t existing = FileGetAttr(target);
        if (existing != -1) {
            // Only hidden or system entries and folders are left; a file of the same name gives way
            // to the restored one, as the restore would have overwritten it.
            if (existing & faDirectory) return Fail("a folder stands where " + entry.Name + " goes");
            if (!RenameFile(target, Join(setAside_, entry.Name))) return Fail("cannot set aside " + entry.Name);
            displacedNames_.push_back(entry.Name);
        }
        if (!RenameFile(Join(staging_, entry.Name), target)) return Fail("cannot move in " + entry.Name);
        movedInNames_.push_back(entry.Name);
    }
    SyncDirectory(dataFolder_);
    return true;
}

bool TDataFolderSwap::RemoveSetAside() {
    bool ok = setAside_.empty() || RemoveDirectoryTree(setAside_);
    if (ok) setAside_.clear();
    return ok;
}

bool TDataFolderSwap::Rollback() {
    bool ok = true;
    for (const auto& name : movedInNames_) ok = RenameFile(Join(dataFolder_, name), Join(staging_, name)) && ok;
    movedInNames_.clear();
    for (const auto& name : displacedNames_) ok = RenameFile(Join(setAside_, name), Join(dataFolder_, name)) && ok;
    displacedNames_.clear();
    for (const auto& name : setAsideNames_) ok = RenameFile(Join(setAside_, name), Join(dataFolder_, name)) && ok;
    setAsideNames_.clear();
    // What could not go back stays in the set-aside folder rather than being lost.
    if (ok && !setAside_.empty()) {
        RemoveDir(setAside_);
        setAside_.clear();
    }
    SyncDirectory(dataFolder_);
    return ok;
}

}  // namespace nb
