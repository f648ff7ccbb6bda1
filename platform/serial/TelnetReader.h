// The receive side of a telnet connection in binary mode: data bytes separated from commands,
// option negotiation and subnegotiations, a command split anywhere between two reads. Outside
// input: every length is bounded, nothing grows with what arrives.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telnet {
inline constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250,
                              SE = 240;
inline constexpr std::uint8_t BINARY = 0, SGA = 3, COM_PORT = 44;
} // namespace telnet

class TTelnetReader {
public:
    // A subnegotiation longer than this is cut there and reported as truncated.
    static constexpr std::size_t MaxSubnegotiation = 64;

    class THandler {
    public:
        virtual ~THandler() = default;
        // Verb is WILL, WONT, DO or DONT.
        virtual void Negotiate(std::uint8_t Verb, std::uint8_t Option) = 0;
        // Data starts with the option; IAC IAC inside has become one 255.
        virtual void Subnegotiation(const std::uint8_t* Data, std::size_t Count,
                                    bool Truncated) = 0;
    };

    // Writes the data bytes of In to Out (which may be In: never more than N are written) and
    // returns their count; commands go to Handler on the way.
    std::size_t Feed(const std::uint8_t* In, std::size_t N, std::uint8_t* Out, THandler& Handler);
    void Reset() { *this = TTelnetReader{}; }

private:
    enum TState : std::uint8_t { tsData, tsIac, tsVerb, tsSub, tsSubIac };
    TState state_ = tsData;
    std::uint8_t verb_ = 0;
    std::uint8_t sub_[MaxSubnegotiation];
    std::size_t subLength_ = 0;
    bool subTruncated_ = false;

    void SubByte(std::uint8_t C);
};
