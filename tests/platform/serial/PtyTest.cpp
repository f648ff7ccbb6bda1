#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SerialTestSupport.h"
#include "tests/common/BoundedWait.h"
#include "tests/common/TempDir.h"

using namespace std::chrono;

class PtyDriver : public ::testing::Test {
protected:
    void SetUp() override {
        h = SerialOpen(pty.SlavePath);
        ASSERT_NE(h, InvalidSerialHandle) << LastPlatformError();
        ASSERT_TRUE(SetDeviceState(h, PlainDcb()));
    }
    void TearDown() override {
        if (h != InvalidSerialHandle) {
            EXPECT_TRUE(SerialClose(h));
        }
    }
    TPtyPair pty;
    TSerialHandle h = InvalidSerialHandle;
};

TEST_F(PtyDriver, SynchronousRoundTrip) {
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 2000)));
    std::uint32_t n = 0;
    ASSERT_TRUE(SerialWrite(h, "hello", 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(pty.Receive(5), "hello");
    pty.Send("world", 5);
    char buf[8] = {};
    ASSERT_TRUE(SerialRead(h, buf, 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(std::string(buf, 5), "world");
}

// Time a read of Count bytes with the given time-outs, feeding Feed (if any) from a thread.
static double TimedReadMs(TSerialHandle h, const COMMTIMEOUTS& t, std::uint32_t count,
                          std::uint32_t* got) {
    EXPECT_TRUE(SetDeviceTimeouts(h, t));
    std::vector<char> buf(count + 1);
    const auto t0 = steady_clock::now();
    EXPECT_TRUE(SerialRead(h, buf.data(), count, got, nullptr));
    return duration<double, std::milli>(steady_clock::now() - t0).count();
}

TEST_F(PtyDriver, ReadTimeoutRules) {
    std::uint32_t got = 0;
    // All bits set interval, zero totals: at once with what is there.
    EXPECT_LT(TimedReadMs(h, Timeouts(MAXDWORD, 0, 0), 10, &got), 250);
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(SetDeviceEventMask(h, EV_RXCHAR));
    pty.Send("abc", 3);
    std::uint32_t ev = 0;
    ASSERT_TRUE(
        Within("the wait for EV_RXCHAR", [&] { return WaitForDeviceEvent(h, &ev, nullptr); }));
    EXPECT_LT(TimedReadMs(h, Timeouts(MAXDWORD, 0, 0), 10, &got), 250);
    EXPECT_EQ(got, 3u);

    // Total = multiplier x n + constant; nothing arrives.
    std::vector<double> total;
    for (int i = 0; i < 3; ++i) {
        total.push_back(TimedReadMs(h, Timeouts(0, 20, 100), 5, &got));
        EXPECT_EQ(got, 0u);
    }
    EXPECT_GE(MedianMs(total), 195);
    EXPECT_LT(MedianMs(total), 1000);

    // Interval: two bytes, then silence: ends about one interval after the last byte.
    std::vector<double> interval;
    for (int i = 0; i < 3; ++i) {
        pty.Send("xy", 2);
        interval.push_back(TimedReadMs(h, Timeouts(80, 0, 0), 10, &got));
        EXPECT_EQ(got, 2u);
    }
    EXPECT_GE(MedianMs(interval), 75);
    EXPECT_LT(MedianMs(interval), 600);

    // Interval and multiplier all bits set, a constant: the first byte ends it, else the constant.
    std::vector<double> first;
    for (int i = 0; i < 3; ++i) {
        first.push_back(TimedReadMs(h, Timeouts(MAXDWORD, MAXDWORD, 150), 10, &got));
        EXPECT_EQ(got, 0u);
    }
    EXPECT_GE(MedianMs(first), 145);
    EXPECT_LT(MedianMs(first), 800);
    std::thread late([&] {
        std::this_thread::sleep_for(30ms); // stands for a device that answers late
        pty.Send("q", 1);
    });
    EXPECT_LT(TimedReadMs(h, Timeouts(MAXDWORD, MAXDWORD, 5000), 10, &got), 2500);
    EXPECT_EQ(got, 1u);
    late.join();

    // All zero: waits for every byte however long the gaps.
    std::thread slow([&] {
        pty.Send("12", 2);
        std::this_thread::sleep_for(100ms);
        pty.Send("345", 3);
    });
    char buf[8] = {};
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 0)));
    ASSERT_TRUE(Within("a read of 5 bytes with all-zero time-outs",
                       [&] { return SerialRead(h, buf, 5, &got, nullptr); }));
    EXPECT_EQ(std::string(buf, got), "12345");
    slow.join();
}

