#include "tools/tessal-cli/Progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr auto kQuietStart = std::chrono::seconds(2);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

} // namespace

TProgress::TProgress(std::int64_t total, bool shown) : Total(total), Shown(shown) {}

void TProgress::Update(std::int64_t done) {
    const TClock::time_point now = TClock::now();
    if (!Shown || now - Start < kQuietStart || now - LastDrawn < kRedrawEvery) {
        return;
    }
    LastDrawn = now;
    const double seconds = std::chrono::duration<double>(now - Start).count();
    std::string bar;
    if (Total > 0) {
        const auto filled =
            static_cast<int>(kBarWidth * std::min<std::int64_t>(done, Total) / Total);
        bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
              std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] ";
    }
    std::string count = std::to_string(done);
    if (Total > 0) {
        count += "/" + std::to_string(Total);
    }
    std::fprintf(stderr, "\r%s%s requests, %.0f/s\033[K", bar.c_str(), count.c_str(),
                 static_cast<double>(done) / seconds);
    std::fflush(stderr);
    Drawn = true;
}

void TProgress::Clear(bool sameTerminal) {
    if (Drawn && sameTerminal) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        Drawn = false;
    }
}
