#include "platform/text/AsciiText.h"

char AsciiUpper(char C) {
    return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}

std::string AsciiUpperCase(std::string_view S) {
    std::string r(S);
    for (char& c : r)
        c = AsciiUpper(c);
    return r;
}

int CompareText(std::string_view A, std::string_view B) {
    const std::size_t n = A.size() < B.size() ? A.size() : B.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = static_cast<unsigned char>(AsciiUpper(A[i]));
        const auto b = static_cast<unsigned char>(AsciiUpper(B[i]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (A.size() == B.size())
        return 0;
    return A.size() < B.size() ? -1 : 1;
}

bool SameText(std::string_view A, std::string_view B) {
    return A.size() == B.size() && CompareText(A, B) == 0;
}

int HexDigitValue(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    const char U = AsciiUpper(C);
    if (U >= 'A' && U <= 'F')
        return U - 'A' + 10;
    return -1;
}

char HexDigitChar(unsigned Value) {
    return "0123456789ABCDEF"[Value & 0x0F];
}

TDigitRun ReadDigits(std::string_view Str, unsigned Base, std::uint64_t Limit) {
    TDigitRun Run;
    for (char Ch : Str) {
        const int Digit = HexDigitValue(Ch);
        if (Digit < 0 || static_cast<unsigned>(Digit) >= Base)
            break;
        ++Run.Length;
        if (Run.Overflow)
            continue;
        if (Run.Value > (Limit - static_cast<unsigned>(Digit)) / Base)
            Run.Overflow = true;
        else
            Run.Value = Run.Value * Base + static_cast<unsigned>(Digit);
    }
    return Run;
}

bool ParseInt32(std::string_view Str, bool Lenient, std::int32_t& Value) {
    std::size_t Pos = 0;
    while (Lenient && Pos < Str.size() && (Str[Pos] == ' ' || Str[Pos] == '\t'))
        ++Pos;
    bool Negative = false;
    if (Pos < Str.size() && (Str[Pos] == '+' || Str[Pos] == '-'))
        Negative = Str[Pos++] == '-';
    unsigned Base = 10;
    if (Lenient && Pos < Str.size() && Str[Pos] == '$') {
        Base = 16;
        ++Pos;
    } else if (Pos + 1 < Str.size() && Str[Pos] == '0' && AsciiUpper(Str[Pos + 1]) == 'X') {
        Base = 16;
        Pos += 2;
    }
    const std::uint64_t Limit = Base == 16 ? 0xFFFFFFFFull
                                : Negative ? 0x80000000ull
                                           : 0x7FFFFFFFull;
    const TDigitRun Run = ReadDigits(Str.substr(Pos), Base, Limit);
    if (Run.Length == 0 || Run.Overflow || Pos + Run.Length != Str.size())
        return false;
    const auto Bits = static_cast<std::uint32_t>(Negative ? 0 - Run.Value : Run.Value);
    Value = static_cast<std::int32_t>(Bits);
    return true;
}

bool TryStrToInt(std::string_view Str, std::int32_t& Value) {
    return ParseInt32(Str, true, Value);
}
