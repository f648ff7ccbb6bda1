#include "app/core/TimeText.h"

#include <cstdio>
#include <ctime>

namespace {

struct TLocalTime {
    std::tm Fields{};
    int Millis = 0;
};

TLocalTime Local(std::int64_t wallMicros) {
    // Floor division: a time before 1970 still shows its own second.
    std::int64_t seconds = wallMicros / 1000000;
    std::int64_t micros = wallMicros % 1000000;
    if (micros < 0) {
        micros += 1000000;
        --seconds;
    }
    TLocalTime local;
    const std::time_t t = static_cast<std::time_t>(seconds);
    localtime_r(&t, &local.Fields);
    local.Millis = static_cast<int>(micros / 1000);
    return local;
}

} // namespace

std::string ClockTimeText(std::int64_t wallMicros) {
    const TLocalTime t = Local(wallMicros);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Fields.tm_hour, t.Fields.tm_min,
                  t.Fields.tm_sec, t.Millis);
    return text;
}

std::string IsoTimeText(std::int64_t wallMicros) {
    const TLocalTime t = Local(wallMicros);
    const long offset = t.Fields.tm_gmtoff / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  t.Fields.tm_year + 1900, t.Fields.tm_mon + 1, t.Fields.tm_mday, t.Fields.tm_hour,
                  t.Fields.tm_min, t.Fields.tm_sec, t.Millis, offset < 0 ? '-' : '+',
                  magnitude / 60, magnitude % 60);
    return text;
}

std::string AnswerTimeText(std::uint32_t micros) {
    const std::uint64_t tenths = (static_cast<std::uint64_t>(micros) + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}
