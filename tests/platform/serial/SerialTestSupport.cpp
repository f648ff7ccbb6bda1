#include "SerialTestSupport.h"
#include "tests/common/BoundedWait.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

TPtyPair::TPtyPair() {
    char name[256] = {};
    if (::openpty(&Master, &Slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios t{};
    ::tcgetattr(Master, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(Master, TCSANOW, &t);
    ::fcntl(Master, F_SETFL, ::fcntl(Master, F_GETFL) | O_NONBLOCK);
    ::fcntl(Master, F_SETFD, FD_CLOEXEC);
    ::fcntl(Slave, F_SETFD, FD_CLOEXEC);
    SlavePath = name;
}

TPtyPair::~TPtyPair() {
    CloseMaster();
    if (Slave >= 0)
        ::close(Slave);
}

void TPtyPair::CloseMaster() {
    if (Master >= 0)
        ::close(Master);
    Master = -1;
}

void TPtyPair::Send(const void* Data, std::size_t Count) {
    auto p = static_cast<const std::uint8_t*>(Data);
    while (Count > 0) {
        const ssize_t n = ::write(Master, p, Count);
        if (n < 0 && errno == EAGAIN) {
            pollfd fd{Master, POLLOUT, 0};
            ASSERT_GT(::poll(&fd, 1, 5000), 0) << "master not writable";
            continue;
        }
        ASSERT_GT(n, 0);
        p += n;
        Count -= static_cast<std::size_t>(n);
    }
}

std::string TPtyPair::Receive(std::size_t Count, int TimeoutMs) {
    return ReadWithin(Master, Count, TimeoutMs);
}

int OpenDescriptorCount() {
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

double ThreadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

COMMTIMEOUTS Timeouts(std::uint32_t Interval, std::uint32_t Multiplier, std::uint32_t Constant,
                      std::uint32_t WriteMultiplier, std::uint32_t WriteConstant) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = Interval;
    t.ReadTotalTimeoutMultiplier = Multiplier;
    t.ReadTotalTimeoutConstant = Constant;
    t.WriteTotalTimeoutMultiplier = WriteMultiplier;
    t.WriteTotalTimeoutConstant = WriteConstant;
    return t;
}

DCB PlainDcb(std::uint32_t Baud) {
    DCB d;
    d.BaudRate = Baud;
    d.Flags = DCB_fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
    d.ByteSize = 8;
    d.XonChar = 17;
    d.XoffChar = 19;
    return d;
}

double MedianMs(std::vector<double> Samples) {
    std::sort(Samples.begin(), Samples.end());
    return Samples.empty() ? 0 : Samples[Samples.size() / 2];
}
