#include "platform/registry/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace {

[[noreturn]] void Fail(const std::string& What, const std::string& Path, int Err) {
    throw std::system_error(Err, std::generic_category(), What + " '" + Path + "'");
}

void CloseChecked(int Fd, const std::string& Path) {
    if (close(Fd) != 0)
        Fail("Cannot close", Path, errno);
}

void WriteAll(int Fd, const std::string& Data, const std::string& Path) {
    std::size_t done = 0;
    while (done < Data.size()) {
        const ssize_t n = write(Fd, Data.data() + done, Data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("Cannot write", Path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string TempNameFor(const std::string& Path) {
    static std::atomic<unsigned> counter{0};
    return Path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
}

} // namespace

std::string DirectoryOf(const std::string& Path) {
    const auto slash = Path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return Path.substr(0, slash);
}

bool ReadWholeFile(const std::string& Path, std::string& Data) {
    Data.clear();
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        Fail("Cannot open", Path, errno);
    }
    char buf[8192];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            close(fd);
            Fail("Cannot read", Path, err);
        }
        if (n == 0)
            break;
        Data.append(buf, static_cast<std::size_t>(n));
    }
    CloseChecked(fd, Path);
    return true;
}

void ReplaceFileAtomically(const std::string& Path, const std::string& Data) {
    const std::string temp = TempNameFor(Path);
    // Keep the mode of an existing file (a user may have restricted it).
    mode_t mode = 0600;
    struct stat st {};
    if (stat(Path.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        Fail("Cannot create", temp, errno);
    try {
        WriteAll(fd, Data, temp);
        if (fsync(fd) != 0)
            Fail("Cannot flush", temp, errno);
    } catch (...) {
        close(fd);
        unlink(temp.c_str());
        throw;
    }
    if (close(fd) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        Fail("Cannot close", temp, err);
    }
    if (rename(temp.c_str(), Path.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        Fail("Cannot replace", Path, err);
    }
    // The rename itself is durable only once the directory is flushed.
    const std::string dir = DirectoryOf(Path);
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        Fail("Cannot open directory", dir, errno);
    if (fsync(dfd) != 0 && errno != EINVAL) {
        const int err = errno;
        close(dfd);
        Fail("Cannot flush directory", dir, err);
    }
    CloseChecked(dfd, dir);
}

void MakeDirectories(const std::string& Dir) {
    if (Dir.empty())
        return;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = Dir.find('/', pos + 1);
        const std::string part = Dir.substr(0, pos);
        if (part.empty())
            continue;
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            Fail("Cannot create directory", part, errno);
    }
    struct stat st {};
    if (stat(Dir.c_str(), &st) != 0)
        Fail("Cannot create directory", Dir, errno);
    if (!S_ISDIR(st.st_mode))
        Fail("Not a directory:", Dir, ENOTDIR);
}

TDirectoryLock::TDirectoryLock(const std::string& Dir) {
    fd_ = open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0)
        Fail("Cannot open directory", Dir, errno);
    while (flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        const int err = errno;
        close(fd_);
        Fail("Cannot lock directory", Dir, err);
    }
}

TDirectoryLock::~TDirectoryLock() {
    // Closing the descriptor releases the lock; there is nobody to report a failure to.
    (void)close(fd_);
}
