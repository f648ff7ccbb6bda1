#include <QElapsedTimer>
#include <QImage>

#include "ControlsTestKit.h"
#include "controls/CPortCtl.h"

namespace {

// Every state the lamp announced, in order.
struct TLedRecorder {
    explicit TLedRecorder(TComLed& Led) {
        Led.OnChange = [this](TObject*, TLedState S) { States.push_back(S); };
    }
    std::vector<TLedState> States;
};

} // namespace

class ComLedPortTest : public TVirtualPortTest {
public:
    void PeerLine(std::uint32_t Function) { PeerEscape(Function); }
    void Rlsd(bool On) { Modem->SetRlsd(0, On); }
};

TEST_F(ComLedPortTest, LampFollowsEachLineThroughTheLink) {
    struct Case {
        const char* Name;
        TComLedSignal Signal;
        std::function<void(ComLedPortTest&)> Raise, Drop;
    };
    const Case Cases[] = {
        {"CTS", lsCTS, [](auto& T) { T.PeerLine(ESC_SETRTS); },
         [](auto& T) { T.PeerLine(ESC_CLRRTS); }},
        {"DSR", lsDSR, [](auto& T) { T.PeerLine(ESC_SETDTR); },
         [](auto& T) { T.PeerLine(ESC_CLRDTR); }},
        {"RLSD", lsRLSD, [](auto& T) { T.Rlsd(true); }, [](auto& T) { T.Rlsd(false); }},
        {"Conn", lsConn, [](auto& T) { T.Port->Open(); }, [](auto& T) { T.Port->Close(); }},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        PeerLine(ESC_CLRRTS);
        PeerLine(ESC_CLRDTR);
        Rlsd(false);
        if (C.Signal != lsConn)
            Port->Open();
        TComLed Led;
        Led.SetLedSignal(C.Signal);
        Led.SetComPort(Port.get());
        EXPECT_EQ(Led.GetState(), lsOff);
        TLedRecorder Rec(Led);
        C.Raise(*this);
        EXPECT_TRUE(WaitUntil([&] { return Led.GetState() == lsOn; }));
        C.Drop(*this);
        EXPECT_TRUE(WaitUntil([&] { return Led.GetState() == lsOff; }));
        ASSERT_FALSE(Rec.States.empty());
        EXPECT_EQ(Rec.States.front(), lsOn);
        EXPECT_EQ(Rec.States.back(), lsOff);
        Led.SetComPort(nullptr);
        Port->Close();
        Modem->ReleaseRlsd(0);
    }
}

TEST_F(ComLedPortTest, TxLampIsOnFromTheWriteUntilTransmitEmpty) {
    // The peer holds the port's output by CTS, so the write stays pending while we look.
    PeerLine(ESC_CLRRTS);
    Port->GetFlowControl().SetOutCTSFlow(true);
    TComTimeouts T;
    T.SetWriteTotalMultiplier(0);
    T.SetWriteTotalConstant(0);
    Port->SetTimeouts(T);
    Port->Open();
    TComLed Led;
    Led.SetLedSignal(lsTx);
    Led.SetComPort(Port.get());
    TLedRecorder Rec(Led);

    PAsync Async = nullptr;
    InitAsync(Async);
    Port->WriteStrAsync("abc", Async);
    EXPECT_EQ(Led.GetState(), lsOn);
    PeerLine(ESC_SETRTS);
    EXPECT_TRUE(WaitUntil([&] { return Led.GetState() == lsOff; }));
    Port->WaitForAsync(Async);
    DoneAsync(Async);
    EXPECT_EQ(PeerRead(3), "abc");
    EXPECT_EQ(Rec.States, (std::vector<TLedState>{lsOn, lsOff}));
}

