#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/registry/Registry.h"
#include "port/CPort.h"
#include "port/store/PortValues.h"
#include "port/store/TempRegistry.h"

static const char* const Path = "HKEY_CURRENT_USER\\Software\\Tessal";
static const char* const Key = "Software\\Tessal\\ComPort";

class RegistryStoreTest : public ::testing::Test {
protected:
    RegistryStoreTest() { Port.SetName("ComPort"); }

    std::vector<std::string> StoredNames() {
        TRegistry Reg;
        EXPECT_TRUE(Reg.OpenKey(Key, false));
        return Reg.GetValueNames();
    }

    TTempRegistry Temp;
    TComPort Port;
};

TEST_F(RegistryStoreTest, BasicGroupWritesSixValuesOrSevenForCustom) {
    Port.StoreSettings(stRegistry, Path);
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Port", "BaudRate", "StopBits", "DataBits",
                                                       "Parity", "FlowControl"}));
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey(Key, false));
    EXPECT_EQ(Reg.ReadString("Port"), "COM1");
    EXPECT_EQ(Reg.ReadString("BaudRate"), "9600");
    EXPECT_EQ(Reg.ReadString("FlowControl"), "None");

    ASSERT_TRUE(Reg.DeleteKey(Key));
    Port.SetBaudRate(brCustom);
    Port.SetCustomBaudRate(31250);
    Port.StoreSettings(stRegistry, Path);
    EXPECT_EQ(StoredNames(),
              (std::vector<std::string>{"Port", "BaudRate", "CustomBaudRate", "StopBits",
                                        "DataBits", "Parity", "FlowControl"}));
    ASSERT_TRUE(Reg.OpenKey(Key, false));
    EXPECT_EQ(Reg.GetDataType("CustomBaudRate"), rdInteger);
    EXPECT_EQ(Reg.ReadInteger("CustomBaudRate"), 31250);
}

TEST_F(RegistryStoreTest, EveryGroupRoundTrips) {
    Port.SetStoredProps(AllStoredProps);
    SetEveryStoredSetting(Port);
    Port.StoreSettings(stRegistry, Path);
    EXPECT_EQ(StoredNames().size(), 29u);

    TComPort Loaded;
    Loaded.SetName("ComPort");
    Loaded.SetStoredProps(AllStoredProps);
    Loaded.LoadSettings(stRegistry, Path);
    ExpectSameStoredSettings(Port, Loaded);
}

TEST_F(RegistryStoreTest, HiveIsReadableText) {
    Port.SetStoredProps({spBasic, spOthers});
    Port.SetPort("ttyUSB0");
    Port.StoreSettings(stRegistry, Path);
    std::ifstream File(Temp.Dir + "/current-user.hive");
    std::stringstream Text;
    Text << File.rdbuf();
    EXPECT_NE(Text.str().find("[Software\\Tessal\\ComPort]"), std::string::npos) << Text.str();
    EXPECT_NE(Text.str().find("\"Port\"=\"ttyUSB0\""), std::string::npos) << Text.str();
    EXPECT_NE(Text.str().find("\"EventChar\"=\"#0\""), std::string::npos) << Text.str();
}

TEST_F(RegistryStoreTest, MissingCustomRateFailsAfterEarlierValuesWereSet) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey(Key, true));
    Reg.WriteString("Port", "ttyS4");
    Reg.WriteString("BaudRate", "custom");
    Reg.WriteString("StopBits", "2");
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Path); }), 17);
    EXPECT_EQ(Port.GetPort(), "ttyS4");
    EXPECT_EQ(Port.GetBaudRate(), brCustom);
    EXPECT_EQ(Port.GetStopBits(), sbOneStopBit);
}

TEST_F(RegistryStoreTest, MissingKeyIsCreatedAndTextsTakeFallbacks) {
    Port.SetBaudRate(br19200);
    Port.GetParity().SetBits(prEven);
    Port.LoadSettings(stRegistry, Path);
    EXPECT_EQ(Port.GetPort(), "");
    EXPECT_EQ(Port.GetBaudRate(), br9600);
    EXPECT_EQ(Port.GetParity().GetBits(), prNone);
    EXPECT_EQ(Port.GetFlowControl().GetFlowControl(), fcNone); // fcCustom changes nothing
    TRegistry Reg;
    EXPECT_TRUE(Reg.KeyExists(Key));

    Port.SetStoredProps({spBasic, spBuffer});
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Path); }), 17);
}

