// Opening, configuring and closing the device.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "framework/Application.h"
#include "platform/sync/PlatformError.h"
#include "port/CPortComPort.h"
#include "port/CPortRecords.h"
#include "port/CPortThread.h"

void TCustomComPort::RaiseLast(std::int32_t Code) const {
    // Taken before anything else can overwrite it.
    throw EComPort(Code, LastPlatformError());
}

void TCustomComPort::CreateHandle() {
    // The driver resolves the name: virtual devices first, else /dev/<Port> or an absolute path.
    FHandle = SerialOpen(FPort);
    if (FHandle == InvalidHandle)
        RaiseLast(CError_OpenFailed);
}

void TCustomComPort::DestroyHandle() {
    if (FHandle == InvalidHandle)
        return;
    THandle H = FHandle;
    FHandle = InvalidHandle;
    // The descriptor is gone even when closing reports an error, so the port is closed either
    // way; the failure is reported rather than raised so that Close completes.
    if (!SerialClose(H)) {
        const std::int32_t Error = LastPlatformError();
        Application->HandleException(
            std::make_exception_ptr(EComPort::WithText(
                "Unable to close com port (win error code: " + std::to_string(Error) + ")", Error)),
            this);
    }
}

void TCustomComPort::SetupComPort() {
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
}

void TCustomComPort::ApplyDCB() {
    if (!CanApply())
        return;
    if (!SetDeviceState(FHandle, BuildDCB(*this)))
        RaiseLast(CError_SetStateFailed);
}

void TCustomComPort::ApplyTimeouts() {
    if (!CanApply())
        return;
    if (!SetDeviceTimeouts(FHandle, BuildTimeouts(*FTimeouts)))
        RaiseLast(CError_SetTimeoutsFailed);
}

void TCustomComPort::ApplyBuffer() {
    if (!CanApply())
        return;
    const std::int32_t In = FBuffer->GetInputSize();
    const std::int32_t Out = FBuffer->GetOutputSize();
    // Taken as unsigned, a negative size asks the driver for a queue of about 4 GiB.
    if (In < 0 || Out < 0)
        throw EComPort(CError_SetupComFailed, EINVAL);
    if (!SetupQueueSizes(FHandle, static_cast<std::uint32_t>(In), static_cast<std::uint32_t>(Out)))
        RaiseLast(CError_SetupComFailed);
}

void TCustomComPort::CreateEventThread() {
    if (FEvents.Empty()) {
        FThreadCreated = false;
        return;
    }
    if (FSyncMethod == smWindowSync)
        FWindow = AllocateHWnd([this](TMessage& Message) { WindowMethod(Message); });
    FEventThread = new TComThread(this);
    FThreadCreated = true;
}

void TCustomComPort::DestroyEventThread() {
    if (FThreadCreated) {
        delete FEventThread;
        FEventThread = nullptr;
        FThreadCreated = false;
    }
    if (FWindow) {
        DeallocateHWnd(FWindow);
        FWindow = 0;
    }
}

// What a write reported as written is the device's to send, so closing waits for it: within the
// write time-outs when they are set, else within its time on the line plus a margin. What is still
// queued then is discarded, so that closing the descriptor does not wait on it again.
void TCustomComPort::DrainOutput() {
    using namespace std::chrono;
    std::uint32_t Errors = 0;
    COMSTAT Stat;
    // A device that cannot tell is gone or failing; there is nothing to wait for then.
    if (!ClearDeviceError(FHandle, &Errors, &Stat) || Stat.cbOutQue == 0)
        return;
    DCB Line;
    const std::uint64_t Baud =
        GetDeviceState(FHandle, Line) ? std::max<std::uint32_t>(Line.BaudRate, 1) : 9600;
    // Start, eight data, parity and two stop bits: no framing takes longer per byte.
    const auto LineTime = [Baud](std::uint64_t Bytes) {
        return microseconds(Bytes * 12ull * 1000000ull / Baud);
    };
    COMMTIMEOUTS T;
    const bool Timed = GetDeviceTimeouts(FHandle, T) &&
                       (T.WriteTotalTimeoutMultiplier != 0 || T.WriteTotalTimeoutConstant != 0);
    const auto Bound =
        Timed ? milliseconds(std::uint64_t{T.WriteTotalTimeoutMultiplier} * Stat.cbOutQue +
                             T.WriteTotalTimeoutConstant)
              : duration_cast<milliseconds>(LineTime(Stat.cbOutQue)) + milliseconds(200);
    const auto Deadline = steady_clock::now() + Bound;
    for (;;) {
        const auto Left = Deadline - steady_clock::now();
        if (Left <= steady_clock::duration::zero())
            break;
        // The device's own queue offers nothing to wait on: look again when it should be out.
        std::this_thread::sleep_for(std::min<steady_clock::duration>(
            Left, std::clamp<steady_clock::duration>(LineTime(Stat.cbOutQue), microseconds(200),
                                                     milliseconds(20))));
        if (!ClearDeviceError(FHandle, &Errors, &Stat) || Stat.cbOutQue == 0)
            return;
    }
    if (!PurgeDevice(FHandle, PURGE_TXCLEAR) && LastPlatformError() != EIO)
        Application->HandleException(
            std::make_exception_ptr(EComPort(CError_PurgeFailed, LastPlatformError())), this);
}

void TCustomComPort::Open() {
    if (FConnected || GetComponentState().Contains(csDesigning))
        return;
    CallBeforeOpen();
    CreateHandle();
    FUnreadErrors = 0;
    FRxSince = 0;
    FConnected = true;
    try {
        SetupComPort();
        // A port that cannot start its event machinery is not left half open either.
        CreateEventThread();
    } catch (...) {
        DestroyEventThread();
        DestroyHandle();
        FConnected = false;
        throw;
    }
    CallAfterOpen();
}

void TCustomComPort::Close() {
    if (!FConnected || FClosing || GetComponentState().Contains(csDesigning))
        return;
    // Ending the event thread from inside its own dispatch would wait for itself forever.
    if (FEventThread && FEventThread->IsDispatchBlocking())
        throw EComPort::WithText("Cannot close the port from its own event handler");
    struct TClosing {
        bool& Flag;
        explicit TClosing(bool& F) : Flag(F) { Flag = true; }
        ~TClosing() { Flag = false; }
    } Closing(FClosing);
    CallBeforeClose();
    AbortAllAsync();
    DestroyEventThread();
    DrainOutput();
    DestroyHandle();
    FConnected = false;
    FClosing = false;
    CallAfterClose();
}

void TCustomComPort::Loaded() {
    TComponent::Loaded();
    if (!FConnected || GetComponentState().Contains(csDesigning))
        return;
    FConnected = false;
    try {
        Open();
    } catch (...) {
        Application->HandleException(this);
    }
}
