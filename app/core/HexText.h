// Hexadecimal as the workbench shows and reads it, and the character classes its parsers share.
// Everything here works on bytes: characters 0x80..0xFF are neither white space, letters nor
// digits, whatever the locale says.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// hex2: a byte as exactly two upper-case digits ("0B", "3A"); every number the window shows.
std::string hex2(std::uint8_t value);

// Reads typed hexadecimal (TAddr, the CRC edits, codes, parameter tokens): leading white space is
// skipped, an optional 0x/0X prefix accepted, digits of either case taken up to the first other
// character. Text without a digit reads as 0. The value wraps modulo 2^32, which leaves the low
// bits, the only ones any caller keeps, exact.
std::uint32_t ReadHex(std::string_view text);

// A byte typed as one hexadecimal number, strictly: an optional 0x/0X prefix, then hex digits and
// nothing else. Digits counts the digits after the prefix; a value above 0xFF is hbTooBig.
enum THexByteVerdict : std::uint8_t { hbByte, hbNotHex, hbTooBig };
struct THexByte {
    THexByteVerdict Verdict = hbNotHex;
    std::uint8_t Value = 0;
    std::size_t Digits = 0;
};
THexByte ReadHexByte(std::string_view token);

// Blank, tab, line feed, vertical tab, form feed, carriage return.
bool IsWhiteSpace(char ch);

// 0-9, a-z, A-Z only.
bool IsLetterOrDigit(char ch);
