// The VT102 emulation on a 10 x 6 screen: sequences in, screen, caret, modes and answers out.
#include <gtest/gtest.h>

#include <memory>

#include "TermTestKit.h"

namespace {

constexpr int Columns = 10, Rows = 6;

struct TTerm {
    TTermEngine Engine;
    TRecordingView View;
    TRecordingOutput Output;

    TTerm() {
        Engine.SetColumns(Columns);
        Engine.SetRows(Rows);
        Engine.SetEmulation(teVT102);
        Engine.SetView(&View);
        Engine.SetOutput(&Output);
    }
    // Rows joined by '|', empty cells '.', trailing ones dropped; a line-drawing glyph as its
    // letter in upper case ("Q" for the horizontal line).
    std::string Screen() const {
        std::string Text;
        const TComTermBuffer& B = Engine.GetScreenBuffer();
        for (int Row = 1; Row <= Rows; ++Row) {
            if (Row > 1)
                Text += '|';
            for (int Column = 1; Column <= B.GetLineLength(Row); ++Column) {
                const char Ch = B.GetChar(Column, Row).Character;
                Text += Ch == 0 ? '.' : IsLineDrawing(Ch) ? static_cast<char>(Ch - 1 + 0x40) : Ch;
            }
        }
        while (!Text.empty() && Text.back() == '|')
            Text.pop_back();
        return Text;
    }
    std::string Caret() const {
        return std::to_string(Engine.GetCaretColumn()) + "," + std::to_string(Engine.GetCaretRow());
    }
};

struct TCase {
    std::string Input; // '^' is ESC
    std::string Screen;
    std::string Caret;
};

// Each case on a fresh terminal, as one block and byte by byte.
void Check(const std::vector<TCase>& Cases) {
    for (const bool ByteAtATime : {false, true})
        for (const auto& C : Cases) {
            TTerm T;
            const std::string Bytes = Esc(C.Input);
            if (ByteAtATime)
                for (const char Ch : Bytes)
                    T.Engine.Write(&Ch, 1);
            else
                T.Engine.WriteStr(Bytes);
            EXPECT_EQ(T.Screen(), C.Screen) << C.Input << (ByteAtATime ? " (byte by byte)" : "");
            EXPECT_EQ(T.Caret(), C.Caret) << C.Input << (ByteAtATime ? " (byte by byte)" : "");
        }
}

const std::string Fill = "^[1;1Ha^[2;1Hb^[3;1Hc^[4;1Hd^[5;1He^[6;1Hf";

TEST(Vt102Test, MarginsScrollAndOriginMode) {
    Check({
        {Fill + "^[2;4r^[4;1H\n", "a|c|d||e|f", "1,4"},      // LF at the bottom margin
        {Fill + "^[2;4r^[6;1H\n", "a|b|c|d|e|f", "1,6"},     // below the region, last row
        {Fill + "^[2;4r^[5;1H\n", "a|b|c|d|e|f", "1,6"},     // below the region, moves
        {Fill + "^[2;4r^[2;1H^M", "a||b|c|e|f", "1,2"},      // RI at the top margin
        {Fill + "^[2;4r^[2;1H\n", "a|b|c|d|e|f", "1,3"},     // LF at the top margin
        {Fill + "^[2;4r^[4;1H^M", "a|b|c|d|e|f", "1,3"},     // RI at the bottom margin
        {Fill + "^[2;4r^[1;1H^M", "a|b|c|d|e|f", "1,1"},     // RI above the region, first row
        {Fill + "^[3;3r^[3;1H\n", "a|b|c|d|e|f", "1,4"},     // a one-line region is ignored
        {Fill + "^[2;4r^[4;3H^D^E", "a|d|||e|f", "1,4"},     // IND and NEL
        {"^[2;4r^[?6h^[9;9HX", "|||........X", "10,4"},      // CUP beyond the region
        {"^[2;4r^[?6h^[HX^[?6l^[HY", "Y|X", "2,1"},          // origin and back
        {"^[3;5r^[5;1H^[9B^[A^[9A", "", "1,3"},              // CUU and CUD stop at the margins
        {Fill + "^[2;5r^[3;4H^[2L", "a|b|||c|f", "4,3"},     // IL pushes lines off the margin
        {Fill + "^[2;5r^[3;4H^[99M", "a|b||||f", "4,3"},     // DL larger than the region
        {Fill + "^[2;5r^[6;1H^[L^[M", "a|b|c|d|e|f", "1,6"}, // outside the region
        {Fill + "^[2;5r^[3;1H^[0L", "a|b||c|d|f", "1,3"},    // a count of 0 is 1
        {Fill + "^[1;99r^[6;1H\n", "b|c|d|e|f", "1,6"},      // bottom beyond the screen
        {"^[?6h^[2;4r^[3;1H^7^[?6l^[H^8X", "|||X", "2,4"},   // DECRC restores origin mode
        {"^[?6h^[2;4r^[3;1H^7^[5;6r^8X", "||||X", "2,5"},    // ... within the new margins
    });
}

TEST(Vt102Test, DeferredWrap) {
    Check({
        {"0123456789", "0123456789", "10,1"},
        {"0123456789X", "0123456789|X", "2,2"},
        {"0123456789\rX", "X123456789", "2,1"},
        {"0123456789\nX", "0123456789|.........X", "10,2"},
        {"0123456789\bX", "01234567X9", "10,1"},
        {"0123456789^[2;2HX", "0123456789|.X", "3,2"},
        {"^[?7l0123456789XY", "012345678Y", "10,1"},
        {"^[6;9Habc", "||||........ab|c", "2,6"},      // wraps on the last row: scrolls
        {"^[2;3r^[3;9Habc", "|........ab|c", "2,3"},   // ... within the margins
        {"0123456789^7^[H^8X", "0123456789|X", "2,2"}, // DECSC keeps the pending wrap
        {"^[2J0123456789X", "0123456789|X", "2,2"},    // clearing leaves wrapping on
    });
}

TEST(Vt102Test, EditingCellsAndErasing) {
    Check({
        {"abcdefghij^[1;3H^[2@", "ab..cdefgh", "3,1"},
        {"abcdefghij^[1;3H^[99@", "ab", "3,1"},
        {"abcdefghij^[1;3H^[2P", "abefghij", "3,1"},
        {"abcdefghij^[1;3H^[0P", "abdefghij", "3,1"},
        {"abcdefghij^[1;3H^[3X", "ab...fghij", "3,1"},
        {"abcdefghij^[1;3H^[99X", "ab", "3,1"},
        {"abcdefghij^[1;3H^[1K", "...defghij", "3,1"},
        {"abcdefghij^[1;3H^[2K", "", "3,1"},
        {"ab^[2;1Hcd^[2;1H^[1J", "|.d", "1,2"},
        {"ab^[2;1Hcd^[2;2H^[2J", "", "2,2"},
        {"abcdef^[1;2H^[4hXY^[4lZ", "aXYZcdef", "5,1"},
        {"abcdefghij^[1;3H^[4hX", "abXcdefghi", "4,1"},
        {"a\vb\fc", "a|.b|..c", "4,3"},
        {"a\x7f^[2\x7f;3HX", "a|..X", "4,2"},
        {"\tX\tY\tZ", "........XZ", "10,1"}, // no stop ahead: the last column
    });
}

TEST(Vt102Test, LineDrawingSet) {
    Check({
        {"^(0lqk^(Bq", "LQKq", "5,1"},
        {"^)0a\x0eqx\x0fq", "aQXq", "5,1"}, // SO and SI in the middle of a line
        {"^(0^7^(B^8q", "Q", "2,1"},        // DECRC restores the sets
        {"^(0_~^(A#", " ^\xa3", "4,1"},     // 0x5F is blank; the UK set's pound sign
    });
}

TEST(Vt102Test, SequencesNotKnownAreIgnoredWhole) {
    Check({
        {"^[0%mA^P1;2|x^\\B^]0;t\x07"
         "C",
         "ABC", "4,1"},
        {"^[>1;2cA^[=5hB^[1 qC^[?5;1KD^[5`E", "ABCDE", "6,1"},
        {"^[2\b;3HX", "|..X", "4,2"}, // a control inside a sequence acts at once
        {"^[2;3\x18HX", "HX", "3,1"}, // CAN ends the sequence
        {"^[;3HX^[3;HY", "..X||Y", "2,3"},
        {"^[99999999999;2HX", "|||||.X", "3,6"},
    });
}

TEST(Vt102Test, AttributesOfWrittenAndBlankedCells) {
    TTerm T;
    T.Engine.WriteStr(Esc("^[0;1;7mA^[1;0mB^[;4mC^[7;27mD^[7mE^[2;1Hxyz^[2;2H^[@^[2;4H^[K^[m"));
    const TComTermBuffer& B = T.Engine.GetScreenBuffer();
    const TColor Font = T.Engine.GetFontColor(), Back = T.Engine.GetColor();
    const auto At = [&](int Column) { return B.GetChar(Column, 1); };
    EXPECT_EQ(At(1).TextColor, T.Engine.GetAltColor());
    EXPECT_EQ(At(1).BackgroundColor, Font);
    EXPECT_EQ(At(2).BackgroundColor, Back) << "1;0 ends with nothing";
    EXPECT_TRUE(At(3).Underlined);
    EXPECT_EQ(At(3).BackgroundColor, Back);
    EXPECT_EQ(At(4).BackgroundColor, Back) << "7;27";
    EXPECT_EQ(At(5).BackgroundColor, Font);
    EXPECT_EQ(B.GetChar(2, 2), TComTermChar{}) << "inserted under reverse video";
    EXPECT_EQ(B.GetChar(3, 2).BackgroundColor, Font);
    EXPECT_EQ(B.GetChar(4, 2), TComTermChar{}) << "erased under reverse video";
}

TEST(Vt102Test, Answers) {
    struct TAnswerCase {
        std::string Input;
        std::string Sent;
    };
    const std::vector<TAnswerCase> Cases = {
        {"^[c^[0c^Z", "^[?6c^[?6c^[?6c"},    {"^[>c^[1c\x05", ""},    {"^[5n", "^[0n"},
        {"^[1;8H012^[6n", "^[1;10R"}, // a pending wrap stays in the last column
        {"^[3;5r^[?6h^[2;4H^[6n", "^[2;4R"}, {"^[20h^[6n", "^[1;1R"},
    };
    for (const auto& C : Cases) {
        TTerm T;
        T.Engine.WriteStr(Esc(C.Input));
        EXPECT_EQ(T.Output.Sent, Esc(C.Sent)) << C.Input;
    }
}

TEST(Vt102Test, ModesAndReset) {
    TTerm T;
    TTermEngine& E = T.Engine;
    E.WriteStr(Esc("^[2;4r^[?6h^[3;3H^[?3h"));
    EXPECT_EQ(E.GetColumns(), 132);
    EXPECT_EQ(T.Caret(), "1,1") << "DECCOLM homes";
    EXPECT_EQ(E.GetBottomMargin(), Rows) << "and resets the margins";
    E.WriteStr(Esc("^[?3l^[?5h^[20h^[4h^[?1h^(0^[?7l"));
    EXPECT_TRUE(E.GetReverseScreen() && E.GetNewLineMode() && E.GetInsertMode());
    EXPECT_EQ(T.View.Only("invalidate all").size() > 0, true);
    E.WriteStr("a\nb");
    EXPECT_EQ(T.Screen(), "A|B") << "LNM: LF returns too";
    E.KeyPress('\r');
    EXPECT_EQ(T.Output.Sent, "\r\n");
    E.WriteStr(Esc("^c"));
    EXPECT_FALSE(E.GetReverseScreen() || E.GetNewLineMode() || E.GetInsertMode() ||
                 E.GetOriginMode() || E.GetAppCursorKeys());
    EXPECT_TRUE(E.GetWrapLines());
    E.WriteStr("q");
    EXPECT_EQ(T.Screen(), "q") << "the sets are reset";
    E.SetWrapLines(false);
    E.SetEmulation(teVT100orANSI);
    E.SetEmulation(teVT102);
    EXPECT_TRUE(E.GetWrapLines()) << "choosing the emulation turns wrapping on";
}

TEST(Vt102Test, ViewMovesOnlyTheScrolledRows) {
    struct TViewCase {
        std::string Input;
        std::string Call;
    };
    const std::vector<TViewCase> Cases = {
        {"^[6;1H\n", "scroll up"},
        {"^[2;4r^[4;1H\n", "rows 2-4 by 1"},
        {"^[2;4r^[2;1H^M", "rows 2-4 by -1"},
        {"^[2;5r^[3;1H^[2M", "rows 3-5 by 2"},
    };
    struct TRowsView : TRecordingView {
        void ScrollRows(int Top, int Bottom, int Count) override {
            Log.push_back("rows " + std::to_string(Top) + "-" + std::to_string(Bottom) + " by " +
                          std::to_string(Count));
        }
    };
    for (const auto& C : Cases) {
        TTerm T;
        TRowsView View;
        T.Engine.SetView(&View);
        T.Engine.WriteStr(Esc(C.Input));
        const auto Scrolls = View.Only(C.Call.substr(0, 4));
        EXPECT_EQ(Scrolls, std::vector<std::string>{C.Call}) << C.Input;
        EXPECT_TRUE(View.Only("invalidate all").empty()) << C.Input;
    }
}

TEST(Vt102Test, ParametersAreNumbers) {
    struct TParamCase {
        std::string Input;
        std::vector<int> Values;
        char Marker;
        char Intermediate;
        TEscapeCode Code;
    };
    constexpr int M = TControlParams::Missing;
    const std::vector<TParamCase> Cases = {
        {"^[;5H", {M, 5}, 0, 0, ecCursorHome},
        {"^[007;H", {7, M}, 0, 0, ecCursorHome},
        {"^[?1;7h", {1, 7}, '?', 0, ecSetMode},
        {"^[99999999m", {65535}, 0, 0, ecAttributes},
        {"^[0%m", {0}, 0, '%', ecUnknown},
        {"^[1?h", {1}, 0, 0, ecUnknown},
        {"^[1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17m",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
         0,
         0,
         ecAttributes},
    };
    for (const auto& C : Cases) {
        TEscapeCodesVT102 Parser;
        TEscapeResult Result = erNothing;
        for (const char Ch : Esc(C.Input))
            Result = Parser.ProcessChar(Ch);
        ASSERT_EQ(Result, erCode) << C.Input;
        const TControlParams& P = Parser.GetParams();
        EXPECT_EQ(std::vector<int>(P.Values, P.Values + P.Count), C.Values) << C.Input;
        EXPECT_EQ(P.Marker, C.Marker) << C.Input;
        EXPECT_EQ(P.Intermediate, C.Intermediate) << C.Input;
        EXPECT_EQ(Parser.GetFoundCode(), C.Code) << C.Input;
    }
}

} // namespace
