// The script language: what a line becomes, and every mistake named with its line.
#include <gtest/gtest.h>

#include "tools/tessal-cli/Script.h"

namespace {

const TCommandDefinitions& Example() {
    static const TCommandDefinitions defs = [] {
        TCommandDefinitions d("");
        d.SetRememberLoads(false);
        d.LoadCommandFile(TESSAL_SOURCE_DIR "/resources/example.tsl");
        return d;
    }();
    return defs;
}

TEST(Script, ASendLineTakesItsParametersAndClauses) {
    const TScriptResult script =
        ParseScript("  send write 10 $AB 0x0d addr 05 expect crc-fail expect-opcode BADCMD "
                    "expect-params \"DE AD\" 01 timeout 250 # remark\n",
                    Example());
    ASSERT_FALSE(script.Error) << *script.Error;
    ASSERT_EQ(script.Steps.size(), 1u);
    const TSendStep& send = script.Steps[0].Send;
    EXPECT_EQ(Example().GetCommandList()[std::size_t(send.CommandIndex)].Name, "WRITE");
    EXPECT_EQ(send.Params, "10 $AB 0x0d");
    EXPECT_EQ(send.Addr, "05");
    EXPECT_EQ(send.Expect.Verdict, vdCrcFail);
    EXPECT_EQ(send.Expect.OpCode, 0x0F);
    EXPECT_EQ(send.Expect.Params, (std::vector<std::uint8_t>{0xDE, 0xAD, 0x01}));
    EXPECT_EQ(send.TimeoutMs, 250);
}

TEST(Script, RepeatBlocksNestAndCountTheirRequests) {
    const TScriptResult script = ParseScript("repeat 3 {\n"
                                             "  repeat 2 {\n"
                                             "    send PING\n"
                                             "  }\n"
                                             "  wait 5\n"
                                             "  send 7F 5A A5\n"
                                             "}\n"
                                             "send READ 00 04\n",
                                             Example());
    ASSERT_FALSE(script.Error) << *script.Error;
    EXPECT_EQ(script.Steps.size(), 2u);
    EXPECT_EQ(CountRequests(script.Steps), 3 * (2 + 1) + 1);
}

TEST(Script, EachMistakeIsNamedWithItsLine) {
    const struct {
        const char* Text;
        const char* Error;
    } cases[] = {
        {"wait\n", "1: wait needs one time in ms"},
        {"send PING\n}\n", "2: '}' without 'repeat'"},
        {"# remark\n\nrepeat 2 {\n  send PING\n", "3: 'repeat' without its '}'"},
        {"repeat 2\n", "1: repeat needs a count"},
        {"send PING\nsend PONG\n", "2: unknown command 'PONG'"},
        {"send READ 00 1FF\n", "1: Error: "},
        {"send PING expect ok ok\n", "1: unexpected 'ok' after expect ok"},
        {"send PING expect fine\n", "1: expect 'fine': ok, crc-fail, timeout or no-answer"},
        {"send PING expect-opcode SOON\n", "1: expect-opcode 'SOON': neither"},
        {"send PING timeout 0\n", "1: timeout '0': 1..60000 ms"},
        {"send PING addr\n", "1: addr needs a value"},
        {"send PING \"open\n", "1: a quote is not closed"},
        {"set cts on\n", "1: set needs rts or dtr, then on or off"},
        {"sned PING\n", "1: unknown step 'sned'"},
    };
    std::string deep;
    for (std::size_t i = 0; i <= kMaxNesting; ++i) {
        deep += "repeat 1 {\n";
    }
    const std::string deepError = std::to_string(kMaxNesting + 1) + ": repeats nested deeper";
    std::vector<std::pair<std::string, std::string>> all = {{deep, deepError}};
    for (const auto& c : cases) {
        all.emplace_back(c.Text, c.Error);
    }
    for (const auto& [text, error] : all) {
        const TScriptResult script = ParseScript(text, Example());
        ASSERT_TRUE(script.Error) << text;
        EXPECT_TRUE(script.Error->starts_with(error)) << text << " -> " << *script.Error;
        EXPECT_TRUE(script.Steps.empty());
    }
}

} // namespace
