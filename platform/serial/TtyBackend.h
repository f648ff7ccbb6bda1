// The backend of real serial devices and ptys.
#pragma once

#include <memory>
#include <string>

#include "platform/serial/SerialBackend.h"

// Opens Path for exclusive use: refuses what is not a terminal (ENOTTY; EISDIR for a
// directory) and a device another descriptor holds (EBUSY). Null with errno on failure.
std::unique_ptr<TSerialBackend> OpenTtyBackend(const std::string& Path);
