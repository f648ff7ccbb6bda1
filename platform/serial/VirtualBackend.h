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
