// Cuts a save short at each of its crash points in turn. A child process runs Save with a hook
// that kills it (SIGKILL) at the hook's Cut-th call, for Cut = 1, 2, ... until a child gets
// through the whole save; after each child, AfterChild(Killed) runs in this process.
// Returns the number of children killed, or -1 after reporting a failure.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/registry/AtomicFile.h"
#include "tests/common/BoundedWait.h"

namespace crash_points {
inline int Countdown = 0;
inline void KillAtCountdown() {
    if (--Countdown == 0)
        raise(SIGKILL);
}
} // namespace crash_points

inline int ForEachCrashPoint(const std::function<void()>& Save,
                             const std::function<void(bool Killed)>& AfterChild,
                             int MaxCuts = 500) {
    for (int cut = 1; cut <= MaxCuts; ++cut) {
        const pid_t pid = fork();
        if (pid < 0) {
            ADD_FAILURE() << "fork failed";
            return -1;
        }
        if (pid == 0) {
            crash_points::Countdown = cut;
            SetSaveCutHook(&crash_points::KillAtCountdown);
            int rc = 0;
            try {
                Save();
            } catch (...) {
                rc = 3;
            }
            _exit(rc);
        }
        const int status = WaitChildWithin(pid);
        if (status == -1)
            return -1;
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        if (!killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
            ADD_FAILURE() << "the saving child ended with status " << status;
            return -1;
        }
        AfterChild(killed);
        if (!killed)
            return cut - 1;
    }
    ADD_FAILURE() << "the save did not finish within " << MaxCuts << " crash points";
    return -1;
}
