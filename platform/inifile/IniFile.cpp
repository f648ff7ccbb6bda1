#include "platform/inifile/IniFile.h"

#include <cerrno>

#include "platform/registry/AtomicFile.h"
#include "platform/text/AsciiText.h"

namespace {

[[noreturn]] void Refuse(const std::string& What, const std::string& File) {
    throw EIniFileError(EINVAL, What + " cannot be written to '" + File + "'");
}

void CheckWritable(const std::string& Section, const std::string& Ident, const std::string* Value,
                   const std::string& File) {
    const auto breaksLine = [](const std::string& s) {
        return s.find_first_of("\r\n") != std::string::npos;
    };
    if (IniTrim(Section) != Section || Section.empty() || breaksLine(Section) ||
        Section.find(']') != std::string::npos)
        Refuse("Section name '" + Section + "'", File);
    if (IniTrim(Ident) != Ident || Ident.empty() || breaksLine(Ident) ||
        Ident.find('=') != std::string::npos || Ident.front() == '[' || Ident.front() == ';')
        Refuse("Key name '" + Ident + "'", File);
    if (Value != nullptr && breaksLine(*Value))
        Refuse("A value with a line break", File);
}

} // namespace

std::string TIniFile::LoadFile() const {
    std::string text;
    try {
        ReadWholeFile(fileName_, text);
    } catch (const std::system_error& e) {
        throw EIniFileError(e.code().value(), e.what());
    }
    return text;
}

TIniText TIniFile::Text() const {
    if (batch_.Active())
        return batch_.View([this] { return TIniText(LoadFile()); });
    return TIniText(LoadFile());
}

void TIniFile::Save(const std::function<bool(TIniText&)>& Change) {
    try {
        TDirectoryLock lock(DirectoryOf(fileName_));
        TIniText ini(LoadFile());
        if (Change(ini))
            ReplaceFileAtomically(fileName_, ini.Join());
    } catch (const EIniFileError&) {
        throw;
    } catch (const std::system_error& e) {
        throw EIniFileError(e.code().value(), e.what());
    }
}

bool TIniFile::Modify(TChangeBatch<TIniText>::TChange Change) {
    return batch_.Modify([this] { return TIniText(LoadFile()); }, [this](auto Edit) { Save(Edit); },
                         std::move(Change));
}

void TIniFile::CommitBatch() {
    batch_.Commit([this](auto Edit) { Save(Edit); });
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
    const TIniText ini = Text();
    const TIniLine* line = ini.Find(Section, Ident);
    if (line == nullptr)
        return Default;
    return line->Value.substr(0, IniMaxValueLength);
}

std::int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident,
                                   std::int32_t Default) const {
    const TIniText ini = Text();
    const TIniLine* line = ini.Find(Section, Ident);
    std::int32_t v = 0;
    if (line == nullptr || !ParseInt32(line->Value.substr(0, IniMaxValueLength), false, v))
        return Default;
    return v;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
    CheckWritable(Section, Ident, &Value, fileName_);
    Modify([Section, Ident, Value](TIniText& ini) {
        ini.Set(Section, Ident, Value);
        return true;
    });
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident,
                            std::int32_t Value) {
    WriteString(Section, Ident, std::to_string(Value));
}

bool TIniFile::SectionExists(const std::string& Section) const {
    return Text().FindSection(Section) != std::string::npos;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
    return Text().Find(Section, Ident) != nullptr;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& Section) const {
    return Text().KeyNames(Section);
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    const TIniText ini = Text();
    for (const auto& l : ini.Lines())
        if (l.Kind == lkSection)
            names.push_back(l.Name);
    return names;
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    Modify([Section, Ident](TIniText& ini) { return ini.Delete(Section, Ident); });
}

void TIniFile::EraseSection(const std::string& Section) {
    Modify([Section](TIniText& ini) { return ini.Erase(Section); });
}
