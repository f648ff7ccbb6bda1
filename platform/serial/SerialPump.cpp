// The pump: moving bytes between the backend, the receive queue and the pending operations,
// and turning what happened into device events. Runs under the device's mutex, in whichever
// thread polls the device or asks for its state.
#include "platform/serial/SerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

void TSerialDevice::PollBegin(std::vector<pollfd>& Fds, TSyncClock::time_point& Deadline) {
    std::lock_guard lock(mutex_);
    ++pollers_;
    if (closed_ || lost_)
        return;
    Fds.push_back(pollfd{backend_->PollFd(), backend_->PollEvents(WantInput(), outputBlocked_), 0});
    if (backend_->LineEventFd() >= 0)
        Fds.push_back(pollfd{backend_->LineEventFd(), POLLIN, 0});
    Deadline = std::min(Deadline, NextDeadline());
    if (backend_->Buffered() && WantInput())
        Deadline = TSyncClock::now();
}

void TSerialDevice::PollEnd(const pollfd* Fds, std::size_t Count) {
    std::lock_guard lock(mutex_);
    --pollers_;
    if (closed_) {
        if (pollers_ == 0)
            backend_.reset(); // closed while this thread still polled it
        return;
    }
    const short revents = Count > 0 ? Fds[0].revents : 0;
    const bool lineEvent = Count > 1 && (Fds[1].revents & POLLIN);
    if (revents & POLLNVAL) {
        MarkLost(EIO);
    } else if (revents & POLLIN) {
        backend_->Acknowledge();
    }
    if (revents & POLLOUT)
        backend_->Writable();
    if (lineEvent)
        backend_->AcknowledgeLineEvent();
    Service(TSyncClock::now(), lineEvent, revents);
}

void TSerialDevice::Service(TTimePoint Now, bool Input, short Revents) {
    if (closed_)
        return;
    if (!lost_) {
        Input = Input || (Revents & (POLLIN | POLLHUP | POLLERR)) || backend_->Buffered();
        if (Input)
            ReadInput(Now);
        // A hang-up that leaves nothing to read is a vanished device too.
        if (!lost_ && (Revents & (POLLHUP | POLLERR)))
            MarkLost(EIO);
        // Counters are read with the input so that a line event and the bytes around it
        // are seen together.
        if (!lost_ && (Input || Revents))
            CheckCounters();
    }
    ServeReads(Now);
    ServeWrites(Now);
    CheckTxEmpty(Now);
    CompleteWait();
}

void TSerialDevice::ReadInput(TTimePoint Now) {
    while (!lost_ && WantInput()) {
        TOp* direct = nullptr;
        bool inQueue = false;
        std::uint8_t* dst = scratch_.data();
        std::size_t room = ChunkBytes;
        if (queue_.Empty() && !reads_.empty() && reads_.front()->Done < reads_.front()->Count) {
            // Straight into the waiting reader's buffer: one copy less, and the queue size does
            // not limit the chunk.
            direct = reads_.front().get();
            dst = direct->In + direct->Done;
            room = std::min<std::size_t>(direct->Count - direct->Done, ChunkBytes);
        } else if (queue_.Free() > 0) {
            // Straight into the queue's free space; a wrapped rest comes with the next round.
            dst = queue_.Tail(room);
            room = std::min(room, ChunkBytes);
            inQueue = true;
        }
        if (room == 0)
            return; // a full queue under input flow control: the device holds the rest
        bool anyFlags = false;
        const ssize_t n = backend_->Receive(dst, flags_.data(), room, anyFlags);
        if (n < 0) {
            MarkLost(errno);
            return;
        }
        if (n == 0)
            return;
        const std::uint32_t kept =
            Filter(dst, flags_.data(), static_cast<std::uint32_t>(n), anyFlags);
        Deliver(dst, kept, Now, direct, inQueue);
        // Drained, or the reader has all it asked for: the rest waits in the kernel, and
        // readiness brings us back, without a read that would only say "nothing more".
        if (static_cast<std::size_t>(n) < room || (direct && direct->Done == direct->Count))
            return;
    }
}

