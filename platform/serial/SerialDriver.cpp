#include "platform/serial/SerialDriver.h"

#include <cerrno>

#include "platform/serial/DeviceName.h"
#include "platform/serial/HandleTable.h"
#include "platform/serial/NetworkBackend.h"
#include "platform/serial/SerialDevice.h"
#include "platform/serial/TtyBackend.h"
#include "platform/serial/VirtualBackend.h"

namespace {

using TDevices = THandleTable<TSerialDevice>;

TDevices& Devices() {
    // Never destroyed: a thread may still call in while the process exits.
    static auto* devices = new TDevices;
    return *devices;
}

TDevices::TRef Lookup(TSerialHandle Handle) {
    auto device = Devices().Find(Handle);
    if (!device)
        SetLastPlatformError(EBADF);
    return device;
}

// Starts on the caller's record, or without one (the synchronous forms) on a per-thread record
// and waits for it.
template <typename Start>
bool Run(TSerialHandle Handle, std::uint32_t* Transferred, OVERLAPPED* Overlapped, Start start) {
    auto device = Lookup(Handle);
    if (!device)
        return false;
    if (Overlapped)
        return start(*device, Overlapped);
    thread_local OVERLAPPED ov{};
    if (!ov.Event)
        ov.Event = CreateSyncEvent(true, true);
    ov.Operation = 0;
    if (start(*device, &ov))
        return true;
    if (LastPlatformError() != IO_PENDING)
        return false;
    return device->Result(&ov, Transferred, true);
}

} // namespace

TSerialHandle SerialOpen(const std::string& Name) {
    const std::string name = SerialDeviceName(Name);
    if (name.empty()) {
        SetLastPlatformError(ENOENT);
        return InvalidSerialHandle;
    }
    // The system would open the name cut at the NUL: another device than the one named.
    if (name.find('\0') != std::string::npos) {
        SetLastPlatformError(EINVAL);
        return InvalidSerialHandle;
    }
    std::unique_ptr<TSerialBackend> backend;
    if (IsNetworkPortName(name)) {
        TNetworkAddress address;
        if (!ParseNetworkPortName(name, address)) {
            SetLastPlatformError(EINVAL);
            return InvalidSerialHandle;
        }
        backend = OpenNetworkBackend(address);
    } else {
        bool known = false;
        backend = OpenVirtualBackend(name, known);
        if (!known)
            backend = OpenTtyBackend(SerialDevicePath(Name));
    }
    if (!backend) {
        SetLastPlatformError(errno);
        return InvalidSerialHandle;
    }
    auto device = std::make_shared<TSerialDevice>(std::move(backend));
    if (!device->Init()) {
        const int error = LastPlatformError();
        device->Close();
        SetLastPlatformError(error);
        return InvalidSerialHandle;
    }
    const TSerialHandle handle = Devices().Add(device);
    if (handle == 0) {
        device->Close();
        SetLastPlatformError(EMFILE);
        return InvalidSerialHandle;
    }
    return handle;
}

bool SerialClose(TSerialHandle Handle) {
    // Callers inside the device are woken by its close and let go before it is released.
    if (Devices().Remove(Handle, [](TSerialDevice& device) { device.Close(); }))
        return true;
    SetLastPlatformError(EBADF);
    return false;
}

#define WITH_DEVICE(call)                                                                          \
    auto device = Lookup(Handle);                                                                  \
    return device && device->call

bool SetDeviceState(TSerialHandle Handle, const DCB& State) {
    WITH_DEVICE(SetState(State));
}
bool GetDeviceState(TSerialHandle Handle, DCB& State) {
    WITH_DEVICE(GetState(State));
}
bool SetDeviceTimeouts(TSerialHandle Handle, const COMMTIMEOUTS& Timeouts) {
    WITH_DEVICE(SetTimeouts(Timeouts));
}
bool GetDeviceTimeouts(TSerialHandle Handle, COMMTIMEOUTS& Timeouts) {
    WITH_DEVICE(GetTimeouts(Timeouts));
}
bool SetupQueueSizes(TSerialHandle Handle, std::uint32_t InputSize, std::uint32_t OutputSize) {
    WITH_DEVICE(SetQueueSizes(InputSize, OutputSize));
}
bool GetQueueSizes(TSerialHandle Handle, std::uint32_t& InputSize, std::uint32_t& OutputSize) {
    WITH_DEVICE(GetQueueSizes(InputSize, OutputSize));
}
bool OverlappedResult(TSerialHandle Handle, OVERLAPPED* Overlapped, std::uint32_t* Transferred,
                      bool Wait) {
    if (auto device = Lookup(Handle))
        return device->Result(Overlapped, Transferred, Wait);
    // An operation the record still names was ended by the close of its device: say so, as the
    // record would, rather than only that the handle is gone.
    if (Overlapped == nullptr || Overlapped->Operation == 0)
        return false;
    Overlapped->Operation = 0;
    Overlapped->Status = IO_ABORTED;
    Overlapped->Transferred = 0;
    if (Transferred)
        *Transferred = 0;
    SetLastPlatformError(IO_ABORTED);
    return false;
}
bool SetDeviceEventMask(TSerialHandle Handle, std::uint32_t Mask) {
    WITH_DEVICE(SetMask(Mask));
}
bool GetDeviceEventMask(TSerialHandle Handle, std::uint32_t& Mask) {
    WITH_DEVICE(GetMask(Mask));
}
bool PurgeDevice(TSerialHandle Handle, std::uint32_t Flags) {
    WITH_DEVICE(Purge(Flags));
}
bool ClearDeviceError(TSerialHandle Handle, std::uint32_t* Errors, COMSTAT* Stat, bool WithOutput) {
    WITH_DEVICE(ClearError(Errors, Stat, WithOutput));
}
bool GetDeviceInputCount(TSerialHandle Handle, std::uint32_t& Count) {
    WITH_DEVICE(InputCount(Count));
}
bool GetDeviceModemStatus(TSerialHandle Handle, std::uint32_t& ModemStatus) {
    WITH_DEVICE(ModemStatus(ModemStatus));
}
bool EscapeFunction(TSerialHandle Handle, std::uint32_t Function) {
    WITH_DEVICE(Escape(Function));
}
bool TransmitChar(TSerialHandle Handle, std::uint8_t Ch) {
    WITH_DEVICE(TransmitChar(Ch));
}
bool GetDeviceLoss(TSerialHandle Handle, std::int32_t& Errno) {
    WITH_DEVICE(Loss(Errno));
}

#undef WITH_DEVICE

bool SerialRead(TSerialHandle Handle, void* Buffer, std::uint32_t Count, std::uint32_t* Transferred,
                OVERLAPPED* Overlapped) {
    return Run(Handle, Transferred, Overlapped, [&](TSerialDevice& device, OVERLAPPED* ov) {
        return device.Read(Buffer, Count, Transferred, ov);
    });
}

bool SerialWrite(TSerialHandle Handle, const void* Buffer, std::uint32_t Count,
                 std::uint32_t* Transferred, OVERLAPPED* Overlapped) {
    return Run(Handle, Transferred, Overlapped, [&](TSerialDevice& device, OVERLAPPED* ov) {
        return device.Write(Buffer, Count, Transferred, ov);
    });
}

bool WaitForDeviceEvent(TSerialHandle Handle, std::uint32_t* Mask, OVERLAPPED* Overlapped) {
    return Run(Handle, nullptr, Overlapped,
               [&](TSerialDevice& device, OVERLAPPED* ov) { return device.WaitEvent(Mask, ov); });
}
