#include "tools/devsim/DeviceSimulator.h"

#include <algorithm>

#include "app/core/Crc16.h"
#include "app/core/HexText.h"
#include "app/core/TxFrame.h"

namespace {

constexpr std::size_t kAnswerEnvelope = 6;

bool Every(unsigned N, std::size_t Count) {
    return N != 0 && Count % N == 0;
}

} // namespace

std::string HexBytes(std::span<const std::uint8_t> Bytes) {
    std::string text;
    for (const auto b : Bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += hex2(b);
    }
    return text;
}

TDeviceSimulator::TDeviceSimulator(TSimConfig Config, TSimRules Rules)
    : config_(std::move(Config)), rules_(std::move(Rules)), cutter_(config_.ResetGap) {
    config_.Faults.SplitPieces = std::max(1u, config_.Faults.SplitPieces);
}

std::vector<std::uint8_t> TDeviceSimulator::BuildAnswer(std::uint8_t Address, std::uint8_t Code,
                                                        const std::vector<std::uint8_t>& Parameters,
                                                        std::uint8_t OpCode) {
    const std::size_t count = std::min(Parameters.size(), kMaxFrameLength - kAnswerEnvelope);
    std::vector<std::uint8_t> frame;
    frame.reserve(count + kAnswerEnvelope);
    frame.push_back(Address);
    frame.push_back(static_cast<std::uint8_t>(count + kAnswerEnvelope));
    frame.push_back(Code);
    frame.insert(frame.end(), Parameters.begin(),
                 Parameters.begin() + static_cast<std::ptrdiff_t>(count));
    frame.push_back(OpCode);
    const std::uint16_t crc = Crc16(frame.data(), static_cast<std::uint8_t>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}

void TDeviceSimulator::Receive(std::span<const std::uint8_t> Bytes, TSimTime Now) {
    for (const auto& request : cutter_.Feed(Bytes, Now)) {
        Handle(request, Now);
    }
}

void TDeviceSimulator::Handle(const TRequest& Request, TSimTime Now) {
    ++stats_.Requests;
    const std::string seen = "request " + hex2(Request.Address) + " cmd " + hex2(Request.Command) +
                             " [" + HexBytes(Request.Parameters) + "]";
    if (!Request.CrcOk) {
        ++stats_.BadCrc;
        Log(seen + ": bad CRC, no answer");
        return;
    }
    const bool broadcast = config_.AnswerBroadcast && Request.Address == kBroadcastAddress;
    if (Request.Address != config_.Address && !broadcast) {
        ++stats_.OtherAddress;
        Log(seen + ": for another device");
        return;
    }
    if (Every(config_.Faults.SilentEvery, ++answerable_)) {
        ++stats_.Silenced;
        Log(seen + ": left unanswered (fault)");
        return;
    }
    const auto rule = rules_.Answer(Request.Command, Request.Parameters);
    const TSimAnswer answer = rule ? *rule : TSimAnswer{rules_.UnknownOpCode(), {}};
    const auto frame =
        BuildAnswer(config_.Address, Request.Command, answer.Parameters, answer.OpCode);

    TSimTime due = Now + config_.Delay;
    if (!out_.empty()) {
        due = std::max(due, out_.back().Due);
    }
    const TSimFaults& f = config_.Faults;
    for (unsigned i = 0; i < std::max(1u, f.Burst); ++i) {
        auto bytes = frame;
        const std::size_t number = ++stats_.Answers;
        std::string fault;
        if (Every(f.CutEvery, number)) {
            bytes.erase(bytes.end() - 2, bytes.end());
            fault = " (cut short)";
        } else if (Every(f.BadCrcEvery, number)) {
            bytes[bytes.size() - 2] ^= 0xFF;
            bytes[bytes.size() - 1] ^= 0xFF;
            fault = " (bad CRC)";
        }
        if (!f.Garbage.empty()) {
            Schedule(f.Garbage, due);
        }
        const std::size_t pieces = std::min<std::size_t>(f.SplitPieces, bytes.size());
        for (std::size_t p = 0; p < pieces; ++p) {
            const std::size_t from = bytes.size() * p / pieces;
            const std::size_t to = bytes.size() * (p + 1) / pieces;
            if (p > 0) {
                due += f.SplitGap;
            }
            Schedule({bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      bytes.begin() + static_cast<std::ptrdiff_t>(to)},
                     due);
        }
        Log(seen + ": answer " + HexBytes(bytes) + fault + (rule ? "" : " (no rule)"));
    }
}

void TDeviceSimulator::Schedule(std::vector<std::uint8_t> Bytes, TSimTime Due) {
    out_.push_back({Due, std::move(Bytes)});
}

void TDeviceSimulator::Log(const std::string& Line) const {
    if (OnLog) {
        OnLog(Line);
    }
}

std::optional<TSimTime> TDeviceSimulator::NextDue() const {
    if (out_.empty()) {
        return std::nullopt;
    }
    return out_.front().Due;
}

std::vector<std::vector<std::uint8_t>> TDeviceSimulator::TakeDue(TSimTime Now) {
    std::vector<std::vector<std::uint8_t>> due;
    while (!out_.empty() && out_.front().Due <= Now) {
        due.push_back(std::move(out_.front().Bytes));
        out_.pop_front();
    }
    return due;
}
