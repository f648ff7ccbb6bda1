#include "platform/registry/Hive.h"

#include <algorithm>

#include "platform/text/AsciiText.h"

namespace {

constexpr std::string_view kHeader = "TESSAL-HIVE 1";
constexpr std::string_view kEnd = "END";

void AppendHex(std::string& Out, char Prefix, unsigned char B) {
    Out += Prefix;
    Out += HexDigitChar(B >> 4);
    Out += HexDigitChar(B);
}

// The byte written as two hexadecimal digits at S[At], or -1.
int HexByte(std::string_view S, std::size_t At) {
    const TDigitRun Run = ReadDigits(S.substr(std::min(At, S.size()), 2), 16, 0xFF);
    return Run.Length == 2 ? static_cast<int>(Run.Value) : -1;
}

bool IsControl(unsigned char B) {
    return B < 0x20 || B == 0x7F;
}

std::string Quote(std::string_view S) {
    std::string out = "\"";
    for (char c : S) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (IsControl(b)) {
            out += '\\';
            AppendHex(out, 'x', b);
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string EncodeKeyPath(std::string_view S) {
    std::string out;
    for (char c : S) {
        const auto b = static_cast<unsigned char>(c);
        if (c == ']' || c == '%' || IsControl(b))
            AppendHex(out, '%', b);
        else
            out += c;
    }
    return out;
}

class TLineParser {
public:
    TLineParser(std::string_view Line, const std::string& Source, std::size_t LineNo)
        : line_(Line), source_(Source), lineNo_(LineNo) {}

    [[noreturn]] void Damaged(const std::string& What) const {
        throw EHiveDamaged("Registry hive '" + source_ + "' is damaged (line " +
                           std::to_string(lineNo_) + ": " + What + ")");
    }

    bool AtEnd() const { return pos_ == line_.size(); }
    bool Take(std::string_view Text) {
        if (line_.substr(pos_, Text.size()) != Text)
            return false;
        pos_ += Text.size();
        return true;
    }

    std::string Quoted() {
        if (!Take("\""))
            Damaged("quote expected");
        std::string out;
        while (pos_ < line_.size()) {
            const char c = line_[pos_++];
            if (c == '"')
                return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= line_.size())
                break;
            const char e = line_[pos_++];
            if (e == '\\' || e == '"') {
                out += e;
            } else if (e == 'x' && HexByte(line_, pos_) >= 0) {
                out += static_cast<char>(HexByte(line_, pos_));
                pos_ += 2;
            } else {
                Damaged("bad escape");
            }
        }
        Damaged("unterminated text");
    }

    std::uint32_t Dword() {
        const TDigitRun Run = ReadDigits(line_.substr(pos_), 16, 0xFFFFFFFF);
        pos_ += Run.Length;
        if (Run.Length == 0 || Run.Overflow || !AtEnd())
            Damaged("bad dword");
        return static_cast<std::uint32_t>(Run.Value);
    }

    std::string KeyPath() {
        if (line_.size() < 2 || line_.back() != ']')
            Damaged("bad key line");
        std::string out;
        for (std::size_t i = 1; i + 1 < line_.size(); ++i) {
            const char c = line_[i];
            if (c == ']')
                Damaged("bad key line");
            if (c != '%') {
                out += c;
                continue;
            }
            if (i + 3 >= line_.size() || HexByte(line_, i + 1) < 0)
                Damaged("bad escape in key");
            out += static_cast<char>(HexByte(line_, i + 1));
            i += 2;
        }
        return out;
    }

private:
    std::string_view line_;
    const std::string& source_;
    std::size_t lineNo_;
    std::size_t pos_ = 0;
};

} // namespace

std::string NormaliseKeyPath(std::string_view Path) {
    std::string out;
    std::size_t start = 0;
    while (start <= Path.size()) {
        std::size_t end = Path.find('\\', start);
        if (end == std::string_view::npos)
            end = Path.size();
        if (end > start) {
            if (!out.empty())
                out += '\\';
            out += Path.substr(start, end - start);
        }
        start = end + 1;
    }
    return out;
}

THive THive::Parse(std::string_view Text, const std::string& Source) {
    THive hive;
    TRegKeyData* current = nullptr;
    // Per key: upper-cased value name -> position, so that a key of many values parses in
    // linear time; a name given twice keeps its first place and its last value.
    std::unordered_map<std::size_t, std::unordered_map<std::string, std::size_t>> named;
    bool ended = false;
    std::size_t lineNo = 0;
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = Text.find('\n', start);
        const bool lastLine = end == std::string_view::npos;
        if (lastLine)
            end = Text.size();
        std::string_view line = Text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        TLineParser p(line, Source, lineNo);
        if (lineNo == 1) {
            if (line != kHeader)
                p.Damaged("not a hive file");
            continue;
        }
        if (ended) {
            if (!line.empty())
                p.Damaged("text after END");
            continue;
        }
        if (line.empty() || line[0] == ';')
            continue;
        if (line == kEnd) {
            ended = true;
            continue;
        }
        if (line[0] == '[') {
            current = &hive.CreateKey(p.KeyPath());
            continue;
        }
        if (current == nullptr)
            p.Damaged("value outside a key");
        TRegValue value;
        value.Name = p.Quoted();
        if (!p.Take("="))
            p.Damaged("'=' expected");
        if (p.Take("dword:")) {
            value.Type = rdInteger;
            value.Dword = p.Dword();
        } else {
            value.Type = rdString;
            value.Text = p.Quoted();
            if (!p.AtEnd())
                p.Damaged("text after value");
        }
        auto& names = named[static_cast<std::size_t>(current - hive.keys_.data())];
        const auto [at, added] = names.emplace(AsciiUpperCase(value.Name), current->Values.size());
        if (added) {
            current->Values.push_back(std::move(value));
        } else {
            value.Name = current->Values[at->second].Name;
            current->Values[at->second] = std::move(value);
        }
    }
    if (lineNo == 0)
        throw EHiveDamaged("Registry hive '" + Source + "' is damaged (empty file)");
    if (!ended)
        throw EHiveDamaged("Registry hive '" + Source + "' is damaged (incomplete: no END line)");
    return hive;
}

