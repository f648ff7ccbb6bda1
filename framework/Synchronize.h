// Handing work to the GUI thread.
//
// The GUI thread is the process's main thread (the one that initialises the framework when the
// program starts) unless SetMainThreadID names another before work is queued. It owns one queue
// of calls and of messages for hidden windows (MessageWindow.h), served in arrival order by
// CheckSynchronize and by WaitServingSynchronize. Every time work is queued the wake hook runs
// on the queuing thread, so an event loop learns that it should call CheckSynchronize; headless
// programs and tests call CheckSynchronize themselves.
//
// Deadlock rule: a thread blocked in Synchronize waits for the GUI thread, so the GUI thread must
// never wait for that thread by other means than WaitServingSynchronize (or TThread::WaitFor,
// which uses it).
#pragma once

#include <functional>
#include <thread>

using TThreadMethod = std::function<void()>;
using TWakeMainThreadEvent = std::function<void()>;

std::thread::id GetMainThreadID();
void SetMainThreadID(std::thread::id ID);
bool IsMainThread();

// Runs Method on the GUI thread and waits until it has run; an exception it raises is raised
// again here. On the GUI thread itself Method runs at once.
void Synchronize(const TThreadMethod& Method);

// Queues Method for the GUI thread without waiting; an exception it raises there goes to
// Application->HandleException. On the GUI thread it runs at once and its exception propagates
// to the caller. Tag groups calls for
// RemoveQueuedEvents, so an object that dies can drop calls meant for it.
void Queue(TThreadMethod Method, const void* Tag = nullptr);
void RemoveQueuedEvents(const void* Tag);

// GUI thread only (EThread elsewhere). Waits up to TimeoutMs (negative: without limit) for
// work, then runs what was queued at that moment; work queued meanwhile waits for the next
// call. True when something ran.
bool CheckSynchronize(int TimeoutMs = 0);

// Called on every queuing; an empty hook is allowed. May run on any thread.
void SetWakeMainThread(TWakeMainThreadEvent Hook);

// Waits until Done() is true or TimeoutMs passes (negative: without limit); true when Done.
// On the GUI thread the queue is served meanwhile. Done is evaluated on the waiting thread,
// outside the queue's lock (it may take locks of its own), and again after every queued call and
// every NotifySynchronizeWaiters: whoever changes what Done reads calls NotifySynchronizeWaiters
// afterwards (from any thread, with or without locks held).
bool WaitServingSynchronize(const std::function<bool()>& Done, int TimeoutMs = -1);
void NotifySynchronizeWaiters();
