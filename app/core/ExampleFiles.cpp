#include "app/core/ExampleFiles.h"

#include <filesystem>
#include <system_error>

namespace {

std::string ExampleFile(std::string_view appDir, const char* name) {
    const std::filesystem::path dir(appDir);
    const std::filesystem::path candidates[] = {
        dir / "../share/tessal" / name,
        dir / "../../resources" / name,
#ifdef TESSAL_SOURCE_DIR
        std::filesystem::path(TESSAL_SOURCE_DIR) / "resources" / name,
#endif
    };
    for (const std::filesystem::path& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) {
            return std::filesystem::weakly_canonical(candidate, error).string();
        }
    }
    return "";
}

} // namespace

std::string ExampleCommandFile(std::string_view appDir) {
    return ExampleFile(appDir, "example.tsl");
}

std::string ExampleRulesFile(std::string_view appDir) {
    return ExampleFile(appDir, "example.rules");
}
