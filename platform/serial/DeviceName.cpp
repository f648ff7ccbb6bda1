#include "platform/serial/DeviceName.h"

#include "platform/serial/NetworkName.h"

std::string SerialDeviceName(const std::string& Name) {
    if (Name.rfind("\\\\.\\", 0) == 0)
        return Name.substr(4);
    return Name;
}

std::string SerialDevicePath(const std::string& Name) {
    const std::string name = SerialDeviceName(Name);
    if (IsNetworkPortName(name))
        return {};
    if (name.empty() || name.front() == '/')
        return name;
    return "/dev/" + name;
}
