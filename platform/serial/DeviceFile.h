// What the system tells about a device's file without opening it: which process holds it and who
// may open it. For explaining a refused open in the user's terms.
#pragma once

#include <string>

#include <sys/types.h>

struct TDeviceHolder {
    pid_t Pid = 0;
    std::string Command; // /proc/PID/comm; "" when it cannot be read
};

// The process that holds Path (links followed): the owner of a lock on its file (/proc/locks),
// else a process with it open (/proc/*/fd, where this process may look). This process is never
// named. False when none is found.
bool FindDeviceHolder(const std::string& Path, TDeviceHolder& Holder);

struct TDeviceAccess {
    std::string Owner, Group;  // names, or the numbers when the system has no name for them
    bool GroupMayOpen = false; // the group may read and write it
};

// Who may open Path (links followed); false when it cannot be looked at.
bool GetDeviceAccess(const std::string& Path, TDeviceAccess& Access);
