#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "framework/Strings.h"
#include "platform/registry/Registry.h"
#include "platform/serial/VirtualNullModem.h"
#include "port/CPortConv.h"
#include "port/CPortError.h"
#include "tests/common/TempDir.h"

namespace {

// The entries of Ports that are among Ours, in list order: the machine adds its own devices.
std::vector<std::string> Only(const TStrings& Ports, const std::vector<std::string>& Ours) {
    std::vector<std::string> Result;
    for (const auto& P : Ports.ToVector())
        if (std::find(Ours.begin(), Ours.end(), P) != Ours.end())
            Result.push_back(P);
    return Result;
}

} // namespace

TEST(EnumComPorts, ListsPresentDevicesSortedWithoutCaseKeepingDuplicates) {
    TTempRegistry Temp;
    auto Pair1 = TVirtualNullModem::Create("COM2", "COM10");
    auto Pair2 = TVirtualNullModem::Create("com1", "Zed");
    ASSERT_TRUE(Pair1 && Pair2);
    TStringList Ports{"stale"};
    EnumComPorts(&Ports);
    const std::vector<std::string> Ours{"COM2", "COM10", "com1", "Zed"};
    EXPECT_EQ(Only(Ports, Ours), (std::vector<std::string>{"com1", "COM10", "COM2", "Zed"}));
    const std::vector<std::string> Listed = Ports.ToVector();
    EXPECT_EQ(std::count(Listed.begin(), Listed.end(), "stale"), 0);

    // A second registration of a present device is listed twice, as the register holds it.
    TRegistry Reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", false));
    Reg.WriteString("Again", "COM2");
    EnumComPorts(Ports);
    EXPECT_EQ(Only(Ports, Ours),
              (std::vector<std::string>{"com1", "COM10", "COM2", "COM2", "Zed"}));
}

TEST(EnumComPorts, NamesOthersRegisteredAreListedWithoutADeviceBehindThem) {
    TTempRegistry Temp;
    TRegistry Reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", true));
    TStringList Ports;
    EnumComPorts(Ports);
    const std::vector<std::string> Machine = Ports.ToVector();
    const std::vector<std::string> Ours{"COM2", "COM10", "com1"};
    for (const char* Name : {"COM2", "COM10", "com1", "COM2"})
        Reg.WriteString(
            std::string("\\Device\\Serial") + std::to_string(Reg.GetValueNames().size()), Name);
    // Read twice: the first enumeration must not have dropped them.
    for (int Pass = 0; Pass < 2; ++Pass) {
        EnumComPorts(Ports);
        EXPECT_EQ(Only(Ports, Ours), (std::vector<std::string>{"com1", "COM10", "COM2", "COM2"}));
        EXPECT_EQ(Ports.GetCount(), static_cast<int>(Machine.size() + 4));
    }
}

TEST(EnumComPorts, OversizedValueRaisesCode23LeavingTheList) {
    TTempRegistry Temp;
    // A path counts as a present device; names and data must fit 256-unit buffers with their NUL.
    const std::string Present = Temp.File("dev0");
    const std::string LongPresent = Temp.File(std::string(250, 'p'));
    for (const auto& Path : {Present, LongPresent})
        std::ofstream(Path) << "";
    ASSERT_GE(LongPresent.size(), 256u);
    TRegistry Reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", true));
    Reg.WriteString("Short", Present);
    TStringList Ports;
    EnumComPorts(Ports);
    const std::vector<std::string> Before = Ports.ToVector();
    ASSERT_EQ(std::count(Before.begin(), Before.end(), Present), 1);
    for (const auto& [Name, Data] :
         {std::pair{std::string("Long"), LongPresent}, std::pair{std::string(256, 'n'), Present}}) {
        Reg.WriteString(Name, Data);
        try {
            EnumComPorts(Ports);
            ADD_FAILURE() << "an oversized value was listed";
        } catch (const EComPort& E) {
            EXPECT_EQ(E.GetCode(), 23);
            EXPECT_EQ(E.GetWinCode(), ERANGE);
        }
        EXPECT_EQ(Ports.ToVector(), Before);
        Reg.DeleteValue(Name);
    }
}

TEST(EnumComPorts, UnreadableRegisterRaisesCode23LeavingTheList) {
    TTempRegistry Temp;
    std::ofstream(HiveFilePath(HKEY_LOCAL_MACHINE)) << "\x01 this is no hive\n[[[\n";
    TStringList Ports{"stale"};
    try {
        EnumComPorts(Ports);
        ADD_FAILURE() << "a damaged register was read";
    } catch (const EComPort& E) {
        EXPECT_EQ(E.GetCode(), 23);
        EXPECT_NE(E.GetWinCode(), 0);
        EXPECT_EQ(E.Message(),
                  "Registry error (win error code: " + std::to_string(E.GetWinCode()) + ")");
    }
    EXPECT_EQ(Ports.ToVector(), (std::vector<std::string>{"stale"}));
}
