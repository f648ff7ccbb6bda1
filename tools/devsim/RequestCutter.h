// Cuts request frames out of the received bytes by their length byte and checks their CRC.
//
// A length below the smallest frame (address, length, command, two CRC bytes) cannot start a
// frame: the first byte is dropped and the next one tried, so the cutter finds its way back
// after noise. A frame with a bad CRC is consumed whole. A partial frame followed by ResetGap
// without a byte is dropped, as a device forgets a request that stopped half-way.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/devsim/SimClock.h"

struct TRequest {
    std::uint8_t Address = 0;
    std::uint8_t Command = 0;
    std::vector<std::uint8_t> Parameters;
    bool CrcOk = false;
    bool operator==(const TRequest&) const = default;
};

class TRequestCutter {
public:
    explicit TRequestCutter(TSimDuration ResetGap) : resetGap_(ResetGap) {}

    // Bytes received at Now; gives the frames they complete, in order.
    std::vector<TRequest> Feed(std::span<const std::uint8_t> Bytes, TSimTime Now);
    std::size_t Pending() const { return pending_.size(); }
    // Bytes dropped while looking for a frame start, or with an abandoned partial frame.
    std::size_t Dropped() const { return dropped_; }

private:
    TSimDuration resetGap_;
    std::vector<std::uint8_t> pending_;
    TSimTime lastByte_{};
    std::size_t dropped_ = 0;
};
