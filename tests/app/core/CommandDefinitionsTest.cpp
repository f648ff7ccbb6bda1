#include "StderrCapture.h"
#include "tests/common/TempDir.h"

#include "app/core/CommandDefinitions.h"
#include "app/core/HexText.h"
#include "app/core/SettingsFile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

class CommandDefinitionsTest : public ::testing::Test {
protected:
    TLoadOutcome Load(const std::string& content, std::string* errors = nullptr) {
        return LoadPath(Dir.Write("cmds.tsl", content), errors);
    }

    TLoadOutcome LoadPath(const std::string& path, std::string* errors = nullptr) {
        TStderrCapture capture;
        TLoadOutcome outcome = Definitions.LoadCommandFile(path);
        if (errors != nullptr) {
            *errors = capture.Text();
        }
        return outcome;
    }

    const TCommandList& Commands() const { return Definitions.GetCommandList(); }
    const TOpCodeList& OpCodes() const { return Definitions.GetOpCodeList(); }

    TTempDir Dir;
    TCommandDefinitions Definitions{Dir.Dir().string()};
};

const char* const kReadDoneBusy = "#define READ 01 // addr cnt\n"
                                  "#cmdcomment Reads a memory block\n"
                                  "#operationcode\n"
                                  "#define DONE 00\n"
                                  "#define BUSY 05\n";

} // namespace

TEST_F(CommandDefinitionsTest, WorkedExampleGivesRecordsItemsAndSettingsFile) {
    const std::string path = Dir.Write("cmds.tsl", kReadDoneBusy);
    std::string errors;
    const TLoadOutcome outcome = LoadPath(path, &errors);
    EXPECT_EQ(errors, "");

    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(Commands()[0].Name, "READ");
    EXPECT_EQ(Commands()[0].Code, 0x01);
    EXPECT_EQ(Commands()[0].ParamDescription, " addr cnt");
    EXPECT_EQ(Commands()[0].CommandDescription, "Reads a memory block");
    ASSERT_EQ(OpCodes().size(), 2u);
    EXPECT_EQ(OpCodes()[0].Name, "DONE");
    EXPECT_EQ(OpCodes()[0].Code, 0x00);
    EXPECT_EQ(OpCodes()[1].Name, "BUSY");
    EXPECT_EQ(OpCodes()[1].Code, 0x05);
    EXPECT_TRUE(Definitions.GetConfigLoaded());

    EXPECT_EQ(outcome.Result, lrLoaded);
    EXPECT_EQ(outcome.CommandBoxItems, (std::vector<std::string>{"0x01  READ"}));
    EXPECT_EQ(outcome.SelectedIndex, 0);
    EXPECT_EQ(outcome.CommandDescription, "Reads a memory block");
    EXPECT_EQ(outcome.ParamDescription, " addr cnt");
    EXPECT_EQ(outcome.EditorEnabled, true);
    EXPECT_EQ(outcome.StatusText, "Config file successfully loaded");
    EXPECT_EQ(outcome.Caption, path);
    EXPECT_FALSE(outcome.DisableAsciiCheckBox);
    EXPECT_EQ(Dir.Read("tessal.ini"), path + "\r\n");
    EXPECT_EQ(ReadSettingsFile(Dir.File("tessal.ini")), path);
    EXPECT_EQ(FindOpCode(OpCodes(), 0x05), &OpCodes()[1]);
    EXPECT_EQ(FindOpCode(OpCodes(), 0x06), nullptr);
}

TEST_F(CommandDefinitionsTest, CodeTokens) {
    Load("#define A 0x1A\n#define B 1b\n#define C 0X0001c\n#define D ff\n");
    const std::vector<std::uint8_t> codes = {0x1A, 0x1B, 0x1C, 0xFF};
    ASSERT_EQ(Commands().size(), codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(Commands()[i].Code, codes[i]) << i;
    }
    EXPECT_EQ(Definitions.CommandBoxItems()[0], "0x1A  A");
}

