#include "PortTestKit.h"

#include "framework/Application.h"

namespace {

void RecordEvents(TCustomComPort& P, TEventLog& Log) {
    P.OnRxChar = [&Log](TObject*, std::int32_t N) { Log.Add("RxChar " + std::to_string(N)); };
    P.OnTxEmpty = [&Log](TObject*) { Log.Add("TxEmpty"); };
    P.OnBreak = [&Log](TObject*) { Log.Add("Break"); };
    P.OnRing = [&Log](TObject*) { Log.Add("Ring"); };
    P.OnCTSChange = [&Log](TObject*, bool On) { Log.Add(On ? "CTS on" : "CTS off"); };
    P.OnDSRChange = [&Log](TObject*, bool On) { Log.Add(On ? "DSR on" : "DSR off"); };
    P.OnRLSDChange = [&Log](TObject*, bool On) { Log.Add(On ? "RLSD on" : "RLSD off"); };
    P.OnError = [&Log](TObject*, TComErrors E) { Log.Add("Error " + std::to_string(E.ToBits())); };
    P.OnRxFlag = [&Log](TObject*) { Log.Add("RxFlag"); };
    P.OnRx80Full = [&Log](TObject*) { Log.Add("Rx80Full"); };
}

bool Has(const TEventLog& Log, const std::string& Entry) {
    return Log.Count(Entry) > 0;
}

} // namespace

class DispatchModeTest : public TPairTest, public ::testing::WithParamInterface<TSyncMethod> {};

TEST_P(DispatchModeTest, EveryEventReachesItsHandler) {
    RecordEvents(Port, Log);
    Port.SetSyncMethod(GetParam());
    Port.SetEventChar('#');
    OpenPeer();
    ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRRTS));
    ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRDTR));
    Port.Open();
    Log.Clear();

    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETRTS));
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "CTS on"); }));
    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETDTR));
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "DSR on") && Has(Log, "RLSD on"); }));
    Modem->SetRing(0, true);
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Ring"); }));
    Modem->InjectBreak(0);
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Break"); }));

    Port.WriteStr("out");
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "TxEmpty"); }));
    EXPECT_EQ(PeerRead(3), "out");

    PeerWrite("ab#");
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "RxFlag"); }));
    EXPECT_TRUE(WaitServing([&] { return Log.Size() > 0 && Port.InputCount() == 3; }));
    bool SawRx = false;
    for (const auto& E : Log.Entries())
        SawRx |= E.rfind("RxChar ", 0) == 0;
    EXPECT_TRUE(SawRx);

    Modem->InjectLineError(0, CE_FRAME, 'e');
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Error 1"); }));

    // 80 % of the 1024-byte receive queue; nobody reads it.
    PeerWrite(std::string(830, 'f'));
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Rx80Full"); }));
    Port.Close();
}

TEST_P(DispatchModeTest, HandlerExceptionIsReportedAndTheThreadCarriesOn) {
    std::atomic<int> Reported{0};
    Application->OnException = [&](TObject*, const std::exception_ptr&) {
        ++Reported;
        NotifySynchronizeWaiters();
    };
    Port.SetSyncMethod(GetParam());
    Port.OnRxChar = [&](TObject* Sender, std::int32_t N) {
        std::string S;
        static_cast<TCustomComPort*>(Sender)->ReadStr(S, N);
        Log.Add(S);
        if (S == "boom")
            throw std::runtime_error("handler failed");
    };
    OpenPeer();
    Port.Open();
    PeerWrite("boom");
    EXPECT_TRUE(WaitServing([&] { return Reported.load() == 1; }));
    PeerWrite("next");
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "next"); }));
    Port.Close();
    Application->OnException = nullptr;
    EXPECT_EQ(Reported.load(), 1);
}

TEST_P(DispatchModeTest, HandlerClosingItsOwnPort) {
    std::vector<std::string> Reported;
    std::mutex Lock;
    Application->OnException = [&](TObject*, const std::exception_ptr& E) {
        {
            std::lock_guard G(Lock);
            Reported.push_back(ExceptionMessage(E));
        }
        NotifySynchronizeWaiters();
    };
    Port.SetSyncMethod(GetParam());
    Port.SetEvents(TComEvents{evRing});
    Port.OnRing = [](TObject* Sender) { static_cast<TCustomComPort*>(Sender)->Close(); };
    Port.Open();
    Modem->SetRing(0, true);
    if (GetParam() == smWindowSync) {
        // The event thread is not waiting for the handler, so the close goes through.
        EXPECT_TRUE(WaitServing([&] { return !Port.GetConnected(); }));
    } else {
        // The event thread waits for this very handler: refused instead of waiting forever.
        EXPECT_TRUE(WaitServing([&] {
            std::lock_guard G(Lock);
            return !Reported.empty();
        }));
        EXPECT_TRUE(Port.GetConnected());
        Port.OnRing = nullptr;
        Port.Close();
        std::lock_guard G(Lock);
        EXPECT_EQ(Reported,
                  std::vector<std::string>{"Cannot close the port from its own event handler"});
    }
    Application->OnException = nullptr;
}

