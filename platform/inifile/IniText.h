// An ini file's text as lines, so that an edit touches one line and keeps the rest (comments,
// order, line ends) byte for byte. Names compare without regard to ASCII case; the first
// matching section counts. Used by TIniFile; the rules are described in IniFile.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::string_view IniTrim(std::string_view S);

enum TIniLineKind : std::uint8_t { lkOther, lkSection, lkKey };

struct TIniLine {
    std::string Text;
    TIniLineKind Kind = lkOther;
    std::string Name;
    std::string Value;
    std::string Eol;
};

class TIniText {
public:
    explicit TIniText(const std::string& Text);

    // Each line keeps its own line end; lines we add take the first line's.
    std::string Join() const;

    // Index of the section's header, or npos.
    std::size_t FindSection(std::string_view Section) const;
    // Index of the line after the section's last line.
    std::size_t SectionEnd(std::size_t Header) const;
    std::size_t FindKey(std::size_t Header, std::string_view Ident) const;
    const TIniLine* Find(std::string_view Section, std::string_view Ident) const;
    // Key names of the section in file order; empty when it does not exist.
    std::vector<std::string> KeyNames(std::string_view Section) const;

    // Replaces the value in place, or adds the key after the section's last key (and the
    // section at the end of the file).
    void Set(const std::string& Section, const std::string& Ident, const std::string& Value);
    bool Delete(std::string_view Section, std::string_view Ident);
    bool Erase(std::string_view Section);

    const std::vector<TIniLine>& Lines() const { return lines_; }

private:
    TIniLine NewLine(std::string Text) const;
    static TIniLine Classify(std::string Text);

    std::vector<TIniLine> lines_;
    std::string eol_ = "\n";
};
