// Internal: the GUI thread's work queue behind Synchronize.h and MessageWindow.h.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "framework/Synchronize.h"

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

    // Completion of work a thread waits for. Flag is read and written only under the queue's
    // lock; the waiter is woken after the lock is let go, so it does not wake into it.
    void WaitDone(const bool& Flag);
    void SignalDone(bool& Flag);
    // As SignalDone, unless Flag was set already (then false and nothing happens); Then runs
    // under the lock, before Flag is set.
    template <typename F>
    bool SignalDoneOnce(bool& Flag, F&& Then);

private:
    TMainThreadQueue();
    static void RunOne(TQueuedWork& Work);

    mutable std::mutex mutex_;
    std::condition_variable workCv_;
    std::condition_variable doneCv_;
    std::deque<TQueuedWork> queue_;
    // Moves on with every queuing and every NotifyWaiters, so that a waiter that checked its
    // condition before a change does not sleep through it. Written under the lock; a waiter
    // reads it before taking the lock and checks it again under the lock before sleeping.
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<std::thread::id> mainThread_;
    // Shared, so that queuing copies a pointer rather than the hook.
    std::shared_ptr<const TWakeMainThreadEvent> wake_;
};

template <typename F>
bool TMainThreadQueue::SignalDoneOnce(bool& Flag, F&& Then) {
    {
        std::lock_guard lk(mutex_);
        if (Flag)
            return false;
        Then();
        Flag = true;
    }
    doneCv_.notify_all();
    return true;
}
