#include "platform/serial/DeviceWatch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <system_error>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/serial/DeviceName.h"
#include "platform/serial/NetworkBackend.h"
#include "platform/serial/VirtualBackend.h"

namespace fs = std::filesystem;

namespace {

std::int64_t ChangedNs(const struct stat& S) {
    return static_cast<std::int64_t>(S.st_ctim.tv_sec) * 1000000000 + S.st_ctim.tv_nsec;
}

// A character device at Path that is not the lost device's node left behind.
bool NewNodeAt(const std::string& Path, const TDeviceIdentity& Id, struct stat& S) {
    if (Path.empty() || ::stat(Path.c_str(), &S) != 0 || !S_ISCHR(S.st_mode))
        return false;
    return Id.NodeInode == 0 || S.st_dev != Id.NodeDevice || S.st_ino != Id.NodeInode ||
           ChangedNs(S) != Id.NodeChangedNs;
}

bool VirtualPresent(const TDeviceIdentity& Id) {
    bool Known = false;
    return VirtualDevicePresent(SerialDeviceName(Id.Name), Known);
}

// The directories whose new entries may be the device's return.
std::vector<fs::path> WatchedDirectories(const TDeviceIdentity& Id) {
    std::vector<fs::path> Dirs{fs::path(Id.Path).parent_path(), "/dev"};
    if (!Id.DevicePath.empty())
        Dirs.push_back(fs::path(Id.DevicePath).parent_path());
    if (!Id.Usb.Empty())
        Dirs.push_back("/dev/serial/by-id");
    std::sort(Dirs.begin(), Dirs.end());
    Dirs.erase(std::unique(Dirs.begin(), Dirs.end()), Dirs.end());
    return Dirs;
}

int NewEventFd() {
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void Drain(int Fd) {
    char Buffer[64];
    while (Fd >= 0 && ::read(Fd, Buffer, sizeof Buffer) > 0) {
    }
}

// Reads what inotify has; true when one of Names went away among it.
bool Removed(int Inotify, const std::vector<std::string>& Names) {
    alignas(inotify_event) char Buffer[4096];
    bool Gone = false;
    for (;;) {
        const ssize_t N = ::read(Inotify, Buffer, sizeof Buffer);
        if (N <= 0)
            return Gone;
        for (ssize_t At = 0; At < N;) {
            const auto* E = reinterpret_cast<const inotify_event*>(Buffer + At);
            if ((E->mask & (IN_DELETE | IN_MOVED_FROM)) && E->len > 0 &&
                std::find(Names.begin(), Names.end(), std::string(E->name)) != Names.end())
                Gone = true;
            At += static_cast<ssize_t>(sizeof(inotify_event) + E->len);
        }
    }
}

} // namespace

TDeviceIdentity IdentifyDevice(const std::string& PortName) {
    TDeviceIdentity Id;
    Id.Name = PortName;
    if (IsNetworkPortName(SerialDeviceName(PortName))) {
        Id.Network = true;
        return Id;
    }
    bool Known = false;
    VirtualDevicePresent(SerialDeviceName(PortName), Known);
    if (Known) {
        Id.Virtual = true;
        return Id;
    }
    Id.Path = SerialDevicePath(PortName);
    char Real[PATH_MAX];
    if (!Id.Path.empty() && ::realpath(Id.Path.c_str(), Real) != nullptr)
        Id.DevicePath = Real;
    struct stat S {};
    if (!NewNodeAt(Id.Path, Id, S))
        return Id;
    Id.Usb = UsbIdentityOf(S.st_rdev);
    // An adapter's hang-up comes before its node goes: the node may outlive the loss a little.
    // (A pty's node goes with its master, and a UART's never goes.)
    if (!Id.Usb.Empty()) {
        Id.NodeDevice = S.st_dev;
        Id.NodeInode = S.st_ino;
        Id.NodeChangedNs = ChangedNs(S);
    }
    return Id;
}

namespace {

std::string FindDevice(const TDeviceIdentity& Identity, int CancelFd) {
    TNetworkAddress Address;
    if (Identity.Network)
        return ParseNetworkPortName(SerialDeviceName(Identity.Name), Address) &&
                       NetworkServerThere(Address, CancelFd)
                   ? Identity.Name
                   : std::string();
    if (Identity.Virtual)
        return VirtualPresent(Identity) ? Identity.Name : std::string();
    struct stat S {};
    if (NewNodeAt(Identity.Path, Identity, S) &&
        (Identity.Usb.Empty() || SameUsbDevice(UsbIdentityOf(S.st_rdev), Identity.Usb)))
        return Identity.Name;
    for (const auto& Tty : TtysOfUsbDevice(Identity.Usb)) {
        const std::string Path = "/dev/" + Tty;
        if (NewNodeAt(Path, Identity, S))
            return Path;
    }
    return {};
}

} // namespace

std::string FindDevice(const TDeviceIdentity& Identity) {
    return FindDevice(Identity, -1);
}

// ---- the watcher ----------------------------------------------------------------------------

struct TDeviceWatcher::TWatch {
    TDeviceIdentity Identity;
    TCallback Callback;
    std::vector<fs::path> Dirs;
    std::vector<std::string> NodeNames; // the lost node's names: its removal is looked for
    int StopFd = -1, Inotify = -1, PlugFd = -1;
    std::atomic<std::uint64_t> Wakeups{0};
    // Opened by Start once the watcher knows its thread: a callback may stop it from then on.
    std::latch Published{1};

