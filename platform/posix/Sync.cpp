#include "platform/Sync.h"

#include <chrono>
#include <condition_variable>

namespace nb {

struct TLock::Impl {
    std::mutex mutex;
};

TLock::TLock() : impl_(std::make_unique<Impl>()) {}
TLock::~TLock() = default;
void TLock::lock() { impl_->mutex.lock(); }
void TLock::unlock() { impl_->mutex.unlock(); }

struct TCondition::Impl {
    std::condition_variable condition;
};

TCondition::TCondition() : impl_(std::make_unique<Impl>()) {}
TCondition::~TCondition() = default;

namespace {
// The standard condition waits on the standard mutex inside the lock, which stays the caller's.
template <typename Wait>
auto OnInnerMutex(std::mutex& inner, Wait wait) {
    std::unique_lock<std::mutex> held(inner, std::adopt_lock);
    auto result = wait(held);
    held.release();
    return result;
}
}  // namespace

void TCondition::wait(std::unique_lock<TLock>& lock) {
    OnInnerMutex(lock.mutex()->impl_->mutex, [this](std::unique_lock<std::mutex>& held) {
        impl_->condition.wait(held);
        return true;
    });
}

bool TCondition::wait_for(std::unique_lock<TLock>& lock, int32_t milliseconds) {
    return OnInnerMutex(lock.mutex()->impl_->mutex, [&](std::unique_lock<std::mutex>& held) {
        return impl_->condition.wait_for(held, std::chrono::milliseconds(milliseconds)) == std::cv_status::no_timeout;
    });
}

void TCondition::notify_one() { impl_->condition.notify_one(); }
void TCondition::notify_all() { impl_->condition.notify_all(); }

}  // namespace nb
