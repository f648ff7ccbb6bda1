// The workbench's second client: runs the steps of a script over TWorkbench and an open port,
// applying each outcome as the window would (port steps, timers, rows), and judges every request
// by the first row that answers it.
//
// Threads: the port's event thread (smNone) reads the bytes and queues each event for the
// program's main thread, where everything else runs; the wait for the next event or timer is
// CheckSynchronize's, so nothing polls. Stop is set from another thread; PurgeLock keeps a read
// and a purge apart, so bytes read before a purge are known as such.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/core/Workbench.h"
#include "port/CPort.h"
#include "tools/tessal-cli/Script.h"

// One request sent, and what answered it.
struct TRequest {
    int Line = 0; // of its step; 0 for the command line
    std::string Label;
    TExpectation Expect;
    std::optional<TVerdict> Verdict;
    std::optional<std::uint8_t> OpCode;
    std::vector<std::uint8_t> Params;
    // Why the expectation failed; empty when it held or there was none.
    std::string Failure;
    TWorkbenchTime Sent{};
    TWorkbenchTime Judged{};
};

// A check that is not a request's: expect-silence.
struct TSilenceCheck {
    int Line = 0;
    std::string Failure;
    double Seconds = 0;
};

// reRefused: the workbench would not send a step's frame (Refusal says why).
enum TRunEnd : std::uint8_t { reDone, reInterrupted, rePortFailed, reRefused };

class TCliRunner {
public:
    using TRowEvent = std::function<void(std::int32_t row)>;
    using TProgressEvent = std::function<void(std::int64_t requests)>;

    // The workbench has its definitions loaded; the port is not open yet, and its sync method
    // and handlers are the runner's from construction on. The runner closes it when it goes.
    TCliRunner(TWorkbench& workbench, TCustomComPort& port, const std::atomic<bool>& stop);
    ~TCliRunner();
    TCliRunner(const TCliRunner&) = delete;
    TCliRunner& operator=(const TCliRunner&) = delete;

    TRunEnd Run(const std::vector<TStep>& steps);

    // Every row the workbench appends, once, in order.
    TRowEvent OnRow;
    TProgressEvent OnProgress;

    const std::vector<TRequest>& Requests() const { return RequestLog; }
    const std::vector<TSilenceCheck>& Silences() const { return SilenceLog; }
    // The port's failure in the user's words, after rePortFailed.
    const std::string& PortProblem() const { return Problem; }
    const std::string& GetRefusal() const { return Refusal; }

private:
    struct TTimer {
        bool Active = false;
        TWorkbenchTime Due{};
        std::int32_t PeriodMs = 0;
        std::uint32_t Token = 0;
    };

    bool RunSteps(const std::vector<TStep>& steps);
    bool RunSend(const TStep& step);
    bool RunSilence(const TStep& step);
    // Serves the port's events and the timers until Done holds, Until passes, Stop is set or
    // the port fails; true when Done held.
    bool Serve(const std::function<bool()>& done,
               std::optional<TWorkbenchTime> until = std::nullopt);
    void Apply(const TWorkbenchOutcome& outcome);
    void ApplyPort(const std::vector<TPortCommand>& steps);
    void ApplyTimer(const TTimerCommand& command);
    void FireDueTimers();
    void TakeNewRows();
    void Judge(TRequest& request, std::int32_t row);
    void PortFailure(const std::exception& e);
    void PortFailure(const std::exception_ptr& failure);
    bool Stopped() const;
    void SetEditor(const TSendStep& send);

    TWorkbench& Workbench;
    TCustomComPort& Port;
    const std::atomic<bool>& Stop;

    std::vector<TRequest> RequestLog;
    std::vector<TSilenceCheck> SilenceLog;
    // The first request without a verdict; the next answer row is its.
    std::size_t Unjudged = 0;
    // The rows taken so far, and the workbench's clear count when they were.
    std::int32_t RowsTaken = 0;
    std::uint64_t ClearsSeen = 0;
    std::int64_t BytesReceived = 0;
    std::array<TTimer, 3> Timers{};
    // The request being sent: its step's line, label and expectation.
    const TStep* Current = nullptr;
    std::int32_t RepeatLeft = 0;
    bool Failed = false;
    std::string Problem;
    bool Finished = false;
    std::mutex PurgeLock;
    // Written under PurgeLock, on the main thread only.
    std::uint64_t Purges = 0;
    const std::int32_t DefaultTimeoutMs;
    std::string Refusal;
};
