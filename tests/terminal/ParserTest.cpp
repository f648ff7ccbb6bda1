// The escape-code parsers: sequences to codes and parameters, codes back to text.
#include <gtest/gtest.h>

#include <memory>

#include "TermTestKit.h"
#include "terminal/CPortEsc.h"

namespace {

struct TParsed {
    TEscapeCode Code = ecNotCompleted;
    std::vector<std::string> Params;
    std::string Sequence;
    std::string PlainChars;
    int Codes = 0;
};

// Feeds every byte and collects what comes out; the parameters are those of the last code.
TParsed Parse(TEscapeCodes& Parser, const std::string& Bytes) {
    TParsed R;
    for (const char Ch : Bytes) {
        switch (Parser.ProcessChar(Ch)) {
        case erChar:
            R.PlainChars += Parser.GetPlainChar();
            break;
        case erCode:
            R.Code = Parser.GetFoundCode();
            R.Params = Parser.GetCodeParams().ToVector();
            R.Sequence = Parser.GetSequenceText();
            Parser.GetCodeParams().Clear();
            ++R.Codes;
            break;
        case erNothing:
            break;
        }
    }
    return R;
}

struct TSequenceCase {
    std::string Input; // '^' is ESC
    TEscapeCode Code;
    std::vector<std::string> Params;
};

TEST(ParserTest, Vt100SequencesGiveTheirCodesAndKeptParameters) {
    const std::vector<TSequenceCase> Cases = {
        {"^[2J", ecEraseScreen, {}},
        {"^[J", ecEraseScreenFrom, {}},
        {"^[0J", ecEraseScreenFrom, {}},
        {"^[1J", ecUnknown, {}},
        {"^[K", ecEraseLineFrom, {}},
        {"^[2K", ecEraseLine, {}},
        {"^[1K", ecUnknown, {}},
        {"^[g", ecClearTab, {}},
        {"^[3g", ecClearAllTabs, {}},
        {"^[10;5H", ecCursorHome, {"10", "5"}},
        {"^[;5H", ecCursorHome, {";5"}},
        {"^[1;;2H", ecCursorHome, {"1", ";2"}},
        {"^[5A", ecCursorUp, {"5"}},
        {"^[B", ecCursorDown, {}},
        {"^[3C", ecCursorRight, {"3"}},
        {"^[4D", ecCursorLeft, {"4"}},
        {"^[7;9f", ecCursorMove, {"7", "9"}},
        {"^[?1;2c", ecIdentResponse, {"?1", "2"}},
        {"^[0c", ecIdentify, {"0"}},
        {"^[c", ecIdentify, {}},
        {"^[1c", ecUnknown, {"1"}},
        {"^[5n", ecQueryDevice, {}},
        {"^[0n", ecReportDeviceOK, {}},
        {"^[3n", ecReportDeviceFailure, {}},
        {"^[6n", ecQueryCursorPos, {}},
        {"^[n", ecUnknown, {}},
        {"^[3;5R", ecReportCursorPos, {"3", "5"}},
        {"^[?3h", ecSetMode, {"?3"}},
        {"^[?1l", ecResetMode, {"?1"}},
        {"^[1;4;7m", ecAttributes, {"1", "4", "7"}},
        {"^[s", ecSaveCaret, {}},
        {"^[u", ecRestoreCaret, {}},
        {"^[2z", ecUnknown, {"2"}},
        // A parameter that begins with a NUL or a high byte is a parameter, not the absence of one.
        {std::string("^[\0J", 4), ecUnknown, {}},
        {std::string("^[\0K", 4), ecUnknown, {}},
        {std::string("^[\0g", 4), ecUnknown, {}},
        {"^[\xffJ", ecUnknown, {}},
        {"^[1\x1b"
         "A",
         ecCursorUp,
         {"1\x1b"}},
        {"^7", ecSaveCaretAndAttr, {}},
        {"^8", ecRestoreCaretAndAttr, {}},
        {"^H", ecSetTab, {}},
        {"^c", ecReset, {}},
        {"^#8", ecTest, {}},
        {"^#3", ecUnknown, {}},
        {"^OA", ecAppCursorUp, {}},
        {"^OB", ecAppCursorDown, {}},
        {"^OC", ecAppCursorRight, {}},
        {"^OD", ecAppCursorLeft, {}},
        {"^OZ", ecUnknown, {}},
        {"^D", ecUnknown, {}},
    };
    for (const auto& C : Cases) {
        TEscapeCodesVT100 Parser;
        const TParsed R = Parse(Parser, Esc(C.Input));
        EXPECT_EQ(R.Codes, 1) << C.Input;
        EXPECT_EQ(R.Code, C.Code) << C.Input;
        EXPECT_EQ(R.Params, C.Params) << C.Input;
        EXPECT_EQ(R.Sequence, Esc(C.Input).substr(1)) << C.Input;
        EXPECT_FALSE(Parser.GetCollectingSequence()) << C.Input;
        EXPECT_FALSE(Parser.GetCollectingBracketSequence()) << C.Input;
    }
}

TEST(ParserTest, Vt52SequencesGiveTheirCodes) {
    const std::vector<TSequenceCase> Cases = {
        {"^A", ecCursorUp, {}},
        {"^B", ecCursorDown, {}},
        {"^C", ecCursorRight, {}},
        {"^D", ecCursorLeft, {}},
        {"^H", ecCursorHome, {}},
        {"^I", ecReverseLineFeed, {}},
        {"^J", ecEraseScreenFrom, {}},
        {"^K", ecEraseLineFrom, {}},
        {"^Z", ecIdentify, {}},
        {"^/Z", ecIdentResponse, {}},
        {"^/K", ecUnknown, {}},
        {"^Y%*", ecCursorMove, {"6", "11"}}, // codes 37 and 42
        {"^Y  ", ecCursorMove, {"1", "1"}},
        {"^Q", ecUnknown, {}},
        {"^[", ecUnknown, {}},
    };
    for (const auto& C : Cases) {
        TEscapeCodesVT52 Parser;
        const TParsed R = Parse(Parser, Esc(C.Input));
        EXPECT_EQ(R.Codes, 1) << C.Input;
        EXPECT_EQ(R.Code, C.Code) << C.Input;
        EXPECT_EQ(R.Params, C.Params) << C.Input;
        EXPECT_FALSE(Parser.GetCollectingSequence()) << C.Input;
    }
}

TEST(ParserTest, EveryCharacterOtherThanEscIsPlainWhileIdle) {
    TEscapeCodesVT100 Vt100;
    TEscapeCodesVT52 Vt52;
    for (TEscapeCodes* Parser : std::vector<TEscapeCodes*>{&Vt100, &Vt52}) {
        for (int Code = 0; Code < 256; ++Code) {
            const char Ch = static_cast<char>(Code);
            if (Ch == ESC)
                continue;
            ASSERT_EQ(Parser->ProcessChar(Ch), erChar) << Code;
            ASSERT_EQ(Parser->GetPlainChar(), Ch) << Code;
        }
    }
}

TEST(ParserTest, SequencesSwallowControlCharactersAndResumeAfterwards) {
    TEscapeCodesVT100 Parser;
    const TParsed R = Parse(Parser, Esc("a^[1\r\n2Hb^Oxc"));
    EXPECT_EQ(R.PlainChars, "abc");
    EXPECT_EQ(R.Codes, 2);
    EXPECT_EQ(R.Code, ecUnknown);
}

TEST(ParserTest, AnOverlongBracketSequenceEndsAsUnknown) {
    TEscapeCodesVT100 Parser;
    const std::size_t Max = TEscapeCodesVT100::MaxSequenceLength;
    // ESC "[" and digits: the sequence ends when its text reaches the bound.
    const TParsed R = Parse(Parser, Esc("^[") + std::string(Max - 1, '9'));
    EXPECT_EQ(R.Codes, 1);
    EXPECT_EQ(R.Code, ecUnknown);
    EXPECT_TRUE(R.Params.empty());
    EXPECT_EQ(R.Sequence.size(), Max);
    // A final letter that reaches the bound still completes the sequence.
    TEscapeCodesVT100 Second;
    const TParsed S = Parse(Second, Esc("^[") + std::string(Max - 2, '1') + "A");
    EXPECT_EQ(S.Code, ecCursorUp);
    EXPECT_EQ(S.Params, std::vector<std::string>{std::string(Max - 2, '1')});
    // What follows an over-long sequence is ordinary text again.
    EXPECT_EQ(Parse(Parser, "x5").PlainChars, "x5");
}

TEST(ParserTest, SplitParamsKeepsASemicolonThatWouldStartAnEmptyParameter) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> Cases = {
        {"", {}},       {"1", {"1"}},  {"1;2", {"1", "2"}},   {"1;", {"1"}},         {";", {";"}},
        {";5", {";5"}}, {";;", {";"}}, {"1;;2", {"1", ";2"}}, {"?1;2", {"?1", "2"}},
    };
    for (const auto& [Text, Expected] : Cases) {
        TStringList Params;
        TEscapeCodesVT100::SplitParams(Text, Params);
        EXPECT_EQ(Params.ToVector(), Expected) << Text;
    }
}

