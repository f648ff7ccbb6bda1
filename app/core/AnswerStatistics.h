// What a run of requests came to, per command and in total: requests sent, the verdicts on their
// answers, and the spread of answer times. The workbench feeds it as rows come; "Delete all"
// resets it.
//
// A received row counts under the command of the request it follows (the last one sent), a row
// received before any request in the total alone. Answer times are those of answer rows (the
// first row after a request), kept in order for a plot over the run. Median and 95th percentile
// are nearest-rank: the smallest sample with at least half (95 %) of the samples at or below it.
#pragma once

#include "app/core/FrameRows.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TAnswerSample {
    std::int64_t WallMicros = 0; // the answer row's time
    std::uint32_t AnswerMicros = 0;
    std::uint8_t Code = 0; // the request's command
};

struct TAnswerSummary {
    std::optional<std::uint8_t> Code; // none: the total
    std::string Name;                 // the command as the command box names it
    std::uint64_t Sent = 0;
    // Received rows by kind (rkSent unused).
    std::array<std::uint64_t, kRowKinds> Rows{};
    std::uint64_t Answers = 0; // answer times taken
    std::uint32_t MinMicros = 0, MedianMicros = 0, P95Micros = 0, MaxMicros = 0;

    std::uint64_t Timeouts() const { return Rows[rkTimeout]; }
    std::uint64_t TooShort() const { return Rows[rkTooShort] + Rows[rkTooShortTimeout]; }
};

class TAnswerStatistics {
public:
    void Sent(std::uint8_t code, const std::string& name);
    void Row(std::optional<std::uint8_t> code, TRowKind kind);
    void Answer(std::uint8_t code, std::int64_t wallMicros, std::uint32_t answerMicros);
    void Reset();

    // One summary per command, in the order they were first sent, then the total.
    std::vector<TAnswerSummary> Summaries() const;
    const std::vector<TAnswerSample>& Samples() const { return AnswerSamples; }
    // Grows at every change, so a view can tell when to draw again.
    std::uint64_t GetGeneration() const { return Generation; }

    // The nearest-rank percentile (0 < percent <= 100) of sorted samples; 0 for none.
    static std::uint32_t NearestRank(const std::vector<std::uint32_t>& sorted, int percent);

private:
    TAnswerSummary& Of(std::uint8_t code);

    std::vector<TAnswerSummary> Commands;
    TAnswerSummary Total;
    std::vector<TAnswerSample> AnswerSamples;
    std::uint64_t Generation = 0;
};
