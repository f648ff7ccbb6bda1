#include "app/core/FrameRows.h"

#include "app/core/FrameRendering.h"
#include "app/core/TimeText.h"

#include <algorithm>
#include <cstring>

const std::array<const char*, kGridColumns> kGridHeaders = {
    "Nr",  "SAddr",  "Length", "Answer",     "Parameters", "Operation code",
    "CRC", "Status", "Time",   "Answer time"};

const std::array<int, kGridColumns> kGridColumnWidths = {40, 50, 50, 50, 120, 110, 50, 80, 90, 80};

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
    return static_cast<TRowKind>(Ref(row).StartAndKind >> kKindShift);
}

std::int64_t TFrameRows::TimeMicros(std::int32_t row) const {
    return Ref(row).TimeMicros;
}

std::optional<std::uint32_t> TFrameRows::AnswerMicros(std::int32_t row) const {
    const std::uint32_t micros = Ref(row).AnswerMicros;
    return micros == kNoAnswerTime ? std::nullopt : std::optional<std::uint32_t>(micros);
}

void TFrameRows::SetAnswerMicros(std::int32_t row, std::uint32_t micros) {
    if (row >= 1 && row <= FrameCount) {
        Rows[static_cast<std::size_t>(row - 1)].AnswerMicros = std::min(micros, kNoAnswerTime - 1);
    }
}

std::span<const std::uint8_t> TFrameRows::StoredLine(const TRowRef& ref) const {
    const std::uint64_t start = ref.StartAndKind & ((std::uint64_t{1} << kKindShift) - 1);
    const char* base = Blocks[start / kBlockSize].get() + start % kBlockSize;
    const std::size_t begin = ref.End[kColParameters - 1];
    return {reinterpret_cast<const std::uint8_t*>(base + begin),
            static_cast<std::size_t>(ref.End[kColParameters] - begin)};
}

std::span<const std::uint8_t> TFrameRows::LineBytes(std::int32_t row) const {
    return StoredLine(Ref(row));
}

std::string_view TFrameRows::Cell(int col, std::int32_t row, std::optional<bool> ascii) const {
    if (col < 0 || col >= kGridColumns || row < 0) {
        return {};
    }
    if (row == 0) {
        return kGridHeaders[col];
    }
    if (row > FrameCount) {
        return {};
    }
    const TRowRef& ref = Ref(row);
    const TRowKind kind = Kind(row);
    switch (col) {
    case kColStatus:
        return RowStatusText(kind);
    case kColTime:
        Rendered = ClockTimeText(ref.TimeMicros);
        return Rendered;
    case kColAnswerTime:
        Rendered = ref.AnswerMicros == kNoAnswerTime ? "" : AnswerTimeText(ref.AnswerMicros);
        return Rendered;
    case kColParameters:
        break;
    default: {
        const std::uint64_t start = ref.StartAndKind & ((std::uint64_t{1} << kKindShift) - 1);
        const char* base = Blocks[start / kBlockSize].get() + start % kBlockSize;
        const std::size_t begin = col == 0 ? 0 : ref.End[col - 1];
        return {base + begin, static_cast<std::size_t>(ref.End[col] - begin)};
    }
    }
    const auto edited = EditedParameters.find(row);
    if (edited != EditedParameters.end()) {
        return edited->second;
    }
    if (kind == rkTooShort || kind == rkTooShortTimeout) {
        return "?";
    }
    const std::span<const std::uint8_t> bytes =
        StoredLine(ref).subspan(ref.ParamOffset, ref.ParamCount);
    if (!ascii.value_or(Ascii)) {
        Rendered = RenderHex(bytes.data(), bytes.size());
    } else {
        Rendered.assign(ref.AsciiLength, '.');
        for (std::size_t k = 0; k < ref.AsciiLength && k < bytes.size(); ++k) {
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

void TFrameRows::AppendRow(const TFrameRow& cells, const TRowData& data) {
    const std::span<const std::uint8_t> line =
        data.Line.first(std::min(data.Line.size(), kMaxLineBytes));
    const std::size_t paramOffset = std::min(data.ParamOffset, line.size());
    // Three characters a byte in HEX: the cell's bound holds this many.
    const std::size_t paramCount =
        std::min({data.ParamCount, line.size() - paramOffset, kMaxCellText / 3});
    const auto stored = [&](int col) {
        return col == kColParameters
                   ? std::string_view(reinterpret_cast<const char*>(line.data()), line.size())
                   : std::string_view(cells[col]).substr(0, kMaxCellText);
    };
    TRowRef ref{};
    std::size_t total = 0;
    for (int col = 0; col < kStoredColumns; ++col) {
        total += stored(col).size();
        ref.End[col] = static_cast<std::uint16_t>(total);
    }
    ref.AsciiLength =
        static_cast<std::uint16_t>(std::min(data.AsciiLength.value_or(paramCount), kMaxCellText));
    ref.TimeMicros = Origin.WallAt(data.Time);
    ref.ParamOffset = static_cast<std::uint16_t>(paramOffset);
    ref.ParamCount = static_cast<std::uint16_t>(paramCount);
    std::uint64_t start = 0;
    char* at = Reserve(total, start);
    ref.StartAndKind = start | (static_cast<std::uint64_t>(data.Kind) << kKindShift);
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
