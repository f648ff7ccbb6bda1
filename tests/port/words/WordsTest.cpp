// Port problems in words: by errno alone, and from real refusals of the open (a missing device,
// a device another process holds, a device this user may not open).
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <utility>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "port/CPort.h"
#include "tests/common/BoundedWait.h"

TEST(PortWordsTest, SentencesByErrnoAndContext) {
    const struct {
        const char* Name;
        std::int32_t Errno;
        TPortProblemContext Context;
        const char* Words;
    } Cases[] = {
        {"ttyUSB0", 0, ppLost, "/dev/ttyUSB0 disconnected: the device was removed"},
        {"\\\\.\\ttyUSB9", ENOENT, ppOpening, "/dev/ttyUSB9: no such device"},
        {"/dev/ttyS7", ENXIO, ppOpening, "/dev/ttyS7: no such device"},
        {"/dev/null", ENOTTY, ppOpening, "/dev/null is not a serial port"},
        {"/dev/ttyUSB0", EINVAL, ppSettings, "/dev/ttyUSB0 refuses these settings"},
        {"/dev/ttyUSB0", EMFILE, ppOpening,
         "/dev/ttyUSB0 could not be opened: too many open files"},
        {"/dev/ttyUSB0", ETIMEDOUT, ppTransfer,
         "Sending or receiving on /dev/ttyUSB0 failed: connection timed out"},
        {"/dev/tessal-none/ttyX", EBUSY, ppOpening,
         "/dev/tessal-none/ttyX is in use by another program"},
        {"/dev/tessal-none/ttyX", EACCES, ppOpening,
         "/dev/tessal-none/ttyX: permission denied; membership of the 'dialout' group is the "
         "usual cure"},
        {"rfc2217://rack7:4001", 0, ppLost,
         "rfc2217://rack7:4001 disconnected: rack7 port 4001 closed the connection"},
        {"rfc2217://rack7:4001", ETIMEDOUT, ppTransfer,
         "rfc2217://rack7:4001 disconnected: rack7 port 4001 stopped answering"},
        {"socket://10.0.0.9:23", ECONNRESET, ppTransfer,
         "socket://10.0.0.9:23 disconnected: the connection to 10.0.0.9 port 23 broke: "
         "connection reset by peer"},
        {"rfc2217://rack7:4001", ECONNREFUSED, ppOpening,
         "rfc2217://rack7:4001 could not be opened: nothing accepts connections at rack7 port "
         "4001"},
        {"rfc2217://rack7.invalid:4001", ENXIO, ppOpening,
         "rfc2217://rack7.invalid:4001 could not be opened: the host name rack7.invalid does not "
         "resolve"},
        {"rfc2217://rack7:4001", EPROTONOSUPPORT, ppOpening,
         "rfc2217://rack7:4001 could not be opened: rack7 port 4001 does not serve RFC 2217 "
         "(telnet com port control)"},
        {"rfc2217://rack7", EINVAL, ppOpening,
         "rfc2217://rack7 is not a network port name; write rfc2217://HOST:PORT or "
         "socket://HOST:PORT"},
        {"rfc2217://rack7:4001", EINVAL, ppSettings, "rfc2217://rack7:4001 refuses these settings"},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(PortProblemInWords(C.Name, C.Errno, C.Context), C.Words) << C.Name;

    EXPECT_EQ(PortFailureInWords("ttyUSB0", EComPort(CError_SetStateFailed, EINVAL)),
              "/dev/ttyUSB0 refuses these settings");
    EXPECT_EQ(PortFailureInWords("ttyUSB0", EComPort(CError_ClearComFailed, EIO)),
              "/dev/ttyUSB0 disconnected: the device was removed");
}

namespace {

// A pty whose slave the test hands out; the master keeps it alive.
struct TPty {
    int Master = ::posix_openpt(O_RDWR | O_NOCTTY);
    std::string Slave =
        Master >= 0 && ::grantpt(Master) == 0 && ::unlockpt(Master) == 0 ? ::ptsname(Master) : "";
    ~TPty() { ::close(Master); }
};

// A child process running Body(its output pipe), then holding on until the parent lets go.
struct TChild {
    int Out[2] = {-1, -1}, Hold[2] = {-1, -1};
    pid_t Pid = -1;
    explicit TChild(const std::function<void(int)>& Body) {
        if (::pipe(Out) != 0 || ::pipe(Hold) != 0 || (Pid = ::fork()) < 0)
            return;
        if (Pid > 0) {
            ::close(std::exchange(Out[1], -1));
            ::close(std::exchange(Hold[0], -1));
            return;
        }
        Body(Out[1]);
        char Byte;
        ::close(Hold[1]);
        while (::read(Hold[0], &Byte, 1) > 0) {
        }
        ::_exit(0);
    }
    ~TChild() {
        LetGo();
        for (int Fd : {Out[0], Out[1], Hold[0]})
            ::close(Fd);
        if (Pid > 0) {
            EXPECT_EQ(WaitChildWithin(Pid), 0);
        }
    }
    std::string Said() { return ReadWithin(Out[0], 4096, 10000); }
    void LetGo() {
        ::close(Hold[1]);
        Hold[1] = -1;
    }
};

void Say(int Fd, const std::string& Text) {
    if (::write(Fd, Text.data(), Text.size()) != static_cast<ssize_t>(Text.size()))
        ::_exit(2);
}

// The words of the port's own refusal to open Name.
std::string OpenRefusal(const std::string& Name) {
    TComPort Port;
    Port.SetPort(Name);
    try {
        Port.Open();
    } catch (const EComPort& E) {
        return PortFailureInWords(Name, E);
    }
    return "opened";
}

} // namespace

TEST(PortWordsTest, RefusedOpensAreToldAsTheUserSeesThem) {
    EXPECT_EQ(OpenRefusal("/dev/tessal-no-such-tty"), "/dev/tessal-no-such-tty: no such device");

    TPty Held;
    ASSERT_FALSE(Held.Slave.empty());
    TChild Holder([&](int Out) {
        ::prctl(PR_SET_NAME, "tessal-holder");
        const int Fd = ::open(Held.Slave.c_str(), O_RDWR | O_NOCTTY);
        Say(Out, Fd >= 0 && ::flock(Fd, LOCK_EX) == 0 ? "held" : "failed");
    });
    ASSERT_EQ(ReadWithin(Holder.Out[0], 4, 10000), "held");
    EXPECT_EQ(OpenRefusal(Held.Slave), Held.Slave + " is in use by another program " +
                                           "(tessal-holder, process " + std::to_string(Holder.Pid) +
                                           ")");
    Holder.LetGo();

    // Root opens anything: the open is tried by a child that gives up root (uid and gid 65534).
    const bool Root = ::geteuid() == 0;
    const group* Dialout = ::getgrnam("dialout");
    const struct {
        mode_t Mode;
        bool ToDialout;
        std::string Words;
    } Cases[] = {
        {0000, false,
         ": permission denied; only its owner (" + std::string(::getpwuid(::geteuid())->pw_name) +
             ") may open it"},
        {0660, true, ": permission denied; membership of the 'dialout' group is the usual cure"},
    };
    for (const auto& C : Cases) {
        if (C.ToDialout && (!Root || !Dialout))
            continue; // only root can hand the file to a group it is not in
        TPty Pty;
        ASSERT_FALSE(Pty.Slave.empty());
        if (C.ToDialout) {
            ASSERT_EQ(::chown(Pty.Slave.c_str(), 0, Dialout->gr_gid), 0);
        }
        ASSERT_EQ(::chmod(Pty.Slave.c_str(), C.Mode), 0);
        TChild Opener([&](int Out) {
            if (Root &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                Say(Out, "cannot drop root");
                return;
            }
            Say(Out, OpenRefusal(Pty.Slave));
        });
        Opener.LetGo();
        EXPECT_EQ(Opener.Said(), Pty.Slave + C.Words) << std::oct << C.Mode;
    }
}
