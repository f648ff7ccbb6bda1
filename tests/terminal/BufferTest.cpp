// The screen buffer: tab stops, line lengths, scrolling and erasing with their repaints.
#include <gtest/gtest.h>

#include "TermTestKit.h"

namespace {

using BufferTest = TEngineTest;

TComTermChar Cell(char Ch) {
    TComTermChar C;
    C.Character = Ch;
    C.TextColor = 0x112233;
    C.BackgroundColor = 0x445566;
    C.Underlined = true;
    return C;
}

// Row R holds the letter 'a' + R - 1 in every column.
void FillRows(TComTermBuffer& B) {
    for (int Row = 1; Row <= B.GetRows(); ++Row)
        for (int Column = 1; Column <= B.GetColumns(); ++Column)
            B.SetChar(Column, Row, Cell(static_cast<char>('a' + Row - 1)));
}

TEST_F(BufferTest, InitSetsATabStopEveryEighthColumn) {
    TComTermBuffer& B = Engine.GetScreenBuffer();
    const std::vector<std::pair<int, int>> Cases = {
        {1, 1}, {2, 9}, {9, 9}, {10, 17}, {73, 73}, {74, 0}, {80, 0}, {81, 0},
    };
    for (const auto& [From, Next] : Cases)
        EXPECT_EQ(B.NextTab(From), Next) << From;
    B.SetTab(76, true);
    EXPECT_EQ(B.NextTab(74), 76);
    B.ClearAllTabs();
    EXPECT_EQ(B.NextTab(1), 0);
    B.Init();
    EXPECT_TRUE(B.GetTab(73));
    EXPECT_FALSE(B.GetTab(76));
}

TEST_F(BufferTest, LineLengthIsTheLastNonEmptyColumn) {
    TComTermBuffer& B = Engine.GetScreenBuffer();
    EXPECT_EQ(B.GetLastLine(), 0);
    B.SetChar(3, 2, Cell('x'));
    B.SetChar(10, 2, Cell('y'));
    B.SetChar(80, 5, Cell('z'));
    EXPECT_EQ(B.GetLineLength(1), 0);
    EXPECT_EQ(B.GetLineLength(2), 10);
    EXPECT_EQ(B.GetLineLength(5), 80);
    EXPECT_EQ(B.GetLastLine(), 5);
    EXPECT_EQ(B.GetChar(10, 2), Cell('y'));
}

TEST_F(BufferTest, ScrollingMovesWholeCellsBothWays) {
    Engine.SetRows(4);
    TComTermBuffer& B = Engine.GetScreenBuffer();
    FillRows(B);
    View.Log.clear();
    B.ScrollDown();
    EXPECT_EQ(RowText(1), std::string(80, 'b'));
    EXPECT_EQ(RowText(3), std::string(80, 'd'));
    EXPECT_EQ(B.GetLineLength(4), 0);
    EXPECT_EQ(B.GetChar(80, 3), Cell('d'));
    B.ScrollUp();
    EXPECT_EQ(B.GetLineLength(1), 0);
    EXPECT_EQ(RowText(2), std::string(80, 'b'));
    EXPECT_EQ(RowText(4), std::string(80, 'd'));
    EXPECT_EQ(View.Log, (std::vector<std::string>{"scroll up", "scroll down"}));
    EXPECT_TRUE(B.GetTab(9));
}

TEST_F(BufferTest, EraseEmptiesToTheEndOfRowOrScreenAndRepaintsExactlyThat) {
    struct TCase {
        bool Screen;
        int Column, Row;
        std::vector<std::string> Rows; // rows 1..4 afterwards
        std::vector<std::string> Repaint;
    };
    const std::vector<TCase> Cases = {
        {true,
         5,
         2,
         {"aaaaaaaaaa", "bbbb", "", ""},
         {"invalidate 5,2-10,2", "invalidate 1,3-10,4"}},
        {true, 1, 4, {"aaaaaaaaaa", "bbbbbbbbbb", "cccccccccc", ""}, {"invalidate 1,4-10,4"}},
        {false, 5, 2, {"aaaaaaaaaa", "bbbb", "cccccccccc", "dddddddddd"}, {"invalidate 5,2-10,2"}},
        {false,
         10,
         1,
         {"aaaaaaaaa", "bbbbbbbbbb", "cccccccccc", "dddddddddd"},
         {"invalidate 10,1-10,1"}},
    };
    Engine.SetColumns(10);
    Engine.SetRows(4);
    for (const auto& C : Cases) {
        TComTermBuffer& B = Engine.GetScreenBuffer();
        FillRows(B);
        View.Log.clear();
        if (C.Screen)
            B.EraseScreen(C.Column, C.Row);
        else
            B.EraseLine(C.Column, C.Row);
        for (int Row = 1; Row <= 4; ++Row)
            EXPECT_EQ(RowText(Row), C.Rows[Row - 1]) << C.Column << "," << C.Row << " row " << Row;
        EXPECT_EQ(View.Log, C.Repaint) << C.Column << "," << C.Row;
    }
}

// The terminal control keeps its logic in an engine and hands it out through Engine().
struct TTerminalStandIn {
    TTermEngine& Engine() { return *Logic; }
    TTermEngine* Logic;
};

TEST_F(BufferTest, ABufferMadeForATerminalFollowsItsEngine) {
    const std::vector<std::pair<int, int>> Sizes = {{80, 24}, {10, 4}, {2, 2}};
    TTerminalStandIn Terminal{&Engine};
    for (const auto& [Columns, Rows] : Sizes) {
        Engine.SetColumns(Columns);
        Engine.SetRows(Rows);
        TComTermBuffer B(&Terminal);
        EXPECT_EQ(B.GetOwner(), &Engine);
        EXPECT_EQ(B.GetColumns(), 0) << "nothing before Init";
        B.Init();
        EXPECT_EQ(B.GetColumns(), Columns);
        EXPECT_EQ(B.GetRows(), Rows);
        EXPECT_EQ(B.GetLastLine(), 0);
        EXPECT_EQ(B.NextTab(2), Columns >= 9 ? 9 : 0);
        View.Log.clear();
        B.SetChar(Columns, Rows, Cell('z'));
        B.ScrollDown();
        EXPECT_EQ(B.GetLastLine(), Rows - 1) << Columns;
        EXPECT_EQ(View.Log, std::vector<std::string>{"scroll up"}) << "the engine's view repaints";
    }
}

} // namespace
