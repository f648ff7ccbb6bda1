// A program started with its standard output on a pipe (tessal-devsim by default), for tests
// that run the real executables. Every wait is bounded; the destructor kills what still runs.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

class TSimProcess {
public:
    // Dir: the working directory of the program, empty for the test's own.
    explicit TSimProcess(std::vector<std::string> Args, const char* Program = TESSAL_DEVSIM_EXE,
                         const std::string& Dir = {}) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        if (!Dir.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, Dir.c_str());
        }
        Args.insert(Args.begin(), Program);
        std::vector<char*> argv;
        for (auto& a : Args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, Program, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    // Asks the program to end, as a user would, and kills it only when it does not.
    ~TSimProcess() {
        if (pid_ > 0 && Stop(SIGTERM) == -1) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // The next line of output without its line end; empty after the time-out or at the end.
    std::string ReadLine(std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + Timeout;
        for (;;) {
            if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            if (!Fill(deadline)) {
                return {};
            }
        }
    }

    // Signals the process and collects its exit status (-1 when it did not end in time).
    int Stop(int Signal, std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
        ::kill(pid_, Signal);
        const auto deadline = std::chrono::steady_clock::now() + Timeout;
        while (Fill(deadline)) {
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        // Standard output closed: the process is on its way out.
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        return status;
    }

private:
    // Reads what arrives before Deadline; false at the end of the output or on time-out.
    bool Fill(std::chrono::steady_clock::time_point Deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              Deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{out_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
        char chunk[256];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0) {
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};
