#include "tools/devsim/SimOptions.h"

#include <functional>
#include <map>

#include "app/core/ExampleFiles.h"
#include "app/core/HexText.h"
#include "app/core/SettingsFile.h"
#include "framework/CommandLine.h"
#include "platform/text/AsciiText.h"

namespace {

std::optional<unsigned> Number(const std::string& Text, unsigned Max) {
    const TDigitRun run = ReadDigits(Text, 10, Max);
    if (Text.empty() || run.Overflow || run.Length != Text.size()) {
        return std::nullopt;
    }
    return static_cast<unsigned>(run.Value);
}

std::optional<std::vector<std::uint8_t>> Bytes(const std::string& Text) {
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < Text.size()) {
        if (IsWhiteSpace(Text[i]) || Text[i] == ',') {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < Text.size() && !IsWhiteSpace(Text[end]) && Text[end] != ',') {
            ++end;
        }
        const auto byte = ParseHexByte(std::string_view(Text).substr(i, end - i));
        if (!byte) {
            return std::nullopt;
        }
        bytes.push_back(*byte);
        i = end;
    }
    if (bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}

constexpr unsigned kMaxMs = 60000;
constexpr unsigned kMaxCount = 1000000;

} // namespace

TSimOptionsResult ParseSimOptions(const std::vector<std::string>& Args) {
    TSimOptionsResult result;
    TSimOptions& o = result.Options;
    TSimFaults& f = o.Config.Faults;
    using TSetter = TOptionSetter;
    const auto ms = [](TSimDuration& Target) {
        return [&Target](const std::string& v) {
            const auto n = Number(v, kMaxMs);
            return n && (Target = TSimDuration(*n), true);
        };
    };
    const auto count = [](unsigned& Target, unsigned Min) {
        return [&Target, Min](const std::string& v) {
            const auto n = Number(v, kMaxCount);
            return n && *n >= Min && (Target = *n, true);
        };
    };
    const std::map<std::string, TSetter> valued = {
        {"--address",
         [&](const std::string& v) {
             const auto b = ParseHexByte(v);
             return b && (o.Config.Address = *b, true);
         }},
        {"--rules", [&](const std::string& v) { return !v.empty() && (o.RulesPath = v, true); }},
        {"--delay", ms(o.Config.Delay)},
        {"--reset-gap", ms(o.Config.ResetGap)},
        {"--bad-crc", count(f.BadCrcEvery, 1)},
        {"--cut", count(f.CutEvery, 1)},
        {"--silent", count(f.SilentEvery, 1)},
        {"--split", count(f.SplitPieces, 1)},
        {"--split-gap", ms(f.SplitGap)},
        {"--burst", count(f.Burst, 1)},
        {"--garbage",
         [&](const std::string& v) {
             auto b = Bytes(v);
             return b && (f.Garbage = std::move(*b), true);
         }},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--help", [&] { o.Help = true; }},
        {"-h", [&] { o.Help = true; }},
        {"--quiet", [&] { o.Quiet = true; }},
        {"--no-broadcast", [&] { o.Config.AnswerBroadcast = false; }},
        {"--no-register", [&] { o.Register = false; }},
    };
    result.Error = ReadCommandLine(Args, flags, valued);
    return result;
}

std::string DefaultRulesPath() {
    std::string dir;
    try {
        dir = ExecutableDir();
    } catch (const std::exception&) {
        // Without its own directory the rules are looked for in the source tree only.
    }
    return ExampleRulesFile(dir);
}

std::string SimUsage() {
    return R"(Usage: tessal-devsim [OPTION]...
Simulates a device of the Tessal frame protocol on a new pseudo-terminal. Prints the terminal's
path on the first line of its output, registers it as a serial port of this machine (the device
map HARDWARE\DEVICEMAP\SERIALCOMM of the local-machine hive) until it ends, and answers requests
until Ctrl+C or SIGTERM. Open the printed path as the port in the workbench.

Requests are cut by their length byte and checked by their CRC. A valid request addressed to the
simulator (or to FF) is answered after the delay with: its address, the length, the command code
as answer code, the rule's parameters, the rule's operation code, and the CRC. A command without
a rule is answered with the "unknown" operation code of the rules file (default 0F) and no
parameters. A request with a bad CRC, or for another address, gets no answer.

Device:
  --address HEX      the simulator's address (default 01)
  --no-broadcast     do not answer requests addressed to FF
  --rules FILE       the answer rules (default the example rules, see below)
  --delay MS         time from the end of a request to its answer (default 10)
  --reset-gap MS     silence after which a partial request is forgotten (default 100)

Fault modes, which combine (N counts from 1: N=1 every time, N=3 every third):
  --bad-crc N        every N-th answer carries a wrong CRC (the receiver reports CRC FAIL)
  --cut N            every N-th answer stops before its two CRC bytes (the receiver times out)
  --silent N         every N-th request addressed to the simulator gets no answer at all
  --split PIECES     every answer goes out in PIECES pieces ...
  --split-gap MS     ... with this much silence between them (default 20)
  --garbage "HEX.."  these bytes go out ahead of every answer; "AA 00", for example, is a
                     frame too short to be one for a receiver that cuts by the length byte
  --burst K          every request is answered K times, back to back

Other:
  --quiet            print only the terminal's path, not one line per request
  --no-register      leave the device map alone
  -h, --help         this text

Values may also be given as --option=value.

Rules file: one rule per line, "#" starts a remark.
  unknown 0F                 operation code of the answer to a command without a rule
  01 -> 00 DE AD BE EF       command 01: operation code 00, parameters DE AD BE EF
  7F 5A A5 -> 00             command 7F whose parameters begin 5A A5 ...
  7F -> 10                   ... any other command 7F
  20 -> 00 $OK @             "$text" is the characters of text, "@" the request's parameters
The first rule that fits answers; bytes are hexadecimal (one or two digits, optional 0x).
)" + std::string("Default rules: ") +
           (DefaultRulesPath().empty() ? "(not found)" : DefaultRulesPath()) + "\n";
}
