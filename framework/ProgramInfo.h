// The programs' version (one for all of them and their package) and the two options every
// program answers before anything else starts, a window system included.
#pragma once

#include <functional>

const char* TessalVersion();

// Answers the first --help (or -h) or --version among the arguments on the standard output:
// the help by PrintHelp, the version as "Program VERSION". True when one was answered.
bool AnswerHelpOrVersion(int argc, const char* const* argv, const char* Program,
                         const std::function<void()>& PrintHelp);
