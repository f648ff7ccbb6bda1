#include "tools/tessal-cli/CliReport.h"

#include <cstdio>

#include "platform/registry/AtomicFile.h"

namespace {

// Text for an XML attribute: markup escaped, bytes above 0x7F as the Latin-1 characters they
// are in a command file, control characters (not allowed in XML 1.0) as '?'.
std::string XmlText(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (byte >= 0x80) {
                out += "&#" + std::to_string(byte) + ";";
            } else if (byte < 0x20 && ch != '\t') {
                out += '?';
            } else {
                out += ch;
            }
        }
    }
    return out;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

std::string Where(const std::string& suite, int line) {
    return line > 0 ? suite + ":" + std::to_string(line) : suite;
}

} // namespace

TRunReport Report(const TCliRunner& runner, const std::string& suite) {
    TRunReport report;
    report.Suite = suite;
    for (const TRequest& request : runner.Requests()) {
        if (request.Expect.Empty()) {
            continue;
        }
        TCheckCase check;
        check.Name = Where(suite, request.Line) + ": " + request.Label;
        check.Error = !request.Verdict;
        check.Failure = check.Error && request.Failure.empty() ? "the run ended before an answer"
                                                               : request.Failure;
        if (request.Verdict) {
            check.Seconds = std::chrono::duration<double>(request.Judged - request.Sent).count();
        }
        report.Cases.push_back(std::move(check));
    }
    for (const TSilenceCheck& silence : runner.Silences()) {
        report.Cases.push_back({Where(suite, silence.Line) + ": expect-silence", silence.Failure,
                                false, silence.Seconds});
    }
    for (const TCheckCase& check : report.Cases) {
        if (check.Failure.empty()) {
            continue;
        }
        (check.Error ? report.Errors : report.Failures) += 1;
        report.FailureLines.push_back(check.Name + ": " + check.Failure);
    }
    return report;
}

std::string SummaryLine(const TRunReport& report, const TWorkbench& workbench) {
    const TAnswerSummary total = workbench.Statistics().Summaries().back();
    const std::uint64_t failed = total.Rows[rkCrcFail] + total.Timeouts() + total.TooShort();
    char times[96] = "no answer times";
    if (total.Answers > 0) {
        std::snprintf(times, sizeof times, "answer time median %.1f ms, p95 %.1f ms",
                      total.MedianMicros / 1000.0, total.P95Micros / 1000.0);
    }
    const auto held =
        static_cast<std::int64_t>(report.Cases.size()) - report.Failures - report.Errors;
    return std::to_string(total.Sent) + (total.Sent == 1 ? " request: " : " requests: ") +
           std::to_string(total.Rows[rkCrcOk]) + " OK, " + std::to_string(failed) + " failed, " +
           std::to_string(total.Rows[rkNoAnswer]) + " no answer; " + times +
           "; expectations: " + std::to_string(held) + " held, " +
           std::to_string(report.Failures + report.Errors) + " failed";
}

std::string JUnitXml(const TRunReport& report) {
    double total = 0;
    for (const TCheckCase& check : report.Cases) {
        total += check.Seconds;
    }
    const std::string counts = " tests=\"" + std::to_string(report.Cases.size()) +
                               "\" failures=\"" + std::to_string(report.Failures) + "\" errors=\"" +
                               std::to_string(report.Errors) + "\" time=\"" + Seconds(total) + "\"";
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + counts +
                      ">\n  <testsuite name=\"" + XmlText(report.Suite) + "\"" + counts +
                      " skipped=\"0\">\n";
    for (const TCheckCase& check : report.Cases) {
        xml += "    <testcase classname=\"" + XmlText(report.Suite) + "\" name=\"" +
               XmlText(check.Name) + "\" time=\"" + Seconds(check.Seconds) + "\"";
        if (check.Failure.empty()) {
            xml += "/>\n";
            continue;
        }
        const char* element = check.Error ? "error" : "failure";
        xml += ">\n      <" + std::string(element) + " message=\"" + XmlText(check.Failure) +
               "\" type=\"" + (check.Error ? "no-verdict" : "expectation") + "\"/>\n" +
               "    </testcase>\n";
    }
    return xml + "  </testsuite>\n</testsuites>\n";
}

bool WriteJUnit(const std::string& path, const TRunReport& report) {
    try {
        ReplaceFileAtomically(path, JUnitXml(report), 0644);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
