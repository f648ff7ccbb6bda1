#include "tools/tessal-cli/CliRun.h"

#include <algorithm>
#include <stdexcept>

#include "app/core/FrameRendering.h"
#include "app/core/HexText.h"
#include "app/core/RxAssembly.h"
#include "framework/Synchronize.h"

namespace {

// The longest single wait: the loop looks at Stop at least this often even if no wake-up came.
constexpr int kLongestWaitMs = 1000;

TVerdict VerdictOf(TRowKind kind) {
    switch (kind) {
    case rkCrcOk:
        return vdOk;
    case rkCrcFail:
        return vdCrcFail;
    case rkNoAnswer:
        return vdNoAnswer;
    default:
        return vdTimeout;
    }
}

std::string Label(const TWorkbench& workbench, const TSendStep& send) {
    std::string label =
        "send " +
        workbench.Definitions().GetCommandList()[static_cast<std::size_t>(send.CommandIndex)].Name;
    if (!send.Params.empty()) {
        label += " " + send.Params;
    }
    return label + " addr " + send.Addr;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text = RenderHex(bytes.data(), bytes.size());
    if (!text.empty()) {
        text.pop_back();
    }
    return text.empty() ? "none" : text;
}

} // namespace

TCliRunner::TCliRunner(TWorkbench& workbench, TCustomComPort& port, const std::atomic<bool>& stop)
    : Workbench(workbench), Port(port), Stop(stop), DefaultTimeoutMs(workbench.GetAnswerTimeout()) {
    // The handlers run on the event thread and only queue their event for the main thread, which
    // goes on at once: no hand-over waits for the other side.
    Port.SetSyncMethod(smNone);
    // A read takes what is queued and returns: a purge between the event and its read leaves
    // less than the event counted, and the stored settings' time-outs would wait for the rest.
    TComTimeouts& timeouts = Port.GetTimeouts();
    timeouts.SetReadInterval(-1);
    timeouts.SetReadTotalMultiplier(0);
    timeouts.SetReadTotalConstant(0);
    Port.OnRxChar = [this](TObject*, std::int32_t count) {
        std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::max(count, 0)));
        std::uint64_t purges = 0;
        try {
            const std::lock_guard lock(PurgeLock);
            const std::int32_t got = count > 0 ? Port.Read(chunk.data(), count) : 0;
            chunk.resize(static_cast<std::size_t>(std::clamp(got, 0, count)));
            purges = Purges;
        } catch (...) {
            Queue([this, failure = std::current_exception()] { PortFailure(failure); }, this);
            return;
        }
        Queue(
            [this, chunk = std::move(chunk), purges, time = TWorkbenchClock::now()] {
                // Read before a purge that the main thread has done since: the purge was meant
                // to discard these, and they must not count as the new request's answer.
                if (!Finished && purges == Purges) {
                    BytesReceived += static_cast<std::int64_t>(chunk.size());
                    Apply(Workbench.Received(chunk, time));
                }
            },
            this);
    };
    Port.OnTxEmpty = [this](TObject*) {
        Queue(
            [this, time = TWorkbenchClock::now()] {
                if (!Finished) {
                    Apply(Workbench.TxEmpty(time));
                }
            },
            this);
    };
    Port.OnDeviceLost = [this](TObject*, std::int32_t error) {
        Queue(
            [this, error] {
                if (!Failed) {
                    Failed = true;
                    Problem = PortProblemInWords(Port.GetPort(), error, ppLost);
                }
            },
            this);
    };
}

TCliRunner::~TCliRunner() {
    // The handlers go with the runner: the event thread must have ended before. What the
    // close serves of the queue finds the run over (the printer may be gone).
    Finished = true;
    try {
        Port.Close();
    } catch (const EComPort&) {
        // Closing is all that is left to do; a port that will not close has nobody to tell.
    }
    Port.OnRxChar = nullptr;
    Port.OnTxEmpty = nullptr;
    Port.OnDeviceLost = nullptr;
    RemoveQueuedEvents(this);
}

bool TCliRunner::Stopped() const {
    return Failed || Stop.load();
}

TRunEnd TCliRunner::Run(const std::vector<TStep>& steps) {
    RunSteps(steps);
    if (!Failed) {
        // Whatever still answers the last request is shown before the port closes.
        Serve([this] { return !Timers[wtAnswer].Active; });
    }
    Apply(Workbench.Close());
    // Events still queued, served while the port closes, come after the end.
    Finished = true;
    if (Failed) {
        return rePortFailed;
    }
    if (!Refusal.empty()) {
        return reRefused;
    }
    return Stop.load() ? reInterrupted : reDone;
}

