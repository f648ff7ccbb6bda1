// ASCII case folding: texts are byte strings, and names, keys and sorting ignore only the case
// of the letters A-Z.
#pragma once

#include <string>
#include <string_view>

char AsciiUpper(char C);
std::string AsciiUpperCase(std::string_view S);
// <0, 0 or >0 like strcmp, comparing upper-cased bytes as unsigned.
int CompareText(std::string_view A, std::string_view B);
bool SameText(std::string_view A, std::string_view B);
