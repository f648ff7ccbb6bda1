#include "platform/serial/SerialDevice.h"

#include <algorithm>
#include <cerrno>

namespace {

// The one check of a record before any backend sees it. A UART sends 1.5 stop bits only with
// 5 data bits and 2 only with more; asked otherwise it would put the other on the wire.
bool LineCarries(const DCB& State) {
    if (State.BaudRate == 0 || State.BaudRate > MaxBaudRate || State.ByteSize < 5 ||
        State.ByteSize > 8 || State.Parity > SPACEPARITY)
        return false;
    switch (State.StopBits) {
    case ONESTOPBIT:
        return true;
    case ONE5STOPBITS:
        return State.ByteSize == 5;
    case TWOSTOPBITS:
        return State.ByteSize > 5;
    default:
        return false;
    }
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

bool TSerialDevice::DeviceFailed() {
    const int error = errno;
    if (IsDeviceLostError(error))
        MarkLost(error);
    return Fail(error);
}

bool TSerialDevice::Init() {
    std::lock_guard lock(mutex_);
    if (!backend_->GetLine(dcb_))
        return Fail(errno);
    hasCounters_ = backend_->Counters(counters_);
    return true;
}

void TSerialDevice::Close() {
    std::lock_guard lock(mutex_);
    if (closed_)
        return;
    closed_ = true;
    CompleteAll(reads_, IO_ABORTED);
    CompleteAll(writes_, IO_ABORTED);
    if (wait_) {
        // A failed wait leaves the caller's mask alone: its owner may be gone by now.
        Complete(*wait_, IO_ABORTED);
        wait_.reset();
    }
    // Closing a descriptor does not wake a thread polling it, and its number may be reused at
    // once: the last thread to let go of the device closes it (PollEnd).
    if (pollers_ == 0)
        backend_.reset();
}

// ---- configuration ----------------------------------------------------------------------

bool TSerialDevice::SetState(const DCB& State) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (!LineCarries(State))
        return Fail(EINVAL);
    if (!backend_->SetLine(State))
        return DeviceFailed();
    dcb_ = State;
    if (xoffSent_ && !(State.Flags & DCB_fInX)) {
        xoffSent_ = false;
        SendFlowChar(State.XonChar);
    }
    if (!InputFlowControl())
        inputStopped_ = false;
    const std::uint32_t dtr = State.Flags & DCB_fDtrControlMask;
    const std::uint32_t rts = State.Flags & DCB_fRtsControlMask;
    const bool dtrOn = dtr == DTR_CONTROL_HANDSHAKE ? !inputStopped_ : dtr != DTR_CONTROL_DISABLE;
    bool rtsOn = rts == RTS_CONTROL_ENABLE;
    if (rts == RTS_CONTROL_HANDSHAKE)
        rtsOn = !inputStopped_;
    else if (rts == RTS_CONTROL_TOGGLE)
        rtsOn = rtsToggleOn_;
    const bool kernelKeysRts = rts == RTS_CONTROL_TOGGLE && backend_->TogglesRts();
    if (!backend_->SetDtr(dtrOn) || (!kernelKeysRts && !backend_->SetRts(rtsOn)))
        return DeviceFailed();
    Service(TSyncClock::now(), false, 0);
    return true;
}

bool TSerialDevice::GetState(DCB& State) {
    return WhenOpen([&] {
        State = dcb_;
        return true;
    });
}

bool TSerialDevice::SetTimeouts(const COMMTIMEOUTS& T) {
    return WhenOpen([&] {
        timeouts_ = T;
        return true;
    });
}

bool TSerialDevice::GetTimeouts(COMMTIMEOUTS& T) {
    return WhenOpen([&] {
        T = timeouts_;
        return true;
    });
}

bool TSerialDevice::SetQueueSizes(std::uint32_t In, std::uint32_t Out) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    // A negative size from the port arrives as some 4 GiB: refuse it as the allocation it is,
    // rather than zero-filling gigabytes or dying of bad_alloc.
    if (In > MaxQueueBytes)
        return Fail(ENOMEM);
    if (In != 0 && In != queue_.Capacity())
        queue_.Resize(In);
    if (Out != 0)
        outSize_ = Out;
    QueueDrained();
    Service(TSyncClock::now(), false, 0); // as after a purge: a sent XON lets held output go
    return true;
}

bool TSerialDevice::GetQueueSizes(std::uint32_t& In, std::uint32_t& Out) {
    return WhenOpen([&] {
        In = static_cast<std::uint32_t>(queue_.Capacity());
        Out = outSize_;
        return true;
    });
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
    Recycle(std::move(ops_.back()));
    ops_.pop_back();
}

TSerialDevice::TOpPtr TSerialDevice::NewOp(TOpKind Kind) {
    TOpPtr op = std::move(spare_);
    if (op && op.use_count() == 1)
        *op = TOp{};
    else
        op = std::make_shared<TOp>();
    op->Kind = Kind;
    return op;
}

