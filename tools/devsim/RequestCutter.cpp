#include "tools/devsim/RequestCutter.h"

#include "app/core/Crc16.h"
#include "app/core/TxFrame.h"

std::vector<TRequest> TRequestCutter::Feed(std::span<const std::uint8_t> Bytes, TSimTime Now) {
    std::vector<TRequest> frames;
    if (Bytes.empty()) {
        return frames;
    }
    if (!pending_.empty() && Now - lastByte_ >= resetGap_) {
        dropped_ += pending_.size();
        pending_.clear();
    }
    lastByte_ = Now;
    pending_.insert(pending_.end(), Bytes.begin(), Bytes.end());

    std::size_t start = 0;
    while (pending_.size() - start >= 2) {
        const std::size_t length = pending_[start + kFrameLengthOffset];
        if (length < kFrameEnvelope) {
            ++start;
            ++dropped_;
            continue;
        }
        if (pending_.size() - start < length) {
            break;
        }
        const std::uint8_t* frame = pending_.data() + start;
        const std::uint16_t crc = Crc16(frame, static_cast<std::uint8_t>(length - 2));
        TRequest request;
        request.Address = frame[kFrameAddressOffset];
        request.Command = frame[kFrameCommandOffset];
        request.Parameters.assign(frame + kFrameParametersOffset, frame + length - 2);
        request.CrcOk = frame[length - 2] == (crc >> 8) && frame[length - 1] == (crc & 0xFF);
        frames.push_back(std::move(request));
        start += length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
    return frames;
}
