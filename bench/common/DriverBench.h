// The serial driver opened the way the receive benchmarks use it: a read returns as soon as
// anything is there, like a plain poll()/read() loop, and overlapped reads and writes wait for
// their completion.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/serial/SerialDriver.h"

namespace DriverBench {

[[noreturn]] inline void Fail(const char* What) {
    throw std::runtime_error(std::string(What) + " failed (" + std::to_string(LastPlatformError()) +
                             ")");
}

inline TSerialHandle OpenDriver(const std::string& Path) {
    const TSerialHandle H = SerialOpen(Path);
    if (H == InvalidSerialHandle)
        Fail("SerialOpen");
    DCB D;
    D.BaudRate = 115200;
    D.Flags = DCB_fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
    D.ByteSize = 8;
    COMMTIMEOUTS T;
    T.ReadIntervalTimeout = MAXDWORD;
    T.ReadTotalTimeoutMultiplier = MAXDWORD;
    T.ReadTotalTimeoutConstant = 60000;
    if (!SetDeviceState(H, D) || !SetupQueueSizes(H, 65536, 65536) || !SetDeviceTimeouts(H, T)) {
        SerialClose(H);
        Fail("configure");
    }
    return H;
}

inline std::uint32_t ReadOverlapped(TSerialHandle H, void* Buf, std::uint32_t N, OVERLAPPED& Ov) {
    std::uint32_t Got = 0;
    if (SerialRead(H, Buf, N, &Got, &Ov))
        return Got;
    if (LastPlatformError() != IO_PENDING || !OverlappedResult(H, &Ov, &Got, true))
        Fail("overlapped read");
    return Got;
}

inline void WriteOverlapped(TSerialHandle H, const void* Buf, std::uint32_t N, OVERLAPPED& Ov) {
    std::uint32_t Done = 0;
    if (!SerialWrite(H, Buf, N, &Done, &Ov) &&
        (LastPlatformError() != IO_PENDING || !OverlappedResult(H, &Ov, &Done, true)))
        Fail("overlapped write");
    if (Done != N)
        Fail("complete write");
}

} // namespace DriverBench
