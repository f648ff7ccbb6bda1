#include "tools/devsim/PtyDevice.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

TPtyDevice::TPtyDevice() {
    const auto fail = [this](const char* What) {
        const int error = errno;
        if (slave_ >= 0) {
            ::close(slave_);
        }
        if (master_ >= 0) {
            ::close(master_);
        }
        throw std::system_error(error, std::generic_category(), What);
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        fail("creating a pty");
    }
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        fail("unlocking the pty");
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        fail("opening the pty");
    }
    termios raw{};
    if (::tcgetattr(slave_, &raw) != 0) {
        fail("reading the pty's line settings");
    }
    ::cfmakeraw(&raw);
    if (::tcsetattr(slave_, TCSANOW, &raw) != 0) {
        fail("making the pty raw");
    }
}

TPtyDevice::~TPtyDevice() {
    ::close(slave_);
    ::close(master_);
}
