#include "framework/TextUtil.h"

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

// Leading blanks and a sign, then decimal, or hexadecimal after "$" or "0x"; nothing may follow.
bool TryStrToInt(std::string_view Str, std::int32_t& Value) {
    std::size_t Pos = 0;
    while (Pos < Str.size() && (Str[Pos] == ' ' || Str[Pos] == '\t'))
        ++Pos;
    bool Negative = false;
    if (Pos < Str.size() && (Str[Pos] == '+' || Str[Pos] == '-'))
        Negative = Str[Pos++] == '-';
    unsigned Base = 10;
    if (Pos < Str.size() && Str[Pos] == '$') {
        Base = 16;
        ++Pos;
    } else if (Pos + 1 < Str.size() && Str[Pos] == '0' && (Str[Pos + 1] | 0x20) == 'x') {
        Base = 16;
        Pos += 2;
    }
    if (Pos == Str.size())
        return false;
    // Hexadecimal spans the full 32-bit pattern ($FFFFFFFF is -1); decimal is the signed range.
    const std::uint64_t Limit = Base == 16 ? 0xFFFFFFFFull
                                : Negative ? 0x80000000ull
                                           : 0x7FFFFFFFull;
    std::uint64_t Magnitude = 0;
    for (; Pos < Str.size(); ++Pos) {
        const char Ch = Str[Pos];
        unsigned Digit;
        if (Ch >= '0' && Ch <= '9')
            Digit = static_cast<unsigned>(Ch - '0');
        else if (Base == 16 && (Ch | 0x20) >= 'a' && (Ch | 0x20) <= 'f')
            Digit = static_cast<unsigned>((Ch | 0x20) - 'a' + 10);
        else
            return false;
        Magnitude = Magnitude * Base + Digit;
        if (Magnitude > Limit)
            return false;
    }
    const auto Bits = static_cast<std::uint32_t>(Negative ? 0 - Magnitude : Magnitude);
    Value = static_cast<std::int32_t>(Bits);
    return true;
}
