// The real tessal-cli against the real tessal-devsim on a pty: exit codes, the failures it names,
// and its JUnit report as a standard XML reader sees it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "app/core/StoredSettings.h"
#include "port/CPort.h"
#include "tests/common/BoundedWait.h"
#include "tests/common/Ser2net.h"
#include "tests/common/TempDir.h"
#include "tests/tools/devsim/SimProcess.h"

namespace {

struct TCliResult {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a program to its end (bounded) with its output in files of dir.
TCliResult RunProgram(std::vector<std::string> args, const TTempDir& dir) {
    const std::string out = dir.File("out"), err = dir.File("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    TCliResult result;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        const int status = WaitChildWithin(pid, 30000);
        result.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    result.Out = FileText(out);
    result.Err = FileText(err);
    return result;
}

class TCliOnSim {
public:
    explicit TCliOnSim(std::vector<std::string> simArgs) : Sim(WithQuiet(std::move(simArgs))) {
        Port = Sim.ReadLine();
    }
    // tessal-cli with the example definitions on the simulator's port, then args.
    TCliResult Run(const std::vector<std::string>& args, const std::string& port = {}) {
        std::vector<std::string> all = {TESSAL_CLI_EXE, "--port", port.empty() ? Port : port,
                                        "--tsl", TESSAL_SOURCE_DIR "/resources/example.tsl"};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(all, Dir);
    }
    std::string Script(const std::string& text, const std::string& name = "test.tss") const {
        return Dir.Write(name, text);
    }

    TTempRegistry Registry;
    TTempDir Dir;
    TSimProcess Sim;
    std::string Port;

private:
    static std::vector<std::string> WithQuiet(std::vector<std::string> args) {
        args.insert(args.end(), {"--quiet", "--no-register", "--delay", "0"});
        return args;
    }
};

constexpr const char* kPassingScript = R"(# the example device, every command once
send PING expect ok expect-opcode DONE
send READ 00 04 expect ok expect-params DE AD BE EF
repeat 3 {
  send WRITE 10 01 02 addr 01 expect ok expect-params "10 01 02" timeout 500
}
set rts on
expect-silence 50
send 7F 5A A5 expect-opcode DONE
send RESET expect ok expect-opcode BADPARAM
)";

TEST(CliProgram, PassingScriptWritesItsRowsAndAJUnitReportAPythonReaderCounts) {
    TCliOnSim cli({});
    const std::string junit = cli.Dir.File("report.xml");
    const TCliResult run =
        cli.Run({"--format", "csv", "--junit", junit, "run", cli.Script(kPassingScript)});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Err.find("7 requests: 7 OK, 0 failed, 0 no answer"), std::string::npos)
        << run.Err;
    // A header and a sent and a received row per request.
    EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 1 + 2 * 7) << run.Out;

    const TCliResult parsed =
        RunProgram({"python3", "-c",
                    "import sys, xml.etree.ElementTree as T\n"
                    "root = T.parse(sys.argv[1]).getroot()\n"
                    "suite = root.find('testsuite')\n"
                    "cases = suite.findall('testcase')\n"
                    "print(root.tag, suite.get('tests'), suite.get('failures'), len(cases),\n"
                    "      sum(len(c.findall('failure')) for c in cases))\n",
                    junit},
                   cli.Dir);
    EXPECT_EQ(parsed.Out, "testsuites 8 0 8 0\n") << parsed.Err;
}

