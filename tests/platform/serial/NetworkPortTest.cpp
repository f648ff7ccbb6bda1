// Network ports through the driver, against a real serial server on the loopback address that
// serves a pty played by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "platform/serial/NetworkBackend.h"
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

namespace {

// This thread in a network namespace of its own with its loopback up: taking that loopback down
// cuts every connection in it without a FIN or a reset (a half-open connection), and nothing else
// on the machine notices. Threads and processes started here meanwhile stay in it. The loopback
// also gets an address that is not 127.0.0.1: a name lookup that wants an address configured
// (the server's) does not count that one.
class TPrivateLoopback {
public:
    TPrivateLoopback() : Original(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
        Entered = Original >= 0 && ::unshare(CLONE_NEWNET) == 0;
        ifreq R = Interface("lo:1");
        auto& A = reinterpret_cast<sockaddr_in&>(R.ifr_addr);
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(0x0A090901); // 10.9.9.1
        Ready = Entered && Up(true) && Control(SIOCSIFADDR, R);
    }
    ~TPrivateLoopback() {
        if (Entered)
            ::setns(Original, CLONE_NEWNET);
        if (Original >= 0)
            ::close(Original);
    }
    TPrivateLoopback(const TPrivateLoopback&) = delete;
    TPrivateLoopback& operator=(const TPrivateLoopback&) = delete;

    bool Ready = false;
    bool Up(bool On) const {
        ifreq R = Interface("lo");
        if (!Control(SIOCGIFFLAGS, R))
            return false;
        R.ifr_flags = static_cast<short>(On ? R.ifr_flags | IFF_UP : R.ifr_flags & ~IFF_UP);
        return Control(SIOCSIFFLAGS, R);
    }

private:
    static ifreq Interface(const char* Name) {
        ifreq R{};
        std::strcpy(R.ifr_name, Name);
        return R;
    }
    static bool Control(unsigned long Request, ifreq& R) {
        const int S = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const bool Done = S >= 0 && ::ioctl(S, Request, &R) == 0;
        if (S >= 0)
            ::close(S);
        return Done;
    }

    int Original;
    bool Entered = false;
};

} // namespace

// The path to the server goes silent while the port waits for bytes: the read ends as a lost
// device that stopped answering, on an idle line by keep-alive (4 s idle, 3 probes 2 s apart), on
// a line with a byte sent and never acknowledged by the user time-out (10 s).
TEST(NetworkHalfOpenTest, ASilentPathEndsThePendingReadAsALostDevice) {
    const TPrivateLoopback Net;
    if (!Net.Ready)
        GTEST_SKIP() << "no network namespace of our own here: " << std::strerror(errno);
    TServedPty Pty, RawPty;
    TSer2net Server;
    ASSERT_EQ(Server.Start(Pty.SlaveName, RawPty.SlaveName), "");
    struct TOpen {
        TSerialHandle Handle;
        OVERLAPPED Ov{};
        char Buffer[16]{};
    } Ports[] = {{SerialOpen(Server.RfcUrl()), {}, {}}, {SerialOpen(Server.RawUrl()), {}, {}}};
    for (TOpen& P : Ports) {
        ASSERT_NE(P.Handle, InvalidSerialHandle) << std::strerror(LastPlatformError());
        ASSERT_TRUE(SetDeviceTimeouts(P.Handle, COMMTIMEOUTS{})); // reads wait for all their bytes
        P.Ov.Event = CreateSyncEvent(true, false);
        ASSERT_FALSE(SerialRead(P.Handle, P.Buffer, sizeof P.Buffer, nullptr, &P.Ov));
        ASSERT_EQ(LastPlatformError(), IO_PENDING);
    }
    ASSERT_TRUE(Net.Up(false));
    std::uint32_t Sent = 0;
    ASSERT_TRUE(SerialWrite(Ports[1].Handle, "x", 1, &Sent, nullptr));
    ASSERT_EQ(Sent, 1u);
    for (TOpen& P : Ports) {
        EXPECT_FALSE(OverlappedResultWithin(P.Handle, &P.Ov, nullptr, 20000));
        std::int32_t Lost = 0;
        EXPECT_TRUE(GetDeviceLoss(P.Handle, Lost));
        EXPECT_EQ(Lost, ETIMEDOUT) << std::strerror(Lost);
        SerialClose(P.Handle);
    }
}

namespace {

// A com port control server of the test's own, for what the real one never does: it answers a
// rate of 19200 with 9600 (a setting taken otherwise than asked), never answers DTR or RTS
// changes, reports CTS and DSR on, and CTS off and a break once DTR drops. It records the rates
// asked for.
class TScriptedServer {
public:
    TScriptedServer() {
        Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t Len = sizeof A;
        ::bind(Listener, reinterpret_cast<sockaddr*>(&A), sizeof A);
        ::listen(Listener, 1);
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&A), &Len);
        Url = "rfc2217://127.0.0.1:" + std::to_string(ntohs(A.sin_port));
        Thread = std::thread([this] { Serve(); });
    }
    ~TScriptedServer() {
        Stop = true;
        Thread.join();
        ::close(Listener);
    }
    std::vector<std::uint32_t> Rates() {
        std::lock_guard G(Lock);
        return Asked;
    }

    std::string Url;