TEST(ParserTest, GetParamReadsIntegersAndOneForAnythingElse) {
    const TStringList Params{"0", "12", ";5", "", "abc", "-3", "$1F", "99999999999"};
    const std::vector<std::pair<int, int>> Cases = {
        {1, 0}, {2, 12}, {3, 1}, {4, 1}, {5, 1}, {6, -3}, {7, 31}, {8, 1}, {9, 1}, {0, 1},
    };
    for (const auto& [Index, Expected] : Cases)
        EXPECT_EQ(TEscapeCodes::GetParam(Index, &Params), Expected) << Index;
    EXPECT_EQ(TEscapeCodes::GetParam(1, nullptr), 1);
}

TEST(ParserTest, CodesToText) {
    const TStringList Pos{"5", "12"};
    const TStringList Row6Col11{"6", "11"};
    struct TCase {
        bool Vt52;
        TEscapeCode Code;
        const TStrings* Params;
        std::string Text;
    };
    const std::vector<TCase> Cases = {
        {false, ecReportCursorPos, &Pos, "^[5;12R"},
        {false, ecReportCursorPos, nullptr, "^[1;1R"},
        {false, ecCursorMove, &Pos, "^[5;12f"},
        {false, ecIdentResponse, nullptr, "^[?1;1c"},
        {false, ecAttributes, &Pos, "^[m"},
        {false, ecSetMode, &Pos, "^[h"},
        {false, ecResetMode, &Pos, "^[l"},
        {false, ecAppCursorDown, nullptr, "^OB"},
        {false, ecSetTab, nullptr, "^H"},
        {false, ecTest, nullptr, "^#8"},
        {false, ecUnknown, nullptr, ""},
        {false, ecNotCompleted, nullptr, ""},
        {false, ecReverseLineFeed, nullptr, ""},
        {true, ecCursorMove, &Row6Col11, "^Y%*"},
        {true, ecCursorMove, nullptr, "^Y  "},
        {true, ecReverseLineFeed, nullptr, "^I"},
        {true, ecIdentResponse, nullptr, "^/Z"},
        {true, ecAppCursorUp, nullptr, ""},
        {true, ecAttributes, nullptr, ""},
    };
    TEscapeCodesVT100 Vt100;
    TEscapeCodesVT52 Vt52;
    for (const auto& C : Cases) {
        const TEscapeCodes& Parser = C.Vt52 ? static_cast<TEscapeCodes&>(Vt52) : Vt100;
        EXPECT_EQ(Parser.EscCodeToStr(C.Code, C.Params), Esc(C.Text))
            << (C.Vt52 ? "VT52 " : "VT100 ") << int(C.Code);
    }
}

