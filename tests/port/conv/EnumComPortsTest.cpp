#include <gtest/gtest.h>

#include <cerrno>

#include "framework/Strings.h"
#include "platform/registry/Registry.h"
#include "port/CPortConv.h"
#include "port/CPortError.h"
#include "port/store/TempRegistry.h"

static const char* const SerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

TEST(EnumComPorts, SortedWithoutRegardToCaseDuplicatesKept) {
    TTempRegistry Temp;
    TRegistry Reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey(SerialComm, true));
    Reg.WriteString("\\Device\\Serial1", "COM2");
    Reg.WriteString("\\Device\\Serial2", "COM10");
    Reg.WriteString("\\Device\\Serial0", "com1");
    Reg.WriteString("\\Device\\Sim", "COM2");
    TStringList Ports{"stale"};
    EnumComPorts(Ports);
    EXPECT_EQ(Ports.ToVector(), (std::vector<std::string>{"com1", "COM10", "COM2", "COM2"}));
}

TEST(EnumComPorts, EmptyKeyEmptiesTheList) {
    TTempRegistry Temp;
    TRegistry Reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey(SerialComm, true));
    TStringList Ports{"COM1", "COM2"};
    EnumComPorts(&Ports);
    EXPECT_EQ(Ports.GetCount(), 0);
}

TEST(EnumComPorts, MissingKeyRaisesAndLeavesTheList) {
    TTempRegistry Temp;
    TStringList Ports{"COM1"};
    try {
        EnumComPorts(Ports);
        FAIL() << "no exception";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 23);
        EXPECT_EQ(E.GetWinCode(), ENOENT);
        EXPECT_EQ(E.Message(), "Registry error (win error code: " + std::to_string(ENOENT) + ")");
    }
    EXPECT_EQ(Ports.ToVector(), (std::vector<std::string>{"COM1"}));
}
