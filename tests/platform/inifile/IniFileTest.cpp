#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/inifile/IniFile.h"
#include "tests/common/TempDir.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void Put(const std::string& Text) {
        std::ofstream f(path_, std::ios::binary | std::ios::trunc);
        f << Text;
    }
    std::string Text() const {
        std::ifstream f(path_, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

    TTempDir temp_{"tessal-ini"};
    const std::string dir_ = temp_.Dir().string();
    const std::string path_ = temp_.File("port.ini");
};

TEST_F(IniFileTest, ReadsFollowPrivateProfileRules) {
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadString("ComPort", "Port", "dflt"), "dflt") << "missing file";

    const std::string longValue(3000, 'x');
    Put("; settings\n"
        "[Other]\n"
        "Port=wrong\n"
        "[ comport ]\n"
        "  PORT = ttyS0  \n"
        "Empty=\n"
        "Quoted=\"  spaced  \"\n"
        "Long=" +
        longValue + "\n");
    EXPECT_EQ(ini.ReadString("COMPORT", "port", "dflt"), "ttyS0");
    EXPECT_EQ(ini.ReadString("ComPort", "Empty", "dflt"), "") << "present but empty is not missing";
    EXPECT_EQ(ini.ReadString("ComPort", "Quoted", ""), "  spaced  ");
    EXPECT_EQ(ini.ReadString("ComPort", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("NoSuchSection", "Port", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("ComPort", "Long", "").size(), IniMaxValueLength);
    EXPECT_TRUE(ini.SectionExists("COMPORT"));
    EXPECT_EQ(ini.ReadSection("ComPort"),
              (std::vector<std::string>{"PORT", "Empty", "Quoted", "Long"}));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Other", "comport"}));
}

TEST_F(IniFileTest, IntegersAreDecimalOrHexElseTheDefault) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"115200", 115200},
        {"-42", -42},
        {"0x1C200", 115200},
        {"0XfF", 255},
        {"0xFFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", 7},
        {"0x100000000", 7},
        {"12abc", 7},
        {"0x", 7},
        {"", 7},
        {"0xG1", 7},
        {"$10", 7},
        {"1 2", 7},
    };
    std::string text = "[S]\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        text += "K" + std::to_string(i) + "=" + cases[i].first + "\n";
    Put(text);
    TIniFile ini(path_);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.ReadInteger("S", "K" + std::to_string(i), 7), cases[i].second)
            << "value '" << cases[i].first << "'";
    EXPECT_EQ(ini.ReadInteger("S", "Missing", 9600), 9600);
}

TEST_F(IniFileTest, WritesEditInPlaceAndKeepTheRestOfTheFile) {
    Put("; header comment\r\n"
        "[ComPort]\r\n"
        "Port=COM1\r\n"
        "; between\r\n"
        "BaudRate=9600\r\n"
        "\r\n"
        "[Other]\r\n"
        "X=1\r\n");
    TIniFile ini(path_);
    ini.WriteString("comport", "PORT", "ttyUSB0");
    ini.WriteString("ComPort", "StopBits", "1");
    ini.WriteInteger("New", "CustomBaudRate", 250000);
    EXPECT_EQ(Text(), "; header comment\r\n"
                      "[ComPort]\r\n"
                      "Port=ttyUSB0\r\n"
                      "; between\r\n"
                      "BaudRate=9600\r\n"
                      "StopBits=1\r\n"
                      "\r\n"
                      "[Other]\r\n"
                      "X=1\r\n"
                      "[New]\r\n"
                      "CustomBaudRate=250000\r\n");
    EXPECT_EQ(ini.ReadInteger("new", "custombaudrate", 0), 250000);

    ini.DeleteKey("ComPort", "BaudRate");
    ini.EraseSection("Other");
    EXPECT_FALSE(ini.ValueExists("ComPort", "BaudRate"));
    EXPECT_FALSE(ini.SectionExists("Other"));
    EXPECT_TRUE(ini.ValueExists("New", "CustomBaudRate"));

    // Mixed line ends stay as they are; a last line without one is ended when lines follow it.
    Put("[A]\nX=1\r\nY=2\n[B]\r\nZ=3");
    ini.WriteString("A", "X", "9");
    ini.WriteString("B", "W", "4");
    EXPECT_EQ(Text(), "[A]\nX=9\r\nY=2\n[B]\r\nZ=3\nW=4\n");
    Put("[A]\r\nX=1\r");
    ini.WriteString("A", "X", "2");
    EXPECT_EQ(Text(), "[A]\r\nX=2\r");
    EXPECT_EQ(ini.ReadString("A", "X", ""), "2");

    TIniFile fresh(dir_ + "/new.ini");
    fresh.WriteString("ComPort", "Port", "COM3");
    EXPECT_EQ(fresh.ReadString("ComPort", "Port", ""), "COM3");
}

