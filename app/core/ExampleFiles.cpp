#include "app/core/ExampleFiles.h"

#include <filesystem>
#include <system_error>

std::string ExampleCommandFile(std::string_view appDir) {
    const std::filesystem::path dir(appDir);
    const std::filesystem::path candidates[] = {
        dir / "../share/tessal/example.tsl",
        dir / "../../resources/example.tsl",
#ifdef TESSAL_SOURCE_DIR
        std::filesystem::path(TESSAL_SOURCE_DIR) / "resources/example.tsl",
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
