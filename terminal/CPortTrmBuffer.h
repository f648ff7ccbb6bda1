// The terminal's character-cell screen: exactly Columns x Rows cells of its owner, no scroll-back,
// and one tab-stop flag per column. Columns and rows are 1-based; callers keep them in range
// (the owner clamps the caret before any cell is written). No Qt here.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <vector>

// A colour value, 0x00BBGGRR (red in the low byte).
using TColor = std::uint32_t;

struct TComTermChar {
    // 0: an empty cell, nothing drawn. 1..31: a glyph of the line-drawing set (LineDrawingGlyph).
    char Character = 0;
    TColor TextColor = 0;
    TColor BackgroundColor = 0;
    bool Underlined = false;

    friend bool operator==(const TComTermChar&, const TComTermChar&) = default;
};

// The line-drawing set's characters 0x60..0x7E are kept in a cell as 1..31, so the buffer alone
// tells a box corner from a letter.
inline constexpr char FirstLineDrawingChar = 0x60;
inline constexpr bool IsLineDrawing(char Character) {
    return Character >= 1 && Character <= 31;
}
inline constexpr char LineDrawingCell(char Ch) {
    return static_cast<char>(Ch - FirstLineDrawingChar + 1);
}
// The glyph's Unicode code point.
char32_t LineDrawingGlyph(char Character);
// A plain character that stands for it in text (corners and crossings '+', lines '-' and '|').
char LineDrawingText(char Character);

class TTermEngine;

class TComTermBuffer {
public:
    // Allocates nothing until Init.
    explicit TComTermBuffer(TTermEngine* AOwner) : FOwner(AOwner) {}
    // For the terminal control, which keeps its logic in an engine (its Engine()).
    template <class TTerminal>
    requires requires(TTerminal* Terminal) {
        { &Terminal->Engine() } -> std::same_as<TTermEngine*>;
    }
    explicit TComTermBuffer(TTerminal* AOwner) : FOwner(&AOwner->Engine()) {}
    TComTermBuffer(const TComTermBuffer&) = delete;
    TComTermBuffer& operator=(const TComTermBuffer&) = delete;

    // Sizes both blocks from the owner's Columns and Rows: every cell empty, a tab stop at
    // columns 1, 9, 17, ...
    void Init();
    void SetChar(int Column, int Row, const TComTermChar& TermChar) {
        Cell(Column, Row) = TermChar;
    }
    TComTermChar GetChar(int Column, int Row) const { return Cell(Column, Row); }

    // Content one row up, the bottom row emptied (a line feed on the last row).
    void ScrollDown();
    // Content one row down, the top row emptied (a reverse line feed on row 1).
    void ScrollUp();
    // From the cell to the end of its row.
    void EraseLine(int Column, int Row);
    // From the cell to the end of the screen.
    void EraseScreen(int Column, int Row);
    // The cells from (FromColumn, FromRow) to (ToColumn, ToRow) in reading order, both included.
    void EraseRange(int FromColumn, int FromRow, int ToColumn, int ToRow);
    // Count cells of the row from Column move right (those pushed past the edge are lost) or,
    // for DeleteCells, the cells after them move left; the cells vacated are emptied.
    void InsertCells(int Column, int Row, int Count);
    void DeleteCells(int Column, int Row, int Count);
    // Rows Top..Bottom move Count rows up (Count > 0) or down (Count < 0) within themselves; the
    // rows vacated are emptied.
    void ScrollRows(int Top, int Bottom, int Count);

    bool GetTab(int Column) const { return FTabStops[static_cast<std::size_t>(Column - 1)]; }
    void SetTab(int Column, bool Value) { FTabStops[static_cast<std::size_t>(Column - 1)] = Value; }
    // First column at or after Column with a tab stop, or 0.
    int NextTab(int Column) const;
    void ClearAllTabs();

    // Highest non-empty column of the row, or 0.
    int GetLineLength(int Row) const;
    // Highest row with a non-empty cell, or 0.
    int GetLastLine() const;

    int GetColumns() const { return FColumns; }
    int GetRows() const { return FRows; }
    TTermEngine* GetOwner() const { return FOwner; }

private:
    // The first cell of a row: rows live anywhere in the block, FRowStart says where, so a
    // scroll moves row numbers rather than cells.
    TComTermChar* RowCells(int Row) {
        return FCells.data() + FRowStart[static_cast<std::size_t>(Row - 1)];
    }
    const TComTermChar* RowCells(int Row) const {
        return FCells.data() + FRowStart[static_cast<std::size_t>(Row - 1)];
    }
    TComTermChar& Cell(int Column, int Row) { return RowCells(Row)[Column - 1]; }
    const TComTermChar& Cell(int Column, int Row) const { return RowCells(Row)[Column - 1]; }
    // Cells From..To of a row emptied, without telling the view.
    void Blank(int Row, int From, int To) {
        std::fill(RowCells(Row) + (From - 1), RowCells(Row) + To, TComTermChar{});
    }
    void Erase(int Column, int Row, int LastRow);

    TTermEngine* FOwner;
    // The size at the last Init, which the blocks match.
    int FColumns = 0;
    int FRows = 0;
    std::vector<TComTermChar> FCells;
    std::vector<std::ptrdiff_t> FRowStart;
    std::vector<bool> FTabStops;
};
