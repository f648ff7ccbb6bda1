// The far end of a virtual null-modem, driven straight through the driver, for tests of what
// a port sends and receives.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include <unistd.h>

#include "platform/serial/SerialDriver.h"
#include "platform/sync/PlatformError.h"

// Device names no other test of this process or of a parallel run uses.
inline std::string UniqueDeviceName(const std::string& Stem) {
    static std::atomic<int> Serial{0};
    return Stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(++Serial);
}

// Reads on the far end wait up to 2 s, and end 50 ms after the last byte; a write held for
// 10 s (nobody reads, flow control) ends short instead of hanging the test.
inline void OpenFarEnd(const std::string& Name, TSerialHandle& Peer) {
    Peer = SerialOpen(Name);
    ASSERT_NE(Peer, InvalidSerialHandle) << LastPlatformError();
    COMMTIMEOUTS T;
    T.ReadIntervalTimeout = 50;
    T.ReadTotalTimeoutConstant = 2000;
    T.WriteTotalTimeoutConstant = 10000;
    ASSERT_TRUE(SetDeviceTimeouts(Peer, T)) << LastPlatformError();
}

inline void FarEndWrite(TSerialHandle Peer, const std::string& Bytes) {
    std::uint32_t N = 0;
    ASSERT_TRUE(
        SerialWrite(Peer, Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), &N, nullptr))
        << LastPlatformError();
    ASSERT_EQ(N, Bytes.size());
}

// Up to Count bytes, fewer when the read time-out passes first.
inline std::string FarEndRead(TSerialHandle Peer, std::uint32_t Count) {
    std::string S(Count, '\0');
    std::uint32_t N = 0;
    EXPECT_TRUE(SerialRead(Peer, S.data(), Count, &N, nullptr)) << LastPlatformError();
    S.resize(N);
    return S;
}
