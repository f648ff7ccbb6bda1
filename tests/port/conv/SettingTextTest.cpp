#include <gtest/gtest.h>

#include <string>

#include "port/CPortConv.h"

// Every value's text reads back as the same value, and the texts are distinct within a table.
template <typename E>
static void ExpectRoundTrip(int Count, std::string (*ToStr)(E), E (*FromStr)(const std::string&)) {
    for (int I = 0; I < Count; ++I) {
        const auto Value = static_cast<E>(I);
        const std::string Text = ToStr(Value);
        EXPECT_FALSE(Text.empty()) << I;
        EXPECT_EQ(FromStr(Text), Value) << Text;
    }
}

TEST(SettingText, EveryTableRoundTrips) {
    ExpectRoundTrip<TBaudRate>(16, BaudRateToStr, StrToBaudRate);
    ExpectRoundTrip<TStopBits>(3, StopBitsToStr, StrToStopBits);
    ExpectRoundTrip<TDataBits>(4, DataBitsToStr, StrToDataBits);
    ExpectRoundTrip<TParityBits>(5, ParityToStr, StrToParity);
    ExpectRoundTrip<TFlowControl>(4, FlowControlToStr, StrToFlowControl);
    ExpectRoundTrip<TRTSFlowControl>(4, RTSControlToStr, StrToRTSControl);
    ExpectRoundTrip<TDTRFlowControl>(3, DTRControlToStr, StrToDTRControl);
}

TEST(SettingText, ExactTexts) {
    EXPECT_EQ(BaudRateToStr(brCustom), "Custom");
    EXPECT_EQ(BaudRateToStr(br110), "110");
    EXPECT_EQ(BaudRateToStr(br56000), "56000");
    EXPECT_EQ(BaudRateToStr(br256000), "256000");
    EXPECT_EQ(StopBitsToStr(sbOne5StopBits), "1.5");
    EXPECT_EQ(DataBitsToStr(dbFive), "5");
    EXPECT_EQ(ParityToStr(prSpace), "Space");
    EXPECT_EQ(FlowControlToStr(fcSoftware), "Software");
    EXPECT_EQ(RTSControlToStr(rtsToggle), "Toggle");
    EXPECT_EQ(DTRControlToStr(dtrHandshake), "Handshake");
    EXPECT_EQ(YesNoToStr(true), "Yes");
    EXPECT_EQ(YesNoToStr(false), "No");
}

TEST(SettingText, OrdinalOutsideTableHasNoText) {
    EXPECT_EQ(BaudRateToStr(static_cast<TBaudRate>(16)), "");
    EXPECT_EQ(RTSControlToStr(static_cast<TRTSFlowControl>(255)), "");
}

TEST(SettingText, MatchFoldsCaseButNeverTrims) {
    EXPECT_EQ(StrToBaudRate("115200"), br115200);
    EXPECT_EQ(StrToBaudRate("cUsToM"), brCustom);
    EXPECT_EQ(StrToFlowControl("custom"), fcCustom);
    EXPECT_EQ(StrToParity("EVEN"), prEven);
    EXPECT_EQ(StrToFlowControl("none"), fcNone);
    EXPECT_EQ(StrToRTSControl("handSHAKE"), rtsHandshake);
    EXPECT_EQ(StrToBaudRate(" 9600"), br9600);
    EXPECT_EQ(StrToBaudRate("115200 "), br9600);
    EXPECT_EQ(StrToParity(" Odd"), prNone);
}

TEST(SettingText, UnmatchedTextGivesFallback) {
    EXPECT_EQ(StrToBaudRate("12345"), br9600);
    EXPECT_EQ(StrToBaudRate(""), br9600);
    EXPECT_EQ(StrToStopBits("1,5"), sbOneStopBit);
    EXPECT_EQ(StrToStopBits("2"), sbTwoStopBits);
    EXPECT_EQ(StrToDataBits("9"), dbEight);
    EXPECT_EQ(StrToDataBits("5"), dbFive);
    EXPECT_EQ(StrToParity("Bogus"), prNone);
    EXPECT_EQ(StrToFlowControl("Bogus"), fcCustom);
    EXPECT_EQ(StrToFlowControl(""), fcCustom);
    EXPECT_EQ(StrToRTSControl("Bogus"), rtsDisable);
    EXPECT_EQ(StrToDTRControl(""), dtrDisable);
    // Each table matches only its own texts.
    EXPECT_EQ(StrToParity("Hardware"), prNone);
    EXPECT_EQ(StrToFlowControl("Odd"), fcCustom);
    EXPECT_EQ(StrToDTRControl("Toggle"), dtrDisable);
}

