// The progress bar on the standard error stream: count, rate and a bar, for runs that last
// over two seconds, when that stream is a terminal. Silent otherwise.
#pragma once

#include <chrono>
#include <cstdint>

class TProgress {
public:
    // total: the requests the run will send, 0 when unknown.
    TProgress(std::int64_t total, bool shown);
    void Update(std::int64_t done);
    // Takes the bar off the line, so that other output starts at its beginning; only when
    // that output goes to the same terminal (sameTerminal).
    void Clear(bool sameTerminal);

private:
    using TClock = std::chrono::steady_clock;
    std::int64_t Total;
    bool Shown;
    bool Drawn = false;
    TClock::time_point Start = TClock::now();
    TClock::time_point LastDrawn{};
};