// A file with a wrong line, or without commands, is refused whole with the line that says why;
// the definitions in use stay, and tessal.ini keeps naming the file they came from.
TEST_F(CommandDefinitionsTest, WrongFilesAreRefusedWithTheirLineNumber) {
    struct TCase {
        std::string Content;
        TLoadResult Result;
        std::string Status; // "FILE" stands for the path
    };
    const TCase cases[] = {
        {"#define A 01\n\n#define B 0xZZ\n", lrInvalid, "Line 3: '0xZZ' is not a hex code"},
        {"#define A 1z\n", lrInvalid, "Line 1: '1z' is not a hex code"},
        {"#define A 0x1FF\n", lrInvalid, "Line 1: '0x1FF' does not fit in a byte"},
        {"#define A 101\n", lrInvalid, "Line 1: '101' does not fit in a byte"},
        {"#define A\n", lrInvalid, "Line 1: 'A' has no code"},
        {"x #define\n", lrInvalid, "Line 1: 'x' has no code"},
        {"#define\n", lrInvalid, "Line 1: #define without a name"},
        {"rem #define FIRST 02\n", lrInvalid, "Line 1: 'FIRST' is not a hex code"},
        {"#define A 01\n#define A 02\n", lrInvalid,
         "Line 2: duplicate command name 'A' (first on line 1)"},
        {"#define A 01\n#cmdcomment x\n#define B 0x1\n", lrInvalid,
         "Line 3: duplicate command 0x01 (A, line 1)"},
        {"#define A 01\n#operationcode\n#define OK 00\n#define KO 0\n", lrInvalid,
         "Line 4: duplicate operation code 0x00 (OK, line 3)"},
        {"#define A 01\n#operationcode\n#define OK zz\n", lrInvalid,
         "Line 3: 'zz' is not a hex code"},
        {"just a remark\n\n", lrNoCommands, "No commands found in FILE"},
        {"", lrNoCommands, "No commands found in FILE"},
        {"#operationcode\n#define OK 00\n", lrNoCommands, "No commands found in FILE"},
    };
    Load(kReadDoneBusy);
    const std::string ini = Dir.Read("tessal.ini");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Content);
        const std::string path = Dir.Write("wrong.tsl", c.Content);
        const TLoadOutcome outcome = LoadPath(path);
        EXPECT_EQ(outcome.Result, c.Result);
        std::string status = c.Status;
        if (const auto at = status.find("FILE"); at != std::string::npos) {
            status.replace(at, 4, path);
        }
        EXPECT_EQ(outcome.StatusText, status);
        EXPECT_FALSE(outcome.CommandBoxItems || outcome.Caption || outcome.EditorEnabled);
        ASSERT_EQ(Commands().size(), 1u);
        EXPECT_EQ(Commands()[0].Name, "READ");
        EXPECT_EQ(OpCodes().size(), 2u);
        EXPECT_EQ(Dir.Read("tessal.ini"), ini);
    }
}

TEST_F(CommandDefinitionsTest, LineClassification) {
    Load("rem #define 0F //x\n"             // text before the keyword becomes the name
         "#DEFINE UPPER 03\n"               // other letter case: ignored
         "#define TWICE 04 #define\n"       // only the first keyword is removed
         "#define DUP 05\r\n"               // CR LF
         "#define DUP2 06 trailing words\n" // no "//": no description
         "#define TAB\t07\t//\ttabbed\n"
         "#cmdcomment one\n#cmdcomment   two\n"
         "#define LAST 08 // no line end");
    ASSERT_EQ(Commands().size(), 6u);
    EXPECT_EQ(Commands()[0].Name, "rem");
    EXPECT_EQ(Commands()[0].Code, 0x0F);
    EXPECT_EQ(Commands()[1].Name, "TWICE");
    EXPECT_EQ(Commands()[1].ParamDescription, "");
    EXPECT_EQ(Commands()[2].Name, "DUP");
    EXPECT_EQ(Commands()[3].ParamDescription, "");
    EXPECT_EQ(Commands()[4].ParamDescription, "\ttabbed");
    EXPECT_EQ(Commands()[4].CommandDescription, "two");
    EXPECT_EQ(Commands()[5].ParamDescription, " no line end");
}

TEST_F(CommandDefinitionsTest, OperationCodeSectionOnlyNamesOperationCodes) {
    Load("#define CMD 01\n#operationcode\n#define OK 00 // ignored\n#cmdcomment ignored\n"
         "#operationcode\n#define BUSY 05\n");
    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(Commands()[0].CommandDescription, "");
    ASSERT_EQ(OpCodes().size(), 2u);
    EXPECT_EQ(OpCodes()[0].Name, "OK");
    EXPECT_EQ(OpCodes()[1].Name, "BUSY");
    EXPECT_EQ(FindOpCode(OpCodes(), 0x00), &OpCodes()[0]);
}

