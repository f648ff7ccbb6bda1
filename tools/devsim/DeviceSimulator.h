// The simulated device, without a transport: bytes in with the time they came, answer bytes
// out with the time they fall due. The server (SimServer.h) moves them over a line.
//
// A valid request (correct CRC) addressed to the device, or to the broadcast address FF unless
// that is switched off, is answered after Delay: source address, length, the command code as
// answer code, the rule's parameters (SimRules.h), the rule's operation code and the CRC. A
// command without a rule is answered with the rules' "unknown" operation code and no
// parameters. A request with a bad CRC, or for another address, gets no answer.
//
// Faults, each "every n-th" counting from 1 (0 switches it off):
//   BadCrcEvery   the answer's CRC bytes are inverted
//   CutEvery      the answer ends before its CRC bytes, so the receiver times out
//   SilentEvery   the request gets no answer at all (counted over answerable requests)
//   SplitPieces   every answer goes out in this many pieces, SplitGap apart
//   Garbage       these bytes go out ahead of every answer
//   Burst         every request is answered this many times, back to back
// Answers are counted one by one, those of a burst too.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/devsim/RequestCutter.h"
#include "tools/devsim/SimClock.h"
#include "tools/devsim/SimRules.h"

inline constexpr std::uint8_t kBroadcastAddress = 0xFF;

struct TSimFaults {
    unsigned BadCrcEvery = 0;
    unsigned CutEvery = 0;
    unsigned SilentEvery = 0;
    unsigned SplitPieces = 1;
    TSimDuration SplitGap{20};
    std::vector<std::uint8_t> Garbage;
    unsigned Burst = 1;
};

struct TSimConfig {
    std::uint8_t Address = 0x01;
    bool AnswerBroadcast = true;
    TSimDuration Delay{10};
    // Silence after which a partial request is forgotten.
    TSimDuration ResetGap{100};
    TSimFaults Faults;
};

struct TSimChunk {
    TSimTime Due;
    std::vector<std::uint8_t> Bytes;
};

struct TSimStats {
    std::size_t Requests = 0; // frames cut, whatever their CRC
    std::size_t BadCrc = 0;   // of those, with a bad CRC
    std::size_t OtherAddress = 0;
    std::size_t Silenced = 0; // left unanswered by SilentEvery
    std::size_t Answers = 0;  // answer frames scheduled, whole or not
};

class TDeviceSimulator {
public:
    TDeviceSimulator(TSimConfig Config, TSimRules Rules);

    // An answer frame with a correct CRC; parameters beyond what the length byte allows are cut.
    static std::vector<std::uint8_t> BuildAnswer(std::uint8_t Address, std::uint8_t Code,
                                                 const std::vector<std::uint8_t>& Parameters,
                                                 std::uint8_t OpCode);

    void Receive(std::span<const std::uint8_t> Bytes, TSimTime Now);
    // When the next chunk falls due; none when nothing waits.
    std::optional<TSimTime> NextDue() const;
    // The chunks due at Now, in the order they go on the line.
    std::vector<std::vector<std::uint8_t>> TakeDue(TSimTime Now);

    const TSimStats& Stats() const { return stats_; }
    // Told one line per request handled, for the console.
    std::function<void(const std::string&)> OnLog;

private:
    void Handle(const TRequest& Request, TSimTime Now);
    void Schedule(std::vector<std::uint8_t> Bytes, TSimTime Due);
    void Log(const std::string& Line) const;

    TSimConfig config_;
    TSimRules rules_;
    TRequestCutter cutter_;
    std::deque<TSimChunk> out_;
    TSimStats stats_;
    std::size_t answerable_ = 0;
};

// Bytes as "01 06 00 ..." for logs and messages.
std::string HexBytes(std::span<const std::uint8_t> Bytes);
