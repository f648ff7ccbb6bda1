#include "framework/Synchronize.h"

#include <algorithm>
#include <vector>

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/MainThreadQueue.h"

namespace {

// The queue is created during start-up, so the main thread becomes the GUI thread.
[[maybe_unused]] const bool kQueueCreatedAtStartup = (TMainThreadQueue::Instance(), true);

using TClock = std::chrono::steady_clock;

TClock::time_point DeadlineAfter(int TimeoutMs) {
    return TClock::now() + std::chrono::milliseconds(TimeoutMs);
}

} // namespace

TMainThreadQueue& TMainThreadQueue::Instance() {
    // Never destroyed: detached threads may still queue while the process exits.
    static auto* queue = new TMainThreadQueue();
    return *queue;
}

TQueuedWork TWorkQueue::PopFront() {
    TQueuedWork work = std::move(items_[head_++]);
    if (head_ == items_.size()) {
        items_.clear();
        head_ = 0;
    } else if (head_ >= 64 && head_ * 2 >= items_.size()) {
        // A queue that never runs empty drops its served front now and then.
        items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    return work;
}

TMainThreadQueue::TMainThreadQueue() : mainThread_(std::this_thread::get_id()) {}

void TMainThreadQueue::SetMainThread(std::thread::id ID) {
    mainThread_.store(ID, std::memory_order_release);
}

void TMainThreadQueue::Post(TQueuedWork Work) {
    std::shared_ptr<const TWakeMainThreadEvent> wake;
    {
        std::lock_guard lk(mutex_);
        queue_.push_back(std::move(Work));
        wake = wake_;
    }
    generation_.Advance();
    if (wake)
        (*wake)();
}

std::size_t TMainThreadQueue::Remove(const void* Tag) {
    if (Tag == nullptr)
        return 0;
    std::vector<TQueuedWork> dropped;
    {
        std::lock_guard lk(mutex_);
        queue_.Extract([Tag](const TQueuedWork& w) { return w.Tag == Tag; }, dropped);
    }
    for (auto& w : dropped)
        if (w.Drop)
            w.Drop();
    return dropped.size();
}

void TMainThreadQueue::RunOne(TQueuedWork& Work) {
    try {
        Work.Run();
    } catch (...) {
        Application->HandleException(std::current_exception());
    }
}

bool TMainThreadQueue::Check(int TimeoutMs) {
    if (std::this_thread::get_id() != MainThread())
        throw EThread("CheckSynchronize called from a thread that is not the GUI thread");
    const auto deadline = DeadlineAfter(TimeoutMs < 0 ? 0 : TimeoutMs);
    for (;;) {
        const std::uint32_t seen = generation_.Load();
        {
            std::lock_guard lk(mutex_);
            if (!queue_.empty() || TimeoutMs == 0)
                break;
        }
        if (!generation_.WaitWhile(seen, TimeoutMs < 0 ? nullptr : &deadline))
            break;
    }
    std::unique_lock lk(mutex_);
    std::size_t n = queue_.size();
    bool ran = false;
    while (n-- > 0 && !queue_.empty()) {
        TQueuedWork work = queue_.PopFront();
        lk.unlock();
        RunOne(work);
        ran = true;
        lk.lock();
    }
    return ran;
}

bool TMainThreadQueue::WaitServing(const std::function<bool()>& Done, int TimeoutMs) {
    const auto deadline = DeadlineAfter(TimeoutMs < 0 ? 0 : TimeoutMs);
    const bool serve = std::this_thread::get_id() == MainThread();
    for (;;) {
        const std::uint32_t seen = generation_.Load();
        // Done runs without our lock, so it may take locks of its own; a change made after
        // this check moves the generation on and ends the wait below.
        if (Done())
            return true;
        std::unique_lock lk(mutex_);
        if (serve && !queue_.empty()) {
            TQueuedWork work = queue_.PopFront();
            lk.unlock();
            RunOne(work);
            continue;
        }
        lk.unlock();
        if (!generation_.WaitWhile(seen, TimeoutMs < 0 ? nullptr : &deadline))
            return Done();
    }
}

void TMainThreadQueue::NotifyWaiters() {
    generation_.Advance();
}

void TMainThreadQueue::SetWakeHook(TWakeMainThreadEvent Hook) {
    auto shared = Hook ? std::make_shared<const TWakeMainThreadEvent>(std::move(Hook)) : nullptr;
    std::lock_guard lk(mutex_);
    wake_ = std::move(shared);
}

std::thread::id GetMainThreadID() {
    return TMainThreadQueue::Instance().MainThread();
}

void SetMainThreadID(std::thread::id ID) {
    TMainThreadQueue::Instance().SetMainThread(ID);
}

bool IsMainThread() {
    return std::this_thread::get_id() == GetMainThreadID();
}

void Synchronize(const TThreadMethod& Method) {
    if (!Method)
        return;
    if (IsMainThread()) {
        Method();
        return;
    }
    // The call lives in the caller's frame, which waits below until it has run; the work holds
    // one pointer to it, small enough for std::function to keep without allocating.
    struct TCall {
        const TThreadMethod* Method;
        std::exception_ptr Error;
        TDoneWord Done;
    } call{&Method, {}, {}};
    auto& q = TMainThreadQueue::Instance();
    try {
        q.Post({[c = &call] {
                    try {
                        (*c->Method)();
                    } catch (...) {
                        c->Error = std::current_exception();
                    }
                    c->Done.Set();
                },
                {},
                &call});
    } catch (...) {
        // The wake hook failed after the call was queued: withdraw it, or, when the main thread
        // has already taken it, let it finish before this frame goes away.
        if (q.Remove(&call) == 0)
            call.Done.Wait();
        throw;
    }
    call.Done.Wait();
    if (call.Error)
        std::rethrow_exception(call.Error);
}

void Queue(TThreadMethod Method, const void* Tag) {
    if (!Method)
        return;
    if (IsMainThread()) {
        Method();
        return;
    }
    TMainThreadQueue::Instance().Post({std::move(Method), {}, Tag});
}

void RemoveQueuedEvents(const void* Tag) {
    TMainThreadQueue::Instance().Remove(Tag);
}

bool CheckSynchronize(int TimeoutMs) {
    return TMainThreadQueue::Instance().Check(TimeoutMs);
}

void SetWakeMainThread(TWakeMainThreadEvent Hook) {
    TMainThreadQueue::Instance().SetWakeHook(std::move(Hook));
}

bool WaitServingSynchronize(const std::function<bool()>& Done, int TimeoutMs) {
    return TMainThreadQueue::Instance().WaitServing(Done, TimeoutMs);
}

void NotifySynchronizeWaiters() {
    TMainThreadQueue::Instance().NotifyWaiters();
}
