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

    // Names and data must fit 256-unit buffers with their NUL.
    Reg.WriteString("Long", std::string(255, 'p'));
    EnumComPorts(Ports);
    EXPECT_EQ(Ports.GetCount(), 5);
    for (const auto& [Name, Data] : {std::pair{std::string("Long"), std::string(256, 'p')},
                                     std::pair{std::string(256, 'n'), std::string("COM3")}}) {
        Reg.WriteString(Name, Data);
        try {
            EnumComPorts(Ports);
            ADD_FAILURE() << "an oversized value was listed";
        } catch (const EComPort& E) {
            EXPECT_EQ(E.GetCode(), 23);
            EXPECT_EQ(E.GetWinCode(), ERANGE);
        }
        EXPECT_EQ(Ports.GetCount(), 5);
        Reg.WriteString("Long", "COM4");
    }
}
