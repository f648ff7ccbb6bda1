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

bool StillThere(const std::vector<std::string>& Attached, const std::string& Name) {
    if (Name.empty())
        return false;
    if (Contains(Attached, Name))
        return true;
    std::error_code ec;
    return std::filesystem::exists(Name.find('/') == std::string::npos ? "/dev/" + Name : Name, ec);
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
            if (StillThere(Attached, Name))
                Listed.push_back(std::move(Name));
            else
                reg.DeleteValue(Value);
        }
        for (const auto& Name : Attached)
            if (!Contains(Listed, Name))
                reg.WriteString("\\Device\\" + Name, Name);
        return true;
    } catch (const ERegistryError& e) {
        SetLastPlatformError(e.GetErrorCode());
        return false;
    }
}
