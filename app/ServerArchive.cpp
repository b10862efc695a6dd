#include "app/ServerArchive.h"

#include "platform/CrashPoint.h"
#include "platform/Exception.h"

namespace nb {

namespace {

// Beside the archive's name: "<user ID>.bck.part" while an upload is under way, "<user ID>.bck.old"
// for the previous copy while a server that will not rename onto an existing name swaps the two
// (when no copies are kept). Every archive name ends in ".bck" and these do not, and they keep
// the whole user ID, so none can be another user's archive or another user's file of the kind.
constexpr const char* kIncompleteSuffix = ".part";
constexpr const char* kPreviousSuffix = ".old";

// Replies by which a server says it has no renames at all.
bool NoRenames(int32_t code) { return code == 500 || code == 502 || code == 504; }

}  // namespace

TServerArchive::TServerArchive(TIdFTP& ftp, std::string remoteName, int32_t generations)
    : ftp_(ftp), remote_(std::move(remoteName)), temporary_(remote_ + kIncompleteSuffix),
      previous_(remote_ + kPreviousSuffix), generations_(generations) {}

std::string TServerArchive::GenerationName(int32_t n) const { return remote_ + "." + std::to_string(n); }

TServerCopy TServerArchive::Describe(const std::string& name) {
    TServerCopy copy;
    copy.Size = ftp_.Size(name);
    copy.Stamp = ftp_.ModifiedTime(name);
    return copy;
}

void TServerArchive::DeleteQuietly(const std::string& name) {
    try {
        ftp_.Delete(name);
    } catch (const EIdProtocolReplyError&) {
        // Absent, or not ours to delete: nothing depends on it.
    }
}

void TServerArchive::Rename(const std::string& from, const std::string& to) {
    ftp_.Rename(from, to);
    renames_ = TRenames::Work;
}

void TServerArchive::Upload(const std::string& localPath, int64_t size, const TServerCopy& current) {
    if (!Prepare(current)) {
        // Nothing can be moved into place: the archive goes straight onto its name, as a plain
        // FTP client stores it, and no copies are kept.
        StoreChecked(localPath, remote_, size);
        return;
    }
    ftp_.Put(localPath, temporary_, false);
    Complete(localPath, size);
}

bool TServerArchive::Prepare(const TServerCopy& current) {
    exists_.assign(static_cast<size_t>(generations_) + 1, false);
    exists_[0] = current.Exists();
    RemoveLeftovers(exists_);
    if (generations_ > 0) CloseGaps(exists_);
    ProbeRenames(exists_[0]);
    CrashPoint("upload.probed");
    return renames_ != TRenames::Refused;
}

void TServerArchive::Complete(const std::string& localPath, int64_t size) {
    CheckStored(temporary_, size);
    CrashPoint("upload.stored");
    if (generations_ > 0 && exists_[0] && renames_ == TRenames::Work)
        Rotate(exists_);
    else
        MoveOntoArchive(localPath, size);
}

// What an upload that died left: its temporary file goes; a previous copy it had moved aside
// goes back where the archive was missing, and is removed where the new one stands.
void TServerArchive::RemoveLeftovers(std::vector<bool>& exists) {
    DeleteQuietly(temporary_);
    if (exists[0]) return DeleteQuietly(previous_);
    try {
        Rename(previous_, remote_);
        exists[0] = true;
    } catch (const EIdProtocolReplyError& e) {
        // None left: the usual case. A server without renames says so.
        if (NoRenames(e.ReplyCode)) renames_ = TRenames::Refused;
    }
}

// A rotation cut short leaves a name missing with an older copy behind it: each copy moves up
// into the gap, so that the archive's name holds the newest complete archive and no copy is
// dropped by the next rotation.
void TServerArchive::CloseGaps(std::vector<bool>& exists) {
    for (size_t k = 1; k < exists.size(); ++k) exists[k] = Describe(GenerationName(static_cast<int32_t>(k))).Exists();
    for (size_t k = 0; k + 1 < exists.size(); ++k) {
        if (exists[k]) continue;
        size_t next = k + 1;
        while (next < exists.size() && !exists[next]) ++next;
        if (next == exists.size()) break;
        const std::string to = k == 0 ? remote_ : GenerationName(static_cast<int32_t>(k));
        try {
            Rename(GenerationName(static_cast<int32_t>(next)), to);
        } catch (const EIdProtocolReplyError& e) {
            if (NoRenames(e.ReplyCode) || e.ReplyCode == 550) renames_ = TRenames::Refused;
            return;
        }
        CrashPoint("upload.gap-closed");
        exists[k] = true;
        exists[next] = false;
    }
}

// Whether the server renames at all decides where the archive is stored, and must be known before
// its bytes are sent: a refused RNFR of the existing archive is the answer. The rename is never
// completed; the next command ends it on every server.
void TServerArchive::ProbeRenames(bool archiveExists) {
    if (renames_ != TRenames::Unknown || !archiveExists) return;
    const int16_t code = ftp_.SendCommand("RNFR " + remote_);
    if (code == 350) {
        renames_ = TRenames::Work;
        ftp_.SendCommand("NOOP");
    } else if (NoRenames(code) || code == 550) {
        renames_ = TRenames::Refused;
    }
}

// A server that answers the size query must hold every byte that was sent.
void TServerArchive::StoreChecked(const std::string& localPath, const std::string& name, int64_t size) {
    ftp_.Put(localPath, name, false);
    CheckStored(name, size);
}

void TServerArchive::CheckStored(const std::string& name, int64_t size) {
    const int64_t stored = ftp_.Size(name);
    if (stored >= 0 && stored != size) throw Exception("the server kept " + std::to_string(stored) + " bytes");
    if (OnTransferred) OnTransferred();
}

// Every target is freed before anything moves onto it, so servers that will not rename onto an
// existing name rotate as well. The archive's name is empty only between the last two renames.
void TServerArchive::Rotate(const std::vector<bool>& exists) {
    const auto oldest = static_cast<int32_t>(exists.size()) - 1;
    if (exists[static_cast<size_t>(oldest)]) {
        DeleteQuietly(GenerationName(oldest));
        CrashPoint("upload.rotate-dropped");
    }
    for (int32_t k = oldest - 1; k >= 1; --k) {
        if (!exists[static_cast<size_t>(k)]) continue;
        Rename(GenerationName(k), GenerationName(k + 1));
        CrashPoint("upload.rotate-shifted");
    }
    Rename(remote_, GenerationName(1));
    CrashPoint("upload.rotate-kept");
    try {
        Rename(temporary_, remote_);
    } catch (...) {
        try {
            Rename(GenerationName(1), remote_);
        } catch (...) {
            // The next upload closes the gap from the kept copy.
        }
        throw;
    }
    CrashPoint("upload.rotate-placed");
}

// Puts the checked temporary file in the archive's place when no copies are kept.
void TServerArchive::MoveOntoArchive(const std::string& localPath, int64_t size) {
    try {
        Rename(temporary_, remote_);
        return;
    } catch (const EIdFTPRenameTargetRefused& e) {
        if (!NoRenames(e.ReplyCode)) return SwapThroughAside();
    } catch (const EIdProtocolReplyError& e) {
        // RNFR of the file just stored refused: the server has no renames.
        if (!NoRenames(e.ReplyCode) && e.ReplyCode != 550) throw;
    }
    renames_ = TRenames::Refused;
    StoreChecked(localPath, remote_, size);
    DeleteQuietly(temporary_);
}

// For servers that will not rename onto an existing name. The previous copy is moved aside
// rather than deleted, so that a server refusing the second rename still keeps it.
void TServerArchive::SwapThroughAside() {
    Rename(remote_, previous_);
    CrashPoint("upload.aside");
    try {
        Rename(temporary_, remote_);
    } catch (...) {
        try {
            Rename(previous_, remote_);
        } catch (...) {
            // The next upload renames it back.
        }
        throw;
    }
    DeleteQuietly(previous_);
}

}  // namespace nb
