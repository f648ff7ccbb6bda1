// tessal.ini: one line, the path of the command-definition file loaded last, ended by CR LF.
// Start-up reads it by the bare name (the current directory); the loader writes it beside the
// executable (AppDir). Both are the same file when the program runs in its own directory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kSettingsFileName = "tessal.ini";
inline constexpr const char* kSettingsOpenFailedText = "Can't open file: tessal.ini";

// The directory part of an executable's path without a trailing separator; "/" stays "/", a bare
// name gives ".".
std::string AppDirOf(std::string_view executablePath);

// AppDir of the running process (/proc/self/exe). Throws std::system_error when it cannot be read.
std::string ExecutableDir();

std::string SettingsFilePath(std::string_view appDir);

// The first line (at most 1023 characters, line end removed), or nothing when the file cannot be
// opened: the window then shows kSettingsOpenFailedText.
std::optional<std::string> ReadSettingsFile(const std::string& path = kSettingsFileName);

// Replaces the file with one holding commandFile and CR LF, atomically: a crash at any moment
// leaves the old content or the new, never a partial file. A failure is written to the standard
// error stream ("Can't open write file: tessal.ini"; a failed write after a good open reports
// "Can't write file: tessal.ini") and returns false; the caller goes on either way.
bool WriteSettingsFile(std::string_view appDir, std::string_view commandFile);
