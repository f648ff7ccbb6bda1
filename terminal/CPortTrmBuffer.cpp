#include "terminal/CPortTrmBuffer.h"

#include <algorithm>

#include "terminal/TermEngine.h"

namespace {

constexpr int TabWidth = 8;

} // namespace

void TComTermBuffer::Init() {
    FColumns = FOwner->GetColumns();
    FRows = FOwner->GetRows();
    // Fresh blocks rather than a resize: the old cells must not survive at new positions.
    std::vector<TComTermChar>(static_cast<std::size_t>(FColumns * FRows)).swap(FCells);
    std::vector<bool>(static_cast<std::size_t>(FColumns), false).swap(FTabStops);
    for (int Column = 1; Column <= FColumns; Column += TabWidth)
        SetTab(Column, true);
}

void TComTermBuffer::ScrollDown() {
    const auto Width = static_cast<std::ptrdiff_t>(FColumns);
    std::move(FCells.begin() + Width, FCells.end(), FCells.begin());
    std::fill(FCells.end() - Width, FCells.end(), TComTermChar{});
    FOwner->Display().ScrollScreen(true);
}

void TComTermBuffer::ScrollUp() {
    const auto Width = static_cast<std::ptrdiff_t>(FColumns);
    std::move_backward(FCells.begin(), FCells.end() - Width, FCells.end());
    std::fill(FCells.begin(), FCells.begin() + Width, TComTermChar{});
    FOwner->Display().ScrollScreen(false);
}

void TComTermBuffer::Erase(int Column, int Row, int LastRow) {
    auto First = FCells.begin() + static_cast<std::ptrdiff_t>((Row - 1) * FColumns + Column - 1);
    auto Last = FCells.begin() + static_cast<std::ptrdiff_t>(LastRow * FColumns);
    std::fill(First, Last, TComTermChar{});
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