TEST_F(PtyDriver, WriteTimeoutEndsAWriteHeldByXoff) {
    DCB d = PlainDcb();
    d.Flags |= DCB_fOutX;
    ASSERT_TRUE(SetDeviceState(h, d));
    pty.Send("\x13", 1); // XOFF from the peer
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 0, 0, 150)));
    std::string big(100000, 'w');
    std::vector<double> ms;
    for (int i = 0; i < 3; ++i) {
        std::uint32_t n = 0;
        const auto t0 = steady_clock::now();
        ASSERT_TRUE(
            SerialWrite(h, big.data(), static_cast<std::uint32_t>(big.size()), &n, nullptr));
        ms.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
        EXPECT_LT(n, big.size()) << "a time-out gives a short count, not an error";
    }
    EXPECT_GE(MedianMs(ms), 145);
    EXPECT_LT(MedianMs(ms), 1000);
}

// Emptying the queue (a purge, or a resize that keeps fewer bytes) sends XON, and output held by
// our own XOFF goes at once rather than at its time-out.
TEST_F(PtyDriver, XonSentByEmptyingTheQueueResumesHeldOutput) {
    const struct {
        const char* What;
        std::function<bool(TSerialHandle)> Empty;
    } cases[] = {
        {"purge", [](TSerialHandle H) { return PurgeDevice(H, PURGE_RXCLEAR); }},
        {"smaller queue", [](TSerialHandle H) { return SetupQueueSizes(H, 8, 50); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_TRUE(PurgeDevice(h, PURGE_RXCLEAR | PURGE_TXCLEAR));
        DCB d = PlainDcb();
        d.Flags |= DCB_fInX;
        d.XonLim = 10;
        d.XoffLim = 11; // XOFF at 40 queued bytes, together with the 80 % mark
        d.XonChar = 0x11;
        d.XoffChar = 0x13;
        ASSERT_TRUE(SetDeviceState(h, d));
        ASSERT_TRUE(SetupQueueSizes(h, 50, 50));
        ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 0, 0, 3000)));
        ASSERT_TRUE(SetDeviceEventMask(h, EV_RX80FULL));
        pty.Send(std::string(45, 'i').data(), 45);
        std::uint32_t ev = 0, n = 0;
        TOv e;
        if (!WaitForDeviceEvent(h, &ev, &e)) {
            ASSERT_TRUE(e.Wait(5000));
            ASSERT_TRUE(OverlappedResult(h, &e, &n, false));
        }
        ASSERT_EQ(pty.Receive(1), "\x13");
        TOv w;
        ASSERT_FALSE(SerialWrite(h, "held", 4, &n, &w));
        ASSERT_EQ(LastPlatformError(), IO_PENDING);
        ASSERT_TRUE(c.Empty(h));
        ASSERT_TRUE(OverlappedResult(h, &w, &n, true));
        EXPECT_EQ(n, 4u) << "the write waited for its time-out";
        EXPECT_EQ(pty.Receive(5), "\x11held");
    }
}

