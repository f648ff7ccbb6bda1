#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Synchronize.h"
#include "framework/Thread.h"
#include "tests/common/ServeUntil.h"

namespace {

using namespace std::chrono_literals;

class LambdaThread : public TThread {
public:
    explicit LambdaThread(std::function<void(LambdaThread&)> Body) : body_(std::move(Body)) {}
    ~LambdaThread() override {
        Terminate();
        if (GetStarted())
            WaitFor();
    }
    using TThread::SetReturnValue;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(LambdaThread&)> body_;
};

TEST(Synchronize, RunsOnTheGuiThreadOnceAndCarriesTheExceptionBack) {
    const auto gui = std::this_thread::get_id();
    ASSERT_TRUE(IsMainThread());
    std::atomic<int> calls{0};
    std::thread::id ranOn;
    std::string caught;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        Synchronize([&] {
            ++calls;
            ranOn = std::this_thread::get_id();
        });
        try {
            Synchronize([] { throw EConvertError("refused"); });
        } catch (const EConvertError& e) {
            caught = e.Message();
        }
        done = true;
    });
    EXPECT_TRUE(ServeUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(ranOn, gui);
    EXPECT_EQ(caught, "refused");
    EXPECT_FALSE(CheckSynchronize(0)) << "nothing may be left queued";

    // On the GUI thread itself the call is direct.
    int direct = 0;
    Synchronize([&] { ++direct; });
    EXPECT_EQ(direct, 1);
}

TEST(Synchronize, WakeHookHearsEveryQueuingAndQueuedCallsCanBeWithdrawn) {
    std::atomic<int> wakes{0};
    SetWakeMainThread([&] { ++wakes; });
    int ran = 0;
    int tag = 0;
    std::thread([&] {
        Queue([&] { ran += 1; });
        Queue([&] { ran += 10; }, &tag);
        Queue([&] { ran += 100; });
    }).join();
    SetWakeMainThread(nullptr);
    EXPECT_EQ(wakes.load(), 3);
    RemoveQueuedEvents(&tag);
    EXPECT_TRUE(CheckSynchronize(0));
    EXPECT_EQ(ran, 101);
}

// A long backlog served one call at a time keeps its order, and withdrawing calls from the
// middle of what is left drops exactly those.
TEST(Synchronize, LongBacklogKeepsItsOrderWhileServedAndWithdrawn) {
    constexpr int kCalls = 600;
    int tag = 0;
    std::vector<int> ran;
    std::thread([&] {
        for (int i = 0; i < kCalls; ++i)
            Queue([&ran, i] { ran.push_back(i); }, i % 3 == 0 ? &tag : nullptr);
    }).join();
    EXPECT_TRUE(WaitServingSynchronize([&] { return ran.size() == 300; }, 10000));
    RemoveQueuedEvents(&tag);
    EXPECT_TRUE(CheckSynchronize(0));
    std::vector<int> expected;
    for (int i = 0; i < kCalls; ++i)
        if (i < 300 || i % 3 != 0)
            expected.push_back(i);
    EXPECT_EQ(ran, expected);
}

TEST(Synchronize, QueuedExceptionsReachTheApplicationHandler) {
    std::string reported;
    Application->OnException = [&](TObject*, const std::exception_ptr& E) {
        reported = ExceptionMessage(E);
    };
    std::thread([] { Queue([] { throw std::runtime_error("from queue"); }); }).join();
    EXPECT_TRUE(CheckSynchronize(0));
    Application->OnException = nullptr;
    EXPECT_EQ(reported, "from queue");
}

TEST(Synchronize, OnlyTheGuiThreadMayServeTheQueue) {
    bool raised = false;
    std::thread([&] {
        try {
            CheckSynchronize(0);
        } catch (const EThread&) {
            raised = true;
        }
    }).join();
    EXPECT_TRUE(raised);
}

TEST(Synchronize, ServingWaitTimesOutWhenNothingHappens) {
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitServingSynchronize([] { return false; }, 30));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);
}

// A bounded CheckSynchronize sleeps until work arrives, not until its time-out, and a waiter
// notification alone neither ends the wait nor counts as work.
TEST(Synchronize, BoundedCheckWakesForWorkAndOnlyForWork) {
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(CheckSynchronize(30));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);

    int ran = 0;
    std::thread worker([&] {
        NotifySynchronizeWaiters();
        Queue([&] { ++ran; });
    });
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_TRUE(CheckSynchronize(60000));
    EXPECT_LT(std::chrono::steady_clock::now() - t1, 30s);
    EXPECT_EQ(ran, 1);
    worker.join();
}

// Several threads in Synchronize at once: each returns only after its own call ran, with its
// own exception, however the hand-overs interleave.
TEST(Synchronize, ConcurrentCallersEachWaitForTheirOwnCall) {
    constexpr int kThreads = 4, kCalls = 500;
    std::atomic<int> finished{0};
    int ranBy[kThreads] = {};
    int faults[kThreads] = {};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                try {
                    Synchronize([&, t, i] {
                        ++ranBy[t];
                        if (i % 7 == t)
                            throw EConvertError(std::to_string(t));
                    });
                } catch (const EConvertError& e) {
                    if (e.Message() != std::to_string(t))
                        ++faults[t];
                    continue;
                }
                if (i % 7 == t)
                    ++faults[t];
                // Read on this thread: only sound if the call finished before Synchronize returned.
                if (ranBy[t] != i + 1)
                    ++faults[t];
            }
            ++finished;
            NotifySynchronizeWaiters();
        });
    EXPECT_TRUE(WaitServingSynchronize([&] { return finished.load() == kThreads; }, 60000));
    for (auto& w : workers)
        w.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(ranBy[t], kCalls) << "thread " << t;
        EXPECT_EQ(faults[t], 0) << "thread " << t;
    }
}