INSTANTIATE_TEST_SUITE_P(AllModes, DispatchModeTest,
                         ::testing::Values(smThreadSync, smWindowSync, smNone),
                         [](const ::testing::TestParamInfo<TSyncMethod>& Info) {
                             return ModeName(Info.param);
                         });

using DispatchTest = TPairTest;

// Once more over a network port where the far end needs neither modem lines nor injected line
// errors, which a served pty cannot give.
class DispatchOnEachPortTest : public TOnEachPort<TPairTest> {};
INSTANTIATE_TEST_SUITE_P(Ports, DispatchOnEachPortTest, ::testing::Values(pkVirtual, pkRfc2217),
                         PortKindName);

TEST_F(DispatchTest, ErrorIsHeardBeforeTheBytesOfTheSameBatch) {
    RecordEvents(Port, Log);
    Port.SetEvents(TComEvents{evRxChar, evError});
    Port.Open();
    Log.Clear();
    Modem->InjectLineError(0, CE_FRAME, 'x');
    EXPECT_TRUE(WaitServing([&] { return Log.Size() >= 2; }));
    EXPECT_EQ(Log.Entries(), (std::vector<std::string>{"Error 1", "RxChar 1"}));
}

TEST_P(DispatchOnEachPortTest, ReceivedBytesGoToOnRxBufAndLinksReadOnce) {
    Port.OnRxChar = [&](TObject*, std::int32_t) { Log.Add("RxChar"); };
    Port.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) {
        Log.Add("port " + std::string(static_cast<const char*>(B), static_cast<std::size_t>(N)));
    };
    TComLink First, Silent, Second;
    First.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) {
        Log.Add("first " + std::string(static_cast<const char*>(B), static_cast<std::size_t>(N)));
    };
    Second.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) {
        Log.Add("second " + std::string(static_cast<const char*>(B), static_cast<std::size_t>(N)));
    };
    Silent.OnRx = [&](TObject*, bool On) { Log.Add(On ? "rx on" : "rx off"); };
    Port.RegisterLink(&Silent);
    EXPECT_TRUE(Port.GetTriggersOnRxChar());
    Port.RegisterLink(&First);
    Port.RegisterLink(&Second);
    EXPECT_FALSE(Port.GetTriggersOnRxChar()) << "a link takes the bytes";
    try {
        Port.SetTriggersOnRxChar(false);
        FAIL();
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 22);
    }
    try {
        Port.RegisterLink(&First);
        FAIL();
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 18);
        EXPECT_EQ(E.Message(), "Link (un)registration failed");
    }
    EXPECT_THROW(Port.RegisterLink(nullptr), EComPort);
    OpenPeer();
    Port.Open();
    PeerWrite("data");
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "second data"); }));
    // The read that empties the queue tells the links before the bytes are handed out.
    EXPECT_EQ(Log.Entries(), (std::vector<std::string>{"rx on", "rx off", "port data", "first data",
                                                       "second data"}));
    EXPECT_EQ(Port.InputCount(), 0);
    Port.Close();

    // Without links: the port reads for its own OnRxBuf only when told to.
    Port.UnRegisterLink(&First);
    Port.UnRegisterLink(&Second);
    Port.UnRegisterLink(&Silent);
    EXPECT_THROW(Port.UnRegisterLink(&Silent), EComPort);
    EXPECT_TRUE(Port.GetTriggersOnRxChar());
    Port.SetTriggersOnRxChar(false);
    Log.Clear();
    Port.Open();
    PeerWrite("solo");
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "port solo"); }));
    EXPECT_EQ(Log.Entries(), std::vector<std::string>{"port solo"});
}

TEST_P(DispatchOnEachPortTest, EmptyQueueAtReceiveEventFiresNothing) {
    RecordEvents(Port, Log);
    TComLink Link;
    Link.OnRx = [&](TObject*, bool) { Log.Add("link rx"); };
    Port.RegisterLink(&Link);
    Port.SetEvents(TComEvents{});
    Port.Open();
    Log.Clear();
    Port.CallRxChar();
    Port.CallError();
    EXPECT_EQ(Log.Size(), 0u);
    Port.Close();
    Port.UnRegisterLink(&Link);
}

