// A store killed at any point leaves the old settings or the new ones, whole; the temporary
// files of a killed store are gone after the next store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "common/CrashPoints.h"
#include "platform/inifile/IniFile.h"
#include "platform/registry/Registry.h"
#include "port/CPort.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

namespace {

const TStoredProps AllGroups{spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers};

std::optional<std::string> FileText(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        return std::nullopt;
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

void SetFileText(const std::string& Path, const std::optional<std::string>& Text) {
    if (!Text) {
        fs::remove(Path);
        return;
    }
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << *Text;
}

int Temporaries(const std::string& Dir) {
    int N = 0;
    for (const auto& E : fs::directory_iterator(Dir))
        N += E.path().filename().string().find(".tmp.") != std::string::npos;
    return N;
}

struct TCrashCase {
    const char* Name;
    TStoreType Medium;
    bool OldSettingsStored; // else the file does not exist before the store
};

void PrintTo(const TCrashCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class StoreCrashTest : public ::testing::TestWithParam<TCrashCase> {
protected:
    StoreCrashTest() {
        for (TComPort* P : {&Old, &New}) {
            P->SetName("ComPort");
            P->SetStoredProps(AllGroups);
        }
        Old.SetPort("ttyOld");
        // Every group differs from the old settings.
        New.SetPort("ttyNew");
        New.SetBaudRate(brCustom);
        New.SetCustomBaudRate(250000);
        New.SetEventChar('~');
        New.GetParity().SetCheck(true);
        New.GetBuffer().SetInputSize(8192);
        New.GetTimeouts().SetReadInterval(77);
        New.GetFlowControl().SetOutCTSFlow(true);
    }

    std::string Place() const {
        return GetParam().Medium == stRegistry ? "HKEY_CURRENT_USER\\Software\\Tessal" : Ini;
    }
    std::string File() const {
        return GetParam().Medium == stRegistry ? HiveFilePath(HKEY_CURRENT_USER) : Ini;
    }

    TTempRegistry Temp;
    const std::string Ini = Temp.File("port.ini");
    TComPort Old, New;
};

TEST_P(StoreCrashTest, KilledStoreLeavesOldOrNewSettingsWhole) {
    if (GetParam().OldSettingsStored) {
        if (GetParam().Medium == stIniFile)
            SetFileText(Ini, "; kept\r\n[Other]\r\nA=1\r\n");
        else
            TRegistry().CreateKey("Software\\Other");
        Old.StoreSettings(GetParam().Medium, Place());
    }
    const std::optional<std::string> OldText = FileText(File());
    New.StoreSettings(GetParam().Medium, Place());
    const std::optional<std::string> NewText = FileText(File());
    ASSERT_TRUE(NewText.has_value());
    ASSERT_NE(OldText, NewText);
    SetFileText(File(), OldText);

    int SawOld = 0, SawNew = 0, SawTemporaries = 0;
    const int Killed = ForEachCrashPoint([&] { New.StoreSettings(GetParam().Medium, Place()); },
                                         [&](bool) {
                                             const std::optional<std::string> Now =
                                                 FileText(File());
                                             SawOld += Now == OldText;
                                             SawNew += Now == NewText;
                                             EXPECT_TRUE(Now == OldText || Now == NewText)
                                                 << (Now ? *Now : "(no file)");
                                             SawTemporaries += Temporaries(Temp.Dir().string()) > 0;
                                             // The next store cleans up after the killed one.
                                             New.StoreSettings(GetParam().Medium, Place());
                                             EXPECT_EQ(FileText(File()), NewText);
                                             EXPECT_EQ(Temporaries(Temp.Dir().string()), 0);
                                             SetFileText(File(), OldText);
                                         });
    EXPECT_GE(Killed, 5);
    EXPECT_GT(SawOld, 0);
    EXPECT_GT(SawNew, 0);
    EXPECT_GT(SawTemporaries, 0);
}

INSTANTIATE_TEST_SUITE_P(Media, StoreCrashTest,
                         ::testing::Values(TCrashCase{"RegistryNew", stRegistry, false},
                                           TCrashCase{"RegistryOverOld", stRegistry, true},
                                           TCrashCase{"IniNew", stIniFile, false},
                                           TCrashCase{"IniOverOld", stIniFile, true}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A descendant whose own part of the store fails after the port's values went in.
class TFailingPort : public TComPort {
protected:
    void StoreRegistry(TRegistry* Reg) override {
        TComPort::StoreRegistry(Reg);
        throw std::runtime_error("extra value unavailable");
    }
    void StoreIniFile(TIniFile* IniFile) override {
        TComPort::StoreIniFile(IniFile);
        IniFile->WriteString(GetName(), "Note", "two\nlines"); // refused
    }
};

TEST(StoreFailureTest, StoreFailingMidwayLeavesTheOldSettingsWhole) {
    TTempRegistry Temp;
    const std::string Ini = Temp.File("port.ini");
    for (const auto& [Medium, Place, File] :
         {std::tuple{stRegistry, std::string("\\Software\\Tessal"),
                     HiveFilePath(HKEY_CURRENT_USER)},
          std::tuple{stIniFile, Ini, Ini}}) {
        TComPort Port;
        Port.SetName("ComPort");
        Port.SetStoredProps(AllGroups);
        Port.StoreSettings(Medium, Place);
        const std::optional<std::string> Before = FileText(File);
        TFailingPort Failing;
        Failing.SetName("ComPort");
        Failing.SetStoredProps(AllGroups);
        Failing.SetPort("ttyOther");
        Failing.GetTimeouts().SetReadInterval(5);
        try {
            Failing.StoreSettings(Medium, Place);
            ADD_FAILURE() << "no error";
        } catch (const EComPort& E) {
            EXPECT_EQ(E.GetCode(), 16);
        }
        EXPECT_EQ(FileText(File), Before) << int(Medium);
    }
}

} // namespace
