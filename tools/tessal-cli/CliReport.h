// What a run came to: one test case per expectation (a request's or an expect-silence), the
// summary line, and the JUnit XML report that continuous-integration servers read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/Workbench.h"
#include "tools/tessal-cli/CliRun.h"

struct TCheckCase {
    std::string Name;
    std::string Failure; // empty: held
    bool Error = false;  // no verdict: the run ended first
    double Seconds = 0;
};

struct TRunReport {
    std::string Suite;
    std::vector<TCheckCase> Cases;
    int Failures = 0;
    int Errors = 0;
    // "script:LINE: name: failure", one a failed case.
    std::vector<std::string> FailureLines;
};

TRunReport Report(const TCliRunner& runner, const std::string& suite);

// "12 requests: 10 OK, 1 failed, 1 no answer; answer time median 1.2 ms, p95 3.4 ms;
// expectations: 11 held, 1 failed": the workbench's statistics of the rows, and the cases.
std::string SummaryLine(const TRunReport& report, const TWorkbench& workbench);

// The JUnit XML text, and the file written whole (false when it cannot be).
std::string JUnitXml(const TRunReport& report);
bool WriteJUnit(const std::string& path, const TRunReport& report);