TEST_P(DispatchOnEachPortTest, BytesTakenBeforeTheReadAreNotPassedOn) {
    std::string Delivered;
    Port.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) {
        Delivered.append(static_cast<const char*>(B), static_cast<std::size_t>(N));
    };
    Port.OnRxChar = [&](TObject*, std::int32_t) { Log.Add("RxChar"); };
    Port.SetTriggersOnRxChar(false);
    // The link's receive signal comes between the count and the read: it takes two bytes.
    TComLink Thief;
    Thief.OnRx = [&](TObject*, bool On) {
        char B[2];
        if (On)
            Port.Read(B, 2);
    };
    Port.RegisterLink(&Thief);
    Port.SetEvents(TComEvents{});
    Port.Open();
    OpenPeer();
    PeerWrite("12345");
    ASSERT_TRUE(WaitInput(5));
    Port.CallRxChar();
    EXPECT_EQ(Delivered, "345");
    EXPECT_EQ(Log.Size(), 0u);
    Port.Close();
    Port.UnRegisterLink(&Thief);
}

TEST_F(DispatchTest, LinkDetachingInItsOwnHandlerLeavesTheOthersHeard) {
    TComLink Leaving, Staying, Last;
    Leaving.OnConn = [&](TObject*, bool On) {
        Log.Add(std::string("leaving ") + (On ? "on" : "off"));
        Port.UnRegisterLink(&Leaving);
    };
    Staying.OnConn = [&](TObject*, bool On) {
        Log.Add(std::string("staying ") + (On ? "on" : "off"));
    };
    Last.OnConn = [&](TObject*, bool On) { Log.Add(std::string("last ") + (On ? "on" : "off")); };
    Port.RegisterLink(&Leaving);
    Port.RegisterLink(&Staying);
    Port.RegisterLink(&Last);
    Port.SetEvents(TComEvents{});
    Port.Open();
    Port.Close();
    EXPECT_EQ(Log.Entries(), (std::vector<std::string>{"leaving on", "staying on", "last on",
                                                       "staying off", "last off"}));
    Port.UnRegisterLink(&Staying);
    Port.UnRegisterLink(&Last);
}

TEST_F(DispatchTest, LinksFollowTransmitAndLineEvents) {
    TComLink Link;
    Link.OnTx = [&](TObject*, bool On) { Log.Add(On ? "link tx on" : "link tx off"); };
    Link.OnTxEmpty = [&](TObject*) { Log.Add("link TxEmpty"); };
    Link.OnRing = [&](TObject*) { Log.Add("link Ring"); };
    Link.OnRxFlag = [&](TObject*) { Log.Add("link RxFlag"); };
    Port.OnTxEmpty = [&](TObject*) { Log.Add("TxEmpty"); };
    Port.OnRing = [&](TObject*) { Log.Add("Ring"); };
    Port.OnRxFlag = [&](TObject*) { Log.Add("RxFlag"); };
    Port.SetEventChar('!');
    Port.RegisterLink(&Link);
    OpenPeer();
    Port.Open();
    Port.WriteStr("x");
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "TxEmpty"); }));
    Modem->SetRing(0, true);
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Ring"); }));
    PeerWrite("!");
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "RxFlag"); }));
    EXPECT_EQ(Log.Entries(),
              (std::vector<std::string>{"link tx on", "link tx off", "link TxEmpty", "TxEmpty",
                                        "link Ring", "Ring", "link RxFlag", "RxFlag"}));
    Port.Close();
    Port.UnRegisterLink(&Link);
}

TEST_F(DispatchTest, WindowDispatchDeliversSingleLineEventsAlone) {
    RecordEvents(Port, Log);
    Port.SetSyncMethod(smWindowSync);
    OpenPeer();
    ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRDTR));
    Port.SetEvents(TComEvents{evRLSD, evRing});
    Port.Open();
    Log.Clear();
    Modem->SetRing(0, true);
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Ring"); }));
    EXPECT_EQ(Log.Entries(), std::vector<std::string>{"Ring"});
    Log.Clear();
    // DTR drives both DSR and RLSD; only RLSD is selected.
    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETDTR));
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "RLSD on"); }));
    EXPECT_EQ(Log.Entries(), std::vector<std::string>{"RLSD on"});
}

TEST_F(DispatchTest, EventsChangedWhileOpenTakeEffectAtNextOpen) {
    RecordEvents(Port, Log);
    Port.SetEvents(TComEvents{evRing});
    OpenPeer();
    Port.Open();
    Port.SetEvents(TComEvents{evRxChar});
    PeerWrite("a");
    Modem->SetRing(0, true);
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Ring"); }));
    EXPECT_EQ(Log.Count("RxChar 1"), 0u);
    Port.Close();
}

