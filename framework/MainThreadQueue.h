// Internal: the GUI thread's work queue behind Synchronize.h and MessageWindow.h.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
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

    std::thread::id MainThread() const;
    void SetMainThread(std::thread::id ID);

    void Post(TQueuedWork Work);
    // Drops queued work of Tag; Drop functions run outside the lock.
    void Remove(const void* Tag);
    bool Check(int TimeoutMs);
    bool WaitServing(const std::function<bool()>& Done, int TimeoutMs);
    void NotifyWaiters();
    void SetWakeHook(TWakeMainThreadEvent Hook);

    // For threads waiting on the completion of their queued work.
    std::mutex& Mutex() { return mutex_; }
    std::condition_variable& DoneCondition() { return doneCv_; }

private:
    TMainThreadQueue();
    static void RunOne(TQueuedWork& Work);

    mutable std::mutex mutex_;
    std::condition_variable workCv_;
    std::condition_variable doneCv_;
    std::deque<TQueuedWork> queue_;
    // Moves on with every queuing and every NotifyWaiters, so that a waiter that checked its
    // condition before a change does not sleep through it.
    std::uint64_t generation_ = 0;
    std::thread::id mainThread_;
    TWakeMainThreadEvent wake_;
};
