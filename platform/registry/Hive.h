// The contents of one registry hive and their text form.
//
// File format (one hive per file, bytes as written, LF line ends):
//   TESSAL-HIVE 1
//   ; comment lines and blank lines are ignored
//   [Software\Tessal\ComPort]            a key: its full path, segments joined by '\'
//   "Port"="ttyUSB0"                     a text value
//   "CustomBaudRate"=dword:0001c200      a 32-bit value, eight hex digits
//   END
// Inside quotes, '\\', '\"' and '\xHH' (control bytes) are escaped; in key paths ']', '%' and
// control bytes are written %HH. The END line proves the file complete: a file without it, or
// with anything it cannot read, is damaged and raises EHiveDamaged naming the line. Key paths
// and value names compare without regard to the case of ASCII letters (SameText).
// Keys, parents included, are listed explicitly; the root key (empty path, "[]") always exists.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

enum TRegDataType : std::uint8_t { rdUnknown, rdString, rdInteger };

struct TRegValue {
    std::string Name;
    TRegDataType Type = rdString;
    std::string Text;
    std::uint32_t Dword = 0;
};

struct TRegKeyData {
    std::string Path;
    std::vector<TRegValue> Values;
};

class EHiveDamaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits at '\', dropping empty segments, and joins again: "\a\\b\" gives "a\b".
std::string NormaliseKeyPath(std::string_view Path);

class THive {
public:
    // Raises EHiveDamaged; Source names the file in the message.
    static THive Parse(std::string_view Text, const std::string& Source);
    std::string Format() const;

    TRegKeyData* FindKey(std::string_view Path);
    const TRegKeyData* FindKey(std::string_view Path) const;
    // Creates the key and its missing parents; returns the key.
    TRegKeyData& CreateKey(std::string_view Path);
    // Removes the key and everything below it; false when it did not exist.
    bool DeleteKey(std::string_view Path);
    std::vector<std::string> SubKeyNames(std::string_view Path) const;

    static TRegValue* FindValue(TRegKeyData& Key, std::string_view Name);
    static const TRegValue* FindValue(const TRegKeyData& Key, std::string_view Name);
    // Replaces the value of that name (keeping its place) or appends it.
    static void SetValue(TRegKeyData& Key, TRegValue Value);

private:
    void Reindex();

    std::vector<TRegKeyData> keys_{TRegKeyData{}};
    // Upper-cased path -> position in keys_, so that deep trees and big hives stay linear.
    std::unordered_map<std::string, std::size_t> index_{{std::string(), 0}};
};
