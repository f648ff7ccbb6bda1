// A port with a value other than its default in every stored setting, and a comparison of all
// stored settings, for round trips through either medium.
#pragma once

#include <gtest/gtest.h>

#include "port/CPort.h"

inline void SetEveryStoredSetting(TCustomComPort& P) {
    P.SetPort("ttyUSB3");
    P.SetBaudRate(brCustom);
    P.SetCustomBaudRate(250000);
    P.SetStopBits(sbTwoStopBits);
    P.SetDataBits(dbSeven);
    P.GetParity().SetBits(prMark);
    P.SetEventChar(0x7E);
    P.SetDiscardNull(true);
    P.GetParity().SetCheck(true);
    P.GetParity().SetReplace(true);
    P.GetParity().SetReplaceChar(0xFF);
    P.GetBuffer().SetOutputSize(4096);
    P.GetBuffer().SetInputSize(8192);
    P.GetTimeouts().SetReadInterval(50);
    P.GetTimeouts().SetReadTotalConstant(1000);
    P.GetTimeouts().SetReadTotalMultiplier(100);
    P.GetTimeouts().SetWriteTotalConstant(7);
    P.GetTimeouts().SetWriteTotalMultiplier(-1);
    TComFlowControl& F = P.GetFlowControl();
    F.SetControlRTS(rtsToggle);
    F.SetControlDTR(dtrHandshake);
    F.SetDSRSensitivity(true);
    F.SetOutCTSFlow(true);
    F.SetOutDSRFlow(true);
    F.SetTxContinueOnXoff(true);
    F.SetXonXoffIn(true);
    F.SetXonXoffOut(false);
    F.SetXoffChar(' ');
    F.SetXonChar('#');
}

inline void ExpectSameStoredSettings(TCustomComPort& A, TCustomComPort& B) {
    EXPECT_EQ(A.GetPort(), B.GetPort());
    EXPECT_EQ(A.GetBaudRate(), B.GetBaudRate());
    EXPECT_EQ(A.GetCustomBaudRate(), B.GetCustomBaudRate());
    EXPECT_EQ(A.GetStopBits(), B.GetStopBits());
    EXPECT_EQ(A.GetDataBits(), B.GetDataBits());
    EXPECT_EQ(A.GetParity().GetBits(), B.GetParity().GetBits());
    EXPECT_EQ(A.GetEventChar(), B.GetEventChar());
    EXPECT_EQ(A.GetDiscardNull(), B.GetDiscardNull());
    EXPECT_EQ(A.GetParity().GetCheck(), B.GetParity().GetCheck());
    EXPECT_EQ(A.GetParity().GetReplace(), B.GetParity().GetReplace());
    EXPECT_EQ(A.GetParity().GetReplaceChar(), B.GetParity().GetReplaceChar());
    EXPECT_EQ(A.GetBuffer().GetOutputSize(), B.GetBuffer().GetOutputSize());
    EXPECT_EQ(A.GetBuffer().GetInputSize(), B.GetBuffer().GetInputSize());
    const TComTimeouts &TA = A.GetTimeouts(), &TB = B.GetTimeouts();
    EXPECT_EQ(TA.GetReadInterval(), TB.GetReadInterval());
    EXPECT_EQ(TA.GetReadTotalConstant(), TB.GetReadTotalConstant());
    EXPECT_EQ(TA.GetReadTotalMultiplier(), TB.GetReadTotalMultiplier());
    EXPECT_EQ(TA.GetWriteTotalConstant(), TB.GetWriteTotalConstant());
    EXPECT_EQ(TA.GetWriteTotalMultiplier(), TB.GetWriteTotalMultiplier());
    const TComFlowControl &FA = A.GetFlowControl(), &FB = B.GetFlowControl();
    EXPECT_EQ(FA.GetControlRTS(), FB.GetControlRTS());
    EXPECT_EQ(FA.GetControlDTR(), FB.GetControlDTR());
    EXPECT_EQ(FA.GetDSRSensitivity(), FB.GetDSRSensitivity());
    EXPECT_EQ(FA.GetOutCTSFlow(), FB.GetOutCTSFlow());
    EXPECT_EQ(FA.GetOutDSRFlow(), FB.GetOutDSRFlow());
    EXPECT_EQ(FA.GetTxContinueOnXoff(), FB.GetTxContinueOnXoff());
    EXPECT_EQ(FA.GetXonXoffIn(), FB.GetXonXoffIn());
    EXPECT_EQ(FA.GetXonXoffOut(), FB.GetXonXoffOut());
    EXPECT_EQ(FA.GetXoffChar(), FB.GetXoffChar());
    EXPECT_EQ(FA.GetXonChar(), FB.GetXonChar());
}

inline const TStoredProps AllStoredProps{spBasic,    spFlowControl, spBuffer,
                                         spTimeouts, spParity,      spOthers};

// The error code of what Action raises, 0 when it raises nothing.
template <typename F>
int ComErrorCode(F&& Action) {
    try {
        Action();
    } catch (const EComPort& E) {
        return E.GetCode();
    }
    return 0;
}
