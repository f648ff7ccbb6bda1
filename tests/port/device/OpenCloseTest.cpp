#include "PortTestKit.h"

#include <thread>

#include "framework/Application.h"
#include "tests/common/TempDir.h"

namespace {

// Counts the device reconfigurations that really reached the device.
class TCountingPort : public TComPort {
public:
    int Setups = 0;
    int DcbWrites = 0;

protected:
    void SetupComPort() override {
        ++Setups;
        TComPort::SetupComPort();
    }
    void ApplyDCB() override {
        if (CanApply())
            ++DcbWrites;
        TComPort::ApplyDCB();
    }
};

void Record(TCustomComPort& P, TEventLog& Log) {
    P.OnBeforeOpen = [&Log](TObject*) { Log.Add("BeforeOpen"); };
    P.OnAfterOpen = [&Log](TObject*) { Log.Add("AfterOpen"); };
    P.OnBeforeClose = [&Log](TObject*) { Log.Add("BeforeClose"); };
    P.OnAfterClose = [&Log](TObject*) { Log.Add("AfterClose"); };
    P.OnCTSChange = [&Log](TObject*, bool On) { Log.Add(On ? "CTS on" : "CTS off"); };
    P.OnDSRChange = [&Log](TObject*, bool On) { Log.Add(On ? "DSR on" : "DSR off"); };
    P.OnRLSDChange = [&Log](TObject*, bool On) { Log.Add(On ? "RLSD on" : "RLSD off"); };
}

} // namespace

using OpenCloseTest = TPairTest;

// Once more over a network port. The served pty keeps 8 data bits without parity and no rate
// outside the standard ones, so there only the standard rates are read back at the far end.
class OpenCloseOnEachPortTest : public TOnEachPort<TPairTest> {};
INSTANTIATE_TEST_SUITE_P(Ports, OpenCloseOnEachPortTest, ::testing::Values(pkVirtual, pkRfc2217),
                         PortKindName);

TEST_F(OpenCloseTest, MissingDeviceRaisesCodeOneAndStaysClosed) {
    TComPort P;
    P.SetPort("COM1");

    Record(P, Log);
    try {
        P.Open();
        FAIL() << "opened a missing device";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 1);
        EXPECT_EQ(E.GetWinCode(), ENOENT);
        EXPECT_EQ(E.Message(),
                  "Unable to open com port (win error code: " + std::to_string(ENOENT) + ")");
    }
    EXPECT_FALSE(P.GetConnected());
    EXPECT_EQ(P.GetHandle(), InvalidHandle);
    EXPECT_EQ(Log.Entries(), std::vector<std::string>{"BeforeOpen"});
}

TEST_F(OpenCloseTest, NotificationOrderForLinksAndHandlers) {

    Record(Port, Log);
    TComLink Link;
    Link.OnConn = [&](TObject*, bool On) { Log.Add(On ? "link Conn on" : "link Conn off"); };
    Link.OnCTSChange = [&](TObject*, bool On) { Log.Add(On ? "link CTS on" : "link CTS off"); };
    Link.OnDSRChange = [&](TObject*, bool On) { Log.Add(On ? "link DSR on" : "link DSR off"); };
    Link.OnRLSDChange = [&](TObject*, bool On) { Log.Add(On ? "link RLSD on" : "link RLSD off"); };
    Port.RegisterLink(&Link);
    OpenPeer();
    ASSERT_TRUE(EscapeFunction(Peer, ESC_SETRTS)); // our CTS on
    ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRDTR)); // our DSR and RLSD off
    Port.Open();
    EXPECT_EQ(Log.Entries(), (std::vector<std::string>{"BeforeOpen", "link Conn on", "AfterOpen",
                                                       "link CTS on", "CTS on", "link DSR off",
                                                       "DSR off", "link RLSD off", "RLSD off"}));
    Log.Clear();
    Port.Close();
    EXPECT_EQ(Log.Entries(),
              (std::vector<std::string>{"link CTS off", "link DSR off", "link RLSD off", "CTS off",
                                        "DSR off", "RLSD off", "BeforeClose", "link Conn off",
                                        "AfterClose"}));
    Port.UnRegisterLink(&Link);
}

TEST_F(OpenCloseTest, OpenAndCloseAreIdempotent) {

    Record(Port, Log);
    Port.Close();
    EXPECT_EQ(Log.Size(), 0u);
    Port.Open();
    const std::size_t AfterOpen = Log.Size();
    Port.Open();
    Port.SetConnected(true);
    EXPECT_EQ(Log.Size(), AfterOpen);
    Port.SetConnected(false);
    EXPECT_FALSE(Port.GetConnected());
    const std::size_t AfterClose = Log.Size();
    Port.Close();
    EXPECT_EQ(Log.Size(), AfterClose);
}

