// Which USB adapter a tty belongs to, read from sysfs: for finding the same adapter again when it
// comes back under another name. The sysfs root is a parameter so that tests can build a tree.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

struct TUsbIdentity {
    std::string Vendor, Product, Serial; // idVendor, idProduct, serial ("" when it has none)
    std::string Port;                    // the USB device's place on the bus ("1-1.4")
    std::string Interface;               // configuration.interface of the tty ("1.0")
    bool Empty() const { return Vendor.empty(); }
};

// The same adapter and the same port of it: vendor, product, interface, and the serial number,
// or for an adapter without one the same place on the bus.
bool SameUsbDevice(const TUsbIdentity& A, const TUsbIdentity& B);

// The USB identity of the character device Device; empty when it is not behind USB.
TUsbIdentity UsbIdentityOf(dev_t Device, const std::string& SysRoot = "/sys");

// The ttys (names as under /dev) of the adapter Id, in no particular order.
std::vector<std::string> TtysOfUsbDevice(const TUsbIdentity& Id,
                                         const std::string& SysRoot = "/sys");
