// Reads, writes, queue and line queries, line controls and the event wait without a thread.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/sync/PlatformError.h"
#include "port/CPortComPort.h"
#include "port/CPortRecords.h"

namespace {

// A synchronous operation borrows its thread's record, so it creates no event and no record.
// One started while the thread's record is in use (a handler run during the wait) gets its own,
// and a record left with its operation outstanding (the wait failed) is never lent again.
class TAsyncGuard {
public:
    PAsync Async = nullptr;
    TAsyncGuard() {
        thread_local TCache Cache;
        if (Cache.Busy) {
            InitAsync(Async);
            return;
        }
        if (!Cache.Record)
            InitAsync(Cache.Record);
        Cache.Busy = true;
        FCache = &Cache;
        Async = Cache.Record;
        // Lent as if fresh: an operation that starts nothing must not find the last one's
        // count, kind or bytes.
        delete[] Async->Data;
        Async->Data = nullptr;
        Async->Size = 0;
        Async->Kind = okWrite;
        Async->Overlapped.Status = 0;
        Async->Overlapped.Transferred = 0;
    }
    ~TAsyncGuard() {
        if (FCache) {
            FCache->Busy = false;
            if (Async->Overlapped.Operation == 0)
                return;
            FCache->Record = nullptr;
        }
        DoneAsync(Async);
    }
    TAsyncGuard(const TAsyncGuard&) = delete;
    TAsyncGuard& operator=(const TAsyncGuard&) = delete;

private:
    struct TCache {
        PAsync Record = nullptr;
        bool Busy = false;
        ~TCache() { DoneAsync(Record); }
    };
    TCache* FCache = nullptr;
};

bool StartedOrPending(bool Ok) {
    return Ok || LastPlatformError() == IO_PENDING;
}

} // namespace

std::int32_t TCustomComPort::WriteAsync(const void* Buffer, std::int32_t Count, PAsync& AsyncPtr) {
    if (!AsyncPtr)
        throw EComPort(CError_InvalidAsync);
    // Refused as the device would refuse them, before the copy reads from them.
    if (Count < 0 || (!Buffer && Count > 0))
        throw EComPort(CError_WriteFailed, EINVAL);
    AsyncPtr->Kind = okWrite;
    // The write runs from the record's own copy, so the caller's buffer may go away at once.
    // The earlier copy is released only once this write has started: if an earlier write is
    // still pending the start is refused and that write keeps its bytes.
    std::unique_ptr<std::uint8_t[]> Copy(new std::uint8_t[static_cast<std::size_t>(Count)]);
    if (Count > 0)
        std::memcpy(Copy.get(), Buffer, static_cast<std::size_t>(Count));
    std::uint32_t Written = 0;
    if (!StartedOrPending(SerialWrite(FHandle, Copy.get(), static_cast<std::uint32_t>(Count),
                                      &Written, &AsyncPtr->Overlapped)))
        RaiseLast(CError_WriteFailed);
    delete[] AsyncPtr->Data;
    AsyncPtr->Data = Copy.release();
    AsyncPtr->Size = Count;
    SendSignalToLink(leTx, true);
    return static_cast<std::int32_t>(Written);
}

std::int32_t TCustomComPort::WriteStrAsync(const std::string& Str, PAsync& AsyncPtr) {
    if (Str.empty())
        return 0;
    return WriteAsync(Str.data(), static_cast<std::int32_t>(Str.size()), AsyncPtr);
}

std::int32_t TCustomComPort::Write(const void* Buffer, std::int32_t Count) {
    TAsyncGuard G;
    WriteAsync(Buffer, Count, G.Async);
    return WaitForAsync(G.Async);
}

std::int32_t TCustomComPort::WriteStr(const std::string& Str) {
    TAsyncGuard G;
    WriteStrAsync(Str, G.Async);
    return WaitForAsync(G.Async);
}

