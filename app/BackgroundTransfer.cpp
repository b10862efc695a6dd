#include "app/BackgroundTransfer.h"

#include "app/TransferDisplay.h"

namespace nb {

TBackgroundTransfer::~TBackgroundTransfer() {
    // An archive nobody said was complete must not pass for whole.
    feed_.Finish(false);
    Join();
}

void TBackgroundTransfer::Start(std::function<void()> transfer) {
    onWorkBegin_ = std::exchange(ftp_.OnWorkBegin, [this](TIdComponent&, TWorkMode, int64_t) { began_ = true; });
    onWork_ = std::exchange(ftp_.OnWork, [this](TIdComponent&, TWorkMode mode, int64_t count) {
        count_ = count;
        PassTransferChunk(mode);
    });
    onWorkEnd_ = std::exchange(ftp_.OnWorkEnd, nullptr);
    auto run = [this, transfer = std::move(transfer)] {
        std::exception_ptr failure;
        try {
            transfer();
        } catch (...) {
            failure = std::current_exception();
            feed_.Finish(false);
        }
        {
            std::lock_guard lock(mutex_);
            failure_ = failure;
            ended_ = true;
        }
        endedSignal_.notify_all();
    };
    try {
        thread_ = std::thread(std::move(run));
    } catch (...) {
        // No thread: the client stays this thread's, with its own events.
        ftp_.OnWorkBegin = std::move(onWorkBegin_);
        ftp_.OnWork = std::move(onWork_);
        ftp_.OnWorkEnd = std::move(onWorkEnd_);
        throw;
    }
}

bool TBackgroundTransfer::Wait(int32_t milliseconds) {
    std::unique_lock lock(mutex_);
    if (!ended_) endedSignal_.wait_for(lock, milliseconds);
    return ended_;
}

void TBackgroundTransfer::Finish() {
    Join();
    if (failure_) std::rethrow_exception(failure_);
}

void TBackgroundTransfer::Join() {
    if (!thread_.joinable()) return;
    thread_.join();
    ftp_.OnWorkBegin = std::move(onWorkBegin_);
    ftp_.OnWork = std::move(onWork_);
    ftp_.OnWorkEnd = std::move(onWorkEnd_);
}

}  // namespace nb
