#include "platform/serial/TtyBackend.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/serial/LineState.h"
#include "platform/serial/ModemWatcher.h"
#include "platform/serial/ParityMarks.h"

namespace {

// ENOTTY/EINVAL from a modem or counter ioctl: the device has no such lines (a pty).
bool NotSupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

// What the device must have taken as asked: the frame, flow control and error marking, and the
// rate within the tolerance of a UART (a device may pick the nearest rate it can make).
bool SameLine(const termios2& Asked, const termios2& Got) {
    constexpr tcflag_t frame = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    constexpr tcflag_t input = INPCK | PARMRK | IXON;
    if ((Asked.c_cflag & frame) != (Got.c_cflag & frame) ||
        (Asked.c_iflag & input) != (Got.c_iflag & input))
        return false;
    const auto off = [](speed_t a, speed_t b) {
        return static_cast<std::uint64_t>(a > b ? a - b : b - a) * 100 >
               static_cast<std::uint64_t>(a) * 3;
    };
    // An input rate of 0 reads as "the output rate".
    return !off(Asked.c_ospeed, Got.c_ospeed) &&
           (Got.c_ispeed == 0 || !off(Asked.c_ispeed, Got.c_ispeed));
}

class TTtyBackend : public TSerialBackend {
public:
    explicit TTtyBackend(int fd) : fd_(fd) {
        serial_icounter_struct ic{};
        const int saved = errno;
        hasCounters_ = ::ioctl(fd_, TIOCGICOUNT, &ic) == 0;
        errno = saved;
        // Only devices that keep line counters (real UARTs and adapters) have lines to watch.
        if (hasCounters_)
            watcher_ = std::make_unique<TModemWatcher>(fd_);
    }

    ~TTtyBackend() override {
        watcher_.reset();
        // The exclusive flag outlives our descriptor when someone else holds the tty open.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }

    int PollFd() const override { return fd_; }
    int LineEventFd() const override { return watcher_ ? watcher_->EventFd() : -1; }
    void AcknowledgeLineEvent() override {
        if (watcher_)
            watcher_->Acknowledge();
    }
    short PollEvents(bool WantInput, bool WantOutput) const override {
        return static_cast<short>((WantInput ? POLLIN : 0) | (WantOutput ? POLLOUT : 0));
    }

    ssize_t Receive(std::uint8_t* Data, std::uint8_t* Flags, std::size_t Max,
                    bool& AnyFlags) override {
        AnyFlags = false;
        if (Max == 0)
            return 0;
        if (marks_.Held())
            return static_cast<ssize_t>(marks_.TakeHeld(Data, Flags, Max, AnyFlags));
        if (!marking_)
            return ReadSome(Data, Max);
        // Decoded in place, the input read in behind what a carried mark may still add.
        std::uint8_t spare = 0;
        const std::size_t lead = marks_.Lead();
        std::uint8_t* in = lead < Max ? Data + lead : &spare;
        const ssize_t n = ReadSome(in, lead < Max ? Max - lead : 1);
        if (n <= 0)
            return n;
        return static_cast<ssize_t>(
            marks_.Decode(in, static_cast<std::size_t>(n), Data, Flags, Max, AnyFlags));
    }

    bool Buffered() const override { return marks_.Held(); }

    ssize_t Send(const std::uint8_t* Data, std::size_t Count) override {
        const ssize_t n = ::write(fd_, Data, Count);
        if (n < 0)
            return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
        return n;
    }

    bool SetLine(const DCB& State) override {
        termios2 current{}, next{}, back{};
        if (::ioctl(fd_, TCGETS2, &current) != 0)
            return false;
        DcbToTermios(State, current, hasCounters_, next);
        const bool marking = next.c_iflag & PARMRK;
        if (marking != marking_)
            TakeQueuedInput();
        if (::ioctl(fd_, TCSETS2, &next) != 0)
            return false;
        if (::ioctl(fd_, TCGETS2, &back) != 0)
            return false;
        if (!SameLine(next, back)) {
            // The device took only part of it (a pty keeps 8 bits without parity): put the
            // previous state back rather than run on a line nobody asked for.
            ::ioctl(fd_, TCSETS2, &current);
            errno = EINVAL;
            return false;
        }
        if (marking != marking_) {
            if (marking_)
                marks_.Finish();
            marking_ = marking;
        }
        SetKernelToggle((State.Flags & DCB_fRtsControlMask) == RTS_CONTROL_TOGGLE);
        return true;
    }

    bool TogglesRts() const override { return kernelToggle_; }

    bool GetLine(DCB& State) override {
        termios2 current{};
        if (::ioctl(fd_, TCGETS2, &current) != 0)
            return false;
        State = TermiosToDcb(current);
        return true;
    }

    bool ModemLines(std::uint32_t& ModemStatus) override {
        int bits = 0;
        ModemStatus = 0;
        if (noModemLines_)
            return true;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0)
            return NoModemLines(errno);
        if (bits & TIOCM_CTS)
            ModemStatus |= MS_CTS_ON;
        if (bits & TIOCM_DSR)
            ModemStatus |= MS_DSR_ON;
        if (bits & TIOCM_RNG)
            ModemStatus |= MS_RING_ON;
        if (bits & TIOCM_CAR)
            ModemStatus |= MS_RLSD_ON;
        return true;
    }

