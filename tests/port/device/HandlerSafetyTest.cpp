// Handlers that close the port, serve the GUI queue, raise, or outlive their device.
#include "PortTestKit.h"

#include <thread>

#include "framework/Application.h"

using HandlerSafetyTest = TPairTest;

// Under window dispatch a handler may close its port. Another handler of the same batch, or
// one reached while the close serves the GUI queue, then finds the port closing: it does
// nothing, and the rest of the batch is dropped.
TEST_F(HandlerSafetyTest, CloseFromHandlersUnderWindowDispatch) {
    TReports Reports;
    Port.SetSyncMethod(smWindowSync);
    Port.SetEventChar('#');
    std::atomic<int> Closes{0}, AfterCloses{0};
    auto CloseIt = [&](TObject* Sender) {
        ++Closes;
        static_cast<TCustomComPort*>(Sender)->Close();
    };
    Port.OnAfterClose = [&](TObject*) { ++AfterCloses; };
    OpenPeer();

    struct Case {
        const char* What;
        TComEvents Events;
        bool Flood;
    };
    const Case Cases[] = {
        {"two handlers of one batch", TComEvents{evRxChar, evRxFlag}, false},
        {"a flood of bytes", TComEvents{evRxChar, evRxFlag, evError}, true},
    };
    for (const auto& C : Cases) {
        Port.SetEvents(C.Events);
        Port.OnRxChar = [&](TObject* S, std::int32_t) { CloseIt(S); };
        Port.OnRxFlag = [&](TObject* S) { CloseIt(S); };
        for (int Round = 0; Round < (C.Flood ? 20 : 5); ++Round) {
            Closes = 0;
            AfterCloses = 0;
            Port.Open();
            std::atomic<bool> Stop{false};
            std::thread Flood;
            if (C.Flood) {
                Flood = std::thread([&] {
                    std::uint32_t N = 0;
                    while (!Stop)
                        SerialWrite(Peer, "ab#", 3, &N, nullptr);
                });
            } else {
                PeerWrite("ab#");
            }
            EXPECT_TRUE(WaitServing([&] { return !Port.GetConnected(); })) << C.What;
            Stop = true;
            if (Flood.joinable())
                Flood.join();
            EXPECT_GE(Closes.load(), 1) << C.What;
            EXPECT_EQ(AfterCloses.load(), 1) << C.What << ": closed once";
        }
    }
    EXPECT_EQ(Reports.Size(), 0u);
    // The port is whole afterwards.
    Port.OnRxChar = nullptr;
    Port.OnRxFlag = nullptr;
    Port.SetEvents(TComEvents{evRxChar});
    Port.Open();
    PeerWrite("ok");
    EXPECT_TRUE(WaitServing([&] { return Port.InputCount() == 2; }));
}

// A window-dispatched handler that serves the GUI queue (a modal dialog) is not entered again
// before it returns; the event it held back comes afterwards.
TEST_F(HandlerSafetyTest, WindowDispatchDoesNotReenterAHandlerServingTheQueue) {
    Port.SetSyncMethod(smWindowSync);
    Port.SetEvents(TComEvents{evRxChar});
    int Depth = 0, MaxDepth = 0, Calls = 0;
    Port.OnRxChar = [&](TObject*, std::int32_t) {
        ++Calls;
        ++Depth;
        MaxDepth = std::max(MaxDepth, Depth);
        if (Calls == 1) {
            PeerWrite("2");
            // Bounded: nothing else may enter meanwhile.
            WaitServing([&] { return Depth > 1; }, 300);
        }
        --Depth;
    };
    OpenPeer();
    Port.Open();
    PeerWrite("1");
    EXPECT_TRUE(WaitServing([&] { return Calls >= 2; }));
    EXPECT_EQ(MaxDepth, 1);
    Port.Close();
}

