#include "platform/registry/Registry.h"

#include <cerrno>
#include <cstdlib>

#include "platform/registry/AtomicFile.h"
#include "platform/text/AsciiText.h"

namespace {

std::string EnvOrEmpty(const char* Name) {
    const char* v = std::getenv(Name);
    return v != nullptr ? std::string(v) : std::string();
}

[[noreturn]] void Raise(int Err, const std::string& What) {
    throw ERegistryError(Err, What);
}

std::string Describe(TRegRoot Root, const std::string& Path, const std::string& Name) {
    return std::string(Root == rrLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") +
           (Path.empty() ? "" : "\\" + Path) + " value '" + Name + "'";
}

} // namespace

std::string HiveFilePath(TRegRoot Root) {
    std::string dir = EnvOrEmpty("TESSAL_REGISTRY_DIR");
    if (dir.empty()) {
        std::string base = EnvOrEmpty("XDG_CONFIG_HOME");
        if (base.empty()) {
            const std::string home = EnvOrEmpty("HOME");
            if (home.empty())
                Raise(ENOENT, "No registry directory: neither TESSAL_REGISTRY_DIR, "
                              "XDG_CONFIG_HOME nor HOME is set");
            base = home + "/.config";
        }
        dir = base + "/tessal/registry";
    }
    return dir + (Root == rrLocalMachine ? "/local-machine.hive" : "/current-user.hive");
}

TRegistry::TRegistry(TRegRoot Root) : root_(Root) {}

void TRegistry::SetRootKey(TRegRoot Root) {
    if (Root != root_ && batch_.HasChanges())
        Raise(EBUSY, "Registry changes not yet saved: the root cannot change");
    CloseKey();
    if (Root != root_)
        batch_.DropView();
    root_ = Root;
}

THive TRegistry::LoadFile() const {
    const std::string file = HiveFilePath(root_);
    std::string text;
    try {
        if (!ReadWholeFile(file, text))
            return THive();
        return THive::Parse(text, file);
    } catch (const EHiveDamaged& e) {
        Raise(EBADMSG, e.what());
    } catch (const std::system_error& e) {
        Raise(e.code().value(), e.what());
    }
}

THive TRegistry::Load() const {
    if (batch_.Active())
        return batch_.View([this] { return LoadFile(); });
    return LoadFile();
}

void TRegistry::Save(const std::function<bool(THive&)>& Change) {
    const std::string file = HiveFilePath(root_);
    try {
        const std::string dir = DirectoryOf(file);
        MakeDirectories(dir);
        TDirectoryLock lock(dir);
        THive hive = LoadFile();
        if (Change(hive))
            ReplaceFileAtomically(file, hive.Format());
    } catch (const ERegistryError&) {
        throw;
    } catch (const std::system_error& e) {
        Raise(e.code().value(), e.what());
    }
}

bool TRegistry::Modify(TChangeBatch<THive>::TChange Change) {
    return batch_.Modify([this] { return LoadFile(); }, [this](auto Edit) { Save(Edit); },
                         std::move(Change));
}

void TRegistry::CommitBatch() {
    batch_.Commit([this](auto Edit) { Save(Edit); });
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    CloseKey();
    const std::string norm = NormaliseKeyPath(Key);
    if (Load().FindKey(norm) == nullptr) {
        if (!CanCreate) {
            lastError_ = ENOENT;
            return false;
        }
        CreateKey(norm);
    }
    open_ = true;
    readOnly_ = false;
    path_ = norm;
    lastError_ = 0;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key) {
    const bool ok = OpenKey(Key, false);
    readOnly_ = ok;
    return ok;
}

void TRegistry::CloseKey() {
    open_ = false;
    readOnly_ = false;
    path_.clear();
}

bool TRegistry::KeyExists(const std::string& Key) const {
    return Load().FindKey(Key) != nullptr;
}

void TRegistry::CreateKey(const std::string& Key) {
    Modify([norm = NormaliseKeyPath(Key)](THive& h) {
        if (h.FindKey(norm) != nullptr)
            return false;
        h.CreateKey(norm);
        return true;
    });
}

bool TRegistry::DeleteKey(const std::string& Key) {
    return Modify([Key](THive& h) { return h.DeleteKey(Key); });
}

const TRegKeyData* TRegistry::CurrentKey(const THive& Hive) const {
    return open_ ? Hive.FindKey(path_) : nullptr;
}

bool TRegistry::ValueExists(const std::string& Name) const {
    return GetDataType(Name) != rdUnknown;
}

std::optional<TRegValue> TRegistry::CurrentValue(const std::string& Name) const {
    if (!open_)
        return std::nullopt;
    const THive hive = Load();
    const TRegKeyData* key = CurrentKey(hive);
    const TRegValue* v = key != nullptr ? THive::FindValue(*key, Name) : nullptr;
    return v != nullptr ? std::optional<TRegValue>(*v) : std::nullopt;
}

TRegDataType TRegistry::GetDataType(const std::string& Name) const {
    const std::optional<TRegValue> v = CurrentValue(Name);
    return v ? v->Type : rdUnknown;
}

std::string TRegistry::ReadString(const std::string& Name) const {
    const std::optional<TRegValue> v = CurrentValue(Name);
    if (!v)
        return std::string();
    if (v->Type != rdString)
        Raise(EINVAL, Describe(root_, path_, Name) + " is not text");
    return v->Text;
}

std::int32_t TRegistry::ReadInteger(const std::string& Name) const {
    if (!open_)
        Raise(EBADF, "No registry key open to read value '" + Name + "' from");
    const std::optional<TRegValue> v = CurrentValue(Name);
    if (!v)
        Raise(ENOENT, Describe(root_, path_, Name) + " does not exist");
    if (v->Type != rdInteger)
        Raise(EINVAL, Describe(root_, path_, Name) + " is not an integer");
    return static_cast<std::int32_t>(v->Dword);
}

void TRegistry::CheckWritable() const {
    if (!open_)
        Raise(EBADF, "No registry key open to write to");
    if (readOnly_)
        Raise(EACCES, "Registry key '" + path_ + "' is open for reading only");
}

void TRegistry::SetCurrentValue(TRegValue Value) {
    CheckWritable();
    Modify([path = path_, Value = std::move(Value)](THive& h) {
        TRegKeyData* key = h.FindKey(path);
        if (key == nullptr)
            Raise(ENOENT, "Registry key '" + path + "' no longer exists");
        THive::SetValue(*key, Value);
        return true;
    });
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    SetCurrentValue(TRegValue{Name, rdString, Value, 0});
}

void TRegistry::WriteInteger(const std::string& Name, std::int32_t Value) {
    SetCurrentValue(TRegValue{Name, rdInteger, {}, static_cast<std::uint32_t>(Value)});
}

bool TRegistry::DeleteValue(const std::string& Name) {
    CheckWritable();
    return Modify([path = path_, Name](THive& h) {
        TRegKeyData* key = h.FindKey(path);
        return key != nullptr && std::erase_if(key->Values, [&](const TRegValue& v) {
                                     return SameText(v.Name, Name);
                                 }) > 0;
    });
}

std::vector<std::string> TRegistry::GetValueNames() const {
    std::vector<std::string> names;
    if (!open_)
        return names;
    const THive hive = Load();
    if (const TRegKeyData* key = CurrentKey(hive))
        for (const auto& v : key->Values)
            names.push_back(v.Name);
    return names;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    if (!open_)
        return {};
    return Load().SubKeyNames(path_);
}
