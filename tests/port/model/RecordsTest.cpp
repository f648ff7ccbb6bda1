#include <gtest/gtest.h>

#include "port/CPort.h"

TEST(PortRecordsTest, EventMaskFollowsTheTableBothWays) {
    const std::pair<TComEvent, std::uint32_t> Table[] = {
        {evRxChar, 0x0001}, {evTxEmpty, 0x0004}, {evRxFlag, 0x0002}, {evRing, 0x0100},
        {evBreak, 0x0040},  {evCTS, 0x0008},     {evDSR, 0x0010},    {evError, 0x0080},
        {evRLSD, 0x0020},   {evRx80Full, 0x0400}};
    for (auto [E, Bit] : Table) {
        EXPECT_EQ(EventsToMask(TComEvents{E}), Bit) << int(E);
        EXPECT_EQ(MaskToEvents(Bit), TComEvents{E}) << int(E);
    }
    EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0xFFFFFFFF), AllComEvents) << "unknown bits are ignored";
    EXPECT_TRUE(MaskToEvents(0x0200).Empty());
}

TEST(PortRecordsTest, ErrorAndSignalBits) {
    EXPECT_EQ(ErrorsFromBits(0x0008 | 0x0002 | 0x0001 | 0x0100 | 0x0010 | 0x0400 | 0x8000, false),
              (TComErrors{ceFrame, ceOverrun, ceRxOver, ceTxFull, ceBreak, ceIO, ceMode}));
    EXPECT_TRUE(ErrorsFromBits(0x0004, false).Empty()) << "parity only while checked";
    EXPECT_EQ(ErrorsFromBits(0x0004, true), TComErrors{ceRxParity});
    EXPECT_TRUE(ErrorsFromBits(0x0020 | 0x0200, true).Empty());
    EXPECT_EQ(SignalsFromModemStatus(0xF0), (TComSignals{csCTS, csDSR, csRing, csRLSD}));
    EXPECT_EQ(SignalsFromModemStatus(0x20), TComSignals{csDSR});
    EXPECT_TRUE(SignalsFromModemStatus(0x0F).Empty());
}

TEST(PortRecordsTest, DefaultDcb) {
    TComPort P;
    DCB D = BuildDCB(P);
    EXPECT_EQ(D.DCBlength, 28u);
    EXPECT_EQ(D.BaudRate, 9600u);
    EXPECT_EQ(D.Flags, 0x0001u);
    EXPECT_EQ(D.XonLim, 256);
    EXPECT_EQ(D.XoffLim, 256);
    EXPECT_EQ(D.ByteSize, 8);
    EXPECT_EQ(D.Parity, 0);
    EXPECT_EQ(D.StopBits, 0);
    EXPECT_EQ(D.XonChar, 17);
    EXPECT_EQ(D.XoffChar, 19);
    EXPECT_EQ(D.ErrorChar, 0);
    EXPECT_EQ(D.EofChar, 0);
    EXPECT_EQ(D.EvtChar, 0);
    EXPECT_EQ(D.wReserved, 0);
    EXPECT_EQ(D.wReserved1, 0);
}