void TSerialDevice::Recycle(TOpPtr Op) {
    Op->Event.reset(); // the caller's event is not ours to keep alive
    spare_ = std::move(Op);
}

bool TSerialDevice::Refuse(OVERLAPPED* Ov, int Error) {
    // The record reports this failure, not the result of its previous operation.
    Ov->Status = static_cast<std::uint32_t>(Error);
    Ov->Transferred = 0;
    return Fail(Error);
}

bool TSerialDevice::Launch(TOpPtr Op, OVERLAPPED* Ov, std::uint32_t* Transferred) {
    const auto now = TSyncClock::now();
    Op->Id = nextId_++;
    Op->Event = Ov->Event;
    Op->Event->Reset();
    bool input = false;
    switch (Op->Kind) {
    case opRead:
        reads_.push_back(Op);
        if (reads_.size() == 1) {
            // The current read from now on (its rule once, here). One that returns at once must
            // see what the device holds right now; any other is pumped by the thread that waits
            // for it.
            Op->Current = true;
            Op->Rule = MakeReadRule(timeouts_, Op->Count, now);
            input = queue_.Size() < Op->Count && Op->Rule.Immediate;
        }
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
        // Only a pending operation needs its waiters to pump the device. Still under the lock,
        // so nothing can have completed it in between.
        Op->Event->AttachSource(shared_from_this());
        Op->Attached = true;
        Ov->Operation = Op->Id;
        ops_.push_back(std::move(Op));
        if (Transferred)
            *Transferred = 0;
        return Fail(IO_PENDING);
    }
    const int error = Op->Error;
    Ov->Status = static_cast<std::uint32_t>(error);
    Ov->Transferred = Op->Done;
    if (Transferred)
        *Transferred = Op->Done;
    Recycle(std::move(Op));
    return error == 0 ? true : Fail(error);
}

bool TSerialDevice::Read(void* Buffer, std::uint32_t Count, std::uint32_t* Transferred,
                         OVERLAPPED* Ov) {
    return Transfer(opRead, static_cast<std::uint8_t*>(Buffer), nullptr, Count, Transferred, Ov);
}

bool TSerialDevice::Write(const void* Buffer, std::uint32_t Count, std::uint32_t* Transferred,
                          OVERLAPPED* Ov) {
    return Transfer(opWrite, nullptr, static_cast<const std::uint8_t*>(Buffer), Count, Transferred,
                    Ov);
}

bool TSerialDevice::Transfer(TOpKind Kind, std::uint8_t* In, const std::uint8_t* Out,
                             std::uint32_t Count, std::uint32_t* Transferred, OVERLAPPED* Ov) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen() || !Adopt(Ov))
        return false;
    if (In == nullptr && Out == nullptr && Count != 0)
        return Refuse(Ov, EINVAL);
    std::uint32_t done = 0;
    if (Kind == opRead ? ReadAtOnce(In, Count) : WriteAtOnce(Out, Count, done)) {
        Ov->Status = 0;
        Ov->Transferred = Count;
        if (Transferred)
            *Transferred = Count;
        Ov->Event->Set();
        return true;
    }
    auto op = NewOp(Kind);
    op->In = In;
    op->Out = Out;
    op->Count = Count;
    op->Done = done;
    return Launch(std::move(op), Ov, Transferred);
}

bool TSerialDevice::ReadAtOnce(std::uint8_t* In, std::uint32_t Count) {
    // Whatever the time-outs, a read whose bytes are all queued ends with them at once.
    if (!reads_.empty() || queue_.Size() < Count)
        return false;
    queue_.Pop(In, Count);
    QueueDrained();
    return true;
}

bool TSerialDevice::WriteAtOnce(const std::uint8_t* Out, std::uint32_t Count, std::uint32_t& Done) {
    // Only a write with nothing ahead of it, nothing holding it and no RTS to key; a part the
    // device did not take goes the usual way with the rest.
    if (Count == 0 || !writes_.empty() || lost_ || priorityPending_ || flowCharPending_ >= 0 ||
        (xoffSent_ && !(dcb_.Flags & DCB_fTXContinueOnXoff)) ||
        (dcb_.Flags & DCB_fRtsControlMask) == RTS_CONTROL_TOGGLE || DsrHeld())
        return false;
    const ssize_t n = backend_->Send(Out, Count);
    if (n <= 0)
        return false;
    txBusy_ = true;
    Done = static_cast<std::uint32_t>(n);
    if (Done < Count)
        return false;
    // The clock only where the drain is listened for.
    CheckTxEmpty((mask_ & EV_TXEMPTY) || rtsToggleOn_ ? TSyncClock::now() : TTimePoint{});
    CompleteWait();
    return true;
}

