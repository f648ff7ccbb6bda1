// Where the workbench keeps its settings for the user, for every client of the core: the port's
// settings under the current-user key (the port component's name as the last key) and the
// workbench's own values beside them.
#pragma once

inline constexpr const char* kPortSettingsKey = "HKEY_CURRENT_USER\\Software\\Tessal";
// The same key below the current-user root, as the registry object names it.
inline constexpr const char* kPortSettingsPath = "\\Software\\Tessal";
// The port's component name: its settings are stored under a key of this name.
inline constexpr const char* kPortComponentName = "ComPort";
inline constexpr const char* kAnswerTimeoutValue = "AnswerTimeout";
