// The server's side of telnet com port control as bytes: every case fed whole, split at every
// position and byte by byte, with the same data, replies and state each time.
#include <gtest/gtest.h>

#include <functional>

#include "platform/serial/ComPortControl.h"

namespace {

std::string Bytes(std::initializer_list<int> List) {
    std::string S;
    for (int B : List)
        S += static_cast<char>(B);
    return S;
}

constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;

struct TFed {
    std::string Data, Reply;
    TComPortControl Control;
};

// Feeds Input in the given chunk lengths (the rest in one).
TFed Feed(const std::string& Input, const std::vector<std::size_t>& Chunks) {
    TFed F;
    std::string Start;
    F.Control.Start(Start);
    std::string Buffer = Input;
    auto* P = reinterpret_cast<std::uint8_t*>(Buffer.data());
    std::size_t At = 0;
    for (std::size_t I = 0; At < Buffer.size(); ++I) {
        const std::size_t N =
            I < Chunks.size() ? std::min(Chunks[I], Buffer.size() - At) : Buffer.size() - At;
        const std::size_t Got = F.Control.Receive(P + At, N, P + At, F.Reply);
        F.Data.append(Buffer, At, Got);
        At += N;
    }
    return F;
}

} // namespace

TEST(ComPortControlTest, ServerBytesInAnyChunks) {
    const struct {
        const char* Name;
        std::string Input, Data, Reply;
        std::function<void(const TComPortControl&)> Check;
    } Cases[] = {
        {"data, a doubled IAC is one 255", "ab" + Bytes({IAC, IAC}) + "c",
         "ab\xff"
         "c",
         "", nullptr},
        {"what the serial server sends first",
         Bytes({IAC, WILL, 3,  IAC, DO,  3,    IAC, WILL, 1,  IAC, DONT,
                1,   IAC,  DO, 0,   IAC, WILL, 0,   IAC,  DO, 44}),
         "", Bytes({IAC, DONT, 1}),
         [](const TComPortControl& C) {
             EXPECT_TRUE(C.Accepted());
             EXPECT_FALSE(C.Refused());
         }},
        {"options nobody asked for are refused, com port control too",
         Bytes({IAC, DO, 24, IAC, WILL, 44, IAC, DONT, 44}), "",
         Bytes({IAC, WONT, 24, IAC, DONT, 44}),
         [](const TComPortControl& C) { EXPECT_TRUE(C.Refused()); }},
        {"answers, a 255 inside one doubled",
         Bytes({IAC, SB, 44, 101, 0, 0, IAC, IAC, 0, IAC, SE, IAC, SB, 44, 105, 3, IAC, SE}) + "x",
         "x", "",
         [](const TComPortControl& C) {
             EXPECT_EQ(C.Answer(TComPortControl::akBaud).Value, 0xFF00u);
             EXPECT_EQ(C.Answer(TComPortControl::akFlow).Value, 3u);
             EXPECT_EQ(C.Answer(TComPortControl::akFlow).Count, 1u);
             EXPECT_EQ(C.Answer(TComPortControl::akDtr).Count, 0u);
         }},
        {"modem and line state notifications",
         Bytes({IAC,  SB,  44, 107, 0x31, IAC, SE,  IAC,  SB,  44, 107,
                0x20, IAC, SE, IAC, SB,   44,  106, 0x1C, IAC, SE}),
         "", "",
         [](const TComPortControl& C) {
             EXPECT_EQ(C.ModemStatus(), 0x20u);
             const TLineCounters& L = C.Counters();
             // CTS rose then fell (2), DSR rose (1), nothing else moved but the line errors.
             EXPECT_EQ(L.Cts, 2u);
             EXPECT_EQ(L.Dsr, 1u);
             EXPECT_EQ(L.Rlsd + L.Ring + L.Overrun, 0u);
             EXPECT_EQ(L.Parity + L.Frame + L.Break, 3u);
         }},
        {"flow control suspend, data, resume",
         Bytes({IAC, SB, 44, 108, IAC, SE}) + "d" +
             Bytes({IAC, SB, 44, 109, IAC, SE, IAC, SB, 44, 108, IAC, SE}),
         "d", "", [](const TComPortControl& C) { EXPECT_TRUE(C.Suspended()); }},
        {"an overlong subnegotiation is dropped whole, an unterminated one ends at a command",
         Bytes({IAC, SB, 44, 101}) + std::string(200, '\x07') +
             Bytes({IAC, SE, IAC, SB, 44, 107, 0x80, IAC, DO, 99}) + "z",
         "z", Bytes({IAC, WONT, 99}),
         [](const TComPortControl& C) {
             EXPECT_EQ(C.Answer(TComPortControl::akBaud).Count, 0u);
             EXPECT_EQ(C.ModemStatus(), 0u);
         }},
    };
    for (const auto& C : Cases) {
        std::vector<std::vector<std::size_t>> Splits{{},
                                                     std::vector<std::size_t>(C.Input.size(), 1)};
        for (std::size_t At = 1; At < C.Input.size(); ++At)
            Splits.push_back({At});
        for (const auto& Split : Splits) {
            const TFed F = Feed(C.Input, Split);
            const std::string How = std::string(C.Name) +
                                    (Split.empty()      ? ", whole"
                                     : Split.size() > 1 ? ", byte by byte"
                                                        : ", split at " + std::to_string(Split[0]));
            EXPECT_EQ(F.Data, C.Data) << How;
            EXPECT_EQ(F.Reply, C.Reply) << How;
            if (C.Check) {
                SCOPED_TRACE(How);
                C.Check(F.Control);
            }
        }
    }
}

