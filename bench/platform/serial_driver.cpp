// Our driver against a plain poll()/read() loop on the same pty pair: 64 MiB one way (MB/s and
// the receiver's CPU per byte), one-byte ping-pong latency from the far end's write to the
// completion of the reader (p50, p99 over 10,000 round trips), and the cost of an idle device
// with an event wait pending (CPU and voluntary context switches of every thread).
//
//   bench_serial_driver [--mib N] [--trips N] [--idle-seconds N] [--only throughput|latency|idle]
//                       [--receiver plain|driver] [--raw]
//   (--raw adds name=value lines for bench/ratios.sh; --only runs one part, e.g. under
//   valgrind --tool=callgrind, --receiver one receiver, for instruction counts (the ratios are then
//   meaningless); 0 MiB, trips or seconds skip a part)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "common/DriverBench.h"
#include "platform/serial/SerialDriver.h"

using namespace std::chrono;
using DriverBench::ReadOverlapped;
using DriverBench::WriteOverlapped;

namespace {

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "bench_serial_driver: %s failed (%d: %s)\n", what, LastPlatformError(),
                 std::strerror(errno));
    std::exit(1);
}

double ThreadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

std::uint8_t Pattern(std::size_t i) {
    return static_cast<std::uint8_t>(i * 31 + (i >> 12));
}

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            Die("openpty");
        path = name;
        for (int fd : {master, slave}) {
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty() {
        close(master);
        close(slave);
    }
};

void WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t k = write(fd, p, n);
        if (k < 0 && errno == EAGAIN) {
            pollfd pf{fd, POLLOUT, 0};
            poll(&pf, 1, -1);
            continue;
        }
        if (k <= 0)
            Die("write");
        p += k;
        n -= static_cast<std::size_t>(k);
    }
}

// The far end streams Total bytes of the pattern into the master.
std::thread Streamer(int master, std::size_t total) {
    return std::thread([=] {
        std::vector<std::uint8_t> chunk(65536);
        for (std::size_t off = 0; off < total; off += chunk.size()) {
            const std::size_t n = std::min(chunk.size(), total - off);
            for (std::size_t i = 0; i < n; ++i)
                chunk[i] = Pattern(off + i);
            WriteAll(master, chunk.data(), n);
        }
    });
}

struct Throughput {
    double wall = 0, cpu = 0;
    std::size_t bytes = 0, reads = 0;
    void Add(const Throughput& t) {
        wall += t.wall;
        cpu += t.cpu;
        bytes += t.bytes;
        reads += t.reads;
    }
    double Mbps() const { return double(bytes) / wall / 1e6; }
    double CpuNsPerByte() const { return cpu * 1e9 / double(bytes); }
    double BytesPerRead() const { return double(bytes) / double(reads); }
};

// Receives Total bytes of the pattern, ReadChunk(buffer, size) giving each chunk, and times the
// receiving thread.
template <typename ReadChunk>
Throughput Receive(Pty& pty, std::size_t total, const char* check, ReadChunk readChunk) {
    std::thread far = Streamer(pty.master, total);
    std::vector<std::uint8_t> buf(65536);
    const auto t0 = steady_clock::now();
    const double c0 = ThreadCpu();
    std::size_t got = 0, reads = 0;
    while (got < total) {
        ++reads;
        const std::size_t n = readChunk(buf.data(), buf.size());
        for (std::size_t i = 0; i < n; ++i)
            if (buf[i] != Pattern(got + i))
                Die(check);
        got += n;
    }
    const double cpu = ThreadCpu() - c0;
    const double wall = duration<double>(steady_clock::now() - t0).count();
    far.join();
    return {wall, cpu, total, reads};
}

Throughput PlainThroughput(Pty& pty, std::size_t total) {
    return Receive(pty, total, "plain byte check", [&](std::uint8_t* buf, std::size_t size) {
        pollfd pf{pty.slave, POLLIN, 0};
        if (poll(&pf, 1, -1) < 0)
            Die("poll");
        const ssize_t n = read(pty.slave, buf, size);
        if (n < 0 && errno == EAGAIN)
            return std::size_t{0};
        if (n <= 0)
            Die("read");
        return static_cast<std::size_t>(n);
    });
}

TSerialHandle OpenDriver(const Pty& pty) {
    return DriverBench::OpenDriver(pty.path);
}

