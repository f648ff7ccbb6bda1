// Internal: the GUI thread's work queue behind Synchronize.h and MessageWindow.h.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/Synchronize.h"
#include "framework/WaitWord.h"

struct TQueuedWork {
    std::function<void()> Run;
    // Called instead of Run when the work is removed unrun (may be empty).
    std::function<void()> Drop;
    const void* Tag = nullptr;
};

// First in, first out, in one vector whose storage is kept: a steady hand-over of one call at a
// time allocates nothing (a deque allocates and frees a block every few calls).
class TWorkQueue {
public:
    bool empty() const { return head_ == items_.size(); }
    std::size_t size() const { return items_.size() - head_; }
    void push_back(TQueuedWork Work) { items_.push_back(std::move(Work)); }
    TQueuedWork PopFront();
    // Moves the work Pred picks out, in order, to the end of Out.
    template <typename P>
    void Extract(P Pred, std::vector<TQueuedWork>& Out);

private:
    std::vector<TQueuedWork> items_;
    std::size_t head_ = 0;
};

template <typename P>
void TWorkQueue::Extract(P Pred, std::vector<TQueuedWork>& Out) {
    auto it = std::stable_partition(items_.begin() + static_cast<std::ptrdiff_t>(head_),
                                    items_.end(), [&](const TQueuedWork& w) { return !Pred(w); });
    std::move(it, items_.end(), std::back_inserter(Out));
    items_.erase(it, items_.end());
}

class TMainThreadQueue {
public:
    static TMainThreadQueue& Instance();

    // Read without the queue's lock: every Synchronize and SendMessage asks.
    std::thread::id MainThread() const { return mainThread_.load(std::memory_order_acquire); }
    void SetMainThread(std::thread::id ID);

    void Post(TQueuedWork Work);
    // Drops queued work of Tag; Drop functions run outside the lock.
    // How many queued calls were withdrawn.
    std::size_t Remove(const void* Tag);
    bool Check(int TimeoutMs);
    bool WaitServing(const std::function<bool()>& Done, int TimeoutMs);
    void NotifyWaiters();
    void SetWakeHook(TWakeMainThreadEvent Hook);

private:
    TMainThreadQueue();
    static void RunOne(TQueuedWork& Work);

    mutable std::mutex mutex_;
    TWorkQueue queue_;
    // Moves on with every queuing (after the work is in) and every NotifyWaiters, so that a
    // waiter that read it before checking its condition does not sleep through a change.
    TGenerationWord generation_;
    std::atomic<std::thread::id> mainThread_;
    // Shared, so that queuing copies a pointer rather than the hook.
    std::shared_ptr<const TWakeMainThreadEvent> wake_;
};