    ~TWatch() {
        if (PlugFd >= 0) {
            RemoveVirtualPlugListener(PlugFd);
            ::close(PlugFd);
        }
        for (int Fd : {StopFd, Inotify})
            if (Fd >= 0)
                ::close(Fd);
    }

    // Each wanted directory, or its nearest existing parent, whose new child may lead to it. A
    // directory watched already keeps its watch. False when one could not be watched at all.
    bool Arm() {
        constexpr std::uint32_t Mask = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM |
                                       IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        if (Inotify < 0)
            return false;
        for (fs::path Dir : Dirs) {
            while (::inotify_add_watch(Inotify, Dir.c_str(), Mask) < 0) {
                if ((errno != ENOENT && errno != ENOTDIR) || Dir == Dir.parent_path() ||
                    Dir.empty())
                    return false;
                Dir = Dir.parent_path();
            }
        }
        return true;
    }

    // Once the lost node is gone, a node under its name is new even where the system gives it
    // the same number and, within one clock tick, the same time (a pty).
    void ForgetGoneNode() {
        struct stat S {};
        if (::stat(Identity.Path.c_str(), &S) != 0)
            Identity.NodeInode = 0;
    }

    void Run() {
        Published.wait();
        for (;;) {
            // Watches first, then the look: whatever appears after the look wakes the poll.
            // Where nothing can tell of a new file (no inotify, no watch left) or of a server
            // back on the network, look once a second instead.
            const int Timeout = Identity.Virtual || Arm() ? -1 : 1000;
            const std::string Name = FindDevice(Identity, StopFd);
            if (!Name.empty()) {
                try {
                    Callback(Name);
                } catch (...) {
                    // Nobody on this thread could hear of it.
                }
                return;
            }
            ForgetGoneNode();
            pollfd Fds[3] = {{StopFd, POLLIN, 0}, {Inotify, POLLIN, 0}, {PlugFd, POLLIN, 0}};
            const int N = ::poll(Fds, 3, Timeout);
            ++Wakeups;
            if (N < 0 && errno != EINTR) {
                // Out of memory for the poll: try again later, not at once.
                pollfd Stop{StopFd, POLLIN, 0};
                ::poll(&Stop, 1, 1000);
            }
            if (Fds[0].revents != 0)
                return;
            if (Removed(Inotify, NodeNames))
                Identity.NodeInode = 0;
            Drain(PlugFd);
        }
    }
};

TDeviceWatcher::~TDeviceWatcher() {
    Stop();
}

bool TDeviceWatcher::Start(const TDeviceIdentity& Identity, TCallback Callback) {
    Stop();
    auto W = std::make_shared<TWatch>();
    W->Identity = Identity;
    W->Callback = std::move(Callback);
    W->StopFd = NewEventFd();
    if (W->StopFd < 0)
        return false;
    if (Identity.Virtual) {
        W->PlugFd = NewEventFd();
        if (W->PlugFd < 0)
            return false;
        AddVirtualPlugListener(W->PlugFd);
    } else if (!Identity.Network) {
        W->Inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        W->Dirs = WatchedDirectories(Identity);
        for (const auto& P : {Identity.Path, Identity.DevicePath})
            if (!P.empty())
                W->NodeNames.push_back(fs::path(P).filename().string());
    }
    // Seen gone before the owner returns: a device back before the thread first looks is new.
    W->ForgetGoneNode();
    try {
        FThread = std::thread([W] { W->Run(); });
    } catch (const std::system_error& E) {
        errno = E.code().value();
        return false;
    }
    FWatch = W;
    W->Published.count_down();
    return true;
}

void TDeviceWatcher::Stop() {
    if (FThread.joinable()) {
        const std::uint64_t One = 1;
        const ssize_t N = ::write(FWatch->StopFd, &One, sizeof One);
        (void)N; // an eventfd of ours takes it
        if (FThread.get_id() == std::this_thread::get_id())
            FThread.detach(); // from the callback: the thread ends when it returns
        else
            FThread.join();
    }
    FWatch.reset();
}

std::uint64_t TDeviceWatcher::Wakeups() const {
    return FWatch ? FWatch->Wakeups.load() : 0;
}
