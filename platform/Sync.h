#pragma once
// A lock and a condition for threads of this process that hand work to each other many times a
// second. On Windows they are the slim reader/writer lock and its condition variable, which wait
// in the process; the standard library's of MinGW wait on semaphores, one trip to the kernel's
// objects per wait (to the server, under Wine). Elsewhere the standard library's own.
#include <cstdint>
#include <memory>
#include <mutex>

namespace nb {

class TLock {
public:
    TLock();
    ~TLock();
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;
    void lock();
    void unlock();

private:
    friend class TCondition;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class TCondition {
public:
    TCondition();
    ~TCondition();
    TCondition(const TCondition&) = delete;
    TCondition& operator=(const TCondition&) = delete;

    // Releases the lock while waiting; may wake without a notification.
    void wait(std::unique_lock<TLock>& lock);
    // False when milliseconds passed without a notification.
    bool wait_for(std::unique_lock<TLock>& lock, int32_t milliseconds);
    template <typename Predicate>
    void wait(std::unique_lock<TLock>& lock, Predicate ready) {
        while (!ready()) wait(lock);
    }
    void notify_one();
    void notify_all();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace nb