// A key added behind a last line that has no line feed must not change that line's value: its
// own line end stays and gets the feed, so a value ending in CR keeps the CR.
TEST_F(IniFileTest, AKeyAddedBehindAnUnendedLastLineKeepsItsValue) {
    struct TCase {
        std::string File;
        std::string Value; // of A/X, before and after the write
        std::string After; // the whole file after A/Y=2 was added
    };
    const std::vector<TCase> Cases = {
        {"[A]\nX=1", "1", "[A]\nX=1\nY=2\n"},
        {"[A]\r\nX=1", "1", "[A]\r\nX=1\r\nY=2\r\n"},
        {"[A]\nX=1\r", "1", "[A]\nX=1\r\nY=2\n"},
        {"[A]\nX=1\r\r", "1\r", "[A]\nX=1\r\r\nY=2\n"},
        {"[A]\r\nX=a b\r\r", "a b\r", "[A]\r\nX=a b\r\r\nY=2\r\n"},
    };
    TIniFile ini(path_);
    for (const TCase& C : Cases) {
        Put(C.File);
        EXPECT_EQ(ini.ReadString("A", "X", "-"), C.Value) << C.File;
        ini.WriteString("A", "Y", "2");
        EXPECT_EQ(ini.ReadString("A", "X", "-"), C.Value) << C.File;
        EXPECT_EQ(ini.ReadString("A", "Y", "-"), "2") << C.File;
        EXPECT_EQ(Text(), C.After) << C.File;
    }
}

TEST_F(IniFileTest, TextThatWouldBreakTheFileIsRefusedAndTheFileKept) {
    Put("[ComPort]\nPort=COM1\n");
    TIniFile ini(path_);
    const auto errorOf = [&](auto F) {
        try {
            F();
        } catch (const EIniFileError& e) {
            return e.code().value();
        }
        return 0;
    };
    EXPECT_EQ(errorOf([&] { ini.WriteString("ComPort", "Port", "a\nInjected=1"); }), EINVAL);
    EXPECT_EQ(errorOf([&] { ini.WriteString("ComPort", "A=B", "x"); }), EINVAL);
    EXPECT_EQ(errorOf([&] { ini.WriteString("Com]Port", "A", "x"); }), EINVAL);
    EXPECT_EQ(errorOf([&] { ini.WriteString("ComPort", "", "x"); }), EINVAL);
    EXPECT_EQ(Text(), "[ComPort]\nPort=COM1\n");

    TIniFile nowhere(dir_ + "/missing-dir/x.ini");
    EXPECT_NE(errorOf([&] { nowhere.WriteString("S", "K", "v"); }), 0);
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
    TIniFile ini(path_);
    auto writer = [&](const std::string& Prefix) {
        TIniFile own(path_);
        for (int i = 0; i < 50; ++i)
            own.WriteInteger("S", Prefix + std::to_string(i), i);
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    EXPECT_EQ(ini.ReadSection("S").size(), 100u);
}

// A batch's writes are seen by its own reads and land in one save, on top of what other
// writers saved meanwhile; a cancelled batch leaves no trace.
TEST_F(IniFileTest, BatchSavesItsWritesTogetherOverOtherWriters) {
    Put("; kept\n[ComPort]\nPort=COM1\n");
    TIniFile ini(path_);
    ini.BeginBatch();
    ini.WriteString("ComPort", "Port", "ttyS1");
    ini.WriteInteger("ComPort", "Rate", 9600);
    ini.DeleteKey("ComPort", "Missing");
    EXPECT_EQ(ini.ReadString("ComPort", "Port", ""), "ttyS1");
    EXPECT_EQ(ini.ReadSection("ComPort"), (std::vector<std::string>{"Port", "Rate"}));
    EXPECT_EQ(Text(), "; kept\n[ComPort]\nPort=COM1\n") << "nothing saved before the commit";
    TIniFile(path_).WriteString("Other", "X", "1");
    ini.CommitBatch();
    EXPECT_EQ(Text(), "; kept\n[ComPort]\nPort=ttyS1\nRate=9600\n[Other]\nX=1\n");

    ini.BeginBatch();
    ini.EraseSection("Other");
    EXPECT_FALSE(ini.SectionExists("Other"));
    ini.CancelBatch();
    EXPECT_TRUE(ini.SectionExists("Other"));
    ini.CommitBatch(); // no batch open: nothing to do
    EXPECT_EQ(Text(), "; kept\n[ComPort]\nPort=ttyS1\nRate=9600\n[Other]\nX=1\n");
}

TEST_F(IniFileTest, HugeSectionListsAndGrowsInFileOrder) {
    constexpr int kKeys = 100000;
    std::string text = "[Big]\n";
    for (int i = 0; i < kKeys; ++i)
        text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    text += "; trailing comment\n[After]\nA=1\n";
    Put(text);
    TIniFile ini(path_);
    const std::vector<std::string> names = ini.ReadSection("big");
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kKeys));
    EXPECT_EQ(names.front(), "K0");
    EXPECT_EQ(names[54321], "K54321");
    EXPECT_EQ(names.back(), "K" + std::to_string(kKeys - 1));
    EXPECT_EQ(ini.ReadInteger("Big", "K99999", -1), 99999);

    ini.WriteString("Big", "Added", "x");
    ini.WriteString("Big", "K500", "changed");
    const std::string after = Text();
    const std::string last = "K" + std::to_string(kKeys - 1) + "=" + std::to_string(kKeys - 1);
    EXPECT_NE(after.find(last + "\nAdded=x\n; trailing comment\n[After]"), std::string::npos);
    EXPECT_NE(after.find("\nK500=changed\nK501=501\n"), std::string::npos);
    EXPECT_EQ(after.size(), text.size() + std::string("Added=x\nchanged").size() - 3);
    EXPECT_EQ(ini.ReadSection("Big").size(), static_cast<std::size_t>(kKeys) + 1);
}

} // namespace