// With a least lit time a short signal still shows: the lamp stays lit until the time is over,
// a signal still on keeps it lit after that, and lighting it again shows no gap.
TEST_F(ComLedPortTest, LeastLitTimeKeepsShortSignalsVisible) {
    TComLed Tx, Rx;
    Tx.SetLedSignal(lsTx);
    Rx.SetLedSignal(lsRx);
    for (TComLed* Led : {&Tx, &Rx}) {
        Led->SetMinOnTime(50);
        Led->SetComPort(Port.get());
    }
    const auto Pulse = [&](TComLinkEvent Which) {
        Port->SendSignalToLink(Which, true);
        Port->SendSignalToLink(Which, false);
    };
    {
        TLedRecorder Rec(Tx);
        Pulse(leTx);
        EXPECT_EQ(Tx.GetState(), lsOn) << "a pulse is shown";
        Pulse(leTx);
        ASSERT_TRUE(WaitUntil([&] { return Tx.GetState() == lsOff; }));
        EXPECT_EQ(Rec.States, (std::vector<TLedState>{lsOn, lsOn, lsOff})) << "no gap";
        Tx.OnChange = nullptr;
    }
    // Rx is lit after Tx, so once Rx's time is over, so is Tx's.
    Port->SendSignalToLink(leTx, true);
    Pulse(leRx);
    ASSERT_TRUE(WaitUntil([&] { return Rx.GetState() == lsOff; }));
    EXPECT_EQ(Tx.GetState(), lsOn) << "its signal is still on";
    Port->SendSignalToLink(leTx, false);
    EXPECT_EQ(Tx.GetState(), lsOff);
    Tx.SetMinOnTime(0);
    Pulse(leTx);
    EXPECT_EQ(Tx.GetState(), lsOff) << "without a least time the signal shows as it is";
    for (TComLed* Led : {&Tx, &Rx})
        Led->SetComPort(nullptr);
}

TEST_F(ComLedPortTest, RxLampFlashesWhileBytesWaitAndGoesOffAfterTheRead) {
    std::string Received;
    Port->OnRxChar = [&](TObject*, std::int32_t Count) {
        std::string S;
        Port->ReadStr(S, Count);
        Received += S;
    };
    Port->Open();
    TComLed Led;
    Led.SetLedSignal(lsRx);
    Led.SetComPort(Port.get());
    TLedRecorder Rec(Led);

    PeerWrite("hello");
    EXPECT_TRUE(WaitUntil([&] { return Received == "hello"; }));
    EXPECT_EQ(Led.GetState(), lsOff);
    ASSERT_GE(Rec.States.size(), 2u);
    for (std::size_t I = 0; I < Rec.States.size(); ++I)
        EXPECT_EQ(Rec.States[I], I % 2 == 0 ? lsOn : lsOff) << "announcement " << I;
    Port->OnRxChar = nullptr;
}

TEST_F(ComLedPortTest, RingLampStaysOnForTheDurationFromTheFirstRingOnly) {
    constexpr int Duration = 1500;
    int Rings = 0;
    Port->OnRing = [&](TObject*) { ++Rings; };
    Port->Open();
    TComLed Led;
    Led.SetLedSignal(lsRing);
    Led.SetRingDuration(Duration);
    Led.SetComPort(Port.get());
    TLedRecorder Rec(Led);
    QElapsedTimer Clock;

    Modem->SetRing(0, true);
    ASSERT_TRUE(WaitUntil([&] { return Led.GetState() == lsOn; }));
    Clock.start();
    Modem->SetRing(0, false);
    // The second ring comes half-way through the first one's lamp time.
    WaitUntil([&] { return Clock.elapsed() >= Duration / 2; });
    Modem->SetRing(0, true);
    ASSERT_TRUE(WaitUntil([&] { return Rings == 2; }));
    const qint64 SecondRing = Clock.elapsed();
    ASSERT_LT(SecondRing, Duration) << "the test machine is too slow to place the second ring";
    ASSERT_TRUE(WaitUntil([&] { return Led.GetState() == lsOff; }));
    const qint64 Off = Clock.elapsed();

    EXPECT_EQ(Rec.States, (std::vector<TLedState>{lsOn, lsOn, lsOff}));
    // A restarted timer would keep the lamp on for the whole duration after the second ring.
    EXPECT_LT(Off - SecondRing, Duration);
    Port->OnRing = nullptr;
}

