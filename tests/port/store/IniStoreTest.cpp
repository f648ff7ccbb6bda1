#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "port/CPort.h"
#include "port/store/PortValues.h"
#include "port/store/TempRegistry.h"

class IniStoreTest : public ::testing::Test {
protected:
    IniStoreTest() {
        char Template[] = "/tmp/tessal-ini-XXXXXX";
        const char* Made = mkdtemp(Template);
        EXPECT_NE(Made, nullptr);
        Dir = Made != nullptr ? Made : "";
        File = Dir + "/port.ini";
        Port.SetName("ComPort");
    }
    ~IniStoreTest() override {
        std::error_code Ignored;
        std::filesystem::remove_all(Dir, Ignored);
    }

    void WriteFile(const std::string& Text) { std::ofstream(File) << Text; }
    std::string ReadFile() {
        std::stringstream S;
        S << std::ifstream(File).rdbuf();
        return S.str();
    }

    std::string Dir;
    std::string File;
    TComPort Port;
};

TEST_F(IniStoreTest, BasicGroupIsOneSectionOfNameValueLines) {
    Port.SetBaudRate(brCustom);
    Port.SetCustomBaudRate(31250);
    Port.StoreSettings(stIniFile, File);
    EXPECT_EQ(ReadFile(), "[ComPort]\nPort=COM1\nBaudRate=Custom\nCustomBaudRate=31250\n"
                          "StopBits=1\nDataBits=8\nParity=None\nFlowControl=None\n");
}

TEST_F(IniStoreTest, EveryGroupRoundTrips) {
    Port.SetStoredProps(AllStoredProps);
    SetEveryStoredSetting(Port);
    Port.StoreSettings(stIniFile, File);

    TComPort Loaded;
    Loaded.SetName("ComPort");
    Loaded.SetStoredProps(AllStoredProps);
    Loaded.LoadSettings(stIniFile, File);
    ExpectSameStoredSettings(Port, Loaded);
}

TEST_F(IniStoreTest, MissingSectionChangesNothing) {
    WriteFile("[Other]\nPort=ttyS9\n");
    Port.SetStoredProps(AllStoredProps);
    SetEveryStoredSetting(Port);
    TComPort Before;
    Before.SetStoredProps(AllStoredProps);
    SetEveryStoredSetting(Before);
    Port.LoadSettings(stIniFile, File);
    ExpectSameStoredSettings(Before, Port);
}

TEST_F(IniStoreTest, MissingValuesKeepTheirSettings) {
    WriteFile("[comport]\nBaudRate=Custom\nFlowControl.OutCTSFlow=yes\nParity.ReplaceChar=\n"
              "Buffer.InputSize=0x800\nBuffer.OutputSize=lots\n");
    Port.SetStoredProps(AllStoredProps);
    Port.SetCustomBaudRate(250000);
    Port.GetFlowControl().SetOutDSRFlow(true);
    Port.GetParity().SetReplaceChar('?');
    Port.LoadSettings(stIniFile, File);
    EXPECT_EQ(Port.GetPort(), "COM1");
    EXPECT_EQ(Port.GetBaudRate(), brCustom);
    EXPECT_EQ(Port.GetCustomBaudRate(), 9600); // a custom rate named without its number
    EXPECT_TRUE(Port.GetFlowControl().GetOutCTSFlow());
    EXPECT_TRUE(Port.GetFlowControl().GetOutDSRFlow());
    EXPECT_EQ(Port.GetParity().GetReplaceChar(), 0); // present but empty
    EXPECT_EQ(Port.GetBuffer().GetInputSize(), 2048);
    EXPECT_EQ(Port.GetBuffer().GetOutputSize(), 1024);
    EXPECT_EQ(Port.GetFlowControl().GetXonChar(), 17);
}

TEST_F(IniStoreTest, StoreIntoAnExistingFileKeepsTheRest) {
    WriteFile("; settings\n[Other]\nA=1\n");
    Port.StoreSettings(stIniFile, File);
    Port.SetPort("ttyACM0");
    Port.StoreSettings(stIniFile, File);
    const std::string Text = ReadFile();
    EXPECT_EQ(Text.rfind("; settings\n[Other]\nA=1\n", 0), 0u) << Text;
    EXPECT_NE(Text.find("[ComPort]\nPort=ttyACM0\n"), std::string::npos) << Text;
}

TEST_F(IniStoreTest, FailuresRaiseStoreAndLoadCodes) {
    EXPECT_EQ(ComErrorCode([&] { Port.StoreSettings(stIniFile, Dir); }), 16);
    // A value that would break the line structure is refused, not written.
    Port.SetPort("two\nlines");
    EXPECT_EQ(ComErrorCode([&] { Port.StoreSettings(stIniFile, File); }), 16);
    EXPECT_EQ(ComErrorCode([&] { Port.LoadSettings(stIniFile, Dir); }), 17);
}

// Characters are written raw for 33..127: none of them may be taken for ini or hive syntax.
TEST_F(IniStoreTest, EveryCharacterRoundTripsThroughBothMedia) {
    TTempRegistry Temp;
    Port.SetStoredProps({spOthers});
    TComPort Loaded;
    Loaded.SetName("ComPort");
    Loaded.SetStoredProps({spOthers});
    for (int C = 0; C < 256; ++C) {
        Port.SetEventChar(static_cast<std::uint8_t>(C));
        Port.StoreSettings(stIniFile, File);
        Port.StoreSettings(stRegistry, "\\Software\\Tessal");
        Loaded.SetEventChar(C == 0 ? 1 : 0);
        Loaded.LoadSettings(stIniFile, File);
        EXPECT_EQ(Loaded.GetEventChar(), C) << "ini";
        Loaded.SetEventChar(C == 0 ? 1 : 0);
        Loaded.LoadSettings(stRegistry, "\\Software\\Tessal");
        EXPECT_EQ(Loaded.GetEventChar(), C) << "registry";
    }
}
