#include "PortTestKit.h"

#include <cstring>

class TransferTest : public TPairTest {
protected:
    void SetUp() override {
        TPairTest::SetUp();
        // No event thread: the test reads the port itself.
        Port.SetEvents(TComEvents{});
        Port.Open();
        OpenPeer();
    }
};

// Once more over a network port where the far end needs no modem lines, injected line errors
// or a precisely timed burst, which a served pty cannot give.
class TransferOnEachPortTest : public TOnEachPort<TransferTest> {};
INSTANTIATE_TEST_SUITE_P(Ports, TransferOnEachPortTest, ::testing::Values(pkVirtual, pkRfc2217),
                         PortKindName);

TEST_P(TransferOnEachPortTest, BytesTravelBothWaysAndLinksHearThem) {
    std::string TxSeen;
    TComLink Link;
    Link.OnTx = [&](TObject*, bool On) { Log.Add(On ? "Tx on" : "Tx off"); };
    Link.OnRx = [&](TObject*, bool On) { Log.Add(On ? "Rx on" : "Rx off"); };
    Link.OnTxBuf = [&](TObject*, const void* B, std::int32_t N) {
        TxSeen.append(static_cast<const char*>(B), static_cast<std::size_t>(N));
    };
    Port.RegisterLink(&Link);

    EXPECT_EQ(Port.WriteStr("hello"), 5);
    EXPECT_EQ(PeerRead(5), "hello");
    EXPECT_EQ(TxSeen, "hello");
    EXPECT_EQ(Log.Entries(), std::vector<std::string>{"Tx on"});

    PeerWrite("world");
    ASSERT_TRUE(WaitInput(5));
    char Buf[8] = {};
    EXPECT_EQ(Port.Read(Buf, 5), 5);
    EXPECT_EQ(std::string(Buf, 5), "world");
    EXPECT_EQ(Log.Count("Rx off"), 1u) << "a read that empties the queue tells the links";
    EXPECT_EQ(TxSeen, "hello") << "a read reports no transmitted bytes";
    Port.UnRegisterLink(&Link);
}

TEST_P(TransferOnEachPortTest, EmptyWritesAndReads) {
    EXPECT_EQ(Port.WriteStr(""), 0);
    std::string S = "keep";
    EXPECT_EQ(Port.ReadStr(S, 0), 0);
    EXPECT_TRUE(S.empty());
    EXPECT_EQ(Port.InputCount(), 0);
    EXPECT_EQ(Port.OutputCount(), 0);
}

// Back-to-back synchronous calls on one thread: each answers for itself, never with the count,
// kind or bytes of the one before, and the links hear each write once.
TEST_P(TransferOnEachPortTest, SuccessiveCallsAnswerForThemselves) {
    std::string TxSeen;
    TComLink Link;
    Link.OnTxBuf = [&](TObject*, const void* B, std::int32_t N) {
        TxSeen.append(static_cast<const char*>(B), static_cast<std::size_t>(N));
    };
    Port.RegisterLink(&Link);
    enum TStep { Write, WriteEmpty, Read, ReadNone };
    const struct {
        TStep Step;
        std::string Bytes;
        std::int32_t Expected;
    } Steps[] = {
        {Write, "abcdef", 6}, {ReadNone, "", 0}, {WriteEmpty, "", 0}, {Read, "xy", 2},
        {ReadNone, "", 0},    {Write, "z", 1},   {WriteEmpty, "", 0}, {Read, "pqr", 3},
    };
    std::string Sent;
    for (const auto& S : Steps) {
        SCOPED_TRACE(S.Bytes + " step " + std::to_string(S.Step));
        std::string Got;
        switch (S.Step) {
        case Write:
            EXPECT_EQ(Port.Write(S.Bytes.data(), static_cast<std::int32_t>(S.Bytes.size())),
                      S.Expected);
            Sent += S.Bytes;
            break;
        case WriteEmpty:
            EXPECT_EQ(Port.WriteStr(S.Bytes), S.Expected);
            break;
        case Read:
            PeerWrite(S.Bytes);
            ASSERT_TRUE(WaitInput(S.Expected));
            EXPECT_EQ(Port.ReadStr(Got, S.Expected), S.Expected);
            EXPECT_EQ(Got, S.Bytes);
            break;
        case ReadNone:
            EXPECT_EQ(Port.ReadStr(Got, 0), S.Expected);
            break;
        }
    }
    EXPECT_EQ(PeerRead(static_cast<std::uint32_t>(Sent.size())), Sent);
    EXPECT_EQ(TxSeen, Sent);
    Port.UnRegisterLink(&Link);
}

