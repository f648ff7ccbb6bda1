#include "platform/serial/NetworkBackend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/serial/ComPortControl.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace rfc2217;

// Keep-alive probes after 4 s of silence, every 2 s, 3 unanswered end it; output unacknowledged
// for 10 s ends it too. Together within NetworkDeadAfter.
constexpr int KeepIdleS = 4, KeepIntervalS = 2, KeepProbes = 3, UserTimeoutMs = 10000;
// Bytes taken in while a setting waits for its answer, before the socket is left to hold more.
constexpr std::size_t MaxHeld = 4u << 20;
constexpr std::size_t EscapeChunk = 16384;

int MsUntil(TClock::time_point Deadline) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
    return static_cast<int>(std::clamp<long long>(Left, 0, 60000));
}

bool Transient(int Error) {
    return Error == EAGAIN || Error == EWOULDBLOCK || Error == EINTR;
}

void SetOptions(int Fd) {
    const int One = 1;
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &One, sizeof One);
    ::setsockopt(Fd, SOL_SOCKET, SO_KEEPALIVE, &One, sizeof One);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_KEEPIDLE, &KeepIdleS, sizeof KeepIdleS);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_KEEPINTVL, &KeepIntervalS, sizeof KeepIntervalS);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_KEEPCNT, &KeepProbes, sizeof KeepProbes);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &UserTimeoutMs, sizeof UserTimeoutMs);
}

// A connected non-blocking socket, or -1 with errno; readiness of CancelFd ends the wait for
// the connection (ECANCELED).
int Connect(const TNetworkAddress& Address, int CancelFd = -1) {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* List = nullptr;
    const int Rc =
        ::getaddrinfo(Address.Host.c_str(), std::to_string(Address.Port).c_str(), &Hints, &List);
    if (Rc != 0) {
        errno = Rc == EAI_SYSTEM ? errno : Rc == EAI_MEMORY ? ENOMEM : ENXIO;
        return -1;
    }
    const auto Deadline = TClock::now() + NetworkConnectTimeout;
    int Error = ECONNREFUSED;
    int Fd = -1;
    for (addrinfo* A = List; A != nullptr && Fd < 0; A = A->ai_next) {
        const int S =
            ::socket(A->ai_family, A->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, A->ai_protocol);
        if (S < 0) {
            Error = errno;
            continue;
        }
        int Result = ::connect(S, A->ai_addr, A->ai_addrlen) == 0 ? 0 : errno;
        if (Result == EINPROGRESS) {
            pollfd P[2] = {{S, POLLOUT, 0}, {CancelFd, POLLIN, 0}};
            int N;
            while ((N = ::poll(P, CancelFd >= 0 ? 2 : 1, MsUntil(Deadline))) < 0 &&
                   errno == EINTR) {
            }
            socklen_t Len = sizeof Result;
            if (N == 0)
                Result = ETIMEDOUT;
            else if (N > 0 && P[1].revents != 0)
                Result = ECANCELED;
            else if (N < 0 || ::getsockopt(S, SOL_SOCKET, SO_ERROR, &Result, &Len) != 0)
                Result = errno;
        }
        if (Result == 0) {
            Fd = S;
        } else {
            Error = Result;
            ::close(S);
        }
    }
    ::freeaddrinfo(List);
    if (Fd < 0)
        errno = Error;
    else
        SetOptions(Fd);
    return Fd;
}

class TNetworkBackend : public TSerialBackend {
public:
    TNetworkBackend(int Fd, bool Telnet) : fd_(Fd), telnet_(Telnet) {
        dcb_.BaudRate = 9600;
        dcb_.Flags = DCB_fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
        dcb_.XonChar = 0x11;
        dcb_.XoffChar = 0x13;
    }
    ~TNetworkBackend() override { ::close(fd_); }

