#include "platform/registry/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <vector>

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

std::atomic<TSaveCutHook> cutHook{nullptr};

void CutPoint() {
    if (const TSaveCutHook hook = cutHook.load(std::memory_order_relaxed))
        hook();
}

constexpr std::string_view kTempMark = ".tmp.";

std::string TempNameFor(const std::string& Path) {
    static std::atomic<unsigned> counter{0};
    std::string name = Path;
    name += kTempMark;
    name += std::to_string(getpid());
    name += '.';
    name += std::to_string(counter.fetch_add(1));
    return name;
}

bool AllDigits(std::string_view S) {
    return !S.empty() && S.find_first_not_of("0123456789") == std::string_view::npos;
}

// Whether Entry is one of TempNameFor's names for the file called Base: Base.tmp.<pid>.<n>.
bool IsTempOf(std::string_view Entry, std::string_view Base) {
    if (!Entry.starts_with(Base) || !Entry.substr(Base.size()).starts_with(kTempMark))
        return false;
    const std::string_view rest = Entry.substr(Base.size() + kTempMark.size());
    const auto dot = rest.find('.');
    return dot != std::string_view::npos && AllDigits(rest.substr(0, dot)) &&
           AllDigits(rest.substr(dot + 1));
}

// Temporaries of Path that saves which died left behind (the caller holds the lock).
void RemoveStaleTemporaries(const std::string& Path) {
    const std::string dir = DirectoryOf(Path);
    const std::string base = Path.substr(Path.find_last_of('/') + 1);
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        Fail("Cannot open directory", dir, errno);
    std::vector<std::string> stale;
    while (const dirent* e = readdir(d))
        if (IsTempOf(e->d_name, base))
            stale.emplace_back(e->d_name);
    closedir(d);
    for (const std::string& name : stale) {
        const std::string full = dir + "/" + name;
        if (unlink(full.c_str()) != 0 && errno != ENOENT)
            Fail("Cannot remove", full, errno);
        CutPoint();
    }
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

void ReplaceFileAtomically(const std::string& Path, const std::string& Data, unsigned NewFileMode) {
    CutPoint();
    RemoveStaleTemporaries(Path);
    const std::string temp = TempNameFor(Path);
    // Keep the mode of an existing file (a user may have restricted it).
    struct stat st {};
    const bool existed = stat(Path.c_str(), &st) == 0;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        existed ? (st.st_mode & 07777) : NewFileMode);
    if (fd < 0)
        throw ECannotCreateFile(errno, std::generic_category(), "Cannot create '" + temp + "'");
    try {
        CutPoint();
        // open() applied the umask; the old file's mode stays whole.
        if (existed && fchmod(fd, st.st_mode & 07777) != 0)
            Fail("Cannot set the mode of", temp, errno);
        WriteAll(fd, Data, temp);
        CutPoint();
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
    CutPoint();
    if (rename(temp.c_str(), Path.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        Fail("Cannot replace", Path, err);
    }
    CutPoint();
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
    CutPoint();
}

void SetSaveCutHook(TSaveCutHook Hook) {
    cutHook.store(Hook, std::memory_order_relaxed);
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
