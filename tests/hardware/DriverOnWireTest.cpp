// The serial driver on a real line: what a pty cannot show (the rate on the wire, modem lines,
// break, parity errors, CTS flow control) and the bytes at each rate, which a pty carries too.
#include "HardwareKit.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/serial/SerialDriver.h"
#include "tests/common/BoundedWait.h"

namespace {

using namespace std::chrono;

std::string Pattern(std::size_t Count) {
    std::string s(Count, '\0');
    for (std::size_t i = 0; i < Count; ++i)
        s[i] = static_cast<char>(i * 37 + (i >> 8));
    return s;
}

class DriverOnWire : public ::testing::Test {
protected:
    void SetUp() override {
        HW_REQUIRE_LINE(Ends);
        Tx = SerialOpen(Ends.Sender);
        ASSERT_NE(Tx, InvalidSerialHandle) << Ends.Sender << ": error " << LastPlatformError();
        Rx = Ends.Loopback ? Tx : SerialOpen(Ends.Receiver);
        ASSERT_NE(Rx, InvalidSerialHandle) << Ends.Receiver << ": error " << LastPlatformError();
        for (TSerialHandle h : {Tx, Rx}) {
            ASSERT_TRUE(SetLine(h, 9600));
            ASSERT_TRUE(SetupQueueSizes(h, 65536, 65536));
            COMMTIMEOUTS t;
            t.ReadIntervalTimeout = 200;
            t.ReadTotalTimeoutConstant = 3000;
            t.WriteTotalTimeoutConstant = 10000;
            ASSERT_TRUE(SetDeviceTimeouts(h, t));
            ASSERT_TRUE(EscapeFunction(h, ESC_SETRTS));
            ASSERT_TRUE(EscapeFunction(h, ESC_SETDTR));
            ASSERT_TRUE(PurgeDevice(h, PURGE_RXCLEAR | PURGE_TXCLEAR));
        }
    }
    void TearDown() override {
        if (Rx != InvalidSerialHandle && Rx != Tx)
            SerialClose(Rx);
        if (Tx != InvalidSerialHandle)
            SerialClose(Tx);
    }

    // The far end of the sender's modem lines: the receiver, or the sender itself on a plug.
    TSerialHandle Far() const { return Rx; }

    static bool SetLine(TSerialHandle h, std::uint32_t Baud, std::uint8_t Parity = NOPARITY,
                        std::uint32_t Flags = 0) {
        DCB d;
        d.BaudRate = Baud;
        d.Flags = DCB_fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE | Flags;
        d.ByteSize = 8;
        d.Parity = Parity;
        d.XonChar = 17;
        d.XoffChar = 19;
        return SetDeviceState(h, d);
    }

    // Sends Bytes (overlapped, so a plug's receiver reads meanwhile) and reads as many back.
    std::string RoundTrip(const std::string& Bytes) {
        OVERLAPPED w{};
        w.Event = CreateSyncEvent(true, false);
        std::uint32_t n = 0;
        if (!SerialWrite(Tx, Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), &n, &w)) {
            EXPECT_EQ(LastPlatformError(), IO_PENDING);
        }
        const std::string got = Receive(Bytes.size());
        EXPECT_TRUE(OverlappedResultWithin(Tx, &w, &n));
        return got;
    }

    // Up to Count bytes; fewer when the line stays silent for the read time-outs.
    std::string Receive(std::size_t Count) {
        std::string got;
        while (got.size() < Count) {
            std::string chunk(Count - got.size(), '\0');
            std::uint32_t n = 0;
            if (!SerialRead(Rx, chunk.data(), static_cast<std::uint32_t>(chunk.size()), &n,
                            nullptr) ||
                n == 0)
                break;
            got.append(chunk, 0, n);
        }
        return got;
    }