std::uint32_t TSerialDevice::Filter(std::uint8_t* Data, std::uint8_t* Flags, std::uint32_t N,
                                    bool AnyFlags) {
    if ((dcb_.Flags & DCB_fDsrSensitivity) && hasCounters_) {
        std::uint32_t ms = 0;
        if (backend_->ModemLines(ms) && !(ms & MS_DSR_ON))
            return 0;
    }
    const bool dropNull = dcb_.Flags & DCB_fNull;
    if (!AnyFlags && !dropNull)
        return N;
    std::uint32_t w = 0;
    for (std::uint32_t i = 0; i < N; ++i) {
        std::uint8_t c = Data[i];
        const std::uint8_t f = AnyFlags ? Flags[i] : 0;
        if (f & RXF_BREAK) {
            // The NUL a UART delivers with a break is not data.
            errors_ |= CE_BREAK;
            Raise(EV_BREAK);
            continue;
        }
        if (f & (RXF_PARITY | RXF_FRAME | RXF_OVERRUN)) {
            errors_ |= ((f & RXF_PARITY) ? CE_RXPARITY : 0) | ((f & RXF_FRAME) ? CE_FRAME : 0) |
                       ((f & RXF_OVERRUN) ? CE_OVERRUN : 0);
            Raise(EV_ERR);
            if ((f & RXF_PARITY) && (dcb_.Flags & DCB_fErrorChar))
                c = dcb_.ErrorChar;
        }
        if (dropNull && c == 0)
            continue;
        Data[w++] = c;
    }
    return w;
}

void TSerialDevice::Deliver(std::uint8_t* Data, std::uint32_t N, TTimePoint Now, TOp* Direct,
                            bool InQueue) {
    if (N == 0)
        return;
    Raise(EV_RXCHAR);
    if ((mask_ & EV_RXFLAG) && std::memchr(Data, dcb_.EvtChar, N) != nullptr)
        Raise(EV_RXFLAG);
    if (Direct) {
        Direct->Done += N;
        Direct->LastByte = Now;
        return;
    }
    if (InQueue)
        queue_.Commit(N);
    else if (queue_.Push(Data, N) < N) {
        errors_ |= CE_RXOVER;
        Raise(EV_ERR);
    }
    if (rx80Armed_ && queue_.Capacity() > 0 && queue_.Size() * 5 >= queue_.Capacity() * 4) {
        rx80Armed_ = false;
        Raise(EV_RX80FULL);
    }
    if (!inputStopped_ && InputFlowControl() && queue_.Free() < dcb_.XoffLim)
        StopInput(true);
}

void TSerialDevice::QueueDrained() {
    if (queue_.Size() * 5 < queue_.Capacity() * 4)
        rx80Armed_ = true;
    if (inputStopped_ && queue_.Size() <= dcb_.XonLim)
        StopInput(false);
}

void TSerialDevice::StopInput(bool Stop) {
    inputStopped_ = Stop;
    if (dcb_.Flags & DCB_fInX) {
        xoffSent_ = Stop;
        SendFlowChar(Stop ? dcb_.XoffChar : dcb_.XonChar);
    }
    // Handshake lines follow the same limits; a device without lines accepts this unchanged.
    bool ok = true;
    if ((dcb_.Flags & DCB_fDtrControlMask) == DTR_CONTROL_HANDSHAKE)
        ok = backend_->SetDtr(!Stop);
    if (ok && (dcb_.Flags & DCB_fRtsControlMask) == RTS_CONTROL_HANDSHAKE)
        ok = backend_->SetRts(!Stop);
    if (!ok)
        MarkLost(errno);
}

void TSerialDevice::SendFlowChar(std::uint8_t Ch) {
    if (lost_)
        return;
    const ssize_t n = backend_->Send(&Ch, 1);
    if (n < 0) {
        MarkLost(errno);
        return;
    }
    if (n == 0) {
        flowCharPending_ = Ch; // ahead of everything at the next chance
        outputBlocked_ = true;
    } else {
        flowCharPending_ = -1;
    }
}

