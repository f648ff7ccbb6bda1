#include "app/FrameRows.h"

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

TFrameRows::TFrameRows() = default;

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
    const char* base = Blocks[ref.Start / kBlockSize].get() + ref.Start % kBlockSize;
    const std::size_t begin = col == 0 ? 0 : ref.End[col - 1];
    return std::string_view(base + begin, ref.End[col] - begin);
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

void TFrameRows::AppendRow(const TFrameRow& cells) {
    TRowRef ref{};
    std::size_t total = 0;
    for (int col = 0; col < kGridColumns; ++col) {
        total += std::min(cells[col].size(), kMaxCellText);
        ref.End[col] = static_cast<std::uint16_t>(total);
    }
    char* at = Reserve(total, ref.Start);
    for (int col = 0; col < kGridColumns; ++col) {
        const std::size_t size = std::min(cells[col].size(), kMaxCellText);
        std::memcpy(at, cells[col].data(), size);
        at += size;
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
