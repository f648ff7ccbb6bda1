#include "platform/serial/SerialPortList.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/registry/Registry.h"
#include "platform/serial/VirtualBackend.h"
#include "platform/sync/PlatformError.h"

namespace {

const char* const SerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Legacy UART slots exist in sysfs whether or not a UART answers; type 0 means none does.
bool UartSlotEmpty(const std::filesystem::path& Tty) {
    std::ifstream type(Tty / "type");
    int value = -1;
    return (type >> value) && value == 0;
}

void ListSysfs(std::vector<std::string>& Names) {
    std::error_code ec;
    std::filesystem::directory_iterator it("/sys/class/tty", ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const auto& tty = it->path();
        if (std::filesystem::exists(tty / "device", ec) && !UartSlotEmpty(tty))
            Names.push_back(tty.filename().string());
    }
}

// Devices present now that the system itself reports: ttys with hardware and our virtual ones.
std::vector<std::string> AttachedDevices() {
    std::vector<std::string> Names;
    ListSysfs(Names);
    ListVirtualDevices(Names);
    return Names;
}

bool Contains(const std::vector<std::string>& List, const std::string& Name) {
    return std::find(List.begin(), List.end(), Name) != List.end();
}

// The value name under which an update registers Name.
std::string OwnValueName(const std::string& Name) {
    return "\\Device\\" + Name;
}

// What an update added goes with its device. Of what other programs registered, only a path
// whose file is gone is dropped (a killed simulator's pty): a bare name may be a device of
// another process that this one cannot see.
bool Gone(const std::vector<std::string>& Attached, const std::string& Value,
          const std::string& Name) {
    if (Value == OwnValueName(Name))
        return !Contains(Attached, Name);
    std::error_code ec;
    return Name.find('/') != std::string::npos && !std::filesystem::exists(Name, ec);
}

} // namespace

bool ListRegisteredSerialDevices(std::vector<std::string>& Names) {
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(SerialCommKey)) {
            SetLastPlatformError(reg.GetLastError() != 0 ? reg.GetLastError() : ENOENT);
            return false;
        }
        std::vector<std::string> found;
        for (const auto& value : reg.GetValueNames())
            found.push_back(reg.ReadString(value));
        Names = std::move(found);
        return true;
    } catch (const ERegistryError& e) {
        SetLastPlatformError(e.GetErrorCode());
        return false;
    }
}

bool ListSerialDevices(std::vector<std::string>& Names) {
    std::vector<std::string> found = AttachedDevices();
    std::vector<std::string> registered;
    if (ListRegisteredSerialDevices(registered))
        found.insert(found.end(), registered.begin(), registered.end());
    else if (LastPlatformError() != ENOENT)
        return false;
    std::vector<std::string> unique;
    for (auto& name : found)
        if (std::find(unique.begin(), unique.end(), name) == unique.end())
            unique.push_back(std::move(name));
    Names = std::move(unique);
    return true;
}

bool UpdateSerialDeviceMap() {
    const std::vector<std::string> Attached = AttachedDevices();
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(SerialCommKey, true)) {
            SetLastPlatformError(reg.GetLastError() != 0 ? reg.GetLastError() : ENOENT);
            return false;
        }
        std::vector<std::string> Listed;
        for (const auto& Value : reg.GetValueNames()) {
            std::string Name = reg.ReadString(Value);
            if (Gone(Attached, Value, Name))
                reg.DeleteValue(Value);
            else
                Listed.push_back(std::move(Name));
        }
        for (const auto& Name : Attached)
            if (!Contains(Listed, Name))
                reg.WriteString(OwnValueName(Name), Name);
        return true;
    } catch (const ERegistryError& e) {
        SetLastPlatformError(e.GetErrorCode());
        return false;
    }
}
