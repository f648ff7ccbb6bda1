#include "platform/serial/SerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <unistd.h>

namespace {

constexpr std::size_t ChunkBytes = 65536;

bool IsLostError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

} // namespace

TSerialDevice::TSerialDevice(std::unique_ptr<TSerialBackend> Backend)
    : backend_(std::move(Backend)), scratch_(ChunkBytes), flags_(ChunkBytes) {}

TSerialDevice::~TSerialDevice() = default;

bool TSerialDevice::Fail(int error) {
    SetLastPlatformError(error);
    return false;
}

bool TSerialDevice::CheckOpen() {
    return closed_ ? Fail(EBADF) : true;
}

bool TSerialDevice::Init() {
    std::lock_guard lock(mutex_);
    if (!backend_->GetLine(dcb_))
        return Fail(errno);
    hasCounters_ = backend_->Counters(counters_);
    return true;
}

void TSerialDevice::Close() {
    std::unique_lock lock(mutex_);
    if (closed_)
        return;
    closed_ = true;
    for (auto* list : {&reads_, &writes_}) {
        for (auto& op : *list)
            Complete(*op, IO_ABORTED);
        list->clear();
    }
    if (wait_) {
        // A failed wait leaves the caller's mask alone: its owner may be gone by now.
        Complete(*wait_, IO_ABORTED);
        wait_.reset();
    }
    // Closing a descriptor does not wake a thread polling it. Every poller waits for an event
    // of an operation completed just now, so it wakes; close once they have let go, so that
    // none polls a reused descriptor number.
    pollersGone_.wait_for(lock, std::chrono::seconds(5), [this] { return pollers_ == 0; });
    backend_.reset();
}

// ---- configuration ----------------------------------------------------------------------

bool TSerialDevice::SetState(const DCB& State) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (!backend_->SetLine(State))
        return Fail(errno);
    dcb_ = State;
    if (xoffSent_ && !(State.Flags & DCB_fInX)) {
        xoffSent_ = false;
        SendFlowChar(State.XonChar);
    }
    const std::uint32_t dtr = State.Flags & DCB_fDtrControlMask;
    const std::uint32_t rts = State.Flags & DCB_fRtsControlMask;
    const bool rtsOn = rts == RTS_CONTROL_TOGGLE ? rtsToggleOn_ : rts != RTS_CONTROL_DISABLE;
    if (!backend_->SetDtr(dtr != DTR_CONTROL_DISABLE) || !backend_->SetRts(rtsOn)) {
        const int error = errno;
        if (IsLostError(error))
            MarkLost();
        return Fail(error);
    }
    Service(TSyncClock::now(), false, 0);
    return true;
}

bool TSerialDevice::GetState(DCB& State) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    State = dcb_;
    return true;
}

bool TSerialDevice::SetTimeouts(const COMMTIMEOUTS& T) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    timeouts_ = T;
    return true;
}

bool TSerialDevice::GetTimeouts(COMMTIMEOUTS& T) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    T = timeouts_;
    return true;
}

bool TSerialDevice::SetQueueSizes(std::uint32_t In, std::uint32_t Out) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (In != 0 && In != queue_.Capacity())
        queue_.Resize(In);
    if (Out != 0)
        outSize_ = Out;
    QueueDrained();
    return true;
}

bool TSerialDevice::GetQueueSizes(std::uint32_t& In, std::uint32_t& Out) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    In = static_cast<std::uint32_t>(queue_.Capacity());
    Out = outSize_;
    return true;
}

// ---- operations -------------------------------------------------------------------------

bool TSerialDevice::Adopt(OVERLAPPED* Ov) {
    if (Ov == nullptr || !Ov->Event)
        return Fail(EINVAL);
    if (Ov->Operation != 0) {
        auto it = FindOp(Ov->Operation);
        if (it != ops_.end() && !(*it)->Complete)
            return Fail(EBUSY);
        if (it != ops_.end())
            DropOp(it);
        Ov->Operation = 0;
    }
    return true;
}