TEST(PortRecordsTest, DcbFlagsAndFields) {
    TComPort P;
    P.SetDiscardNull(true);
    EXPECT_EQ(BuildDCB(P).Flags, 0x0801u);

    P.GetParity().SetReplace(true);
    P.GetParity().SetReplaceChar('?');
    DCB D = BuildDCB(P);
    EXPECT_EQ(D.Flags & 0x0400u, 0u) << "replace without check sets no error char";
    EXPECT_EQ(D.ErrorChar, 0);
    P.GetParity().SetCheck(true);
    D = BuildDCB(P);
    EXPECT_EQ(D.Flags, 0x0801u | 0x0002u | 0x0400u);
    EXPECT_EQ(D.ErrorChar, '?');

    P.GetBuffer().SetInputSize(4096);
    EXPECT_EQ(BuildDCB(P).XonLim, 1024);
    EXPECT_EQ(BuildDCB(P).XoffLim, 1024);
    P.GetBuffer().SetInputSize(400000); // quotient 100000 keeps its low 16 bits
    EXPECT_EQ(BuildDCB(P).XonLim, 100000 & 0xFFFF);

    TComPort F;
    TComFlowControl& Fl = F.GetFlowControl();
    const std::pair<TDTRFlowControl, std::uint32_t> Dtr[] = {
        {dtrDisable, 0x0000}, {dtrEnable, 0x0010}, {dtrHandshake, 0x0020}};
    for (auto [Mode, Bits] : Dtr) {
        Fl.SetControlDTR(Mode);
        EXPECT_EQ(BuildDCB(F).Flags & 0x0030u, Bits);
    }
    const std::pair<TRTSFlowControl, std::uint32_t> Rts[] = {
        {rtsDisable, 0x0000}, {rtsEnable, 0x1000}, {rtsHandshake, 0x2000}, {rtsToggle, 0x3000}};
    for (auto [Mode, Bits] : Rts) {
        Fl.SetControlRTS(Mode);
        EXPECT_EQ(BuildDCB(F).Flags & 0x3000u, Bits);
    }
    Fl.SetControlDTR(dtrDisable);
    Fl.SetControlRTS(rtsDisable);
    Fl.SetOutCTSFlow(true);
    Fl.SetOutDSRFlow(true);
    Fl.SetDSRSensitivity(true);
    Fl.SetTxContinueOnXoff(true);
    Fl.SetXonXoffOut(true);
    Fl.SetXonXoffIn(true);
    EXPECT_EQ(BuildDCB(F).Flags,
              0x0001u | 0x0004u | 0x0008u | 0x0040u | 0x0080u | 0x0100u | 0x0200u);
}

TEST(PortRecordsTest, DcbLineFields) {
    TComPort P;
    P.SetCustomBaudRate(250000);
    EXPECT_EQ(BuildDCB(P).BaudRate, 9600u) << "the custom rate counts only with brCustom";
    P.SetBaudRate(brCustom);
    EXPECT_EQ(BuildDCB(P).BaudRate, 250000u);
    const std::pair<TBaudRate, std::uint32_t> Rates[] = {{br110, 110},       {br14400, 14400},
                                                         {br56000, 56000},   {br115200, 115200},
                                                         {br128000, 128000}, {br256000, 256000}};
    for (auto [Rate, Bps] : Rates) {
        P.SetBaudRate(Rate);
        EXPECT_EQ(BuildDCB(P).BaudRate, Bps);
    }
    P.SetDataBits(dbFive);
    P.SetStopBits(sbOne5StopBits);
    P.GetParity().SetBits(prSpace);
    P.SetEventChar('\r');
    P.GetFlowControl().SetXonChar(1);
    P.GetFlowControl().SetXoffChar(2);
    DCB D = BuildDCB(P);
    EXPECT_EQ(D.ByteSize, 5);
    EXPECT_EQ(D.StopBits, 1);
    EXPECT_EQ(D.Parity, 4);
    EXPECT_EQ(D.EvtChar, '\r');
    EXPECT_EQ(D.XonChar, 1);
    EXPECT_EQ(D.XoffChar, 2);
}

TEST(PortRecordsTest, TimeoutsPassTheirBitPattern) {
    TComTimeouts T;
    COMMTIMEOUTS C = BuildTimeouts(T);
    EXPECT_EQ(C.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(C.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(C.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(C.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(C.WriteTotalTimeoutConstant, 1000u);
    T.SetReadInterval(50);
    T.SetReadTotalMultiplier(100);
    T.SetReadTotalConstant(1000);
    C = BuildTimeouts(T);
    EXPECT_EQ(C.ReadIntervalTimeout, 50u);
    EXPECT_EQ(C.ReadTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(C.ReadTotalTimeoutConstant, 1000u);
}