TEST_F(ComLedPortTest, AttachingReadsTheStateOnlyFromAnOpenPort) {
    struct Case {
        const char* Name;
        bool Open;
        TLedState Before, After;
    };
    const Case Cases[] = {
        {"open port lights it", true, lsOff, lsOn},
        {"closed port leaves it off", false, lsOff, lsOff},
        {"closed port leaves it on", false, lsOn, lsOn},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        if (C.Open)
            Port->Open();
        TComLed Led;
        Led.SetState(C.Before);
        Led.SetComPort(Port.get());
        EXPECT_EQ(Led.GetState(), C.After);
        Led.SetComPort(nullptr);
        EXPECT_EQ(Led.GetState(), lsOff);
        Port->Close();
    }
}

TEST_F(ComLedPortTest, ChangingTheSignalDoesNotReReadTheLine) {
    PeerLine(ESC_CLRDTR);
    Port->Open();
    TComLed Led;
    Led.SetComPort(Port.get());
    ASSERT_EQ(Led.GetState(), lsOn);
    Led.SetLedSignal(lsDSR);
    EXPECT_EQ(Led.GetState(), lsOn) << "DSR is off, but the lamp waits for its next change";
    PeerLine(ESC_SETDTR);
    PeerLine(ESC_CLRDTR);
    EXPECT_TRUE(WaitUntil([&] { return Led.GetState() == lsOff; }));
}

TEST_F(ComLedPortTest, StateWritesAreRefusedWithCode19WhileAPortIsAttached) {
    struct Case {
        const char* Name;
        bool Attached;
        TLedState Write;
        bool Refused;
        TLedState After;
    };
    const Case Cases[] = {
        {"no port: on", false, lsOn, false, lsOn},
        {"no port: off", false, lsOff, false, lsOff},
        {"port: on", true, lsOn, true, lsOff},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TComLed Led;
        if (C.Attached)
            Led.SetComPort(Port.get());
        TLedRecorder Rec(Led);
        bool Refused = false;
        try {
            Led.SetState(C.Write);
            Led.SetState(C.Write);
        } catch (const EComPort& E) {
            Refused = true;
            EXPECT_EQ(E.GetCode(), 19);
            EXPECT_STREQ(E.what(), "Cannot change led state if ComPort is selected");
        }
        EXPECT_EQ(Refused, C.Refused);
        EXPECT_EQ(Led.GetState(), C.After);
        // Every write is announced, also one that does not change the lamp.
        EXPECT_EQ(Rec.States.size(), C.Refused ? 0u : 2u);
    }
}

TEST_F(ComLedPortTest, DestroyedPortLeavesTheLampOffAndDetached) {
    Port->Open();
    TComLed Led;
    Led.SetComPort(Port.get());
    ASSERT_EQ(Led.GetState(), lsOn);
    Port.reset();
    EXPECT_EQ(Led.GetComPort(), nullptr);
    EXPECT_EQ(Led.GetState(), lsOff);
    Led.SetState(lsOn);
    EXPECT_EQ(Led.GetState(), lsOn);
}

TEST_F(ComLedPortTest, NotificationsFromTheEventThreadReachTheLampOnItsOwnThread) {
    Port->SetSyncMethod(smNone);
    PeerLine(ESC_CLRRTS);
    Port->Open();
    TComLed Led;
    Led.SetLedSignal(lsCTS);
    Led.SetComPort(Port.get());
    Qt::HANDLE Thread = nullptr;
    Led.OnChange = [&](TObject*, TLedState) { Thread = QThread::currentThreadId(); };
    PeerLine(ESC_SETRTS);
    EXPECT_TRUE(WaitUntil([&] { return Led.GetState() == lsOn; }));
    EXPECT_EQ(Thread, QThread::currentThreadId());
    Port->Close();
}

