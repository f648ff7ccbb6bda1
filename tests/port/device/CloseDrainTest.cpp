// Close right after a write: what the write reported as written reaches the far end.
#include "PortTestKit.h"

#include <pty.h>

#include <poll.h>
#include <termios.h>

#include <thread>

namespace {

constexpr int Rounds = 1000;

std::uint8_t FrameByte(int Round, std::size_t I) {
    return static_cast<std::uint8_t>(Round * 31 + static_cast<int>(I) * 7);
}

// The far end of the port's device; Read returns what arrived, or nothing after a quiet while.
class TFarEnd {
public:
    virtual ~TFarEnd() = default;
    virtual std::string PortName() const = 0;
    virtual std::size_t Read(std::uint8_t* Data, std::size_t Max) = 0;
};

class TPtyEnd : public TFarEnd {
public:
    TPtyEnd() {
        char Name[256];
        if (openpty(&FMaster, &FSlave, Name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        termios T{};
        tcgetattr(FMaster, &T);
        cfmakeraw(&T);
        tcsetattr(FMaster, TCSANOW, &T);
        FName = Name;
    }
    ~TPtyEnd() override {
        close(FSlave);
        close(FMaster);
    }
    std::string PortName() const override { return FName; }
    std::size_t Read(std::uint8_t* Data, std::size_t Max) override {
        pollfd P{FMaster, POLLIN, 0};
        if (poll(&P, 1, 2000) <= 0)
            return 0;
        const ssize_t N = read(FMaster, Data, Max);
        return N > 0 ? static_cast<std::size_t>(N) : 0;
    }

private:
    int FMaster = -1, FSlave = -1;
    std::string FName;
};

class TVirtualEnd : public TFarEnd {
public:
    TVirtualEnd() {
        const std::string Tag = std::to_string(::getpid());
        FName = "vdrainA_" + Tag;
        FModem = TVirtualNullModem::Create(FName, "vdrainB_" + Tag);
        if (!FModem)
            throw std::runtime_error("virtual pair failed");
        FPeer = SerialOpen("vdrainB_" + Tag);
        // Returns as soon as anything is there, else after the quiet while.
        COMMTIMEOUTS T;
        T.ReadIntervalTimeout = MAXDWORD;
        T.ReadTotalTimeoutMultiplier = MAXDWORD;
        T.ReadTotalTimeoutConstant = 2000;
        if (FPeer == InvalidSerialHandle || !SetDeviceTimeouts(FPeer, T))
            throw std::runtime_error("virtual peer failed");
    }
    ~TVirtualEnd() override { SerialClose(FPeer); }
    std::string PortName() const override { return FName; }
    std::size_t Read(std::uint8_t* Data, std::size_t Max) override {
        std::uint32_t N = 0;
        if (!SerialRead(FPeer, Data, static_cast<std::uint32_t>(Max), &N, nullptr))
            return 0;
        return N;
    }

private:
    std::unique_ptr<TVirtualNullModem> FModem;
    std::string FName;
    TSerialHandle FPeer = InvalidSerialHandle;
};

} // namespace

// The far end reads all the while; each round opens the port with its event thread, writes a
// frame and closes at once. A frame larger than the virtual wire holds keeps part of it in the
// port's own transmit queue at the close.
TEST(CloseDrainTest, EveryWrittenByteReachesTheFarEnd) {
    struct TCase {
        const char* Device;
        std::function<std::unique_ptr<TFarEnd>()> Make;
        std::size_t Frame;
    };
    const TCase Cases[] = {
        {"pty", [] { return std::make_unique<TPtyEnd>(); }, 100},
        {"virtual", [] { return std::make_unique<TVirtualEnd>(); }, 6000},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Device);
        auto Far = C.Make();
        const std::size_t Total = C.Frame * Rounds;
        std::vector<std::uint8_t> Got(Total);
        std::size_t Received = 0;
        std::thread Reader([&] {
            while (Received < Total) {
                const std::size_t N = Far->Read(Got.data() + Received, Total - Received);
                if (N == 0)
                    return;
                Received += N;
            }
        });
        int Short = 0;
        std::vector<std::uint8_t> Frame(C.Frame);
        for (int Round = 0; Round < Rounds; ++Round) {
            for (std::size_t I = 0; I < C.Frame; ++I)
                Frame[I] = FrameByte(Round, I);
            TComPort P;
            P.SetPort(Far->PortName());
            P.SetSyncMethod(smNone);
            P.SetEvents(TComEvents{evRxChar, evTxEmpty, evError});
            P.Open();
            Short += P.Write(Frame.data(), static_cast<std::int32_t>(C.Frame)) !=
                     static_cast<std::int32_t>(C.Frame);
            P.Close();
        }
        Reader.join();
        EXPECT_EQ(Short, 0) << "writes that reported fewer bytes";
        EXPECT_EQ(Received, Total) << "bytes lost: " << Total - Received;
        std::size_t Wrong = 0;
        for (std::size_t I = 0; I < Received; ++I)
            Wrong += Got[I] != FrameByte(static_cast<int>(I / C.Frame), I % C.Frame);
        EXPECT_EQ(Wrong, 0u);
    }
}
