#include "app/DownloadPress.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "app/ArchiveFeed.h"
#include "app/BackgroundTransfer.h"
#include "app/DataFolderSwap.h"
#include "app/DataGuard.h"
#include "app/FileNotices.h"
#include "app/ServerArchive.h"
#include "app/UploadPress.h"
#include "platform/Clock.h"
#include "net/ftp/IdFTPFileStreams.h"
#include "platform/CrashPoint.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/ScopeExit.h"
#include "platform/Stream.h"
#include "platform/UserInterface.h"

namespace nb {

namespace {

constexpr const char* kEarlyStem = ".nestbridge-early-";
constexpr const char* kKeptStem = ".nestbridge-kept-";

// A temporary file that goes away unless it was kept.
class TPartialFile {
public:
    explicit TPartialFile(std::string path) : path_(std::move(path)) {}
    ~TPartialFile() { Reset(""); }
    TPartialFile(const TPartialFile&) = delete;
    TPartialFile& operator=(const TPartialFile&) = delete;
    const std::string& Path() const { return path_; }
    std::string Keep() { return std::exchange(path_, std::string()); }
    void Reset(std::string path) {
        if (!path_.empty()) DeleteFile(path_);
        path_ = std::move(path);
    }

private:
    std::string path_;
};

// The title of an archive, for the record and the questions; empty when it cannot be read.
std::string TitleOf(const std::string& archive) {
    try {
        return ArchiveTitle(archive);
    } catch (const std::exception&) {
        return {};
    }
}

// Packs the data folder's files (those a swap replaces) into path; a raised stop ends it early.
bool PackDataFiles(const std::string& dataFolder, const std::string& path, const std::atomic<bool>* stop = nullptr) {
    std::vector<std::string> files;
    for (const auto& name : DataFileNames(dataFolder)) files.push_back(JoinPath(dataFolder, name));
    TBackupFile kept;
    kept.BackupTitle = BackupTitleNow(Now());
    kept.CompressionLevel = clFastest;
    if (stop) {
        // Packed in the background: no window of its own; a failure is met again, and said, by
        // the pack that then follows in the foreground.
        kept.OnProgress = [stop](TBackupFile&, std::string, TPercentage, bool& go) { go = !*stop; };
        kept.OnError = [](TBackupFile&, int32_t, std::string) {};
    }
    return kept.Backup(files, path) && SyncFile(path);
}

// The data files as the folder lists them: a copy packed from them still stands for them while
// none was added, removed, resized or written.
std::vector<TSearchRec> DataFileEntries(const std::string& dataFolder) {
    const std::vector<std::string> names = DataFileNames(dataFolder);
    std::vector<TSearchRec> entries;
    for (auto& entry : FolderEntries(dataFolder))
        if (std::find(names.begin(), names.end(), entry.Name) != names.end()) entries.push_back(std::move(entry));
    std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) { return x.Name < y.Name; });
    return entries;
}

bool SameDataFiles(const std::vector<TSearchRec>& a, const std::vector<TSearchRec>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const TSearchRec& x, const TSearchRec& y) {
        return x.Name == y.Name && x.Attr == y.Attr && x.Size == y.Size && x.WriteTime == y.WriteTime;
    });
}

}  // namespace

