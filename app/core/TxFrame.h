// The request frame as composed: address, length L, command code, parameters, CRC high, CRC low.
// Only offsets 0..L-1 are meaningful; bytes behind them may be leftovers of a longer frame.
#pragma once

#include <array>
#include <cstdint>

using TTxFrame = std::array<std::uint8_t, 256>;

constexpr int kFrameAddressOffset = 0;
constexpr int kFrameLengthOffset = 1;
constexpr int kFrameCommandOffset = 2;
constexpr int kFrameParametersOffset = 3;
// Address, length, command and two CRC bytes.
constexpr int kFrameEnvelope = 5;
// The length byte bounds the frame, so 250 parameter bytes at most.
constexpr int kMaxFrameLength = 255;
constexpr int kMaxParameterBytes = kMaxFrameLength - kFrameEnvelope;
