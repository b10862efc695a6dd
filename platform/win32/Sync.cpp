#include "platform/Sync.h"

#include "platform/win32/Win32.h"

namespace nb {

struct TLock::Impl {
    SRWLOCK lock = SRWLOCK_INIT;
};

TLock::TLock() : impl_(std::make_unique<Impl>()) {}
TLock::~TLock() = default;
void TLock::lock() { ::AcquireSRWLockExclusive(&impl_->lock); }
void TLock::unlock() { ::ReleaseSRWLockExclusive(&impl_->lock); }

struct TCondition::Impl {
    CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

TCondition::TCondition() : impl_(std::make_unique<Impl>()) {}
TCondition::~TCondition() = default;

void TCondition::wait(std::unique_lock<TLock>& lock) {
    ::SleepConditionVariableSRW(&impl_->condition, &lock.mutex()->impl_->lock, INFINITE, 0);
}

bool TCondition::wait_for(std::unique_lock<TLock>& lock, int32_t milliseconds) {
    return ::SleepConditionVariableSRW(&impl_->condition, &lock.mutex()->impl_->lock,
                                       static_cast<DWORD>(milliseconds), 0) != 0;
}

void TCondition::notify_one() { ::WakeConditionVariable(&impl_->condition); }
void TCondition::notify_all() { ::WakeAllConditionVariable(&impl_->condition); }

}  // namespace nb
