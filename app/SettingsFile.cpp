#include "app/SettingsFile.h"

#include "app/LineReader.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxSettingsLine = 1023;

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

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
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::cerr << "Can't open write file: tessal.ini" << std::endl;
        return false;
    }
    std::string content(commandFile);
    content += "\r\n";
    const bool written = WriteAll(fd, content);
    // close() reports deferred write errors (NFS, full disk), so it counts as part of the write.
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        std::cerr << "Can't write file: tessal.ini" << std::endl;
        return false;
    }
    return true;
}