TEST_F(PtyDriver, EightMebibytesEachWayOverlapped) {
    constexpr std::size_t total = 8u << 20;
    std::vector<std::uint8_t> out(total), in(total), echo(total);
    for (std::size_t i = 0; i < total; ++i)
        out[i] = static_cast<std::uint8_t>(i * 13 + (i >> 11));
    // Both threads pump the device; without input flow control a full queue drops bytes.
    DCB d = PlainDcb();
    d.Flags = (d.Flags & ~DCB_fRtsControlMask) | RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetDeviceState(h, d));
    ASSERT_TRUE(SetupQueueSizes(h, 65536, 65536));
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 0)));
    // The far end sends the pattern and collects what we send back, both raw.
    std::thread far([&] {
        std::size_t sent = 0, got = 0;
        while (sent < total || got < total) {
            pollfd fd{pty.Master, static_cast<short>(POLLIN | (sent < total ? POLLOUT : 0)), 0};
            ASSERT_GT(::poll(&fd, 1, 10000), 0);
            if ((fd.revents & POLLOUT) && sent < total) {
                const ssize_t n = ::write(pty.Master, out.data() + sent,
                                          std::min<std::size_t>(total - sent, 4096));
                if (n > 0)
                    sent += static_cast<std::size_t>(n);
            }
            if (fd.revents & POLLIN) {
                const ssize_t n = ::read(pty.Master, echo.data() + got, total - got);
                if (n > 0)
                    got += static_cast<std::size_t>(n);
            }
        }
    });
    std::thread writer([&] {
        TOv w;
        for (std::size_t off = 0; off < total; off += 65536) {
            std::uint32_t n = 0;
            if (!SerialWrite(h, out.data() + off, 65536, &n, &w)) {
                ASSERT_EQ(LastPlatformError(), IO_PENDING);
                ASSERT_TRUE(OverlappedResultWithin(h, &w, &n));
            }
            ASSERT_EQ(n, 65536u);
        }
    });
    TOv r;
    std::size_t off = 0;
    while (off < total) {
        std::uint32_t n = 0;
        if (!SerialRead(h, in.data() + off, 65536, &n, &r)) {
            ASSERT_EQ(LastPlatformError(), IO_PENDING);
            ASSERT_TRUE(OverlappedResultWithin(h, &r, &n));
        }
        off += n;
    }
    writer.join();
    far.join();
    EXPECT_TRUE(in == out);
    EXPECT_TRUE(echo == out);
    std::uint32_t errors = 0;
    ASSERT_TRUE(ClearDeviceError(h, &errors, nullptr));
    EXPECT_EQ(errors, 0u);
}

TEST_F(PtyDriver, WithoutFlowControlAFullQueueDropsAndSaysSo) {
    ASSERT_TRUE(SetupQueueSizes(h, 64, 64));
    ASSERT_TRUE(SetDeviceEventMask(h, EV_RX80FULL | EV_ERR));
    pty.Send(std::string(100, 'o').data(), 100);
    std::uint32_t ev = 0, errors = 0;
    ASSERT_TRUE(
        Within("the wait for EV_RX80FULL", [&] { return WaitForDeviceEvent(h, &ev, nullptr); }));
    EXPECT_TRUE(ev & EV_RX80FULL);
    COMSTAT st;
    // The rest of the bytes may still be in transit through the pty.
    for (int i = 0; i < 100 && !(errors & CE_RXOVER); ++i) {
        std::uint32_t e = 0;
        ASSERT_TRUE(ClearDeviceError(h, &e, &st));
        errors |= e;
        if (!(errors & CE_RXOVER))
            Within("the wait for CE_RXOVER", [&] { return WaitForDeviceEvent(h, &ev, nullptr); });
    }
    EXPECT_EQ(errors, CE_RXOVER);
    EXPECT_EQ(st.cbInQue, 64u);
}

TEST_F(PtyDriver, ExclusiveOpen) {
    EXPECT_EQ(SerialOpen(pty.SlavePath), InvalidSerialHandle);
    EXPECT_EQ(LastPlatformError(), EBUSY);
    ASSERT_TRUE(SerialClose(h));
    h = SerialOpen(pty.SlavePath);
    EXPECT_NE(h, InvalidSerialHandle);
}

TEST_F(PtyDriver, CustomBaudReadsBack) {
    DCB d = PlainDcb(250000);
    d.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetDeviceState(h, d));
    termios2 t{};
    ASSERT_EQ(::ioctl(pty.Slave, TCGETS2, &t), 0);
    EXPECT_EQ(t.c_ospeed, 250000u);
    EXPECT_EQ(t.c_ispeed, 250000u);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    DCB back;
    ASSERT_TRUE(GetDeviceState(h, back));
    EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0);
}