// Every code a family can send is read back as the same code.
TEST(ParserTest, EverySendableCodeRoundTrips) {
    const TStringList Params{"6", "11"};
    std::vector<std::unique_ptr<TEscapeCodes>> Families;
    Families.push_back(std::make_unique<TEscapeCodesVT100>());
    Families.push_back(std::make_unique<TEscapeCodesVT52>());
    const std::vector<std::size_t> Sendable = {33, 11}; // codes each family has a text for
    for (std::size_t F = 0; F < Families.size(); ++F) {
        TEscapeCodes& Parser = *Families[F];
        std::size_t Sent = 0;
        for (int I = 0; I < EscapeCodeCount; ++I) {
            const auto Code = static_cast<TEscapeCode>(I);
            const std::string Text = Parser.EscCodeToStr(Code, &Params);
            if (Text.empty())
                continue;
            ++Sent;
            const TParsed R = Parse(Parser, Text);
            EXPECT_EQ(R.Codes, 1) << F << " " << I;
            EXPECT_EQ(R.Code, Code) << F << " " << I;
            EXPECT_TRUE(R.PlainChars.empty()) << F << " " << I;
            if (Code == ecCursorMove || Code == ecReportCursorPos) {
                EXPECT_EQ(R.Params, Params.ToVector()) << F << " " << I;
            }
        }
        EXPECT_EQ(Sent, Sendable[F]) << F;
    }
}

} // namespace
