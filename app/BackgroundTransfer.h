#pragma once
// A transfer of the archive run by a thread of its own while this thread works on the same
// archive, through the feed: the upload sends what the archive run has written so far, the
// download's restore reads what has arrived so far. The FTP client belongs to that thread from
// Start until Wait says the transfer ended: its work events then only count (and pass the chunk's
// crash step there), and this thread shows them (Began, Count). Destroying the transfer fails the
// feed, if nobody finished it, and waits for the thread.
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>

#include "app/ArchiveFeed.h"
#include "net/ftp/IdFTP.h"
#include "platform/Sync.h"

namespace nb {

class TBackgroundTransfer {
public:
    explicit TBackgroundTransfer(TIdFTP& ftp) : ftp_(ftp) {}
    ~TBackgroundTransfer();
    TBackgroundTransfer(const TBackgroundTransfer&) = delete;
    TBackgroundTransfer& operator=(const TBackgroundTransfer&) = delete;

    // Between the side that writes the archive file and the side that reads it.
    TArchiveFeed& Feed() { return feed_; }
    // Runs transfer on the thread; where it raises, the feed fails too.
    void Start(std::function<void()> transfer);
    bool Started() const { return thread_.joinable(); }

    // Waits up to milliseconds; true once the transfer has ended (successfully or not).
    bool Wait(int32_t milliseconds);
    // True once the server accepted the transfer and bytes began to flow; Count() of them moved.
    bool Began() const { return began_; }
    int64_t Count() const { return count_; }
    // Waits for the end: the FTP client is this thread's again, and what ended the transfer is raised.
    void Finish();

private:
    void Join();

    TIdFTP& ftp_;
    TArchiveFeed feed_;
    TWorkBeginEvent onWorkBegin_;
    TWorkEvent onWork_;
    TWorkEndEvent onWorkEnd_;
    std::atomic<bool> began_ = false;
    std::atomic<int64_t> count_ = 0;
    TLock mutex_;
    TCondition endedSignal_;
    bool ended_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace nb
