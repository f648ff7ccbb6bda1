#include "tools/devsim/DeviceMapEntry.h"

#include <cerrno>
#include <filesystem>
#include <iostream>

#include <signal.h>
#include <unistd.h>

#include "platform/registry/Registry.h"
#include "platform/text/AsciiText.h"

namespace {

const std::string kValuePrefix = "\\Device\\DevSim";

bool ProcessEnded(const std::string& ValueName) {
    const std::string_view digits = std::string_view(ValueName).substr(kValuePrefix.size());
    const TDigitRun run = ReadDigits(digits, 10, 0x7FFFFFFF);
    if (run.Length != digits.size() || run.Overflow || run.Value == 0) {
        return true;
    }
    return ::kill(static_cast<pid_t>(run.Value), 0) != 0 && errno == ESRCH;
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
