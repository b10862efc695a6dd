#pragma once
// The user's archive on the server, "<user ID>.bck", and the previous copies an upload keeps
// beside it ("<user ID>.bck.1" the newest). An upload never leaves less than a complete archive
// under the archive's name, on servers that rename onto existing names, on servers that will
// not, and on servers without renames (which then keep no copies).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/PressRecord.h"
#include "net/ftp/IdFTP.h"

namespace nb {

class TServerArchive {
public:
    TServerArchive(TIdFTP& ftp, std::string remoteName, int32_t generations);

    // The name of previous copy n (1 the newest).
    std::string GenerationName(int32_t n) const;
    // SIZE and MDTM of a file on the server.
    TServerCopy Describe(const std::string& name);

    // Stores the local archive (size bytes) as the archive, keeping the previous ones. current is
    // what Describe(archive name) gave before. Raises the FTP client's errors.
    void Upload(const std::string& localPath, int64_t size, const TServerCopy& current);

    // Upload in steps, for bytes sent while the archive is still being made. Prepare: what a dead
    // upload left goes, gaps in the copies close, and whether the server renames is learnt. True:
    // the bytes are to be stored under TemporaryName(), then Complete(); false: the server has no
    // renames, and only Upload of the finished archive may store it.
    bool Prepare(const TServerCopy& current);
    const std::string& TemporaryName() const { return temporary_; }
    // Once size bytes were stored under TemporaryName(): checks that the server holds them all and
    // puts them in the archive's place. localPath holds the same bytes, for a server that turns
    // out to have no renames.
    void Complete(const std::string& localPath, int64_t size);

    // Told once the server holds every byte of a transfer of the archive.
    std::function<void()> OnTransferred;
    // True once the last Upload found that the server has no renames at all.
    bool RenamesRefused() const { return renames_ == TRenames::Refused; }

private:
    enum class TRenames : uint8_t { Unknown, Work, Refused };

    void RemoveLeftovers(std::vector<bool>& exists);
    void CloseGaps(std::vector<bool>& exists);
    void ProbeRenames(bool archiveExists);
    void StoreChecked(const std::string& localPath, const std::string& name, int64_t size);
    void CheckStored(const std::string& name, int64_t size);
    void Rotate(const std::vector<bool>& exists);
    void MoveOntoArchive(const std::string& localPath, int64_t size);
    void SwapThroughAside();
    void Rename(const std::string& from, const std::string& to);
    void DeleteQuietly(const std::string& name);

    TIdFTP& ftp_;
    std::string remote_, temporary_, previous_;
    int32_t generations_;
    TRenames renames_ = TRenames::Unknown;
    std::vector<bool> exists_;  // the archive and each copy, as Prepare found them
};

}  // namespace nb
