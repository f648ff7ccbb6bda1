#include "PortTestKit.h"
#include "tests/common/BoundedWait.h"

#include <pty.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <thread>

namespace {

// A pty pair in raw mode; the port opens SlaveName.
struct TPty {
    int Master = -1, Slave = -1;
    std::string SlaveName;
    TPty() {
        char Name[256];
        if (openpty(&Master, &Slave, Name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        termios T{};
        tcgetattr(Master, &T);
        cfmakeraw(&T);
        tcsetattr(Master, TCSANOW, &T);
        SlaveName = Name;
    }
    ~TPty() {
        close(Slave);
        close(Master);
    }
};

} // namespace

// The same port over the tty backend: a pty pair, the port on the slave's path.
TEST(PortOnPtyTest, ReceivesAndSendsThroughTheSlave) {
    int Master = -1, Slave = -1;
    char Name[256];
    ASSERT_EQ(openpty(&Master, &Slave, Name, nullptr, nullptr), 0);
    TEventLog Log;
    std::string Received;
    {
        TComPort P;
        P.SetPort(Name);
        P.SetSyncMethod(smNone);
        P.SetTriggersOnRxChar(false);
        P.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) {
            Log.Add(std::string(static_cast<const char*>(B), static_cast<std::size_t>(N)));
        };
        P.Open();
        ASSERT_EQ(write(Master, "ping", 4), 4);
        EXPECT_TRUE(WaitServing([&] {
            Received.clear();
            for (const auto& E : Log.Entries())
                Received += E;
            return Received.size() >= 4;
        }));
        EXPECT_EQ(Received, "ping");
        EXPECT_EQ(P.WriteStr("pong"), 4);
        EXPECT_EQ(ReadWithin(Master, 4, 5000), "pong");
        EXPECT_TRUE(P.Signals().Empty()) << "a pty has no modem lines";
        P.Close();
    }
    close(Slave);
    close(Master);
}

// A pty keeps 8 data bits without parity whatever it is told: asking for other framing is
// refused with the port's error, and the defaults (8N1) work.
TEST(PortOnPtyTest, FramingThePtyCannotTakeIsRefused) {
    TPty Pty;
    struct Case {
        const char* What;
        TDataBits Bits;
        TParityBits Parity;
        bool Opens;
    };
    const Case Cases[] = {
        {"5 bits, even parity", dbFive, prEven, false},
        {"7 bits", dbSeven, prNone, false},
        {"8 bits, odd parity", dbEight, prOdd, false},
        {"8N1", dbEight, prNone, true},
    };
    for (const auto& C : Cases) {
        TComPort P;
        P.SetPort(Pty.SlaveName);
        P.SetDataBits(C.Bits);
        P.GetParity().SetBits(C.Parity);
        try {
            P.Open();
            EXPECT_TRUE(C.Opens) << C.What << ": the refusal was reported as success";
        } catch (const EComPort& E) {
            EXPECT_FALSE(C.Opens) << C.What;
            EXPECT_EQ(E.GetCode(), CError_SetStateFailed) << C.What;
            EXPECT_EQ(E.GetWinCode(), EINVAL) << C.What;
        }
        EXPECT_EQ(P.GetConnected(), C.Opens) << C.What;
    }
    // On the open port a refused change leaves it open at its previous framing.
    TComPort P;
    P.SetPort(Pty.SlaveName);
    P.Open();
    EXPECT_THROW(P.SetDataBits(dbSix), EComPort);
    EXPECT_TRUE(P.GetConnected());
    termios T{};
    ASSERT_EQ(tcgetattr(Pty.Slave, &T), 0);
    EXPECT_EQ(T.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

TEST(PortOnPtyTest, NameWithANulIsRefused) {
    TPty Pty;
    TComPort P;
    P.SetPort(Pty.SlaveName + std::string(1, '\0') + "x");
    try {
        P.Open();
        ADD_FAILURE() << "opened the name cut at its NUL";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), CError_OpenFailed);
        EXPECT_EQ(E.GetWinCode(), EINVAL);
    }
    EXPECT_FALSE(P.GetConnected());
}

// A burst the port cannot take without flow control: every byte that does not arrive is
// accounted for as an overflow the owner hears of.
TEST(PortOnPtyTest, BurstWithoutFlowControlReportsEveryDrop) {
    TPty Pty;
    constexpr std::size_t Total = 64000;
    std::atomic<std::size_t> Got{0};
    std::atomic<bool> OverflowHeard{false}, Written{false};
    TComPort P;
    P.SetPort(Pty.SlaveName);
    P.OnRxChar = [&](TObject* S, std::int32_t N) {
        std::string Bytes;
        Got += static_cast<std::size_t>(static_cast<TCustomComPort*>(S)->ReadStr(Bytes, N));
        NotifySynchronizeWaiters();
    };
    P.OnError = [&](TObject*, TComErrors E) {
        if (E.Contains(ceRxOver))
            OverflowHeard = true;
    };
    P.Open();
    fcntl(Pty.Master, F_SETFL, fcntl(Pty.Master, F_GETFL) | O_NONBLOCK);
    std::thread Writer([&] {
        const std::string Burst(Total, 'b');
        std::size_t Off = 0;
        while (Off < Total) {
            pollfd Out{Pty.Master, POLLOUT, 0};
            if (poll(&Out, 1, 10000) != 1) {
                ADD_FAILURE() << "the pty took nothing for 10 s after " << Off << " bytes";
                break;
            }
            const ssize_t N = write(Pty.Master, Burst.data() + Off, Total - Off);
            if (N > 0) {
                Off += static_cast<std::size_t>(N);
            } else if (errno != EAGAIN) {
                ADD_FAILURE() << "write to the pty failed, errno " << errno;
                break;
            }
        }
        Written = true;
        NotifySynchronizeWaiters();
    });
    // Done when the writer is through and the port has taken in everything the pty held.
    EXPECT_TRUE(WaitServing(
        [&] {
            int Queued = 0;
            return Written && ioctl(Pty.Slave, FIONREAD, &Queued) == 0 && Queued == 0 &&
                   P.InputCount() == 0;
        },
        20000));
    Writer.join();
    if (P.LastErrors().Contains(ceRxOver))
        OverflowHeard = true;
    if (Got < Total) {
        EXPECT_TRUE(OverflowHeard) << Total - Got << " bytes dropped without a word";
    }
    P.Close();
}