void TSerialDevice::ServeReads(TTimePoint Now) {
    while (!reads_.empty()) {
        TOp& op = *reads_.front();
        if (!op.Current) {
            op.Current = true;
            op.Rule = MakeReadRule(timeouts_, op.Count, Now);
        }
        if (!queue_.Empty() && op.Done < op.Count) {
            op.Done += static_cast<std::uint32_t>(queue_.Pop(op.In + op.Done, op.Count - op.Done));
            op.LastByte = Now;
            QueueDrained();
        }
        if (lost_ && op.Done < op.Count) {
            Complete(op, op.Done > 0 ? 0 : EIO);
        } else if (ReadEnds(op.Rule, op.Done, op.Count, Now, op.LastByte)) {
            Complete(op, 0);
        } else {
            return;
        }
        reads_.pop_front();
    }
}

void TSerialDevice::ServeWrites(TTimePoint Now) {
    outputBlocked_ = false;
    if (lost_) {
        CompleteAll(writes_, EIO);
        return;
    }
    if (flowCharPending_ >= 0) {
        SendFlowChar(static_cast<std::uint8_t>(flowCharPending_));
        if (flowCharPending_ >= 0 || lost_)
            return;
    }
    if (priorityPending_) {
        const ssize_t n = backend_->Send(&priorityChar_, 1);
        if (n < 0) {
            MarkLost(errno);
            return;
        }
        if (n == 0) {
            outputBlocked_ = true;
            return;
        }
        priorityPending_ = false;
        txBusy_ = true;
    }
    const bool keyRts =
        (dcb_.Flags & DCB_fRtsControlMask) == RTS_CONTROL_TOGGLE && !backend_->TogglesRts();
    while (!writes_.empty()) {
        TOp& op = *writes_.front();
        if (!op.Current) {
            op.Current = true;
            op.Deadline = WriteDeadline(timeouts_, op.Count, Now);
        }
        const bool held = DsrHeld() || (xoffSent_ && !(dcb_.Flags & DCB_fTXContinueOnXoff));
        if (op.Done < op.Count && Now < op.Deadline && !held) {
            if (keyRts && !rtsToggleOn_) {
                if (!backend_->SetRts(true)) {
                    MarkLost(errno);
                    return;
                }
                rtsToggleOn_ = true;
            }
            const ssize_t n = backend_->Send(op.Out + op.Done, op.Count - op.Done);
            if (n < 0) {
                MarkLost(errno);
                return;
            }
            if (n > 0)
                txBusy_ = true;
            op.Done += static_cast<std::uint32_t>(n);
            if (op.Done < op.Count) {
                outputBlocked_ = true;
                return;
            }
        } else if (op.Done < op.Count && Now < op.Deadline) {
            return; // held by DSR, or by our own XOFF
        }
        // All written, or the total time-out expired: a short count is not an error.
        Complete(op, 0);
        writes_.pop_front();
    }
}

void TSerialDevice::CheckTxEmpty(TTimePoint Now) {
    if (!txBusy_ || lost_ || !writes_.empty() || priorityPending_)
        return;
    if (!(mask_ & EV_TXEMPTY) && !rtsToggleOn_) {
        // Nobody listens for the drain: spare the per-write queue query.
        txBusy_ = false;
        txCheckAt_ = NoDeadline;
        return;
    }
    std::uint32_t queued = 0;
    if (!backend_->OutputQueued(queued)) {
        MarkLost(errno);
        return;
    }
    if (queued > 0) {
        // The kernel's queue cannot be waited for; look again when it should have drained.
        const std::uint64_t baud = std::max<std::uint32_t>(dcb_.BaudRate, 1);
        const auto us =
            std::clamp<std::uint64_t>(queued * 10ull * 1000000ull / baud, 1000, 1000000);
        txCheckAt_ = Now + std::chrono::microseconds(us);
        return;
    }
    txBusy_ = false;
    txCheckAt_ = NoDeadline;
    Raise(EV_TXEMPTY);
    if (rtsToggleOn_) {
        rtsToggleOn_ = false;
        if (!backend_->SetRts(false))
            MarkLost(errno);
    }
}