// The copy of the files a download replaces, packed by a thread of its own while the archive
// arrives (the line is the limit then), so that the swap finds it ready. It stands in only while
// the data files are exactly as they were when packing began; otherwise the swap packs anew.
class TEarlyKeptCopy {
public:
    TEarlyKeptCopy(std::string dataFolder, const std::string& backupFolder)
        : dataFolder_(std::move(dataFolder)), before_(DataFileEntries(dataFolder_)) {
        if (before_.empty()) return;
        // Named so that the start-up recovery removes it until the swap takes it.
        path_ = CreateTempFile(backupFolder, kEarlyStem);
        if (path_.empty()) return;
        thread_ = std::thread([this] { packed_ = PackDataFiles(dataFolder_, path_, &stop_); });
    }
    ~TEarlyKeptCopy() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (!path_.empty()) DeleteFile(path_);
    }
    TEarlyKeptCopy(const TEarlyKeptCopy&) = delete;
    TEarlyKeptCopy& operator=(const TEarlyKeptCopy&) = delete;

    // The packed copy under the kept copy's temporary name, now the caller's to keep or delete;
    // empty where it does not stand for the data files as they are now.
    std::string Take() {
        if (thread_.joinable()) thread_.join();
        if (!packed_ || !SameDataFiles(before_, DataFileEntries(dataFolder_))) return {};
        const std::string folder = ExtractFilePath(path_);
        const std::string kept = folder + kKeptStem + ExtractFileName(path_).substr(std::string(kEarlyStem).size());
        if (FileExists(kept) || !RenameFile(path_, kept)) return {};
        path_.clear();
        return kept;
    }

private:
    std::string dataFolder_;
    std::vector<TSearchRec> before_;
    std::string path_;
    std::atomic<bool> stop_ = false;
    bool packed_ = false;
    std::thread thread_;
};

namespace {

// The restore of the first archive where it is still arriving, and what settles its arrival (false:
// it failed, which it has said, and the swap's own texts would only confuse).
struct TArrivingArchive {
    std::function<bool(TBackupFile& archive, const std::string& target)> Restore;
    std::function<bool()> Settle;
};

// The restore shared by the download and the undo: swaps the data folder's files for the
// archives' contents. The files it replaces are packed into keptTables before anything moves
// (under a temporary name the start-up recovery never removes: after a crash past the commit it
// may be the only copy of them) and take that name once the swap stands; early, where given, may
// have packed them already. requireTables: the first archive must hold a table. beforeMoving: a
// last step once everything is staged. arriving, where given: the first archive is still arriving.
TResult<> SwapDataFolder(TPressContext& c, const std::vector<std::string>& archives, const std::string& keptTables,
                         bool requireTables, const std::function<bool()>& beforeMoving, TEarlyKeptCopy* early = nullptr,
                         const TArrivingArchive* arriving = nullptr) {
    TWindowLayer& window = c.Window;
    bool noTables = false, arrivalFailed = false;
    std::string leftBehind, problem;
    TPartialFile kept("");
    TResult<> result;
    {
        window.SetCursor(TScreenCursor::HourGlass);
        c.Display.ShowArchiveProgress();
        ScopeExit cursor([&window] { window.SetCursor(TScreenCursor::Default); });
        TBackupFile& archive = c.BackupFile;
        archive.RestoreMode = rmAll;
        archive.RestoreFullPath = false;
        // The user's archive without a single table would leave the books empty.
        int32_t tableEntries = 0;
        TDataFolderSwap swap(c.DataFolder, archives, [&](const std::string& path, const std::string& target) {
            const bool first = path == archives.front();
            auto restore = [&] {
                return first && arriving ? arriving->Restore(archive, target) : archive.Restore(path, target);
            };
            if (!requireTables || !first) return restore();
            archive.OnRestoreFile = [&tableEntries](TBackupFile&, std::string& file, int32_t, bool&) {
                tableEntries += IsTableName(ExtractFileName(file));
            };
            ScopeExit detach([&archive] { archive.OnRestoreFile = nullptr; });
            if (!restore()) return false;
            noTables = tableEntries == 0;
            return !noTables;
        });
        if (c.Environment.OnSwapStep)
            swap.OnStep = [&c](TSwapStep step) { c.Environment.OnSwapStep(SwapStepName(step)); };
        swap.OnStaged = [&] {
            if (const std::string ready = early ? early->Take() : std::string(); !ready.empty()) {
                kept.Reset(ready);
                CrashPoint("swap.tables-kept");
            } else if (!DataFileNames(c.DataFolder).empty()) {
                if (!DirectoryExists(c.BackupFolder) && !CreateDir(c.BackupFolder)) return false;
                kept.Reset(CreateTempFile(c.BackupFolder, kKeptStem));
                if (kept.Path().empty() || !PackDataFiles(c.DataFolder, kept.Path())) return false;
                CrashPoint("swap.tables-kept");
            }
            return !beforeMoving || beforeMoving();
        };
        result = swap.Run();
        arrivalFailed = !result && arriving && !arriving->Settle();
        if (result) {
            if (!kept.Path().empty()) {
                if (RenameFile(kept.Path(), keptTables))
                    SyncDirectory(c.BackupFolder);
                else  // the swap stands; only the copy of what it replaced keeps its temporary name
                    window.ShowFailureReason("the replaced tables stay in " + kept.Path());
                kept.Keep();
            }
        } else if (!arrivalFailed) {
            if (!noTables)
                problem = swap.Fault() == TSwapFault::DiskFull ? DiskFullNotice(c.DataFolder)
                                                               : SwapFaultNotice(swap.Fault(), swap.ProblemFile());
        }
        if (!swap.RolledBack()) leftBehind = swap.SetAsideFolder();
        if (!arrivalFailed) window.SetStatusText(result ? "복원을 완료했습니다." : "복원에 실패하였습니다.");
    }
    if (!problem.empty()) window.ShowProblem(problem);
    if (arrivalFailed) {
        // The failed transfer said so; nothing of the data folder changed.
    } else if (noTables) {
        window.ShowInformation(NoTablesInServerArchiveText(), kGuardCaption);
        result = Refused(NoTablesInServerArchiveText());
    } else if (!result) {
        window.ShowInformation("복원에 실패하였습니다.", "자료백업/복원");
    }
    if (!leftBehind.empty())
        window.ShowMessage(
            Format("이전 자료 파일 일부를 되돌리지 못했습니다. %s 폴더에 남아 있습니다.", leftBehind.c_str()));
    return result;
}

}  // namespace