bool TSerialDevice::WaitEvent(std::uint32_t* Mask, OVERLAPPED* Ov) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen() || !Adopt(Ov))
        return false;
    if (Mask == nullptr || mask_ == 0)
        return Refuse(Ov, EINVAL);
    if (wait_)
        return Refuse(Ov, EBUSY);
    // Nothing could ever end it: the device is not polled any more and no event tells.
    if (lost_ && !(mask_ & EV_ERR) && (history_ & mask_) == 0)
        return Refuse(Ov, EIO);
    *Mask = 0;
    auto op = NewOp(opWait);
    op->Mask = Mask;
    return Launch(std::move(op), Ov, nullptr);
}

bool TSerialDevice::Result(OVERLAPPED* Ov, std::uint32_t* Transferred, bool Wait) {
    if (Ov == nullptr)
        return Fail(EINVAL);
    // The record's own collected result: nothing of the device's to look at.
    if (Ov->Operation == 0) {
        if (Transferred)
            *Transferred = Ov->Transferred;
        return Ov->Status == 0 ? true : Fail(static_cast<int>(Ov->Status));
    }
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
    return WhenOpen([&] {
        Mask = mask_;
        return true;
    });
}

bool TSerialDevice::Purge(std::uint32_t Flags) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (Flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return Fail(EINVAL);
    if (Flags & PURGE_TXABORT) {
        CompleteAll(writes_, IO_ABORTED);
        outputBlocked_ = false;
    }
    if (Flags & PURGE_RXABORT) {
        CompleteAll(reads_, IO_ABORTED);
    }
    if (Flags & PURGE_RXCLEAR) {
        queue_.Clear();
        QueueDrained();
    }
    const bool in = Flags & PURGE_RXCLEAR, out = Flags & PURGE_TXCLEAR;
    if ((in || out) && !backend_->Flush(in, out))
        return DeviceFailed();
    // An emptied queue may have sent XON: output held by our XOFF goes on now, not at its
    // time-out. Resizing the queue does the same.
    Service(TSyncClock::now(), false, 0);
    return true;
}

bool TSerialDevice::ClearError(std::uint32_t* Errors, COMSTAT* Stat, bool WithOutput) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    // The errors pending when the call was made are reported and cleared. What the pump below
    // runs into (bytes it moves overflowing the queue) stays pending for the next call, so a
    // query for a count does not swallow an overflow it caused itself.
    const std::uint32_t pending = errors_;
    errors_ = 0;
    Service(TSyncClock::now(), true, 0);
    // A vanished device, once its bytes and errors are told: the device is gone.
    if (lost_ && pending == 0 && errors_ == 0 && queue_.Empty())
        return Fail(EIO);
    if (Errors)
        *Errors = pending;
    if (Stat) {
        COMSTAT s;
        s.cbInQue = static_cast<std::uint32_t>(queue_.Size());
        std::uint64_t out = priorityPending_ ? 1 : 0;
        for (auto& op : writes_)
            out += op->Count - op->Done;
        s.cbOutQue = static_cast<std::uint32_t>(std::min<std::uint64_t>(out, 0xFFFFFFFFu));
        if (!WithOutput) {
            *Stat = s;
            return true;
        }
        std::uint32_t kernel = 0;
        if (!lost_ && backend_->OutputQueued(kernel))
            out += kernel;
        else if (!lost_ && IsDeviceLostError(errno))
            MarkLost(errno);
        s.cbOutQue = static_cast<std::uint32_t>(std::min<std::uint64_t>(out, 0xFFFFFFFFu));
        if (out > 0 && CtsHeld())
            s.Flags |= COMSTAT_fCtsHold;
        if (out > 0 && DsrHeld())
            s.Flags |= COMSTAT_fDsrHold;
        // The kernel obeys a received XOFF without telling; only the escape is known then.
        const int stopped = lost_ ? -1 : backend_->OutputStopped();
        if (stopped > 0 || (stopped < 0 && xoffHold_))
            s.Flags |= COMSTAT_fXoffHold;
        if (xoffSent_)
            s.Flags |= COMSTAT_fXoffSent;
        if (priorityPending_)
            s.Flags |= COMSTAT_fTxim;
        *Stat = s;
    }
    return true;
}

bool TSerialDevice::InputCount(std::uint32_t& Count) {
    return WhenOpen([&] {
        Count = static_cast<std::uint32_t>(queue_.Size());
        return true;
    });
}

bool TSerialDevice::ModemStatus(std::uint32_t& Status) {
    std::lock_guard lock(mutex_);
    if (!CheckOpen())
        return false;
    if (lost_)
        return Fail(EIO);
    return backend_->ModemLines(Status) || DeviceFailed();
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
    if (!ok)
        return DeviceFailed();
    Service(TSyncClock::now(), false, 0);
    return true;
}

bool TSerialDevice::Loss(std::int32_t& Error) {
    return WhenOpen([&] {
        Error = lost_ ? lostError_ : 0;
        return true;
    });
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
        MarkLost(error);
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
