#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/registry/Registry.h"
#include "platform/serial/SerialPortList.h"
#include "platform/serial/VirtualNullModem.h"
#include "platform/sync/PlatformError.h"
#include "tests/common/TempDir.h"

class PortList : public ::testing::Test {
protected:
    TTempRegistry temp{"tessal-portlist"};
    const std::string dir = temp.Dir().string();
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

TEST_F(PortList, DeviceMapFollowsTheDevicesPresent) {
    std::vector<std::string> registered;
    auto present = [&](const std::string& name) {
        EXPECT_TRUE(ListRegisteredSerialDevices(registered)) << LastPlatformError();
        return std::count(registered.begin(), registered.end(), name);
    };
    const std::string file = dir + "/simulated-pty";
    std::ofstream(file) << "";
    {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", true));
        // Registered by other programs: a path stays while its file does; a bare name may be a
        // device this process cannot see, and stays.
        reg.WriteString("\\Device\\Sim", file);
        reg.WriteString("\\Device\\Serial0", "COM1");
        reg.WriteString("\\Device\\Gone", dir + "/unplugged");
        // What an earlier update added for a device that has gone since.
        reg.WriteString("\\Device\\vmapOld", "vmapOld");
    }
    auto pair = TVirtualNullModem::Create("vmapA", "vmapB");
    ASSERT_TRUE(pair);

    struct Case {
        std::string name;
        long count;
    };
    auto check = [&](std::initializer_list<Case> cases) {
        ASSERT_TRUE(UpdateSerialDeviceMap()) << LastPlatformError();
        for (const Case& c : cases)
            EXPECT_EQ(present(c.name), c.count) << c.name;
    };
    check({{"vmapA", 1},
           {"vmapB", 1},
           {file, 1},
           {"COM1", 1},
           {dir + "/unplugged", 0},
           {"vmapOld", 0}});
    // Nothing twice on a second pass.
    check({{"vmapA", 1}, {"vmapB", 1}, {file, 1}});
    // Each leaves with its device; the bare name stays.
    pair.reset();
    std::filesystem::remove(file);
    check({{"vmapA", 0}, {"vmapB", 0}, {file, 0}, {"COM1", 1}});
}

TEST_F(PortList, DeviceMapUpdateReportsADamagedRegistry) {
    std::ofstream(HiveFilePath(HKEY_LOCAL_MACHINE)) << "\x01 this is no hive\n[[[\n";
    EXPECT_FALSE(UpdateSerialDeviceMap());
    EXPECT_NE(LastPlatformError(), 0);
}