    // Waits for the modem inputs under Mask to read Want, on the line-change events.
    static bool WaitModem(TSerialHandle h, std::uint32_t Mask, std::uint32_t Want) {
        EXPECT_TRUE(SetDeviceEventMask(h, EV_CTS | EV_DSR | EV_RLSD));
        const auto end = steady_clock::now() + 2s;
        for (;;) {
            std::uint32_t status = 0;
            EXPECT_TRUE(GetDeviceModemStatus(h, status));
            if ((status & Mask) == Want)
                return true;
            const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
            if (left <= 0)
                return false;
            OVERLAPPED ov{};
            ov.Event = CreateSyncEvent(true, false);
            std::uint32_t events = 0, n = 0;
            if (!WaitForDeviceEvent(h, &events, &ov)) {
                if (WaitForSyncEvent(ov.Event, static_cast<std::uint32_t>(left)) != 0) {
                    EXPECT_TRUE(SetDeviceEventMask(h, EV_CTS | EV_DSR | EV_RLSD)); // ends it
                }
                EXPECT_TRUE(OverlappedResultWithin(h, &ov, &n));
            }
        }
    }

    TWireEnds Ends;
    TSerialHandle Tx = InvalidSerialHandle, Rx = InvalidSerialHandle;
};

constexpr std::uint32_t kRates[] = {1200, 9600, 19200, 38400, 57600, 115200, 230400};

// About 0.2 s of line time per rate.
std::size_t BytesFor(std::uint32_t Baud) {
    return std::min<std::size_t>(std::max<std::size_t>(Baud / 50, 32), 4096);
}

} // namespace

TEST_F(DriverOnWire, BytesCrossIntactAtEachRate) {
    for (const std::uint32_t baud : kRates) {
        ASSERT_TRUE(SetLine(Tx, baud)) << baud;
        ASSERT_TRUE(SetLine(Rx, baud)) << baud;
        ASSERT_TRUE(PurgeDevice(Rx, PURGE_RXCLEAR));
        const std::string sent = Pattern(BytesFor(baud));
        EXPECT_EQ(RoundTrip(sent), sent) << baud << " Bd";
        std::uint32_t errors = 0;
        EXPECT_TRUE(ClearDeviceError(Rx, &errors, nullptr));
        EXPECT_EQ(errors, 0u) << baud << " Bd";
    }
}

// A byte takes ten bit times at the rate set; a receiver at another rate gets garbage.
TEST_F(DriverOnWire, TheRateIsOnTheWire) {
    HW_REQUIRE_REAL_LINE(Ends, "the rate on the wire");
    for (const std::uint32_t baud : kRates) {
        ASSERT_TRUE(SetLine(Tx, baud));
        ASSERT_TRUE(SetLine(Rx, baud));
        ASSERT_TRUE(PurgeDevice(Rx, PURGE_RXCLEAR));
        const std::string sent = Pattern(BytesFor(baud));
        const auto t0 = steady_clock::now();
        ASSERT_EQ(RoundTrip(sent), sent) << baud << " Bd";
        const double seconds = duration<double>(steady_clock::now() - t0).count();
        EXPECT_GE(seconds, 0.9 * static_cast<double>(sent.size() * 10) / baud) << baud << " Bd";
    }
    if (!Ends.Loopback) {
        ASSERT_TRUE(SetLine(Tx, 9600));
        ASSERT_TRUE(SetLine(Rx, 115200));
        ASSERT_TRUE(PurgeDevice(Rx, PURGE_RXCLEAR));
        const std::string sent = Pattern(64);
        EXPECT_NE(RoundTrip(sent), sent) << "a receiver at 115200 Bd read 9600 Bd cleanly";
    }
}

TEST_F(DriverOnWire, ModemInputsFollowTheFarOutputs) {
    HW_REQUIRE_REAL_LINE(Ends, "modem lines");
    struct {
        std::uint32_t Function, Inputs, Want;
    } const cases[] = {
        {ESC_CLRRTS, MS_CTS_ON, 0},
        {ESC_SETRTS, MS_CTS_ON, MS_CTS_ON},
        {ESC_CLRDTR, MS_DSR_ON | MS_RLSD_ON, 0},
        {ESC_SETDTR, MS_DSR_ON | MS_RLSD_ON, MS_DSR_ON | MS_RLSD_ON},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(EscapeFunction(Tx, c.Function));
        std::uint32_t status = 0;
        EXPECT_TRUE(WaitModem(Far(), c.Inputs, c.Want))
            << "escape " << c.Function << ": modem status "
            << (GetDeviceModemStatus(Far(), status) ? status : 0xFFFFFFFFu);
    }
}

