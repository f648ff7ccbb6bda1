#include <gtest/gtest.h>

#include <filesystem>

#include "SimTestSupport.h"
#include "app/core/CommandDefinitions.h"
#include "tests/common/TempDir.h"
#include "tools/devsim/SimOptions.h"
#include "tools/devsim/SimRules.h"

namespace {

const char* const kRules = R"(
# remarks and blank lines are skipped
unknown 0e
01 -> 00 DE AD be ef     # trailing remark
7F 5A A5 -> 00
7F -> 10
20 -> 00 $OK @ 0x0D
30 -> 05
)";

struct TAnswerCase {
    const char* Name;
    std::uint8_t Command;
    TBytes Parameters;
    bool Answered;
    std::uint8_t OpCode;
    TBytes AnswerParameters;
};

TEST(SimRules, FirstFittingRuleAnswers) {
    const auto rules = TSimRules::Parse(kRules);
    EXPECT_EQ(rules.RuleCount(), 5u);
    EXPECT_EQ(rules.UnknownOpCode(), 0x0E);
    const TAnswerCase cases[] = {
        {"fixed parameters, request ignored", 0x01, {1, 2}, true, 0x00, {0xDE, 0xAD, 0xBE, 0xEF}},
        {"match bytes fit", 0x7F, {0x5A, 0xA5}, true, 0x00, {}},
        {"match bytes fit a longer request", 0x7F, {0x5A, 0xA5, 0x01}, true, 0x00, {}},
        {"match bytes differ: next rule", 0x7F, {0x5A, 0xA6}, true, 0x10, {}},
        {"request shorter than match: next rule", 0x7F, {0x5A}, true, 0x10, {}},
        {"text and echo", 0x20, {0x41, 0x42}, true, 0x00, {'O', 'K', 0x41, 0x42, 0x0D}},
        {"echo of nothing", 0x20, {}, true, 0x00, {'O', 'K', 0x0D}},
        {"no parameters", 0x30, {}, true, 0x05, {}},
        {"no rule", 0x31, {}, false, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto answer = rules.Answer(c.Command, c.Parameters);
        ASSERT_EQ(answer.has_value(), c.Answered);
        if (answer) {
            EXPECT_EQ(answer->OpCode, c.OpCode);
            EXPECT_EQ(answer->Parameters, c.AnswerParameters);
        }
    }
}

TEST(SimRules, AnswerNeverOutgrowsTheLengthByte) {
    const auto rules = TSimRules::Parse("1A -> 00 @ @\n");
    const TBytes longest(250, 0x55);
    const auto answer = rules.Answer(0x1A, longest);
    ASSERT_TRUE(answer);
    // 255 bytes in all: address, length, code, 249 parameters, operation code, CRC.
    EXPECT_EQ(answer->Parameters.size(), 249u);
}

TEST(SimRules, MalformedLinesAreNamed) {
    struct TCase {
        const char* Text;
        int Line;
        const char* Says;
    } const cases[] = {
        {"01 00\n", 1, "'->'"},
        {"\n-> 00\n", 2, "command code"},
        {"01 ->\n", 1, "operation code after"},
        {"0x1FF -> 00\n", 1, "command code '0x1FF'"},
        {"01 zz -> 00\n", 1, "request byte 'zz'"},
        {"01 -> 00 123\n", 1, "answer byte '123'"},
        {"01 -> g0\n", 1, "operation code 'g0'"},
        {"# fine\nunknown\n", 2, "'unknown' takes"},
        {"unknown 0F 10\n", 1, "'unknown' takes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        try {
            TSimRules::Parse(c.Text);
            ADD_FAILURE() << "accepted";
        } catch (const ESimRules& e) {
            EXPECT_EQ(e.GetLine(), c.Line);
            EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("line " + std::to_string(c.Line)),
                      std::string::npos)
                << e.what();
        }
    }
}

TEST(SimRules, LoadNamesTheFile) {
    try {
        TSimRules::Load("/nonexistent/dir/x.rules");
        ADD_FAILURE() << "accepted";
    } catch (const ESimRules& e) {
        EXPECT_EQ(e.GetLine(), 0);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/x.rules"), std::string::npos);
    }
}

// The demo loads example.tsl into the workbench and example.rules into the simulator: every
// command of the one has a rule in the other, and every operation code they answer with has a name.
TEST(SimRules, ExampleRulesFitTheExampleCommandFile) {
    const TTempDir appDir; // the loader writes tessal.ini there
    TCommandDefinitions definitions(appDir.Dir().string());
    const std::string tsl = std::filesystem::path(DefaultRulesPath()).replace_extension(".tsl");
    ASSERT_EQ(definitions.LoadCommandFile(tsl).Result, lrLoaded);
    const auto rules = TSimRules::Load(DefaultRulesPath());
    ASSERT_FALSE(definitions.GetCommandList().empty());
    for (const auto& command : definitions.GetCommandList()) {
        SCOPED_TRACE(command.Name);
        const auto answer = rules.Answer(command.Code, TBytes{0x5A, 0xA5});
        ASSERT_TRUE(answer);
        const auto* op = FindOpCode(definitions.GetOpCodeList(), answer->OpCode);
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(op->Name, "DONE");
    }
    EXPECT_NE(FindOpCode(definitions.GetOpCodeList(), rules.UnknownOpCode()), nullptr);
}

} // namespace