std::vector<TSerialDevice::TOpPtr>::iterator TSerialDevice::FindOp(std::uint64_t Id) {
    return std::find_if(ops_.begin(), ops_.end(), [Id](const TOpPtr& op) { return op->Id == Id; });
}

void TSerialDevice::DropOp(std::vector<TOpPtr>::iterator It) {
    std::swap(*It, ops_.back());
    ops_.pop_back();
}

bool TSerialDevice::Refuse(OVERLAPPED* Ov, int Error) {
    // The record reports this failure, not the result of its previous operation.
    Ov->Status = static_cast<std::uint32_t>(Error);
    Ov->Transferred = 0;
    return Fail(Error);
}

bool TSerialDevice::Launch(const TOpPtr& Op, OVERLAPPED* Ov, std::uint32_t* Transferred) {
    const auto now = TSyncClock::now();
    Op->Id = nextId_++;
    Op->Event = Ov->Event;
    Op->Event->Reset();
    Op->Event->AttachSource(shared_from_this());
    bool input = false;
    switch (Op->Kind) {
    case opRead:
        reads_.push_back(Op);
        // A read that returns at once must see what the device holds right now; any other
        // read is pumped by the thread that waits for it.
        input = reads_.size() == 1 && queue_.Size() < Op->Count &&
                MakeReadRule(timeouts_, Op->Count, now).Immediate;
        break;
    case opWrite:
        writes_.push_back(Op);
        break;
    case opWait:
        wait_ = Op;
        break;
    }
    Service(now, input, 0);
    if (!Op->Complete) {
        ops_.push_back(Op);
        Ov->Operation = Op->Id;
        if (Transferred)
            *Transferred = 0;
        return Fail(IO_PENDING);
    }
    Ov->Status = static_cast<std::uint32_t>(Op->Error);
    Ov->Transferred = Op->Done;
    if (Transferred)
        *Transferred = Op->Done;
    return Op->Error == 0 ? true : Fail(Op->Error);
}

bool TSerialDevice::Read(void* Buffer, std::uint32_t Count, std::uint32_t* Transferred,
                         OVERLAPPED* Ov) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen() || !Adopt(Ov))
        return false;
    if (Buffer == nullptr && Count != 0)
        return Refuse(Ov, EINVAL);
    auto op = std::make_shared<TOp>();
    op->Kind = opRead;
    op->In = static_cast<std::uint8_t*>(Buffer);
    op->Count = Count;
    return Launch(op, Ov, Transferred);
}

bool TSerialDevice::Write(const void* Buffer, std::uint32_t Count, std::uint32_t* Transferred,
                          OVERLAPPED* Ov) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen() || !Adopt(Ov))
        return false;
    if (Buffer == nullptr && Count != 0)
        return Refuse(Ov, EINVAL);
    auto op = std::make_shared<TOp>();
    op->Kind = opWrite;
    op->Out = static_cast<const std::uint8_t*>(Buffer);
    op->Count = Count;
    return Launch(op, Ov, Transferred);
}

bool TSerialDevice::WaitEvent(std::uint32_t* Mask, OVERLAPPED* Ov) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen() || !Adopt(Ov))
        return false;
    if (Mask == nullptr || mask_ == 0)
        return Refuse(Ov, EINVAL);
    if (wait_)
        return Refuse(Ov, EBUSY);
    *Mask = 0;
    auto op = std::make_shared<TOp>();
    op->Kind = opWait;
    op->Mask = Mask;
    return Launch(op, Ov, nullptr);
}

