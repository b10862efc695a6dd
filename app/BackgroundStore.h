#pragma once
// An archive stored on the server by a thread of its own while this thread still packs it. The
// FTP client belongs to that thread from Start until Wait says the store ended: its work events
// then only count, and this thread shows them (Began, Sent). Destroying the store fails the feed
// if the archive run never finished it, and waits for the thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "app/ArchiveFeed.h"
#include "net/ftp/IdFTP.h"

namespace nb {

class TBackgroundStore {
public:
    TBackgroundStore(TIdFTP& ftp, std::string remoteName);
    ~TBackgroundStore();
    TBackgroundStore(const TBackgroundStore&) = delete;
    TBackgroundStore& operator=(const TBackgroundStore&) = delete;

    // What the archive run tells about the file it writes.
    TArchiveFeed& Feed() { return feed_; }
    // Starts storing the file at path as the feed lets it be read (EFOpenError where it cannot be
    // opened; nothing started then).
    void Start(const std::string& path);
    bool Started() const { return thread_.joinable(); }

    // Waits up to milliseconds; true once the store has ended (successfully or not).
    bool Wait(int32_t milliseconds);
    // True once the server accepted the store and bytes began to flow; Sent() of them went out.
    bool Began() const { return began_; }
    int64_t Sent() const { return sent_; }
    // Once ended: the FTP client is this thread's again, and what ended the store is raised.
    void Finish();

private:
    void Join();

    TIdFTP& ftp_;
    std::string remoteName_;
    TArchiveFeed feed_;
    TWorkBeginEvent onWorkBegin_;
    TWorkEvent onWork_;
    TWorkEndEvent onWorkEnd_;
    std::atomic<bool> began_ = false;
    std::atomic<int64_t> sent_ = 0;
    std::mutex mutex_;
    std::condition_variable endedSignal_;
    bool ended_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace nb