namespace {

QRgb CentrePixel(const QPixmap& P) {
    return P.toImage().pixel(P.width() / 2, P.height() / 2);
}

QRgb LampCentre(TComLed& Led) {
    const QImage Shot = Led.grab().toImage();
    return Shot.pixel(Shot.width() / 2, Shot.height() / 2);
}

} // namespace

TEST(ComLedPictureTest, EveryBuiltInKindHasTwoTransparentPicturesOf15By15) {
    for (TLedKind K :
         {lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb}) {
        SCOPED_TRACE(static_cast<int>(K));
        TComLed Led;
        Led.SetKind(K == lkRedLight ? lkBulb : lkRedLight);
        Led.SetKind(K);
        for (const QPixmap* P : {&Led.GetGlyphOn(), &Led.GetGlyphOff()}) {
            ASSERT_EQ(P->size(), QSize(15, 15));
            const QImage Mask = P->mask().toImage();
            EXPECT_EQ(Mask.pixelIndex(0, 14), Mask.pixelIndex(0, 0)) << "corners are background";
            EXPECT_NE(Mask.pixelIndex(0, 14), Mask.pixelIndex(7, 7)) << "the lamp is opaque";
        }
        EXPECT_NE(Led.GetGlyphOn().toImage(), Led.GetGlyphOff().toImage());
    }
}

TEST(ComLedPictureTest, PaintShowsTheStatePictureOrOffWhileDisabled) {
    struct Case {
        const char* Name;
        TLedState State;
        bool Enabled;
        TLedState Shown;
    };
    const Case Cases[] = {
        {"on", lsOn, true, lsOn},
        {"off", lsOff, true, lsOff},
        {"disabled on", lsOn, false, lsOff},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TComLed Led;
        Led.SetKind(lkGreenLight);
        Led.SetState(C.State);
        Led.setEnabled(C.Enabled);
        const QPixmap& Expected = C.Shown == lsOn ? Led.GetGlyphOn() : Led.GetGlyphOff();
        EXPECT_EQ(LampCentre(Led), CentrePixel(Expected));
    }
}

TEST(ComLedPictureTest, OwnPicturesAreTakenOnlyForTheCustomKind) {
    QImage Own(9, 9, QImage::Format_RGB32);
    Own.fill(QColor(10, 200, 30));
    Own.setPixelColor(0, 8, QColor(1, 2, 3));
    const QPixmap OwnPicture = QPixmap::fromImage(Own);

    TComLed Led;
    Led.SetKind(lkGreenLight);
    const QImage BuiltIn = Led.GetGlyphOn().toImage();
    Led.SetGlyphOn(OwnPicture);
    EXPECT_EQ(Led.GetGlyphOn().toImage(), BuiltIn);

    Led.SetKind(lkCustom);
    Led.SetGlyphOn(OwnPicture);
    ASSERT_EQ(Led.GetGlyphOn().size(), QSize(9, 9));
    EXPECT_EQ(Led.GetGlyphOn().mask().toImage().pixelIndex(0, 8),
              Led.GetGlyphOn().mask().toImage().pixelIndex(8, 8) ^ 1);
    Led.SetState(lsOn);
    EXPECT_EQ(LampCentre(Led), QColor(10, 200, 30).rgb());
}

TEST(ComLedPictureTest, HintNamesTheLampForScreenReaders) {
    TComLed Led;
    EXPECT_EQ(Led.size(), QSize(25, 25));
    Led.setToolTip("TX state");
    EXPECT_EQ(Led.accessibleName(), "TX state");
    Led.SetState(lsOn);
    EXPECT_EQ(Led.accessibleDescription(), "on");
}
