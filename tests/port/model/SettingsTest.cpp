#include <gtest/gtest.h>

#include "port/CPort.h"

namespace {

// Records which record each setter asks to reapply (on a closed port nothing reaches a device).
class TApplyCountingPort : public TComPort {
public:
    int Dcb = 0, Timeouts = 0, Buffer = 0;

protected:
    void ApplyDCB() override {
        ++Dcb;
        TComPort::ApplyDCB();
    }
    void ApplyTimeouts() override {
        ++Timeouts;
        TComPort::ApplyTimeouts();
    }
    void ApplyBuffer() override {
        ++Buffer;
        TComPort::ApplyBuffer();
    }
};

} // namespace

TEST(PortSettingsTest, FreshPortDefaults) {
    TComPort P;
    EXPECT_EQ(P.GetBaudRate(), br9600);
    EXPECT_EQ(P.GetCustomBaudRate(), 9600);
    EXPECT_EQ(P.GetPort(), "COM1");
    EXPECT_EQ(P.GetDataBits(), dbEight);
    EXPECT_EQ(P.GetStopBits(), sbOneStopBit);
    EXPECT_EQ(P.GetParity().GetBits(), prNone);
    EXPECT_FALSE(P.GetParity().GetCheck());
    EXPECT_FALSE(P.GetParity().GetReplace());
    EXPECT_EQ(P.GetParity().GetReplaceChar(), 0);
    EXPECT_EQ(P.GetEvents().ToBits(), 0x03FF);
    EXPECT_EQ(P.GetSyncMethod(), smThreadSync);
    EXPECT_FALSE(P.GetConnected());
    EXPECT_FALSE(P.GetDiscardNull());
    EXPECT_EQ(P.GetEventChar(), 0);
    EXPECT_TRUE(P.GetTriggersOnRxChar());
    EXPECT_EQ(P.GetEventThreadPriority(), tpNormal);
    EXPECT_EQ(P.GetStoredProps(), TStoredProps{spBasic});
    EXPECT_EQ(P.GetTimeouts().GetReadInterval(), -1);
    EXPECT_EQ(P.GetTimeouts().GetReadTotalMultiplier(), 0);
    EXPECT_EQ(P.GetTimeouts().GetReadTotalConstant(), 0);
    EXPECT_EQ(P.GetTimeouts().GetWriteTotalMultiplier(), 100);
    EXPECT_EQ(P.GetTimeouts().GetWriteTotalConstant(), 1000);
    // The flow-control fields are seen through the default record in PortRecordsTest.
    const TComFlowControl& F = P.GetFlowControl();
    EXPECT_EQ(F.GetFlowControl(), fcNone);
    EXPECT_EQ(P.GetBuffer().GetInputSize(), 1024);
    EXPECT_EQ(P.GetBuffer().GetOutputSize(), 1024);
    EXPECT_EQ(P.GetParity().GetComPort(), &P);
    EXPECT_EQ(P.GetBuffer().GetComPort(), &P);
    EXPECT_EQ(TComTimeouts().GetComPort(), nullptr);
}

TEST(PortSettingsTest, OddBufferSizesAreLowered) {
    TComBuffer B;
    const std::pair<int, int> Cases[] = {{1025, 1024}, {1, 0}, {-3, -3}, {2048, 2048}, {7, 6}};
    for (auto [In, Stored] : Cases) {
        B.SetInputSize(In);
        EXPECT_EQ(B.GetInputSize(), Stored) << In;
        B.SetOutputSize(In);
        EXPECT_EQ(B.GetOutputSize(), Stored) << In;
    }
}

TEST(PortSettingsTest, FlowControlSummaryBothWays) {
    TApplyCountingPort P;
    TComFlowControl& F = P.GetFlowControl();
    F.SetFlowControl(fcHardware);
    EXPECT_EQ(F.GetFlowControl(), fcHardware);
    EXPECT_EQ(F.GetControlRTS(), rtsHandshake);
    EXPECT_TRUE(F.GetOutCTSFlow());
    F.SetXonXoffIn(true);
    EXPECT_EQ(F.GetFlowControl(), fcCustom);

    F.SetFlowControl(fcSoftware);
    EXPECT_EQ(F.GetFlowControl(), fcSoftware);
    EXPECT_EQ(F.GetControlRTS(), rtsDisable);
    EXPECT_FALSE(F.GetOutCTSFlow());

    // DTR handshake and DSR flow take no part in the summary.
    F.SetFlowControl(fcNone);
    F.SetControlDTR(dtrHandshake);
    F.SetOutDSRFlow(true);
    EXPECT_EQ(F.GetFlowControl(), fcNone);

    F.SetControlRTS(rtsToggle);
    EXPECT_EQ(F.GetFlowControl(), fcCustom);
    int Before = P.Dcb;
    F.SetFlowControl(fcCustom);
    EXPECT_EQ(F.GetControlRTS(), rtsToggle);
    EXPECT_TRUE(F.GetOutDSRFlow());
    EXPECT_EQ(P.Dcb, Before + 1) << "the summary reapplies even when it changes nothing";
}

