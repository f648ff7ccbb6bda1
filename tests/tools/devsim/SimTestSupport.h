// Helpers of the simulator's tests: request frames, fixed instants.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/core/Crc16.h"
#include "tools/devsim/SimClock.h"

using TBytes = std::vector<std::uint8_t>;

// A request frame with its length byte and a correct CRC.
inline TBytes Request(std::uint8_t Address, std::uint8_t Command, TBytes Parameters = {}) {
    TBytes frame;
    frame.reserve(Parameters.size() + 5);
    frame.push_back(Address);
    frame.push_back(static_cast<std::uint8_t>(Parameters.size() + 5));
    frame.push_back(Command);
    for (const auto b : Parameters) {
        frame.push_back(b);
    }
    const std::uint16_t crc = Crc16(frame.data(), static_cast<std::uint8_t>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc));
    return frame;
}

inline TBytes Join(std::initializer_list<TBytes> Parts) {
    TBytes all;
    for (const auto& p : Parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// Instants for the device logic: At(15) is 15 ms after an arbitrary origin.
inline TSimTime At(int Ms) {
    return TSimTime{} + std::chrono::hours(1) + std::chrono::milliseconds(Ms);
}