TEST_P(TransferOnEachPortTest, ShortReadReturnsWhatArrived) {
    TComTimeouts T;
    T.SetReadInterval(50);
    T.SetReadTotalMultiplier(0);
    T.SetReadTotalConstant(300);
    Port.SetTimeouts(T);
    PeerWrite("abcd");
    std::string S;
    EXPECT_EQ(Port.ReadStr(S, 10), 4);
    EXPECT_EQ(S, "abcd");
}

TEST_P(TransferOnEachPortTest, AsyncRecordRules) {
    PAsync None = nullptr;
    try {
        Port.WaitForAsync(None);
        FAIL();
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 4);
        EXPECT_EQ(E.GetWinCode(), -1);
    }
    EXPECT_THROW(Port.IsAsyncCompleted(None), EComPort);
    char B[1];
    EXPECT_THROW(Port.WriteAsync("x", 1, None), EComPort);
    EXPECT_THROW(Port.ReadAsync(B, 1, None), EComPort);

    PAsync A = nullptr;
    InitAsync(A);
    ASSERT_NE(A, nullptr);
    EXPECT_EQ(Port.WaitForAsync(A), 0) << "an unused record completes at once";
    EXPECT_TRUE(Port.IsAsyncCompleted(A));
    try {
        Port.WriteAsync(nullptr, 4, A);
        FAIL() << "a write from no bytes started";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 2);
        EXPECT_NE(E.GetWinCode(), -1);
    }

    // The record keeps its own copy: the caller's text may change after the start.
    std::string Text = "frame";
    Port.WriteStrAsync(Text, A);
    Text = "XXXXX";
    EXPECT_EQ(Port.WaitForAsync(A), 5);
    EXPECT_EQ(PeerRead(5), "frame");
    ASSERT_NE(A->Data, nullptr);
    EXPECT_EQ(std::memcmp(A->Data, "frame", 5), 0);
    EXPECT_EQ(A->Size, 5);
    EXPECT_EQ(A->Kind, okWrite);

    // Reused for a read that leaves bytes queued: the earlier write is not announced again.
    int TxBufCalls = 0;
    TComLink Link;
    Link.OnTxBuf = [&](TObject*, const void*, std::int32_t) { ++TxBufCalls; };
    Port.RegisterLink(&Link);
    PeerWrite("abc");
    ASSERT_TRUE(WaitInput(3));
    char B1[1];
    Port.ReadAsync(B1, 1, A);
    EXPECT_EQ(Port.WaitForAsync(A), 1);
    EXPECT_EQ(A->Kind, okRead);
    EXPECT_EQ(TxBufCalls, 0);
    Port.UnRegisterLink(&Link);
    DoneAsync(A);
    EXPECT_EQ(A, nullptr);
}

TEST_F(TransferTest, PendingWriteIsIncompleteThenAbortedByClose) {
    HoldOutputByCts(true);
    std::string Big(16384, 'z');
    PAsync A = nullptr;
    InitAsync(A);
    EXPECT_EQ(Port.WriteAsync(Big.data(), static_cast<std::int32_t>(Big.size()), A), 0);
    EXPECT_FALSE(Port.IsAsyncCompleted(A));
    EXPECT_GT(Port.OutputCount(), 0);
    EXPECT_TRUE(Port.StateFlags().Contains(sfCTSHold));
    Port.Close();
    try {
        Port.WaitForAsync(A);
        FAIL() << "an aborted write completed";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 2);
    }
    DoneAsync(A);
}

TEST_F(TransferTest, ClearBufferDiscardsOnlyTheChosenQueue) {
    HoldOutputByCts(false);
    PAsync A = nullptr;
    InitAsync(A);
    Port.WriteStrAsync("queued", A);
    PeerWrite("received");
    ASSERT_TRUE(WaitInput(8));
    Port.ClearBuffer(true, false);
    EXPECT_EQ(Port.InputCount(), 0);
    EXPECT_GT(Port.OutputCount(), 0);
    Port.ClearBuffer(false, false);
    EXPECT_GT(Port.OutputCount(), 0);
    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETRTS));
    EXPECT_EQ(Port.WaitForAsync(A), 6);
    EXPECT_EQ(PeerRead(6), "queued");
    DoneAsync(A);
}

