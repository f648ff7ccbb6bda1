#include "platform/serial/UsbIdentity.h"

#include <filesystem>
#include <fstream>

#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& File) {
    std::ifstream In(File);
    std::string Line;
    std::getline(In, Line);
    return Line;
}

// Walks up from a tty's device directory to the USB device (the first with idVendor); the
// directory below it on the way is the interface ("1-1.4:1.0").
TUsbIdentity IdentityAt(const fs::path& Link, const fs::path& Root) {
    std::error_code Ec;
    fs::path Dir = fs::canonical(Link, Ec);
    const fs::path Top = fs::canonical(Root, Ec);
    if (Ec)
        return {};
    fs::path Below;
    for (; Dir.has_relative_path() && Dir != Top && Dir != Dir.parent_path();
         Dir = Dir.parent_path()) {
        if (fs::exists(Dir / "idVendor", Ec)) {
            TUsbIdentity Id;
            Id.Vendor = FirstLine(Dir / "idVendor");
            Id.Product = FirstLine(Dir / "idProduct");
            Id.Serial = FirstLine(Dir / "serial");
            Id.Port = Dir.filename().string();
            const std::string Interface = Below.filename().string();
            const auto Colon = Interface.find(':');
            if (Colon != std::string::npos)
                Id.Interface = Interface.substr(Colon + 1);
            return Id;
        }
        Below = Dir;
    }
    return {};
}

} // namespace

bool SameUsbDevice(const TUsbIdentity& A, const TUsbIdentity& B) {
    if (A.Empty() || B.Empty() || A.Vendor != B.Vendor || A.Product != B.Product ||
        A.Interface != B.Interface || A.Serial != B.Serial)
        return false;
    // Two adapters of one model without serial numbers differ only by where they are plugged.
    return !A.Serial.empty() || A.Port == B.Port;
}

TUsbIdentity UsbIdentityOf(dev_t Device, const std::string& SysRoot) {
    const std::string Number = std::to_string(major(Device)) + ":" + std::to_string(minor(Device));
    return IdentityAt(fs::path(SysRoot) / "dev" / "char" / Number, SysRoot);
}

std::vector<std::string> TtysOfUsbDevice(const TUsbIdentity& Id, const std::string& SysRoot) {
    std::vector<std::string> Names;
    if (Id.Empty())
        return Names;
    std::error_code Ec;
    for (fs::directory_iterator It(fs::path(SysRoot) / "class" / "tty", Ec), End; !Ec && It != End;
         It.increment(Ec))
        if (SameUsbDevice(IdentityAt(It->path(), SysRoot), Id))
            Names.push_back(It->path().filename().string());
    return Names;
}