private:
    static std::string Sub(std::uint8_t Code, const std::string& Value) {
        return std::string("\xff\xfa\x2c") + static_cast<char>(Code + 100) + Value + "\xff\xf0";
    }

    void Serve() {
        pollfd P{Listener, POLLIN, 0};
        while (!Stop && ::poll(&P, 1, 50) == 0) {
        }
        if (Stop)
            return;
        const int Fd = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
        const std::string Hello = std::string("\xff\xfd\x2c") + Sub(7, "\x30");
        ::send(Fd, Hello.data(), Hello.size(), MSG_NOSIGNAL);
        std::string In;
        std::uint32_t Rate = 9600;
        while (!Stop) {
            pollfd Q{Fd, POLLIN, 0};
            char Buf[512];
            if (::poll(&Q, 1, 50) != 1)
                continue;
            const ssize_t N = ::recv(Fd, Buf, sizeof Buf, 0);
            if (N <= 0)
                break;
            In.append(Buf, static_cast<std::size_t>(N));
            // Each complete request (no 255 inside: the test asks for none).
            for (std::size_t At; (At = In.find("\xff\xfa\x2c")) != std::string::npos;) {
                const std::size_t End = In.find("\xff\xf0", At);
                if (End == std::string::npos)
                    break;
                const auto Code = static_cast<std::uint8_t>(In[At + 3]);
                std::string Value = In.substr(At + 4, End - At - 4);
                In.erase(0, End + 2);
                if (Code == 1) {
                    std::uint32_t V = 0;
                    for (char C : Value)
                        V = V << 8 | static_cast<std::uint8_t>(C);
                    if (V != 0) {
                        std::lock_guard G(Lock);
                        Asked.push_back(V);
                    }
                    Rate = V == 0 ? Rate : V == 19200 ? 9600 : V;
                    Value = {static_cast<char>(Rate >> 24), static_cast<char>(Rate >> 16),
                             static_cast<char>(Rate >> 8), static_cast<char>(Rate)};
                } else if (Code >= 2 && Code <= 4 && Value == std::string(1, '\0')) {
                    Value = Code == 2 ? "\x08" : "\x01";
                } else if (Code == 5 && Value[0] == 0) {
                    Value = "\x01";
                }
                const bool Silent =
                    (Code == 5 && Value[0] >= 7 && Value[0] <= 12) || Code == 10 || Code == 11;
                // DTR dropped: the far end drops CTS and sends a break.
                const std::string Answer = !Silent           ? Sub(Code, Value)
                                           : Value == "\x09" ? Sub(7, "\x21") + Sub(6, "\x10")
                                                             : "";
                ::send(Fd, Answer.data(), Answer.size(), MSG_NOSIGNAL);
            }
        }
        ::close(Fd);
    }

    int Listener = -1;
    std::atomic<bool> Stop{false};
    std::thread Thread;
    std::mutex Lock;
    std::vector<std::uint32_t> Asked;
};

} // namespace

// A rate the server takes otherwise than asked is refused as a tty refuses one, the previous
// rate asked for again; the server's line notifications are events, errors and modem status;
// modem lines whose changes the server never answers count as not there once the answer is
// overdue, and the port goes on working.
TEST(NetworkPortServerTest, RefusedSettingsAndUnansweredLines) {
    TScriptedServer Server;
    const TSerialHandle H = SerialOpen(Server.Url);
    ASSERT_NE(H, InvalidSerialHandle) << std::strerror(LastPlatformError());
    DCB D{};
    ASSERT_TRUE(GetDeviceState(H, D));
    EXPECT_EQ(D.BaudRate, 9600u);
    D.BaudRate = 19200;
    EXPECT_FALSE(SetDeviceState(H, D));
    EXPECT_EQ(LastPlatformError(), EINVAL);
    ASSERT_TRUE(GetDeviceState(H, D));
    EXPECT_EQ(D.BaudRate, 9600u);
    EXPECT_EQ(Server.Rates(), (std::vector<std::uint32_t>{19200, 9600}));
    D.BaudRate = 38400;
    EXPECT_TRUE(SetDeviceState(H, D)) << std::strerror(LastPlatformError());

    std::uint32_t Status = 0;
    ASSERT_TRUE(GetDeviceModemStatus(H, Status));
    EXPECT_EQ(Status, MS_CTS_ON | MS_DSR_ON) << "as the server reports them";
    // Its notifications are the device's events and errors.
    ASSERT_TRUE(SetDeviceEventMask(H, EV_CTS | EV_DSR | EV_BREAK | EV_RXCHAR));
    std::uint32_t Events = 0;
    OVERLAPPED Ov{};
    Ov.Event = CreateSyncEvent(true, false);
    ASSERT_FALSE(WaitForDeviceEvent(H, &Events, &Ov));
    ASSERT_TRUE(EscapeFunction(H, ESC_CLRDTR));
    ASSERT_TRUE(OverlappedResultWithin(H, &Ov, nullptr, 3000));
    EXPECT_EQ(Events, EV_CTS | EV_BREAK);
    std::uint32_t Errors = 0;
    ASSERT_TRUE(ClearDeviceError(H, &Errors, nullptr));
    EXPECT_EQ(Errors, CE_BREAK);
    ASSERT_TRUE(GetDeviceModemStatus(H, Status));
    EXPECT_EQ(Status, MS_DSR_ON);
    const auto End = std::chrono::steady_clock::now() + NetworkAnswerTimeout * 2;
    while (Status != 0 && std::chrono::steady_clock::now() < End) {
        COMMTIMEOUTS T{};
        T.ReadTotalTimeoutConstant = 100;
        ASSERT_TRUE(SetDeviceTimeouts(H, T));
        char B;
        std::uint32_t N = 0;
        SerialRead(H, &B, 1, &N, nullptr); // a bounded pause that serves the connection
        ASSERT_TRUE(GetDeviceModemStatus(H, Status));
    }
    EXPECT_EQ(Status, 0u) << "lines unanswered for " << NetworkAnswerTimeout.count() << " ms";
    D.BaudRate = 57600;
    EXPECT_TRUE(SetDeviceState(H, D));
    SerialClose(H);
}
