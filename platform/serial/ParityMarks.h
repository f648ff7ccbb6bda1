// Decoding of tty input read with PARMRK: \377 \377 is a data \377, \377 \0 c is c received with
// a line error (\377 \0 \0: a break). A mark may be split across reads, and one carried \377
// may turn into two bytes (itself and the next one), so the decoder never writes more than the
// caller's room: what does not fit is held and handed out first by the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

class TParityMarks {
public:
    // How far behind the start of its input the output may start when decoding in place
    // (output and input in one buffer) without the output overtaking unread input.
    std::size_t Lead() const { return state_ == stFF ? 1 : 0; }

    // Decodes In[0..N) into Out/Flags (room for Max bytes, Out may be In - Lead()); returns the
    // bytes written. AnyFlags turns true when a written byte carries a flag.
    std::size_t Decode(const std::uint8_t* In, std::size_t N, std::uint8_t* Out,
                       std::uint8_t* Flags, std::size_t Max, bool& AnyFlags);

    // Bytes held from an earlier call: written first, as far as Max allows.
    bool Held() const { return !held_.empty(); }
    std::size_t TakeHeld(std::uint8_t* Out, std::uint8_t* Flags, std::size_t Max, bool& AnyFlags);

    // Bytes read without marking, delivered as they are after what is already held.
    void HoldPlain(const std::uint8_t* In, std::size_t N);
    // Marking ends: a \377 still waiting for its second byte was data.
    void Finish();
    // Input discarded.
    void Reset();

private:
    enum TState : std::uint8_t { stPlain, stFF, stFFZero };
    struct THeldByte {
        std::uint8_t Byte;
        std::uint8_t Flags;
    };

    TState state_ = stPlain;
    std::deque<THeldByte> held_;
};
