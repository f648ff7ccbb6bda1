#include "platform/inifile/IniFile.h"

#include <cerrno>
#include <climits>

#include "platform/registry/AtomicFile.h"

namespace {

char Upper(char C) {
    return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}

bool SameName(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (Upper(A[i]) != Upper(B[i]))
            return false;
    return true;
}

std::string_view Trim(std::string_view S) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!S.empty() && blank(S.front()))
        S.remove_prefix(1);
    while (!S.empty() && blank(S.back()))
        S.remove_suffix(1);
    return S;
}

enum TLineKind : std::uint8_t { lkOther, lkSection, lkKey };

struct TLine {
    std::string Text;
    TLineKind Kind = lkOther;
    std::string Name;
    std::string Value;
    std::string Eol;
};

// The file as lines, so that an edit touches one line and keeps the rest byte for byte.
class TIniText {
public:
    explicit TIniText(const std::string& Text) {
        std::size_t start = 0;
        while (start < Text.size()) {
            std::size_t end = Text.find('\n', start);
            std::string eol = end == std::string::npos ? "" : "\n";
            if (end == std::string::npos)
                end = Text.size();
            std::string line = Text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
                eol.insert(0, "\r");
            }
            if (lines_.empty() && eol.ends_with('\n'))
                eol_ = eol;
            lines_.push_back(Classify(std::move(line)));
            lines_.back().Eol = std::move(eol);
            start = end + 1;
        }
    }

    // Each line keeps its own line end; lines we add take the first line's.
    std::string Join() const {
        std::string out;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const TLine& l = lines_[i];
            const bool last = i + 1 == lines_.size();
            // A last line without a line feed gets one when lines follow it; a CR that ended it
            // stays, or a value ending in CR would lose that CR to the new CR LF.
            const std::string feed = l.Eol.empty() ? eol_ : l.Eol + "\n";
            out += l.Text + (!last && !l.Eol.ends_with('\n') ? feed : l.Eol);
        }
        return out;
    }

    // Index of the section's header, or npos.
    std::size_t FindSection(std::string_view Section) const {
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].Kind == lkSection && SameName(lines_[i].Name, Section))
                return i;
        return std::string::npos;
    }
    std::size_t SectionEnd(std::size_t Header) const {
        std::size_t i = Header + 1;
        while (i < lines_.size() && lines_[i].Kind != lkSection)
            ++i;
        return i;
    }
    std::size_t FindKey(std::size_t Header, std::string_view Ident) const {
        const std::size_t end = SectionEnd(Header);
        for (std::size_t i = Header + 1; i < end; ++i)
            if (lines_[i].Kind == lkKey && SameName(lines_[i].Name, Ident))
                return i;
        return std::string::npos;
    }
    const TLine* Find(std::string_view Section, std::string_view Ident) const {
        const std::size_t h = FindSection(Section);
        if (h == std::string::npos)
            return nullptr;
        const std::size_t k = FindKey(h, Ident);
        return k == std::string::npos ? nullptr : &lines_[k];
    }

    void Set(const std::string& Section, const std::string& Ident, const std::string& Value) {
        std::size_t h = FindSection(Section);
        if (h == std::string::npos) {
            lines_.push_back(NewLine("[" + Section + "]"));
            h = lines_.size() - 1;
        }
        const std::size_t k = FindKey(h, Ident);
        if (k != std::string::npos) {
            // Keep the line's own spelling of the key and anything before the '='.
            const std::string& old = lines_[k].Text;
            std::string eol = std::move(lines_[k].Eol);
            lines_[k] = Classify(old.substr(0, old.find('=')) + "=" + Value);
            lines_[k].Eol = std::move(eol);
            return;
        }
        std::size_t at = h + 1;
        for (std::size_t i = h + 1; i < SectionEnd(h); ++i)
            if (lines_[i].Kind == lkKey)
                at = i + 1;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                      NewLine(Ident + "=" + Value));
    }

    bool Delete(std::string_view Section, std::string_view Ident) {
        const std::size_t h = FindSection(Section);
        const std::size_t k = h == std::string::npos ? h : FindKey(h, Ident);
        if (k == std::string::npos)
            return false;
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
        return true;
    }

    bool Erase(std::string_view Section) {
        const std::size_t h = FindSection(Section);
        if (h == std::string::npos)
            return false;
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(h),
                     lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
        return true;
    }

    const std::vector<TLine>& Lines() const { return lines_; }

