// The plain loop, the serial driver with overlapped reads, and the port with its handler reading
// in OnRxChar under smNone (the event thread) and smThreadSync (the GUI thread).
#include <algorithm>
#include <stdexcept>

#include <unistd.h>

#include "common/DriverBench.h"
#include "common/PortBench.h"
#include "framework/Synchronize.h"
#include "peers/Receiver.h"

namespace Peers {
namespace {

using namespace PtyBench;

class TPlainReceiver : public TPullReceiver {
public:
    explicit TPlainReceiver(TPty& Pty) : FFd(Pty.Slave) {}
    void Send(const std::uint8_t* B, std::size_t N) override {
        if (write(FFd, B, N) != ssize_t(N))
            throw std::runtime_error("write failed");
    }

protected:
    std::size_t ReadSome(std::uint8_t* Buf, std::size_t Size) override {
        return PollRead(FFd, Buf, Size);
    }

private:
    int FFd;
};

class TDriverReceiver : public TPullReceiver {
public:
    explicit TDriverReceiver(TPty& Pty) : FHandle(DriverBench::OpenDriver(Pty.Path)) {
        FRead.Event = CreateSyncEvent(true, true);
        FWrite.Event = CreateSyncEvent(true, true);
    }
    ~TDriverReceiver() override { SerialClose(FHandle); }
    void Send(const std::uint8_t* B, std::size_t N) override {
        DriverBench::WriteOverlapped(FHandle, B, std::uint32_t(N), FWrite);
    }

protected:
    std::size_t ReadSome(std::uint8_t* Buf, std::size_t Size) override {
        return DriverBench::ReadOverlapped(FHandle, Buf, std::uint32_t(Size), FRead);
    }

private:
    TSerialHandle FHandle;
    OVERLAPPED FRead, FWrite;
};

class TPortReceiver : public TReceiver {
public:
    TPortReceiver(TPty& Pty, TSyncMethod Mode) {
        ConfigurePort(FPort, Pty.Path, Mode);
        FPort.SetEvents(TComEvents{evRxChar});
        FPort.OnRxChar = [this](TObject*, std::int32_t Count) {
            const std::int32_t Got =
                FPort.Read(FBuf.data(), std::min<std::int32_t>(Count, std::int32_t(FBuf.size())));
            if (Got > 0 && Deliver(FBuf.data(), std::size_t(Got))) {
                FDone = true;
                NotifySynchronizeWaiters();
            }
        };
        FPort.Open();
    }
    ~TPortReceiver() override { FPort.Close(); }
    void Take() override {
        if (!WaitServingSynchronize([this] { return FDone.load(); }, 600000))
            throw std::runtime_error("the port's phase did not end");
        FDone = false;
    }
    void Send(const std::uint8_t* B, std::size_t N) override {
        if (FPort.Write(B, std::int32_t(N)) != std::int32_t(N))
            throw std::runtime_error("port write short");
    }

private:
    TComPort FPort;
    std::vector<std::uint8_t> FBuf = std::vector<std::uint8_t>(65536);
    std::atomic<bool> FDone{false};
};

} // namespace

std::vector<TCase> TessalCases() {
    return {
        {"plain poll/read", [](TPty& P) { return std::make_unique<TPlainReceiver>(P); }},
        {"driver overlapped read", [](TPty& P) { return std::make_unique<TDriverReceiver>(P); }},
        {"port smNone OnRxChar+Read",
         [](TPty& P) { return std::make_unique<TPortReceiver>(P, smNone); }},
        {"port smThreadSync OnRxChar+Read",
         [](TPty& P) { return std::make_unique<TPortReceiver>(P, smThreadSync); }},
    };
}

} // namespace Peers
