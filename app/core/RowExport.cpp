#include "app/core/RowExport.h"

#include "app/core/FrameRendering.h"
#include "app/core/TimeText.h"

const TExportRow kExportHeaders = {"Nr",     "Time",   "Direction",        "Address",
                                   "Length", "Name",   "Parameters",       "Operation code",
                                   "CRC",    "Status", "Answer time (ms)", "Raw bytes"};

TExportRow ExportRow(const TFrameRows& rows, std::int32_t row) {
    TExportRow cells;
    const TRowKind kind = rows.Kind(row);
    const auto cell = [&](int col) { return std::string(rows.Cell(col, row, false)); };
    cells[exNr] = cell(kColNr);
    cells[exTime] = IsoTimeText(rows.TimeMicros(row));
    cells[exDirection] = kind == rkSent ? "TX" : kind == rkNoAnswer ? "-" : "RX";
    cells[exAddress] = cell(kColAddr);
    cells[exLength] = cell(kColLength);
    cells[exName] = cell(kColAnswer);
    cells[exParameters] = cell(kColParameters);
    cells[exOpCode] = cell(kColOpCode);
    cells[exCrc] = cell(kColCrc);
    cells[exStatus] = cell(kColStatus);
    cells[exAnswerTime] = cell(kColAnswerTime);
    const std::span<const std::uint8_t> line = rows.LineBytes(row);
    cells[exRawBytes] = RenderHex(line.data(), line.size());
    return cells;
}

namespace {

void AppendUtf8(std::string& text, char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x80) {
        text += ch;
    } else {
        text += static_cast<char>(0xC0 | byte >> 6);
        text += static_cast<char>(0x80 | (byte & 0x3F));
    }
}

} // namespace

std::string CsvLine(std::span<const std::string> cells) {
    std::string line;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        line += k == 0 ? "\"" : ",\"";
        for (char ch : cells[k]) {
            if (ch == '"') {
                line += '"';
            }
            AppendUtf8(line, ch);
        }
        line += '"';
    }
    return line + "\r\n";
}

std::string TabLine(std::span<const std::string> cells) {
    std::string line;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        if (k > 0) {
            line += '\t';
        }
        for (char ch : cells[k]) {
            AppendUtf8(line, ch == '\t' || ch == '\n' || ch == '\r' ? ' ' : ch);
        }
    }
    return line + "\n";
}
