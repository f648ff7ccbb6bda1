// A port's problems in the user's terms: one sentence that names the port and says what happened
// ("/dev/ttyUSB0 is in use by another program (minicom, process 4242)"). It adds to the
// component's own message; it never replaces it.
#pragma once

#include <cstdint>
#include <string>

#include "port/CPortError.h"

// What the port was doing when the platform said no.
enum TPortProblemContext : std::uint8_t { ppOpening, ppSettings, ppTransfer, ppLost };

// Errno 0 means no platform error is known. A bare name is shown as its /dev path; a virtual
// device by its name. Looks at the device's file (holder, owner, group) where that helps.
std::string PortProblemInWords(const std::string& PortName, std::int32_t Errno,
                               TPortProblemContext Context);

// The context from E's code (open, settings, anything else a transfer) and E's errno.
std::string PortFailureInWords(const std::string& PortName, const EComPort& E);
