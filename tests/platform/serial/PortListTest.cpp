#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/registry/Registry.h"
#include "platform/serial/SerialPortList.h"
#include "platform/sync/PlatformError.h"

class PortList : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/portlistXXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ::setenv("TESSAL_REGISTRY_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TESSAL_REGISTRY_DIR");
        std::filesystem::remove_all(dir);
    }
    std::string dir;
};

TEST_F(PortList, RegisteredNamesJoinTheList) {
    std::vector<std::string> names{"untouched"};
    EXPECT_FALSE(ListRegisteredSerialDevices(names));
    EXPECT_EQ(LastPlatformError(), ENOENT);
    EXPECT_EQ(names, std::vector<std::string>{"untouched"});
    ASSERT_TRUE(ListSerialDevices(names)) << "a missing key contributes nothing";

    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", true));
    reg.WriteString("\\Device\\Sim1", "/dev/pts/77");
    reg.WriteString("\\Device\\Sim0", "COM9");
    ASSERT_TRUE(ListRegisteredSerialDevices(names));
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/pts/77", "COM9"}));
    ASSERT_TRUE(ListSerialDevices(names));
    EXPECT_EQ(std::count(names.begin(), names.end(), "COM9"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "/dev/pts/77"), 1);
}

TEST_F(PortList, UnreadableRegistryIsAFailure) {
    std::ofstream(HiveFilePath(HKEY_LOCAL_MACHINE)) << "\x01 this is no hive\n[[[\n";
    std::vector<std::string> names{"untouched"};
    EXPECT_FALSE(ListSerialDevices(names));
    EXPECT_NE(LastPlatformError(), 0);
    EXPECT_NE(LastPlatformError(), ENOENT);
    EXPECT_EQ(names, std::vector<std::string>{"untouched"});
}
