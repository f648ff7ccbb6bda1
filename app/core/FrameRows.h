// The rows of the received-frames grid without widgets: the header row, one row per frame
// (received or sent) and FrameCount, the counter that numbers them and that the receive side and
// the send path share. Grid rows are counted as the grid shows them: row 0 holds the headers,
// frame rows are 1..FrameCount, and an empty grid still has a blank row 1.
//
// Each row carries its kind (sent, or the verdict on a received frame) as data: the grid's colours
// and the "Status" cell follow from it, never from the texts shown.
//
// A row keeps the bytes of its parameters, not their text: the "Parameters" cell is rendered when
// it is read, in HEX or ASCII as the grid shows them now (SetAscii), so every row follows the
// "ASCII" box. A too-short frame's cell reads "?".
//
// A million rows must stay cheap, so a row keeps no strings of its own: the cell texts and the
// parameter bytes lie one after another in large blocks, and a row is a block position, its kind
// and the end offsets. The "Status" text is the kind's own. Texts the user types into a
// "Parameters" cell are kept aside, by row.
//
// A row also keeps its time (wall time in microseconds, mapped from the workbench's monotonic
// clock through the rows' clock origin), the answer time of an answer row and the frame's bytes
// as they were on the line; its parameters are a part of those bytes. The "Time" and "Answer
// time" columns come after "Status" (the grid hides them unless asked).
#pragma once

#include "app/core/WorkbenchClock.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

inline constexpr int kGridColumns = 10;
enum TGridColumn : int {
    kColNr,
    kColAddr,
    kColLength,
    kColAnswer,
    kColParameters,
    kColOpCode,
    kColCrc,
    kColStatus,
    kColTime,       // hh:mm:ss.mmm, local time
    kColAnswerTime, // ms with one decimal, answer rows only
};

using TFrameRow = std::array<std::string, kGridColumns>;

enum TRowKind : std::uint8_t {
    rkSent,            // "TX"
    rkCrcOk,           // "CRC OK"
    rkCrcFail,         // "CRC FAIL"
    rkTimeout,         // "Timeout"
    rkTooShort,        // "Too short"
    rkTooShortTimeout, // "Too short/timeout"
    rkNoAnswer,        // "No answer": a request that got no byte before the answer time-out
};
inline constexpr int kRowKinds = 7;

// The "Status" cell of a row of this kind.
const char* RowStatusText(TRowKind kind);
// A received frame that did not arrive whole and correct.
bool RowIsFailure(TRowKind kind);

extern const std::array<const char*, kGridColumns> kGridHeaders;
// Start-up widths in pixels at 96 dpi.
extern const std::array<int, kGridColumns> kGridColumnWidths;

// The "Parameters" width that follows the grid's width: what the other columns leave, less 30,
// and at least 20.
int ParametersColumnWidth(int gridWidth, const std::array<int, kGridColumns>& columnWidths);

// What a row holds beside its cells.
struct TRowData {
    TRowKind Kind = rkSent;
    // When its first byte came (received rows) or its write completed (sent rows).
    TWorkbenchTime Time{};
    // The frame's bytes on the line (none for "No answer"); its parameters are
    // Line[ParamOffset, ParamOffset + ParamCount).
    std::span<const std::uint8_t> Line;
    std::size_t ParamOffset = 0;
    std::size_t ParamCount = 0;
    // The ASCII rendering's length; the parameters' count when none is given.
    std::optional<std::size_t> AsciiLength;
};

class TFrameRows {
public:
    TFrameRows();

    std::int32_t GetFrameCount() const { return FrameCount; }
    // FrameCount + 1, but two for an empty grid.
    std::int32_t RowCount() const { return FrameCount == 0 ? 2 : FrameCount + 1; }

    // Row 0 gives the headers; rows past the frames give "". A "Parameters" cell is rendered
    // into a buffer of the rows that the next call may reuse, in ASCII or HEX as ascii says, and
    // as the grid shows it now when it says nothing; so are the time cells.
    std::string_view Cell(int col, std::int32_t row,
                          std::optional<bool> ascii = std::nullopt) const;

    // The rendering of every row's parameters: ASCII, or HEX.
    void SetAscii(bool ascii) { Ascii = ascii; }
    bool GetAscii() const { return Ascii; }

