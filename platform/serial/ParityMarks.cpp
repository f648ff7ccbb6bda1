#include "platform/serial/ParityMarks.h"

#include "platform/serial/SerialBackend.h"

std::size_t TParityMarks::Decode(const std::uint8_t* In, std::size_t N, std::uint8_t* Out,
                                 std::uint8_t* Flags, std::size_t Max, bool& AnyFlags) {
    std::size_t w = 0;
    auto put = [&](std::uint8_t c, std::uint8_t f) {
        if (f != 0)
            AnyFlags = true;
        if (w < Max) {
            Out[w] = c;
            Flags[w] = f;
            ++w;
        } else {
            held_.push_back({c, f});
        }
    };
    for (std::size_t r = 0; r < N; ++r) {
        const std::uint8_t c = In[r];
        switch (state_) {
        case stPlain:
            if (c == 0xFF)
                state_ = stFF;
            else
                put(c, 0);
            break;
        case stFF:
            if (c == 0x00) {
                state_ = stFFZero;
                break;
            }
            state_ = stPlain;
            put(0xFF, 0);
            // A lone \377 (read before marking began) is data, and so is what follows it.
            if (c != 0xFF)
                put(c, 0);
            break;
        case stFFZero:
            state_ = stPlain;
            put(c, c == 0 ? RXF_BREAK : RXF_PARITY);
            break;
        }
    }
    return w;
}

std::size_t TParityMarks::TakeHeld(std::uint8_t* Out, std::uint8_t* Flags, std::size_t Max,
                                   bool& AnyFlags) {
    std::size_t w = 0;
    while (w < Max && !held_.empty()) {
        Out[w] = held_.front().Byte;
        Flags[w] = held_.front().Flags;
        if (Flags[w] != 0)
            AnyFlags = true;
        held_.pop_front();
        ++w;
    }
    return w;
}

void TParityMarks::HoldPlain(const std::uint8_t* In, std::size_t N) {
    for (std::size_t i = 0; i < N; ++i)
        held_.push_back({In[i], 0});
}

void TParityMarks::Finish() {
    if (state_ == stFF)
        held_.push_back({0xFF, 0});
    state_ = stPlain;
}

void TParityMarks::Reset() {
    state_ = stPlain;
    held_.clear();
}
