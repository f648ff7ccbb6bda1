// One line of a command-definition file: which keyword decides it, and the fields of a
// "#define" or "#cmdcomment" line. Pure functions; TCommandDefinitions drives them line by line.
//
// Over-long fields are cut, never refused: names after 63 characters, parameter descriptions
// after 199, command descriptions after 244. The code is read strictly: DefineError says what is
// wrong with a line's name or code, and the loader refuses the file for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum TDefinitionLine : std::uint8_t { dlOther, dlDefine, dlCmdComment, dlOperationCode };

struct TClassifiedLine {
    TDefinitionLine Kind = dlOther;
    std::string Rest; // the line without the first occurrence of its keyword
};

// Keywords are found anywhere in the line, letter case distinguished; "#define" wins over
// "#cmdcomment", which wins over "#operationcode".
TClassifiedLine ClassifyLine(std::string_view line);

struct TDefineFields {
    std::string Name;
    std::uint8_t Code = 0;
    std::string CodeToken;        // as written
    std::string ParamDescription; // what follows "//", leading blanks kept
};

TDefineFields ParseDefine(std::string_view rest);
// Why a "#define" line's name or code is not usable, "" when it is.
std::string DefineError(const TDefineFields& fields);
std::string ParseCmdComment(std::string_view rest);
