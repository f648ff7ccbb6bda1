#include "app/core/Crc16.h"
#include "app/core/HexText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::uint16_t CrcOf(const std::vector<std::uint8_t>& bytes) {
    return Crc16(bytes.data(), static_cast<std::uint8_t>(bytes.size()));
}

} // namespace

TEST(Crc16, CheckValueEmptyInputAndWorkedFrames) {
    const std::string digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0x31C3);
    const std::uint8_t any = 0xAB;
    EXPECT_EQ(Crc16(&any, 0), 0x0000);
    EXPECT_EQ(CrcOf({0xFF, 0x05, 0x00}), 0x3096);
    EXPECT_EQ(CrcOf({0x01, 0x07, 0x10, 0x00, 0x05}), 0xE8BA);
    EXPECT_EQ(CrcOf({0x01, 0x06, 0x00, 0x05}), 0x94B1);
}

TEST(Crc16, TableEqualsBitwiseForEveryLengthAndContinuation) {
    std::mt19937 random(12345);
    std::vector<std::uint8_t> data(300);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (std::size_t n = 0; n <= data.size(); ++n) {
        ASSERT_EQ(Crc16Update(0, data.data(), n), Crc16Bitwise(0, data.data(), n)) << n;
    }
    // Continuing over a split gives the CRC of the whole.
    const std::uint16_t head = Crc16Update(0, data.data(), 100);
    EXPECT_EQ(Crc16Update(head, data.data() + 100, 200), Crc16Update(0, data.data(), 300));
    // Every single-byte value reaches every table entry.
    for (unsigned b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        ASSERT_EQ(Crc16(&byte, 1), Crc16Bitwise(0, &byte, 1)) << b;
    }
}

TEST(HexText, Hex2IsTwoUpperCaseDigits) {
    EXPECT_EQ(hex2(0x00), "00");
    EXPECT_EQ(hex2(0x0B), "0B");
    EXPECT_EQ(hex2(0x3a), "3A");
    EXPECT_EQ(hex2(0xFF), "FF");
}

TEST(HexText, ReadHexSkipsBlanksTakesPrefixAndStopsAtFirstNonDigit) {
    struct Case {
        const char* Text;
        std::uint32_t Value;
    };
    const Case cases[] = {
        {"ff", 0xFF},    {"FF", 0xFF},     {"  \t1a", 0x1A}, {"0x1A", 0x1A}, {"0X1a", 0x1A},
        {"1z", 0x01},    {"zz", 0x00},     {"", 0x00},       {"0x", 0x00},   {"101", 0x101},
        {"12 34", 0x12}, {"\r\n\v\f7", 7}, {"x12", 0x00},    {"-5", 0x00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadHex(c.Text), c.Value) << '"' << c.Text << '"';
    }
    // Long input wraps but keeps its low byte.
    EXPECT_EQ(ReadHex("123456789abcdef0ab") & 0xFF, 0xABu);
}