    // Com port control agreed, the line state read (errno as OpenNetworkBackend says).
    bool Begin() {
        std::string Out;
        control_.Start(Out);
        Queue(Out);
        const auto Deadline = TClock::now() + NetworkAnswerTimeout;
        if (!WaitFor([&] { return control_.Accepted() || control_.Refused(); }, Deadline)) {
            errno = errno == ETIMEDOUT ? EPROTONOSUPPORT : errno;
            return false;
        }
        if (control_.Refused()) {
            errno = EPROTONOSUPPORT;
            return false;
        }
        Out.clear();
        TComPortControl::Command(Out, SET_LINESTATE_MASK,
                                 LS_OVERRUN | LS_PARITY | LS_FRAMING | LS_BREAK);
        TComPortControl::Command(Out, SET_MODEMSTATE_MASK, 0xFF);
        // Value 0 asks for the setting in force.
        const auto Before = control_.Counts();
        TComPortControl::AskRate(Out, 0);
        for (std::uint8_t Code : {SET_DATASIZE, SET_PARITY, SET_STOPSIZE, SET_CONTROL})
            TComPortControl::Command(Out, Code, 0);
        Queue(Out);
        if (!WaitFor([&] { return control_.LineAnswered(Before); }, Deadline)) {
            errno = errno == ETIMEDOUT ? EPROTO : errno;
            return false;
        }
        dcb_ = control_.AnsweredLine(dcb_);
        return true;
    }

    int PollFd() const override { return fd_; }
    short PollEvents(bool WantInput, bool WantOutput) const override {
        const bool Out = !out_.empty() || (WantOutput && !Stopped());
        return static_cast<short>((WantInput ? POLLIN : 0) | (Out ? POLLOUT : 0));
    }
    void Writable() override { Flush(); }

    ssize_t Receive(std::uint8_t* Data, std::uint8_t*, std::size_t Max, bool& AnyFlags) override {
        AnyFlags = false;
        if (held_.size() > heldAt_) {
            const std::size_t N = std::min(Max, held_.size() - heldAt_);
            std::memcpy(Data, held_.data() + heldAt_, N);
            heldAt_ += N;
            if (heldAt_ == held_.size()) {
                held_.clear();
                heldAt_ = 0;
            }
            return static_cast<ssize_t>(N);
        }
        if (Failed())
            return -1;
        const ssize_t N = Take(Data, Max);
        return N > 0 ? static_cast<ssize_t>(Parse(Data, static_cast<std::size_t>(N), Data)) : N;
    }
    bool Buffered() const override { return held_.size() > heldAt_; }

    ssize_t Send(const std::uint8_t* Data, std::size_t Count) override {
        if (Failed() || !Flush())
            return -1;
        if (!out_.empty() || Stopped() || Count == 0)
            return 0;
        if (!telnet_ || std::memchr(Data, telnet::IAC, Count) == nullptr)
            return Put(Data, Count);
        // IAC goes out doubled: the escaped chunk is ours to finish, the caller's bytes are taken.
        const std::size_t N = std::min(Count, EscapeChunk);
        for (std::size_t I = 0; I < N; ++I) {
            out_ += static_cast<char>(Data[I]);
            if (Data[I] == telnet::IAC)
                out_ += static_cast<char>(telnet::IAC);
        }
        return Flush() ? static_cast<ssize_t>(N) : -1;
    }

    bool SetLine(const DCB& State) override {
        if (!telnet_) {
            dcb_ = State;
            return true;
        }
        if (!Ask(State))
            return false;
        if (!control_.LineMatches(State)) {
            // Put back what was in force, as a tty does with a state it would not take.
            Ask(dcb_);
            errno = EINVAL;
            return false;
        }
        dcb_ = State;
        return true;
    }
    bool GetLine(DCB& State) override {
        State = dcb_;
        return true;
    }
    bool RemoteFlowControl() const override { return telnet_; }

    bool ModemLines(std::uint32_t& ModemStatus) override {
        ModemStatus = telnet_ && LinesThere() ? control_.ModemStatus() : 0;
        return true;
    }
    bool SetRts(bool On) override {
        // Under hardware flow control the server keys RTS.
        if (TComPortControl::FlowCode(dcb_) == FLOW_HARDWARE)
            return true;
        return SetLineOut(rts_, On, On ? RTS_ON : RTS_OFF);
    }
    bool SetDtr(bool On) override { return SetLineOut(dtr_, On, On ? DTR_ON : DTR_OFF); }
    bool SetBreak(bool On) override {
        // Answered, but some servers answer a pty's break wrongly: not checked.
        return !telnet_ || Control(SET_CONTROL, On ? BREAK_ON : BREAK_OFF);
    }
    bool StopOutput(bool Stop) override {
        stopped_ = Stop;
        return true;
    }
    int OutputStopped() override { return Stopped() ? 1 : 0; }

