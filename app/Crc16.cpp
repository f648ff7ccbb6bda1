#include "app/Crc16.h"

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

constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = ShiftByte(static_cast<std::uint16_t>(i << 8));
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

} // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::uint8_t count) {
    return Crc16Update(0, data, count);
}

std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ data[i]) & 0xFFu]);
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
