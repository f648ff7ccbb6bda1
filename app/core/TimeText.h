// Times as the grid, the export and the statistics show them. Wall times are microseconds since
// 1970-01-01 UTC, shown in the local time zone and cut (not rounded) to the millisecond, as a
// clock reads; answer times are rounded to the tenth of a millisecond.
#pragma once

#include <cstdint>
#include <string>

// "14:03:27.512"
std::string ClockTimeText(std::int64_t wallMicros);
// ISO 8601 with milliseconds and the zone's offset: "2026-12-07T14:03:27.512+01:00".
std::string IsoTimeText(std::int64_t wallMicros);
// Milliseconds with one decimal: 12345 µs -> "12.3", 12350 µs -> "12.4".
std::string AnswerTimeText(std::uint32_t micros);
