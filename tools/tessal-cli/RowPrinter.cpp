#include "tools/tessal-cli/RowPrinter.h"

#include <algorithm>
#include <array>

#include "app/core/RowExport.h"

namespace {

// The text format's columns and their widths; the raw bytes repeat the others and stay out.
struct TTextColumn {
    TExportColumn Column;
    int Width;
};
constexpr std::array<TTextColumn, 11> kTextColumns = {{{exNr, 6},
                                                       {exTime, 30},
                                                       {exDirection, 3},
                                                       {exAddress, 4},
                                                       {exLength, 4},
                                                       {exName, 18},
                                                       {exParameters, 24},
                                                       {exOpCode, 16},
                                                       {exCrc, 6},
                                                       {exStatus, 18},
                                                       {exAnswerTime, 0}}};

// The JSON field of each export column.
constexpr std::array<const char*, kExportColumns> kJsonFields = {
    "nr",     "time",   "direction", "address", "length",    "name",
    "params", "opcode", "crc",       "status",  "answer_ms", "raw"};

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// Latin-1, as the grid shows it, in UTF-8 for the terminal.
void AppendText(std::string& line, std::string_view text) {
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            line += ch;
        } else {
            line += static_cast<char>(0xC0 | (byte >> 6));
            line += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
}

// A column is as wide as its header or its set width, whichever is wider; a longer cell pushes
// the rest of its line along.
void TextLine(const TExportRow& cells, std::string& line) {
    for (const TTextColumn& column : kTextColumns) {
        const std::string_view cell = Trimmed(cells[column.Column]);
        AppendText(line, cell);
        const int width =
            std::max<int>(column.Width, static_cast<int>(kExportHeaders[column.Column].size()) + 1);
        if (column.Width > 0) {
            line.append(
                static_cast<std::size_t>(std::max<int>(1, width - static_cast<int>(cell.size()))),
                ' ');
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    line += '\n';
}

// nr and answer_ms are numbers (answer_ms null on rows that are no answer), the rest strings.
void JsonLine(const TExportRow& cells, std::string& line) {
    line += '{';
    for (int column = 0; column < kExportColumns; ++column) {
        const std::string_view cell = Trimmed(cells[static_cast<std::size_t>(column)]);
        line += std::string(column == 0 ? "" : ",") + "\"" + kJsonFields[column] + "\":";
        if (column == exNr || column == exAnswerTime) {
            line += cell.empty() ? "null" : std::string(cell);
        } else {
            line += JsonString(cell);
        }
    }
    line += "}\n";
}

} // namespace

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (byte < 0x20 || byte >= 0x80) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

TRowPrinter::TRowPrinter(TOutputFormat format, std::FILE* out, bool terminal)
    : Format(format), Out(out), Terminal(terminal) {}

void TRowPrinter::Row(const TFrameRows& rows, std::int32_t row) {
    Line.clear();
    if (!HeaderDone) {
        HeaderDone = true;
        if (Format == ofCsv) {
            Line = CsvLine(kExportHeaders);
        } else if (Format == ofText) {
            TextLine(kExportHeaders, Line);
        }
    }
    const TExportRow cells = ExportRow(rows, row);
    switch (Format) {
    case ofText:
        TextLine(cells, Line);
        break;
    case ofCsv:
        Line += CsvLine(cells);
        break;
    case ofJsonl:
        JsonLine(cells, Line);
        break;
    }
    std::fwrite(Line.data(), 1, Line.size(), Out);
    if (Terminal) {
        std::fflush(Out);
    }
}

void TRowPrinter::Finish() {
    std::fflush(Out);
}