TEST_F(RegistryStoreTest, ValueOfTheWrongKindFailsTheLoad) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey(Key, true));
    Reg.WriteInteger("Port", 3);
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Path); }), 17);
    Reg.WriteString("Port", "COM3");
    Reg.WriteString("Buffer.OutputSize", "2048");
    Port.SetStoredProps({spBuffer});
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Path); }), 17);
    EXPECT_EQ(Port.GetBuffer().GetOutputSize(), 1024);
}

TEST_F(RegistryStoreTest, EmptyStoredPropsStillCreatesTheKey) {
    Port.SetStoredProps({});
    Port.StoreSettings(stRegistry, Path);
    EXPECT_TRUE(StoredNames().empty());
    Port.SetPort("untouched");
    Port.LoadSettings(stRegistry, Path);
    EXPECT_EQ(Port.GetPort(), "untouched");
}

TEST_F(RegistryStoreTest, FlowControlGroupOverridesTheCombinedValue) {
    Port.SetStoredProps({spBasic, spFlowControl});
    Port.GetFlowControl().SetFlowControl(fcSoftware);
    Port.StoreSettings(stRegistry, Path);
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey(Key, false));
    Reg.WriteString("FlowControl", "Hardware");
    TComPort Loaded;
    Loaded.SetName("ComPort");
    Loaded.SetStoredProps({spBasic, spFlowControl});
    Loaded.LoadSettings(stRegistry, Path);
    EXPECT_EQ(Loaded.GetFlowControl().GetFlowControl(), fcSoftware);
    EXPECT_EQ(Loaded.GetFlowControl().GetControlRTS(), rtsDisable);
}

TEST(SettingsKeyPath, RootSegmentAndName) {
    TTempRegistry Temp;
    struct {
        const char* Path;
        TRegRoot Root;
        const char* Key;
    } const Cases[] = {
        {"HKEY_CURRENT_USER\\Software\\Tessal", HKEY_CURRENT_USER, "Software\\Tessal\\ComPort"},
        {"\\Software\\Tessal", HKEY_CURRENT_USER, "Software\\Tessal\\ComPort"},
        {"HKEY_CURRENT_USER\\Software\\Tessal\\", HKEY_CURRENT_USER, "Software\\Tessal\\ComPort"},
        {"hkey_local_machine\\Software\\Tessal", HKEY_LOCAL_MACHINE, "Software\\Tessal\\ComPort"},
        {"Software\\Tessal", HKEY_CURRENT_USER, "Tessal\\ComPort"},
        {"HKEY_CLASSES_ROOT\\X", HKEY_CURRENT_USER, "X\\ComPort"},
    };
    for (const auto& C : Cases) {
        TRegistry Reg;
        ASSERT_TRUE(OpenSettingsKey(Reg, C.Path, "ComPort")) << C.Path;
        EXPECT_EQ(Reg.GetRootKey(), C.Root) << C.Path;
        EXPECT_EQ(Reg.GetCurrentPath(), C.Key) << C.Path;
        EXPECT_TRUE(TRegistry(C.Root).KeyExists(C.Key)) << C.Path;
    }
    TRegistry Reg;
    EXPECT_FALSE(OpenSettingsKey(Reg, "Software", "ComPort"));
    EXPECT_FALSE(OpenSettingsKey(&Reg, "HKEY_CURRENT_USER\\", "ComPort"));
    EXPECT_FALSE(Reg.HasCurrentKey());
}

TEST(SettingsKeyPath, UnusablePathsFailStoreAndLoad) {
    TTempRegistry Temp;
    TComPort Port;
    Port.SetName("ComPort");
    for (const char* Bad : {"Software", "HKEY_CURRENT_USER\\", "HKEY_LOCAL_MACHINE\\\\"}) {
        EXPECT_EQ(ComErrorCode([&] { Port.StoreSettings(stRegistry, Bad); }), 16) << Bad;
        EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Bad); }), 17) << Bad;
        EXPECT_EQ(Port.GetPort(), "COM1") << Bad;
    }
}
