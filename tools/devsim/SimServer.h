// Serves a simulated device on a channel until the channel is stopped: sends the answer bytes
// as they fall due and hands the device what arrives, sleeping in the channel's wait in between.
#pragma once

#include "tools/devsim/DeviceSimulator.h"
#include "tools/devsim/SimChannel.h"

// Raises what the channel raises (std::system_error).
void ServeDevice(TSimChannel& Channel, TDeviceSimulator& Device,
                 const TSimNow& Now = TSimClock::now);
