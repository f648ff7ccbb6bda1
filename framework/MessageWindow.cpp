#include "framework/MessageWindow.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "framework/MainThreadQueue.h"

namespace {

using TMethodPtr = std::shared_ptr<const TWndMethod>;

struct TWindowTable {
    std::mutex Mutex;
    std::unordered_map<HWND, TMethodPtr> Windows;
    HWND Next = 1;
};

TWindowTable& Table() {
    // Never destroyed: threads may still post while the process exits.
    static auto* table = new TWindowTable();
    return *table;
}

TMethodPtr FindWindow(HWND Wnd) {
    auto& t = Table();
    std::lock_guard lk(t.Mutex);
    auto it = t.Windows.find(Wnd);
    return it == t.Windows.end() ? nullptr : it->second;
}

// A message sent from another thread; the sender waits until Replied.
struct TSentState {
    std::atomic<bool> Replied{false};
    LRESULT Result = 0;
    TDoneWord Done;
};

bool Release(TSentState& Sent, LRESULT Result) {
    if (Sent.Replied.exchange(true))
        return false;
    Sent.Result = Result;
    Sent.Done.Set();
    return true;
}

// What the running message method was called for; nests when a method serves the queue.
struct TDispatchContext {
    TSentState* Sent = nullptr;
};
thread_local TDispatchContext* currentContext = nullptr;

class TContextScope {
public:
    explicit TContextScope(TDispatchContext* Ctx) : saved_(currentContext) { currentContext = Ctx; }
    ~TContextScope() { currentContext = saved_; }
    TContextScope(const TContextScope&) = delete;
    TContextScope& operator=(const TContextScope&) = delete;

private:
    TDispatchContext* saved_;
};

void Dispatch(const TMethodPtr& Method, TMessage& Message,
              const std::shared_ptr<TSentState>& Sent) {
    TDispatchContext ctx{Sent.get()};
    TContextScope scope(&ctx);
    try {
        (*Method)(Message);
    } catch (...) {
        if (Sent)
            Release(*Sent, 0);
        throw;
    }
    if (Sent)
        Release(*Sent, Message.Result);
}

void PostToQueue(HWND Wnd, const TMethodPtr& Method, const TMessage& Message,
                 const std::shared_ptr<TSentState>& Sent) {
    TQueuedWork work;
    work.Tag = Method.get();
    work.Run = [Wnd, Message, Sent] {
        // The window may have gone since the message was queued.
        TMethodPtr method = FindWindow(Wnd);
        if (!method) {
            if (Sent)
                Release(*Sent, 0);
            return;
        }
        TMessage m = Message;
        Dispatch(method, m, Sent);
    };
    if (Sent)
        work.Drop = [Sent] { Release(*Sent, 0); };
    TMainThreadQueue::Instance().Post(std::move(work));
}

} // namespace

HWND AllocateHWnd(TWndMethod Method) {
    auto& t = Table();
    auto method = std::make_shared<const TWndMethod>(std::move(Method));
    std::lock_guard lk(t.Mutex);
    const HWND wnd = t.Next++;
    t.Windows.emplace(wnd, std::move(method));
    return wnd;
}

void DeallocateHWnd(HWND Wnd) {
    TMethodPtr method;
    {
        auto& t = Table();
        std::lock_guard lk(t.Mutex);
        auto it = t.Windows.find(Wnd);
        if (it == t.Windows.end())
            return;
        method = std::move(it->second);
        t.Windows.erase(it);
    }
    TMainThreadQueue::Instance().Remove(method.get());
}

bool IsWindow(HWND Wnd) {
    return FindWindow(Wnd) != nullptr;
}

LRESULT SendMessage(HWND Wnd, std::uint32_t Msg, WPARAM WParam, LPARAM LParam) {
    TMethodPtr method = FindWindow(Wnd);
    if (!method || !*method)
        return 0;
    TMessage message{Msg, WParam, LParam, 0};
    if (IsMainThread()) {
        Dispatch(method, message, nullptr);
        return message.Result;
    }
    auto sent = std::make_shared<TSentState>();
    PostToQueue(Wnd, method, message, sent);
    sent->Done.Wait();
    return sent->Result;
}

bool PostMessage(HWND Wnd, std::uint32_t Msg, WPARAM WParam, LPARAM LParam) {
    TMethodPtr method = FindWindow(Wnd);
    if (!method || !*method)
        return false;
    PostToQueue(Wnd, method, TMessage{Msg, WParam, LParam, 0}, nullptr);
    return true;
}

bool ReplyMessage(LRESULT Result) {
    if (currentContext == nullptr || currentContext->Sent == nullptr)
        return false;
    return Release(*currentContext->Sent, Result);
}

bool InSendMessage() {
    return currentContext != nullptr && currentContext->Sent != nullptr;
}

LRESULT DefWindowProc(HWND /*Wnd*/, std::uint32_t /*Msg*/, WPARAM /*WParam*/, LPARAM /*LParam*/) {
    return 0;
}