TEST(CliProgram, EachFaultOfTheDeviceFailsTheMatchingExpectation) {
    const struct {
        std::vector<std::string> Sim;
        const char* Failure;
    } cases[] = {
        {{"--bad-crc", "1"}, ":1: send READ 00 04 addr 01: expected ok, got CRC FAIL"},
        {{"--cut", "1"}, ":1: send READ 00 04 addr 01: expected ok, got Timeout"},
        {{"--silent", "1"}, ":1: send READ 00 04 addr 01: expected ok, got No answer"},
        {{"--split", "2", "--split-gap", "300"}, ":2: expect-silence: 5 bytes arrived"},
        {{"--garbage", "AA 00"}, ":1: send READ 00 04 addr 01: expected ok, got Too short"},
        {{"--burst", "2"}, ":1: send READ 00 04 addr 01: a second answer row (CRC OK)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sim.front());
        TCliOnSim cli(c.Sim);
        const std::string junit = cli.Dir.File("report.xml");
        const TCliResult run =
            cli.Run({"--junit", junit, "run",
                     cli.Script("send READ 00 04 expect ok\nexpect-silence 300\n")});
        EXPECT_EQ(run.Exit, 1) << run.Err;
        EXPECT_NE(run.Err.find(c.Failure), std::string::npos) << run.Err;
        EXPECT_NE(FileText(junit).find("<failure message="), std::string::npos);
    }
}

TEST(CliProgram, MistakesEndBeforeAnythingIsSentWithTheirExitCodes) {
    TCliOnSim cli({});
    const struct {
        std::vector<std::string> Args;
        int Exit;
        std::string Message;
    } cases[] = {
        {{"run", cli.Script("send PING\n\nsend READ 00 zz\n", "a.tss")}, 2, "a.tss:3: Error: "},
        {{"run", cli.Script("repeat 2 {\n  wait 10\n", "b.tss")}, 2, "b.tss:1: 'repeat' without"},
        {{"send", "PING", "--expect", "maybe"}, 2, "expect 'maybe'"},
        {{"--baud", "fast", "send", "PING"}, 2, "bad value for --baud"},
        {{"send", "PING"}, 3, "/dev/tessal-missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Message);
        const TCliResult run = cli.Run(c.Args, c.Exit == 3 ? "/dev/tessal-missing" : std::string());
        EXPECT_EQ(run.Exit, c.Exit) << run.Err;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
        EXPECT_EQ(run.Out, "");
    }
}

TEST(CliProgram, WithoutPortTheWorkbenchsStoredSettingsAreUsed) {
    TCliOnSim cli({});
    const std::vector<std::string> args = {
        TESSAL_CLI_EXE, "--tsl", TESSAL_SOURCE_DIR "/resources/example.tsl", "send", "PING",
        "--expect",     "ok"};
    EXPECT_EQ(RunProgram(args, cli.Dir).Exit, 2); // nothing stored yet
    TComPort stored;
    stored.SetName(kPortComponentName);
    stored.SetPort(cli.Port);
    stored.StoreSettings(stRegistry, kPortSettingsKey);
    const TCliResult run = RunProgram(args, cli.Dir);
    EXPECT_EQ(run.Exit, 0) << run.Err;
}

TEST(CliProgram, CtrlCEndsARepetitionWithTheSummaryAnd130) {
    TCliOnSim cli({});
    TSimProcess run({"--port", cli.Port, "--tsl", TESSAL_SOURCE_DIR "/resources/example.tsl",
                     "--format", "jsonl", "--junit", cli.Dir.File("report.xml"), "send", "PING",
                     "--expect", "ok", "--repeat", "100000", "--period", "5"},
                    TESSAL_CLI_EXE);
    ASSERT_NE(run.ReadLine().find("\"direction\":\"TX\""), std::string::npos);
    const int status = run.Stop(SIGINT);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_NE(FileText(cli.Dir.File("report.xml")).find("<testsuites tests="), std::string::npos);
}

// The rows' cells but the two times, which differ from run to run.
std::vector<std::string> RowsWithoutTimes(const std::string& csv) {
    std::vector<std::string> rows;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        for (std::size_t from = 0, to = 0; to != std::string::npos; from = to + 3) {
            to = line.find("\",\"", from);
            cells.push_back(line.substr(from, to == std::string::npos ? to : to - from));
        }
        if (cells.size() == 12) {
            cells.erase(cells.begin() + 10); // answer time
            cells.erase(cells.begin() + 1);  // time
        }
        std::string row;
        for (const std::string& cell : cells) {
            row += cell + '|';
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(CliProgram, ThroughASerialServerTheRowsAreThoseOnThePty) {
    // Two simulators alike, as each keeps counting its faults from one run to the next.
    const std::vector<std::string> faults = {"--bad-crc", "4", "--silent", "5"};
    TCliOnSim direct(faults), served(faults);
    const TCliResult local = direct.Run({"--format", "csv", "run", direct.Script(kPassingScript)});
    TSer2net server;
    ASSERT_EQ(server.Start(served.Port, ""), "");
    const TCliResult remote =
        served.Run({"--format", "csv", "run", served.Script(kPassingScript)}, server.RfcUrl());
    EXPECT_EQ(remote.Exit, local.Exit) << remote.Err;
    const std::vector<std::string> rows = RowsWithoutTimes(local.Out);
    EXPECT_EQ(rows.size(), 1 + 2 * 7);
    EXPECT_EQ(RowsWithoutTimes(remote.Out), rows) << local.Out << remote.Out << remote.Err;
}

} // namespace
