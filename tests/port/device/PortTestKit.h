// A port under test on one end of a virtual null-modem, the far end driven through the driver;
// or (pkRfc2217) on a network port served by a real serial server on the loopback address, the
// far end the pty it serves.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "framework/Application.h"
#include "framework/Synchronize.h"
#include "platform/serial/VirtualNullModem.h"
#include "port/CPort.h"
#include "tests/common/BoundedWait.h"
#include "tests/common/FarEnd.h"
#include "tests/common/Ser2net.h"
#include "tests/common/ServeUntil.h"

// Handlers append here from whichever thread they run on; tests wait for entries while the GUI
// queue is served.
class TEventLog {
public:
    void Add(std::string Entry) {
        {
            std::lock_guard G(FLock);
            FEntries.push_back(std::move(Entry));
        }
        NotifySynchronizeWaiters();
    }
    std::vector<std::string> Entries() const {
        std::lock_guard G(FLock);
        return FEntries;
    }
    std::size_t Count(const std::string& Entry) const {
        std::lock_guard G(FLock);
        std::size_t N = 0;
        for (const auto& E : FEntries)
            N += E == Entry;
        return N;
    }
    std::size_t Size() const {
        std::lock_guard G(FLock);
        return FEntries.size();
    }
    void Clear() {
        std::lock_guard G(FLock);
        FEntries.clear();
    }

private:
    mutable std::mutex FLock;
    std::vector<std::string> FEntries;
};

// Collects what reaches the application's exception handler, from any thread.
class TReports {
public:
    TReports() {
        Application->OnException = [this](TObject*, const std::exception_ptr& E) {
            std::int32_t Code = 0, WinCode = 0;
            try {
                std::rethrow_exception(E);
            } catch (const EComPort& C) {
                Code = C.GetCode();
                WinCode = C.GetWinCode();
            } catch (...) {
            }
            {
                std::lock_guard G(FLock);
                FCodes.emplace_back(Code, WinCode);
            }
            NotifySynchronizeWaiters();
        };
    }
    ~TReports() { Application->OnException = nullptr; }
    std::vector<std::pair<std::int32_t, std::int32_t>> Codes() const {
        std::lock_guard G(FLock);
        return FCodes;
    }
    std::size_t Size() const { return Codes().size(); }

private:
    mutable std::mutex FLock;
    std::vector<std::pair<std::int32_t, std::int32_t>> FCodes;
};

inline std::string ModeName(TSyncMethod M) {
    static const char* const Names[] = {"ThreadSync", "WindowSync", "None"};
    return Names[M];
}

// Serves the GUI queue until Done holds; false after the time limit.
inline bool WaitServing(const std::function<bool()>& Done, int Ms = 5000) {
    return ServeUntil(Done, std::chrono::milliseconds(Ms));
}

enum TPortKind : std::uint8_t { pkVirtual, pkRfc2217 };

inline std::string PortKindName(const ::testing::TestParamInfo<TPortKind>& Info) {
    return Info.param == pkVirtual ? "virtual" : "rfc2217";
}

class TPairTest : public ::testing::Test {
protected:
    virtual TPortKind PortKind() const { return pkVirtual; }

    void SetUp() override {
        if (PortKind() == pkRfc2217) {
            Served = std::make_unique<TServedPty>();
            Server = std::make_unique<TSer2net>();
            ASSERT_EQ(Server->Start(Served->SlaveName, ""), "");
            NameA = Server->RfcUrl();
            Port.SetPort(NameA);
            return;
        }
        NameA = UniqueDeviceName("vcomA");
        NameB = UniqueDeviceName("vcomB");
        Modem = TVirtualNullModem::Create(NameA, NameB);
        ASSERT_TRUE(Modem) << "virtual pair, error " << LastPlatformError();
        Port.SetPort(NameA);
    }

    void TearDown() override {
        // The handlers may refer to locals of the test body, which are gone by now.
        Port.OnRxChar = nullptr;
        Port.OnRxBuf = nullptr;
        Port.OnTxEmpty = Port.OnBreak = Port.OnRing = Port.OnRxFlag = Port.OnRx80Full = nullptr;
        Port.OnCTSChange = Port.OnDSRChange = Port.OnRLSDChange = nullptr;
        Port.OnError = nullptr;
        Port.OnDeviceLost = nullptr;
        Port.OnAfterOpen = Port.OnAfterClose = Port.OnBeforeOpen = Port.OnBeforeClose = nullptr;
        Port.Close();
        if (Peer != InvalidSerialHandle)
            SerialClose(Peer);
    }

    void OpenPeer() {
        if (!Served)
            OpenFarEnd(NameB, Peer);
    }

    // The peer's RTS is off and the port waits for CTS, so nothing leaves its transmit queue;
    // WithoutWriteTimeout keeps such a write pending instead of letting it time out.
    void HoldOutputByCts(bool WithoutWriteTimeout) {
        ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRRTS));
        Port.GetFlowControl().SetOutCTSFlow(true);
        if (WithoutWriteTimeout) {
            TComTimeouts T;
            T.SetWriteTotalMultiplier(0);
            T.SetWriteTotalConstant(0);
            Port.SetTimeouts(T);
        }
    }

    void PeerWrite(const std::string& Bytes) {
        if (Served)
            ASSERT_EQ(::write(Served->Master, Bytes.data(), Bytes.size()),
                      static_cast<ssize_t>(Bytes.size()));
        else
            FarEndWrite(Peer, Bytes);
    }
    std::string PeerRead(std::uint32_t Count) {
        return Served ? ReadWithin(Served->Master, Count, 2000) : FarEndRead(Peer, Count);
    }
    // The far end goes away as an unplugged adapter does (a network port: its server ends), and
    // comes back.
    void PullFarEnd() {
        if (Served)
            Server->Stop(SIGKILL);
        else
            Modem->Unplug(0);
    }
    void PlugFarEnd() {
        if (Served)
            ASSERT_EQ(Server->Start(Served->SlaveName, ""), "");
        else
            Modem->Replug(0);
    }
    // The rate the far end's line runs at.
    std::uint32_t FarBaudRate() {
        if (!Served)
            return Modem->LineState(0).BaudRate;
        termios T{};
        ::tcgetattr(Served->Slave, &T);
        static const std::pair<speed_t, std::uint32_t> Rates[] = {
            {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},    {B19200, 19200},
            {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
        for (const auto& [Code, Rate] : Rates)
            if (cfgetospeed(&T) == Code)
                return Rate;
        return 0;
    }

    // Waits until the port's receive queue holds Count bytes; the port must have no event
    // thread (Events empty), since the wait uses WaitForEvent.
    bool WaitInput(std::int32_t Count) {
        for (int Round = 0; Round < 50; ++Round) {
            if (Port.InputCount() >= Count)
                return true;
            TComEvents E{evRxChar};
            Port.WaitForEvent(E, nullptr, 100);
        }
        return Port.InputCount() >= Count;
    }

    std::unique_ptr<TServedPty> Served;
    std::unique_ptr<TSer2net> Server;
    std::unique_ptr<TVirtualNullModem> Modem;
    std::string NameA, NameB;
    TSerialHandle Peer = InvalidSerialHandle;
    TEventLog Log;
    TComPort Port;
};

// A fixture's tests that run once on each kind of port (INSTANTIATE_TEST_SUITE_P with
// ::testing::Values(pkVirtual, pkRfc2217), PortKindName).
template <typename Fixture>
class TOnEachPort : public Fixture, public ::testing::WithParamInterface<TPortKind> {
protected:
    TPortKind PortKind() const override { return this->GetParam(); }
};