// A handler that raises in the middle of a batch is reported; the other handlers of the batch
// still get their bytes.
TEST_F(HandlerSafetyTest, RaisingHandlerDoesNotEatTheBatch) {
    OpenPeer();
    for (TSyncMethod Mode : {smThreadSync, smWindowSync, smNone}) {
        struct Case {
            const char* What;
            bool ByLink;
        };
        for (const Case& C : {Case{"OnError raises", false}, Case{"first link raises", true}}) {
            const std::string Where = ModeName(Mode) + ", " + C.What;
            TReports Reports;
            std::mutex Lock;
            std::string Received;
            auto Keep = [&](const void* B, std::int32_t N) {
                std::lock_guard G(Lock);
                Received.append(static_cast<const char*>(B), static_cast<std::size_t>(N));
                NotifySynchronizeWaiters();
            };
            TComLink Raising, Listening;
            Raising.OnRxBuf = [](TObject*, const void*, std::int32_t) {
                throw std::runtime_error("link failed");
            };
            Listening.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) { Keep(B, N); };
            Port.OnError = [](TObject*, TComErrors) { throw std::runtime_error("handler failed"); };
            Port.OnRxChar = [&](TObject* S, std::int32_t N) {
                std::string Bytes;
                static_cast<TCustomComPort*>(S)->ReadStr(Bytes, N);
                Keep(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
            };
            if (C.ByLink) {
                Port.RegisterLink(&Raising);
                Port.RegisterLink(&Listening);
            }
            Port.SetSyncMethod(Mode);
            Port.SetEvents(TComEvents{evRxChar, evError});
            Port.Open();
            // One batch: the line error and its byte.
            Modem->InjectLineError(0, CE_FRAME, 'x');
            EXPECT_TRUE(WaitServing([&] {
                std::lock_guard G(Lock);
                return Received == "x";
            })) << Where;
            EXPECT_TRUE(WaitServing([&] { return Reports.Size() >= 1; })) << Where;
            Port.Close();
            if (C.ByLink) {
                Port.UnRegisterLink(&Raising);
                Port.UnRegisterLink(&Listening);
            }
        }
    }
}

// A device that vanishes while no selected event tells of it is told once through OnDeviceLost
// and not as a failure, and the next query on the port raises.
TEST_F(HandlerSafetyTest, VanishedDeviceIsToldWithOnlyReceiveEventsSelected) {
    for (TSyncMethod Mode : {smThreadSync, smWindowSync, smNone}) {
        TReports Reports;
        std::atomic<int> Lost{0};
        Port.OnDeviceLost = [&](TObject*, std::int32_t) {
            ++Lost;
            NotifySynchronizeWaiters();
        };
        Port.SetSyncMethod(Mode);
        Port.SetEvents(TComEvents{evRxChar});
        Port.Open();
        Modem->Unplug(0);
        EXPECT_TRUE(WaitServing([&] { return Lost == 1; })) << ModeName(Mode);
        EXPECT_TRUE(Reports.Codes().empty()) << ModeName(Mode);
        try {
            Port.InputCount();
            ADD_FAILURE() << ModeName(Mode) << ": a query on a vanished device succeeded";
        } catch (const EComPort& E) {
            EXPECT_EQ(E.GetCode(), CError_ClearComFailed);
            EXPECT_EQ(E.GetWinCode(), EIO);
        }
        EXPECT_FALSE(WaitServing([&] { return Lost > 1 || Reports.Size() > 0; }, 200))
            << "told once";
        Port.Close();
        Port.OnDeviceLost = nullptr;
        Modem->Replug(0);
    }
}

// Bytes dropped for a full queue while a handler asks for the count are still heard of through
// OnError: the query that moved them in does not swallow the overflow.
TEST_F(HandlerSafetyTest, OverflowDuringAHandlersCountQueryReachesOnError) {
    for (TSyncMethod Mode : {smThreadSync, smWindowSync, smNone}) {
        std::atomic<bool> Overflow{false};
        std::atomic<int> Calls{0};
        Port.SetSyncMethod(Mode);
        Port.SetEvents(TComEvents{evRxChar, evError});
        Port.GetBuffer().SetInputSize(1024);
        Port.OnError = [&](TObject*, TComErrors E) {
            if (E.Contains(ceRxOver))
                Overflow = true;
            NotifySynchronizeWaiters();
        };
        Port.OnRxChar = [&](TObject* S, std::int32_t) {
            if (++Calls == 1) {
                // More than the queue holds arrives while the handler runs; its count query
                // takes it in.
                PeerWrite(std::string(3000, 'o'));
                EXPECT_EQ(static_cast<TCustomComPort*>(S)->InputCount(), 1024);
            }
            NotifySynchronizeWaiters();
        };
        if (Peer == InvalidSerialHandle)
            OpenPeer();
        Port.Open();
        PeerWrite("a");
        EXPECT_TRUE(WaitServing([&] { return Overflow.load(); })) << ModeName(Mode);
        Port.Close();
    }
}
