#include <gtest/gtest.h>

#include <cerrno>

#include "framework/Strings.h"
#include "platform/registry/Registry.h"
#include "port/CPortConv.h"
#include "port/CPortError.h"
#include "port/store/TempRegistry.h"

TEST(EnumComPorts, SortedWithoutCaseKeepsDuplicatesOrRaisesLeavingTheList) {
    TTempRegistry Temp;
    TStringList Ports{"stale"};
    try {
        EnumComPorts(Ports);
        ADD_FAILURE() << "no key, no exception";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 23);
        EXPECT_EQ(E.Message(), "Registry error (win error code: " + std::to_string(ENOENT) + ")");
    }
    EXPECT_EQ(Ports.ToVector(), (std::vector<std::string>{"stale"}));

    TRegistry Reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", true));
    EnumComPorts(&Ports);
    EXPECT_EQ(Ports.GetCount(), 0);
    for (const char* Name : {"COM2", "COM10", "com1", "COM2"})
        Reg.WriteString(
            std::string("\\Device\\") + Name + std::to_string(Reg.GetValueNames().size()), Name);
    EnumComPorts(Ports);
    EXPECT_EQ(Ports.ToVector(), (std::vector<std::string>{"com1", "COM10", "COM2", "COM2"}));
}