TEST_P(OpenCloseOnEachPortTest, SettingsReachTheDeviceOnlyWhenOpen) {
    TCountingPort P;
    P.SetPort(NameA);
    P.SetBaudRate(br19200); // closed: stored only
    EXPECT_EQ(P.DcbWrites, 0);
    P.Open();
    EXPECT_EQ(P.Setups, 1);
    EXPECT_EQ(FarBaudRate(), 19200u);
    P.SetBaudRate(br57600);
    EXPECT_EQ(FarBaudRate(), 57600u);
    P.SetBaudRate(br57600);
    EXPECT_EQ(P.DcbWrites, 2) << "equal value reapplies nothing";

    P.BeginUpdate();
    P.BeginUpdate();
    P.SetBaudRate(br115200);
    P.SetDataBits(dbSeven);
    P.GetParity().SetBits(prEven);
    P.EndUpdate();
    EXPECT_EQ(FarBaudRate(), 57600u) << "still inside the outer bracket";
    EXPECT_EQ(P.DcbWrites, 2);
    P.EndUpdate();
    EXPECT_EQ(P.DcbWrites, 3) << "one reconfiguration at the outermost EndUpdate";
    EXPECT_EQ(P.Setups, 2);
    EXPECT_EQ(FarBaudRate(), 115200u);
    DCB D;
    ASSERT_TRUE(GetDeviceState(P.GetHandle(), D));
    EXPECT_EQ(D.ByteSize, 7);
    EXPECT_EQ(D.Parity, EVENPARITY);
    P.EndUpdate();
    EXPECT_EQ(P.Setups, 2);

    P.SetBaudRate(brCustom);
    P.SetCustomBaudRate(Served ? 230400 : 250000);
    EXPECT_EQ(FarBaudRate(), Served ? 230400u : 250000u);
    P.GetFlowControl().SetFlowControl(fcHardware);
    ASSERT_TRUE(GetDeviceState(P.GetHandle(), D));
    EXPECT_EQ(D.Flags & DCB_fRtsControlMask, RTS_CONTROL_HANDSHAKE);
    const int Before = P.DcbWrites;
    P.GetFlowControl().SetFlowControl(fcCustom);
    EXPECT_EQ(P.DcbWrites, Before + 1);

    P.GetTimeouts().SetReadInterval(50);
    COMMTIMEOUTS T;
    ASSERT_TRUE(GetDeviceTimeouts(P.GetHandle(), T));
    EXPECT_EQ(T.ReadIntervalTimeout, 50u);
    P.GetBuffer().SetInputSize(8191);
    std::uint32_t In = 0, Out = 0;
    ASSERT_TRUE(GetQueueSizes(P.GetHandle(), In, Out));
    EXPECT_EQ(In, 8190u);
}

TEST_F(OpenCloseTest, OpenInsideUpdateConfiguresAtEndUpdate) {
    TCountingPort P;
    P.SetPort(NameA);
    P.SetBaudRate(br38400);
    P.BeginUpdate();
    P.Open();
    EXPECT_TRUE(P.GetConnected());
    EXPECT_EQ(P.DcbWrites, 0);
    EXPECT_NE(Modem->LineState(0).BaudRate, 38400u);
    P.EndUpdate();
    EXPECT_EQ(P.DcbWrites, 1);
    EXPECT_EQ(Modem->LineState(0).BaudRate, 38400u);
}

TEST_F(OpenCloseTest, RefusedConfigurationClosesAgain) {

    Record(Port, Log);
    Port.SetBaudRate(brCustom);
    Port.SetCustomBaudRate(0);
    try {
        Port.Open();
        FAIL() << "a zero baud rate was accepted";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 7);
        EXPECT_NE(E.GetWinCode(), -1);
    }
    EXPECT_FALSE(Port.GetConnected());
    EXPECT_EQ(Port.GetHandle(), InvalidHandle);
    EXPECT_EQ(Log.Count("AfterOpen"), 0u);
    // The handle was really released: the device opens again.
    Port.SetBaudRate(br9600);
    Port.Open();
    EXPECT_TRUE(Port.GetConnected());
    // Refused on an open port: the error leaves the setter, the port stays open.
    Port.SetCustomBaudRate(1200);
    Port.SetBaudRate(brCustom);
    EXPECT_THROW(Port.SetCustomBaudRate(0), EComPort);
    EXPECT_TRUE(Port.GetConnected());
    EXPECT_EQ(Port.GetCustomBaudRate(), 0);
}