TEST(PortSettingsTest, SettersCompareFirstAndPickTheirRecord) {
    TApplyCountingPort P;
    P.SetBaudRate(br9600);
    P.GetParity().SetBits(prNone);
    P.GetTimeouts().SetReadInterval(-1);
    P.GetBuffer().SetInputSize(1024);
    EXPECT_EQ(P.Dcb + P.Timeouts + P.Buffer, 0);

    P.SetBaudRate(br19200);
    P.SetCustomBaudRate(250000);
    P.SetDataBits(dbSeven);
    P.SetStopBits(sbTwoStopBits);
    P.SetDiscardNull(true);
    P.SetEventChar('\n');
    P.GetParity().SetCheck(true);
    P.GetFlowControl().SetXonChar(1);
    EXPECT_EQ(P.Dcb, 8);
    P.GetTimeouts().SetReadTotalConstant(5);
    P.GetTimeouts().SetWriteTotalMultiplier(5);
    EXPECT_EQ(P.Timeouts, 2);
    P.GetBuffer().SetOutputSize(4096);
    EXPECT_EQ(P.Buffer, 1);
    P.SetEvents(TComEvents{evRxChar});
    EXPECT_EQ(P.Dcb + P.Timeouts + P.Buffer, 11);
}

TEST(PortSettingsTest, WholeObjectCopiesAlwaysApplyAndKeepBackReference) {
    TApplyCountingPort P;
    TComParity Par;
    Par.SetBits(prEven);
    Par.SetReplaceChar('?');
    P.SetParity(P.GetParity()); // same values still apply
    P.SetParity(Par);
    EXPECT_EQ(P.Dcb, 2);
    EXPECT_EQ(P.GetParity().GetBits(), prEven);
    EXPECT_EQ(P.GetParity().GetReplaceChar(), '?');
    EXPECT_EQ(P.GetParity().GetComPort(), &P);

    TComTimeouts T;
    T.SetReadInterval(50);
    P.SetTimeouts(T);
    EXPECT_EQ(P.Timeouts, 1);
    EXPECT_EQ(P.GetTimeouts().GetReadInterval(), 50);

    TComBuffer B;
    B.SetInputSize(4096);
    P.SetBuffer(B);
    EXPECT_EQ(P.Buffer, 1);
    EXPECT_EQ(P.GetBuffer().GetInputSize(), 4096);

    TComFlowControl F;
    F.SetFlowControl(fcHardware);
    F.SetXoffChar(0x55);
    P.SetFlowControl(F);
    EXPECT_EQ(P.Dcb, 3);
    EXPECT_EQ(P.GetFlowControl().GetFlowControl(), fcHardware);
    EXPECT_EQ(P.GetFlowControl().GetXoffChar(), 0x55);
}

TEST(PortSettingsTest, AssignCopiesWithoutSettersAndRefusesOtherClasses) {
    TApplyCountingPort P;
    TComTimeouts T;
    T.SetReadInterval(50);
    T.SetReadTotalMultiplier(100);
    T.SetReadTotalConstant(1000);
    T.SetWriteTotalMultiplier(1);
    T.SetWriteTotalConstant(2);
    P.GetTimeouts().Assign(&T);
    EXPECT_EQ(P.Timeouts, 0) << "AssignTo writes fields directly";
    EXPECT_EQ(P.GetTimeouts().GetReadTotalConstant(), 1000);
    EXPECT_EQ(P.GetTimeouts().GetWriteTotalConstant(), 2);

    TComBuffer Before;
    Before.Assign(&P.GetBuffer());
    EXPECT_THROW(P.GetBuffer().Assign(&T), std::exception);
    EXPECT_EQ(P.GetBuffer().GetInputSize(), Before.GetInputSize());
    EXPECT_THROW(P.GetParity().Assign(&P.GetFlowControl()), std::exception);
    EXPECT_EQ(P.GetParity().GetBits(), prNone);
}

TEST(PortSettingsTest, CopiesAreUnownedAndOwnedGroupsKeepTheirPort) {
    TApplyCountingPort P;
    TComParity Copy = P.GetParity();
    EXPECT_EQ(Copy.GetComPort(), nullptr);
    Copy.SetBits(prOdd);
    EXPECT_EQ(P.Dcb, 0) << "a copy must not reconfigure the port it came from";

    P.GetTimeouts() = TComTimeouts();
    EXPECT_EQ(P.GetTimeouts().GetComPort(), &P);
    P.GetTimeouts().SetReadInterval(50);
    EXPECT_EQ(P.Timeouts, 1);
}

TEST(PortSettingsTest, SetupDialogWithoutHookRaises) {
    TComPort P;
    TCustomComPort::SetSetupDialogHook(nullptr);
    EXPECT_THROW(P.ShowSetupDialog(), EComPort);
    TCustomComPort* Seen = nullptr;
    TCustomComPort::SetSetupDialogHook([&](TCustomComPort* C) { Seen = C; });
    P.ShowSetupDialog();
    EXPECT_EQ(Seen, &P);
    TCustomComPort::SetSetupDialogHook(nullptr);
}