TDownloadPress::TDownloadPress(TPressContext& context, int32_t generation) : c_(context), generation_(generation) {}

// A download that never became the local archive goes, once nothing writes it any more.
TDownloadPress::~TDownloadPress() {
    fetch_.reset();
    c_.Session.SetTransferUnderWay(false);
    early_.reset();
    if (!arriving_.empty()) DeleteFile(arriving_);
    if (!pending_.empty()) DeleteFile(pending_);
}

TResult<> TDownloadPress::Run() {
    if (auto usable = c_.InputUsable(); !usable) return usable;
    if (auto usable = c_.ZipcodeUsable(); !usable) return usable;
    // A previous copy is a choice made on purpose, asked for once, with what it does.
    const std::string question =
        generation_ > 0 ? Format("서버에 보관된 %d회 전에 올린 자료를 내려받습니다. 이 컴퓨터의 지금 자료는 보관되고 "
                                 "그 자료로 바뀝니다. 계속하시겠습니까?",
                                 generation_)
                        : DownloadOverChangedWorkQuestion(c_.LastRecord(), CurrentTables(c_.DataFolder));
    if (auto asked = c_.Ask(question); !asked) return asked;
    TServiceSession& session = c_.Session;
    if (!session.CheckInternet()) return Fail("the Internet is not reachable");
    if (!session.ConnectServer()) return Fail("cannot log in to the server");
    if (!DirectoryExists(c_.BackupFolder)) CreateDir(c_.BackupFolder);
    early_ = std::make_unique<TEarlyKeptCopy>(c_.DataFolder, c_.BackupFolder);
    TResult<> done = DownloadFile();
    if (done) done = RestoreData(arriving_);
    session.DisconnectServer();
    if (!done) return done;
    c_.RecordPress(serverCopy_, TitleOf(c_.LocalArchivePath()), CurrentTables(c_.DataFolder));
    c_.Window.ShowMessage("모든 작업을 정상적으로 완료하였습니다.");
    return {};
}