bool TSerialDevice::Result(OVERLAPPED* Ov, std::uint32_t* Transferred, bool Wait) {
    if (Ov == nullptr)
        return Fail(EINVAL);
    if (Wait) {
        bool pending = false;
        {
            std::lock_guard lock(mutex_);
            auto it = Ov->Operation ? FindOp(Ov->Operation) : ops_.end();
            pending = it != ops_.end() && !(*it)->Complete;
        }
        if (pending) {
            if (!Ov->Event)
                return Fail(EINVAL);
            if (WaitForSyncEvent(Ov->Event, SyncInfinite) != 0)
                return false;
        }
    }
    std::lock_guard lock(mutex_);
    if (Ov->Operation == 0) {
        if (Transferred)
            *Transferred = Ov->Transferred;
        return Ov->Status == 0 ? true : Fail(static_cast<int>(Ov->Status));
    }
    auto it = FindOp(Ov->Operation);
    if (it == ops_.end()) {
        Ov->Operation = 0;
        Ov->Status = IO_ABORTED;
        Ov->Transferred = 0;
        return Fail(IO_ABORTED);
    }
    TOp& op = **it;
    if (!op.Complete && !closed_)
        Service(TSyncClock::now(), true, 0);
    if (Transferred)
        *Transferred = op.Done;
    if (!op.Complete)
        return Fail(IO_INCOMPLETE);
    Ov->Status = static_cast<std::uint32_t>(op.Error);
    Ov->Transferred = op.Done;
    Ov->Operation = 0;
    const int error = op.Error;
    DropOp(it);
    return error == 0 ? true : Fail(error);
}

bool TSerialDevice::SetMask(std::uint32_t Mask) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    // What happened before the new mask belongs to the old one: take it in, then forget it.
    Service(TSyncClock::now(), true, 0);
    if (wait_) {
        *wait_->Mask = 0;
        Complete(*wait_, 0);
        wait_.reset();
    }
    mask_ = Mask;
    history_ = 0;
    return true;
}

bool TSerialDevice::GetMask(std::uint32_t& Mask) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    Mask = mask_;
    return true;
}

bool TSerialDevice::Purge(std::uint32_t Flags) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (Flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return Fail(EINVAL);
    if (Flags & PURGE_TXABORT) {
        for (auto& op : writes_)
            Complete(*op, IO_ABORTED);
        writes_.clear();
        outputBlocked_ = false;
    }
    if (Flags & PURGE_RXABORT) {
        for (auto& op : reads_)
            Complete(*op, IO_ABORTED);
        reads_.clear();
    }
    if (Flags & PURGE_RXCLEAR) {
        queue_.Clear();
        QueueDrained();
    }
    const bool in = Flags & PURGE_RXCLEAR, out = Flags & PURGE_TXCLEAR;
    if ((in || out) && !backend_->Flush(in, out)) {
        const int error = errno;
        if (IsLostError(error))
            MarkLost();
        return Fail(error);
    }
    return true;
}

bool TSerialDevice::ClearError(std::uint32_t* Errors, COMSTAT* Stat) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    Service(TSyncClock::now(), true, 0);
    if (Errors)
        *Errors = errors_;
    errors_ = 0;
    if (Stat) {
        COMSTAT s;
        s.cbInQue = static_cast<std::uint32_t>(queue_.Size());
        std::uint64_t out = priorityPending_ ? 1 : 0;
        for (auto& op : writes_)
            out += op->Count - op->Done;
        std::uint32_t kernel = 0;
        if (!lost_ && backend_->OutputQueued(kernel))
            out += kernel;
        s.cbOutQue = static_cast<std::uint32_t>(std::min<std::uint64_t>(out, 0xFFFFFFFFu));
        if (out > 0 && CtsHeld())
            s.Flags |= COMSTAT_fCtsHold;
        if (out > 0 && DsrHeld())
            s.Flags |= COMSTAT_fDsrHold;
        if (xoffHold_)
            s.Flags |= COMSTAT_fXoffHold;
        if (xoffSent_)
            s.Flags |= COMSTAT_fXoffSent;
        if (priorityPending_)
            s.Flags |= COMSTAT_fTxim;
        *Stat = s;
    }
    return true;
}

