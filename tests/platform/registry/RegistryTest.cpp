#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/registry/Registry.h"
#include "tests/common/BoundedWait.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    static std::string FileText(const std::string& Path) {
        std::ifstream f(Path, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    static void WriteFile(const std::string& Path, const std::string& Text) {
        std::ofstream f(Path, std::ios::binary | std::ios::trunc);
        f << Text;
    }
    int ErrorOf(const std::function<void()>& F) {
        try {
            F();
        } catch (const ERegistryError& e) {
            return e.GetErrorCode();
        }
        return 0;
    }

    TTempRegistry temp_{"tessal-reg"};
    const std::string dir_ = temp_.Dir().string();
};

TEST_F(RegistryTest, ValuesRoundTripThroughTheFileWithCaseBlindNames) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Tessal\\ComPort", true));
        EXPECT_EQ(reg.GetCurrentPath(), "Software\\Tessal\\ComPort");
        reg.WriteString("Port", "tty\"USB\\0\n\x01\xff");
        reg.WriteInteger("CustomBaudRate", -2);
        reg.WriteString("port", "second");
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("software\\TESSAL\\comport", false));
    EXPECT_EQ(reg.ReadString("PORT"), "second");
    EXPECT_EQ(reg.ReadInteger("custombaudrate"), -2);
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Port", "CustomBaudRate"}));
    ASSERT_TRUE(reg.OpenKey("Software", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Tessal"});

    reg.WriteString("Odd", std::string("a\0b\"\\", 5));
    EXPECT_EQ(reg.ReadString("Odd"), std::string("a\0b\"\\", 5));
    const std::string text = FileText(HiveFilePath(HKEY_CURRENT_USER));
    EXPECT_NE(text.find("[Software\\Tessal\\ComPort]"), std::string::npos) << text;
    EXPECT_NE(text.find("\"CustomBaudRate\"=dword:fffffffe"), std::string::npos) << text;
}

TEST_F(RegistryTest, MissingAndMistypedValuesFailAsTheSettingsStoreExpects) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\Nothing", false));
    EXPECT_EQ(reg.GetLastError(), ENOENT);
    EXPECT_FALSE(reg.KeyExists("Software\\Nothing"));

    // No key open: text reads empty, integers and writes fail.
    EXPECT_EQ(reg.ReadString("Port"), "");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("X"); }), EBADF);
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("Port", "x"); }), EBADF);

    ASSERT_TRUE(reg.OpenKey("Software\\Tessal", true));
    reg.WriteInteger("Num", 5);
    reg.WriteString("Text", "5");
    EXPECT_EQ(reg.ReadString("Missing"), "");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("Missing"); }), ENOENT);
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("Text"); }), EINVAL);
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("Num"); }), EINVAL);
    EXPECT_EQ(reg.GetDataType("Num"), rdInteger);
    EXPECT_EQ(reg.GetDataType("Missing"), rdUnknown);

    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Tessal"));
    EXPECT_EQ(reg.ReadInteger("Num"), 5);
    EXPECT_EQ(ErrorOf([&] { reg.WriteInteger("Num", 6); }), EACCES);
}

