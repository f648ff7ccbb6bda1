#include "app/core/LineReader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

[[noreturn]] void ThrowErrno(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

} // namespace

TLineReader::TLineReader(const std::string& path, std::size_t maxLineLength)
    : MaxLineLength(maxLineLength), Buffer(kBufferSize) {
    if (path.find('\0') != std::string::npos) {
        ThrowErrno(EINVAL, "open");
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer. It has no effect
    // on the regular files read afterwards.
    Fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0) {
        ThrowErrno(errno, "open");
    }
    struct stat info {};
    int error = 0;
    if (::fstat(Fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    if (error != 0) {
        ::close(Fd);
        ThrowErrno(error, "open");
    }
}

TLineReader::~TLineReader() {
    // A read-only descriptor loses nothing on close; there is nobody to report a failure to.
    (void)::close(Fd);
}

bool TLineReader::Fill() {
    for (;;) {
        const ssize_t n = ::read(Fd, Buffer.data(), Buffer.size());
        if (n >= 0) {
            Pos = 0;
            Filled = static_cast<std::size_t>(n);
            return n > 0;
        }
        if (errno != EINTR) {
            ThrowErrno(errno, "read");
        }
    }
}

void TLineReader::Append(std::string& line, char ch) {
    if (ch == '\0') {
        SawNul = true;
    }
    if (!SawNul && line.size() < MaxLineLength) {
        line.push_back(ch);
    }
}

bool TLineReader::Next(std::string& line) {
    line.clear();
    SawNul = false;
    bool any = false;
    // A CR is held back until the next byte shows whether it ends the line.
    bool pendingCr = false;
    for (;;) {
        if (Pos == Filled && !Fill()) {
            if (pendingCr) {
                Append(line, '\r');
            }
            return any;
        }
        const char ch = Buffer[Pos++];
        any = true;
        if (ch == '\n') {
            return true;
        }
        if (pendingCr) {
            Append(line, '\r');
        }
        pendingCr = ch == '\r';
        if (!pendingCr) {
            Append(line, ch);
        }
    }
}
