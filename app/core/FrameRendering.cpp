#include "app/core/FrameRendering.h"

#include "app/core/HexText.h"

std::string RenderHex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    text.reserve(count * 3);
    for (std::size_t k = 0; k < count; ++k) {
        text += hex2(bytes[k]);
        text += ' ';
    }
    return text;
}

char AsciiChar(std::uint8_t byte) {
    return byte >= 0x21 && byte <= 0x7E ? static_cast<char>(byte) : '.';
}

std::string RenderAscii(const std::uint8_t* bytes, std::size_t count) {
    std::string text(count, '.');
    for (std::size_t k = 0; k < count; ++k) {
        text[k] = AsciiChar(bytes[k]);
    }
    return text;
}

std::span<const std::uint8_t> TxFrameParameters(const std::uint8_t* f, std::size_t n) {
    return n > 5 ? std::span<const std::uint8_t>(f + 3, n - 5) : std::span<const std::uint8_t>();
}

TFrameRow TxFrameRow(const std::uint8_t* f, std::size_t n, std::int32_t frameNumber,
                     const std::string& commandCell) {
    TFrameRow row;
    row[kColNr] = std::to_string(frameNumber);
    row[kColAddr] = hex2(n > 0 ? f[0] : 0);
    row[kColLength] = hex2(n > 1 ? f[1] : 0);
    row[kColAnswer] = commandCell;
    row[kColOpCode] = "-";
    const std::size_t length = n > 1 ? f[1] : 0;
    if (length >= 5 && length <= n) {
        row[kColCrc] = hex2(f[length - 2]) + " " + hex2(f[length - 1]);
    }
    row[kColStatus] = "TX";
    return row;
}