TEST_F(DriverOnWire, BreakReachesTheReceiver) {
    HW_REQUIRE_REAL_LINE(Ends, "break");
    ASSERT_TRUE(SetDeviceEventMask(Rx, EV_BREAK | EV_ERR));
    OVERLAPPED ov{};
    ov.Event = CreateSyncEvent(true, false);
    std::uint32_t events = 0, n = 0;
    const bool atOnce = WaitForDeviceEvent(Rx, &events, &ov);
    ASSERT_TRUE(EscapeFunction(Tx, ESC_SETBREAK));
    std::this_thread::sleep_for(100ms); // the length of the break on the line
    ASSERT_TRUE(EscapeFunction(Tx, ESC_CLRBREAK));
    if (!atOnce) {
        ASSERT_TRUE(OverlappedResultWithin(Rx, &ov, &n, 2000));
    }
    EXPECT_TRUE(events & EV_BREAK) << "events " << events;
    std::uint32_t errors = 0;
    ASSERT_TRUE(ClearDeviceError(Rx, &errors, nullptr));
    EXPECT_TRUE(errors & CE_BREAK) << "errors " << errors;
}

TEST_F(DriverOnWire, ParityErrorsAreReported) {
    HW_REQUIRE_REAL_LINE(Ends, "parity errors");
    HW_REQUIRE_PAIR(Ends, "parity errors");
    struct {
        std::uint8_t Sent, Expected;
        bool Error;
    } const cases[] = {
        {EVENPARITY, ODDPARITY, true},
        {MARKPARITY, SPACEPARITY, true},
        {ODDPARITY, ODDPARITY, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SetLine(Tx, 9600, c.Sent, DCB_fParity));
        ASSERT_TRUE(SetLine(Rx, 9600, c.Expected, DCB_fParity));
        ASSERT_TRUE(PurgeDevice(Rx, PURGE_RXCLEAR));
        std::uint32_t errors = 0;
        ASSERT_TRUE(ClearDeviceError(Rx, &errors, nullptr));
        RoundTrip("\x55\xAA\x0F\xF0");
        ASSERT_TRUE(ClearDeviceError(Rx, &errors, nullptr));
        EXPECT_EQ((errors & CE_RXPARITY) != 0, c.Error)
            << int(c.Sent) << " read as " << int(c.Expected) << ": errors " << errors;
    }
}

// CTS flow: the far end drops RTS, the sender holds its output; raising it lets all of it go.
TEST_F(DriverOnWire, CtsFlowHoldsOutputUntilTheFarEndRaisesRts) {
    HW_REQUIRE_REAL_LINE(Ends, "hardware flow control");
    ASSERT_TRUE(SetLine(Tx, 9600, NOPARITY, DCB_fOutxCtsFlow));
    ASSERT_TRUE(EscapeFunction(Far(), ESC_CLRRTS));
    ASSERT_TRUE(WaitModem(Tx, MS_CTS_ON, 0));
    const std::string sent = Pattern(256);
    OVERLAPPED w{};
    w.Event = CreateSyncEvent(true, false);
    std::uint32_t n = 0;
    ASSERT_FALSE(SerialWrite(Tx, sent.data(), static_cast<std::uint32_t>(sent.size()), &n, &w));
    COMMTIMEOUTS quick;
    quick.ReadIntervalTimeout = 100;
    quick.ReadTotalTimeoutConstant = 500;
    ASSERT_TRUE(SetDeviceTimeouts(Rx, quick));
    std::string got = Receive(sent.size());
    // An adapter may have a few bytes in its chip already; the rest must wait.
    EXPECT_LT(got.size(), 32u) << "sent against CTS off";
    COMSTAT st;
    std::uint32_t errors = 0;
    ASSERT_TRUE(ClearDeviceError(Tx, &errors, &st));
    EXPECT_TRUE(st.Flags & COMSTAT_fCtsHold);
    ASSERT_TRUE(EscapeFunction(Far(), ESC_SETRTS));
    quick.ReadTotalTimeoutConstant = 3000;
    ASSERT_TRUE(SetDeviceTimeouts(Rx, quick));
    got += Receive(sent.size() - got.size());
    EXPECT_EQ(got, sent);
    EXPECT_TRUE(OverlappedResultWithin(Tx, &w, &n));
    EXPECT_EQ(n, sent.size());
}