// The archive arrives by a thread of its own into a file beside the previous local archive, which
// stays until the new one has restored completely; the restore reads it as it arrives.
TResult<> TDownloadPress::DownloadFile() {
    if (!c_.IdFTP1.IsConnected()) return Fail("not connected");
    TWindowLayer& window = c_.Window;
    TServerArchive server(c_.IdFTP1, c_.RemoteArchiveName(), c_.Session.Endpoints().Generations);
    const std::string remote = generation_ > 0 ? server.GenerationName(generation_) : c_.RemoteArchiveName();
    try {
        window.SetProgressVisible(true);
        window.SetStatusText("파일을 받는 중...");
        window.ProcessMessages();
        c_.IdFTP1.SetTransferType(ftBinary);
        serverCopy_ = server.Describe(remote);
        if (generation_ > 0 && !serverCopy_.Exists()) {
            window.SetProgressVisible(false);
            const std::string refusal = Format("서버에 %d번째 이전 자료가 없습니다.", generation_);
            window.ShowMessage(refusal);
            return Refused(refusal);
        }
        const int64_t expected = serverCopy_.Size;
        c_.Display.SetExpectedSize(expected);
        CrashPoint("download.size-known");

        if (!DirectoryExists(c_.BackupFolder)) CreateDir(c_.BackupFolder);
        arriving_ = CreateTempFile(c_.BackupFolder, ".nestbridge-download-");
        if (arriving_.empty()) throw Exception("cannot create the download file");
        CrashPoint("download.file-created");
        fetch_ = std::make_unique<TBackgroundTransfer>(c_.IdFTP1);
        remote_ = remote;
        return {};
    } catch (...) {
        return DownloadFailed(CurrentExceptionText());
    }
}

// Started only once the swap has staged its journal and work area, so that none of the swap's
// steps before its restore runs beside a transfer.
void TDownloadPress::StartArrival() {
    if (fetch_->Started()) return;
    c_.Session.SetTransferUnderWay(true);
    c_.Display.MarkTransferStart();
    fetch_->Start(
        [&ftp = c_.IdFTP1, &feed = fetch_->Feed(), remote = remote_, path = arriving_, expected = serverCopy_.Size] {
            int64_t received = 0;
            {
                TFileStream file(path, fmOpenReadWrite | fmShareDenyWrite);
                TFeedWriter writer(file, feed);
                TWriteBehindStream behind(writer);
                ftp.GetToStream(remote, behind, false);
                behind.Flush();
                if (!file.Sync()) throw Exception("cannot write the download file");
                received = file.Size();
            }
            if (expected >= 0 && received != expected) throw Exception("short download");
            feed.Finish(true);
        });
}

TResult<> TDownloadPress::DownloadFailed(const std::string& reason) {
    TWindowLayer& window = c_.Window;
    window.ShowFailureReason(reason);
    window.SetProgressVisible(false);
    // Judged while the partial download still takes its room.
    if (DirectoryExists(c_.BackupFolder) && DiskLooksFull(c_.BackupFolder))
        window.ShowProblem(DiskFullNotice(c_.BackupFolder));
    window.ShowMessage("파일 받기에 실패하였습니다.");
    return Fail(reason);
}

bool TDownloadPress::SettleArrival() {
    if (!fetch_ || settled_) return arrived_;
    settled_ = true;
    try {
        // A swap that stopped before its restore still gets the whole archive, as it always did.
        StartArrival();
        c_.Display.FollowBackgroundTransfer(*fetch_, c_.IdFTP1, wmRead, 0);
        c_.Session.SetTransferUnderWay(false);
        fetch_->Finish();
    } catch (...) {
        arrivalFailure_ = DownloadFailed(CurrentExceptionText()).Failure().Reason;
        return false;
    }
    CrashPoint("download.received");
    CrashPoint("download.synced");
    c_.Window.SetStatusText("전송을 완료했습니다.");
    pending_ = std::exchange(arriving_, std::string());
    CrashPoint("download.done");
    // What is left of the restore shows its own progress.
    c_.Display.ShowArchiveProgress();
    return arrived_ = true;
}