TEST(SettingText, YesNo) {
    EXPECT_TRUE(StrToYesNo("Yes"));
    EXPECT_TRUE(StrToYesNo("yEs"));
    EXPECT_FALSE(StrToYesNo(""));
    EXPECT_FALSE(StrToYesNo("1"));
    EXPECT_FALSE(StrToYesNo("True"));
    EXPECT_FALSE(StrToYesNo("Y"));
    EXPECT_FALSE(StrToYesNo("Yes "));
}

static int Code(char Ch) {
    return static_cast<unsigned char>(Ch);
}

TEST(SettingChar, AllCodesRoundTrip) {
    for (int C = 0; C < 256; ++C) {
        const std::string Text = SettingCharToStr(static_cast<std::uint8_t>(C));
        if (C >= 33 && C <= 127)
            EXPECT_EQ(Text, std::string(1, static_cast<char>(C))) << C;
        else
            EXPECT_EQ(Text, "#" + std::to_string(C)) << C;
        EXPECT_EQ(Code(StrToSettingChar(Text)), C) << Text;
    }
}

TEST(SettingChar, Texts) {
    EXPECT_EQ(SettingCharToStr(0), "#0");
    EXPECT_EQ(SettingCharToStr(17), "#17");
    EXPECT_EQ(SettingCharToStr(32), "#32");
    EXPECT_EQ(SettingCharToStr('A'), "A");
    EXPECT_EQ(SettingCharToStr('#'), "#");
    EXPECT_EQ(SettingCharToStr(128), "#128");
    EXPECT_EQ(SettingCharToStr(255), "#255");
}

TEST(SettingChar, ParsesNumbersAndFallsBackToZero) {
    EXPECT_EQ(Code(StrToSettingChar("")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#")), '#');
    EXPECT_EQ(Code(StrToSettingChar("AB")), 'A');
    EXPECT_EQ(Code(StrToSettingChar("##")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#17")), 17);
    EXPECT_EQ(Code(StrToSettingChar("#017")), 17);
    EXPECT_EQ(Code(StrToSettingChar("#300")), 44);
    EXPECT_EQ(Code(StrToSettingChar("#-1")), 255);
    EXPECT_EQ(Code(StrToSettingChar("#+65")), 65);
    EXPECT_EQ(Code(StrToSettingChar("#  65")), 65);
    EXPECT_EQ(Code(StrToSettingChar("#$41")), 0x41);
    EXPECT_EQ(Code(StrToSettingChar("#0x1f")), 0x1F);
    EXPECT_EQ(Code(StrToSettingChar("#0X1F")), 0x1F);
    EXPECT_EQ(Code(StrToSettingChar("#$FFFFFFFF")), 255);
    EXPECT_EQ(Code(StrToSettingChar("#x")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#$")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#0x")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#-")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#65 ")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#1a")), 0);
    EXPECT_EQ(Code(StrToSettingChar("#99999999999")), 0);
}

TEST(SettingInt, RangeLimits) {
    std::int32_t V = 0;
    EXPECT_TRUE(TryStrToInt("2147483647", V));
    EXPECT_EQ(V, 2147483647);
    EXPECT_TRUE(TryStrToInt("-2147483648", V));
    EXPECT_EQ(V, INT32_MIN);
    EXPECT_FALSE(TryStrToInt("2147483648", V));
    EXPECT_TRUE(TryStrToInt("0x80000000", V));
    EXPECT_EQ(V, INT32_MIN);
    EXPECT_FALSE(TryStrToInt("$100000000", V));
    EXPECT_FALSE(TryStrToInt("", V));
    EXPECT_FALSE(TryStrToInt("   ", V));
}
