// Where the example files lie: installed (PREFIX/share/tessal beside PREFIX/bin), in the build
// tree (build/app or build/tools beside the source's resources/), or in the source tree the
// program was built from. The first help a new user gets points at the command file; the device
// simulator answers by the rules file when given none.
#pragma once

#include <string>
#include <string_view>

// The example file's path, or "" when none of the places holds it.
std::string ExampleCommandFile(std::string_view appDir);
std::string ExampleRulesFile(std::string_view appDir);