bool TDownloadPress::RestoreArriving(TBackupFile& archive, const std::string& target) {
    bool restored = false;
    std::exception_ptr raised;
    std::vector<std::pair<int32_t, std::string>> errors;
    {
        // While the bytes arrive the window shows the transfer; the archive's own reports wait
        // for its outcome, since a cut transfer is the whole story.
        TProgressEvent progress =
            std::exchange(archive.OnProgress, [this](TBackupFile&, const std::string&, TPercentage, bool&) {
                c_.Display.ShowBackgroundTransfer(*fetch_, wmRead, 0);
            });
        TBackupErrorEvent reportError = std::exchange(
            archive.OnError,
            [&errors](TBackupFile&, int32_t code, const std::string& text) { errors.emplace_back(code, text); });
        // While the line is the limit, each restored file goes to disk once it is whole, instead
        // of all of them when the swap makes staging durable.
        std::string previous;
        TRestoreFileEvent entry = archive.OnRestoreFile;
        archive.OnRestoreFile = [&](TBackupFile& sender, std::string& file, int32_t attributes, bool& restore) {
            if (!previous.empty() && !settled_) SyncFile(previous);
            if (entry) entry(sender, file, attributes, restore);
            previous = restore ? JoinPath(target, ExtractFileName(file)) : std::string();
        };
        ScopeExit restoreEvents([&] {
            archive.OnProgress = std::move(progress);
            archive.OnError = std::move(reportError);
            archive.OnRestoreFile = std::move(entry);
            archive.RestoreStream = nullptr;
        });
        try {
            StartArrival();
            TFeedReader reader(arriving_, fetch_->Feed());
            archive.RestoreStream = &reader;
            restored = archive.Restore(":STREAM", target);
        } catch (...) {
            raised = std::current_exception();
        }
        if (!SettleArrival()) return false;
        for (const auto& [code, text] : errors) {
            if (reportError)
                reportError(archive, code, text);
            else
                ShowErrorBox(text);
        }
    }
    if (raised) std::rethrow_exception(raised);
    return restored;
}

bool TDownloadPress::KeepPendingDownload() {
    if (pending_.empty()) return true;
    if (!RenameFile(pending_, c_.LocalArchivePath())) return false;
    pending_.clear();
    CrashPoint("download.replaced");
    return SyncDirectory(c_.BackupFolder);
}

TResult<> TDownloadPress::RestoreData(std::string archivePath) {
    // A downloaded archive replaces the previous local one only once it restored completely.
    const TArrivingArchive arriving{
        [this](TBackupFile& archive, const std::string& target) { return RestoreArriving(archive, target); },
        [this] { return SettleArrival(); }};
    TResult<> restored = SwapDataFolder(
        c_, {archivePath, c_.ZipcodeArchivePath()}, c_.KeptTablesPath(), true, [this] { return KeepPendingDownload(); },
        early_.get(), fetch_ && archivePath == arriving_ ? &arriving : nullptr);
    if (!restored && fetch_ && !arrived_) return Fail(arrivalFailure_);
    return restored;
}

TResult<> UndoDownload(TPressContext& c) {
    if (auto usable = c.InputUsable(); !usable) return usable;
    const std::string keptTables = c.KeptTablesPath();
    if (!FileExists(keptTables)) {
        const std::string refusal =
            "되돌릴 자료가 없습니다. 이 컴퓨터에는 내려받기로 바뀐 자료가 보관되어 있지 않습니다.";
        c.Window.ShowInformation(refusal, kGuardCaption);
        return Refused(refusal);
    }
    const std::string title = TitleOf(keptTables);
    if (auto asked = c.Ask(Format("마지막으로 내려받기 전의 자료(%s)로 되돌립니다. 지금 자료는 보관되어, 한 번 더 "
                                  "되돌리면 다시 돌아옵니다. 계속하시겠습니까?",
                                  title.empty() ? "보관된 자료" : title.c_str()));
        !asked)
        return asked;
    // Restored straight from the kept archive, which the tables it replaces take over once the
    // swap stands: a second undo brings them back.
    return SwapDataFolder(c, {keptTables}, keptTables, false, nullptr);
}

}  // namespace nb
