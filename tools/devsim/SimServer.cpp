#include "tools/devsim/SimServer.h"

void ServeDevice(TSimChannel& Channel, TDeviceSimulator& Device, const TSimNow& Now) {
    for (;;) {
        for (const auto& chunk : Device.TakeDue(Now())) {
            Channel.Write(chunk);
        }
        std::optional<TSimDuration> timeout;
        if (const auto due = Device.NextDue()) {
            // Rounded up: waking a fraction early would only find nothing due and wait again.
            timeout = std::chrono::ceil<TSimDuration>(*due - Now());
        }
        const auto read = Channel.Read(timeout);
        if (read.Stopped) {
            return;
        }
        if (!read.Bytes.empty()) {
            Device.Receive(read.Bytes, Now());
        }
    }
}
