// USB identities read from a sysfs tree built in a temporary directory: adapters with and without
// serial numbers, a two-port adapter, and a UART that is not behind USB.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/sysmacros.h>

#include "platform/serial/UsbIdentity.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A tty under Device ("usb1/1-1.4/1-1.4:1.0/ttyUSB0") with its class and device-number links,
// and the files of the USB device Usb ("usb1/1-1.4") when Vendor is given.
void AddTty(const fs::path& Root, const std::string& Device, const std::string& Tty,
            const std::string& Number, const std::string& Usb = "", const std::string& Vendor = "",
            const std::string& Serial = "") {
    const fs::path Dir = Root / "devices" / Device / "tty" / Tty;
    fs::create_directories(Dir);
    fs::create_directories(Root / "class" / "tty");
    fs::create_directories(Root / "dev" / "char");
    fs::create_symlink(Dir, Root / "class" / "tty" / Tty);
    fs::create_symlink(Dir, Root / "dev" / "char" / Number);
    if (Vendor.empty())
        return;
    std::ofstream(Root / "devices" / Usb / "idVendor") << Vendor << "\n";
    std::ofstream(Root / "devices" / Usb / "idProduct") << (Vendor == "0403" ? "6001" : "7523");
    if (!Serial.empty())
        std::ofstream(Root / "devices" / Usb / "serial") << Serial << "\n";
}

} // namespace

TEST(UsbIdentityTest, EachTtyIsFoundAsItsOwnAdapterOnly) {
    TTempDir Sys("tessal-sysfs");
    const fs::path Root = Sys.Dir();
    AddTty(Root, "usb1/1-1.4/1-1.4:1.0/ttyUSB0", "ttyUSB0", "188:0", "usb1/1-1.4", "0403", "A1");
    AddTty(Root, "usb1/1-1.5/1-1.5:1.0/ttyUSB1", "ttyUSB1", "188:1", "usb1/1-1.5", "0403", "B2");
    AddTty(Root, "usb1/1-1.6/1-1.6:1.0/ttyUSB2", "ttyUSB2", "188:2", "usb1/1-1.6", "1a86");
    AddTty(Root, "usb1/1-1.7/1-1.7:1.0/ttyUSB3", "ttyUSB3", "188:3", "usb1/1-1.7", "1a86");
    AddTty(Root, "usb1/1-1.8/1-1.8:1.0/ttyUSB4", "ttyUSB4", "188:4", "usb1/1-1.8", "0403", "D4");
    AddTty(Root, "usb1/1-1.8/1-1.8:1.1/ttyUSB5", "ttyUSB5", "188:5");
    AddTty(Root, "platform/serial8250/ttyS0", "ttyS0", "4:64");

    const struct {
        unsigned Minor;
        TUsbIdentity Expected;
    } Cases[] = {
        {0, {"0403", "6001", "A1", "1-1.4", "1.0"}}, {1, {"0403", "6001", "B2", "1-1.5", "1.0"}},
        {2, {"1a86", "7523", "", "1-1.6", "1.0"}},   {3, {"1a86", "7523", "", "1-1.7", "1.0"}},
        {4, {"0403", "6001", "D4", "1-1.8", "1.0"}}, {5, {"0403", "6001", "D4", "1-1.8", "1.1"}},
    };
    for (const auto& C : Cases) {
        const std::string Tty = "ttyUSB" + std::to_string(C.Minor);
        SCOPED_TRACE(Tty);
        const TUsbIdentity Id = UsbIdentityOf(makedev(188, C.Minor), Root.string());
        EXPECT_EQ(Id.Vendor, C.Expected.Vendor);
        EXPECT_EQ(Id.Product, C.Expected.Product);
        EXPECT_EQ(Id.Serial, C.Expected.Serial);
        EXPECT_EQ(Id.Port, C.Expected.Port);
        EXPECT_EQ(Id.Interface, C.Expected.Interface);
        EXPECT_EQ(TtysOfUsbDevice(Id, Root.string()), std::vector<std::string>{Tty});
    }
    // The adapter with serial A1 plugged in elsewhere is still itself.
    TUsbIdentity Moved{"0403", "6001", "A1", "2-3", "1.0"};
    EXPECT_EQ(TtysOfUsbDevice(Moved, Root.string()), std::vector<std::string>{"ttyUSB0"});
    EXPECT_TRUE(UsbIdentityOf(makedev(4, 64), Root.string()).Empty()) << "a UART";
}
