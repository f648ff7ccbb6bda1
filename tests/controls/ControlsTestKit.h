// A port on one end of a virtual null-modem, the far end driven through the driver, for tests
// of controls that follow or edit a port. Waits run the Qt event loop, which also serves the
// port's dispatch to the GUI thread.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include <QTest>

#include "platform/serial/VirtualNullModem.h"
#include "platform/sync/PlatformError.h"
#include "port/CPort.h"
#include "tests/common/FarEnd.h"

inline bool WaitUntil(const std::function<bool()>& Done, int Ms = 5000) {
    return QTest::qWaitFor(Done, Ms);
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
        OpenFarEnd(NameB, Peer);
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

    void PeerWrite(const std::string& Bytes) { FarEndWrite(Peer, Bytes); }
    std::string PeerRead(std::uint32_t Count) { return FarEndRead(Peer, Count); }

    std::unique_ptr<TVirtualNullModem> Modem;
    std::string NameA, NameB;
    TSerialHandle Peer = InvalidSerialHandle;
    std::unique_ptr<TComPort> Port;
};
