// Waiting for a lost device to come back: the same device, never just the first port found.
//
// A device is the same when the name the user gave (a /dev/serial/by-id/... link, any link, a
// path, "ttyUSB0") names a character device again, or, for a USB adapter, when a tty of the
// same adapter appears under another name (vendor, product, serial number and interface; an
// adapter without a serial number also at the same place on the bus). Where the identity knows
// the USB adapter, the name's device must be that adapter, and the adapter's node left over
// from the loss (unchanged since it was identified, not yet seen gone) does not count as its
// return.
//
// Covered: ttys and ptys (files under /dev and the links to them), the virtual null-modem
// ends of this process, and network ports (NetworkName.h): a server cannot tell of its return,
// so the watcher tries a connection once a second, and one in progress ends at Stop. The watcher
// waits in poll on an inotify descriptor (the name's directory, the target's directory, /dev,
// /dev/serial/by-id or their nearest existing parent), an eventfd for Stop and one for virtual
// plugs: it wakes only when a file is created, moved or removed in there. Without inotify (no
// descriptors or watches left) it looks once a second.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/serial/UsbIdentity.h"

struct TDeviceIdentity {
    std::string Name;       // the port name as given, the name to open it by again
    std::string Path;       // the file Name opens ("" for a virtual device)
    std::string DevicePath; // where Path led when identified ("" when nowhere)
    bool Virtual = false;
    bool Network = false; // a serial line on another machine, by its URL
    TUsbIdentity Usb;     // empty when the device is not behind USB
    // An adapter's node when identified (0: none); one still there unchanged is not a return.
    std::uint64_t NodeDevice = 0, NodeInode = 0;
    std::int64_t NodeChangedNs = 0;
};

// Call while the device is there (after an open): a missing device is known by its name alone.
TDeviceIdentity IdentifyDevice(const std::string& PortName);

// The name to open the device by when it is there now ("" when not): Identity.Name when that
// names it, else the /dev path of the same adapter's tty.
std::string FindDevice(const TDeviceIdentity& Identity);

// Concurrency: Start, Stop and the destructor belong to one owner thread. The callback runs once,
// on the watcher's own thread, never before Start has returned; an exception it raises is
// dropped there. Stop waits for a callback in progress, so a callback must not wait for the
// owner's thread (hand the news over instead). The callback itself may call Stop or destroy the
// watcher, which then returns at once (the owner leaves the watcher alone meanwhile).
class TDeviceWatcher {
public:
    using TCallback = std::function<void(const std::string& NameToOpen)>;

    TDeviceWatcher() = default;
    ~TDeviceWatcher();
    TDeviceWatcher(const TDeviceWatcher&) = delete;
    TDeviceWatcher& operator=(const TDeviceWatcher&) = delete;

    // Stops a previous watch, then calls back once the device is there, at once if it is now.
    // False (errno) when no thread or eventfd could be made; nothing is watched then.
    bool Start(const TDeviceIdentity& Identity, TCallback Callback);
    void Stop();
    // The times the current watch's thread woke up: its cost while nothing happens.
    std::uint64_t Wakeups() const;

private:
    struct TWatch;
    std::shared_ptr<TWatch> FWatch;
    std::thread FThread;
};