    // The kind of a frame row (1..FrameCount).
    TRowKind Kind(std::int32_t row) const;
    // A frame row's time: microseconds since 1970-01-01 UTC.
    std::int64_t TimeMicros(std::int32_t row) const;
    // An answer row's answer time in microseconds; none for other rows.
    std::optional<std::uint32_t> AnswerMicros(std::int32_t row) const;
    void SetAnswerMicros(std::int32_t row, std::uint32_t micros);
    // A frame row's bytes on the line, as far as kMaxLineBytes.
    std::span<const std::uint8_t> LineBytes(std::int32_t row) const;

    // The mapping of the workbench's clock to wall time that rows appended from now on use.
    void SetClockOrigin(const TClockOrigin& origin) { Origin = origin; }
    const TClockOrigin& GetClockOrigin() const { return Origin; }

    // Writes the next frame row (row FrameCount + 1) and applies the row rule: FrameCount grows
    // by one. The "Status" cell is the kind's text and the "Parameters" cell the rendering of
    // parameters, whatever cells holds there. In ASCII the cell has asciiLength characters (the
    // bytes' count when none is given), bytes missing for them shown as '.': a frame cut short
    // shows in ASCII the length it announced and in HEX the bytes that came. A cell is cut at
    // kMaxCellText characters; no frame row comes near it.
    // A row's bytes on the line are kept as far as kMaxLineBytes, its parameters as far as
    // kMaxCellText / 3.
    void AppendRow(const TFrameRow& cells, const TRowData& data);
    // A row made by hand: its parameters are all its bytes, its time the clock's origin.
    void AppendRow(const TFrameRow& cells, TRowKind kind,
                   std::span<const std::uint8_t> parameters = {},
                   std::optional<std::size_t> asciiLength = std::nullopt) {
        TRowData data;
        data.Kind = kind;
        data.Time = Origin.Steady;
        data.Line = parameters;
        data.ParamCount = parameters.size();
        data.AsciiLength = asciiLength;
        AppendRow(cells, data);
    }

    // What the user typed into a "Parameters" cell of a frame row; other cells are not editable.
    bool SetParametersText(std::int32_t row, std::string text);

    // FrameCount 0, row count 2, row 1 blank.
    void ClearRxFrames();
    // Grows by one at every clear, so a view can tell a clear from an append.
    std::uint64_t GetClearCount() const { return ClearCount; }

    static constexpr std::size_t kMaxCellText = 4096;
    static constexpr std::size_t kMaxLineBytes = kMaxCellText / 3 + 8;

private:
    // The stored cells: every column up to "Status", "Status" excepted.
    static constexpr int kStoredColumns = kColStatus;
    static constexpr std::uint32_t kNoAnswerTime = UINT32_MAX;
    struct TRowRef {
        // block * kBlockSize + offset in the low 56 bits, the kind in the high 8.
        std::uint64_t StartAndKind;
        // Cell ends, relative to the start; the "Parameters" slot holds the line's bytes.
        std::array<std::uint16_t, kStoredColumns> End;
        std::uint16_t AsciiLength = 0;
        std::int64_t TimeMicros = 0;
        std::uint32_t AnswerMicros = kNoAnswerTime;
        std::uint16_t ParamOffset = 0;
        std::uint16_t ParamCount = 0;
    };
    static constexpr int kKindShift = 56;
    static_assert(sizeof(TRowRef) == 40);

    const TRowRef& Ref(std::int32_t row) const { return Rows[static_cast<std::size_t>(row - 1)]; }
    std::span<const std::uint8_t> StoredLine(const TRowRef& ref) const;
    static constexpr std::size_t kBlockSize = 1 << 16;

    char* Reserve(std::size_t size, std::uint64_t& start);

    std::int32_t FrameCount = 0;
    std::uint64_t ClearCount = 0;
    std::deque<TRowRef> Rows;
    std::vector<std::unique_ptr<char[]>> Blocks;
    std::size_t BlockFill = kBlockSize;
    std::unordered_map<std::int32_t, std::string> EditedParameters;
    bool Ascii = false;
    TClockOrigin Origin = TClockOrigin::Now();
    mutable std::string Rendered;
};
