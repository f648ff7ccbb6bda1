// Text as bytes: ASCII case folding, hexadecimal digits and integer reading, one of each for
// every layer. Only the letters A-Z/a-z and the digits count; bytes 0x80..0xFF are neither,
// whatever the locale says.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

char AsciiUpper(char C);
std::string AsciiUpperCase(std::string_view S);
// <0, 0 or >0 like strcmp, comparing upper-cased bytes as unsigned.
int CompareText(std::string_view A, std::string_view B);
bool SameText(std::string_view A, std::string_view B);

// The value of a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char C);
// The upper-case digit of Value 0..15.
char HexDigitChar(unsigned Value);

// The run of digits in Base (10 or 16) at the start of Str. Overflow tells that the value went
// above Limit on the way (Value is then meaningless); Length counts the whole run regardless.
struct TDigitRun {
    std::uint64_t Value = 0;
    std::size_t Length = 0;
    bool Overflow = false;
};
TDigitRun ReadDigits(std::string_view Str, unsigned Base, std::uint64_t Limit);

// A whole text as a 32-bit integer: an optional sign, then decimal, or hexadecimal after "0x" or
// "0X"; with Lenient also after "$", and leading blanks and tabs are skipped. Nothing may follow.
// Hexadecimal spans the full 32-bit pattern ($FFFFFFFF is -1); decimal is the signed range.
// False (Value untouched) for anything else.
bool ParseInt32(std::string_view Str, bool Lenient, std::int32_t& Value);
// The component's own integer texts: ParseInt32, lenient.
bool TryStrToInt(std::string_view Str, std::int32_t& Value);
