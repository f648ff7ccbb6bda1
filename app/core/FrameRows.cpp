#include "app/core/FrameRows.h"

#include "app/core/FrameRendering.h"

#include <algorithm>
#include <cstring>

const std::array<const char*, kGridColumns> kGridHeaders = {
    "Nr", "SAddr", "Length", "Answer", "Parameters", "Operation code", "CRC", "Status"};

const std::array<int, kGridColumns> kGridColumnWidths = {40, 50, 50, 50, 120, 110, 50, 80};

int ParametersColumnWidth(int gridWidth, const std::array<int, kGridColumns>& columnWidths) {
    int width = gridWidth - 30;
    for (int col = 0; col < kGridColumns; ++col) {
        if (col != kColParameters) {
            width -= columnWidths[col];
        }
    }
    return std::max(width, 20);
}

namespace {

const std::array<const char*, kRowKinds> kRowStatusTexts = {
    "TX", "CRC OK", "CRC FAIL", "Timeout", "Too short", "Too short/timeout", "No answer"};

} // namespace

const char* RowStatusText(TRowKind kind) {
    return kRowStatusTexts[kind];
}

bool RowIsFailure(TRowKind kind) {
    return kind != rkSent && kind != rkCrcOk;
}

TFrameRows::TFrameRows() = default;

TRowKind TFrameRows::Kind(std::int32_t row) const {
    return static_cast<TRowKind>(Rows[static_cast<std::size_t>(row - 1)].StartAndKind >>
                                 kKindShift);
}

std::string_view TFrameRows::Cell(int col, std::int32_t row) const {
    if (col < 0 || col >= kGridColumns || row < 0) {
        return {};
    }
    if (row == 0) {
        return kGridHeaders[col];
    }
    if (row > FrameCount) {
        return {};
    }
    if (col == kColParameters) {
        const auto edited = EditedParameters.find(row);
        if (edited != EditedParameters.end()) {
            return edited->second;
        }
    }
    const TRowRef& ref = Rows[static_cast<std::size_t>(row - 1)];
    if (col == kColStatus) {
        return RowStatusText(Kind(row));
    }
    const std::uint64_t start = ref.StartAndKind & ((std::uint64_t{1} << kKindShift) - 1);
    const char* base = Blocks[start / kBlockSize].get() + start % kBlockSize;
    const std::size_t begin = col == 0 ? 0 : ref.End[col - 1];
    const std::string_view stored(base + begin, ref.End[col] - begin);
    if (col != kColParameters) {
        return stored;
    }
    const TRowKind kind = Kind(row);
    if (kind == rkTooShort || kind == rkTooShortTimeout) {
        return "?";
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stored.data());
    if (!Ascii) {
        Rendered = RenderHex(bytes, stored.size());
    } else {
        Rendered.assign(ref.AsciiLength, '.');
        for (std::size_t k = 0; k < ref.AsciiLength && k < stored.size(); ++k) {
            Rendered[k] = AsciiChar(bytes[k]);
        }
    }
    return Rendered;
}

char* TFrameRows::Reserve(std::size_t size, std::uint64_t& start) {
    if (BlockFill + size > kBlockSize) {
        Blocks.push_back(std::make_unique<char[]>(kBlockSize));
        BlockFill = 0;
    }
    start = (Blocks.size() - 1) * kBlockSize + BlockFill;
    char* at = Blocks.back().get() + BlockFill;
    BlockFill += size;
    return at;
}

void TFrameRows::AppendRow(const TFrameRow& cells, TRowKind kind,
                           std::span<const std::uint8_t> parameters,
                           std::optional<std::size_t> asciiLength) {
    // Three characters a byte in HEX: the cell's bound holds this many.
    parameters = parameters.first(std::min(parameters.size(), kMaxCellText / 3));
    const auto stored = [&](int col) {
        return col == kColParameters
                   ? std::string_view(reinterpret_cast<const char*>(parameters.data()),
                                      parameters.size())
                   : std::string_view(cells[col]).substr(0, kMaxCellText);
    };
    TRowRef ref{};
    std::size_t total = 0;
    for (int col = 0; col < kStoredColumns; ++col) {
        total += stored(col).size();
        ref.End[col] = static_cast<std::uint16_t>(total);
    }
    ref.AsciiLength =
        static_cast<std::uint16_t>(std::min(asciiLength.value_or(parameters.size()), kMaxCellText));
    std::uint64_t start = 0;
    char* at = Reserve(total, start);
    ref.StartAndKind = start | (static_cast<std::uint64_t>(kind) << kKindShift);
    for (int col = 0; col < kStoredColumns; ++col) {
        const std::string_view text = stored(col);
        if (!text.empty()) {
            std::memcpy(at, text.data(), text.size());
            at += text.size();
        }
    }
    Rows.push_back(ref);
    ++FrameCount;
}

bool TFrameRows::SetParametersText(std::int32_t row, std::string text) {
    if (row < 1 || row > FrameCount) {
        return false;
    }
    EditedParameters[row] = std::move(text);
    return true;
}

void TFrameRows::ClearRxFrames() {
    FrameCount = 0;
    ++ClearCount;
    Rows.clear();
    Rows.shrink_to_fit();
    Blocks.clear();
    BlockFill = kBlockSize;
    EditedParameters.clear();
}
