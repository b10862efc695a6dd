#include "app/BackgroundStore.h"

#include <chrono>
#include <memory>

#include "net/ftp/IdFTPFileStreams.h"

namespace nb {

TBackgroundStore::TBackgroundStore(TIdFTP& ftp, std::string remoteName)
    : ftp_(ftp), remoteName_(std::move(remoteName)) {}

TBackgroundStore::~TBackgroundStore() {
    // An archive run that never said it completed must not pass for whole.
    feed_.Finish(false);
    Join();
}

void TBackgroundStore::Start(const std::string& path) {
    auto reader = std::make_unique<TFeedReader>(path, feed_);
    onWorkBegin_ = std::exchange(ftp_.OnWorkBegin, [this](TIdComponent&, TWorkMode, int64_t) { began_ = true; });
    onWork_ = std::exchange(ftp_.OnWork, [this](TIdComponent&, TWorkMode, int64_t count) { sent_ = count; });
    onWorkEnd_ = std::exchange(ftp_.OnWorkEnd, nullptr);
    thread_ = std::thread([this, reader = std::move(reader)] {
        std::exception_ptr failure;
        try {
            TReadAheadStream ahead(*reader);
            ftp_.PutStream(ahead, remoteName_, false);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            failure_ = failure;
            ended_ = true;
        }
        endedSignal_.notify_all();
    });
}

bool TBackgroundStore::Wait(int32_t milliseconds) {
    std::unique_lock lock(mutex_);
    return endedSignal_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return ended_; });
}

void TBackgroundStore::Finish() {
    Join();
    if (failure_) std::rethrow_exception(failure_);
}

void TBackgroundStore::Join() {
    if (!thread_.joinable()) return;
    thread_.join();
    ftp_.OnWorkBegin = std::move(onWorkBegin_);
    ftp_.OnWork = std::move(onWork_);
    ftp_.OnWorkEnd = std::move(onWorkEnd_);
}

}  // namespace nb