// A pty keeps 8 data bits without parity whatever it is told; out-of-range rates never reach
// it. Either way the call fails and the previous state stays in force.
TEST_F(PtyDriver, RefusedLineStateLeavesThePreviousOne) {
    const DCB before = PlainDcb(57600);
    ASSERT_TRUE(SetDeviceState(h, before));
    struct Case {
        const char* What;
        void (*Change)(DCB&);
    };
    const Case cases[] = {
        {"5 bits even parity",
         [](DCB& d) {
             d.ByteSize = 5;
             d.Parity = EVENPARITY;
         }},
        {"7 bits", [](DCB& d) { d.ByteSize = 7; }},
        {"mark parity", [](DCB& d) { d.Parity = MARKPARITY; }},
        {"rate -1", [](DCB& d) { d.BaudRate = 0xFFFFFFFFu; }},
        {"rate above the limit", [](DCB& d) { d.BaudRate = MaxBaudRate + 1; }},
        {"rate 0", [](DCB& d) { d.BaudRate = 0; }},
    };
    for (const auto& c : cases) {
        DCB d = PlainDcb(9600);
        c.Change(d);
        EXPECT_FALSE(SetDeviceState(h, d)) << c.What;
        EXPECT_EQ(LastPlatformError(), EINVAL) << c.What;
        DCB back;
        ASSERT_TRUE(GetDeviceState(h, back));
        EXPECT_EQ(std::memcmp(&back, &before, sizeof back), 0) << c.What;
        termios2 t{};
        ASSERT_EQ(::ioctl(pty.Slave, TCGETS2, &t), 0);
        EXPECT_EQ(t.c_ospeed, 57600u) << c.What;
    }
    // Still usable as it was.
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 2000)));
    pty.Send("ok", 2);
    char buf[2];
    std::uint32_t n = 0;
    ASSERT_TRUE(SerialRead(h, buf, 2, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "ok");
}

// Bytes that arrived before parity checking was switched on carry no marks; read one at a
// time they come out as they were sent, and a marked \377 split across reads as one byte.
TEST_F(PtyDriver, ParityMarkingSwitchedOnOverQueuedBytes) {
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 2000)));
    const std::string raw("\xFF"
                          "AB\xFF\xFF\xFF\x00"
                          "C",
                          8);
    pty.Send(raw.data(), raw.size());
    // Wait until the slave holds every byte, without reading any.
    for (int i = 0; i < 500; ++i) {
        int queued = 0;
        ASSERT_EQ(::ioctl(pty.Slave, FIONREAD, &queued), 0);
        if (queued >= static_cast<int>(raw.size()))
            break;
        pollfd fd{pty.Slave, POLLIN, 0};
        ::poll(&fd, 1, 10);
    }
    DCB d = PlainDcb();
    d.Flags |= DCB_fParity;
    ASSERT_TRUE(SetDeviceState(h, d));
    // Marked from now on: the pty doubles a data \377.
    pty.Send("\xFF"
             "D",
             2);
    std::string got;
    for (int i = 0; i < 10; ++i) {
        std::vector<std::uint8_t> one(1);
        std::uint32_t n = 0;
        ASSERT_TRUE(SerialRead(h, one.data(), 1, &n, nullptr));
        ASSERT_EQ(n, 1u) << "byte " << i;
        got += static_cast<char>(one[0]);
    }
    EXPECT_EQ(got, raw + "\xFF"
                         "D");
    std::uint32_t errors = 0;
    ASSERT_TRUE(ClearDeviceError(h, &errors, nullptr));
    EXPECT_EQ(errors, 0u) << "none of these bytes came with a line error";
}

TEST_F(PtyDriver, NoModemLinesIsNotAnError) {
    std::uint32_t ms = 123;
    ASSERT_TRUE(GetDeviceModemStatus(h, ms));
    EXPECT_EQ(ms, 0u);
    for (auto f : {ESC_SETRTS, ESC_CLRRTS, ESC_SETDTR, ESC_CLRDTR, ESC_SETBREAK, ESC_CLRBREAK})
        EXPECT_TRUE(EscapeFunction(h, f)) << f;
    EXPECT_FALSE(EscapeFunction(h, 7));
    EXPECT_EQ(LastPlatformError(), EINVAL);
}

