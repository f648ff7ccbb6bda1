#include "framework/ProgramInfo.h"

#include <cstdio>
#include <cstring>

const char* TessalVersion() {
    return TESSAL_VERSION;
}

bool AnswerHelpOrVersion(int argc, const char* const* argv, const char* Program,
                         const std::function<void()>& PrintHelp) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", Program, TessalVersion());
            return true;
        }
    }
    return false;
}
