// The steps tessal-cli runs: a script file read line by line, or the one step of "send". Every
// mistake is found here, with its line, before the port is opened: command names against the
// loaded definitions, parameters by the editor's own parser, numbers within their bounds.
//
//   # a remark; blank lines are ignored
//   send CMD [PARAMS...] [addr A] [expect VERDICT] [expect-opcode OP] [expect-params HEX...]
//        [timeout MS]
//   wait MS
//   expect-silence MS
//   set rts|dtr on|off
//   repeat N {
//     ...
//   }
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/CommandDefinitions.h"

// What a request's first answer row says: one of four verdicts.
enum TVerdict : std::uint8_t { vdOk, vdCrcFail, vdTimeout, vdNoAnswer };
const char* VerdictName(TVerdict verdict);
std::optional<TVerdict> VerdictByName(std::string_view name);

struct TExpectation {
    std::optional<TVerdict> Verdict;
    std::optional<std::uint8_t> OpCode;
    std::optional<std::vector<std::uint8_t>> Params;
    bool Empty() const { return !Verdict && !OpCode && !Params; }
};

struct TSendStep {
    int CommandIndex = 0; // in the definitions' command list
    std::string Params;   // the parameters field's text
    std::string Addr = "01";
    TExpectation Expect;
    std::optional<std::int32_t> TimeoutMs;
    // The workbench's own repetition ("send" only): Repeat frames at PeriodMs.
    std::int32_t Repeat = 1;
    std::int32_t PeriodMs = 1000;
    bool WaitAnswer = false;
};

enum TStepKind : std::uint8_t { skSend, skWait, skSilence, skSetLine, skRepeat };

struct TStep {
    TStepKind Kind = skSend;
    int Line = 0;
    TSendStep Send;
    std::int32_t Ms = 0;     // wait, expect-silence
    bool Rts = true;         // set: rts (true) or dtr
    bool On = false;         // set
    std::int32_t Count = 0;  // repeat
    std::vector<TStep> Body; // repeat
};

struct TScriptResult {
    std::vector<TStep> Steps;
    std::optional<std::string> Error; // "LINE: what is wrong"
};

inline constexpr std::int32_t kMaxWaitMs = 3600000;
inline constexpr std::int32_t kMaxRepeat = 100000000;
// The steps are run (and counted) recursively: the depth is bounded.
inline constexpr std::size_t kMaxNesting = 64;

TScriptResult ParseScript(std::string_view text, const TCommandDefinitions& definitions);

// One clause of a send, shared by the script and the command line; "" when it reads, else what
// is wrong. Names the clause (addr, expect, expect-opcode, expect-params, timeout).
std::string ApplySendClause(std::string_view clause, std::string_view value,
                            const TCommandDefinitions& definitions, TSendStep& step);
// The command by name (case-insensitive) or by hex code; "" when found.
std::string FindCommand(std::string_view name, const TCommandDefinitions& definitions, int& index);
// The parameters' text through the editor's parser; "" when it reads.
std::string CheckParams(const std::string& params);
// A decimal number within [min, max]; nullopt otherwise.
std::optional<std::int32_t> ReadNumber(std::string_view text, std::int32_t min, std::int32_t max);

// The requests the steps send, saturating; for a progress bar.
std::int64_t CountRequests(const std::vector<TStep>& steps);
