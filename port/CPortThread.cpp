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

void TComThread::Execute() {
    const THandle Handle = FComPort->GetHandle();
    const TEventHandle List[2] = {FStopEvent, FOverlapped.Event};
    bool DeviceFailed = false;
    for (;;) {
        if (!WaitForDeviceEvent(Handle, &FMask, &FOverlapped) &&
            LastPlatformError() != IO_PENDING) {
            // A wait that cannot start (device gone) would fail again at once: report it once
            // and sleep until the port stops the thread instead of spinning.
            DeviceFailed = true;
            ReportError(CError_WaitFailed, LastPlatformError());
            WaitForSyncEvent(FStopEvent, SyncInfinite);
            break;
        }
        const std::uint32_t Woken = WaitForSyncEvents(List, 2, SyncInfinite);
        if (Woken == SyncWaitFailed)
            ReportError(CError_WaitFailed, LastPlatformError());
        if (Woken != 1)
            break;
        std::uint32_t Ignored = 0;
        if (!OverlappedResult(Handle, &FOverlapped, &Ignored, false)) {
            if (LastPlatformError() != EIO)
                continue;
            // The device vanished and no selected event tells of it (evError is not among
            // them): report it once, then sleep until the port stops the thread.
            DeviceFailed = true;
            ReportError(CError_WaitFailed, EIO);
            WaitForSyncEvent(FStopEvent, SyncInfinite);
            break;
        }
        FEvents = MaskToEvents(FMask);
        DispatchComMsg();
    }
    // Ends a wait still pending, so the driver lets go of FMask and FOverlapped.
    const bool Cleared = SetDeviceEventMask(Handle, 0);
    const std::int32_t ClearErr = Cleared ? 0 : LastPlatformError();
    std::uint32_t Ignored = 0;
    OverlappedResult(Handle, &FOverlapped, &Ignored, true);
    // The queues are discarded even when the mask could not be cleared.
    const bool Purged = PurgeDevice(Handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
    const std::int32_t PurgeErr = Purged ? 0 : LastPlatformError();
    // A lost device (EIO) was already heard as a line error; nothing is left to discard.
    if (DeviceFailed)
        return;
    if (!Cleared && ClearErr != EIO)
        ReportError(CError_WaitFailed, ClearErr);
    if (!Purged && PurgeErr != EIO)
        ReportError(CError_PurgeFailed, PurgeErr);
}

void TComThread::DispatchComMsg() {
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
            CallEventEntry(*FComPort, E);
        } catch (...) {
            Report();
        }
    }
}

void TComThread::SendEvents() {
    for (TComEvent E : EventDispatchOrder)
        if (FEvents.Contains(E))
            SendMessage(FComPort->FWindow, CM_COMPORT, EventsToMask(TComEvents{E}), 0);
}
