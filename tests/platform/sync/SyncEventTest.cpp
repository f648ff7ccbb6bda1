#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include <unistd.h>

#include "platform/sync/PlatformError.h"
#include "platform/sync/SyncEvent.h"

using namespace std::chrono_literals;

TEST(SyncEvent, ManualStaysSetUntilReset) {
    auto ev = CreateSyncEvent(true, false);
    EXPECT_EQ(WaitForSyncEvent(ev, 0), SyncWaitTimeout);
    ev->Set();
    EXPECT_EQ(WaitForSyncEvent(ev, 0), 0u);
    EXPECT_EQ(WaitForSyncEvent(ev, 0), 0u);
    ev->Reset();
    EXPECT_FALSE(ev->IsSet());
    EXPECT_EQ(WaitForSyncEvent(ev, 0), SyncWaitTimeout);
    auto initiallySet = CreateSyncEvent(true, true);
    EXPECT_EQ(WaitForSyncEvent(initiallySet, 0), 0u);
}

TEST(SyncEvent, AutoResetIsConsumedByOneWait) {
    auto ev = CreateSyncEvent(false, true);
    EXPECT_EQ(WaitForSyncEvent(ev, 0), 0u);
    EXPECT_EQ(WaitForSyncEvent(ev, 0), SyncWaitTimeout);
}

TEST(SyncEvent, SeveralReportLowestSignalledIndex) {
    TEventHandle evs[3] = {CreateSyncEvent(true, false), CreateSyncEvent(true, true),
                           CreateSyncEvent(true, true)};
    EXPECT_EQ(WaitForSyncEvents(evs, 3, 1000), 1u);
    evs[0]->Set();
    EXPECT_EQ(WaitForSyncEvents(evs, 3, 1000), 0u);
}

TEST(SyncEvent, BadArgumentsFailWithEinval) {
    TEventHandle evs[2] = {CreateSyncEvent(true, false), nullptr};
    EXPECT_EQ(WaitForSyncEvents(evs, 2, 0), SyncWaitFailed);
    EXPECT_EQ(LastPlatformError(), EINVAL);
    EXPECT_EQ(WaitForSyncEvents(evs, 0, 0), SyncWaitFailed);
}

TEST(SyncEvent, TimeoutIsHonoured) {
    auto ev = CreateSyncEvent(true, false);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSyncEvent(ev, 30), SyncWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);
}

TEST(SyncEvent, SetFromAnotherThreadWakesBlockedWaiter) {
    for (int round = 0; round < 200; ++round) {
        TEventHandle evs[2] = {CreateSyncEvent(true, false), CreateSyncEvent(false, false)};
        int payload = 0;
        std::thread setter([&] {
            payload = round + 1; // published by the Set below
            evs[round % 2]->Set();
        });
        EXPECT_EQ(WaitForSyncEvents(evs, 2, 10000), static_cast<std::uint32_t>(round % 2));
        EXPECT_EQ(payload, round + 1);
        setter.join();
    }
}

TEST(SyncEvent, AutoResetWakesExactlyOneOfTwoWaiters) {
    auto ev = CreateSyncEvent(false, false);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (WaitForSyncEvent(ev, 300) == 0)
            ++woken;
    };
    std::thread a(waiter), b(waiter);
    ev->Set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
}

// A source that completes its work only while someone waits: it reads a pipe and sets the event.
class PipeSource : public TWaitSource {
public:
    PipeSource(int fd, TEventHandle ev) : fd_(fd), ev_(std::move(ev)) {}
    void PollBegin(std::vector<pollfd>& fds, TSyncClock::time_point&) override {
        fds.push_back(pollfd{fd_, POLLIN, 0});
    }
    void PollEnd(const pollfd* fds, std::size_t n) override {
        ASSERT_EQ(n, 1u);
        if (fds[0].revents & POLLIN) {
            char c;
            ASSERT_EQ(::read(fd_, &c, 1), 1);
            pumpedBy = std::this_thread::get_id();
            ev_->Set();
        }
    }
    std::thread::id pumpedBy;

private:
    int fd_;
    TEventHandle ev_;
};

TEST(SyncEvent, WaiterDoesTheSourcesWorkItself) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    auto ev = CreateSyncEvent(true, false);
    auto source = std::make_shared<PipeSource>(p[0], ev);
    ev->AttachSource(source);
    std::thread writer([&] { ASSERT_EQ(::write(p[1], "x", 1), 1); });
    EXPECT_EQ(WaitForSyncEvent(ev, 10000), 0u);
    EXPECT_EQ(source->pumpedBy, std::this_thread::get_id());
    writer.join();
    ev->DetachSource(source.get());
    ::close(p[0]);
    ::close(p[1]);
}
