// A fixed-capacity byte ring: the receive queue and the virtual wire. Never grows by itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class TByteRing {
public:
    explicit TByteRing(std::size_t Capacity = 0) : buf_(Capacity) {}

    std::size_t Capacity() const { return buf_.size(); }
    std::size_t Size() const { return size_; }
    std::size_t Free() const { return buf_.size() - size_; }
    bool Empty() const { return size_ == 0; }

    // Keeps the oldest bytes that fit.
    void Resize(std::size_t Capacity) {
        std::vector<std::uint8_t> next(Capacity);
        const std::size_t keep = std::min(size_, Capacity);
        Peek(next.data(), keep);
        buf_.swap(next);
        head_ = 0;
        size_ = keep;
    }

    std::size_t Push(const std::uint8_t* Data, std::size_t Count) {
        Count = std::min(Count, Free());
        if (Count == 0) // Data may be null then, which memcpy does not allow
            return 0;
        std::size_t tail = (head_ + size_) % Cap();
        const std::size_t first = std::min(Count, buf_.size() - tail);
        std::memcpy(buf_.data() + tail, Data, first);
        std::memcpy(buf_.data(), Data + first, Count - first);
        size_ += Count;
        return Count;
    }

    // The free bytes that follow the last one without wrapping: received data goes there at once
    // and is then kept with Commit, rather than copied in with Push.
    std::uint8_t* Tail(std::size_t& Room) {
        const std::size_t tail = (head_ + size_) % Cap();
        Room = std::min(Free(), buf_.size() - tail);
        return buf_.data() + tail;
    }
    void Commit(std::size_t Count) { size_ += std::min(Count, Free()); }

    std::size_t Peek(std::uint8_t* Out, std::size_t Count) const {
        Count = std::min(Count, size_);
        if (Count == 0) // Out may be null then, which memcpy does not allow
            return 0;
        const std::size_t first = std::min(Count, buf_.size() - head_);
        std::memcpy(Out, buf_.data() + head_, first);
        std::memcpy(Out + first, buf_.data(), Count - first);
        return Count;
    }

    std::size_t Pop(std::uint8_t* Out, std::size_t Count) {
        Count = Peek(Out, Count);
        Drop(Count);
        return Count;
    }

    void Drop(std::size_t Count) {
        Count = std::min(Count, size_);
        head_ = size_ == Count ? 0 : (head_ + Count) % Cap();
        size_ -= Count;
    }

    void Clear() {
        head_ = 0;
        size_ = 0;
    }

private:
    std::size_t Cap() const { return buf_.empty() ? 1 : buf_.size(); }

    std::vector<std::uint8_t> buf_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};
