#include "app/core/CommandFileParser.h"

#include "app/core/CommandRecords.h"
#include "app/core/HexText.h"

namespace {

struct TKeyword {
    TDefinitionLine Kind;
    std::string_view Text;
};

constexpr TKeyword kKeywords[] = {
    {dlDefine, "#define"},
    {dlCmdComment, "#cmdcomment"},
    {dlOperationCode, "#operationcode"},
};

class TCursor {
public:
    explicit TCursor(std::string_view text) : Text(text) {}

    void SkipWhiteSpace() {
        while (Pos < Text.size() && IsWhiteSpace(Text[Pos])) {
            ++Pos;
        }
    }

    // The next run of non-white characters, at most maxLength of them.
    std::string_view Word(std::size_t maxLength = std::string_view::npos) {
        const std::size_t start = Pos;
        while (Pos < Text.size() && Pos - start < maxLength && !IsWhiteSpace(Text[Pos])) {
            ++Pos;
        }
        return Text.substr(start, Pos - start);
    }

    std::string_view Rest() const { return Text.substr(Pos); }

private:
    std::string_view Text;
    std::size_t Pos = 0;
};

std::string Cut(std::string_view text, std::size_t maxLength) {
    return std::string(text.substr(0, maxLength));
}

} // namespace

TClassifiedLine ClassifyLine(std::string_view line) {
    for (const TKeyword& keyword : kKeywords) {
        const std::size_t at = line.find(keyword.Text);
        if (at != std::string_view::npos) {
            std::string rest(line.substr(0, at));
            rest.append(line.substr(at + keyword.Text.size()));
            return {keyword.Kind, std::move(rest)};
        }
    }
    return {dlOther, std::string(line)};
}

TDefineFields ParseDefine(std::string_view rest) {
    TDefineFields fields;
    TCursor cursor(rest);
    cursor.SkipWhiteSpace();
    fields.Name = Cut(cursor.Word(), kMaxNameLength);
    cursor.SkipWhiteSpace();
    fields.CodeToken = Cut(cursor.Word(), kMaxNameLength);
    fields.Code = ReadHexByte(fields.CodeToken).Value;
    cursor.SkipWhiteSpace();
    const std::string_view tail = cursor.Rest();
    if (tail.starts_with("//")) {
        fields.ParamDescription = Cut(tail.substr(2), kMaxParamDescriptionLength);
    }
    return fields;
}

std::string DefineError(const TDefineFields& fields) {
    if (fields.Name.empty()) {
        return "#define without a name";
    }
    if (fields.CodeToken.empty()) {
        return "'" + fields.Name + "' has no code";
    }
    switch (ReadHexByte(fields.CodeToken).Verdict) {
    case hbNotHex:
        return "'" + fields.CodeToken + "' is not a hex code";
    case hbTooBig:
        return "'" + fields.CodeToken + "' does not fit in a byte";
    case hbByte:
        break;
    }
    return "";
}

std::string ParseCmdComment(std::string_view rest) {
    TCursor cursor(rest);
    cursor.SkipWhiteSpace();
    return Cut(cursor.Rest(), kMaxCommandDescriptionLength);
}