    bool Flush(bool Input, bool Output) override {
        if (telnet_ && (Input || Output) && !Purge((Input ? 1 : 0) | (Output ? 2 : 0)))
            return false;
        if (!Input)
            return true;
        held_.clear();
        heldAt_ = 0;
        // What the socket holds now arrived before the purge; its commands still count.
        std::uint8_t Chunk[4096];
        for (int I = 0; I < 64; ++I) {
            const ssize_t N = Take(Chunk, sizeof Chunk);
            if (N < 0)
                return false;
            if (N == 0)
                break;
            Parse(Chunk, static_cast<std::size_t>(N), Chunk);
        }
        return true;
    }
    bool OutputQueued(std::uint32_t& Count) override {
        // Bytes not yet sent; sent ones wait for nothing of ours, and counting them would count
        // control requests the server leaves unacknowledged for a while.
        int N = 0;
        if (::ioctl(fd_, SIOCOUTQNSD, &N) != 0)
            return false;
        Count =
            static_cast<std::uint32_t>(std::max(N, 0)) + static_cast<std::uint32_t>(out_.size());
        return true;
    }
    bool Counters(TLineCounters& C) override {
        if (!telnet_)
            return false;
        C = control_.Counters();
        return true;
    }

private:
    bool Stopped() const { return stopped_ || control_.Suspended(); }

    bool Failed() const {
        if (error_ == 0)
            return false;
        errno = error_;
        return true;
    }
    bool Fail(int Error) {
        if (error_ == 0)
            error_ = Error;
        errno = error_;
        return false;
    }

    // > 0 bytes read, 0 none now, -1 with errno (EIO: the server closed the connection).
    ssize_t Take(std::uint8_t* Data, std::size_t Max) {
        const ssize_t N = ::recv(fd_, Data, Max, MSG_DONTWAIT);
        if (N > 0)
            return N;
        if (N < 0 && Transient(errno))
            return 0;
        Fail(N == 0 ? EIO : errno);
        return -1;
    }