// A negative custom rate, from code or from an ini file, is refused with the port's error
// instead of reaching the device as some four billion baud.
TEST_F(OpenCloseTest, NegativeCustomBaudRateIsRefused) {
    TTempDir Dir;
    const std::string Ini = Dir.Write("port.ini", "[ComPort]\nPort=" + NameA +
                                                      "\nBaudRate=Custom\nCustomBaudRate=-1\n");
    struct Case {
        const char* What;
        std::function<void(TComPort&)> Set;
    };
    const Case Cases[] = {
        {"in code",
         [](TComPort& P) {
             P.SetBaudRate(brCustom);
             P.SetCustomBaudRate(-1);
         }},
        {"from an ini file", [&](TComPort& P) { P.LoadSettings(stIniFile, Ini); }},
    };
    for (const auto& C : Cases) {
        TComPort P;
        P.SetName("ComPort");
        P.SetPort(NameA);
        C.Set(P);
        ASSERT_EQ(P.GetCustomBaudRate(), -1) << C.What;
        try {
            P.Open();
            ADD_FAILURE() << C.What << ": opened at rate -1";
        } catch (const EComPort& E) {
            EXPECT_EQ(E.GetCode(), CError_SetStateFailed) << C.What;
            EXPECT_EQ(E.GetWinCode(), EINVAL) << C.What;
        }
        EXPECT_FALSE(P.GetConnected()) << C.What;
        EXPECT_EQ(Modem->LineState(0).BaudRate, 9600u) << C.What;
    }
    // On an open port the setter raises and the device keeps its rate.
    Port.SetBaudRate(brCustom);
    Port.SetCustomBaudRate(250000);
    Port.Open();
    EXPECT_THROW(Port.SetCustomBaudRate(-1), EComPort);
    EXPECT_TRUE(Port.GetConnected());
    EXPECT_EQ(Modem->LineState(0).BaudRate, 250000u);
}

// 1.5 stop bits go only with 5 data bits and 2 only with more: any other pairing is refused
// with the device's error, and the line keeps what it had.
TEST_F(OpenCloseTest, StopBitsTheLineCannotCarryAreRefused) {
    Port.Open();
    const struct {
        TDataBits Bits;
        TStopBits Stop;
        bool Carried;
    } Cases[] = {{dbEight, sbOne5StopBits, false},
                 {dbSix, sbOne5StopBits, false},
                 {dbFive, sbTwoStopBits, false},
                 {dbFive, sbOne5StopBits, true},
                 {dbSeven, sbTwoStopBits, true}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Bits) + " " + std::to_string(C.Stop));
        Port.BeginUpdate();
        Port.SetDataBits(dbEight);
        Port.SetStopBits(sbOneStopBit);
        Port.EndUpdate();
        Port.BeginUpdate();
        Port.SetDataBits(C.Bits);
        Port.SetStopBits(C.Stop);
        try {
            Port.EndUpdate();
            EXPECT_TRUE(C.Carried);
        } catch (const EComPort& E) {
            EXPECT_FALSE(C.Carried);
            EXPECT_EQ(E.GetCode(), CError_SetStateFailed);
            EXPECT_EQ(E.GetWinCode(), EINVAL);
        }
        EXPECT_TRUE(Port.GetConnected());
        const DCB D = Modem->LineState(0);
        EXPECT_EQ(D.ByteSize, C.Carried ? 5 + C.Bits : 8);
        EXPECT_EQ(D.StopBits, C.Carried ? static_cast<std::uint8_t>(C.Stop) : ONESTOPBIT);
    }
}

TEST_F(OpenCloseTest, NegativeQueueSizeIsRefusedNotAllocated) {
    Port.GetBuffer().SetInputSize(-3);
    try {
        Port.Open();
        FAIL() << "a negative queue size was accepted";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 9);
        EXPECT_EQ(E.GetWinCode(), EINVAL);
    }
    EXPECT_FALSE(Port.GetConnected());
    EXPECT_EQ(Port.GetBuffer().GetInputSize(), -3);

    Port.GetBuffer().SetInputSize(2048);
    Port.Open();
    EXPECT_THROW(Port.GetBuffer().SetOutputSize(-2), EComPort);
    EXPECT_TRUE(Port.GetConnected());
    std::uint32_t In = 0, Out = 0;
    ASSERT_TRUE(GetQueueSizes(Port.GetHandle(), In, Out));
    EXPECT_EQ(In, 2048u);
    EXPECT_EQ(Out, 1024u) << "the device keeps its previous queue";
}