std::int32_t TCustomComPort::ReadAsync(void* Buffer, std::int32_t Count, PAsync& AsyncPtr) {
    if (!AsyncPtr)
        throw EComPort(CError_InvalidAsync);
    if (Count < 0)
        throw EComPort(CError_ReadFailed, EINVAL);
    AsyncPtr->Kind = okRead;
    std::uint32_t Got = 0;
    if (!StartedOrPending(SerialRead(FHandle, Buffer, static_cast<std::uint32_t>(Count), &Got,
                                     &AsyncPtr->Overlapped)))
        RaiseLast(CError_ReadFailed);
    // The bytes the receive mark stood for are this read's now.
    if (Count > 0)
        FRxSince.store(0);
    return static_cast<std::int32_t>(Got);
}

std::int32_t TCustomComPort::ReadStrAsync(std::string& Str, std::int32_t Count, PAsync& AsyncPtr) {
    Str.assign(Count > 0 ? static_cast<std::size_t>(Count) : 0, '\0');
    if (Count <= 0)
        return 0;
    return ReadAsync(Str.data(), Count, AsyncPtr);
}

std::int32_t TCustomComPort::Read(void* Buffer, std::int32_t Count) {
    TAsyncGuard G;
    ReadAsync(Buffer, Count, G.Async);
    return WaitForAsync(G.Async);
}

std::int32_t TCustomComPort::ReadStr(std::string& Str, std::int32_t Count) {
    TAsyncGuard G;
    ReadStrAsync(Str, Count, G.Async);
    std::int32_t Got = WaitForAsync(G.Async);
    Str.resize(static_cast<std::size_t>(Got));
    return Got;
}

std::int32_t TCustomComPort::WaitForAsync(PAsync& AsyncPtr) {
    if (!AsyncPtr)
        throw EComPort(CError_InvalidAsync);
    const std::int32_t Code = AsyncPtr->Kind == okWrite ? CError_WriteFailed : CError_ReadFailed;
    // Waiting on the completion event lets the driver move bytes in this thread.
    std::uint32_t R = WaitForSyncEvent(AsyncPtr->Overlapped.Event, SyncInfinite);
    if (R != 0)
        RaiseLast(Code);
    std::uint32_t Transferred = 0;
    if (!OverlappedResult(FHandle, &AsyncPtr->Overlapped, &Transferred, false))
        RaiseLast(Code);
    const auto Count = static_cast<std::int32_t>(Transferred);
    // A read never announces the record's earlier write again: those bytes went out before.
    if (AsyncPtr->Kind == okRead) {
        // The count is asked for the links alone; without them a read costs no further query.
        if (!FLinks.empty() && QueuedInputCount() == 0)
            SendSignalToLink(leRx, false);
    } else if (AsyncPtr->Data) {
        // Only what went out: a write cut short by its time-out sent fewer bytes than copied.
        TxNotifyLink(AsyncPtr->Data, std::min(Count, AsyncPtr->Size));
    }
    return Count;
}

bool TCustomComPort::IsAsyncCompleted(PAsync AsyncPtr) {
    if (!AsyncPtr)
        throw EComPort(CError_InvalidAsync);
    std::uint32_t Transferred = 0;
    if (OverlappedResult(FHandle, &AsyncPtr->Overlapped, &Transferred, false))
        return true;
    const std::int32_t Err = LastPlatformError();
    if (Err == IO_INCOMPLETE || Err == IO_PENDING)
        return false;
    throw EComPort(CError_AsyncCheck, Err);
}

void TCustomComPort::AbortAllAsync() {
    if (!PurgeDevice(FHandle, PURGE_TXABORT | PURGE_RXABORT))
        RaiseLast(CError_PurgeFailed);
}

void TCustomComPort::ClearBuffer(bool Input, bool Output) {
    std::uint32_t Flags = 0;
    if (Input)
        Flags |= PURGE_RXCLEAR;
    if (Output)
        Flags |= PURGE_TXCLEAR;
    if (!PurgeDevice(FHandle, Flags))
        RaiseLast(CError_PurgeFailed);
}

void TCustomComPort::ReadErrorState(std::uint32_t* Errors, COMSTAT* Stat, bool WithOutput) {
    if (!ClearDeviceError(FHandle, Errors, Stat, WithOutput))
        RaiseLast(CError_ClearComFailed);
}

