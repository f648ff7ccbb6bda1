#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/timer/MmTimer.h"

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// Ticks recorded by the callback; waits are bounded by a generous deadline.
struct TickLog {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<TClock::time_point> Ticks;

    void Add() {
        std::lock_guard lk(Mutex);
        Ticks.push_back(TClock::now());
        Changed.notify_all();
    }
    bool WaitFor(std::size_t Count) {
        std::unique_lock lk(Mutex);
        return Changed.wait_for(lk, 20s, [&] { return Ticks.size() >= Count; });
    }
    std::size_t Count() {
        std::lock_guard lk(Mutex);
        return Ticks.size();
    }
};

TEST(MmTimer, PeriodicTicksKeepThePeriodAsAMedian) {
    constexpr int kPeriodMs = 10;
    constexpr std::size_t kTicks = 60;
    TickLog log;
    std::uintptr_t userSeen = 0;
    const std::uint32_t id = timeSetEvent(
        kPeriodMs, 0,
        [&](std::uint32_t, std::uint32_t, std::uintptr_t User, std::uintptr_t, std::uintptr_t) {
            userSeen = User;
            log.Add();
        },
        0x5A, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(log.WaitFor(kTicks));
    ASSERT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    EXPECT_EQ(userSeen, 0x5Au);

    std::vector<double> gaps;
    for (std::size_t i = 1; i < log.Ticks.size(); ++i)
        gaps.push_back(
            std::chrono::duration<double, std::milli>(log.Ticks[i] - log.Ticks[i - 1]).count());
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double median = gaps[gaps.size() / 2];
    EXPECT_GT(median, kPeriodMs * 0.7);
    EXPECT_LT(median, kPeriodMs * 1.5);
}

// A callback is held while another thread kills the timer: the kill may only return after the
// callback has, and no tick may start afterwards.
TEST(MmTimer, NothingRunsAfterKillReturns) {
    std::atomic<int> active{0};
    std::atomic<int> ticks{0};
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future().share();
    const std::uint32_t id = timeSetEvent(
        5, 0,
        [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
            ++active;
            if (ticks++ == 0) {
                entered.set_value();
                released.wait_for(20s);
            }
            --active;
        },
        0, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(entered.get_future().wait_for(20s), std::future_status::ready);

    std::promise<int> activeAtReturn;
    std::thread killer([&] {
        EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
        activeAtReturn.set_value(active.load());
    });
    auto result = activeAtReturn.get_future();
    // The kill must still be waiting while the callback is held.
    EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);
    release.set_value();
    ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    killer.join();
    const int after = ticks.load();
    // Observe several periods: the count must not move.
    std::promise<void> never;
    never.get_future().wait_for(40ms);
    EXPECT_EQ(ticks.load(), after);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(MmTimer, KillFromInsideTheCallbackEndsTheTimerWithoutDeadlock) {
    TickLog log;
    std::atomic<std::uint32_t> killResult{99};
    const std::uint32_t id = timeSetEvent(
        2, 0,
        [&](std::uint32_t ID, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
            if (log.Count() == 2)
                killResult = timeKillEvent(ID);
            log.Add();
        },
        0, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(log.WaitFor(3));
    std::promise<void> never;
    never.get_future().wait_for(30ms);
    EXPECT_EQ(log.Count(), 3u);
    EXPECT_EQ(killResult.load(), TIMERR_NOERROR);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(MmTimer, OneShotFiresOnceAndRefusedStartsReturnZero) {
    TickLog log;
    auto cb = [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
        log.Add();
    };
    const auto t0 = TClock::now();
    const std::uint32_t id = timeSetEvent(15, 0, cb, 0, TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_GE(log.Ticks[0] - t0, 15ms);

    EXPECT_EQ(timeSetEvent(0, 0, cb, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(TimerMaxDelay + 1, 0, cb, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 0, nullptr, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 0, cb, 0, 0x0010), 0u);
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);

    // Two timers get different ids.
    const std::uint32_t a = timeSetEvent(1000, 0, cb, 0, TIME_PERIODIC);
    const std::uint32_t b = timeSetEvent(1000, 0, cb, 0, TIME_PERIODIC);
    EXPECT_NE(a, b);
    EXPECT_EQ(timeKillEvent(a), TIMERR_NOERROR);
    EXPECT_EQ(timeKillEvent(b), TIMERR_NOERROR);
}

} // namespace
