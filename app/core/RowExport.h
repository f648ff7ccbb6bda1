// A grid row as a record with the columns every export shares: the window's CSV file and its
// clipboard copy, and the command-line client's outputs. One place renders a row; the writers
// below only quote and separate.
//
//   TExportRow cells = ExportRow(workbench.Rows(), row);   // row 1..FrameCount
//   file << CsvLine(kExportHeaders) << CsvLine(cells);
//
// The cells are the grid's own texts where the grid has the column (the "Parameters" cell always
// in HEX, whatever the grid shows), so an export can be compared with the grid cell for cell;
// the time is given in full (ISO 8601 with milliseconds and the zone's offset), the direction is
// "TX" for a sent frame, "RX" for a received one and "-" for a "No answer" row, the answer time
// in milliseconds with one decimal ("" for rows that are no answer), and the raw bytes are the
// frame's bytes on the line in HEX (the grid's rendering: "01 A0 FF ").
#pragma once

#include "app/core/FrameRows.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

inline constexpr int kExportColumns = 12;
enum TExportColumn : int {
    exNr,
    exTime,
    exDirection,
    exAddress,
    exLength,
    exName, // the grid's "Answer" cell: the command of a sent frame, the answer code of another
    exParameters,
    exOpCode,
    exCrc,
    exStatus,
    exAnswerTime,
    exRawBytes,
};

using TExportRow = std::array<std::string, kExportColumns>;

// "Nr", "Time", "Direction", "Address", "Length", "Name", "Parameters", "Operation code", "CRC",
// "Status", "Answer time (ms)", "Raw bytes".
extern const TExportRow kExportHeaders;

// Frame row 1..rows.GetFrameCount().
TExportRow ExportRow(const TFrameRows& rows, std::int32_t row);

// The cells hold the grid's texts, one character a byte (Latin-1, as the grid shows them); both
// writers give UTF-8.
// One CSV record (RFC 4180): every field quoted, quotes doubled, ended by CRLF.
std::string CsvLine(std::span<const std::string> cells);
// One line of tab-separated text, ended by LF; tabs and line breaks within a cell become blanks.
std::string TabLine(std::span<const std::string> cells);