bool TSerialDevice::ModemStatus(std::uint32_t& Status) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (lost_)
        return Fail(EIO);
    if (!backend_->ModemLines(Status)) {
        const int error = errno;
        if (IsLostError(error))
            MarkLost();
        return Fail(error);
    }
    return true;
}

bool TSerialDevice::Escape(std::uint32_t Function) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    bool ok = true;
    switch (Function) {
    case ESC_SETXOFF:
        ok = backend_->StopOutput(true);
        xoffHold_ = ok || xoffHold_;
        break;
    case ESC_SETXON:
        ok = backend_->StopOutput(false);
        xoffHold_ = xoffHold_ && !ok;
        break;
    case ESC_SETRTS:
    case ESC_CLRRTS:
        ok = backend_->SetRts(Function == ESC_SETRTS);
        break;
    case ESC_SETDTR:
    case ESC_CLRDTR:
        ok = backend_->SetDtr(Function == ESC_SETDTR);
        break;
    case ESC_SETBREAK:
    case ESC_CLRBREAK:
        ok = backend_->SetBreak(Function == ESC_SETBREAK);
        break;
    default:
        return Fail(EINVAL);
    }
    if (!ok) {
        const int error = errno;
        if (IsLostError(error))
            MarkLost();
        return Fail(error);
    }
    Service(TSyncClock::now(), false, 0);
    return true;
}

bool TSerialDevice::TransmitChar(std::uint8_t Ch) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (lost_)
        return Fail(EIO);
    if (priorityPending_)
        return Fail(EBUSY);
    const ssize_t n = backend_->Send(&Ch, 1);
    if (n < 0) {
        const int error = errno;
        MarkLost();
        return Fail(error);
    }
    if (n == 0) {
        priorityPending_ = true;
        priorityChar_ = Ch;
        outputBlocked_ = true;
    } else {
        txBusy_ = true;
    }
    Service(TSyncClock::now(), false, 0);
    return true;
}

// ---- the pump ---------------------------------------------------------------------------

void TSerialDevice::PollBegin(std::vector<pollfd>& Fds, TSyncClock::time_point& Deadline) {
    std::lock_guard lock(mutex_);
    ++pollers_;
    if (closed_ || lost_)
        return;
    Fds.push_back(pollfd{backend_->PollFd(), backend_->PollEvents(WantInput(), outputBlocked_), 0});
    if (backend_->LineEventFd() >= 0)
        Fds.push_back(pollfd{backend_->LineEventFd(), POLLIN, 0});
    Deadline = std::min(Deadline, NextDeadline());
}

void TSerialDevice::PollEnd(const pollfd* Fds, std::size_t Count) {
    std::lock_guard lock(mutex_);
    --pollers_;
    if (closed_) {
        if (pollers_ == 0)
            pollersGone_.notify_all();
        return;
    }
    const short revents = Count > 0 ? Fds[0].revents : 0;
    const bool lineEvent = Count > 1 && (Fds[1].revents & POLLIN);
    if (revents & POLLNVAL) {
        MarkLost();
    } else if (revents & POLLIN) {
        backend_->Acknowledge();
    }
    if (lineEvent)
        backend_->AcknowledgeLineEvent();
    Service(TSyncClock::now(), lineEvent, revents);
}

