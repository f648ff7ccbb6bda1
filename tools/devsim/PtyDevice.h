// A pseudo-terminal for the simulator: it keeps the master side and serves the device there;
// programs open the slave side by its path like any serial device. The simulator holds the slave
// open too, so the master does not hang up between two users of the port. Raw mode from the
// start, so nothing a user sends is echoed or edited before the device sees it.
#pragma once

#include <string>

class TPtyDevice {
public:
    // Raises std::system_error.
    TPtyDevice();
    ~TPtyDevice();
    TPtyDevice(const TPtyDevice&) = delete;
    TPtyDevice& operator=(const TPtyDevice&) = delete;

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