TEST_F(CommandDefinitionsTest, CmdCommentBeforeDefineIsASyntaxError) {
    Load(kReadDoneBusy);
    const std::string before = Dir.Read("tessal.ini");
    const TLoadOutcome outcome =
        LoadPath(Dir.Write("bad.tsl", "#cmdcomment early\n#define LATE 01\n"));
    EXPECT_EQ(outcome.Result, lrSyntaxError);
    EXPECT_EQ(outcome.StatusText, "Line 1: Syntax error: #cmdcomment line should be after #define");
    EXPECT_EQ(outcome.EditorEnabled, false);
    EXPECT_TRUE(outcome.DisableAsciiCheckBox);
    EXPECT_FALSE(outcome.CommandBoxItems.has_value());
    EXPECT_FALSE(outcome.Caption.has_value());
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(OpCodes().empty());
    EXPECT_TRUE(Definitions.GetConfigLoaded());
    EXPECT_EQ(Dir.Read("tessal.ini"), before);
}

TEST_F(CommandDefinitionsTest, UnreadablePathsReportAndChangeNothing) {
    Load(kReadDoneBusy);
    ASSERT_EQ(::mkfifo(Dir.File("fifo.tsl").c_str(), 0600), 0);
    for (const std::string& path : {Dir.File("missing.tsl"), Dir.Dir().string(),
                                    Dir.File("fifo.tsl"), std::string("a\0b", 3)}) {
        std::string errors;
        const TLoadOutcome outcome = LoadPath(path, &errors);
        EXPECT_EQ(outcome.Result, lrOpenFailed) << path;
        EXPECT_EQ(errors, "Can't open file *.tsl\n") << path;
        EXPECT_FALSE(outcome.StatusText.has_value());
        EXPECT_EQ(Commands().size(), 1u);
        EXPECT_EQ(OpCodes().size(), 2u);
    }
}

TEST_F(CommandDefinitionsTest, UnwritableSettingsFileIsReportedButTheLoadStands) {
    TCommandDefinitions elsewhere(Dir.File("no-such-dir"));
    TStderrCapture capture;
    const TLoadOutcome outcome = elsewhere.LoadCommandFile(Dir.Write("cmds.tsl", kReadDoneBusy));
    EXPECT_EQ(capture.Text(), "Can't open write file: tessal.ini\n");
    EXPECT_EQ(outcome.Result, lrLoaded);
    EXPECT_EQ(outcome.StatusText, kConfigLoadedText);
    EXPECT_EQ(elsewhere.GetCommandList().size(), 1u);
}

TEST_F(CommandDefinitionsTest, OverlongLinesAndFieldsAreCut) {
    const std::string name(100, 'N');
    const std::string text(300, 't');
    std::string errors;
    Load("#define " + name + " 01 //" + text + "\n" + // cut at 255 characters, then the fields
             "#cmdcomment " + text + "\n" + std::string(300, 'x') +
             "#define HIDDEN 02 // beyond the limit\n" + "#define SHORT 03 //" +
             std::string(250, 'p') + "\n",
         &errors);
    EXPECT_EQ(errors, "");
    ASSERT_EQ(Commands().size(), 2u);
    EXPECT_EQ(Commands()[0].Name, std::string(63, 'N'));
    EXPECT_EQ(Commands()[0].Code, 0x01);
    EXPECT_EQ(Commands()[0].ParamDescription, std::string(255 - 8 - 100 - 6, 't'));
    EXPECT_EQ(Commands()[0].CommandDescription, std::string(255 - 12, 't'));
    EXPECT_EQ(Commands()[1].Name, "SHORT");
    EXPECT_EQ(Commands()[1].ParamDescription, std::string(199, 'p'));
}

