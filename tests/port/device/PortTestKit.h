// A port under test on one end of a virtual null-modem, the far end driven through the driver.
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
#include "tests/common/FarEnd.h"
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

class TPairTest : public ::testing::Test {
protected:
    void SetUp() override {
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

    void OpenPeer() { OpenFarEnd(NameB, Peer); }

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

    void PeerWrite(const std::string& Bytes) { FarEndWrite(Peer, Bytes); }
    std::string PeerRead(std::uint32_t Count) { return FarEndRead(Peer, Count); }

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

    std::unique_ptr<TVirtualNullModem> Modem;
    std::string NameA, NameB;
    TSerialHandle Peer = InvalidSerialHandle;
    TEventLog Log;
    TComPort Port;
};
