#include "terminal/CPortTrmBuffer.h"

#include <algorithm>
#include <cstdlib>

#include "terminal/TermEngine.h"

namespace {

constexpr int TabWidth = 8;

constexpr char32_t Glyphs[31] = {0x25C6, 0x2592, 0x2409, 0x240C, 0x240D, 0x240A, 0x00B0, 0x00B1,
                                 0x2424, 0x240B, 0x2518, 0x2510, 0x250C, 0x2514, 0x253C, 0x23BA,
                                 0x23BB, 0x2500, 0x23BC, 0x23BD, 0x251C, 0x2524, 0x2534, 0x252C,
                                 0x2502, 0x2264, 0x2265, 0x03C0, 0x2260, 0x00A3, 0x00B7};

} // namespace

char32_t LineDrawingGlyph(char Character) {
    return IsLineDrawing(Character) ? Glyphs[Character - 1] : static_cast<unsigned char>(Character);
}

char LineDrawingText(char Character) {
    if (!IsLineDrawing(Character))
        return Character;
    const char Dec = static_cast<char>(Character - 1 + FirstLineDrawingChar);
    if (Dec >= 'j' && Dec <= 'n')
        return '+';
    if (Dec >= 't' && Dec <= 'w')
        return '+';
    if (Dec >= 'o' && Dec <= 's')
        return '-';
    return Dec == 'x' ? '|' : Dec;
}

void TComTermBuffer::Init() {
    FColumns = FOwner->GetColumns();
    FRows = FOwner->GetRows();
    // Fresh blocks rather than a resize: the old cells must not survive at new positions.
    std::vector<TComTermChar>(static_cast<std::size_t>(FColumns * FRows)).swap(FCells);
    FRowStart.resize(static_cast<std::size_t>(FRows));
    for (int Row = 0; Row < FRows; ++Row)
        FRowStart[static_cast<std::size_t>(Row)] = static_cast<std::ptrdiff_t>(Row) * FColumns;
    std::vector<bool>(static_cast<std::size_t>(FColumns), false).swap(FTabStops);
    for (int Column = 1; Column <= FColumns; Column += TabWidth)
        SetTab(Column, true);
}

void TComTermBuffer::ScrollDown() {
    std::rotate(FRowStart.begin(), FRowStart.begin() + 1, FRowStart.end());
    Blank(FRows, 1, FColumns);
    FOwner->Display().ScrollScreen(true);
}

void TComTermBuffer::ScrollUp() {
    std::rotate(FRowStart.begin(), FRowStart.end() - 1, FRowStart.end());
    Blank(1, 1, FColumns);
    FOwner->Display().ScrollScreen(false);
}

void TComTermBuffer::Erase(int Column, int Row, int LastRow) {
    Blank(Row, Column, FColumns);
    for (int R = Row + 1; R <= LastRow; ++R)
        Blank(R, 1, FColumns);
    TTermView& View = FOwner->Display();
    View.InvalidatePortion(Column, Row, FColumns, Row);
    if (LastRow > Row)
        View.InvalidatePortion(1, Row + 1, FColumns, LastRow);
}

void TComTermBuffer::EraseLine(int Column, int Row) {
    Erase(Column, Row, Row);
}

void TComTermBuffer::EraseScreen(int Column, int Row) {
    Erase(Column, Row, FRows);
}

void TComTermBuffer::EraseRange(int FromColumn, int FromRow, int ToColumn, int ToRow) {
    if (FromRow > ToRow || (FromRow == ToRow && FromColumn > ToColumn))
        return;
    TTermView& View = FOwner->Display();
    if (FromRow == ToRow) {
        Blank(FromRow, FromColumn, ToColumn);
        View.InvalidatePortion(FromColumn, FromRow, ToColumn, ToRow);
        return;
    }
    Blank(FromRow, FromColumn, FColumns);
    for (int Row = FromRow + 1; Row < ToRow; ++Row)
        Blank(Row, 1, FColumns);
    Blank(ToRow, 1, ToColumn);
    View.InvalidatePortion(FromColumn, FromRow, FColumns, FromRow);
    if (ToRow - FromRow > 1)
        View.InvalidatePortion(1, FromRow + 1, FColumns, ToRow - 1);
    View.InvalidatePortion(1, ToRow, ToColumn, ToRow);
}

void TComTermBuffer::InsertCells(int Column, int Row, int Count) {
    Count = std::min(Count, FColumns - Column + 1);
    if (Count <= 0)
        return;
    TComTermChar* const From = RowCells(Row) + (Column - 1);
    TComTermChar* const End = RowCells(Row) + FColumns;
    std::move_backward(From, End - Count, End);
    std::fill(From, From + Count, TComTermChar{});
    FOwner->Display().InvalidatePortion(Column, Row, FColumns, Row);
}

void TComTermBuffer::DeleteCells(int Column, int Row, int Count) {
    Count = std::min(Count, FColumns - Column + 1);
    if (Count <= 0)
        return;
    TComTermChar* const From = RowCells(Row) + (Column - 1);
    TComTermChar* const End = RowCells(Row) + FColumns;
    std::move(From + Count, End, From);
    std::fill(End - Count, End, TComTermChar{});
    FOwner->Display().InvalidatePortion(Column, Row, FColumns, Row);
}

void TComTermBuffer::ScrollRows(int Top, int Bottom, int Count) {
    const int Height = Bottom - Top + 1;
    if (Count == 0 || Height <= 0)
        return;
    TTermView& View = FOwner->Display();
    if (std::abs(Count) >= Height) {
        for (int Row = Top; Row <= Bottom; ++Row)
            Blank(Row, 1, FColumns);
        View.InvalidatePortion(1, Top, FColumns, Bottom);
        return;
    }
    const auto First = FRowStart.begin() + (Top - 1), Last = FRowStart.begin() + Bottom;
    if (Count > 0) {
        std::rotate(First, First + Count, Last);
        for (int Row = Bottom - Count + 1; Row <= Bottom; ++Row)
            Blank(Row, 1, FColumns);
    } else {
        std::rotate(First, Last + Count, Last);
        for (int Row = Top; Row < Top - Count; ++Row)
            Blank(Row, 1, FColumns);
    }
    // The screen's own scroll is what a view without regions knows.
    if (Top == 1 && Bottom == FRows && std::abs(Count) == 1)
        View.ScrollScreen(Count > 0);
    else
        View.ScrollRows(Top, Bottom, Count);
}

int TComTermBuffer::NextTab(int Column) const {
    for (int C = std::max(Column, 1); C <= FColumns; ++C)
        if (GetTab(C))
            return C;
    return 0;
}

void TComTermBuffer::ClearAllTabs() {
    std::fill(FTabStops.begin(), FTabStops.end(), false);
}

int TComTermBuffer::GetLineLength(int Row) const {
    int Length = 0;
    for (int Column = 1; Column <= FColumns; ++Column)
        if (Cell(Column, Row).Character != 0)
            Length = Column;
    return Length;
}

int TComTermBuffer::GetLastLine() const {
    int Last = 0;
    for (int Row = 1; Row <= FRows; ++Row)
        if (GetLineLength(Row) > 0)
            Last = Row;
    return Last;
}