TEST_F(DispatchTest, ClosingDiscardsBothQueues) {
    OpenPeer();
    HoldOutputByCts(true);
    Port.Open();
    PAsync A = nullptr;
    InitAsync(A);
    Port.WriteStrAsync("stuck", A);
    PeerWrite("unread");
    EXPECT_TRUE(WaitServing([&] { return Port.InputCount() == 6; }));
    Port.Close();
    DoneAsync(A);
    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETRTS));
    std::uint32_t N = 0;
    char B[8];
    COMMTIMEOUTS Quick;
    Quick.ReadIntervalTimeout = MAXDWORD;
    ASSERT_TRUE(SetDeviceTimeouts(Peer, Quick));
    ASSERT_TRUE(SerialRead(Peer, B, sizeof B, &N, nullptr));
    EXPECT_EQ(N, 0u) << "pending output was sent after close";
    Port.SetEvents(TComEvents{});
    Port.Open();
    EXPECT_EQ(Port.InputCount(), 0);
}

TEST_F(DispatchTest, CloseWhileAThreadSyncDispatchIsInFlight) {
    auto Queued = CreateSyncEvent(false, false);
    SetWakeMainThread([Queued] { Queued->Set(); });
    OpenPeer();
    std::atomic<int> Handled{0};
    Port.OnRxChar = [&](TObject*, std::int32_t) { ++Handled; };
    Port.SetEvents(TComEvents{evRxChar});
    int InFlight = 0;
    for (int I = 0; I < 1000; ++I) {
        Port.Open();
        Queued->Reset();
        PeerWrite("z");
        // The event thread now waits in Synchronize for this thread, which closes the port.
        InFlight += WaitForSyncEvent(Queued, 5000) == 0;
        Port.Close();
    }
    SetWakeMainThread(nullptr);
    EXPECT_EQ(InFlight, 1000);
    EXPECT_EQ(Handled.load(), 1000) << "every dispatch in flight finished during Close";
}

TEST_P(DispatchOnEachPortTest, MainWindowConfigurationReadsASplitAnswerInOrder) {
    Port.SetBaudRate(br9600);
    Port.SetDataBits(dbEight);
    Port.SetStopBits(sbOneStopBit);
    Port.GetParity().SetBits(prNone);
    Port.SetEvents(AllComEvents);
    Port.GetFlowControl().SetControlDTR(dtrDisable);
    Port.GetFlowControl().SetControlRTS(rtsDisable);
    Port.GetTimeouts().SetReadInterval(50);
    Port.GetTimeouts().SetReadTotalMultiplier(100);
    Port.GetTimeouts().SetReadTotalConstant(1000);
    std::string Received;
    std::vector<std::int32_t> Counts;
    Port.OnRxChar = [&](TObject* Sender, std::int32_t Count) {
        Counts.push_back(Count);
        std::string Chunk(static_cast<std::size_t>(Count), '\0');
        const std::int32_t Got = static_cast<TCustomComPort*>(Sender)->Read(Chunk.data(), Count);
        Received.append(Chunk, 0, static_cast<std::size_t>(Got));
    };
    OpenPeer();
    Port.Open();
    const std::string Answer("\x01\x06\x81\x00\xAB\xCD", 6);
    for (int Part = 0; Part < 3; ++Part) {
        PeerWrite(Answer.substr(static_cast<std::size_t>(Part) * 2, 2));
        const std::size_t Want = static_cast<std::size_t>(Part + 1) * 2;
        ASSERT_TRUE(WaitServing([&] { return Received.size() >= Want; }));
    }
    std::int32_t Sum = 0;
    for (auto C : Counts)
        Sum += C;
    EXPECT_EQ(Sum, 6);
    EXPECT_EQ(Received, Answer);
}

TEST_P(DispatchOnEachPortTest, LostDeviceIsHeardOnceAndThePortClosesAndReopens) {
    RecordEvents(Port, Log);
    Port.SetSyncMethod(smNone);
    OpenPeer();
    Port.Open();
    Log.Clear();
    PullFarEnd();
    EXPECT_TRUE(WaitServing([&] { return Has(Log, "Error 16"); })) << "ceIO";
    EXPECT_FALSE(WaitServing([&] { return Log.Count("Error 16") > 1; }, 200));
    Port.Close();
    EXPECT_FALSE(Port.GetConnected());
    PlugFarEnd();
    Port.Open();
    EXPECT_TRUE(Port.GetConnected());
}
