// Network ports through the driver, against a real serial server on the loopback address that
// serves a pty played by the test.
#include <gtest/gtest.h>

#include <random>

#include <termios.h>

#include "platform/serial/NetworkName.h"
#include "platform/serial/SerialDriver.h"
#include "tests/common/BoundedWait.h"
#include "tests/common/Ser2net.h"

TEST(NetworkNameTest, ParsesWhatItCanOpenAndNothingElse) {
    const struct {
        const char* Name;
        TNetworkKind Kind;
        const char* Host;
        std::uint16_t Port;
    } Cases[] = {
        {"rfc2217://127.0.0.1:40217", nkRfc2217, "127.0.0.1", 40217},
        {"RFC2217://rack-3.lab:7000", nkRfc2217, "rack-3.lab", 7000},
        {"socket://[::1]:2000", nkSocket, "::1", 2000},
        {"rfc2217://127.0.0.1", nkNone, "", 0},
        {"rfc2217://:4000", nkNone, "", 0},
        {"rfc2217://host:0", nkNone, "", 0},
        {"rfc2217://host:65536", nkNone, "", 0},
        {"rfc2217://host:12ab", nkNone, "", 0},
        {"socket://ho st:1", nkNone, "", 0},
        {"socket://[::1:1", nkNone, "", 0},
        {"telnet://host:23", nkNone, "", 0},
        {"ttyUSB0", nkNone, "", 0},
    };
    for (const auto& C : Cases) {
        TNetworkAddress A;
        EXPECT_EQ(ParseNetworkPortName(C.Name, A), C.Kind != nkNone) << C.Name;
        EXPECT_EQ(A.Kind, C.Kind) << C.Name;
        EXPECT_EQ(A.Host, C.Host) << C.Name;
        EXPECT_EQ(A.Port, C.Port) << C.Name;
    }
}

class NetworkPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string Error = Server.Start(Pty.SlaveName, RawPty.SlaveName);
        ASSERT_EQ(Error, "");
    }
    void TearDown() override {
        if (Handle != InvalidSerialHandle)
            SerialClose(Handle);
    }

    void Open(const std::string& Url) {
        Handle = SerialOpen(Url);
        ASSERT_NE(Handle, InvalidSerialHandle) << Url << ": " << std::strerror(LastPlatformError());
        COMMTIMEOUTS T{};
        T.ReadIntervalTimeout = 100;
        T.ReadTotalTimeoutConstant = 3000;
        T.WriteTotalTimeoutConstant = 3000;
        ASSERT_TRUE(SetDeviceTimeouts(Handle, T));
    }
    std::string Read(std::uint32_t Count) {
        std::string S(Count, '\0');
        std::uint32_t N = 0;
        EXPECT_TRUE(SerialRead(Handle, S.data(), Count, &N, nullptr)) << LastPlatformError();
        S.resize(N);
        return S;
    }
    int Far(bool Telnet) const { return Telnet ? Pty.Master : RawPty.Master; }
    static ::testing::AssertionResult Same(const std::string& Got, const std::string& Want) {
        if (Got == Want)
            return ::testing::AssertionSuccess();
        std::size_t At = 0;
        while (At < Got.size() && At < Want.size() && Got[At] == Want[At])
            ++At;
        return ::testing::AssertionFailure() << Got.size() << " bytes instead of " << Want.size()
                                             << ", the first difference at " << At;
    }
    speed_t PtySpeed(bool Telnet) {
        termios T{};
        ::tcgetattr(Telnet ? Pty.Slave : RawPty.Slave, &T);
        return cfgetospeed(&T);
    }

    TServedPty Pty, RawPty;
    TSer2net Server;
    TSerialHandle Handle = InvalidSerialHandle;
};

// Every byte value both ways, 255 among them (doubled on the wire under telnet, not on a raw
// socket), in chunks that split wherever the kernel splits them.
TEST_F(NetworkPortTest, EveryByteValueTravelsBothWays) {
    std::string Bytes;
    std::mt19937 Random(7);
    for (int I = 0; I < 4096; ++I)
        Bytes += static_cast<char>(I < 256 ? I : Random() % 8 == 0 ? 0xFF : Random() & 0xFF);
    for (const bool Telnet : {true, false}) {
        SCOPED_TRACE(Telnet ? "rfc2217" : "socket");
        Open(Telnet ? Server.RfcUrl() : Server.RawUrl());
        std::uint32_t N = 0;
        ASSERT_TRUE(SerialWrite(Handle, Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), &N,
                                nullptr));
        EXPECT_TRUE(Same(ReadWithin(Far(Telnet), Bytes.size(), 2000), Bytes));
        EXPECT_EQ(ReadWithin(Far(Telnet), 1, 100), "") << "bytes beyond those sent";
        ASSERT_EQ(::write(Far(Telnet), Bytes.data(), Bytes.size()),
                  static_cast<ssize_t>(Bytes.size()));
        EXPECT_TRUE(Same(Read(static_cast<std::uint32_t>(Bytes.size())), Bytes));
        SerialClose(Handle);
        Handle = InvalidSerialHandle;
    }
}

