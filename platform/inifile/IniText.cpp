#include "platform/inifile/IniText.h"

#include "platform/text/AsciiText.h"

std::string_view IniTrim(std::string_view S) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!S.empty() && blank(S.front()))
        S.remove_prefix(1);
    while (!S.empty() && blank(S.back()))
        S.remove_suffix(1);
    return S;
}

TIniText::TIniText(const std::string& Text) {
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = Text.find('\n', start);
        const bool lf = end != std::string::npos;
        if (!lf)
            end = Text.size();
        std::string line = Text.substr(start, end - start);
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr)
            line.pop_back();
        const char* eol = cr ? (lf ? "\r\n" : "\r") : (lf ? "\n" : "");
        if (lines_.empty() && lf)
            eol_ = eol;
        lines_.push_back(Classify(std::move(line)));
        lines_.back().Eol = eol;
        start = end + 1;
    }
}

std::string TIniText::Join() const {
    std::string out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const TIniLine& l = lines_[i];
        const bool last = i + 1 == lines_.size();
        out += l.Text;
        // A last line without a line feed gets one when lines follow it; a CR that ended it
        // stays, or a value ending in CR would lose that CR to the new CR LF.
        if (last || l.Eol.ends_with('\n'))
            out += l.Eol;
        else
            out += l.Eol.empty() ? eol_ : l.Eol + "\n";
    }
    return out;
}

std::size_t TIniText::FindSection(std::string_view Section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].Kind == lkSection && SameText(lines_[i].Name, Section))
            return i;
    return std::string::npos;
}

std::size_t TIniText::SectionEnd(std::size_t Header) const {
    std::size_t i = Header + 1;
    while (i < lines_.size() && lines_[i].Kind != lkSection)
        ++i;
    return i;
}

std::size_t TIniText::FindKey(std::size_t Header, std::string_view Ident) const {
    const std::size_t end = SectionEnd(Header);
    for (std::size_t i = Header + 1; i < end; ++i)
        if (lines_[i].Kind == lkKey && SameText(lines_[i].Name, Ident))
            return i;
    return std::string::npos;
}

const TIniLine* TIniText::Find(std::string_view Section, std::string_view Ident) const {
    const std::size_t h = FindSection(Section);
    if (h == std::string::npos)
        return nullptr;
    const std::size_t k = FindKey(h, Ident);
    return k == std::string::npos ? nullptr : &lines_[k];
}

std::vector<std::string> TIniText::KeyNames(std::string_view Section) const {
    std::vector<std::string> names;
    const std::size_t h = FindSection(Section);
    if (h == std::string::npos)
        return names;
    const std::size_t end = SectionEnd(h);
    for (std::size_t i = h + 1; i < end; ++i)
        if (lines_[i].Kind == lkKey)
            names.push_back(lines_[i].Name);
    return names;
}

void TIniText::Set(const std::string& Section, const std::string& Ident, const std::string& Value) {
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
    const std::size_t end = SectionEnd(h);
    for (std::size_t i = h + 1; i < end; ++i)
        if (lines_[i].Kind == lkKey)
            at = i + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), NewLine(Ident + "=" + Value));
}

bool TIniText::Delete(std::string_view Section, std::string_view Ident) {
    const std::size_t h = FindSection(Section);
    const std::size_t k = h == std::string::npos ? h : FindKey(h, Ident);
    if (k == std::string::npos)
        return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

bool TIniText::Erase(std::string_view Section) {
    const std::size_t h = FindSection(Section);
    if (h == std::string::npos)
        return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(h),
                 lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
    return true;
}

TIniLine TIniText::NewLine(std::string Text) const {
    TIniLine l = Classify(std::move(Text));
    l.Eol = eol_;
    return l;
}

TIniLine TIniText::Classify(std::string Text) {
    TIniLine l;
    l.Text = std::move(Text);
    const std::string_view t = IniTrim(l.Text);
    if (t.empty() || t.front() == ';')
        return l;
    if (t.front() == '[') {
        const auto close = t.find(']');
        l.Kind = lkSection;
        l.Name = IniTrim(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1));
        return l;
    }
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return l;
    l.Kind = lkKey;
    l.Name = IniTrim(t.substr(0, eq));
    std::string_view v = IniTrim(t.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    l.Value = v;
    return l;
}