    bool SetRts(bool On) override { return SetModemBit(TIOCM_RTS, On); }
    bool SetDtr(bool On) override { return SetModemBit(TIOCM_DTR, On); }

    bool SetBreak(bool On) override {
        if (::ioctl(fd_, On ? TIOCSBRK : TIOCCBRK) == 0)
            return true;
        return NotSupported(errno);
    }

    bool StopOutput(bool Stop) override { return ::ioctl(fd_, TCXONC, Stop ? TCOOFF : TCOON) == 0; }

    bool Flush(bool Input, bool Output) override {
        if (!Input && !Output)
            return true;
        const int which = Input && Output ? TCIOFLUSH : (Input ? TCIFLUSH : TCOFLUSH);
        if (::ioctl(fd_, TCFLSH, which) != 0)
            return false;
        if (Input)
            marks_.Reset();
        return true;
    }

    bool OutputQueued(std::uint32_t& Count) override {
        int n = 0;
        if (::ioctl(fd_, TIOCOUTQ, &n) != 0)
            return false;
        Count = n < 0 ? 0 : static_cast<std::uint32_t>(n);
        return true;
    }

    bool Counters(TLineCounters& C) override {
        if (!hasCounters_)
            return false;
        serial_icounter_struct ic{};
        if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0)
            return false;
        C.Cts = ic.cts;
        C.Dsr = ic.dsr;
        C.Rlsd = ic.dcd;
        C.Ring = ic.rng;
        C.Frame = ic.frame;
        C.Parity = ic.parity;
        C.Overrun = ic.overrun + ic.buf_overrun;
        C.Break = ic.brk;
        return true;
    }

private:
    // RS-485 mode keys RTS in the kernel, timed to the last bit on the wire. Where the device
    // does not offer it, the driver keys RTS itself around each write.
    void SetKernelToggle(bool on) {
        if (!hasCounters_ || on == kernelToggle_)
            return;
        const int saved = errno;
        serial_rs485 rs{};
        if (::ioctl(fd_, TIOCGRS485, &rs) == 0) {
            if (on)
                rs.flags = (rs.flags | SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND) &
                           ~SER_RS485_RTS_AFTER_SEND;
            else
                rs.flags &= ~SER_RS485_ENABLED;
            if (::ioctl(fd_, TIOCSRS485, &rs) == 0)
                kernelToggle_ = on;
        }
        errno = saved;
    }

    bool SetModemBit(int bit, bool on) {
        if (noModemLines_ || ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0)
            return true;
        return NoModemLines(errno);
    }

    // A device without modem lines (a pty) does not grow them: it is asked once, not on every
    // keying of RTS around a frame.
    bool NoModemLines(int error) {
        noModemLines_ = NotSupported(error);
        return noModemLines_;
    }

    ssize_t ReadSome(std::uint8_t* Data, std::size_t Max) {
        const ssize_t n = ::read(fd_, Data, Max);
        if (n < 0)
            return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
        if (n == 0) {
            // Readiness followed by end of file: the other side or the adapter is gone.
            errno = EIO;
            return -1;
        }
        return n;
    }

    // What the kernel holds was marked, or not, by the setting it arrived under: take it in
    // under that setting before the next one applies. Failures show at the next receive.
    void TakeQueuedInput() {
        const int saved = errno;
        std::uint8_t chunk[4096];
        for (int i = 0; i < 16; ++i) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0)
                break;
            bool anyFlags = false;
            if (marking_)
                marks_.Decode(chunk, static_cast<std::size_t>(n), nullptr, nullptr, 0, anyFlags);
            else
                marks_.HoldPlain(chunk, static_cast<std::size_t>(n));
        }
        errno = saved;
    }

    int fd_;
    bool hasCounters_ = false;
    bool noModemLines_ = false;
    bool kernelToggle_ = false;
    std::unique_ptr<TModemWatcher> watcher_;
    bool marking_ = false;
    TParityMarks marks_;
};

} // namespace

std::unique_ptr<TSerialBackend> OpenTtyBackend(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto fail = [fd](int error) {
        ::close(fd);
        errno = error;
        return nullptr;
    };
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return fail(errno == EINVAL ? ENOTTY : errno);
    // The kernel's exclusive flag does not stop root; the advisory lock does.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail(errno);
    try {
        return std::make_unique<TTtyBackend>(fd);
    } catch (const std::system_error& e) {
        // No descriptor or thread left for the modem watcher: a failed open, not an exception
        // out of the driver (the backend's destructor, which closes fd, has not run).
        return fail(e.code().value());
    }
}
