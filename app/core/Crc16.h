// The frame CRC: CRC-16/XMODEM (poly 0x1021, init 0, no reflection, no final XOR), sent high
// byte first. The window, the receive side and the sent-frame rows all call Crc16.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC routine of the frame format: the count is one byte, as the length byte that bounds it.
std::uint16_t Crc16(const std::uint8_t* data, std::uint8_t count);

// Continues a CRC over any number of bytes (table-driven); Crc16 is Crc16Update(0, ...).
std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data, std::size_t count);

// The shift-and-XOR form, one bit at a time; the reference the table is checked against.
std::uint16_t Crc16Bitwise(std::uint16_t crc, const std::uint8_t* data, std::size_t count);
