#include "port/CPortStore.h"

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/inifile/IniFile.h"
#include "platform/registry/Registry.h"
#include "platform/text/AsciiText.h"
#include "port/CPortComPort.h"
#include "port/CPortConv.h"
#include "port/CPortError.h"
#include "port/CPortStoreGroups.h"

namespace {

// Registry values: text as string values, integers as 32-bit values. There are no defaults: a
// missing text reads as empty, a missing integer raises.
class TRegistrySettingsWriter : public TSettingsWriter {
public:
    explicit TRegistrySettingsWriter(TRegistry& Reg) : FReg(Reg) {}
    void WriteText(const std::string& Name, const std::string& Value) override {
        FReg.WriteString(Name, Value);
    }
    void WriteInteger(const std::string& Name, std::int32_t Value) override {
        FReg.WriteInteger(Name, Value);
    }

private:
    TRegistry& FReg;
};

class TRegistrySettingsReader : public TSettingsReader {
public:
    explicit TRegistrySettingsReader(TRegistry& Reg) : FReg(Reg) {}
    bool HasValue(const std::string& Name) override { return FReg.ValueExists(Name); }
    std::string ReadText(const std::string& Name, const std::string&) override {
        return FReg.ReadString(Name);
    }
    std::int32_t ReadInteger(const std::string& Name, std::int32_t) override {
        return FReg.ReadInteger(Name);
    }

private:
    TRegistry& FReg;
};

// Ini values: one section named after the port, integers in decimal. A missing value gives
// the default, so it leaves its setting as it was.
class TIniSettingsWriter : public TSettingsWriter {
public:
    TIniSettingsWriter(TIniFile& Ini, const std::string& Section) : FIni(Ini), FSection(Section) {}
    void WriteText(const std::string& Name, const std::string& Value) override {
        FIni.WriteString(FSection, Name, Value);
    }
    void WriteInteger(const std::string& Name, std::int32_t Value) override {
        FIni.WriteInteger(FSection, Name, Value);
    }

private:
    TIniFile& FIni;
    const std::string& FSection;
};

class TIniSettingsReader : public TSettingsReader {
public:
    TIniSettingsReader(TIniFile& Ini, const std::string& Section) : FIni(Ini), FSection(Section) {}
    bool HasValue(const std::string& Name) override { return FIni.ValueExists(FSection, Name); }
    std::string ReadText(const std::string& Name, const std::string& Default) override {
        return FIni.ReadString(FSection, Name, Default);
    }
    std::int32_t ReadInteger(const std::string& Name, std::int32_t Default) override {
        return FIni.ReadInteger(FSection, Name, Default);
    }

private:
    TIniFile& FIni;
    const std::string& FSection;
};

} // namespace

bool OpenSettingsKey(TRegistry& Reg, const std::string& Key, const std::string& Name) {
    const std::size_t Slash = Key.find('\\');
    if (Slash == std::string::npos)
        return false;
    const std::string Root = AsciiUpperCase(Key.substr(0, Slash));
    if (Root == "HKEY_LOCAL_MACHINE")
        Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    else if (Root == "HKEY_CURRENT_USER")
        Reg.SetRootKey(HKEY_CURRENT_USER);
    std::string Path = Key.substr(Slash + 1);
    // Only the root named: the settings would land in a key of the root itself.
    if (Path.find_first_not_of('\\') == std::string::npos)
        return false;
    if (Path.back() != '\\')
        Path += '\\';
    Path += Name;
    try {
        return Reg.OpenKey(Path, true);
    } catch (const ERegistryError&) {
        // Reported by the caller as its own failure to store or load.
        return false;
    }
}

bool OpenSettingsKey(TRegistry* Reg, const std::string& Key, const std::string& Name) {
    return Reg != nullptr && OpenSettingsKey(*Reg, Key, Name);
}

// Hands the medium to OnRegistry with the settings key open, or to OnIniFile. Without a key
// every write would fail and every text would read as empty, wiping the port's settings on a
// load that reported success; both fail at once instead. A store is one batch: the file is
// replaced once with every value in it, so a crash or a failure midway leaves the old values
// whole, never a mixture.
template <typename FRegistry, typename FIniFile>
static void WithSettingsMedium(TStoreType StoreType, const std::string& Place,
                               const std::string& Name, bool Storing, FRegistry OnRegistry,
                               FIniFile OnIniFile) {
    if (StoreType == stRegistry) {
        TRegistry Reg;
        if (Storing)
            Reg.BeginBatch();
        if (!OpenSettingsKey(Reg, Place, Name))
            throw ERegistryError(EBADF, "no settings key for " + Place);
        OnRegistry(&Reg);
        if (Storing)
            Reg.CommitBatch();
    } else {
        TIniFile Ini(Place);
        if (Storing)
            Ini.BeginBatch();
        OnIniFile(&Ini);
        if (Storing)
            Ini.CommitBatch();
    }
}

void TCustomComPort::StoreSettings(TStoreType StoreType, const std::string& StoreTo) {
    try {
        WithSettingsMedium(
            StoreType, StoreTo, GetName(), true, [this](TRegistry* Reg) { StoreRegistry(Reg); },
            [this](TIniFile* Ini) { StoreIniFile(Ini); });
    } catch (...) {
        throw EComPort(CError_StoreFailed);
    }
}

void TCustomComPort::LoadSettings(TStoreType StoreType, const std::string& LoadFrom) {
    BeginUpdate();
    try {
        WithSettingsMedium(
            StoreType, LoadFrom, GetName(), false, [this](TRegistry* Reg) { LoadRegistry(Reg); },
            [this](TIniFile* Ini) { LoadIniFile(Ini); });
    } catch (...) {
        // What was read before the failure stays set; the device takes it once, here.
        EndUpdate();
        throw EComPort(CError_LoadFailed);
    }
    EndUpdate();
}

void TCustomComPort::StoreRegistry(TRegistry* Reg) {
    TRegistrySettingsWriter Writer(*Reg);
    WritePortSettings(*this, Writer);
}

void TCustomComPort::LoadRegistry(TRegistry* Reg) {
    TRegistrySettingsReader Reader(*Reg);
    ReadPortSettings(*this, Reader);
}

void TCustomComPort::StoreIniFile(TIniFile* IniFile) {
    TIniSettingsWriter Writer(*IniFile, GetName());
    WritePortSettings(*this, Writer);
}

void TCustomComPort::LoadIniFile(TIniFile* IniFile) {
    TIniSettingsReader Reader(*IniFile, GetName());
    ReadPortSettings(*this, Reader);
}