COMSTAT TCustomComPort::ReadStatus(bool WithOutput) {
    std::uint32_t Errors = 0;
    COMSTAT Stat;
    ReadErrorState(&Errors, &Stat, WithOutput);
    FUnreadErrors.fetch_or(Errors & (CE_RXOVER | CE_OVERRUN));
    // The device vanished and nothing of it is left to read: a status query that cleared the
    // loss raises instead of answering for a device that is gone.
    if ((Errors & CE_IOE) && Stat.cbInQue == 0)
        throw EComPort(CError_ClearComFailed, EIO);
    return Stat;
}

std::int32_t TCustomComPort::InputCount() {
    return static_cast<std::int32_t>(ReadStatus(false).cbInQue);
}

std::int32_t TCustomComPort::QueuedInputCount() {
    std::uint32_t Count = 0;
    if (!GetDeviceInputCount(FHandle, Count))
        RaiseLast(CError_ClearComFailed);
    return static_cast<std::int32_t>(Count);
}

std::int32_t TCustomComPort::OutputCount() {
    return static_cast<std::int32_t>(ReadStatus().cbOutQue);
}

TComStatusFlags TCustomComPort::StateFlags() {
    return TComStatusFlags::FromBits(static_cast<std::uint8_t>(ReadStatus().Flags & 0x7F));
}

TComErrors TCustomComPort::LastErrors() {
    std::uint32_t Errors = 0;
    COMSTAT Stat;
    ReadErrorState(&Errors, &Stat, false);
    Errors |= FUnreadErrors.exchange(0);
    return ErrorsFromBits(Errors, FParity->GetCheck());
}

TComSignals TCustomComPort::Signals() {
    std::uint32_t Status = 0;
    if (!GetDeviceModemStatus(FHandle, Status))
        RaiseLast(CError_ModemStatFailed);
    return SignalsFromModemStatus(Status);
}

void TCustomComPort::Escape(std::uint32_t Function) {
    if (!EscapeFunction(FHandle, Function))
        RaiseLast(CError_EscapeComFailed);
}

void TCustomComPort::SetBreak(bool OnOff) {
    Escape(OnOff ? ESC_SETBREAK : ESC_CLRBREAK);
}
void TCustomComPort::SetDTR(bool OnOff) {
    Escape(OnOff ? ESC_SETDTR : ESC_CLRDTR);
}
void TCustomComPort::SetRTS(bool OnOff) {
    Escape(OnOff ? ESC_SETRTS : ESC_CLRRTS);
}
void TCustomComPort::SetXonXoff(bool OnOff) {
    Escape(OnOff ? ESC_SETXON : ESC_SETXOFF);
}

void TCustomComPort::TransmitChar(std::uint8_t Ch) {
    if (!::TransmitChar(FHandle, Ch))
        RaiseLast(CError_TransmitFailed);
}

void TCustomComPort::WaitForEvent(TComEvents& Events, TEventHandle StopEvent,
                                  std::int32_t Timeout) {
    if (FThreadCreated)
        throw EComPort(CError_ThreadCreated);
    OVERLAPPED Overlapped{};
    Overlapped.Event = CreateSyncEvent(true, false);
    if (!SetDeviceEventMask(FHandle, EventsToMask(Events)))
        RaiseLast(CError_WaitFailed);
    std::uint32_t Mask = 0;
    if (!StartedOrPending(WaitForDeviceEvent(FHandle, &Mask, &Overlapped)))
        RaiseLast(CError_WaitFailed);
    TEventHandle List[2] = {Overlapped.Event, StopEvent};
    const std::uint32_t R =
        WaitForSyncEvents(List, StopEvent ? 2 : 1, static_cast<std::uint32_t>(Timeout));
    const std::int32_t WaitErr = LastPlatformError();
    // Clearing the mask ends a wait still pending; collect it so the driver no longer holds
    // Mask and Overlapped, which live on this stack.
    const bool Cleared = SetDeviceEventMask(FHandle, 0);
    const std::int32_t ClearErr = LastPlatformError();
    std::uint32_t Ignored = 0;
    const bool Collected = OverlappedResult(FHandle, &Overlapped, &Ignored, true);
    if (R == SyncWaitFailed)
        throw EComPort(CError_WaitFailed, WaitErr);
    if (!Cleared)
        throw EComPort(CError_WaitFailed, ClearErr);
    Events = (R == 0 && Collected) ? MaskToEvents(Mask) : TComEvents{};
}
