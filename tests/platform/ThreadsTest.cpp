// The lock and condition threads hand work over with, and which thread serves the window's queue.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Sync.h"
#include "platform/UserInterface.h"

namespace nb {
namespace {

TEST(SyncTest, TwoThreadsHandATokenBackAndForthWithoutLosingAWakeUp) {
    TLock lock;
    TCondition turned;
    int token = 0;  // even: this thread's turn, odd: the other's
    constexpr int kRounds = 20000;
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            std::unique_lock held(lock);
            turned.wait(held, [&] { return token % 2 == 1; });
            ++token;
            turned.notify_one();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        std::unique_lock held(lock);
        turned.wait(held, [&] { return token % 2 == 0; });
        ++token;
        turned.notify_one();
    }
    other.join();
    EXPECT_EQ(token, 2 * kRounds);
}

TEST(SyncTest, WaitForSaysWhetherItWasWokenAndHoldsTheLockAgain) {
    TLock lock;
    TCondition woken;
    std::unique_lock held(lock);
    EXPECT_FALSE(woken.wait_for(held, 20)) << "nobody notified";
    EXPECT_TRUE(held.owns_lock());
    bool ready = false;
    std::thread notifier([&] {
        std::lock_guard guard(lock);
        ready = true;
        woken.notify_all();
    });
    while (!ready) woken.wait_for(held, 5000);
    EXPECT_TRUE(held.owns_lock());
    held.unlock();
    notifier.join();
}

TEST(UserInterfaceTest, OnlyTheWindowsThreadServesItsQueue) {
    int served = 0;
    SetUserInterfaceHooks({[&served] { ++served; }, nullptr, nullptr});
    ServeMessageQueueOnce();
    std::thread background([] { ServeMessageQueueOnce(); });
    background.join();
    SetUserInterfaceHooks({});
    EXPECT_EQ(served, 1) << "a background pack must not pump the window's messages";
}

}  // namespace
}  // namespace nb
