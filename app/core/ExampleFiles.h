// Where the example command-definition file lies: installed (PREFIX/share/tessal beside
// PREFIX/bin), in the build tree (build/app beside the source's resources/), or in the source
// tree the program was built from. The first help a new user gets points at it.
#pragma once

#include <string>
#include <string_view>

// The example file's path, or "" when none of the places holds it.
std::string ExampleCommandFile(std::string_view appDir);