// The condition may be guarded by a lock that notifiers hold while they notify.
TEST(Synchronize, ServingWaitConditionMayTakeALockHeldByNotifiers) {
    std::mutex m;
    int count = 0;
    std::thread worker([&] {
        for (int i = 0; i < 2000; ++i) {
            std::lock_guard lk(m);
            ++count;
            NotifySynchronizeWaiters();
        }
    });
    EXPECT_TRUE(WaitServingSynchronize(
        [&] {
            std::lock_guard lk(m);
            return count == 2000;
        },
        20000));
    worker.join();
}

// The close path of a port: the GUI thread waits for a thread that is itself blocked in
// Synchronize. The wait must serve the call, or both would wait forever.
TEST(Thread, WaitForOnTheGuiThreadServesSynchronize) {
    std::atomic<bool> inSync{false};
    int served = 0;
    LambdaThread t([&](LambdaThread& self) {
        while (!self.GetTerminated()) {
            self.Synchronize([&] {
                ++served;
                inSync = true;
            });
            std::this_thread::yield();
        }
        self.SetReturnValue(7);
    });
    t.Start();
    ASSERT_TRUE(ServeUntil([&] { return inSync.load(); }));
    t.Terminate();
    EXPECT_EQ(t.WaitFor(), 7);
    EXPECT_TRUE(t.GetFinished());
    EXPECT_GE(served, 1);
}

TEST(Thread, LifecycleEndsCleanlyAndKeepsTheFatalException) {
    std::thread::id onTerminateThread;
    LambdaThread t([](LambdaThread&) { throw std::runtime_error("body failed"); });
    t.OnTerminate = [&](TObject* Sender) {
        EXPECT_EQ(Sender, &t);
        onTerminateThread = std::this_thread::get_id();
    };
    EXPECT_TRUE(t.GetSuspended());
    t.Start();
    EXPECT_THROW(t.Start(), EThread);
    t.WaitFor();
    EXPECT_EQ(onTerminateThread, std::this_thread::get_id());
    EXPECT_EQ(ExceptionMessage(t.GetFatalException()), "body failed");

    // Calls a thread queued die with it.
    bool queuedRan = false;
    {
        LambdaThread q([&](LambdaThread& self) { self.Queue([&] { queuedRan = true; }); });
        q.Start();
        // WaitFor would serve the queue; wait for the end without serving.
        auto ended = std::async(std::launch::async, [&] {
            return WaitServingSynchronize([&] { return q.GetFinished(); }, 10000);
        });
        ASSERT_TRUE(ended.get());
    }
    EXPECT_FALSE(CheckSynchronize(0));
    EXPECT_FALSE(queuedRan);

    // A thread that never ran is destroyed without running its body.
    bool ran = false;
    {
        LambdaThread never([&](LambdaThread&) { ran = true; });
    }
    EXPECT_FALSE(ran);
}

TEST(Thread, PriorityLevelsReachTheKernel) {
    std::atomic<int> niceSeen{99};
    std::promise<void> proceed;
    auto proceeding = proceed.get_future();
    LambdaThread t([&](LambdaThread& self) {
        niceSeen = getpriority(PRIO_PROCESS, static_cast<id_t>(self.GetThreadID()));
        proceeding.wait_for(10s);
    });
    t.SetPriority(tpLowest);
    t.Start();
    ASSERT_TRUE(ServeUntil([&] { return niceSeen.load() != 99; }));
    EXPECT_EQ(niceSeen.load(), 10);
    EXPECT_TRUE(t.GetPriorityApplied());
    // A raise may be refused without privileges; the thread must run on either way.
    t.SetPriority(tpHigher);
    EXPECT_EQ(t.GetPriority(), tpHigher);
    const int now = getpriority(PRIO_PROCESS, static_cast<id_t>(t.GetThreadID()));
    if (t.GetPriorityApplied())
        EXPECT_EQ(now, -5);
    else
        EXPECT_GE(now, 0);
    proceed.set_value();
    t.WaitFor();
}

} // namespace

// A wake hook that fails leaves nothing queued that points into the caller's finished frame.
TEST(Synchronize, FailingWakeHookWithdrawsTheCall) {
    SetWakeMainThread([] { throw std::runtime_error("no wake"); });
    bool ran = false;
    std::string error;
    std::thread([&] {
        try {
            Synchronize([&] { ran = true; });
        } catch (const std::exception& E) {
            error = E.what();
        }
    }).join();
    SetWakeMainThread(nullptr);
    EXPECT_EQ(error, "no wake");
    EXPECT_FALSE(CheckSynchronize(0));
    EXPECT_FALSE(ran);
}
