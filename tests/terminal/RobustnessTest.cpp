// Arbitrary input: megabytes of random bytes never move the caret off the screen, never grow
// the parser's state past its bound, and give the same screen fed whole or byte by byte.
#include <gtest/gtest.h>

#include <random>

#include "TermTestKit.h"

namespace {

// Random bytes weighted towards what sequences are made of, so long and broken sequences
// occur often; Plain gives uniform bytes.
std::string RandomBytes(std::size_t Size, unsigned Seed, bool Plain) {
    std::mt19937 Gen(Seed);
    std::uniform_int_distribution<int> Byte(0, 255);
    std::uniform_int_distribution<int> Pick(0, 15);
    const std::string Parts = "0123456789;?[#O";
    std::string S(Size, '\0');
    for (char& Ch : S) {
        const int P = Plain ? 15 : Pick(Gen);
        if (P < 2)
            Ch = ESC;
        else if (P < 9)
            Ch = Parts[static_cast<std::size_t>(Byte(Gen)) % Parts.size()];
        else
            Ch = static_cast<char>(Byte(Gen));
    }
    return S;
}

constexpr std::size_t TenMegabytes = 10u << 20;
constexpr std::size_t Chunk = 4096;

TEST(RobustnessTest, TenMegabytesIntoTheVt100ParserStayBounded) {
    for (const bool Plain : {false, true}) {
        const std::string Bytes = RandomBytes(TenMegabytes, 1234u + Plain, Plain);
        TEscapeCodesVT100 Parser;
        std::size_t Codes = 0;
        std::size_t LongestSequence = 0;
        for (const char Ch : Bytes) {
            if (Parser.ProcessChar(Ch) == erCode) {
                ++Codes;
                ASSERT_LE(Parser.GetCodeParams().GetCount(),
                          static_cast<int>(TEscapeCodesVT100::MaxSequenceLength));
                Parser.GetCodeParams().Clear();
            }
            LongestSequence = std::max(LongestSequence, Parser.GetSequenceText().size());
        }
        EXPECT_GT(Codes, 1000u) << Plain;
        EXPECT_LE(LongestSequence, TEscapeCodesVT100::MaxSequenceLength) << Plain;
        EXPECT_LE(Parser.GetSequenceText().capacity(), 2 * TEscapeCodesVT100::MaxSequenceLength);
    }
}

TEST(RobustnessTest, TenMegabytesIntoTheTerminalKeepTheCaretOnTheScreen) {
    for (const TTermEmulation Emulation : {teVT100orANSI, teVT52}) {
        const std::string Bytes = RandomBytes(TenMegabytes, 99u + Emulation, false);
        TTermEngine Engine;
        TRecordingOutput Output;
        Engine.SetOutput(&Output);
        Engine.SetEmulation(Emulation);
        Engine.SetWrapLines(true);
        for (std::size_t At = 0; At < Bytes.size(); At += Chunk) {
            Engine.Write(Bytes.data() + At, static_cast<std::int32_t>(Chunk));
            ASSERT_GE(Engine.GetCaretColumn(), 1);
            ASSERT_LE(Engine.GetCaretColumn(), Engine.GetColumns());
            ASSERT_GE(Engine.GetCaretRow(), 1);
            ASSERT_LE(Engine.GetCaretRow(), Engine.GetRows());
            ASSERT_EQ(Engine.GetScreenBuffer().GetColumns(), Engine.GetColumns());
            ASSERT_LE(Engine.GetEscapeParser()->GetSequenceText().size(),
                      TEscapeCodesVT100::MaxSequenceLength);
            Output.Sent.clear();
        }
        EXPECT_GT(Engine.GetScreenBuffer().GetLastLine(), 0);
    }
}

TEST(RobustnessTest, ByteAtATimeGivesTheSameScreenAsWholeBlocks) {
    const std::string Bytes = RandomBytes(256u << 10, 7u, false);
    TTermEngine Whole, Single;
    TRecordingOutput WholeOut, SingleOut;
    Whole.SetOutput(&WholeOut);
    Single.SetOutput(&SingleOut);
    Whole.WriteStr(Bytes);
    for (const char Ch : Bytes)
        Single.Write(&Ch, 1);
    ASSERT_EQ(Whole.GetColumns(), Single.GetColumns());
    EXPECT_EQ(Whole.GetCaretColumn(), Single.GetCaretColumn());
    EXPECT_EQ(Whole.GetCaretRow(), Single.GetCaretRow());
    EXPECT_EQ(WholeOut.Sent, SingleOut.Sent);
    EXPECT_FALSE(WholeOut.Sent.empty());
    for (int Row = 1; Row <= Whole.GetRows(); ++Row)
        for (int Column = 1; Column <= Whole.GetColumns(); ++Column)
            ASSERT_EQ(Whole.GetScreenBuffer().GetChar(Column, Row),
                      Single.GetScreenBuffer().GetChar(Column, Row))
                << Column << "," << Row;
}

} // namespace
