// How a port name names a device file, shared by the open and by everything that looks at the
// device's file without opening it.
#pragma once

#include <string>

// The name without the original platform's device-namespace prefix ("\\.\").
std::string SerialDeviceName(const std::string& Name);
// The file a name that is not a virtual device opens: a name without a leading slash is a device
// in /dev/ ("ttyUSB0", "pts/3"), an absolute path is used as given. "" for an empty name and
// for a network port name (NetworkName.h), which names no file.
std::string SerialDevicePath(const std::string& Name);
