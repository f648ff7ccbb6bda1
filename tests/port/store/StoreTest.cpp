#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/inifile/IniFile.h"
#include "platform/registry/Registry.h"
#include "port/CPort.h"
#include "tests/common/TempDir.h"

static const char* const Path = "HKEY_CURRENT_USER\\Software\\Tessal";
static const char* const Key = "Software\\Tessal\\ComPort";
static const TStoredProps All{spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers};

// Every setting off its default, in the order and form the store writes them.
static const char* const EverySetting =
    "[ComPort]\nPort=ttyUSB3\nBaudRate=Custom\nCustomBaudRate=250000\nStopBits=2\nDataBits=7\n"
    "Parity=Mark\nFlowControl=Custom\nEventChar=~\nDiscardNull=Yes\nParity.Check=Yes\n"
    "Parity.Replace=Yes\nParity.ReplaceChar=#255\nBuffer.OutputSize=4096\nBuffer.InputSize=8192\n"
    "Timeouts.ReadInterval=50\nTimeouts.ReadTotalConstant=1000\nTimeouts.ReadTotalMultiplier=100\n"
    "Timeouts.WriteTotalConstant=7\nTimeouts.WriteTotalMultiplier=-1\n"
    "FlowControl.ControlRTS=Toggle\nFlowControl.ControlDTR=Handshake\n"
    "FlowControl.DSRSensitivity=Yes\nFlowControl.OutCTSFlow=Yes\nFlowControl.OutDSRFlow=Yes\n"
    "FlowControl.TxContinueOnXoff=Yes\nFlowControl.XonXoffIn=Yes\nFlowControl.XonXoffOut=No\n"
    "FlowControl.XoffChar=#32\nFlowControl.XonChar=#\n";

static int ComErrorCode(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const EComPort& E) {
        return E.GetCode();
    }
    return 0;
}

class StoreTest : public ::testing::Test {
protected:
    StoreTest() { Port.SetName("ComPort"); }

    std::vector<std::string> RegistryNames() {
        TRegistry Reg;
        EXPECT_TRUE(Reg.OpenKey(Key, false));
        return Reg.GetValueNames();
    }
    std::string Read(const std::string& File) {
        std::stringstream S;
        S << std::ifstream(File).rdbuf();
        return S.str();
    }
    void Write(const std::string& Text) { std::ofstream(Ini) << Text; }
    // All groups of P as ini text.
    std::string Text(TCustomComPort& P) {
        const std::string File = Temp.File("dump.ini");
        std::remove(File.c_str());
        const TStoredProps Saved = P.GetStoredProps();
        P.SetStoredProps(All);
        P.StoreSettings(stIniFile, File);
        P.SetStoredProps(Saved);
        return Read(File);
    }

    TTempRegistry Temp;
    const std::string Ini = Temp.File("port.ini");
    TComPort Port;
};

TEST_F(StoreTest, BasicGroupWritesSixValuesSevenWithCustomRate) {
    Port.StoreSettings(stRegistry, Path);
    EXPECT_EQ(RegistryNames(), (std::vector<std::string>{"Port", "BaudRate", "StopBits", "DataBits",
                                                         "Parity", "FlowControl"}));
    EXPECT_NE(Read(Temp.File("current-user.hive")).find("\"Port\"=\"COM1\""), std::string::npos);
    Port.SetBaudRate(brCustom);
    ASSERT_TRUE(TRegistry().DeleteKey(Key));
    Port.StoreSettings(stRegistry, Path);
    EXPECT_EQ(RegistryNames()[2], "CustomBaudRate");
    EXPECT_EQ(RegistryNames().size(), 7u);
}

TEST_F(StoreTest, EveryGroupRoundTripsThroughBothMedia) {
    Write(EverySetting);
    Port.SetStoredProps(All);
    Port.LoadSettings(stIniFile, Ini);
    EXPECT_EQ(Port.GetTimeouts().GetReadTotalConstant(), 1000);
    EXPECT_EQ(Port.GetFlowControl().GetXoffChar(), ' ');
    Port.StoreSettings(stRegistry, Path);
    EXPECT_EQ(RegistryNames().size(), 29u);
    TComPort Fresh;
    Fresh.SetName("ComPort");
    Fresh.SetStoredProps(All);
    Fresh.LoadSettings(stRegistry, Path);
    EXPECT_EQ(Text(Fresh), EverySetting);

    Write("[Other]\nPort=ttyS9\n"); // no section: nothing changes, the custom rate included
    Fresh.LoadSettings(stIniFile, Ini);
    EXPECT_EQ(Text(Fresh), EverySetting);
}

TEST_F(StoreTest, RegistryMissingValues) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey(Key, true));
    Reg.WriteString("Port", "ttyS4");
    Reg.WriteString("BaudRate", "custom");
    Reg.WriteString("StopBits", "2");
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Path); }), 17);
    EXPECT_EQ(Port.GetPort(), "ttyS4");
    EXPECT_EQ(Port.GetBaudRate(), brCustom);
    EXPECT_EQ(Port.GetStopBits(), sbOneStopBit);
    Reg.WriteInteger("Port", 3); // a value of the wrong kind
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Path); }), 17);

    ASSERT_TRUE(Reg.DeleteKey(Key)); // a missing key is made; texts take their fallbacks
    Port.GetParity().SetBits(prEven);
    Port.LoadSettings(stRegistry, Path);
    EXPECT_EQ(Port.GetPort(), "");
    EXPECT_EQ(Port.GetParity().GetBits(), prNone);
    EXPECT_TRUE(RegistryNames().empty());
    Port.SetStoredProps({spBasic, spBuffer});
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Path); }), 17);
}

