#include "tools/devsim/SimRules.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/core/HexText.h"
#include "app/core/TxFrame.h"
#include "platform/text/AsciiText.h"

namespace {

// Address, length, answer code, operation code and two CRC bytes.
constexpr std::size_t kAnswerEnvelope = 6;
constexpr std::size_t kMaxAnswerParameters = kMaxFrameLength - kAnswerEnvelope;

std::vector<std::string> Tokens(const std::string& Line) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < Line.size()) {
        while (i < Line.size() && IsWhiteSpace(Line[i])) {
            ++i;
        }
        if (i == Line.size() || Line[i] == '#') {
            break;
        }
        const std::size_t start = i;
        while (i < Line.size() && !IsWhiteSpace(Line[i])) {
            ++i;
        }
        tokens.push_back(Line.substr(start, i - start));
    }
    return tokens;
}

std::uint8_t RequireByte(const std::string& Token, int Line, const char* What) {
    const auto byte = ParseHexByte(Token);
    if (!byte) {
        throw ESimRules({}, Line, std::string(What) + " '" + Token + "' is not a hex byte");
    }
    return *byte;
}

} // namespace

std::optional<std::uint8_t> ParseHexByte(std::string_view Token) {
    if (Token.size() > 2 && Token[0] == '0' && (Token[1] == 'x' || Token[1] == 'X')) {
        Token.remove_prefix(2);
    }
    if (Token.empty() || Token.size() > 2 || ReadDigits(Token, 16, 0xFF).Length != Token.size()) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(ReadHex(Token));
}

static std::string RulesMessage(const std::string& File, int Line, const std::string& Reason) {
    const std::string line = Line > 0 ? std::to_string(Line) : "";
    if (File.empty()) {
        return line.empty() ? Reason : "line " + line + ": " + Reason;
    }
    return File + ":" + (line.empty() ? " " : line + ": ") + Reason;
}

ESimRules::ESimRules(const std::string& File, int Line, const std::string& Reason)
    : std::runtime_error(RulesMessage(File, Line, Reason)), line_(Line), reason_(Reason) {}

TSimRules TSimRules::Parse(std::string_view Text) {
    TSimRules rules;
    std::istringstream in{std::string(Text)};
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto tokens = Tokens(line);
        if (tokens.empty()) {
            continue;
        }
        if (tokens[0] == "unknown") {
            if (tokens.size() != 2) {
                throw ESimRules({}, number, "'unknown' takes one operation code");
            }
            rules.unknownOpCode_ = RequireByte(tokens[1], number, "operation code");
            continue;
        }
        const auto arrow = std::find(tokens.begin(), tokens.end(), "->");
        if (arrow == tokens.end()) {
            throw ESimRules({}, number, "a rule needs '->' between the request and the answer");
        }
        if (arrow == tokens.begin()) {
            throw ESimRules({}, number, "a rule begins with a command code");
        }
        if (arrow + 1 == tokens.end()) {
            throw ESimRules({}, number, "a rule needs an operation code after '->'");
        }
        TRule rule;
        rule.Command = RequireByte(tokens[0], number, "command code");
        for (auto it = tokens.begin() + 1; it != arrow; ++it) {
            rule.Match.push_back(RequireByte(*it, number, "request byte"));
        }
        rule.OpCode = RequireByte(*(arrow + 1), number, "operation code");
        for (auto it = arrow + 2; it != tokens.end(); ++it) {
            TPiece piece;
            if (*it == "@") {
                piece.Echo = true;
            } else if ((*it)[0] == '$') {
                piece.Bytes.assign(it->begin() + 1, it->end());
            } else {
                piece.Bytes.push_back(RequireByte(*it, number, "answer byte"));
            }
            rule.Pieces.push_back(std::move(piece));
        }
        rules.rules_.push_back(std::move(rule));
    }
    return rules;
}

TSimRules TSimRules::Load(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    if (!in) {
        throw ESimRules(Path, 0, "cannot read the rules file");
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return Parse(text.str());
    } catch (const ESimRules& e) {
        throw ESimRules(Path, e.GetLine(), e.Reason());
    }
}

std::optional<TSimAnswer> TSimRules::Answer(std::uint8_t Command,
                                            std::span<const std::uint8_t> Parameters) const {
    const auto fits = [&](const TRule& r) {
        return r.Command == Command && r.Match.size() <= Parameters.size() &&
               std::equal(r.Match.begin(), r.Match.end(), Parameters.begin());
    };
    const auto rule = std::find_if(rules_.begin(), rules_.end(), fits);
    if (rule == rules_.end()) {
        return std::nullopt;
    }
    TSimAnswer answer{rule->OpCode, {}};
    for (const auto& piece : rule->Pieces) {
        if (piece.Echo) {
            answer.Parameters.insert(answer.Parameters.end(), Parameters.begin(), Parameters.end());
        } else {
            answer.Parameters.insert(answer.Parameters.end(), piece.Bytes.begin(),
                                     piece.Bytes.end());
        }
    }
    // The length byte counts the whole answer; longer parameters would wrap it.
    if (answer.Parameters.size() > kMaxAnswerParameters) {
        answer.Parameters.resize(kMaxAnswerParameters);
    }
    return answer;
}