TEST_F(OpenCloseTest, PortChangeReopensOnTheNewDevice) {
    auto Second = TVirtualNullModem::Create(NameA + "x", NameB + "x");
    ASSERT_TRUE(Second);

    Record(Port, Log);
    Port.SetPort(NameA + "x"); // closed: stored only
    EXPECT_EQ(Log.Size(), 0u);
    Port.SetPort(NameA);
    Port.Open();
    const THandle First = Port.GetHandle();
    Log.Clear();
    Port.SetPort(NameA);
    EXPECT_EQ(Log.Size(), 0u) << "the same text does not reopen";
    Port.SetPort(NameA + "x");
    EXPECT_TRUE(Port.GetConnected());
    EXPECT_NE(Port.GetHandle(), First);
    EXPECT_EQ(Log.Count("AfterClose"), 1u);
    EXPECT_EQ(Log.Count("AfterOpen"), 1u);
    // The first device is free again.
    TSerialHandle H = SerialOpen(NameA);
    EXPECT_NE(H, InvalidSerialHandle);
    SerialClose(H);
    Port.Close();
}

TEST_F(OpenCloseTest, ThreadShapedSettingsAreRefusedWhileOpen) {
    Port.Open();
    try {
        Port.SetSyncMethod(smNone);
        FAIL();
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 14);
        EXPECT_EQ(E.GetWinCode(), -1);
    }
    EXPECT_EQ(Port.GetSyncMethod(), smThreadSync);
    Port.SetSyncMethod(smThreadSync); // same value: nothing happens
    EXPECT_THROW(Port.SetEventThreadPriority(tpLowest), EComPort);
    EXPECT_EQ(Port.GetEventThreadPriority(), tpNormal);
    Port.Close();
    Port.SetSyncMethod(smNone);
    EXPECT_EQ(Port.GetSyncMethod(), smNone);
}

TEST_F(OpenCloseTest, WaitForEventOnlyWithoutThread) {
    Port.Open();
    TComEvents E{evRxChar};
    try {
        Port.WaitForEvent(E, nullptr, 0);
        FAIL();
    } catch (const EComPort& Ex) {
        EXPECT_EQ(Ex.GetCode(), 20);
        EXPECT_EQ(Ex.Message(), "Cannot wait for event if event thread is created");
    }
    Port.Close();
    Port.SetEvents(TComEvents{});
    Port.Open();
    E = TComEvents{evRxChar};
    Port.WaitForEvent(E, nullptr, 0);
    EXPECT_TRUE(E.Empty());

    // Events that occur before the wait starts are forgotten, so the peer keeps ringing
    // until the waiter has seen one.
    OpenPeer();
    auto Seen = CreateSyncEvent(true, false);
    std::thread Ringer([&] {
        bool On = true;
        do {
            Modem->SetRing(0, On);
            On = !On;
        } while (WaitForSyncEvent(Seen, 20) != 0);
    });
    E = TComEvents{evRing, evRxFlag};
    Port.WaitForEvent(E, nullptr, 5000);
    Seen->Set();
    Ringer.join();
    EXPECT_EQ(E, TComEvents{evRing});

    auto Stop = CreateSyncEvent(true, true);
    E = TComEvents{evRing};
    Port.WaitForEvent(E, Stop, 2000);
    EXPECT_TRUE(E.Empty()) << "ended by the stop event";
}

TEST_F(OpenCloseTest, LoadedOpensAStoredConnectedPort) {
    Port.BeginLoading();
    Port.SetConnected(true);
    Port.SetBaudRate(br4800);
    EXPECT_EQ(Port.GetHandle(), InvalidHandle) << "loading only stores";
    Port.Loaded();
    EXPECT_TRUE(Port.GetConnected());
    EXPECT_EQ(Modem->LineState(0).BaudRate, 4800u);
}

TEST_F(OpenCloseTest, LoadedReportsAnOpenFailureAndStaysClosed) {
    std::vector<std::string> Reported;
    Application->OnException = [&](TObject*, const std::exception_ptr& E) {
        Reported.push_back(ExceptionMessage(E));
    };
    TComPort P;
    P.SetPort("no-such-device");
    P.BeginLoading();
    P.SetConnected(true);
    EXPECT_NO_THROW(P.Loaded());
    Application->OnException = nullptr;
    EXPECT_FALSE(P.GetConnected());
    ASSERT_EQ(Reported.size(), 1u);
    EXPECT_EQ(Reported[0].rfind("Unable to open com port", 0), 0u);
}
