// libserialport two ways: a blocking read that returns with whatever has arrived, and a wait
// on an event set followed by a non-blocking read.
//
// Two things stand between the library and a pty, and both are bridged here for the benchmark
// alone. It looks every port up in sysfs, where a pty has no entry: the name handed to it is a
// symlink to the pty, reached by the same relative path from /dev and from /sys/class/tty. And
// its open and every setting read or set the modem lines, which a pty lacks (ENOTTY): while it
// opens and configures the port, this executable's ioctl answers those requests as for a line
// with all inputs off, as our own driver treats such a device. Its reads and writes are not
// touched.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <stdexcept>
#include <string>

#include <libserialport.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "peers/Receiver.h"

namespace {

std::atomic<bool> GModemlessOk{false};

bool IsModemRequest(unsigned long Request) {
    return Request == TIOCMGET || Request == TIOCMSET || Request == TIOCMBIS || Request == TIOCMBIC;
}

struct TModemlessScope {
    TModemlessScope() { GModemlessOk = true; }
    ~TModemlessScope() { GModemlessOk = false; }
};

} // namespace

extern "C" int ioctl(int Fd, unsigned long Request, ...) noexcept {
    using TIoctl = int (*)(int, unsigned long, ...);
    static const TIoctl Real = reinterpret_cast<TIoctl>(dlsym(RTLD_NEXT, "ioctl"));
    va_list Args;
    va_start(Args, Request);
    void* Arg = va_arg(Args, void*);
    va_end(Args);
    const int R = Real(Fd, Request, Arg);
    if (R < 0 && errno == ENOTTY && GModemlessOk.load(std::memory_order_relaxed) &&
        IsModemRequest(Request)) {
        if (Request == TIOCMGET)
            *static_cast<int*>(Arg) = 0;
        return 0;
    }
    return R;
}

namespace Peers {
namespace {

using namespace PtyBench;

void Check(sp_return R, const char* What) {
    if (R >= 0)
        return;
    char* Message = sp_last_error_message();
    const std::string Text = std::string("libserialport ") + What + ": " + Message;
    sp_free_error_message(Message);
    throw std::runtime_error(Text);
}

// A symlink to the pty in a directory of its own, named so that the library finds it.
class TSysfsAlias {
public:
    explicit TSysfsAlias(const std::string& Target) {
        char Dir[] = "/tmp/bench_peers.XXXXXX";
        if (!mkdtemp(Dir))
            throw std::runtime_error("mkdtemp failed");
        FDir = Dir;
        FLink = FDir + "/port";
        if (symlink(Target.c_str(), FLink.c_str()) != 0)
            throw std::runtime_error("symlink failed");
    }
    ~TSysfsAlias() {
        unlink(FLink.c_str());
        rmdir(FDir.c_str());
    }
    // "/dev/" and "/sys/class/tty/" both lead to the root in four steps up.
    std::string Name() const { return "/dev/../../../.." + FLink; }

private:
    std::string FDir, FLink;
};

class TLspReceiver : public TPullReceiver {
public:
    explicit TLspReceiver(TPty& Pty) : FAlias(Pty.Path) {
        Check(sp_get_port_by_name(FAlias.Name().c_str(), &FPort), "port");
        const TModemlessScope Modemless;
        const sp_return Opened = sp_open(FPort, SP_MODE_READ_WRITE);
        if (Opened != SP_OK)
            sp_free_port(FPort);
        Check(Opened, "open");
        try {
            Configure();
        } catch (...) {
            sp_close(FPort);
            sp_free_port(FPort);
            throw;
        }
    }
    ~TLspReceiver() override {
        sp_close(FPort);
        sp_free_port(FPort);
    }
    void Send(const std::uint8_t* B, std::size_t N) override {
        if (sp_blocking_write(FPort, B, N, 1000) != sp_return(N))
            throw std::runtime_error("libserialport write short");
    }

protected:
    sp_port* FPort = nullptr;

private:
    void Configure() {
        Check(sp_set_baudrate(FPort, 115200), "baud rate");
        Check(sp_set_bits(FPort, 8), "data bits");
        Check(sp_set_parity(FPort, SP_PARITY_NONE), "parity");
        Check(sp_set_stopbits(FPort, 1), "stop bits");
        Check(sp_set_flowcontrol(FPort, SP_FLOWCONTROL_NONE), "flow control");
    }

    TSysfsAlias FAlias;
};

class TLspBlocking : public TLspReceiver {
public:
    using TLspReceiver::TLspReceiver;

protected:
    std::size_t ReadSome(std::uint8_t* Buf, std::size_t Size) override {
        const sp_return R = sp_blocking_read_next(FPort, Buf, Size, 0);
        Check(R, "read");
        return std::size_t(R);
    }
};

class TLspWaitSet : public TLspReceiver {
public:
    explicit TLspWaitSet(TPty& Pty) : TLspReceiver(Pty) {
        Check(sp_new_event_set(&FSet), "event set");
        Check(sp_add_port_events(FSet, FPort, SP_EVENT_RX_READY), "event set");
    }
    ~TLspWaitSet() override { sp_free_event_set(FSet); }

protected:
    std::size_t ReadSome(std::uint8_t* Buf, std::size_t Size) override {
        for (;;) {
            Check(sp_wait(FSet, 0), "wait");
            const sp_return R = sp_nonblocking_read(FPort, Buf, Size);
            Check(R, "read");
            if (R > 0)
                return std::size_t(R);
        }
    }

private:
    sp_event_set* FSet = nullptr;
};

} // namespace

std::vector<TCase> LibSerialPortCases() {
    return {
        {"libserialport blocking read", [](TPty& P) { return std::make_unique<TLspBlocking>(P); }},
        {"libserialport wait-set read", [](TPty& P) { return std::make_unique<TLspWaitSet>(P); }},
    };
}

} // namespace Peers