std::string THive::Format() const {
    std::string out(kHeader);
    out += "\n";
    for (const auto& key : keys_) {
        out += "\n[" + EncodeKeyPath(key.Path) + "]\n";
        for (const auto& v : key.Values) {
            out += Quote(v.Name) + "=";
            if (v.Type == rdInteger) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", v.Dword);
                out += buf;
            } else {
                out += Quote(v.Text);
            }
            out += "\n";
        }
    }
    out += "\n";
    out += kEnd;
    out += "\n";
    return out;
}

TRegKeyData* THive::FindKey(std::string_view Path) {
    const auto it = index_.find(AsciiUpperCase(NormaliseKeyPath(Path)));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

const TRegKeyData* THive::FindKey(std::string_view Path) const {
    return const_cast<THive*>(this)->FindKey(Path);
}

TRegKeyData& THive::CreateKey(std::string_view Path) {
    const std::string norm = NormaliseKeyPath(Path);
    const std::string folded = AsciiUpperCase(norm);
    // The deepest key that exists already (the root always does)...
    std::size_t have = folded.size();
    while (!index_.contains(folded.substr(0, have))) {
        const std::size_t sep = folded.rfind('\\', have - 1);
        have = sep == std::string::npos ? 0 : sep;
    }
    // ...then the missing ones below it, parents first, so that the file lists a tree top-down.
    while (have < norm.size()) {
        std::size_t next = norm.find('\\', have == 0 ? 0 : have + 1);
        if (next == std::string::npos)
            next = norm.size();
        keys_.push_back(TRegKeyData{norm.substr(0, next), {}});
        index_.emplace(folded.substr(0, next), keys_.size() - 1);
        have = next;
    }
    return keys_[index_.at(folded)];
}

bool THive::DeleteKey(std::string_view Path) {
    const std::string norm = NormaliseKeyPath(Path);
    // The root key always exists.
    if (norm.empty() || FindKey(norm) == nullptr)
        return false;
    const std::string below = norm + "\\";
    std::erase_if(keys_, [&](const TRegKeyData& k) {
        return SameText(k.Path, norm) ||
               (k.Path.size() > below.size() &&
                SameText(std::string_view(k.Path).substr(0, below.size()), below));
    });
    Reindex();
    return true;
}

void THive::Reindex() {
    index_.clear();
    for (std::size_t i = 0; i < keys_.size(); ++i)
        index_.emplace(AsciiUpperCase(keys_[i].Path), i);
}

std::vector<std::string> THive::SubKeyNames(std::string_view Path) const {
    const std::string norm = NormaliseKeyPath(Path);
    const std::string prefix = norm.empty() ? std::string() : norm + "\\";
    std::vector<std::string> names;
    for (const auto& k : keys_) {
        if (k.Path.size() <= prefix.size() || k.Path.empty())
            continue;
        if (!SameText(std::string_view(k.Path).substr(0, prefix.size()), prefix))
            continue;
        const std::string rest = k.Path.substr(prefix.size());
        if (rest.find('\\') == std::string::npos)
            names.push_back(rest);
    }
    return names;
}

TRegValue* THive::FindValue(TRegKeyData& Key, std::string_view Name) {
    auto it = std::find_if(Key.Values.begin(), Key.Values.end(),
                           [&](const TRegValue& v) { return SameText(v.Name, Name); });
    return it == Key.Values.end() ? nullptr : &*it;
}

const TRegValue* THive::FindValue(const TRegKeyData& Key, std::string_view Name) {
    return FindValue(const_cast<TRegKeyData&>(Key), Name);
}

void THive::SetValue(TRegKeyData& Key, TRegValue Value) {
    if (TRegValue* existing = FindValue(Key, Value.Name)) {
        // The first spelling of a name stays, as a case-blind store would keep it.
        Value.Name = existing->Name;
        *existing = std::move(Value);
        return;
    }
    Key.Values.push_back(std::move(Value));
}
