#include "tools/devsim/DeviceMapEntry.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <iostream>

#include <signal.h>
#include <unistd.h>

#include "platform/registry/Registry.h"

namespace {

const std::string kValuePrefix = "\\Device\\DevSim";

bool ProcessEnded(const std::string& ValueName) {
    pid_t pid = 0;
    const char* first = ValueName.data() + kValuePrefix.size();
    const char* last = ValueName.data() + ValueName.size();
    const auto [end, error] = std::from_chars(first, last, pid);
    if (error != std::errc() || end != last || pid <= 0) {
        return true;
    }
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

bool DeviceGone(const std::string& Device) {
    std::error_code ec;
    const std::filesystem::path path =
        std::filesystem::path(Device.starts_with('/') ? Device : "/dev/" + Device);
    return !std::filesystem::exists(path, ec);
}

} // namespace

std::string TDeviceMapEntry::ValueNameFor(pid_t Process) {
    return kValuePrefix + std::to_string(Process);
}

TDeviceMapEntry::TDeviceMapEntry(const std::string& Device) : valueName_(ValueNameFor(::getpid())) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(kDeviceMapKey, true)) {
        throw ERegistryError(reg.GetLastError(), "cannot open the device map");
    }
    reg.WriteString(valueName_, Device);
}

TDeviceMapEntry::~TDeviceMapEntry() {
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey(kDeviceMapKey, false)) {
            reg.DeleteValue(valueName_);
        }
    } catch (const ERegistryError& e) {
        std::cerr << "tessal-devsim: could not remove " << valueName_
                  << " from the device map: " << e.what() << '\n';
    }
}

int TDeviceMapEntry::PruneStale() {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(kDeviceMapKey, false)) {
        return 0;
    }
    int dropped = 0;
    for (const auto& name : reg.GetValueNames()) {
        if (!name.starts_with(kValuePrefix)) {
            continue;
        }
        if (ProcessEnded(name) || DeviceGone(reg.ReadString(name))) {
            dropped += reg.DeleteValue(name) ? 1 : 0;
        }
    }
    return dropped;
}
