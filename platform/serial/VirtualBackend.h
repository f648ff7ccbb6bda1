// The driver's side of the virtual null-modem: opening an end by name, listing the names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/serial/SerialBackend.h"

// Known is false when Name is not a virtual device; otherwise the result is the open end or
// null with errno (EBUSY open elsewhere, ENOENT unplugged).
std::unique_ptr<TSerialBackend> OpenVirtualBackend(const std::string& Name, bool& Known);
void ListVirtualDevices(std::vector<std::string>& Names);
// Known as above; true when the end could be opened now (its pair lives, it is plugged in; it may
// be open elsewhere).
bool VirtualDevicePresent(const std::string& Name, bool& Known);

// Descriptors (an eventfd each, owned by the caller) written to whenever a virtual end is plugged
// in again or a pair is created: for a watcher waiting for a device to come back.
void AddVirtualPlugListener(int EventFd);
void RemoveVirtualPlugListener(int EventFd);
void NotifyVirtualPlug();
