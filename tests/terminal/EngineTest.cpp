// The terminal engine fed with received bytes: cells, caret, answers, attributes and modes.
#include <gtest/gtest.h>

#include "TermTestKit.h"

namespace {

using EngineTest = TEngineTest;

struct TScreenCase {
    std::string Name;
    std::string Input; // '^' is ESC
    bool Wrap;
    std::vector<std::pair<int, std::string>> Rows; // row and its text ('.' an empty cell)
    std::string Caret;
};

const std::string Letters81 = [] {
    std::string S;
    for (int I = 0; I < 81; ++I)
        S += static_cast<char>('A' + I % 26);
    return S;
}();

TEST_F(EngineTest, CharactersAndCaretSteps) {
    const std::vector<TScreenCase> Cases = {
        {"CR LF", "A\r\nB", false, {{1, "A"}, {2, "B"}}, "2,2"},
        {"81 without wrap",
         Letters81,
         false,
         {{1, Letters81.substr(0, 79) + "C"}, {2, ""}},
         "80,1"},
        {"81 with wrap", Letters81, true, {{1, Letters81.substr(0, 80)}, {2, "C"}}, "2,2"},
        {"backspace does not erase", "AB\bC\b\b\b", false, {{1, "AC"}}, "1,1"},
        {"tab stops", "\tX\tY", false, {{1, "........X.......Y"}}, "18,1"},
        {"no tab stop left", "^[1;75H\tX", false, {{1, std::string(74, '.') + "X"}}, "76,1"},
        {"form feed is a line feed", "A\fB", false, {{1, "A"}, {2, ".B"}}, "3,2"},
        {"other controls show nothing",
         std::string("A\x07\x0b\x1f\x00"
                     "B",
                     6),
         false,
         {{1, "AB"}},
         "3,1"},
        {"high characters are shown", "\xe4\xff", false, {{1, "\xe4\xff"}}, "3,1"},
        {"line feed on the last row scrolls",
         "top^[24;5Hx\n",
         false,
         {{1, ""}, {23, "....x"}},
         "6,24"},
        {"wrap on the last row scrolls",
         "top^[24;80Hxy",
         true,
         {{1, ""}, {23, std::string(79, '.') + "x"}, {24, "y"}},
         "2,24"},
    };
    for (const bool ByteAtATime : {false, true}) {
        for (const auto& C : Cases) {
            Engine.ClearScreen();
            Engine.SetWrapLines(C.Wrap);
            Feed(Esc(C.Input), ByteAtATime);
            for (const auto& [Row, Text] : C.Rows)
                EXPECT_EQ(RowText(Row), Text) << C.Name << " row " << Row << " " << ByteAtATime;
            EXPECT_EQ(Caret(), C.Caret) << C.Name << " " << ByteAtATime;
            EXPECT_EQ(View.Hidden, 0) << C.Name;
        }
    }
}

TEST_F(EngineTest, CodesMoveTheCaretWithinTheScreen) {
    struct TCase {
        std::string Input;
        std::string Caret;
    };
    // Each starts from column 5, row 3.
    const std::vector<TCase> Cases = {
        {"^[10;20H", "20,10"},
        {"^[99;99H", "80,24"},
        {"^[H", "1,1"},
        {"^[7;9f", "9,7"},
        {"^[;5H", "1,1"},
        {"^[0;0H", "1,1"},
        {"^[A", "5,2"},
        {"^[2A", "5,1"},
        {"^[9A", "5,1"},
        {"^[0A", "5,3"},
        {"^[B", "5,4"},
        {"^[3C", "8,3"},
        {"^[99D", "1,3"},
        {"^[-2B", "5,1"},
        {"^[2147483647B", "5,24"},
        {"^[-2147483648A", "5,24"},
        {"^[4294967295C", "6,3"},
        {"^OA", "5,2"},
        {"^OB", "5,3"},
        {"^[s^[H^[u", "5,3"},
        {"^7^[20;20H^8", "5,3"},
        {"^[2K", "1,3"},
        {"^[2J", "1,1"},
        {"^[K^[J", "5,3"},
        {"^[1;4;7m^c", "5,3"},
    };
    for (const auto& C : Cases) {
        Engine.MoveCaret(5, 3);
        Feed(Esc(C.Input));
        EXPECT_EQ(Caret(), C.Caret) << C.Input;
    }
}

TEST_F(EngineTest, Vt52MovesScrollsAndErases) {
    Engine.SetEmulation(teVT52);
    struct TCase {
        std::string Input;
        std::string Caret;
        std::vector<std::string> Rows; // rows 1..3 afterwards
    };
    // Each starts from an empty screen with the caret at column 5, row 3.
    const std::vector<TCase> Cases = {
        {"^Y%*", "11,6", {"", "", ""}},
        {"^Y\x1f\x1f", "1,1", {"", "", ""}},
        {"^A^A^A^D", "4,1", {"", "", ""}},
        {"^B^C^H", "1,1", {"", "", ""}},
        {"x^I^I", "6,1", {"", "", "....x"}},
        {"x^I^I^I", "6,1", {"", "", ""}},
        {"^Y  top^Y\"#ab^Y\"$^K", "5,3", {"top", "", "...a"}},
        {"^Y  top^Y!$ab^Y  ^J", "1,1", {"", "", ""}},
    };
    for (const auto& C : Cases) {
        Engine.ClearScreen();
        Engine.MoveCaret(5, 3);
        Feed(Esc(C.Input));
        EXPECT_EQ(Caret(), C.Caret) << C.Input;
        for (int Row = 1; Row <= 3; ++Row)
            EXPECT_EQ(RowText(Row), C.Rows[Row - 1]) << C.Input << " row " << Row;
    }
}

TEST_F(EngineTest, UnhandledCodesReachTheHandlerAndChangeNothing) {
    std::vector<std::string> Unhandled;
    Engine.OnUnhandledCode = [&](TObject* Sender, TEscapeCode Code, const std::string& Data) {
        EXPECT_EQ(Sender, &Engine);
        Unhandled.push_back(std::to_string(Code) + " " + Data);
    };
    Engine.MoveCaret(5, 3);
    Feed(Esc("^OB^OC^OD^[3;5R^[0n^[3n^[?1;2c^D^[5z^OA"));
    EXPECT_EQ(Unhandled, (std::vector<std::string>{std::to_string(ecAppCursorDown) + " OB",
                                                   std::to_string(ecAppCursorRight) + " OC",
                                                   std::to_string(ecAppCursorLeft) + " OD",
                                                   std::to_string(ecReportCursorPos) + " [3;5R",
                                                   std::to_string(ecReportDeviceOK) + " [0n",
                                                   std::to_string(ecReportDeviceFailure) + " [3n",
                                                   std::to_string(ecIdentResponse) + " [?1;2c",
                                                   std::to_string(ecUnknown) + " D",
                                                   std::to_string(ecUnknown) + " [5z"}));
    EXPECT_EQ(Caret(), "5,2");
    EXPECT_EQ(Engine.GetScreenBuffer().GetLastLine(), 0);
    EXPECT_TRUE(Output.Sent.empty());
    EXPECT_EQ(Engine.GetEscapeParser()->GetCodeParams().GetCount(), 0);
}

TEST_F(EngineTest, RequestsAreAnswered) {
    struct TCase {
        TTermEmulation Emulation;
        bool Connected;
        std::string Input;
        std::string Answer;
    };
    const std::vector<TCase> Cases = {
        {teVT100orANSI, true, "^[6n", "^[3;5R"},
        {teVT100orANSI, true, "^[c", "^[?1;2c"},
        {teVT100orANSI, true, "^[0c", "^[?1;2c"},
        {teVT100orANSI, true, "^[5n", "^[0n"},
        {teVT100orANSI, true, "^[H^[6n^[99;99H^[6n", "^[1;1R^[24;80R"},
        {teVT100orANSI, false, "^[6n^[c^[5n", ""},
        {teVT52, true, "^Z", "^/Z"},
        {teVT52, true, "^[6n", ""},
    };
    for (const auto& C : Cases) {
        Engine.SetEmulation(C.Emulation);
        Output.Connected = C.Connected;
        Output.Sent.clear();
        Engine.MoveCaret(5, 3);
        Feed(Esc(C.Input));
        EXPECT_EQ(Output.Sent, Esc(C.Answer)) << C.Input;
    }
}

TEST_F(EngineTest, AttributesColourTheFollowingCharacters) {
    Engine.SetAltColor(0x00A0B0);
    Engine.SetColor(0x000010);
    Engine.SetFontColor(0xF0F0F0);
    struct TCase {
        std::string Codes;
        TColor Text, Background;
        bool Underlined;
    };
    const std::vector<TCase> Cases = {
        {"", 0xF0F0F0, 0x000010, false},
        {"^[1;4;7m", 0x00A0B0, 0xF0F0F0, true},
        {"^[m", 0xF0F0F0, 0x000010, false},
        {"^[7m", 0x000010, 0xF0F0F0, false},
        {"^[27m", 0xF0F0F0, 0x000010, false},
        {"^[1m", 0x00A0B0, 0x000010, false},
        {"^[21m", 0xF0F0F0, 0x000010, false},
        {"^[4;24m", 0xF0F0F0, 0x000010, false},
        {"^[1;4;0;7m", 0x000010, 0xF0F0F0, false},
        {"^[?;33m", 0x00A0B0, 0x000010, false},
        {"^[1;4;7m^c", 0xF0F0F0, 0x000010, false},
        {"^[4m^7^[m^8", 0xF0F0F0, 0x000010, true},
        {"^[4m^[s^[m^[u", 0xF0F0F0, 0x000010, false},
    };
    for (const auto& C : Cases) {
        Feed(Esc("^[m^[H") + Esc(C.Codes) + "X");
        const TComTermChar Cell = Engine.GetScreenBuffer().GetChar(1, 1);
        EXPECT_EQ(Cell.Character, 'X') << C.Codes;
        EXPECT_EQ(Cell.TextColor, C.Text) << C.Codes;
        EXPECT_EQ(Cell.BackgroundColor, C.Background) << C.Codes;
        EXPECT_EQ(Cell.Underlined, C.Underlined) << C.Codes;
    }
}

TEST_F(EngineTest, ModesSwitchCursorKeysWrapAndWidth) {
    Feed("abc");
    View.Log.clear();
    Feed(Esc("^[?3h"));
    EXPECT_EQ(Engine.GetColumns(), 132);
    EXPECT_EQ(Engine.GetScreenBuffer().GetColumns(), 132);
    EXPECT_EQ(Engine.GetScreenBuffer().GetLastLine(), 0) << "the screen is cleared";
    EXPECT_EQ(View.Only("size"), std::vector<std::string>{"size"});
    EXPECT_EQ(View.Only("invalidate"), std::vector<std::string>{"invalidate all"});
    Feed(Esc("^[?3h^[1;200H"));
    EXPECT_EQ(Caret(), "132,1");
    Feed(Esc("^[?3l"));
    EXPECT_EQ(Engine.GetColumns(), 80);
    EXPECT_EQ(Caret(), "80,1") << "kept on the narrower screen";

    Feed(Esc("^[7h"));
    EXPECT_TRUE(Engine.GetWrapLines());
    Feed(Esc("^[7l^[?1h"));
    EXPECT_FALSE(Engine.GetWrapLines());
    EXPECT_TRUE(Engine.GetAppCursorKeys());
    Feed(Esc("^[?1l^[?7h^[h^[4h"));
    EXPECT_FALSE(Engine.GetAppCursorKeys());
    EXPECT_FALSE(Engine.GetWrapLines());
    EXPECT_EQ(Engine.GetColumns(), 80);
}

TEST_F(EngineTest, TabStopsAndTestPattern) {
    Feed(Esc("^[1;5H^H^[1;9H^[g\r\tA"));
    EXPECT_EQ(Caret(), "6,1");
    Feed(Esc("^[3g\r\tB"));
    EXPECT_EQ(Caret(), "2,1") << "no tab stop left";
    Engine.MoveCaret(7, 4);
    Feed(Esc("^#8"));
    const TComTermBuffer& B = Engine.GetScreenBuffer();
    EXPECT_EQ(B.GetLastLine(), 24);
    EXPECT_EQ(B.GetLineLength(24), 80);
    EXPECT_EQ(B.GetChar(80, 24), (TComTermChar{'E', 0xFFFFFF, 0x000000, false}));
    EXPECT_EQ(Caret(), "7,4");
}

TEST_F(EngineTest, SizePropertiesAreClampedAndClearOnlyOnChange) {
    struct TCase {
        bool Columns;
        int Value, Expected;
    };
    const std::vector<TCase> Cases = {
        {true, 300, 256}, {true, 1, 2},      {true, -5, 2},   {true, 80, 80},
        {false, 1, 2},    {false, 101, 100}, {false, 24, 24},
    };
    for (const auto& C : Cases) {
        C.Columns ? Engine.SetColumns(C.Value) : Engine.SetRows(C.Value);
        const int Got = C.Columns ? Engine.GetColumns() : Engine.GetRows();
        EXPECT_EQ(Got, C.Expected) << C.Columns << " " << C.Value;
    }
    Feed("kept");
    Engine.SetColumns(80);
    Engine.SetRows(24);
    EXPECT_EQ(RowText(1), "kept");
    // Shrinking keeps the caret and the saved caret on the screen.
    Engine.MoveCaret(70, 20);
    Engine.SaveCaretPos();
    Engine.SetColumns(40);
    Engine.SetRows(10);
    EXPECT_EQ(Caret(), "40,10");
    Engine.MoveCaret(1, 1);
    Engine.RestoreCaretPos();
    EXPECT_EQ(Caret(), "40,10");
    EXPECT_EQ(RowText(1), "");
}

} // namespace