TEST_F(CommandDefinitionsTest, NulByteEndsTheLinesText) {
    const char content[] = "#define AB 12\0CD\n\0#define HIDDEN 01\n#define NEXT 02\n";
    Load(std::string(content, sizeof content - 1));
    ASSERT_EQ(Commands().size(), 2u);
    EXPECT_EQ(Commands()[0].Name, "AB");
    EXPECT_EQ(Commands()[0].Code, 0x12);
    EXPECT_EQ(Commands()[1].Name, "NEXT");
}

TEST_F(CommandDefinitionsTest, OnlyThe255FirstCommandsAreKept) {
    std::string content;
    for (int i = 0; i < 256; ++i) {
        content +=
            "#define C" + std::to_string(i) + " " + hex2(static_cast<std::uint8_t>(i)) + "\n";
        content += "#cmdcomment about " + std::to_string(i) + "\n";
    }
    std::string errors;
    const TLoadOutcome outcome = Load(content, &errors);
    EXPECT_EQ(outcome.Result, lrLoaded);
    EXPECT_EQ(outcome.CommandsIgnored, 1u);
    EXPECT_NE(errors.find("1 ignored"), std::string::npos);
    ASSERT_EQ(Commands().size(), 255u);
    EXPECT_EQ(outcome.CommandBoxItems->size(), 255u);
    EXPECT_EQ(Commands()[254].Name, "C254");
    EXPECT_EQ(Commands()[254].CommandDescription, "about 254");
}

TEST_F(CommandDefinitionsTest, BinaryGarbageLoadsWithinBounds) {
    std::mt19937 random(777);
    std::string content(1 << 20, '\0');
    for (char& ch : content) {
        ch = static_cast<char>(random());
    }
    // Sprinkle keywords so the field parsers see garbage too.
    for (std::size_t at = 100; at + 20 < content.size(); at += 997) {
        content.replace(at, 8, (at / 997) % 3 == 0 ? "#define " : "\n#define");
    }
    const TLoadOutcome outcome = Load(content);
    EXPECT_NE(outcome.Result, lrLoaded);
    ASSERT_TRUE(outcome.StatusText);
    EXPECT_EQ(outcome.StatusText->rfind("Line ", 0), 0u);
    EXPECT_LE(Commands().size(), 255u);
    for (const CommandRecord& record : Commands()) {
        EXPECT_LE(record.Name.size(), 63u);
        EXPECT_LE(record.ParamDescription.size(), 199u);
        EXPECT_LE(record.CommandDescription.size(), 244u);
        EXPECT_EQ(record.Name.find('\0'), std::string::npos);
    }
}

TEST(SettingsFile, PathsAndFirstLine) {
    EXPECT_EQ(AppDirOf("/usr/local/bin/tessal"), "/usr/local/bin");
    EXPECT_EQ(AppDirOf("/tessal"), "/");
    EXPECT_EQ(SettingsFilePath("/opt/tessal"), "/opt/tessal/tessal.ini");
    EXPECT_EQ(SettingsFilePath("/"), "/tessal.ini");
    EXPECT_EQ(SettingsFilePath(""), "tessal.ini");
    EXPECT_FALSE(ExecutableDir().empty());

    TTempDir dir;
    EXPECT_FALSE(ReadSettingsFile(dir.File("tessal.ini")).has_value());
    dir.Write("tessal.ini", "/home/me/a b.tsl\r\nsecond line\r\n");
    EXPECT_EQ(ReadSettingsFile(dir.File("tessal.ini")), "/home/me/a b.tsl");
    dir.Write("tessal.ini", std::string(2000, 'p'));
    EXPECT_EQ(ReadSettingsFile(dir.File("tessal.ini")), std::string(1023, 'p'));
}

TEST(ExampleFile, LoadsWithCommandsAndOperationCodes) {
    TTempDir dir;
    TCommandDefinitions definitions(dir.Dir().string());
    const TLoadOutcome outcome =
        definitions.LoadCommandFile(TESSAL_SOURCE_DIR "/resources/example.tsl");
    ASSERT_EQ(outcome.Result, lrLoaded);
    EXPECT_GE(definitions.GetCommandList().size(), 5u);
    EXPECT_GE(definitions.GetOpCodeList().size(), 2u);
    for (const CommandRecord& record : definitions.GetCommandList()) {
        EXPECT_FALSE(record.ParamDescription.empty()) << record.Name;
        EXPECT_FALSE(record.CommandDescription.empty()) << record.Name;
    }
}
