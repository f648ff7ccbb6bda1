#include "app/core/Crc16.h"

#include <array>

namespace {

// Eight steps of the polynomial division on a byte already moved into the high half.
constexpr std::uint16_t ShiftByte(std::uint16_t t) {
    for (int bit = 0; bit < 8; ++bit) {
        t = (t & 0x8000u) ? static_cast<std::uint16_t>((t << 1) ^ 0x1021u)
                          : static_cast<std::uint16_t>(t << 1);
    }
    return t;
}

// Slicing by four: Tables[k][x] is the CRC of byte x followed by k zero bytes, so four input
// bytes cost four independent look-ups instead of a chain of four.
using TCrcTables = std::array<std::array<std::uint16_t, 256>, 4>;

constexpr TCrcTables MakeTables() {
    TCrcTables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        tables[0][i] = ShiftByte(static_cast<std::uint16_t>(i << 8));
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const std::uint16_t prev = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>((prev << 8) ^ tables[0][prev >> 8]);
        }
    }
    return tables;
}

constexpr TCrcTables kTables = MakeTables();

} // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::uint8_t count) {
    return Crc16Update(0, data, count);
}

std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data, std::size_t count) {
    const auto& t = kTables;
    for (; count >= 4; count -= 4, data += 4) {
        crc =
            static_cast<std::uint16_t>(t[3][(crc >> 8) ^ data[0]] ^ t[2][(crc & 0xFFu) ^ data[1]] ^
                                       t[1][data[2]] ^ t[0][data[3]]);
    }
    for (; count > 0; --count, ++data) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ t[0][(crc >> 8) ^ *data]);
    }
    return crc;
}

std::uint16_t Crc16Bitwise(std::uint16_t crc, const std::uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t t = static_cast<std::uint16_t>(((crc >> 8) ^ data[i]) << 8);
        crc = static_cast<std::uint16_t>(ShiftByte(t) ^ (crc << 8));
    }
    return crc;
}
