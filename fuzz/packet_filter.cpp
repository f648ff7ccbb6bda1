// The packet filter fed through its data entry, as the port's received-data event feeds it.
// The first line sets it up, fields separated by '|':
//   start | stop | size | max buffer size | flags | chunk length
// flags: c case-insensitive, i include start and stop, s / e start and stop handlers that take
// a position from the buffer's first / last byte (any value, negative and past the end too),
// f a packet handler that feeds part of each packet back in, m a setting change after every
// chunk. The rest of the input is the received data, handed over in chunks of that length.
// With start and stop included, no byte is lost or made up: every byte fed ends in exactly one
// packet, one discard, or the buffer.
#include "fuzz/FuzzSupport.h"
#include "platform/text/AsciiText.h"
#include "port/CPortPacket.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {

struct TConfig {
    std::string Start, Stop, Flags;
    std::int32_t Size = 0, MaxBuffer = 1024, Chunk = 0;

    bool Has(char Flag) const { return Flags.find(Flag) != std::string::npos; }
};

std::int32_t Number(std::string_view Text, std::int32_t Default) {
    std::int32_t Value = Default;
    return TryStrToInt(Text, Value) ? Value : Default;
}

TConfig ReadConfig(std::string_view& Input) {
    std::string_view Line = TakeUntil(Input, '\n');
    TConfig Config;
    Config.Start = TakeUntil(Line, '|');
    Config.Stop = TakeUntil(Line, '|');
    Config.Size = Number(TakeUntil(Line, '|'), 0);
    Config.MaxBuffer = Number(TakeUntil(Line, '|'), 1024);
    Config.Flags = TakeUntil(Line, '|');
    Config.Chunk = Number(Line, 0);
    return Config;
}

// Positions a handler reports: the byte's value as a signed number.
std::int32_t PositionFrom(char Byte) {
    return static_cast<std::int8_t>(Byte);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::string_view Input(reinterpret_cast<const char*>(Data), Size);
    const TConfig Config = ReadConfig(Input);

    TComDataPacket Packet;
    Packet.SetStartString(Config.Start);
    Packet.SetStopString(Config.Stop);
    Packet.SetSize(Config.Size);
    Packet.SetMaxBufferSize(Config.MaxBuffer);
    Packet.SetCaseInsensitive(Config.Has('c'));
    Packet.SetIncludeStrings(Config.Has('i'));

    std::size_t Fed = 0, Out = 0, FeedBacks = 0;
    Packet.OnDiscard = [&](TObject*, const std::string& Str) { Out += Str.size(); };
    Packet.OnPacket = [&](TObject*, const std::string& Str) {
        Out += Str.size();
        if (Config.Has('f') && FeedBacks < 16 && !Str.empty()) {
            ++FeedBacks;
            const std::string Part = Str.substr(0, 3);
            Fed += Part.size();
            Packet.AddData(Part);
        }
    };
    if (Config.Has('s')) {
        Packet.OnCustomStart = [](TObject*, const std::string& Str, std::int32_t& Pos) {
            if (!Str.empty())
                Pos = PositionFrom(Str.front());
        };
    }
    if (Config.Has('e')) {
        Packet.OnCustomStop = [](TObject*, const std::string& Str, std::int32_t& Pos) {
            if (!Str.empty())
                Pos = PositionFrom(Str.back());
        };
    }

    const std::size_t Chunk = Config.Chunk > 0 ? static_cast<std::size_t>(Config.Chunk)
                                               : std::max<std::size_t>(1, Input.size());
    while (!Input.empty()) {
        const std::string_view Piece = Input.substr(0, Chunk);
        Input.remove_prefix(Piece.size());
        Fed += Piece.size();
        Packet.RxBuf(nullptr, Piece.data(), static_cast<std::int32_t>(Piece.size()));
        if (Config.MaxBuffer > 0)
            FUZZ_CHECK(Packet.GetPacketBuffer().size() <
                       static_cast<std::size_t>(Config.MaxBuffer));
        if (Config.Has('m'))
            Packet.SetCaseInsensitive(!Packet.GetCaseInsensitive());
    }
    if (Config.Has('i'))
        FUZZ_CHECK(Out + Packet.GetPacketBuffer().size() == Fed);
    else
        FUZZ_CHECK(Out + Packet.GetPacketBuffer().size() <= Fed);
    const bool WasEmpty = Packet.GetPacketBuffer().empty();
    const bool WasInPacket = Packet.GetInPacket();
    Packet.EmptyBuffer();
    FUZZ_CHECK(Packet.GetPacketBuffer().empty());
    // Emptying an empty buffer changes nothing, not even the search state.
    FUZZ_CHECK(Packet.GetInPacket() == (WasEmpty && WasInPacket));
    return 0;
}