TEST_F(TransferTest, LineErrorsAndParityCheck) {
    // Any query of the error state clears it, so wait by LastErrors itself.
    auto WaitErrors = [&] {
        TComErrors Got;
        for (int Round = 0; Round < 50 && Got.Empty(); ++Round) {
            Got = Port.LastErrors();
            TComEvents E{evError};
            if (Got.Empty())
                Port.WaitForEvent(E, nullptr, 100);
        }
        return Got;
    };
    Modem->InjectLineError(0, CE_RXPARITY | CE_FRAME, 'p');
    EXPECT_EQ(WaitErrors(), TComErrors{ceFrame}) << "parity ignored while unchecked";
    Port.GetParity().SetCheck(true);
    Modem->InjectLineError(0, CE_RXPARITY | CE_OVERRUN, 'q');
    EXPECT_EQ(WaitErrors(), (TComErrors{ceRxParity, ceOverrun}));
    EXPECT_TRUE(Port.LastErrors().Empty()) << "reading the error state clears it";
}

TEST_F(TransferTest, ModemLinesAndLineControls) {
    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETRTS));
    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETDTR));
    EXPECT_EQ(Port.Signals(), (TComSignals{csCTS, csDSR, csRLSD}));
    ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRRTS));
    EXPECT_EQ(Port.Signals(), (TComSignals{csDSR, csRLSD}));
    Modem->SetRing(0, true);
    EXPECT_TRUE(Port.Signals().Contains(csRing));

    struct TLine {
        const char* Name;
        void (TCustomComPort::*Set)(bool);
        bool (TVirtualNullModem::*Get)(int) const;
    };
    for (const TLine& L : {TLine{"RTS", &TCustomComPort::SetRTS, &TVirtualNullModem::Rts},
                           TLine{"DTR", &TCustomComPort::SetDTR, &TVirtualNullModem::Dtr},
                           TLine{"break", &TCustomComPort::SetBreak, &TVirtualNullModem::Break}}) {
        for (bool On : {true, false}) {
            (Port.*L.Set)(On);
            EXPECT_EQ(((*Modem).*L.Get)(0), On) << L.Name;
        }
    }
    Port.SetXonXoff(false);
    Port.SetXonXoff(true);
    Port.TransmitChar('!');
    EXPECT_EQ(PeerRead(1), "!");
}

TEST_P(TransferOnEachPortTest, OperationsOnAClosedPortRaiseTheirCodes) {
    Port.Close();
    auto CodeOf = [](const std::function<void()>& F) {
        try {
            F();
        } catch (const EComPort& E) {
            EXPECT_NE(E.GetWinCode(), -1);
            return E.GetCode();
        }
        return 0;
    };
    char B[4];
    EXPECT_EQ(CodeOf([&] { Port.Write("ab", 2); }), 2);
    EXPECT_EQ(CodeOf([&] { Port.Read(B, 2); }), 3);
    EXPECT_EQ(CodeOf([&] { Port.ClearBuffer(true, true); }), 5);
    EXPECT_EQ(CodeOf([&] { Port.AbortAllAsync(); }), 5);
    EXPECT_EQ(CodeOf([&] { Port.InputCount(); }), 10);
    EXPECT_EQ(CodeOf([&] { Port.LastErrors(); }), 10);
    EXPECT_EQ(CodeOf([&] { Port.Signals(); }), 11);
    EXPECT_EQ(CodeOf([&] { Port.SetRTS(true); }), 12);
    EXPECT_EQ(CodeOf([&] { Port.TransmitChar('a'); }), 13);
    TComEvents E{evRxChar};
    EXPECT_EQ(CodeOf([&] { Port.WaitForEvent(E, nullptr, 0); }), 21);
}

// An overflow is never lost to a count query: neither one its own pump causes (the query
// moves waiting bytes into the queue) nor one an earlier wait caused and the query cleared.
TEST_F(TransferTest, OverflowIsKeptForLastErrorsAcrossCountQueries) {
    Port.GetBuffer().SetInputSize(1024);
    for (bool EarlierPump : {false, true}) {
        PeerWrite(std::string(3000, 'o'));
        if (EarlierPump) {
            TComEvents E{evRxChar};
            Port.WaitForEvent(E, nullptr, 0);
        }
        EXPECT_EQ(Port.InputCount(), 1024) << EarlierPump;
        EXPECT_EQ(Port.OutputCount(), 0) << EarlierPump;
        EXPECT_TRUE(Port.LastErrors().Contains(ceRxOver)) << EarlierPump;
        EXPECT_TRUE(Port.LastErrors().Empty()) << EarlierPump << ": told once";
        Port.ClearBuffer(true, false);
    }
}