TEST_F(StoreTest, CombinedFlowControlIsOverriddenByTheGroup) {
    Port.SetStoredProps({spBasic, spFlowControl});
    Port.GetFlowControl().SetFlowControl(fcSoftware);
    Port.StoreSettings(stRegistry, Path);
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey(Key, false));
    Reg.WriteString("FlowControl", "Hardware");
    Port.GetFlowControl().SetFlowControl(fcNone);
    Port.LoadSettings(stRegistry, Path);
    EXPECT_EQ(Port.GetFlowControl().GetFlowControl(), fcSoftware);
}

TEST_F(StoreTest, IniMissingValuesKeepTheirSettings) {
    Port.SetStoredProps(All);
    Port.GetFlowControl().SetOutDSRFlow(true);
    Port.SetCustomBaudRate(250000);
    Write("[comport]\nBaudRate=Custom\nParity.ReplaceChar=\nBuffer.InputSize=0x800\n"
          "Buffer.OutputSize=lots\n");
    Port.LoadSettings(stIniFile, Ini);
    EXPECT_EQ(Port.GetPort(), "COM1");
    EXPECT_EQ(Port.GetCustomBaudRate(), 9600); // a custom rate named without its number
    EXPECT_TRUE(Port.GetFlowControl().GetOutDSRFlow());
    EXPECT_EQ(Port.GetParity().GetReplaceChar(), 0); // present but empty
    EXPECT_EQ(Port.GetBuffer().GetInputSize(), 2048);
    EXPECT_EQ(Port.GetBuffer().GetOutputSize(), 1024);

    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stIniFile, Temp.Dir().string()); }), 17);
    Port.SetPort("two\nlines"); // would break the file's lines: refused, not written
    EXPECT_EQ(ComErrorCode([&] { Port.StoreSettings(stIniFile, Ini); }), 16);
}

// Characters 33..127 are written raw: none of them may be taken for ini or hive syntax.
TEST_F(StoreTest, RawCharactersRoundTripThroughBothMedia) {
    Port.SetStoredProps({spOthers});
    for (int C = 32; C <= 128; ++C) {
        Port.SetEventChar(static_cast<std::uint8_t>(C));
        Port.StoreSettings(stIniFile, Ini);
        Port.StoreSettings(stRegistry, Path);
        for (TStoreType Medium : {stIniFile, stRegistry}) {
            Port.SetEventChar(0);
            Port.LoadSettings(Medium, Medium == stIniFile ? Ini : Path);
            EXPECT_EQ(Port.GetEventChar(), C) << int(Medium);
        }
    }
}

TEST_F(StoreTest, KeyPaths) {
    const std::tuple<const char*, TRegRoot, const char*> Cases[] = {
        {Path, HKEY_CURRENT_USER, Key},
        {"\\Software\\Tessal\\", HKEY_CURRENT_USER, Key},
        {"hkey_local_machine\\Software\\Tessal", HKEY_LOCAL_MACHINE, Key},
        {"Software\\Tessal", HKEY_CURRENT_USER, "Tessal\\ComPort"}};
    for (const auto& [In, Root, Out] : Cases) {
        TRegistry Reg;
        ASSERT_TRUE(OpenSettingsKey(Reg, In, "ComPort")) << In;
        EXPECT_EQ(Reg.GetRootKey(), Root) << In;
        EXPECT_EQ(Reg.GetCurrentPath(), Out) << In;
    }
    Port.SetStoredProps({});
    for (const char* Bad : {"Software", "HKEY_CURRENT_USER\\", "HKEY_LOCAL_MACHINE\\\\"}) {
        EXPECT_EQ(ComErrorCode([&] { Port.StoreSettings(stRegistry, Bad); }), 16) << Bad;
        EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stRegistry, Bad); }), 17) << Bad;
    }
}

// A descendant keeps one more value beside the port's own, in the key or section opened for it.
class TExtraPort : public TComPort {
public:
    std::int32_t Extra = 0;

protected:
    void StoreRegistry(TRegistry* Reg) override {
        TComPort::StoreRegistry(Reg);
        Reg->WriteInteger("Extra", Extra);
    }
    void LoadRegistry(TRegistry* Reg) override {
        TComPort::LoadRegistry(Reg);
        Extra = Reg->ReadInteger("Extra");
    }
    void StoreIniFile(TIniFile* IniFile) override {
        TComPort::StoreIniFile(IniFile);
        IniFile->WriteInteger(GetName(), "Extra", Extra);
    }
    void LoadIniFile(TIniFile* IniFile) override {
        TComPort::LoadIniFile(IniFile);
        Extra = IniFile->ReadInteger(GetName(), "Extra", -1);
    }
};

TEST_F(StoreTest, DescendantsExtendTheMediaOperations) {
    TExtraPort Out, In;
    Out.SetName("ComPort");
    In.SetName("ComPort");
    Out.SetPort("ttyS7");
    Out.Extra = 42;
    Out.StoreSettings(stRegistry, Path);
    EXPECT_EQ(RegistryNames().back(), "Extra");
    In.LoadSettings(stRegistry, Path);
    EXPECT_EQ(In.GetPort(), "ttyS7");
    EXPECT_EQ(In.Extra, 42);
    Out.Extra = 7;
    Out.StoreSettings(stIniFile, Ini);
    In.LoadSettings(stIniFile, Ini);
    EXPECT_EQ(In.Extra, 7);
}
