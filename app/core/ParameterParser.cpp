#include "app/core/ParameterParser.h"

#include "app/core/HexText.h"

#include <algorithm>

namespace {

constexpr std::size_t kMaxHexDigits = 2;
constexpr std::size_t kMaxStringChars = 64;
constexpr std::size_t kMaxQuotedToken = 24;
// The last offset a parameter byte may take, leaving room for the two CRC bytes.
constexpr int kParametersLimit = kFrameParametersOffset + kMaxParameterBytes;

class TParser {
public:
    explicit TParser(TTxFrame& frame) : Frame(frame) {}

    TParameterParse Run(std::string_view text) {
        for (char ch : text) {
            if (!Step(ch)) {
                return Result;
            }
        }
        // A blank closes the last token.
        Step(' ');
        return Result;
    }

private:
    bool Fail(std::string text) {
        Result.Ok = false;
        Result.ErrorText = std::move(text);
        return false;
    }

    bool Emit(std::string_view bytes) {
        if (Result.End + static_cast<int>(bytes.size()) > kParametersLimit) {
            return Fail(kFrameTooLongText);
        }
        std::copy(bytes.begin(), bytes.end(), Frame.begin() + Result.End);
        Result.End += static_cast<int>(bytes.size());
        return true;
    }

    // The rules are tried in this order and the first that matches wins; the order matters for
    // input such as "1$AB", where the blank flushes the digit and leaves the string open.
    bool Step(char ch) {
        const bool white = IsWhiteSpace(ch);
        if (!InString && !white && IsLetterOrDigit(ch)) {
            // The whole token is judged when it ends; a run this long is wrong whatever follows.
            if (HexDigits.size() > kMaxQuotedToken) {
                return Fail(Judge(HexDigits).ErrorText);
            }
            HexDigits.push_back(ch);
            HexPending = true;
            return true;
        }
        if (InString && !white) {
            StringChars.push_back(ch);
            return StringChars.size() < kMaxStringChars || Fail(kTooLongAsciiText);
        }
        if (ch == '$' && !InString) {
            InString = true;
            return true;
        }
        if (HexPending) {
            const TParameterParse token = Judge(HexDigits);
            if (!token.Ok) {
                return Fail(token.ErrorText);
            }
            const char byte = static_cast<char>(token.End);
            HexDigits.clear();
            HexPending = false;
            return Emit(std::string_view(&byte, 1));
        }
        if (InString) {
            InString = false;
            HexDigits.clear();
            const std::string chars = std::move(StringChars);
            StringChars.clear();
            return Emit(chars);
        }
        return true;
    }

    // One hex token: its byte in End, or why it is refused.
    static TParameterParse Judge(const std::string& token) {
        TParameterParse verdict;
        const THexByte byte = ReadHexByte(token);
        if (byte.Verdict == hbNotHex) {
            verdict.Ok = false;
            verdict.ErrorText = NotHexByteText("Parameters", token);
        } else if (byte.Digits > kMaxHexDigits) {
            verdict.Ok = false;
            verdict.ErrorText = kTooLongHexText;
        }
        verdict.End = byte.Value;
        return verdict;
    }

    TTxFrame& Frame;
    TParameterParse Result;
    std::string HexDigits;
    std::string StringChars;
    bool HexPending = false;
    bool InString = false;
};

} // namespace

std::string NotHexByteText(std::string_view field, std::string_view token) {
    std::string shown(token.substr(0, kMaxQuotedToken));
    if (token.size() > kMaxQuotedToken) {
        shown += "...";
    }
    return "Error: " + std::string(field) + ": '" + shown + "' is not a hex byte";
}

TParameterParse ParseParameters(std::string_view text, TTxFrame& frame) {
    return TParser(frame).Run(text);
}
