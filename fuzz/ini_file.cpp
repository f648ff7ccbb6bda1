// The ini reader on arbitrary file contents: every section and key it lists can be read back,
// and a write of one key changes that key only. A key added to an existing section and deleted
// again leaves a file that ends with a line end as it was, byte for byte.
#include "fuzz/FuzzSupport.h"
#include "platform/inifile/IniFile.h"
#include "platform/text/AsciiText.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string_view>

namespace {

const TFuzzScratch& Scratch() {
    static const TFuzzScratch Dir;
    return Dir;
}

// Reading every key of a long file costs a read of the file each; a few dozen show the same.
constexpr std::size_t kMaxKeysChecked = 48;

std::string FileText(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

using TSnapshot = std::map<std::pair<std::string, std::string>, std::string>;

TSnapshot ReadAll(const TIniFile& Ini) {
    TSnapshot Values;
    std::size_t Checked = 0;
    for (const std::string& Section : Ini.ReadSections()) {
        FUZZ_CHECK(Ini.SectionExists(Section));
        for (const std::string& Key : Ini.ReadSection(Section)) {
            if (++Checked > kMaxKeysChecked)
                return Values;
            FUZZ_CHECK(Ini.ValueExists(Section, Key));
            // A key that is there reads the same whatever the default.
            const std::string Value = Ini.ReadString(Section, Key, "a");
            FUZZ_CHECK(Ini.ReadString(Section, Key, "b") == Value);
            FUZZ_CHECK(Value.size() <= IniMaxValueLength);
            std::int32_t Parsed = 0;
            const bool IsInteger = ParseInt32(Value, false, Parsed);
            FUZZ_CHECK(Ini.ReadInteger(Section, Key, -7) == (IsInteger ? Parsed : -7));
            Values.emplace(std::make_pair(Section, Key), Value);
        }
    }
    return Values;
}

bool SameName(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t I = 0; I < A.size(); ++I) {
        const auto Up = [](char C) { return C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C; };
        if (Up(A[I]) != Up(B[I]))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    const std::string Path = Scratch().Write("fuzz.ini", Text);
    TIniFile Ini(Path);

    const TSnapshot Before = ReadAll(Ini);
    const std::vector<std::string> Sections = Ini.ReadSections();
    const std::string Section = Sections.empty() ? std::string("Added") : Sections.front();
    const std::string Key = "FuzzKey";
    const bool SectionExisted = !Sections.empty();
    const bool KeyExisted = Ini.ValueExists(Section, Key);

    try {
        Ini.WriteString(Section, Key, "fuzz value");
    } catch (const EIniFileError& Error) {
        // Only a section name the file cannot hold is refused.
        FUZZ_CHECK(Error.code().value() == EINVAL);
        return 0;
    }
    FUZZ_CHECK(Ini.ReadString(Section, Key, "") == "fuzz value");
    const TSnapshot After = ReadAll(Ini);
    for (const auto& [Name, Value] : Before) {
        if (SameName(Name.first, Section) && SameName(Name.second, Key))
            continue;
        const auto It = After.find(Name);
        // The added line may push later keys past the number checked.
        if (It != After.end())
            FUZZ_CHECK(It->second == Value);
    }

    Ini.DeleteKey(Section, Key);
    // A last line without a line end gets one when a line is added behind it; that stays.
    if (SectionExisted && !KeyExisted && (Text.empty() || Text.back() == '\n'))
        FUZZ_CHECK(FileText(Path) == Text);
    return 0;
}