TEST(PtyOpen, NonTerminalsAreRefused) {
    const int before = OpenDescriptorCount();
    const TTempDir temp{"tessal-serial"};
    const std::string dir = temp.Dir().string(), file = temp.File("file"), fifo = temp.File("fifo");
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, int> cases[] = {{file, ENOTTY},        {fifo, ENOTTY},
                                                 {"/dev/null", ENOTTY}, {dir, EISDIR},
                                                 {"", ENOENT},          {"/dev/pts/99999", ENOENT}};
    for (const auto& [path, error] : cases) {
        EXPECT_EQ(SerialOpen(path), InvalidSerialHandle) << path;
        EXPECT_EQ(LastPlatformError(), error) << path;
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(PtyOpen, ThousandOpenCloseCyclesKeepDescriptorsFlat) {
    TPtyPair pty;
    const int before = OpenDescriptorCount();
    for (int i = 0; i < 1000; ++i) {
        const TSerialHandle h = SerialOpen(pty.SlavePath);
        ASSERT_NE(h, InvalidSerialHandle);
        ASSERT_TRUE(SetDeviceEventMask(h, EV_RXCHAR));
        std::uint32_t ev = 0;
        TOv ov;
        ASSERT_FALSE(WaitForDeviceEvent(h, &ev, &ov)); // pending across the close
        ASSERT_TRUE(SerialClose(h));
        EXPECT_TRUE(ov.Wait(0));
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(PtyDriver, CloseReleasesAThreadBlockedOnTheDevice) {
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 0)));
    char buf[4];
    std::uint32_t n = 0;
    TOv r;
    ASSERT_FALSE(SerialRead(h, buf, 4, &n, &r));
    auto stop = CreateSyncEvent(true, false);
    std::thread blocked([&] {
        TEventHandle list[2] = {stop, r.Ov.Event};
        EXPECT_EQ(WaitForSyncEvents(list, 2, 10000), 1u);
    });
    ASSERT_TRUE(SerialClose(h));
    blocked.join();
    h = InvalidSerialHandle;
    n = 7;
    EXPECT_FALSE(OverlappedResult(h, &r, &n, false));
    EXPECT_EQ(LastPlatformError(), IO_ABORTED) << "the close ended the read";
    EXPECT_EQ(n, 0u);
    TOv fresh;
    EXPECT_FALSE(OverlappedResult(h, &fresh, &n, false));
    EXPECT_EQ(LastPlatformError(), EBADF);
}

TEST_F(PtyDriver, VanishedPeerEndsPendingOperationsOnceAndStopsPolling) {
    ASSERT_TRUE(SetDeviceEventMask(h, EV_RXCHAR | EV_ERR));
    pty.Send("ab", 2);
    std::uint32_t ev = 0, n = 0;
    ASSERT_TRUE(
        Within("the wait for EV_RXCHAR", [&] { return WaitForDeviceEvent(h, &ev, nullptr); }));
    EXPECT_EQ(ev, EV_RXCHAR);
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 0)));
    char buf[10];
    TOv r, e;
    ASSERT_FALSE(SerialRead(h, buf, 10, &n, &r));
    ASSERT_FALSE(WaitForDeviceEvent(h, &ev, &e));
    pty.CloseMaster();
    ASSERT_TRUE(e.Wait(5000));
    ASSERT_TRUE(OverlappedResult(h, &e, &n, false));
    EXPECT_EQ(ev, EV_ERR);
    ASSERT_TRUE(OverlappedResultWithin(h, &r, &n));
    EXPECT_EQ(std::string(buf, n), "ab");
    std::uint32_t errors = 0;
    ASSERT_TRUE(ClearDeviceError(h, &errors, nullptr));
    EXPECT_EQ(errors, CE_IOE);
    EXPECT_FALSE(SerialRead(h, buf, 10, &n, nullptr));
    EXPECT_EQ(LastPlatformError(), EIO);

    // A wait started now stays pending without spinning on the dead descriptor.
    ASSERT_FALSE(WaitForDeviceEvent(h, &ev, &e));
    auto stop = CreateSyncEvent(true, false);
    double cpu = 0;
    std::thread waiter([&] {
        const double t0 = ThreadCpuSeconds();
        TEventHandle list[2] = {stop, e.Ov.Event};
        EXPECT_EQ(WaitForSyncEvents(list, 2, 10000), 0u);
        cpu = ThreadCpuSeconds() - t0;
    });
    EXPECT_EQ(WaitForSyncEvent(e.Ov.Event, 2000), SyncWaitTimeout);
    stop->Set();
    waiter.join();
    EXPECT_LT(cpu, 0.05);
}

