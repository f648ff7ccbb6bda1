#include "tools/tessal-cli/Script.h"

#include <algorithm>
#include <array>

#include "app/core/HexText.h"
#include "app/core/ParameterParser.h"
#include "app/core/RxAssembly.h"
#include "platform/text/AsciiText.h"

namespace {

constexpr std::array<const char*, 4> kVerdictNames = {"ok", "crc-fail", "timeout", "no-answer"};
constexpr std::array<std::string_view, 5> kClauses = {"addr", "expect", "expect-opcode",
                                                      "expect-params", "timeout"};

bool IsClause(std::string_view word) {
    for (std::string_view clause : kClauses) {
        if (word == clause) {
            return true;
        }
    }
    return false;
}

// White-space separated words; "..." is one word without its quotes.
std::optional<std::vector<std::string>> Words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (IsWhiteSpace(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            words.emplace_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        std::size_t end = i;
        while (end < line.size() && !IsWhiteSpace(line[end])) {
            ++end;
        }
        words.emplace_back(line.substr(i, end - i));
        i = end;
    }
    return words;
}

std::string Join(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        text += (text.empty() ? "" : " ") + words[i];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> HexBytes(std::string_view text) {
    const auto words = Words(text);
    if (!words) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    for (const std::string& word : *words) {
        const THexByte byte = ReadHexByte(word);
        if (byte.Verdict != hbByte) {
            return std::nullopt;
        }
        bytes.push_back(byte.Value);
    }
    return bytes;
}

// send CMD [PARAMS...] clauses...: the parameters run to the first clause word; no clause word
// reads as a hex byte or a "$" string.
std::string ParseSend(const std::vector<std::string>& words, const TCommandDefinitions& defs,
                      TSendStep& step) {
    if (words.size() < 2) {
        return "send needs a command";
    }
    if (std::string error = FindCommand(words[1], defs, step.CommandIndex); !error.empty()) {
        return error;
    }
    std::size_t i = 2;
    while (i < words.size() && !IsClause(words[i])) {
        ++i;
    }
    step.Params = Join(words, 2, i);
    if (std::string error = CheckParams(step.Params); !error.empty()) {
        return error;
    }
    while (i < words.size()) {
        const std::string& clause = words[i++];
        std::size_t end = i;
        while (end < words.size() && !IsClause(words[end])) {
            ++end;
        }
        if (end == i) {
            return clause + " needs a value";
        }
        if (clause != "expect-params" && end > i + 1) {
            return "unexpected '" + words[i + 1] + "' after " + clause + " " + words[i];
        }
        if (std::string error = ApplySendClause(clause, Join(words, i, end), defs, step);
            !error.empty()) {
            return error;
        }
        i = end;
    }
    return "";
}

std::string ParseLine(const std::vector<std::string>& words, const TCommandDefinitions& defs,
                      TStep& step) {
    const std::string& verb = words[0];
    const auto ms = [&](std::int32_t& target) -> std::string {
        const auto n = words.size() == 2 ? ReadNumber(words[1], 0, kMaxWaitMs) : std::nullopt;
        if (!n) {
            return verb + " needs one time in ms (0.." + std::to_string(kMaxWaitMs) + ")";
        }
        target = *n;
        return "";
    };
    if (verb == "send") {
        step.Kind = skSend;
        return ParseSend(words, defs, step.Send);
    }
    if (verb == "wait") {
        step.Kind = skWait;
        return ms(step.Ms);
    }
    if (verb == "expect-silence") {
        step.Kind = skSilence;
        return ms(step.Ms);
    }
    if (verb == "set") {
        step.Kind = skSetLine;
        if (words.size() != 3 || (words[1] != "rts" && words[1] != "dtr") ||
            (words[2] != "on" && words[2] != "off")) {
            return "set needs rts or dtr, then on or off";
        }
        step.Rts = words[1] == "rts";
        step.On = words[2] == "on";
        return "";
    }
    if (verb == "repeat") {
        step.Kind = skRepeat;
        const auto n = words.size() == 3 ? ReadNumber(words[1], 0, kMaxRepeat) : std::nullopt;
        if (!n || words[2] != "{") {
            return "repeat needs a count (0.." + std::to_string(kMaxRepeat) + ") and '{'";
        }
        step.Count = *n;
        return "";
    }
    return "unknown step '" + verb + "' (send, wait, expect-silence, set, repeat)";
}

} // namespace

const char* VerdictName(TVerdict verdict) {
    return kVerdictNames[verdict];
}

std::optional<TVerdict> VerdictByName(std::string_view name) {
    for (std::size_t i = 0; i < kVerdictNames.size(); ++i) {
        if (name == kVerdictNames[i]) {
            return static_cast<TVerdict>(i);
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> ReadNumber(std::string_view text, std::int32_t min, std::int32_t max) {
    const TDigitRun run = ReadDigits(text, 10, static_cast<std::uint64_t>(max));
    if (text.empty() || run.Overflow || run.Length != text.size() ||
        run.Value < static_cast<std::uint64_t>(min)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(run.Value);
}

std::string FindCommand(std::string_view name, const TCommandDefinitions& defs, int& index) {
    const TCommandList& commands = defs.GetCommandList();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (SameText(commands[i].Name, name)) {
            index = static_cast<int>(i);
            return "";
        }
    }
    const THexByte code = ReadHexByte(name);
    for (std::size_t i = 0; code.Verdict == hbByte && i < commands.size(); ++i) {
        if (commands[i].Code == code.Value) {
            index = static_cast<int>(i);
            return "";
        }
    }
    return "unknown command '" + std::string(name) + "'";
}

std::string CheckParams(const std::string& params) {
    TTxFrame frame{};
    const TParameterParse parse = ParseParameters(params, frame);
    return parse.Ok ? "" : parse.ErrorText;
}

std::string ApplySendClause(std::string_view clause, std::string_view value,
                            const TCommandDefinitions& defs, TSendStep& step) {
    const std::string named = std::string(clause) + " '" + std::string(value) + "'";
    if (clause == "addr") {
        if (ReadHexByte(value).Verdict != hbByte) {
            return named + ": not a hex byte";
        }
        step.Addr = value;
    } else if (clause == "expect") {
        step.Expect.Verdict = VerdictByName(value);
        if (!step.Expect.Verdict) {
            return named + ": ok, crc-fail, timeout or no-answer";
        }
    } else if (clause == "expect-opcode") {
        for (const OpCodeRecord& op : defs.GetOpCodeList()) {
            if (SameText(op.Name, value)) {
                step.Expect.OpCode = op.Code;
                return "";
            }
        }
        const THexByte code = ReadHexByte(value);
        if (code.Verdict != hbByte) {
            return named + ": neither an operation code's name nor a hex byte";
        }
        step.Expect.OpCode = code.Value;
    } else if (clause == "expect-params") {
        step.Expect.Params = HexBytes(value);
        if (!step.Expect.Params) {
            return named + ": hex bytes";
        }
    } else if (clause == "timeout") {
        step.TimeoutMs = ReadNumber(value, kMinAnswerTimeoutMs, kMaxAnswerTimeoutMs);
        if (!step.TimeoutMs) {
            return named + ": " + std::to_string(kMinAnswerTimeoutMs) + ".." +
                   std::to_string(kMaxAnswerTimeoutMs) + " ms";
        }
    } else {
        return "unknown clause '" + std::string(clause) + "'";
    }
    return "";
}

TScriptResult ParseScript(std::string_view text, const TCommandDefinitions& defs) {
    TScriptResult result;
    // The open blocks: the steps being filled, innermost last, and the line of each "repeat".
    std::vector<std::vector<TStep>*> open{&result.Steps};
    std::vector<int> openLines;
    int number = 0;
    const auto fail = [&](int line, const std::string& what) {
        result.Steps.clear();
        result.Error = std::to_string(line) + ": " + what;
        return result;
    };
    while (!text.empty()) {
        ++number;
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        const auto words = Words(line);
        if (!words) {
            return fail(number, "a quote is not closed");
        }
        if (words->empty()) {
            continue;
        }
        if ((*words)[0] == "}") {
            if (words->size() != 1 || openLines.empty()) {
                return fail(number, openLines.empty() ? "'}' without 'repeat'" : "text after '}'");
            }
            open.pop_back();
            openLines.pop_back();
            continue;
        }
        TStep step;
        step.Line = number;
        if (std::string error = ParseLine(*words, defs, step); !error.empty()) {
            return fail(number, error);
        }
        if (step.Kind == skRepeat && openLines.size() == kMaxNesting) {
            return fail(number, "repeats nested deeper than " + std::to_string(kMaxNesting));
        }
        open.back()->push_back(std::move(step));
        if (open.back()->back().Kind == skRepeat) {
            open.push_back(&open.back()->back().Body);
            openLines.push_back(number);
        }
    }
    if (!openLines.empty()) {
        return fail(openLines.back(), "'repeat' without its '}'");
    }
    return result;
}

std::int64_t CountRequests(const std::vector<TStep>& steps) {
    constexpr std::int64_t kMany = std::int64_t{1} << 40;
    std::int64_t count = 0;
    for (const TStep& step : steps) {
        if (step.Kind == skSend) {
            count += step.Send.Repeat;
        } else if (step.Kind == skRepeat) {
            const std::int64_t body = CountRequests(step.Body);
            count += body > 0 && step.Count > kMany / body ? kMany : step.Count * body;
        }
        count = std::min(count, kMany);
    }
    return count;
}
