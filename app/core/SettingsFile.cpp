#include "app/core/SettingsFile.h"

#include "app/core/LineReader.h"
#include "platform/registry/AtomicFile.h"

#include <array>
#include <cerrno>
#include <iostream>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxSettingsLine = 1023;

} // namespace

std::string AppDirOf(std::string_view executablePath) {
    const std::size_t slash = executablePath.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return std::string(executablePath.substr(0, slash));
}

std::string ExecutableDir() {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) {
        throw std::system_error(errno, std::generic_category(), "readlink /proc/self/exe");
    }
    if (static_cast<std::size_t>(n) == buffer.size()) {
        throw std::system_error(ENAMETOOLONG, std::generic_category(), "readlink /proc/self/exe");
    }
    return AppDirOf(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
}

std::string SettingsFilePath(std::string_view appDir) {
    if (appDir.empty()) {
        return kSettingsFileName;
    }
    std::string path(appDir);
    if (path.back() != '/') {
        path += '/';
    }
    return path + kSettingsFileName;
}

std::optional<std::string> ReadSettingsFile(const std::string& path) {
    try {
        TLineReader reader(path, kMaxSettingsLine);
        std::string line;
        reader.Next(line);
        return line;
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

bool WriteSettingsFile(std::string_view appDir, std::string_view commandFile) {
    const std::string path = SettingsFilePath(appDir);
    std::string content(commandFile);
    content += "\r\n";
    const auto fail = [](const char* text) {
        std::cerr << text << std::endl;
        return false;
    };
    std::optional<TDirectoryLock> lock;
    try {
        lock.emplace(DirectoryOf(path));
    } catch (const std::system_error&) {
        return fail("Can't open write file: tessal.ini");
    }
    // Replaced whole (temporary file, flush, rename): a crash leaves the old line or the new one,
    // never an empty file that would make the next start load nothing.
    try {
        ReplaceFileAtomically(path, content, 0644);
    } catch (const ECannotCreateFile&) {
        return fail("Can't open write file: tessal.ini");
    } catch (const std::system_error&) {
        return fail("Can't write file: tessal.ini");
    }
    return true;
}
