#include "app/SwapJournal.h"

#include "platform/CrashPoint.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace nb {

namespace {

const char* const kMagic = "nestbridge-swap 1";

bool UnescapeName(const std::string& text, std::string& name) {
    return UnescapeLineText(text, name) && !name.empty() && name.find('/') == std::string::npos && name != "." &&
           name != "..";
}

bool PhaseFromName(const std::string& text, TSwapPhase& phase) {
    for (TSwapPhase p : {TSwapPhase::Preparing, TSwapPhase::MovingIn, TSwapPhase::RollingBack}) {
        if (text == SwapPhaseName(p)) {
            phase = p;
            return true;
        }
    }
    return false;
}

}  // namespace

const char* SwapPhaseName(TSwapPhase phase) {
    switch (phase) {
        case TSwapPhase::Preparing: return "preparing";
        case TSwapPhase::MovingIn: return "moving-in";
        case TSwapPhase::RollingBack: return "rolling-back";
    }
    return "";
}

TSwapWorkArea::TSwapWorkArea(const std::string& dataFolder)
    : DataFolder(ExcludeTrailingPathDelimiter(dataFolder)), Root(JoinPath(DataFolder, ".nestbridge-swap")),
      Journal(JoinPath(Root, "journal")), Staging(JoinPath(Root, "staging")), SetAside(JoinPath(Root, "setaside")) {}

std::string EncodeSwapRecord(const TSwapRecord& record) {
    std::string text = std::string(kMagic) + "\nphase " + SwapPhaseName(record.Phase) + "\n";
    for (const auto& name : record.Restored) text += "restored " + EscapeLineText(name) + "\n";
    text += "end\n";
    return text;
}

bool DecodeSwapRecord(const std::string& text, TSwapRecord& record) {
    TSwapRecord result;
    size_t pos = 0;
    int line = 0;
    bool phaseSeen = false;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) return false;  // every line, "end" included, is complete
        std::string l = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (line++ == 0) {
            if (l != kMagic) return false;
            continue;
        }
        if (l == "end") {
            if (pos != text.size() || !phaseSeen) return false;
            record = std::move(result);
            return true;
        }
        if (l.rfind("phase ", 0) == 0) {
            if (phaseSeen || !PhaseFromName(l.substr(6), result.Phase)) return false;
            phaseSeen = true;
        } else if (l.rfind("restored ", 0) == 0) {
            std::string name;
            if (!UnescapeName(l.substr(9), name)) return false;
            result.Restored.push_back(std::move(name));
        } else {
            return false;
        }
    }
    return false;
}

bool TSwapJournal::Begin() {
    if (PathExists(area_.Root)) return false;
    CrashPoint("journal.begin");
    if (!CreateDir(area_.Root)) return false;
    // The work area itself must not vanish while the journal inside it stands.
    if (!SyncDirectory(area_.DataFolder)) return false;
    CrashPoint("journal.area-made");
    return Write(TSwapRecord{});
}

bool TSwapJournal::Write(const TSwapRecord& record) {
    const std::string phase = SwapPhaseName(record.Phase);
    CrashPoint("journal.write." + phase);
    bool ok = WriteFileDurably(area_.Journal, EncodeSwapRecord(record));
    CrashPoint("journal.written." + phase);
    return ok;
}

bool TSwapJournal::Finish() {
    CrashPoint("journal.finish");
    // The journal goes first: once the data folder durably holds the set that stays, what is
    // left in the work area is only old copies or leftovers. The other order would let a crash
    // leave a journal whose staging folder is gone, which a later recovery would misread.
    DeleteFile(area_.Journal + ".tmp");
    if (!DeleteFile(area_.Journal) && PathExists(area_.Journal)) return false;
    if (!SyncDirectory(area_.Root) && PathExists(area_.Root)) return false;
    CrashPoint("journal.removed");
    bool ok = RemoveDirectoryTree(area_.SetAside);
    CrashPoint("journal.setaside-removed");
    ok = RemoveDirectoryTree(area_.Staging) && ok;
    CrashPoint("journal.staging-removed");
    ok = RemoveDir(area_.Root) && ok;
    SyncDirectory(area_.DataFolder);
    CrashPoint("journal.finished");
    return ok;
}

bool ReadSwapJournal(const TSwapWorkArea& area, TSwapRecord& record) {
    std::string text;
    return ReadWholeFile(area.Journal, text) && DecodeSwapRecord(text, record);
}

}  // namespace nb