private:
    TLine NewLine(std::string Text) const {
        TLine l = Classify(std::move(Text));
        l.Eol = eol_;
        return l;
    }

    static TLine Classify(std::string Text) {
        TLine l;
        l.Text = std::move(Text);
        const std::string_view t = Trim(l.Text);
        if (t.empty() || t.front() == ';')
            return l;
        if (t.front() == '[') {
            const auto close = t.find(']');
            l.Kind = lkSection;
            l.Name = Trim(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1));
            return l;
        }
        const auto eq = t.find('=');
        if (eq == std::string_view::npos)
            return l;
        l.Kind = lkKey;
        l.Name = Trim(t.substr(0, eq));
        std::string_view v = Trim(t.substr(eq + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        l.Value = v;
        return l;
    }

    std::vector<TLine> lines_;
    std::string eol_ = "\n";
};

[[noreturn]] void Refuse(const std::string& What, const std::string& File) {
    throw EIniFileError(EINVAL, What + " cannot be written to '" + File + "'");
}

void CheckWritable(const std::string& Section, const std::string& Ident, const std::string* Value,
                   const std::string& File) {
    const auto breaksLine = [](const std::string& s) {
        return s.find_first_of("\r\n") != std::string::npos;
    };
    if (Trim(Section) != Section || Section.empty() || breaksLine(Section) ||
        Section.find(']') != std::string::npos)
        Refuse("Section name '" + Section + "'", File);
    if (Trim(Ident) != Ident || Ident.empty() || breaksLine(Ident) ||
        Ident.find('=') != std::string::npos || Ident.front() == '[' || Ident.front() == ';')
        Refuse("Key name '" + Ident + "'", File);
    if (Value != nullptr && breaksLine(*Value))
        Refuse("A value with a line break", File);
}

} // namespace

bool ParseIniInteger(const std::string& Text, std::int32_t& Value) {
    std::string_view s = Text;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (hex)
        s.remove_prefix(2);
    if (s.empty())
        return false;
    const unsigned base = hex ? 16 : 10;
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    std::uint64_t v = 0;
    for (char c : s) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (hex && Upper(c) >= 'A' && Upper(c) <= 'F')
            d = static_cast<unsigned>(Upper(c) - 'A' + 10);
        else
            return false;
        v = v * base + d;
        if (v > limit)
            return false;
    }
    auto u = static_cast<std::uint32_t>(v);
    if (negative)
        u = 0u - u;
    Value = static_cast<std::int32_t>(u);
    return true;
}

std::string TIniFile::Load() const {
    std::string text;
    try {
        ReadWholeFile(fileName_, text);
    } catch (const std::system_error& e) {
        throw EIniFileError(e.code().value(), e.what());
    }
    return text;
}

template <typename F>
void TIniFile::Modify(F&& Change) {
    try {
        TDirectoryLock lock(DirectoryOf(fileName_));
        TIniText ini(Load());
        if (Change(ini))
            ReplaceFileAtomically(fileName_, ini.Join());
    } catch (const EIniFileError&) {
        throw;
    } catch (const std::system_error& e) {
        throw EIniFileError(e.code().value(), e.what());
    }
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
    const TIniText ini(Load());
    const TLine* line = ini.Find(Section, Ident);
    if (line == nullptr)
        return Default;
    return line->Value.substr(0, IniMaxValueLength);
}

std::int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident,
                                   std::int32_t Default) const {
    const TIniText ini(Load());
    const TLine* line = ini.Find(Section, Ident);
    std::int32_t v = 0;
    if (line == nullptr || !ParseIniInteger(line->Value.substr(0, IniMaxValueLength), v))
        return Default;
    return v;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
    CheckWritable(Section, Ident, &Value, fileName_);
    Modify([&](TIniText& ini) {
        ini.Set(Section, Ident, Value);
        return true;
    });
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident,
                            std::int32_t Value) {
    WriteString(Section, Ident, std::to_string(Value));
}

bool TIniFile::SectionExists(const std::string& Section) const {
    return TIniText(Load()).FindSection(Section) != std::string::npos;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
    return TIniText(Load()).Find(Section, Ident) != nullptr;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& Section) const {
    const TIniText ini(Load());
    std::vector<std::string> names;
    const std::size_t h = ini.FindSection(Section);
    if (h == std::string::npos)
        return names;
    for (std::size_t i = h + 1; i < ini.SectionEnd(h); ++i)
        if (ini.Lines()[i].Kind == lkKey)
            names.push_back(ini.Lines()[i].Name);
    return names;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    const TIniText ini(Load());
    for (const auto& l : ini.Lines())
        if (l.Kind == lkSection)
            names.push_back(l.Name);
    return names;
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    Modify([&](TIniText& ini) { return ini.Delete(Section, Ident); });
}

void TIniFile::EraseSection(const std::string& Section) {
    Modify([&](TIniText& ini) { return ini.Erase(Section); });
}
