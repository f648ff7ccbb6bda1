#include "port/CPortThread.h"

#include <cerrno>

#include <unistd.h>

#include "framework/Application.h"
#include "framework/MessageWindow.h"
#include "framework/Synchronize.h"
#include "platform/sync/PlatformError.h"
#include "port/CPortComPort.h"
#include "port/CPortRecords.h"

TComThread::TComThread(TCustomComPort* AComPort)
    : FComPort(AComPort), FStopEvent(CreateSyncEvent(true, false)) {
    SetPriority(FComPort->GetEventThreadPriority());
    if (!SetDeviceEventMask(FComPort->GetHandle(), EventsToMask(FComPort->GetEvents())))
        throw EComPort(CError_WaitFailed, LastPlatformError());
    FOverlapped.Event = CreateSyncEvent(true, true);
    Start();
}

TComThread::~TComThread() {
    Stop();
    WaitFor();
}

void TComThread::Stop() {
    FStopEvent->Set();
    SyncSleep(0);
}

bool TComThread::IsDispatchBlocking() const {
    return GetThreadID() == gettid() || (FInSyncDispatch && IsMainThread());
}

void TComThread::Report() {
    Application->HandleException(std::current_exception(), FComPort);
}

void TComThread::ReportError(std::int32_t Code, std::int32_t WinCode) {
    Application->HandleException(std::make_exception_ptr(EComPort(Code, WinCode)), FComPort);
}

std::int32_t TComThread::LossOf(TSerialHandle Handle, std::int32_t Fallback) {
    std::int32_t Errno = 0;
    return GetDeviceLoss(Handle, Errno) && Errno != 0 ? Errno : Fallback;
}

void TComThread::Execute() {
    const THandle Handle = FComPort->GetHandle();
    const TEventHandle List[2] = {FStopEvent, FOverlapped.Event};
    bool DeviceFailed = false;
    for (;;) {
        if (!WaitForDeviceEvent(Handle, &FMask, &FOverlapped) &&
            LastPlatformError() != IO_PENDING) {
            // A wait that cannot start would fail again at once: tell it once and sleep until
            // the port stops the thread instead of spinning.
            const std::int32_t Error = LastPlatformError();
            DeviceFailed = true;
            FWakeTime = TComClock::now();
            if (IsDeviceLostError(Error))
                TellLoss(LossOf(Handle, Error), TComEvents{});
            else
                ReportError(CError_WaitFailed, Error);
            WaitForSyncEvent(FStopEvent, SyncInfinite);
            break;
        }
        const std::uint32_t Woken = WaitForSyncEvents(List, 2, SyncInfinite);
        if (Woken == SyncWaitFailed)
            ReportError(CError_WaitFailed, LastPlatformError());
        if (Woken != 1)
            break;
        // The one clock read of a wake, before anything can delay it: the time of its events.
        FWakeTime = TComClock::now();
        std::uint32_t Ignored = 0;
        std::int32_t Lost = 0;
        TComEvents Batch;
        if (OverlappedResult(Handle, &FOverlapped, &Ignored, false)) {
            // A loss raises EV_ERR when that is selected; asked before the batch goes out, so
            // that the batch carries every byte that came before the loss.
            Batch = MaskToEvents(FMask);
            if (FMask & EV_ERR)
                Lost = LossOf(Handle, 0);
            if (Lost == 0) {
                FEvents = Batch;
                DispatchComMsg();
                continue;
            }
        } else if (LastPlatformError() == EIO) {
            // The loss ended the wait: no selected event tells of it.
            Lost = LossOf(Handle, EIO);
        } else {
            continue;
        }
        DeviceFailed = true;
        TellLoss(Lost, Batch);
        WaitForSyncEvent(FStopEvent, SyncInfinite);
        break;
    }
    // Ends a wait still pending, so the driver lets go of FMask and FOverlapped.
    const bool Cleared = SetDeviceEventMask(Handle, 0);
    const std::int32_t ClearErr = Cleared ? 0 : LastPlatformError();
    std::uint32_t Ignored = 0;
    OverlappedResult(Handle, &FOverlapped, &Ignored, true);
    // The input is discarded even when the mask could not be cleared. Output is not: bytes a
    // write reported as written still go out (Close waits for them), and on a tty discarding
    // the output throws away what the far end has not read yet.
    const bool Purged = PurgeDevice(Handle, PURGE_RXCLEAR);
    const std::int32_t PurgeErr = Purged ? 0 : LastPlatformError();
    // A lost device was told of already; nothing is left to discard.
    if (DeviceFailed)
        return;
    if (!Cleared && ClearErr != EIO)
        ReportError(CError_WaitFailed, ClearErr);
    if (!Purged && PurgeErr != EIO)
        ReportError(CError_PurgeFailed, PurgeErr);
}

void TComThread::TellLoss(std::int32_t Errno, TComEvents Batch) {
    // Bytes that came before the loss go first, also when the wait that ended with it had no
    // receive event to carry (the loss failed it, or came just after it completed).
    std::uint32_t Queued = 0;
    if (FComPort->GetEvents().Contains(evRxChar) &&
        GetDeviceInputCount(FComPort->GetHandle(), Queued) && Queued > 0)
        Batch.Include(evRxChar);
    FEvents = Batch;
    if (!FEvents.Empty())
        DispatchComMsg();
    TCustomComPort* Port = FComPort;
    switch (Port->GetSyncMethod()) {
    case smThreadSync:
        // Not waited for: its handler may close the port, which waits for this thread.
        Queue([Port, Errno] { Port->CallDeviceLost(Errno); });
        break;
    case smWindowSync:
        SendMessage(Port->FWindow, CM_COMPORTLOST, static_cast<WPARAM>(Errno), 0);
        break;
    case smNone:
        // Straight to the handler: a close under way is not the event thread's to look at, and
        // waits for this thread anyway.
        try {
            Port->DoDeviceLost(Errno);
        } catch (...) {
            Report();
        }
        break;
    }
}

void TComThread::DispatchComMsg() {
    if (FEvents.Contains(evRxChar))
        FComPort->NoteRxWake(FWakeTime);
    switch (FComPort->GetSyncMethod()) {
    case smThreadSync:
        // Exceptions are reported in the GUI thread, where the handlers ran.
        Synchronize([this] {
            FInSyncDispatch = true;
            DoEvents();
            FInSyncDispatch = false;
        });
        break;
    case smWindowSync:
        SendEvents();
        break;
    case smNone:
        DoEvents();
        break;
    }
}

void TComThread::DoEvents() {
    // A handler that raises is reported and the rest of the batch still runs, so the bytes and
    // line events of the batch are not lost with it.
    for (TComEvent E : EventDispatchOrder) {
        if (!FEvents.Contains(E))
            continue;
        try {
            CallEventEntry(*FComPort, E, FWakeTime);
        } catch (...) {
            if (!IsDeviceLossFailure(std::current_exception()))
                Report();
        }
    }
}

void TComThread::SendEvents() {
    for (TComEvent E : EventDispatchOrder)
        if (FEvents.Contains(E))
            SendMessage(FComPort->FWindow, CM_COMPORT, EventsToMask(TComEvents{E}),
                        FWakeTime.time_since_epoch().count());
}