bool TCliRunner::RunSteps(const std::vector<TStep>& steps) {
    for (const TStep& step : steps) {
        bool going = !Stopped();
        switch (step.Kind) {
        case skSend:
            going = going && RunSend(step);
            break;
        case skWait:
            Serve([] { return false; },
                  TWorkbenchClock::now() + std::chrono::milliseconds(step.Ms));
            break;
        case skSilence:
            going = going && RunSilence(step);
            break;
        case skSetLine:
            try {
                step.Rts ? Port.SetRTS(step.On) : Port.SetDTR(step.On);
            } catch (const std::exception& e) {
                PortFailure(e);
            }
            break;
        case skRepeat:
            for (std::int32_t i = 0; i < step.Count && !Stopped(); ++i) {
                RunSteps(step.Body);
            }
            break;
        }
        if (!going || Stopped()) {
            return false;
        }
    }
    return true;
}

void TCliRunner::SetEditor(const TSendStep& send) {
    Apply(Workbench.CommandChanged(send.CommandIndex));
    Apply(Workbench.TAddrChanged(send.Addr));
    Apply(Workbench.ParametersChanged(send.Params));
    Workbench.SetAnswerTimeout(send.TimeoutMs.value_or(DefaultTimeoutMs));
}

bool TCliRunner::RunSend(const TStep& step) {
    const TSendStep& send = step.Send;
    SetEditor(send);
    Current = &step;
    RepeatLeft = send.Repeat;
    if (send.Repeat > 1) {
        Apply(Workbench.SetRepeatPeriod(send.PeriodMs));
        Apply(Workbench.SetWaitForAnswer(send.WaitAnswer));
        Apply(Workbench.StartRepeat());
    } else {
        Apply(Workbench.Send());
    }
    if (RepeatLeft == send.Repeat && !Failed) {
        // The workbench did not send; its status says why.
        Refusal = Workbench.Editor().GetParseError();
        Current = nullptr;
        return false;
    }
    // A device that never lets the answer time-out pass (bytes without end, none of them a
    // frame) would keep the run here: past this, what is unjudged fails.
    const auto limit = std::chrono::milliseconds(10 * Workbench.GetAnswerTimeout() + 1000);
    const auto givenUp = [this, limit] {
        return RepeatLeft == 0 && TWorkbenchClock::now() - RequestLog.back().Sent > limit;
    };
    const bool judged =
        Serve([&] { return (RepeatLeft == 0 && Unjudged == RequestLog.size()) || givenUp(); });
    for (; judged && Unjudged < RequestLog.size(); ++Unjudged) {
        RequestLog[Unjudged].Failure =
            "no row answered it within " + std::to_string(limit.count()) + " ms";
    }
    Apply(Workbench.StopRepeat());
    Current = nullptr;
    return judged;
}

bool TCliRunner::RunSilence(const TStep& step) {
    const std::int64_t before = BytesReceived;
    const auto start = TWorkbenchClock::now();
    Serve([] { return false; }, start + std::chrono::milliseconds(step.Ms));
    TSilenceCheck check;
    check.Line = step.Line;
    check.Seconds = std::chrono::duration<double>(TWorkbenchClock::now() - start).count();
    if (BytesReceived > before) {
        check.Failure = std::to_string(BytesReceived - before) + " bytes arrived within " +
                        std::to_string(step.Ms) + " ms";
    }
    SilenceLog.push_back(std::move(check));
    return !Stopped();
}

bool TCliRunner::Serve(const std::function<bool()>& done, std::optional<TWorkbenchTime> until) {
    for (;;) {
        if (done()) {
            return true;
        }
        if (Stopped()) {
            return false;
        }
        FireDueTimers();
        if (done()) {
            return true;
        }
        const TWorkbenchTime now = TWorkbenchClock::now();
        if (until && now >= *until) {
            return false;
        }
        TWorkbenchTime next = until.value_or(now + std::chrono::milliseconds(kLongestWaitMs));
        for (const TTimer& timer : Timers) {
            if (timer.Active) {
                next = std::min(next, timer.Due);
            }
        }
        // Rounded up: a wait that ends before its timer is due would only come round again.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        CheckSynchronize(static_cast<int>(std::clamp<std::int64_t>(wait, 0, kLongestWaitMs)));
    }
}

void TCliRunner::FireDueTimers() {
    for (std::size_t i = 0; i < Timers.size(); ++i) {
        TTimer& timer = Timers[i];
        const TWorkbenchTime now = TWorkbenchClock::now();
        if (!timer.Active || timer.Due > now) {
            continue;
        }
        const auto which = static_cast<TWorkbenchTimer>(i);
        if (which == wtRepeat) {
            // A steady schedule, but a late tick is not followed by a burst of catching up.
            timer.Due = std::max(timer.Due + std::chrono::milliseconds(timer.PeriodMs), now);
        } else {
            timer.Active = false;
        }
        Apply(Workbench.TimerFired(which, now, timer.Token));
    }
}

void TCliRunner::Apply(const TWorkbenchOutcome& outcome) {
    TakeNewRows();
    for (const TTimerCommand& command : outcome.Timers) {
        ApplyTimer(command);
    }
    if (!outcome.Port.empty()) {
        ApplyPort(outcome.Port);
    }
}

