// The registry: a hierarchical key/value store with two roots, current-user and local-machine.
//
//   TRegistry reg(HKEY_CURRENT_USER);          // the root; SetRootKey changes it
//   if (reg.OpenKey("Software\\Tessal\\ComPort", true)) {   // true: create it and its parents
//       reg.WriteString("Port", "ttyUSB0");
//       reg.WriteInteger("CustomBaudRate", 250000);
//   }
//   std::string port = reg.ReadString("Port");   // missing: ""
//   std::int32_t rate = reg.ReadInteger("CustomBaudRate");   // missing: ERegistryError
//
// Paths are '\'-separated; empty segments (a leading '\') are ignored; key and value names
// compare without regard to ASCII case. Values are text (byte strings) or 32-bit integers.
//
// Results, as the settings store needs them:
// - OpenKey / OpenKeyReadOnly return false when the key does not exist and is not to be
//   created (GetLastError() then gives ENOENT); every other failure (hive damaged or unreadable,
//   directory not writable) raises ERegistryError. Without an open key, reads behave as for a
//   missing value and writes raise (EBADF).
// - ReadString: a missing value reads as "", a value of the integer kind raises (EINVAL).
// - ReadInteger: a missing value, or one of the text kind, raises (ENOENT / EINVAL).
// - Writes raise on any failure (EACCES on a key opened read-only).
// ERegistryError carries the errno value (GetErrorCode) and a message naming the hive file.
//
// Storage: one text file per root (see Hive.h for the format), current-user.hive and
// local-machine.hive, in $TESSAL_REGISTRY_DIR when set (tests point it at a temporary
// directory), else $XDG_CONFIG_HOME/tessal/registry, else ~/.config/tessal/registry. Every read
// loads the file; every write (and every key creation) is a locked read-modify-write that
// replaces the file atomically, so concurrent writers in several processes lose nothing and a
// crash never leaves a truncated hive. A damaged hive is reported and never overwritten.
//
// Batches: between BeginBatch and CommitBatch, key creation (OpenKey, CreateKey), writes and
// deletions change this object's copy of the hive only, and its reads see them; the commit
// saves them all in one replacement of the file, so a crash leaves all of them or none.
// Changes not committed are dropped by CancelBatch, a new BeginBatch or the destructor.
// SetRootKey with uncommitted changes raises (EBUSY): they belong to the other root's hive.
//
// Concurrency: a TRegistry object belongs to one thread; any number of objects in any threads
// and processes may work on the same hive at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/registry/ChangeBatch.h"
#include "platform/registry/Hive.h"

enum TRegRoot : std::uint8_t { rrCurrentUser, rrLocalMachine };
inline constexpr TRegRoot HKEY_CURRENT_USER = rrCurrentUser;
inline constexpr TRegRoot HKEY_LOCAL_MACHINE = rrLocalMachine;

class ERegistryError : public std::system_error {
public:
    ERegistryError(int ErrorCode, const std::string& What)
        : std::system_error(ErrorCode, std::generic_category(), What) {}
    int GetErrorCode() const { return code().value(); }
};

// The file that holds Root's hive (the directory need not exist yet).
std::string HiveFilePath(TRegRoot Root);

class TRegistry {
public:
    explicit TRegistry(TRegRoot Root = HKEY_CURRENT_USER);

    TRegRoot GetRootKey() const { return root_; }
    // Closes the open key.
    void SetRootKey(TRegRoot Root);

    bool OpenKey(const std::string& Key, bool CanCreate);
    bool OpenKeyReadOnly(const std::string& Key);
    void CloseKey();
    bool HasCurrentKey() const { return open_; }
    // The open key's path as normalised ("Software\Tessal"), "" for the root or none.
    const std::string& GetCurrentPath() const { return path_; }
    int GetLastError() const { return lastError_; }

    bool KeyExists(const std::string& Key) const;
    // Creates Key (and its parents) under the root without opening it.
    void CreateKey(const std::string& Key);
    // Removes Key and everything below it; false when it did not exist.
    bool DeleteKey(const std::string& Key);

    bool ValueExists(const std::string& Name) const;
    TRegDataType GetDataType(const std::string& Name) const;
    std::string ReadString(const std::string& Name) const;
    std::int32_t ReadInteger(const std::string& Name) const;
    void WriteString(const std::string& Name, const std::string& Value);
    void WriteInteger(const std::string& Name, std::int32_t Value);
    bool DeleteValue(const std::string& Name);

    // Names in the order they were first written.
    std::vector<std::string> GetValueNames() const;
    std::vector<std::string> GetKeyNames() const;

    void BeginBatch() { batch_.Begin(); }
    void CommitBatch();
    void CancelBatch() { batch_.Cancel(); }

private:
    THive LoadFile() const;
    // The hive as this object sees it: the batch's copy while one is open.
    THive Load() const;
    // Locked read-modify-write of the hive; Change returns whether to save.
    void Save(const std::function<bool(THive&)>& Change);
    // Save, or record in the open batch; returns whether Change changed the hive.
    bool Modify(TChangeBatch<THive>::TChange Change);
    const TRegKeyData* CurrentKey(const THive& Hive) const;
    // A copy: the hive it comes from is gone when this returns.
    std::optional<TRegValue> CurrentValue(const std::string& Name) const;
    void SetCurrentValue(TRegValue Value);
    void CheckWritable() const;

    TRegRoot root_;
    bool open_ = false;
    bool readOnly_ = false;
    std::string path_;
    int lastError_ = 0;
    mutable TChangeBatch<THive> batch_;
};