void TSerialDevice::Service(TTimePoint Now, bool Input, short Revents) {
    if (closed_)
        return;
    if (!lost_) {
        if (Input || (Revents & (POLLIN | POLLHUP | POLLERR)))
            ReadInput(Now);
        // A hang-up that leaves nothing to read is a vanished device too.
        if (!lost_ && (Revents & (POLLHUP | POLLERR)))
            MarkLost();
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
        std::uint8_t* dst = scratch_.data();
        std::size_t room = ChunkBytes;
        if (queue_.Empty() && !reads_.empty() && reads_.front()->Done < reads_.front()->Count) {
            // Straight into the waiting reader's buffer: one copy less, and the queue size does
            // not limit the chunk.
            direct = reads_.front().get();
            dst = direct->In + direct->Done;
            room = std::min<std::size_t>(direct->Count - direct->Done, ChunkBytes);
        } else if (queue_.Free() > 0) {
            room = std::min(queue_.Free(), ChunkBytes);
        }
        if (room == 0)
            return; // a full queue under input flow control: the device holds the rest
        bool anyFlags = false;
        const ssize_t n = backend_->Receive(dst, flags_.data(), room, anyFlags);
        if (n < 0) {
            MarkLost();
            return;
        }
        if (n == 0)
            return;
        const std::uint32_t kept =
            Filter(dst, flags_.data(), static_cast<std::uint32_t>(n), anyFlags);
        Deliver(dst, kept, Now, direct);
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

void TSerialDevice::Deliver(std::uint8_t* Data, std::uint32_t N, TTimePoint Now, TOp* Direct) {
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
    const std::size_t pushed = queue_.Push(Data, N);
    if (pushed < N) {
        errors_ |= CE_RXOVER;
        Raise(EV_ERR);
    }
    if (rx80Armed_ && queue_.Capacity() > 0 && queue_.Size() * 5 >= queue_.Capacity() * 4) {
        rx80Armed_ = false;
        Raise(EV_RX80FULL);
    }
    if ((dcb_.Flags & DCB_fInX) && !xoffSent_ && queue_.Free() < dcb_.XoffLim) {
        xoffSent_ = true;
        SendFlowChar(dcb_.XoffChar);
    }
}

void TSerialDevice::QueueDrained() {
    if (queue_.Size() * 5 < queue_.Capacity() * 4)
        rx80Armed_ = true;
    if (xoffSent_ && queue_.Size() <= dcb_.XonLim) {
        xoffSent_ = false;
        SendFlowChar(dcb_.XonChar);
    }
}

void TSerialDevice::SendFlowChar(std::uint8_t Ch) {
    if (lost_)
        return;
    const ssize_t n = backend_->Send(&Ch, 1);
    if (n < 0) {
        MarkLost();
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
        for (auto& op : writes_)
            Complete(*op, EIO);
        writes_.clear();
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
            MarkLost();
            return;
        }
        if (n == 0) {
            outputBlocked_ = true;
            return;
        }
        priorityPending_ = false;
        txBusy_ = true;
    }
    const std::uint32_t rtsMode = dcb_.Flags & DCB_fRtsControlMask;
    while (!writes_.empty()) {
        TOp& op = *writes_.front();
        if (!op.Current) {
            op.Current = true;
            op.Deadline = WriteDeadline(timeouts_, op.Count, Now);
        }
        const bool held = DsrHeld() || (xoffSent_ && !(dcb_.Flags & DCB_fTXContinueOnXoff));
        if (op.Done < op.Count && Now < op.Deadline && !held) {
            if (rtsMode == RTS_CONTROL_TOGGLE && !rtsToggleOn_) {
                if (!backend_->SetRts(true)) {
                    MarkLost();
                    return;
                }
                rtsToggleOn_ = true;
            }
            const ssize_t n = backend_->Send(op.Out + op.Done, op.Count - op.Done);
            if (n < 0) {
                MarkLost();
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
        MarkLost();
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
            MarkLost();
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
    Op.Event->DetachSource(this);
    Op.Event->Set();
}

void TSerialDevice::MarkLost() {
    if (lost_)
        return;
    lost_ = true;
    errors_ |= CE_IOE;
    Raise(EV_ERR);
    priorityPending_ = false;
    for (auto& op : writes_)
        Complete(*op, EIO);
    writes_.clear();
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
    if (!ctsFlow || lost_)
        return false;
    std::uint32_t ms = 0;
    return backend_->ModemLines(ms) && !(ms & MS_CTS_ON);
}

bool TSerialDevice::DsrHeld() {
    if (!(dcb_.Flags & DCB_fOutxDsrFlow) || lost_)
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
