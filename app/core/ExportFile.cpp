#include "app/core/ExportFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

TExportFile::TExportFile(std::string path) : Path(std::move(path)) {}

TExportFile::~TExportFile() {
    Abandon();
}

bool TExportFile::Failed(const char* what, std::string& error) {
    error = std::string("Cannot ") + what + " " + Path + ": " + std::strerror(errno);
    Abandon();
    return false;
}

bool TExportFile::Open(std::string& error) {
    Abandon();
    static std::atomic<unsigned> serial{0};
    TempPath = Path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    Fd = ::open(TempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0) {
        TempPath.clear();
        return Failed("create", error);
    }
    return true;
}

bool TExportFile::Write(std::string_view text, std::string& error) {
    while (!text.empty()) {
        const ssize_t n = ::write(Fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Failed("write", error);
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool TExportFile::Commit(std::string& error) {
    if (::fsync(Fd) != 0) {
        return Failed("write", error);
    }
    const int fd = Fd;
    Fd = -1;
    if (::close(fd) != 0) {
        return Failed("write", error);
    }
    if (std::rename(TempPath.c_str(), Path.c_str()) != 0) {
        return Failed("replace", error);
    }
    TempPath.clear();
    return true;
}

void TExportFile::Abandon() {
    if (Fd >= 0) {
        ::close(Fd);
        Fd = -1;
    }
    if (!TempPath.empty()) {
        ::unlink(TempPath.c_str());
        TempPath.clear();
    }
}
