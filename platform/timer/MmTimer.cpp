#include "platform/timer/MmTimer.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace {

using TClock = std::chrono::steady_clock;

struct TTimer {
    std::uint32_t ID = 0;
    std::chrono::milliseconds Period{0};
    TClock::time_point Start;
    bool Periodic = false;
    TTimeCallback Callback;
    std::uintptr_t User = 0;

    std::mutex Mutex;
    std::condition_variable Wake;
    bool Killed = false; // guarded by Mutex
    std::thread Thread;  // assigned under Mutex before the thread can look at it
};

struct TTimerTable {
    std::mutex Mutex;
    std::unordered_map<std::uint32_t, std::shared_ptr<TTimer>> Timers;
    std::uint32_t Next = 1;
};

TTimerTable& Table() {
    // Never destroyed: a timer thread may outlive static destruction at exit.
    static auto* table = new TTimerTable();
    return *table;
}

void Fire(TTimer& T) {
    try {
        T.Callback(T.ID, 0, T.User, 0, 0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "timer %u: callback failed: %s\n", T.ID, e.what());
    } catch (...) {
        std::fprintf(stderr, "timer %u: callback failed\n", T.ID);
    }
}

// A one-shot timer that fired removes itself; nobody will join it then.
void Retire(const std::shared_ptr<TTimer>& T) {
    bool mine = false;
    {
        auto& table = Table();
        std::lock_guard lk(table.Mutex);
        mine = table.Timers.erase(T->ID) > 0;
    }
    if (mine) {
        std::lock_guard lk(T->Mutex);
        T->Thread.detach();
    }
}

void Run(std::shared_ptr<TTimer> T) {
    const auto start = T->Start;
    std::int64_t n = 1;
    std::unique_lock lk(T->Mutex);
    for (;;) {
        const auto due = start + n * T->Period;
        if (T->Wake.wait_until(lk, due, [&] { return T->Killed; }))
            return;
        lk.unlock();
        Fire(*T);
        lk.lock();
        if (T->Killed)
            return;
        if (!T->Periodic) {
            lk.unlock();
            Retire(T);
            return;
        }
        const auto elapsed = TClock::now() - start;
        n = std::max<std::int64_t>(n + 1, elapsed / T->Period + 1);
    }
}

} // namespace

std::uint32_t timeSetEvent(std::uint32_t Delay, std::uint32_t /*Resolution*/,
                           TTimeCallback Callback, std::uintptr_t User, std::uint32_t Flags) {
    if (Delay < TimerMinDelay || Delay > TimerMaxDelay || !Callback ||
        (Flags & ~(TIME_PERIODIC | TIME_KILL_SYNCHRONOUS)) != 0)
        return 0;
    auto timer = std::make_shared<TTimer>();
    timer->Period = std::chrono::milliseconds(Delay);
    timer->Periodic = (Flags & TIME_PERIODIC) != 0;
    timer->Callback = std::move(Callback);
    timer->User = User;
    // The schedule counts from the call, not from whenever the new thread gets going.
    timer->Start = TClock::now();

    auto& table = Table();
    std::lock_guard tableLock(table.Mutex);
    do {
        timer->ID = table.Next++;
    } while (timer->ID == 0 || table.Timers.count(timer->ID) != 0);
    std::lock_guard timerLock(timer->Mutex);
    try {
        timer->Thread = std::thread(Run, timer);
    } catch (const std::system_error&) {
        return 0;
    }
    table.Timers.emplace(timer->ID, timer);
    return timer->ID;
}

std::uint32_t timeKillEvent(std::uint32_t TimerID) {
    std::shared_ptr<TTimer> timer;
    {
        auto& table = Table();
        std::lock_guard lk(table.Mutex);
        auto it = table.Timers.find(TimerID);
        if (it == table.Timers.end())
            return MMSYSERR_INVALPARAM;
        timer = std::move(it->second);
        table.Timers.erase(it);
    }
    bool fromCallback = false;
    {
        std::lock_guard lk(timer->Mutex);
        timer->Killed = true;
        fromCallback = timer->Thread.get_id() == std::this_thread::get_id();
        if (fromCallback)
            timer->Thread.detach();
    }
    timer->Wake.notify_all();
    if (!fromCallback)
        timer->Thread.join();
    return TIMERR_NOERROR;
}
