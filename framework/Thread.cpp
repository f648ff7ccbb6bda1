#include "framework/Thread.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <system_error>

#include "framework/Exception.h"

namespace {

int NiceOf(TThreadPriority P) {
    switch (P) {
    case tpIdle:
    case tpNormal:
        return 0;
    case tpLowest:
        return 10;
    case tpLower:
        return 5;
    case tpHigher:
        return -5;
    case tpHighest:
        return -10;
    case tpTimeCritical:
        return -15;
    }
    return 0;
}

} // namespace

TThread::~TThread() {
    if (!started_.load())
        return;
    Terminate();
    try {
        WaitFor();
    } catch (...) {
        // Only raised for a wait on the thread itself; a destructor cannot wait then.
    }
    std::lock_guard lk(joinMutex_);
    if (thread_.joinable()) {
        // Destroyed from its own Execute: nothing may wait for it.
        thread_.detach();
    }
    // Calls it queued that the GUI thread has not run yet would run on a dead object.
    RemoveQueuedEvents(this);
}

void TThread::Start() {
    if (started_.exchange(true))
        throw EThread("Cannot call Start on a running or finished thread");
    try {
        std::lock_guard lk(joinMutex_);
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        started_.store(false);
        throw EThread(std::string("Thread creation error: ") + e.what());
    }
}

void TThread::Resume() {
    if (!started_.load())
        Start();
}

void TThread::Terminate() {
    terminated_.store(true);
}

int TThread::WaitFor() {
    if (!started_.load())
        throw EThread("Cannot wait for a thread that was not started");
    if (tid_.load() == gettid())
        throw EThread("A thread cannot wait for itself");
    WaitServingSynchronize([this] { return finished_.load(); });
    std::lock_guard lk(joinMutex_);
    if (thread_.joinable())
        thread_.join();
    return returnValue_.load();
}

std::exception_ptr TThread::GetFatalException() const {
    std::lock_guard lk(fatalMutex_);
    return fatal_;
}

void TThread::SetPriority(TThreadPriority Value) {
    priority_.store(Value);
    if (tid_.load() != 0)
        ApplyPriority();
}

void TThread::ApplyPriority() {
    const pid_t tid = tid_.load();
    const TThreadPriority p = priority_.load();
    sched_param param{};
    param.sched_priority = 0;
    bool ok = sched_setscheduler(tid, p == tpIdle ? SCHED_IDLE : SCHED_OTHER, &param) == 0;
    if (ok && p != tpIdle)
        ok = setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceOf(p)) == 0;
    if (!ok) {
        // Refused (a raise without CAP_SYS_NICE, or the thread already gone): back to normal
        // where the kernel allows it; the thread runs on either way.
        if (sched_setscheduler(tid, SCHED_OTHER, &param) == 0)
            (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 0);
    }
    priorityApplied_.store(ok);
}

void TThread::Run() {
    tid_.store(gettid());
    ApplyPriority();
    try {
        Execute();
    } catch (...) {
        std::lock_guard lk(fatalMutex_);
        fatal_ = std::current_exception();
    }
    try {
        DoTerminate();
    } catch (...) {
        std::lock_guard lk(fatalMutex_);
        if (!fatal_)
            fatal_ = std::current_exception();
    }
    finished_.store(true);
    NotifySynchronizeWaiters();
}

void TThread::DoTerminate() {
    if (OnTerminate)
        Synchronize([this] { OnTerminate(this); });
}
