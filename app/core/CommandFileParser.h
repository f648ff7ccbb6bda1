// One line of a command-definition file: which keyword decides it, and the fields of a
// "#define" or "#cmdcomment" line. Pure functions; TCommandDefinitions drives them line by line.
//
// Over-long fields are cut, never refused: names after 63 characters, parameter descriptions
// after 199, command descriptions after 244. A "#define" line without a name gives an empty name;
// one without a code, or whose code has no leading hex digit, gives code 00.
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
    std::string ParamDescription; // what follows "//", leading blanks kept
};

TDefineFields ParseDefine(std::string_view rest);
std::string ParseCmdComment(std::string_view rest);