void TSerialDevice::CheckCounters() {
    if (!hasCounters_)
        return;
    TLineCounters c;
    if (!backend_->Counters(c))
        return;
    if (c.Cts != counters_.Cts)
        Raise(EV_CTS);
    if (c.Dsr != counters_.Dsr)
        Raise(EV_DSR);
    if (c.Rlsd != counters_.Rlsd)
        Raise(EV_RLSD);
    if (c.Ring != counters_.Ring)
        Raise(EV_RING);
    if (c.Break != counters_.Break) {
        errors_ |= CE_BREAK;
        Raise(EV_BREAK);
    }
    std::uint32_t line = 0;
    if (c.Frame != counters_.Frame)
        line |= CE_FRAME;
    if (c.Parity != counters_.Parity)
        line |= CE_RXPARITY;
    if (c.Overrun != counters_.Overrun)
        line |= CE_OVERRUN;
    if (line) {
        errors_ |= line;
        Raise(EV_ERR);
    }
    counters_ = c;
}

void TSerialDevice::CompleteWait() {
    if (!wait_ || (history_ & mask_) == 0)
        return;
    *wait_->Mask = history_ & mask_;
    history_ = 0;
    Complete(*wait_, 0);
    wait_.reset();
}

void TSerialDevice::Complete(TOp& Op, int Error) {
    Op.Complete = true;
    Op.Error = Error;
    if (Op.Attached) {
        Op.Event->DetachSource(this);
        Op.Attached = false;
    }
    Op.Event->Set();
}

void TSerialDevice::CompleteAll(std::deque<TOpPtr>& Ops, int Error) {
    for (auto& op : Ops)
        Complete(*op, Error);
    Ops.clear();
}

void TSerialDevice::MarkLost(int Error) {
    if (lost_)
        return;
    lost_ = true;
    lostError_ = Error > 0 ? Error : EIO;
    errors_ |= CE_IOE;
    Raise(EV_ERR);
    priorityPending_ = false;
    CompleteAll(writes_, EIO);
    if (wait_ && !(mask_ & EV_ERR)) {
        Complete(*wait_, EIO);
        wait_.reset();
    }
}

bool TSerialDevice::InputFlowControl() const {
    return (dcb_.Flags & DCB_fInX) || (dcb_.Flags & DCB_fRtsControlMask) == RTS_CONTROL_HANDSHAKE ||
           (dcb_.Flags & DCB_fDtrControlMask) == DTR_CONTROL_HANDSHAKE;
}

bool TSerialDevice::WantInput() const {
    if (lost_)
        return false;
    return !InputFlowControl() || queue_.Free() > 0 || (queue_.Empty() && !reads_.empty());
}

bool TSerialDevice::CtsHeld() {
    const bool ctsFlow = (dcb_.Flags & DCB_fOutxCtsFlow) ||
                         (dcb_.Flags & DCB_fRtsControlMask) == RTS_CONTROL_HANDSHAKE;
    if (!ctsFlow || lost_ || backend_->RemoteFlowControl())
        return false;
    std::uint32_t ms = 0;
    return backend_->ModemLines(ms) && !(ms & MS_CTS_ON);
}

bool TSerialDevice::DsrHeld() {
    if (!(dcb_.Flags & DCB_fOutxDsrFlow) || lost_ || backend_->RemoteFlowControl())
        return false;
    std::uint32_t ms = 0;
    return backend_->ModemLines(ms) && !(ms & MS_DSR_ON);
}

TTimePoint TSerialDevice::NextDeadline() const {
    TTimePoint at = txBusy_ ? txCheckAt_ : NoDeadline;
    if (!reads_.empty()) {
        const TOp& op = *reads_.front();
        if (op.Current)
            at = std::min(at, ReadWakeAt(op.Rule, op.Done, op.LastByte));
    }
    if (!writes_.empty() && writes_.front()->Current)
        at = std::min(at, writes_.front()->Deadline);
    return at;
}
