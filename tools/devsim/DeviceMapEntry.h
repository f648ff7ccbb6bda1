// The simulator's name in the device map, HARDWARE\DEVICEMAP\SERIALCOMM of the local-machine
// hive, where port lists look for registered serial devices. The value is named after the
// process ("\Device\DevSim<pid>"), so several simulators can run at once and a simulator that
// was killed can be recognised later.
#pragma once

#include <string>
#include <sys/types.h>

inline constexpr const char* kDeviceMapKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

class TDeviceMapEntry {
public:
    // Registers Device for this process. Raises ERegistryError.
    explicit TDeviceMapEntry(const std::string& Device);
    // Removes the value; a failure here is reported on the standard error stream.
    ~TDeviceMapEntry();
    TDeviceMapEntry(const TDeviceMapEntry&) = delete;
    TDeviceMapEntry& operator=(const TDeviceMapEntry&) = delete;

    const std::string& ValueName() const { return valueName_; }

    static std::string ValueNameFor(pid_t Process);
    // Drops the simulators' values whose process has ended or whose device is gone, which a
    // killed simulator leaves behind; other values are left alone. Returns how many were
    // dropped. Raises ERegistryError.
    static int PruneStale();

private:
    std::string valueName_;
};
