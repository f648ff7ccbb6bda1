#include <gtest/gtest.h>

#include <cstdint>

#include "platform/text/AsciiText.h"

// The one integer reader, in both of its forms: the component's own texts (lenient) and ini
// values (strict).
TEST(AsciiText, ParseInt32BothForms) {
    const struct {
        const char* Text;
        bool Lenient, Ok;
        std::int32_t Value;
    } Cases[] = {
        {"115200", false, true, 115200},
        {"-42", false, true, -42},
        {"+7", false, true, 7},
        {"0x1C200", false, true, 115200},
        {"0XfF", false, true, 255},
        {"0xFFFFFFFF", false, true, -1},
        {"-2147483648", false, true, INT32_MIN},
        {"2147483647", false, true, INT32_MAX},
        {"2147483648", false, false, 0},
        {"-2147483649", false, false, 0},
        {"0x100000000", false, false, 0},
        {"0x", false, false, 0},
        {"", false, false, 0},
        {"-", false, false, 0},
        {"12abc", false, false, 0},
        {"1 2", false, false, 0},
        {"$10", false, false, 0},
        {" 5", false, false, 0},
        {"$10", true, true, 16},
        {" \t-$ff", true, true, -255},
        {"$FFFFFFFF", true, true, -1},
        {"$", true, false, 0},
        {"5 ", true, false, 0},
        {"\xB9", true, false, 0},
    };
    for (const auto& C : Cases) {
        std::int32_t Value = 99;
        EXPECT_EQ(ParseInt32(C.Text, C.Lenient, Value), C.Ok) << C.Text << " " << C.Lenient;
        EXPECT_EQ(Value, C.Ok ? C.Value : 99) << C.Text << " " << C.Lenient;
    }
}

TEST(AsciiText, DigitRunsAndHexDigits) {
    const struct {
        const char* Text;
        unsigned Base;
        std::uint64_t Limit, Value;
        std::size_t Length;
        bool Overflow;
    } Cases[] = {
        {"123x", 10, 1000, 123, 3, false},         {"ff", 10, 1000, 0, 0, false},
        {"fF9g", 16, 0xFFFF, 0xFF9, 3, false},     {"1000", 10, 999, 0, 4, true},
        {"123456789", 16, 0xFFFFFFFF, 0, 9, true},
    };
    for (const auto& C : Cases) {
        const TDigitRun Run = ReadDigits(C.Text, C.Base, C.Limit);
        EXPECT_EQ(Run.Length, C.Length) << C.Text;
        EXPECT_EQ(Run.Overflow, C.Overflow) << C.Text;
        if (!C.Overflow) {
            EXPECT_EQ(Run.Value, C.Value) << C.Text;
        }
    }
    for (unsigned V = 0; V < 16; ++V)
        EXPECT_EQ(HexDigitValue(HexDigitChar(V)), static_cast<int>(V));
    EXPECT_EQ(HexDigitChar(10), 'A');
    for (char C : {'g', 'G', '/', ':', '@', '`', '\xC1'})
        EXPECT_EQ(HexDigitValue(C), -1) << C;
    EXPECT_EQ(AsciiUpperCase("aZ\xE9{"), "AZ\xE9{");
}
