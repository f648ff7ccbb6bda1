#include "app/core/AnswerStatistics.h"

#include <algorithm>

namespace {

void TakeSpread(TAnswerSummary& summary, std::vector<std::uint32_t>& times) {
    summary.Answers = times.size();
    if (times.empty()) {
        return;
    }
    std::sort(times.begin(), times.end());
    summary.MinMicros = times.front();
    summary.MedianMicros = TAnswerStatistics::NearestRank(times, 50);
    summary.P95Micros = TAnswerStatistics::NearestRank(times, 95);
    summary.MaxMicros = times.back();
}

} // namespace

std::uint32_t TAnswerStatistics::NearestRank(const std::vector<std::uint32_t>& sorted,
                                             int percent) {
    if (sorted.empty()) {
        return 0;
    }
    // ceil(percent / 100 * n), 1-based, in integers.
    const std::size_t rank = (static_cast<std::size_t>(percent) * sorted.size() + 99) / 100;
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

TAnswerSummary& TAnswerStatistics::Of(std::uint8_t code) {
    for (TAnswerSummary& summary : Commands) {
        if (summary.Code == code) {
            return summary;
        }
    }
    TAnswerSummary& added = Commands.emplace_back();
    added.Code = code;
    return added;
}

void TAnswerStatistics::Sent(std::uint8_t code, const std::string& name) {
    TAnswerSummary& summary = Of(code);
    summary.Name = name;
    ++summary.Sent;
    ++Total.Sent;
    ++Generation;
}

void TAnswerStatistics::Row(std::optional<std::uint8_t> code, TRowKind kind) {
    if (code) {
        ++Of(*code).Rows[kind];
    }
    ++Total.Rows[kind];
    ++Generation;
}

void TAnswerStatistics::Answer(std::uint8_t code, std::int64_t wallMicros,
                               std::uint32_t answerMicros) {
    AnswerSamples.push_back({wallMicros, answerMicros, code});
    ++Generation;
}

void TAnswerStatistics::Reset() {
    Commands.clear();
    Total = TAnswerSummary{};
    AnswerSamples.clear();
    AnswerSamples.shrink_to_fit();
    ++Generation;
}

std::vector<TAnswerSummary> TAnswerStatistics::Summaries() const {
    std::vector<TAnswerSummary> summaries = Commands;
    summaries.push_back(Total);
    summaries.back().Name = "Total";
    std::array<std::size_t, 256> slot{};
    slot.fill(summaries.size());
    for (std::size_t k = 0; k < Commands.size(); ++k) {
        slot[*Commands[k].Code] = k;
    }
    std::vector<std::vector<std::uint32_t>> times(summaries.size());
    for (const TAnswerSample& sample : AnswerSamples) {
        if (slot[sample.Code] < Commands.size()) {
            times[slot[sample.Code]].push_back(sample.AnswerMicros);
        }
        times.back().push_back(sample.AnswerMicros);
    }
    for (std::size_t k = 0; k < summaries.size(); ++k) {
        TakeSpread(summaries[k], times[k]);
    }
    return summaries;
}