// The rate reaches the served device through the server, the record reads back what was asked,
// and modem line changes the server never answers (a pty has no lines) neither fail nor hold
// anything up. A raw socket takes the same calls and changes nothing.
TEST_F(NetworkPortTest, SettingsReachTheServedDevice) {
    for (const bool Telnet : {true, false}) {
        Open(Telnet ? Server.RfcUrl() : Server.RawUrl());
        const speed_t Before = PtySpeed(Telnet);
        for (const std::uint32_t Rate : {19200u, 57600u}) {
            DCB D{};
            ASSERT_TRUE(GetDeviceState(Handle, D));
            D.BaudRate = Rate;
            ASSERT_TRUE(SetDeviceState(Handle, D)) << std::strerror(LastPlatformError());
            EXPECT_EQ(PtySpeed(Telnet), Telnet ? (Rate == 19200 ? B19200 : B57600) : Before)
                << Rate;
            ASSERT_TRUE(GetDeviceState(Handle, D));
            EXPECT_EQ(D.BaudRate, Rate);
        }
        for (std::uint32_t F : {ESC_SETDTR, ESC_CLRRTS, ESC_SETBREAK, ESC_CLRBREAK})
            EXPECT_TRUE(EscapeFunction(Handle, F)) << F;
        std::uint32_t Status = 0xFF;
        EXPECT_TRUE(GetDeviceModemStatus(Handle, Status));
        EXPECT_EQ(Status, 0u);
        EXPECT_TRUE(PurgeDevice(Handle, PURGE_RXCLEAR | PURGE_TXCLEAR));
        EXPECT_EQ(::write(Far(Telnet), "after", 5), 5);
        EXPECT_EQ(Read(5), "after");
        SerialClose(Handle);
        Handle = InvalidSerialHandle;
    }
}

// Opens that cannot work end with the reason, each within the network time-outs.
TEST_F(NetworkPortTest, OpensThatCannotWorkSayWhy) {
    const std::string Closed = std::to_string(FreeLoopbackPort());
    const struct {
        std::string Name;
        int Error;
    } Cases[] = {
        {"rfc2217://127.0.0.1:" + Closed, ECONNREFUSED},
        {"socket://127.0.0.1:" + Closed, ECONNREFUSED},
        {"rfc2217://no-such-host.invalid:4000", ENXIO},
        {"rfc2217://127.0.0.1", EINVAL},
        // A raw listener never agrees to com port control.
        {"rfc2217://127.0.0.1:" + std::to_string(Server.RawPort), EPROTONOSUPPORT},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(SerialOpen(C.Name), InvalidSerialHandle) << C.Name;
        EXPECT_EQ(LastPlatformError(), C.Error)
            << C.Name << ": " << std::strerror(LastPlatformError());
    }
}

// A server that goes away mid-transfer: the pending read ends, the device counts as lost, and the
// same name opens again once the server is back.
TEST_F(NetworkPortTest, ServerGoneIsDeviceLossAndItsReturnOpensAgain) {
    Open(Server.RfcUrl());
    ASSERT_TRUE(SetDeviceTimeouts(Handle, COMMTIMEOUTS{})); // reads wait for all their bytes
    char Buffer[16];
    OVERLAPPED Ov{};
    Ov.Event = CreateSyncEvent(true, false);
    ASSERT_FALSE(SerialRead(Handle, Buffer, sizeof Buffer, nullptr, &Ov));
    ASSERT_EQ(LastPlatformError(), IO_PENDING);
    Server.Stop(SIGKILL);
    EXPECT_FALSE(OverlappedResultWithin(Handle, &Ov, nullptr, 5000));
    EXPECT_TRUE(IsDeviceLostError(LastPlatformError())) << LastPlatformError();
    std::int32_t Lost = 0;
    ASSERT_TRUE(GetDeviceLoss(Handle, Lost));
    EXPECT_TRUE(IsDeviceLostError(Lost)) << Lost;
    EXPECT_FALSE(SerialWrite(Handle, "x", 1, nullptr, nullptr));
    SerialClose(Handle);
    Handle = InvalidSerialHandle;

    ASSERT_EQ(Server.Start(Pty.SlaveName, RawPty.SlaveName), "");
    Open(Server.RfcUrl());
    EXPECT_EQ(::write(Pty.Master, "back", 4), 4);
    EXPECT_EQ(Read(4), "back");
}
