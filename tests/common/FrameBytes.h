// A frame as it goes on the line: its length byte set and its CRC appended. Header only, for the
// workbench's tests.
#pragma once

#include "app/core/Crc16.h"

#include <cstdint>
#include <vector>

inline std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
    frame[1] = static_cast<std::uint8_t>(frame.size() + 2);
    const std::uint16_t crc = Crc16(frame.data(), static_cast<std::uint8_t>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}
