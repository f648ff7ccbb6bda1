// ASCII case folding: texts are byte strings, and names, keys and sorting ignore only the case
// of the letters A-Z.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

char AsciiUpper(char C);
std::string AsciiUpperCase(std::string_view S);
// <0, 0 or >0 like strcmp, comparing upper-cased bytes as unsigned.
int CompareText(std::string_view A, std::string_view B);
bool SameText(std::string_view A, std::string_view B);

// Leading blanks and a sign, then decimal, or hexadecimal after "$" or "0x"; nothing may follow.
// False (Value untouched) for anything else or a value outside 32 bits.
bool TryStrToInt(std::string_view Str, std::int32_t& Value);
