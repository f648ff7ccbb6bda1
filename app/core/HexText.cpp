#include "app/core/HexText.h"

#include "platform/text/AsciiText.h"

std::string hex2(std::uint8_t value) {
    return std::string{HexDigitChar(value >> 4u), HexDigitChar(value)};
}

std::uint32_t ReadHex(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i])) {
        ++i;
    }
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
    }
    // Only the last eight digits reach the low 32 bits.
    const std::size_t digits = ReadDigits(text.substr(i), 16, ~std::uint64_t{0}).Length;
    const std::size_t low = digits > 8 ? digits - 8 : 0;
    return static_cast<std::uint32_t>(
        ReadDigits(text.substr(i + low, digits - low), 16, 0xFFFFFFFF).Value);
}

THexByte ReadHexByte(std::string_view token) {
    THexByte result;
    if (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        token.remove_prefix(2);
    }
    const TDigitRun digits = ReadDigits(token, 16, 0xFF);
    if (token.empty() || digits.Length != token.size()) {
        return result;
    }
    result.Digits = digits.Length;
    result.Value = static_cast<std::uint8_t>(digits.Value & 0xFFu);
    result.Verdict = digits.Overflow ? hbTooBig : hbByte;
    return result;
}

bool IsWhiteSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool IsLetterOrDigit(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