TEST_F(RegistryTest, RootsAreSeparateFilesAndKeysDeleteWithTheirSubtree) {
    TRegistry lm(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(lm.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", true));
    lm.WriteString("\\Device\\Sim0", "pts/7");
    lm.WriteString("\\Device\\Sim1", "pts/8");
    EXPECT_TRUE(lm.DeleteValue("\\DEVICE\\SIM1"));
    EXPECT_FALSE(lm.DeleteValue("\\Device\\Sim1"));
    EXPECT_EQ(lm.GetValueNames(), std::vector<std::string>{"\\Device\\Sim0"});
    TRegistry cu(HKEY_CURRENT_USER);
    EXPECT_FALSE(cu.KeyExists("HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    EXPECT_TRUE(fs::exists(HiveFilePath(HKEY_LOCAL_MACHINE)));
    EXPECT_FALSE(fs::exists(HiveFilePath(HKEY_CURRENT_USER)));

    EXPECT_TRUE(lm.DeleteKey("HARDWARE\\DEVICEMAP"));
    EXPECT_FALSE(lm.KeyExists("HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    EXPECT_TRUE(lm.KeyExists("HARDWARE"));
    EXPECT_FALSE(lm.DeleteKey("HARDWARE\\DEVICEMAP"));
}

TEST_F(RegistryTest, DamagedHiveIsReportedAndNeverOverwritten) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Tessal", true));
        reg.WriteString("A", "1");
        reg.WriteString("B", "2");
    }
    const std::string path = HiveFilePath(HKEY_CURRENT_USER);
    const std::string whole = FileText(path);
    // Cut at a line end, so that every line left still parses.
    const std::string cut = whole.substr(0, whole.find("\"B\""));
    for (const std::string& damaged :
         {cut, std::string(), std::string("garbage\n"), whole.substr(0, whole.size() / 2)}) {
        WriteFile(path, damaged);
        TRegistry reg;
        try {
            reg.OpenKey("Software\\Tessal", true);
            FAIL() << "no error for a damaged hive:\n" << damaged;
        } catch (const ERegistryError& e) {
            EXPECT_EQ(e.GetErrorCode(), EBADMSG);
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        EXPECT_EQ(ErrorOf([&] { reg.CreateKey("Other"); }), EBADMSG);
        EXPECT_EQ(FileText(path), damaged);
    }
}

// Two processes, each saving 200 values into the same hive at once.
TEST_F(RegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
    constexpr int kEach = 200;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            int rc = 0;
            try {
                TRegistry reg;
                if (!reg.OpenKey("Software\\Race", true))
                    _exit(2);
                for (int i = 0; i < kEach; ++i)
                    reg.WriteInteger("P" + std::to_string(c) + "_" + std::to_string(i), i);
            } catch (...) {
                rc = 3;
            }
            _exit(rc);
        }
    }
    for (pid_t pid : children) {
        const int status = WaitChildWithin(pid);
        ASSERT_NE(status, -1);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Race", false));
    EXPECT_EQ(reg.GetValueNames().size(), 2u * kEach);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kEach; i += 37)
            EXPECT_EQ(reg.ReadInteger("P" + std::to_string(c) + "_" + std::to_string(i)), i);
    // No temporary file is left behind.
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().string().find(".tmp."), std::string::npos) << e.path();
}

// A batch's key creations and writes are seen by its own reads and land in one save, on top of
// what other writers saved meanwhile; a cancelled batch leaves no trace.
TEST_F(RegistryTest, BatchSavesItsChangesTogetherOverOtherWriters) {
    const std::string path = HiveFilePath(HKEY_CURRENT_USER);
    TRegistry reg;
    reg.BeginBatch();
    ASSERT_TRUE(reg.OpenKey("Software\\Tessal\\ComPort", true));
    reg.WriteString("Port", "ttyS1");
    reg.WriteInteger("Rate", 9600);
    EXPECT_FALSE(reg.DeleteValue("Missing"));
    EXPECT_EQ(reg.ReadString("Port"), "ttyS1");
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Port", "Rate"}));
    EXPECT_FALSE(fs::exists(path)) << "nothing saved before the commit";
    EXPECT_EQ(ErrorOf([&] { reg.SetRootKey(HKEY_LOCAL_MACHINE); }), EBUSY);
    TRegistry().CreateKey("Software\\Other");
    reg.CommitBatch();
    TRegistry check;
    ASSERT_TRUE(check.OpenKey("Software\\Tessal\\ComPort", false));
    EXPECT_EQ(check.ReadString("Port"), "ttyS1");
    EXPECT_EQ(check.ReadInteger("Rate"), 9600);
    EXPECT_TRUE(check.KeyExists("Software\\Other"));

    const std::string saved = FileText(path);
    reg.BeginBatch();
    EXPECT_TRUE(reg.DeleteKey("Software\\Other"));
    reg.WriteString("Port", "ttyS2");
    EXPECT_FALSE(reg.KeyExists("Software\\Other"));
    reg.CancelBatch();
    EXPECT_EQ(reg.ReadString("Port"), "ttyS1");
    EXPECT_EQ(FileText(path), saved);
}

// Temporaries of crashed saves of this hive go at the next save; look-alikes and other files'
// temporaries stay.
TEST_F(RegistryTest, NextSaveRemovesOnlyTheHivesStaleTemporaries) {
    const std::string hive = fs::path(HiveFilePath(HKEY_CURRENT_USER)).filename().string();
    const std::pair<std::string, bool> files[] = {
        {hive + ".tmp.123.0", false},    {hive + ".tmp.99999.17", false},
        {hive + ".tmp.123", true},       {hive + ".tmp.12a.0", true},
        {hive + ".tmp.backup", true},    {"local-machine.hive.tmp.5.5", true},
        {"x" + hive + ".tmp.1.1", true}, {hive + ".tmp.1.1.old", true},
    };
    for (const auto& [name, stays] : files)
        WriteFile(dir_ + "/" + name, "junk");
    TRegistry().CreateKey("Software");
    for (const auto& [name, stays] : files)
        EXPECT_EQ(fs::exists(dir_ + "/" + name), stays) << name;
}

TEST_F(RegistryTest, DeepKeysAndBigKeysReadBackWhole) {
    constexpr int kDepth = 2000;
    std::string deep = "Software";
    for (int i = 1; i < kDepth; ++i)
        deep += "\\K" + std::to_string(i);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(deep, true));
        reg.WriteString("Deep", "value");
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(deep, false));
    EXPECT_EQ(reg.ReadString("Deep"), "value");
    const std::string middle = deep.substr(0, deep.find("\\K1000\\"));
    ASSERT_TRUE(reg.OpenKey("SOFTWARE" + middle.substr(8) + "\\k1000", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"K1001"});
    EXPECT_TRUE(reg.DeleteKey(middle + "\\K1000"));
    EXPECT_FALSE(reg.KeyExists(deep));
    EXPECT_TRUE(reg.KeyExists(middle));
    // Parents come before their children in the file.
    const std::string text = FileText(HiveFilePath(HKEY_CURRENT_USER));
    EXPECT_LT(text.find("[Software\\K1\\K2]"), text.find("[Software\\K1\\K2\\K3]"));

    // A key of many values, one name given twice in another case: first place, last value.
    constexpr int kValues = 50000;
    std::string many = "TESSAL-HIVE 1\n[Big]\n";
    for (int i = 0; i < kValues; ++i)
        many += "\"V" + std::to_string(i) + "\"=dword:" + std::string(8, '0') + "\n";
    many += "\"v7\"=\"again\"\nEND\n";
    WriteFile(HiveFilePath(HKEY_CURRENT_USER), many);
    ASSERT_TRUE(reg.OpenKey("big", false));
    const std::vector<std::string> names = reg.GetValueNames();
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kValues));
    EXPECT_EQ(names[7], "V7");
    EXPECT_EQ(reg.ReadString("V7"), "again");
    EXPECT_EQ(reg.ReadInteger("V49999"), 0);
}

} // namespace
