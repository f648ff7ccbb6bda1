#include "app/core/PeriodText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

TEST(PeriodTextTest, ReadsTheDecimalAtTheStart) {
    struct TCase {
        std::string Text;
        std::optional<std::int32_t> Value;
    };
    const std::vector<TCase> cases = {
        {"1000", 1000},
        {"75ms", 75},
        {"  250", 250},
        {"-5", -5},
        {"+7", 7},
        {"0", 0},
        {"", std::nullopt},
        {"ms", std::nullopt},
        {"-", std::nullopt},
        {" - 5", std::nullopt},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"\t12\n", 12},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ReadPeriodText(c.Text), c.Value) << '"' << c.Text << '"';
    }
}