void TCliRunner::ApplyTimer(const TTimerCommand& command) {
    TTimer& timer = Timers[command.Timer];
    timer.Active = command.Start;
    if (command.Start) {
        timer.Due = TWorkbenchClock::now() + std::chrono::milliseconds(command.PeriodMs);
        timer.PeriodMs = command.PeriodMs;
        timer.Token = command.Token;
    }
}

void TCliRunner::ApplyPort(const std::vector<TPortCommand>& steps) {
    if (Failed) {
        return;
    }
    try {
        for (const TPortCommand& step : steps) {
            switch (step.Step) {
            case psClearQueues: {
                const std::lock_guard lock(PurgeLock);
                ++Purges;
                Port.ClearBuffer(true, true);
                break;
            }
            case psRtsOn:
                Port.SetRTS(true);
                break;
            case psRtsOff:
                Port.SetRTS(false);
                break;
            case psWrite: {
                const auto size = static_cast<std::int32_t>(step.Bytes.size());
                if (const std::int32_t n = Port.Write(step.Bytes.data(), size); n != size) {
                    throw std::runtime_error(Port.GetPort() + ": " + std::to_string(n) + " of " +
                                             std::to_string(size) + " bytes written");
                }
                TRequest request;
                if (Current != nullptr) {
                    request.Line = Current->Line;
                    request.Label = Label(Workbench, Current->Send);
                    request.Expect = Current->Send.Expect;
                }
                request.Sent = TWorkbenchClock::now();
                RequestLog.push_back(std::move(request));
                if (OnProgress) {
                    OnProgress(static_cast<std::int64_t>(RequestLog.size()));
                }
                if (--RepeatLeft == 0) {
                    Apply(Workbench.StopRepeat());
                }
                Apply(Workbench.WriteDone(RequestLog.back().Sent));
                break;
            }
            }
        }
    } catch (const std::exception& e) {
        PortFailure(e);
    }
}

void TCliRunner::PortFailure(const std::exception& e) {
    if (Failed) {
        return;
    }
    Failed = true;
    const auto* port = dynamic_cast<const EComPort*>(&e);
    Problem = port != nullptr ? PortFailureInWords(Port.GetPort(), *port) + " (" + e.what() + ")"
                              : e.what();
}

void TCliRunner::PortFailure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        PortFailure(e);
    } catch (...) {
        PortFailure(std::runtime_error(Port.GetPort() + ": reading failed"));
    }
}

void TCliRunner::TakeNewRows() {
    const TFrameRows& rows = Workbench.Rows();
    if (rows.GetClearCount() != ClearsSeen) {
        ClearsSeen = rows.GetClearCount();
        RowsTaken = 0;
    }
    while (RowsTaken < rows.GetFrameCount()) {
        const std::int32_t row = ++RowsTaken;
        if (rows.Kind(row) != rkSent && Unjudged < RequestLog.size()) {
            Judge(RequestLog[Unjudged++], row);
        } else if (rows.Kind(row) != rkSent && !RequestLog.empty()) {
            // A device answers a request once; a second answer is a fault of its own.
            TRequest& last = RequestLog.back();
            if (!last.Expect.Empty() && last.Failure.empty()) {
                last.Failure =
                    std::string("a second answer row (") + RowStatusText(rows.Kind(row)) + ")";
            }
        }
        if (OnRow) {
            OnRow(row);
        }
    }
}

void TCliRunner::Judge(TRequest& request, std::int32_t row) {
    const TFrameRows& rows = Workbench.Rows();
    const TRowKind kind = rows.Kind(row);
    request.Judged = TWorkbenchClock::now();
    request.Verdict = VerdictOf(kind);
    if (kind == rkCrcOk || kind == rkCrcFail) {
        // Address, length, answer code, parameters, operation code, CRC high and low.
        const std::span<const std::uint8_t> line = rows.LineBytes(row);
        if (line.size() >= kMinAnswerLength) {
            request.OpCode = line[line.size() - 3];
            request.Params.assign(line.begin() + 3, line.end() - 3);
        }
    }
    const TExpectation& expect = request.Expect;
    if (expect.Verdict && *expect.Verdict != *request.Verdict) {
        request.Failure = std::string("expected ") + VerdictName(*expect.Verdict) + ", got " +
                          RowStatusText(kind);
    } else if (expect.OpCode && request.OpCode != expect.OpCode) {
        request.Failure = "expected operation code 0x" + hex2(*expect.OpCode) + ", got " +
                          (request.OpCode ? "0x" + hex2(*request.OpCode) : RowStatusText(kind));
    } else if (expect.Params && request.Params != *expect.Params) {
        request.Failure =
            "expected parameters " + Hex(*expect.Params) + ", got " + Hex(request.Params);
    }
}
