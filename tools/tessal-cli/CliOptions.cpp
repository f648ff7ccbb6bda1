#include "tools/tessal-cli/CliOptions.h"

#include <functional>
#include <map>

#include "framework/CommandLine.h"

TCliOptionsResult ParseCliOptions(const std::vector<std::string>& args) {
    TCliOptionsResult result;
    TCliOptions& o = result.Options;
    using TSetter = TOptionSetter;
    const auto text = [](std::optional<std::string>& target) {
        return [&target](const std::string& v) { return !v.empty() && (target = v, true); };
    };
    const auto clause = [&o](const char* name) {
        return [&o, name](const std::string& v) {
            o.SendClauses.emplace_back(name, v);
            return true;
        };
    };
    const std::map<std::string, TSetter> valued = {
        {"--port", text(o.Port)},
        {"--baud", text(o.Baud)},
        {"--data-bits", text(o.DataBits)},
        {"--parity", text(o.Parity)},
        {"--stop-bits", text(o.StopBits)},
        {"--flow", text(o.Flow)},
        {"--tsl", text(o.TslFile)},
        {"--format",
         [&o](const std::string& v) {
             static const std::map<std::string, TOutputFormat> formats = {
                 {"text", ofText}, {"csv", ofCsv}, {"jsonl", ofJsonl}};
             const auto f = formats.find(v);
             return f != formats.end() && (o.Format = f->second, true);
         }},
        {"--junit", [&o](const std::string& v) { return !v.empty() && (o.JUnitFile = v, true); }},
        {"--addr", clause("addr")},
        {"--expect", clause("expect")},
        {"--expect-opcode", clause("expect-opcode")},
        {"--expect-params", clause("expect-params")},
        {"--timeout", clause("timeout")},
        {"--repeat", text(o.Repeat)},
        {"--period", text(o.Period)},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--help", [&o] { o.Help = true; }},
        {"-h", [&o] { o.Help = true; }},
        {"--version", [&o] { o.Version = true; }},
        {"--wait-answer", [&o] { o.WaitAnswer = true; }},
        {"--no-progress", [&o] { o.Progress = false; }},
    };
    std::vector<std::string> words;
    result.Error = ReadCommandLine(args, flags, valued, &words);
    if (result.Error) {
        return result;
    }
    if (o.Help || o.Version) {
        return result;
    }
    if (words.empty()) {
        result.Error = "say send or run";
    } else if (words[0] == "send") {
        o.Verb = cvSend;
        if (words.size() < 2) {
            result.Error = "send needs a command";
            return result;
        }
        o.Command = words[1];
        for (std::size_t i = 2; i < words.size(); ++i) {
            o.Params += (i > 2 ? " " : "") + words[i];
        }
    } else if (words[0] == "run") {
        o.Verb = cvRun;
        if (words.size() != 2) {
            result.Error = "run needs one script";
            return result;
        }
        o.Script = words[1];
    } else {
        result.Error = "unknown command '" + words[0] + "' (send or run)";
    }
    if (!result.Error && o.Verb == cvRun && (!o.SendClauses.empty() || o.Repeat || o.Period)) {
        result.Error = "--addr, --expect..., --timeout, --repeat and --period belong to send";
    }
    return result;
}

std::string CliUsage() {
    return R"(Usage: tessal-cli [OPTION]... send COMMAND [PARAMETER]... [SEND OPTION]...
  or:  tessal-cli [OPTION]... run SCRIPT
  or:  tessal-cli --help | --version
Sends frames of the Tessal frame protocol from the command line or from a script, with the
workbench's command-definition file: the length byte and the CRC are added and RTS is keyed
around each frame; every answer is cut by its length byte, CRC-checked and named. Prints every
row (sent and received), then a summary line on the standard error stream, and fails when an
expectation does not hold.

Port (the stored workbench settings where an option is not given):
  --port NAME        ttyUSB0, /dev/serial/by-id/..., any path
  --baud RATE        110 ... 256000, or any other rate
  --data-bits BITS   5, 6, 7 or 8
  --parity PARITY    None, Odd, Even, Mark or Space
  --stop-bits BITS   1, 1.5 or 2
  --flow FLOW        None, Hardware or Software
  --tsl FILE         the command-definition file (default: the one tessal.ini names)

Send options:
  --addr HEX                 the device's address (default 01)
  --expect VERDICT           ok, crc-fail, timeout or no-answer: what the first answer row says
  --expect-opcode OP         the answer's operation code, by name (DONE) or hex
  --expect-params "HEX..."   the answer's parameter bytes
  --timeout MS               the answer time-out (default: the stored one, else 100)
  --repeat N --period MS     send the frame N times, one every MS milliseconds ...
  --wait-answer              ... each period starting after the answer

Output:
  --format FORMAT    text (aligned columns; the default on a terminal), csv (the default
                     otherwise; the columns of the workbench's export) or jsonl (one object a row)
  --junit FILE       a JUnit XML report, one test case per expectation
  --no-progress      no progress bar (it shows on a terminal, for runs over two seconds)
  -h, --help         this text
  --version          the version

Script (run): one step a line, "#" starts a remark.
  send COMMAND [PARAMETER]... [addr HEX] [expect VERDICT] [expect-opcode OP]
       [expect-params HEX...] [timeout MS]
  wait MS                     serve the line for MS milliseconds
  expect-silence MS           nothing may arrive for MS milliseconds
  set rts|dtr on|off          a modem line
  repeat N {                  the steps up to the matching "}", N times
  }
A mistake in the script is reported with its line number before anything is sent.

Exit status:
  0 every expectation held; 1 an expectation failed; 2 a mistake in the command line, the
  script or the command-definition file; 3 the port could not be used; 130 interrupted (Ctrl+C).
)";
}