Throughput DriverThroughput(Pty& pty, std::size_t total) {
    const TSerialHandle h = OpenDriver(pty);
    OVERLAPPED ov;
    ov.Event = CreateSyncEvent(true, true);
    const Throughput t =
        Receive(pty, total, "driver byte check", [&](std::uint8_t* buf, std::size_t size) {
            return std::size_t{ReadOverlapped(h, buf, static_cast<std::uint32_t>(size), ov)};
        });
    SerialClose(h);
    return t;
}

using Latency = std::vector<double>; // microseconds per round trip

double Percentile(Latency samples, double p) {
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, std::size_t(double(samples.size()) * p))];
}

// The far end writes one byte and waits for the echo; Echoer completes its read, stamps the
// time and sends the byte back.
Latency PingPong(Pty& pty, int trips, const std::function<void(std::uint8_t&)>& readOne,
                 const std::function<void(std::uint8_t)>& writeOne) {
    std::atomic<std::int64_t> sentAt{0};
    std::vector<double> samples(static_cast<std::size_t>(trips));
    std::thread echoer([&] {
        for (int i = 0; i < trips; ++i) {
            std::uint8_t c = 0;
            readOne(c);
            const auto now = steady_clock::now().time_since_epoch().count();
            samples[static_cast<std::size_t>(i)] = double(now - sentAt.load()) / 1000.0;
            writeOne(c);
        }
    });
    for (int i = 0; i < trips; ++i) {
        const std::uint8_t c = static_cast<std::uint8_t>(i);
        sentAt.store(steady_clock::now().time_since_epoch().count());
        WriteAll(pty.master, &c, 1);
        std::uint8_t back = 0;
        for (;;) {
            pollfd pf{pty.master, POLLIN, 0};
            poll(&pf, 1, -1);
            if (read(pty.master, &back, 1) == 1)
                break;
        }
        if (back != c)
            Die("echo check");
    }
    echoer.join();
    return samples;
}

Latency PlainLatency(Pty& pty, int trips) {
    return PingPong(
        pty, trips,
        [&](std::uint8_t& c) {
            for (;;) {
                pollfd pf{pty.slave, POLLIN, 0};
                poll(&pf, 1, -1);
                if (read(pty.slave, &c, 1) == 1)
                    return;
            }
        },
        [&](std::uint8_t c) { WriteAll(pty.slave, &c, 1); });
}

Latency DriverLatency(Pty& pty, int trips) {
    const TSerialHandle h = OpenDriver(pty);
    OVERLAPPED r, w;
    r.Event = CreateSyncEvent(true, true);
    w.Event = CreateSyncEvent(true, true);
    const Latency l = PingPong(
        pty, trips, [&](std::uint8_t& c) { ReadOverlapped(h, &c, 1, r); },
        [&](std::uint8_t c) { WriteOverlapped(h, &c, 1, w); });
    SerialClose(h);
    return l;
}

long SwitchesOf(const std::string& status) {
    std::ifstream in(status);
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "voluntary_ctxt_switches:" && in >> value)
            return value;
    }
    return 0;
}

// Voluntary context switches of every thread but the caller.
long OtherThreadsSwitches() {
    long total = 0;
    const std::string self = std::to_string(gettid());
    DIR* d = opendir("/proc/self/task");
    if (!d)
        Die("opendir");
    while (dirent* e = readdir(d)) {
        const std::string tid = e->d_name;
        if (tid == "." || tid == ".." || tid == self)
            continue;
        total += SwitchesOf("/proc/self/task/" + tid + "/status");
    }
    closedir(d);
    return total;
}

double ProcessCpu() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void Idle(Pty& pty, int seconds, bool raw) {
    const TSerialHandle h = OpenDriver(pty);
    if (!SetDeviceEventMask(h, EV_ALL))
        Die("mask");
    OVERLAPPED ov;
    ov.Event = CreateSyncEvent(true, true);
    std::uint32_t events = 0;
    if (WaitForDeviceEvent(h, &events, &ov) || LastPlatformError() != IO_PENDING)
        Die("event wait");
    auto stop = CreateSyncEvent(true, false);
    std::thread waiter([&] {
        TEventHandle list[2] = {stop, ov.Event};
        WaitForSyncEvents(list, 2, SyncInfinite);
    });
    std::this_thread::sleep_for(milliseconds(300)); // let the waiter block
    const long s0 = OtherThreadsSwitches();
    const double c0 = ProcessCpu();
    std::this_thread::sleep_for(seconds * 1s);
    const double cpu = ProcessCpu() - c0;
    const long switches = OtherThreadsSwitches() - s0;
    stop->Set();
    waiter.join();
    SerialClose(h);
    std::printf("idle %d s, event wait pending: CPU %.3f ms (all threads, the measuring "
                "thread's sleep included), voluntary context switches %ld (goal 0 and 0)\n",
                seconds, cpu * 1e3, switches);
    if (raw)
        std::printf("driver.idle.wakeups=%ld\n", switches);
}

} // namespace

