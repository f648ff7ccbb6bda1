// A port on one end of a virtual null-modem, the far end driven through the driver, for tests
// of controls that follow or edit a port. Waits run the Qt event loop, which also serves the
// port's dispatch to the GUI thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include <QTest>

#include <unistd.h>

#include "platform/serial/VirtualNullModem.h"
#include "platform/sync/PlatformError.h"
#include "port/CPort.h"

inline bool WaitUntil(const std::function<bool()>& Done, int Ms = 5000) {
    return QTest::qWaitFor(Done, Ms);
}

// Device names no other test of this process or of a parallel run uses.
inline std::string UniqueDeviceName(const std::string& Stem) {
    static std::atomic<int> Serial{0};
    return Stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(++Serial);
}

class TVirtualPortTest : public ::testing::Test {
public:
    void SetUp() override {
        NameA = UniqueDeviceName("vctlA");
        NameB = UniqueDeviceName("vctlB");
        Modem = TVirtualNullModem::Create(NameA, NameB);
        ASSERT_TRUE(Modem) << "virtual pair, error " << LastPlatformError();
        Port = std::make_unique<TComPort>();
        Port->SetPort(NameA);
        Peer = SerialOpen(NameB);
        ASSERT_NE(Peer, InvalidSerialHandle) << LastPlatformError();
        COMMTIMEOUTS T;
        T.ReadIntervalTimeout = 50;
        T.ReadTotalTimeoutConstant = 2000;
        ASSERT_TRUE(SetDeviceTimeouts(Peer, T));
    }

    void TearDown() override {
        if (Port)
            Port->Close();
        if (Peer != InvalidSerialHandle)
            SerialClose(Peer);
    }

    void PeerEscape(std::uint32_t Function) {
        ASSERT_TRUE(EscapeFunction(Peer, Function)) << LastPlatformError();
    }

    void PeerWrite(const std::string& Bytes) {
        std::uint32_t N = 0;
        ASSERT_TRUE(
            SerialWrite(Peer, Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), &N, nullptr))
            << LastPlatformError();
        ASSERT_EQ(N, Bytes.size());
    }

    std::string PeerRead(std::uint32_t Count) {
        std::string S(Count, '\0');
        std::uint32_t N = 0;
        EXPECT_TRUE(SerialRead(Peer, S.data(), Count, &N, nullptr)) << LastPlatformError();
        S.resize(N);
        return S;
    }

    std::unique_ptr<TVirtualNullModem> Modem;
    std::string NameA, NameB;
    TSerialHandle Peer = InvalidSerialHandle;
    std::unique_ptr<TComPort> Port;
};
