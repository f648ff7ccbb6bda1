// The real tessal-devsim on a real pty: started, found by the path it prints, asked, stopped.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include "SimProcess.h"
#include "SimTestSupport.h"
#include "platform/serial/SerialDriver.h"
#include "platform/serial/SerialPortList.h"
#include "tests/common/TempDir.h"
#include "tools/devsim/DeviceSimulator.h"

namespace {

std::vector<std::string> Registered() {
    std::vector<std::string> names;
    if (!ListRegisteredSerialDevices(names)) {
        names.clear();
    }
    return names;
}

TBytes Ask(const std::string& Port, const TBytes& Request, std::size_t AnswerSize) {
    const TSerialHandle h = SerialOpen(Port);
    EXPECT_NE(h, InvalidSerialHandle) << LastPlatformError();
    if (h == InvalidSerialHandle) {
        return {};
    }
    COMMTIMEOUTS t{};
    t.ReadTotalTimeoutConstant = 5000;
    EXPECT_TRUE(SetDeviceTimeouts(h, t));
    std::uint32_t n = 0;
    EXPECT_TRUE(
        SerialWrite(h, Request.data(), static_cast<std::uint32_t>(Request.size()), &n, nullptr));
    TBytes answer(AnswerSize);
    EXPECT_TRUE(SerialRead(h, answer.data(), static_cast<std::uint32_t>(AnswerSize), &n, nullptr));
    answer.resize(n);
    SerialClose(h);
    return answer;
}

TEST(DevsimProgram, AnswersOnItsPtyAndLeavesTheDeviceMapClean) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        TTempRegistry registry;
        TSimProcess sim({"--delay", "0"});
        ASSERT_TRUE(sim.Started());
        const std::string port = sim.ReadLine();
        ASSERT_TRUE(port.starts_with("/dev/")) << port;
        EXPECT_EQ(Registered(), std::vector<std::string>{port});

        // READ from the example rules; the same port can be opened again afterwards.
        const TBytes expected =
            TDeviceSimulator::BuildAnswer(0x01, 0x01, {0xDE, 0xAD, 0xBE, 0xEF}, 0x00);
        EXPECT_EQ(HexBytes(Ask(port, Request(0x01, 0x01, {0x00, 0x04}), expected.size())),
                  HexBytes(expected));
        EXPECT_NE(sim.ReadLine().find("answer"), std::string::npos);
        EXPECT_EQ(HexBytes(Ask(port, Request(0xFF, 0x00), 6)),
                  HexBytes(TDeviceSimulator::BuildAnswer(0x01, 0x00, TBytes{}, 0x00)));

        const int status = sim.Stop(signal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_TRUE(Registered().empty());
    }
}

TEST(DevsimProgram, NameOfAKilledSimulatorIsDroppedByTheNext) {
    TTempRegistry registry;
    std::string first;
    {
        TSimProcess sim({"--quiet"});
        first = sim.ReadLine();
        ASSERT_FALSE(first.empty());
        sim.Stop(SIGKILL);
    }
    EXPECT_EQ(Registered(), std::vector<std::string>{first});
    TSimProcess next({"--quiet"});
    const std::string second = next.ReadLine();
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(Registered(), std::vector<std::string>{second});
}

TEST(DevsimProgram, RefusesBadOptionsAndBadRules) {
    struct TCase {
        std::vector<std::string> Args;
        int Exit;
    } const cases[] = {
        {{"--help"}, 0},
        {{"--bogus"}, 2},
        {{"--rules", "/nonexistent/x.rules"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args[0]);
        TTempRegistry registry;
        TSimProcess sim(c.Args);
        ASSERT_TRUE(sim.Started());
        const int status = sim.Stop(0);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.Exit);
        EXPECT_TRUE(Registered().empty());
    }
}

} // namespace