TEST(PtyHangup, ReopenWorksAfterTheDeviceComesBack) {
    TPtyPair pty;
    TSerialHandle h = SerialOpen(pty.SlavePath);
    ASSERT_NE(h, InvalidSerialHandle);
    if (::ioctl(pty.Slave, TIOCVHANGUP) != 0)
        GTEST_SKIP() << "hanging up a tty needs CAP_SYS_ADMIN";
    char buf[4];
    std::uint32_t n = 0;
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 2000)));
    EXPECT_FALSE(SerialRead(h, buf, 4, &n, nullptr));
    EXPECT_EQ(LastPlatformError(), EIO);
    ASSERT_TRUE(SerialClose(h));
    h = SerialOpen(pty.SlavePath);
    ASSERT_NE(h, InvalidSerialHandle) << LastPlatformError();
    ASSERT_TRUE(SetDeviceState(h, PlainDcb()));
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 2000)));
    pty.Send("ok", 2);
    ASSERT_TRUE(SerialRead(h, buf, 2, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "ok");
    EXPECT_TRUE(SerialClose(h));
}

TEST_F(PtyDriver, IdleWaitCostsNothing) {
    ASSERT_TRUE(SetDeviceEventMask(h, EV_ALL));
    std::uint32_t ev = 0;
    TOv e;
    ASSERT_FALSE(WaitForDeviceEvent(h, &ev, &e));
    rusage before{}, after{};
    ::getrusage(RUSAGE_THREAD, &before);
    const double t0 = ThreadCpuSeconds();
    EXPECT_EQ(WaitForSyncEvent(e.Ov.Event, 1000), SyncWaitTimeout);
    const double cpu = ThreadCpuSeconds() - t0;
    ::getrusage(RUSAGE_THREAD, &after);
    EXPECT_LT(cpu, 0.01);
    EXPECT_LE(after.ru_nvcsw - before.ru_nvcsw, 2) << "woke up while nothing happened";
    ASSERT_TRUE(SetDeviceEventMask(h, 0));
    std::uint32_t n = 0;
    EXPECT_TRUE(OverlappedResultWithin(h, &e, &n));
}

TEST(PtyOpen, NameWithANulIsRefused) {
    TPtyPair pty;
    // Cut at the NUL the name is a device that exists.
    for (const std::string& name :
         {pty.SlavePath + std::string(1, '\0') + "x", std::string(1, '\0') + pty.SlavePath}) {
        EXPECT_EQ(SerialOpen(name), InvalidSerialHandle);
        EXPECT_EQ(LastPlatformError(), EINVAL);
    }
}

TEST(PtyOpen, NamesResolveInTheDeviceNamespace) {
    TPtyPair pty;
    ASSERT_EQ(pty.SlavePath.rfind("/dev/", 0), 0u);
    for (const std::string& name : {pty.SlavePath.substr(5), "\\\\.\\" + pty.SlavePath.substr(5)}) {
        const TSerialHandle h = SerialOpen(name);
        EXPECT_NE(h, InvalidSerialHandle) << name;
        EXPECT_TRUE(SerialClose(h));
    }
    EXPECT_FALSE(SerialClose(InvalidSerialHandle));
    EXPECT_EQ(LastPlatformError(), EBADF);
}
