// Threads of the component model.
//
// A TThread is created suspended and runs Execute on its own thread, once, after Start. (A base
// constructor cannot start it: the derived part, and so Execute, does not exist yet. A class that
// runs at once calls Start as the last step of its own constructor.) Execute polls GetTerminated to
// learn that it should end. An exception leaving Execute ends the thread and is kept as
// GetFatalException; it never leaves the thread.
//
// Ending: WaitFor returns when Execute has returned (and OnTerminate has run). Called on the GUI
// thread it keeps serving the GUI queue meanwhile, so a thread blocked in Synchronize completes
// instead of deadlocking. The destructor terminates and waits the same way; but by then the
// derived part is gone, so a class whose Execute uses its own members ends the thread in its
// own destructor (Terminate or its own stop signal, then WaitFor). A thread never started is
// destroyed without running Execute.
//
// Priority: the seven levels map to Linux as
//   tpIdle          SCHED_IDLE
//   tpLowest        nice +10        tpLower   nice +5
//   tpNormal        nice 0
//   tpHigher        nice -5         tpHighest nice -10
//   tpTimeCritical  nice -15
// set per thread (setpriority on the thread's id). Raising above normal needs CAP_SYS_NICE;
// where the kernel refuses, the thread keeps normal priority and runs on. GetPriority returns
// the level asked for; GetPriorityApplied tells whether the kernel took it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/Object.h"
#include "framework/Synchronize.h"
#include "framework/ThreadPriority.h"

class TThread : public TObject {
public:
    TThread() = default;
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts a thread created suspended; EThread when it was started already.
    void Start();
    // Start for a thread never started; a running thread is not suspended and resumed here.
    void Resume();
    void Terminate();
    // Waits until the thread has ended and returns its return value. EThread from the thread
    // itself.
    int WaitFor();

    bool GetTerminated() const { return terminated_.load(); }
    bool GetFinished() const { return finished_.load(); }
    bool GetStarted() const { return started_.load(); }
    bool GetSuspended() const { return !started_.load(); }

    TThreadPriority GetPriority() const { return priority_.load(); }
    void SetPriority(TThreadPriority Value);
    bool GetPriorityApplied() const { return priorityApplied_.load(); }

    // Kernel thread id (0 before the thread runs).
    pid_t GetThreadID() const { return tid_.load(); }
    std::exception_ptr GetFatalException() const;
    int GetReturnValue() const { return returnValue_.load(); }

    // Runs Method on the GUI thread while this thread waits; exceptions come back here.
    void Synchronize(const TThreadMethod& Method) { ::Synchronize(Method); }
    // Hands Method to the GUI thread without waiting.
    void Queue(TThreadMethod Method) { ::Queue(std::move(Method), this); }

    // Runs on the GUI thread (through Synchronize) after Execute; Sender is the thread.
    TNotifyEvent OnTerminate;

protected:
    virtual void Execute() = 0;
    virtual void DoTerminate();
    void SetReturnValue(int Value) { returnValue_.store(Value); }

private:
    void Run();
    void ApplyPriority();

    std::thread thread_;
    std::mutex joinMutex_;
    mutable std::mutex fatalMutex_;
    std::exception_ptr fatal_;
    std::atomic<bool> started_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<pid_t> tid_{0};
    std::atomic<TThreadPriority> priority_{tpNormal};
    std::atomic<bool> priorityApplied_{true};
    std::atomic<int> returnValue_{0};
};
