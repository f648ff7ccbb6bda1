// The serial devices of this machine: tty devices with hardware behind them (sysfs), the
// virtual devices of this process, and the names registered under HARDWARE\DEVICEMAP\SERIALCOMM
// of the local-machine registry hive (a simulator in another process registers its pty there).
#pragma once

#include <string>
#include <vector>

// Names as SerialOpen takes them ("ttyUSB0", a virtual name, or what the registry holds),
// without duplicates, in no particular order. Fails (false, LastPlatformError) only when the
// registry key exists but cannot be read; a missing key contributes nothing.
bool ListSerialDevices(std::vector<std::string>& Names);

// Only the names registered under HARDWARE\DEVICEMAP\SERIALCOMM, in value order. Fails (false,
// LastPlatformError: ENOENT when the key does not exist, else the registry's number) without
// touching Names.
bool ListRegisteredSerialDevices(std::vector<std::string>& Names);

// Brings HARDWARE\DEVICEMAP\SERIALCOMM up to date with the devices present now, creating the
// key if need be: a tty with hardware behind it or a virtual device of this process that the
// key lacks is added (value "\Device\<name>"), and such a value whose device is gone is
// dropped. Of the names other programs registered (under other value names), a path whose file
// is gone is dropped; bare names stay. Fails (false, LastPlatformError) when the key cannot be
// read or written.
bool UpdateSerialDeviceMap();