// What a line state asks for, each value a server answers: 255 doubled inside.
TEST(ComPortControlTest, LineStateAsRequests) {
    DCB D{};
    D.BaudRate = 0x0001C2FF;
    D.ByteSize = 7;
    D.Parity = MARKPARITY;
    D.StopBits = ONE5STOPBITS;
    D.Flags = DCB_fOutxCtsFlow | RTS_CONTROL_HANDSHAKE;
    std::string Out;
    TComPortControl::AskLine(Out, D);
    EXPECT_EQ(Out, Bytes({IAC, SB, 44, 1,   0,   1,   0xC2, IAC, IAC, IAC, SE,  IAC, SB,
                          44,  2,  7,  IAC, SE,  IAC, SB,   44,  3,   4,   IAC, SE,  IAC,
                          SB,  44, 4,  3,   IAC, SE,  IAC,  SB,  44,  5,   3,   IAC, SE}));
    // The same values answered match (the rate within 3 %), another rate does not.
    for (const std::uint32_t Rate : {0x0001C2FFu, 0x0001C2FFu - 100u, 9600u}) {
        std::string Wire; // the answers: each code + 100
        TComPortControl::AskRate(Wire, Rate);
        Wire[3] = 101;
        for (const auto& [Code, Value] : {std::pair{102, 7}, {103, 4}, {104, 3}, {105, 3}})
            TComPortControl::Command(Wire, std::uint8_t(Code), std::uint8_t(Value));
        TComPortControl C;
        std::string Reply;
        const auto Before = C.Counts();
        C.Receive(reinterpret_cast<const std::uint8_t*>(Wire.data()), Wire.size(),
                  reinterpret_cast<std::uint8_t*>(Wire.data()), Reply);
        EXPECT_TRUE(C.LineAnswered(Before)) << Rate;
        EXPECT_EQ(C.LineMatches(D), Rate != 9600u) << Rate;
        const DCB Back = C.AnsweredLine(DCB{});
        EXPECT_EQ(Back.BaudRate, Rate);
        EXPECT_EQ(Back.ByteSize, 7);
        EXPECT_EQ(Back.Parity, MARKPARITY);
        EXPECT_EQ(Back.StopBits, ONE5STOPBITS);
        EXPECT_EQ(TComPortControl::FlowCode(Back), 3);
    }
}
