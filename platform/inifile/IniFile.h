// Ini files with private-profile semantics.
//
// Reading: sections ("[name]") and keys ("key=value") match without regard to ASCII case; the
// first matching section counts; blanks around names and values are ignored, and one pair of
// matching quotes around a value is removed; lines starting with ';' are comments. A value read
// is cut at 2047 bytes. A missing file, section or key gives the default; "key=" gives "".
// Integers (ParseInt32, strict) are decimal, or hexadecimal after 0x / 0X (up to 32 bits,
// wrapping to negative); anything else, or a decimal out of the 32-bit range, gives the default.
//
// Writing: creates the file, the section (appended at the end) and the key (after the section's
// last entry) as needed, and replaces an existing value in place, keeping comments, order, line
// ends and everything else of the file. Each write is a locked read-modify-write with an atomic
// replace (platform/registry/AtomicFile.h). Between BeginBatch and CommitBatch, writes go to
// this object only (its reads see them) and the commit saves them all at once, in one
// replacement of the file: a crash leaves all of them or none. Text that would break the file's
// line structure (a line break in a value, a key with '=' and the like) is refused with EINVAL
// instead of being written.
//
// A file name without a directory is taken relative to the current directory.
// Failures other than a missing file raise EIniFileError (errno and a message naming the file).
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "platform/inifile/IniText.h"
#include "platform/registry/ChangeBatch.h"

class EIniFileError : public std::system_error {
public:
    EIniFileError(int ErrorCode, const std::string& What)
        : std::system_error(ErrorCode, std::generic_category(), What) {}
};

inline constexpr std::size_t IniMaxValueLength = 2047;

class TIniFile {
public:
    explicit TIniFile(std::string FileName) : fileName_(std::move(FileName)) {}

    const std::string& GetFileName() const { return fileName_; }

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) const;
    std::int32_t ReadInteger(const std::string& Section, const std::string& Ident,
                             std::int32_t Default) const;
    void WriteString(const std::string& Section, const std::string& Ident,
                     const std::string& Value);
    void WriteInteger(const std::string& Section, const std::string& Ident, std::int32_t Value);

    bool SectionExists(const std::string& Section) const;
    bool ValueExists(const std::string& Section, const std::string& Ident) const;
    // Key names of a section, in file order.
    std::vector<std::string> ReadSection(const std::string& Section) const;
    std::vector<std::string> ReadSections() const;
    void DeleteKey(const std::string& Section, const std::string& Ident);
    void EraseSection(const std::string& Section);

    // Changes not committed are dropped by CancelBatch, a new BeginBatch or the destructor.
    void BeginBatch() { batch_.Begin(); }
    void CommitBatch();
    void CancelBatch() { batch_.Cancel(); }

private:
    std::string LoadFile() const;
    // The file as this object sees it: the batch's copy while one is open.
    TIniText Text() const;
    // Locked read-modify-write of the file; Change returns whether to save.
    void Save(const std::function<bool(TIniText&)>& Change);
    bool Modify(TChangeBatch<TIniText>::TChange Change);

    std::string fileName_;
    mutable TChangeBatch<TIniText> batch_;
};
