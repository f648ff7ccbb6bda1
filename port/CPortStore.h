// Where a port keeps its settings in the registry. The port's own store and load operations
// (StoreSettings, LoadSettings and the four protected media operations) are members of
// TCustomComPort; they are defined with this file.
#pragma once

#include <string>

class TRegistry;

// Opens Name's settings key below the caller's path "ROOT\some\key": a first segment of
// HKEY_LOCAL_MACHINE selects that root, any other first segment is dropped and the current-user
// root kept. The key and its parents are created when missing. False when no key could be
// opened: no backslash, nothing after it, or a registry failure.
bool OpenSettingsKey(TRegistry& Reg, const std::string& Key, const std::string& Name);
bool OpenSettingsKey(TRegistry* Reg, const std::string& Key, const std::string& Name);