int main(int argc, char** argv) {
    std::size_t mib = 64;
    int trips = 10000, idle = 10;
    std::string only, receiver;
    bool raw = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : "0";
        if (a == "--raw") {
            raw = true;
            continue;
        }
        if (a == "--mib")
            mib = std::strtoul(v, nullptr, 10);
        else if (a == "--trips")
            trips = std::atoi(v);
        else if (a == "--idle-seconds")
            idle = std::atoi(v);
        else if (a == "--only")
            only = v;
        else if (a == "--receiver")
            receiver = v;
        else {
            std::fprintf(stderr, "bench_serial_driver: unknown option %s\n", a.c_str());
            return 2;
        }
        ++i;
    }
    auto runs = [&](const char* part) { return only.empty() || only == part; };
    const bool plain = receiver.empty() || receiver == "plain";
    const bool driver = receiver.empty() || receiver == "driver";
    Pty pty;
    // The machine is shared: alternate the two in rounds so that both see the same load.
    constexpr int rounds = 4;
    if (runs("throughput") && mib > 0) {
        Throughput pt, dt;
        for (int r = 0; r < rounds; ++r) {
            const std::size_t part = (mib << 20) / rounds;
            pt.Add(plain ? PlainThroughput(pty, part) : Throughput{1, 1, part, 1});
            dt.Add(driver ? DriverThroughput(pty, part) : Throughput{1, 1, part, 1});
        }
        std::printf("%zu MiB one way, byte-exact, in %d alternating rounds:\n", mib, rounds);
        std::printf("  plain poll/read : %8.1f MB/s  receiver CPU %6.3f ns/byte  %6.0f "
                    "bytes/read\n",
                    pt.Mbps(), pt.CpuNsPerByte(), pt.BytesPerRead());
        std::printf("  driver          : %8.1f MB/s  receiver CPU %6.3f ns/byte  %6.0f "
                    "bytes/read\n",
                    dt.Mbps(), dt.CpuNsPerByte(), dt.BytesPerRead());
        std::printf("  CPU per byte ratio %.2f (goal <= 1.1)\n",
                    dt.CpuNsPerByte() / pt.CpuNsPerByte());
        if (raw) {
            std::printf("driver.rx.plain_ns_per_byte=%.6g\n", pt.CpuNsPerByte());
            std::printf("driver.rx.cpu=%.6g\n", dt.CpuNsPerByte() / pt.CpuNsPerByte());
            std::printf("driver.rx.bytes_per_read=%.6g\n", dt.BytesPerRead() / pt.BytesPerRead());
        }
    }
    if (runs("latency") && trips >= rounds) {
        Latency pl, dl;
        for (int r = 0; r < rounds; ++r) {
            const Latency p = plain ? PlainLatency(pty, trips / rounds) : Latency{1};
            const Latency d = driver ? DriverLatency(pty, trips / rounds) : Latency{1};
            pl.insert(pl.end(), p.begin(), p.end());
            dl.insert(dl.end(), d.begin(), d.end());
        }
        std::printf("one-byte ping-pong, far-end write to reader completion, %zu round trips "
                    "each:\n",
                    pl.size());
        const double p50 = Percentile(pl, 0.5), p99 = Percentile(pl, 0.99);
        const double d50 = Percentile(dl, 0.5), d99 = Percentile(dl, 0.99);
        std::printf("  plain poll/read : p50 %7.1f us  p99 %7.1f us\n", p50, p99);
        std::printf("  driver          : p50 %7.1f us  p99 %7.1f us\n", d50, d99);
        std::printf("  ratios p50 %.2f (goal <= 1.1)  p99 %.2f (goal <= 1.2)\n", d50 / p50,
                    d99 / p99);
        if (raw) {
            std::printf("driver.pingpong.plain_p50_us=%.6g\n", p50);
            std::printf("driver.pingpong.p50=%.6g\n", d50 / p50);
            std::printf("driver.pingpong.p99=%.6g\n", d99 / p99);
        }
    }
    if (runs("idle") && idle > 0)
        Idle(pty, idle, raw);
    return 0;
}
