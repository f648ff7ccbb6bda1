// The simulated device's answers: a table of rules read from a text file.
//
//   # a token that begins with '#' starts a remark running to the end of the line
//   unknown 0F                    operation code of the answer to a command without a rule
//   01 -> 00 DE AD BE EF          command 01: operation code 00, four parameter bytes
//   7F 5A A5 -> 00                command 7F whose parameters begin 5A A5
//   7F -> 10                      any other command 7F
//   20 -> 00 $OK @                parameters: the characters O and K, then the request's own
//
// A rule is: command code, the bytes the request's parameters must begin with (none: any), "->",
// the operation code, the answer's parameters. Bytes are hexadecimal numbers of one or two digits
// (an optional 0x), "$text" stands for the characters of text, "@" for the request's parameters.
// The first rule that fits a request answers it, so specific rules go before general ones.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The message reads "FILE:LINE: reason" (no file for parsed text, no line when unreadable).
// One byte written as one or two hexadecimal digits, optionally after 0x; nothing else.
std::optional<std::uint8_t> ParseHexByte(std::string_view Token);

class ESimRules : public std::runtime_error {
public:
    ESimRules(const std::string& File, int Line, const std::string& Reason);
    int GetLine() const { return line_; }
    const std::string& Reason() const { return reason_; }

private:
    int line_;
    std::string reason_;
};

struct TSimAnswer {
    std::uint8_t OpCode = 0;
    std::vector<std::uint8_t> Parameters;
};

class TSimRules {
public:
    // The operation code of "unknown" when the file gives none.
    static constexpr std::uint8_t DefaultUnknownOpCode = 0x0F;

    // Raise ESimRules naming the first malformed line (a file that cannot be read: line 0).
    static TSimRules Parse(std::string_view Text);
    static TSimRules Load(const std::string& Path);

    // The answer of the first rule that fits, or none. Parameters are cut to what one answer
    // frame can carry.
    std::optional<TSimAnswer> Answer(std::uint8_t Command,
                                     std::span<const std::uint8_t> Parameters) const;
    std::uint8_t UnknownOpCode() const { return unknownOpCode_; }
    std::size_t RuleCount() const { return rules_.size(); }

private:
    // One piece of an answer's parameters: fixed bytes, or the request's parameters.
    struct TPiece {
        bool Echo = false;
        std::vector<std::uint8_t> Bytes;
    };
    struct TRule {
        std::uint8_t Command = 0;
        std::vector<std::uint8_t> Match;
        std::uint8_t OpCode = 0;
        std::vector<TPiece> Pieces;
    };

    std::vector<TRule> rules_;
    std::uint8_t unknownOpCode_ = DefaultUnknownOpCode;
};
