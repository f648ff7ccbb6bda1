#include <gtest/gtest.h>

#include <string>

#include "port/CPortConv.h"

template <typename E>
static void ExpectRoundTrip(int Count, std::string (*ToStr)(E), E (*FromStr)(const std::string&)) {
    for (int I = 0; I < Count; ++I)
        EXPECT_EQ(FromStr(ToStr(static_cast<E>(I))), static_cast<E>(I)) << ToStr(E(I));
    EXPECT_EQ(ToStr(static_cast<E>(Count)), ""); // a damaged ordinal reads no table entry
}

TEST(SettingText, TablesRoundTripFoldCaseAndFallBack) {
    ExpectRoundTrip<TBaudRate>(16, BaudRateToStr, StrToBaudRate);
    ExpectRoundTrip<TStopBits>(3, StopBitsToStr, StrToStopBits);
    ExpectRoundTrip<TDataBits>(4, DataBitsToStr, StrToDataBits);
    ExpectRoundTrip<TParityBits>(5, ParityToStr, StrToParity);
    ExpectRoundTrip<TFlowControl>(4, FlowControlToStr, StrToFlowControl);
    ExpectRoundTrip<TRTSFlowControl>(4, RTSControlToStr, StrToRTSControl);
    ExpectRoundTrip<TDTRFlowControl>(3, DTRControlToStr, StrToDTRControl);
    EXPECT_EQ(StrToBaudRate("cUsToM"), brCustom);
    EXPECT_EQ(StrToFlowControl("none"), fcNone);
    for (const char* Unmatched : {"12345", " 9600", "115200 ", ""})
        EXPECT_EQ(StrToBaudRate(Unmatched), br9600) << Unmatched;
    EXPECT_EQ(StrToStopBits("1,5"), sbOneStopBit);
    EXPECT_EQ(StrToDataBits("9"), dbEight);
    EXPECT_EQ(StrToParity("Hardware"), prNone); // each table matches only its own texts
    EXPECT_EQ(StrToFlowControl("Odd"), fcCustom);
    EXPECT_EQ(StrToDTRControl("Toggle"), dtrDisable);
    EXPECT_TRUE(StrToYesNo("yEs"));
    for (const char* False : {"", "1", "True", "Y", "Yes "})
        EXPECT_FALSE(StrToYesNo(False)) << False;
}

TEST(SettingChar, AllCodesRoundTripAndTextsParseOrGiveZero) {
    for (int C = 0; C < 256; ++C) {
        const std::string Text = SettingCharToStr(static_cast<std::uint8_t>(C));
        EXPECT_EQ(Text, C >= 33 && C <= 127 ? std::string(1, char(C)) : "#" + std::to_string(C));
        EXPECT_EQ(StrToSettingChar(Text), C) << Text;
    }
    const std::pair<const char*, int> Cases[] = {
        {"", 0},      {"#", '#'},     {"AB", 'A'},        {"#017", 17},      {"#300", 44},
        {"#-1", 255}, {"#  +65", 65}, {"#$41", 0x41},     {"#0X1f", 0x1F},   {"#$FFFFFFFF", 255},
        {"#x", 0},    {"##", 0},      {"#$", 0},          {"#0x", 0},        {"#65 ", 0},
        {"#1a", 0},   {"#-", 0},      {"#2147483648", 0}, {"#$100000000", 0}};
    for (const auto& [Text, Code] : Cases)
        EXPECT_EQ(StrToSettingChar(Text), Code) << Text;
}
