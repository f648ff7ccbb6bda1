// The repeat-period dialog's reading of its edit: a decimal integer at the start of the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Leading white space skipped, an optional sign, digits up to the first other character
// ("75ms" -> 75, " -3" -> -3). Nothing for text without a digit where the number begins, and for
// a number outside 32 bits, which no period can be.
std::optional<std::int32_t> ReadPeriodText(std::string_view text);
