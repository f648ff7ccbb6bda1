#include "platform/serial/TelnetReader.h"

#include <cstring>

using namespace telnet;

void TTelnetReader::SubByte(std::uint8_t C) {
    if (subLength_ < MaxSubnegotiation)
        sub_[subLength_++] = C;
    else
        subTruncated_ = true;
}

std::size_t TTelnetReader::Feed(const std::uint8_t* In, std::size_t N, std::uint8_t* Out,
                                THandler& Handler) {
    std::size_t W = 0;
    for (std::size_t I = 0; I < N; ++I) {
        const std::uint8_t C = In[I];
        switch (state_) {
        case tsData: {
            // The common case: a run of plain data up to the next IAC, moved at once.
            const void* Stop = std::memchr(In + I, IAC, N - I);
            const std::size_t Run =
                Stop ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(Stop) - (In + I))
                     : N - I;
            if (Out + W != In + I)
                std::memmove(Out + W, In + I, Run);
            W += Run;
            I += Run;
            if (I < N)
                state_ = tsIac;
            break;
        }
        case tsIac:
            switch (C) {
            case IAC:
                Out[W++] = IAC;
                state_ = tsData;
                break;
            case WILL:
            case WONT:
            case DO:
            case DONT:
                verb_ = C;
                state_ = tsVerb;
                break;
            case SB:
                subLength_ = 0;
                subTruncated_ = false;
                state_ = tsSub;
                break;
            default: // NOP, DM, GA, a stray SE...: nothing to do in binary mode
                state_ = tsData;
                break;
            }
            break;
        case tsVerb:
            state_ = tsData;
            Handler.Negotiate(verb_, C);
            break;
        case tsSub:
            if (C == IAC)
                state_ = tsSubIac;
            else
                SubByte(C);
            break;
        case tsSubIac:
            if (C == IAC) {
                SubByte(IAC);
                state_ = tsSub;
            } else if (C == SE) {
                state_ = tsData;
                if (subLength_ > 0)
                    Handler.Subnegotiation(sub_, subLength_, subTruncated_);
            } else {
                // An unterminated subnegotiation: dropped, and this is a command of its own.
                state_ = tsIac;
                --I;
            }
            break;
        }
    }
    return W;
}
