#include "app/core/PeriodText.h"

#include "app/core/HexText.h"
#include "platform/text/AsciiText.h"

std::optional<std::int32_t> ReadPeriodText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Digits up to the first other character; what follows them does not matter.
    const TDigitRun run = ReadDigits(text.substr(i), 10, negative ? 0x80000000u : 0x7FFFFFFFu);
    if (run.Length == 0 || run.Overflow) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(negative ? 0 - run.Value : run.Value));
}