    ssize_t Put(const std::uint8_t* Data, std::size_t Count) {
        const ssize_t N = ::send(fd_, Data, Count, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (N >= 0)
            return N;
        if (Transient(errno))
            return 0;
        Fail(errno);
        return -1;
    }

    // Data bytes of In to Out; what the server's commands ask for is sent on.
    std::size_t Parse(std::uint8_t* In, std::size_t N, std::uint8_t* Out) {
        if (!telnet_)
            return N;
        reply_.clear();
        const std::size_t Count = control_.Receive(In, N, Out, reply_);
        if (!reply_.empty())
            Queue(reply_);
        return Count;
    }

    void Queue(const std::string& Bytes) {
        out_ += Bytes;
        Flush();
    }

    // Writes what waits in out_; false only on a failed connection.
    bool Flush() {
        while (!out_.empty()) {
            const ssize_t N = Put(reinterpret_cast<const std::uint8_t*>(out_.data()), out_.size());
            if (N < 0)
                return false;
            if (N == 0)
                break;
            out_.erase(0, static_cast<std::size_t>(N));
        }
        return true;
    }

    bool Control(std::uint8_t Code, std::uint8_t Value) {
        std::string Out;
        TComPortControl::Command(Out, Code, Value);
        out_ += Out;
        return Flush();
    }

    // The server's buffers emptied: what arrives after this call is kept. Waits for the answer,
    // so that a purge the server carries out late cannot take later bytes; a server that leaves
    // it unanswered is not waited for again.
    bool Purge(int Which) {
        const auto Before = control_.Answer(TComPortControl::akPurge).Count;
        if (!Control(PURGE_DATA, static_cast<std::uint8_t>(Which)))
            return false;
        if (!purgeAnswered_)
            return true;
        if (WaitFor([&] { return control_.Answer(TComPortControl::akPurge).Count != Before; },
                    TClock::now() + NetworkAnswerTimeout))
            return true;
        if (errno != ETIMEDOUT)
            return false;
        purgeAnswered_ = false;
        return true;
    }

    bool SetLineOut(int& Last, bool On, std::uint8_t Value) {
        if (!telnet_ || !LinesThere() || Last == static_cast<int>(On))
            return true;
        Last = On;
        if (linesAskedAt_ == TClock::time_point{})
            linesAskedAt_ = TClock::now();
        return Control(SET_CONTROL, Value);
    }

    bool LinesThere() const {
        return linesAskedAt_ == TClock::time_point{} ||
               control_.Answer(TComPortControl::akDtr).Count > 0 ||
               control_.Answer(TComPortControl::akRts).Count > 0 ||
               TClock::now() - linesAskedAt_ < NetworkAnswerTimeout;
    }

    // Asks for the line and waits for every answer (errno EPROTO when one does not come).
    bool Ask(const DCB& State) {
        const auto Before = control_.Counts();
        std::string Out;
        TComPortControl::AskLine(Out, State);
        Queue(Out);
        if (WaitFor([&] { return control_.LineAnswered(Before); },
                    TClock::now() + NetworkAnswerTimeout))
            return true;
        if (errno == ETIMEDOUT)
            errno = EPROTO;
        return false;
    }

    // Serves the connection until Done holds: output written, input parsed, its data held for
    // Receive. False with errno ETIMEDOUT at the deadline, or the connection's error.
    template <typename Predicate>
    bool WaitFor(Predicate Done, TClock::time_point Deadline) {
        std::uint8_t Chunk[4096];
        for (;;) {
            if (Failed() || !Flush())
                return false;
            if (Done())
                return true;
            const bool Room = held_.size() < MaxHeld;
            pollfd P{fd_, static_cast<short>((Room ? POLLIN : 0) | (out_.empty() ? 0 : POLLOUT)),
                     0};
            const int N = ::poll(&P, 1, MsUntil(Deadline));
            if (N < 0 && errno != EINTR)
                return Fail(errno);
            if (N == 0 && TClock::now() >= Deadline) {
                errno = ETIMEDOUT;
                return false;
            }
            if (!(P.revents & (POLLIN | POLLHUP | POLLERR)) || !Room)
                continue;
            const ssize_t Got = Take(Chunk, sizeof Chunk);
            if (Got < 0)
                return false;
            const std::size_t Data = Parse(Chunk, static_cast<std::size_t>(Got), Chunk);
            held_.insert(held_.end(), Chunk, Chunk + Data);
        }
    }

    const int fd_;
    const bool telnet_;
    int error_ = 0; // the connection's failure, told by every later call
    TComPortControl control_;
    DCB dcb_;
    std::string out_;                // bytes for the server not yet taken by the socket
    std::string reply_;              // the server's questions answered, while parsing
    std::vector<std::uint8_t> held_; // data that came while a setting waited
    std::size_t heldAt_ = 0;
    bool stopped_ = false;
    bool purgeAnswered_ = true;
    int dtr_ = -1, rts_ = -1; // the state last sent, -1 none yet
    TClock::time_point linesAskedAt_{};
};

} // namespace

std::unique_ptr<TSerialBackend> OpenNetworkBackend(const TNetworkAddress& Address) {
    const int Fd = Connect(Address);
    if (Fd < 0)
        return nullptr;
    auto Backend = std::make_unique<TNetworkBackend>(Fd, Address.Kind == nkRfc2217);
    if (Address.Kind == nkRfc2217 && !Backend->Begin()) {
        const int Error = errno;
        Backend.reset();
        errno = Error;
        return nullptr;
    }
    return Backend;
}

bool NetworkServerThere(const TNetworkAddress& Address, int CancelFd) {
    const int Fd = Connect(Address, CancelFd);
    if (Fd < 0)
        return false;
    ::close(Fd);
    return true;
}
