// Internal: the GUI thread's work queue behind Synchronize.h and MessageWindow.h.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "framework/Synchronize.h"
#include "framework/WaitWord.h"

struct TQueuedWork {
    std::function<void()> Run;
    // Called instead of Run when the work is removed unrun (may be empty).
    std::function<void()> Drop;
    const void* Tag = nullptr;
};

class TMainThreadQueue {
public:
    static TMainThreadQueue& Instance();

    // Read without the queue's lock: every Synchronize and SendMessage asks.
    std::thread::id MainThread() const { return mainThread_.load(std::memory_order_acquire); }
    void SetMainThread(std::thread::id ID);

    void Post(TQueuedWork Work);
    // Drops queued work of Tag; Drop functions run outside the lock.
    void Remove(const void* Tag);
    bool Check(int TimeoutMs);
    bool WaitServing(const std::function<bool()>& Done, int TimeoutMs);
    void NotifyWaiters();
    void SetWakeHook(TWakeMainThreadEvent Hook);

private:
    TMainThreadQueue();
    static void RunOne(TQueuedWork& Work);

    mutable std::mutex mutex_;
    std::deque<TQueuedWork> queue_;
    // Moves on with every queuing (after the work is in) and every NotifyWaiters, so that a
    // waiter that read it before checking its condition does not sleep through a change.
    TGenerationWord generation_;
    std::atomic<std::thread::id> mainThread_;
    // Shared, so that queuing copies a pointer rather than the hook.
    std::shared_ptr<const TWakeMainThreadEvent> wake_;
};
