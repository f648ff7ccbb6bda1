// The simulator served over the virtual null-modem pair, as the workbench's tests use it.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "SimTestSupport.h"
#include "platform/serial/VirtualNullModem.h"
#include "tools/devsim/SimServer.h"

namespace {

class SimServer : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        const std::string n = std::to_string(++serial);
        pair_ = TVirtualNullModem::Create("simHost" + n, "simDevice" + n);
        ASSERT_TRUE(pair_);
        host_ = SerialOpen("simHost" + n);
        device_ = SerialOpen("simDevice" + n);
        ASSERT_NE(host_, InvalidSerialHandle);
        ASSERT_NE(device_, InvalidSerialHandle);
        // Reads on the host wait for all bytes asked for, five seconds at most.
        COMMTIMEOUTS t{};
        t.ReadTotalTimeoutConstant = 5000;
        ASSERT_TRUE(SetDeviceTimeouts(host_, t));
    }
    void TearDown() override {
        SerialClose(host_);
        SerialClose(device_);
    }

    void Send(const TBytes& Bytes) {
        std::uint32_t n = 0;
        ASSERT_TRUE(SerialWrite(host_, Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), &n,
                                nullptr));
        ASSERT_EQ(n, Bytes.size());
    }
    TBytes Receive(std::size_t Count) {
        TBytes bytes(Count);
        std::uint32_t n = 0;
        EXPECT_TRUE(
            SerialRead(host_, bytes.data(), static_cast<std::uint32_t>(Count), &n, nullptr));
        bytes.resize(n);
        return bytes;
    }

    // Runs the server in a thread of its own: what it raises is kept for the test to see.
    void Serve(TSimChannel& Channel, TDeviceSimulator& Device) {
        try {
            ServeDevice(Channel, Device);
        } catch (const std::exception& e) {
            failure_ = e.what();
        }
    }

    std::string failure_; // written by the server thread, read after it was joined
    std::unique_ptr<TVirtualNullModem> pair_;
    TSerialHandle host_ = InvalidSerialHandle;
    TSerialHandle device_ = InvalidSerialHandle;
};

struct TLineCase {
    const char* Name;
    std::function<void(TSimFaults&)> Faults;
    std::vector<TBytes> Requests; // sent in one write
    TBytes Expected;              // everything the host receives
};

TEST_F(SimServer, FaultModesOnTheLine) {
    const TBytes ping = TDeviceSimulator::BuildAnswer(0x01, 0x00, TBytes{}, 0x00);
    const TBytes read = TDeviceSimulator::BuildAnswer(0x01, 0x01, {0xDE, 0xAD, 0xBE, 0xEF}, 0x00);
    TBytes badCrc = read;
    badCrc[badCrc.size() - 1] ^= 0xFF;
    badCrc[badCrc.size() - 2] ^= 0xFF;
    const TBytes cut(read.begin(), read.end() - 2);
    TBytes corruptRequest = Request(0x01, 0x01);
    corruptRequest[3] ^= 0x80;
    const TLineCase cases[] = {
        {"plain", nullptr, {Request(0x01, 0x01)}, read},
        {"bad request CRC gets nothing, the next request its answer",
         nullptr,
         {corruptRequest, Request(0x01, 0x00)},
         ping},
        {"wrong CRC every second answer",
         [](TSimFaults& f) { f.BadCrcEvery = 2; },
         {Request(0x01, 0x01), Request(0x01, 0x01)},
         Join({read, badCrc})},
        {"cut short",
         [](TSimFaults& f) { f.CutEvery = 2; },
         {Request(0x01, 0x01), Request(0x01, 0x01), Request(0x01, 0x00)},
         Join({read, cut, ping})},
        {"split with gaps arrives unchanged",
         [](TSimFaults& f) {
             f.SplitPieces = 4;
             f.SplitGap = TSimDuration(5);
         },
         {Request(0x01, 0x01)},
         read},
        {"garbage between answers",
         [](TSimFaults& f) {
             f.Garbage = {0xAA, 0x00, 0x55};
         },
         {Request(0x01, 0x01), Request(0x01, 0x00)},
         Join({{0xAA, 0x00, 0x55}, read, {0xAA, 0x00, 0x55}, ping})},
        {"no answer to every second request",
         [](TSimFaults& f) { f.SilentEvery = 2; },
         {Request(0x01, 0x01), Request(0x01, 0x01), Request(0x01, 0x00)},
         Join({read, ping})},
        {"burst",
         [](TSimFaults& f) { f.Burst = 3; },
         {Request(0x01, 0x00)},
         Join({ping, ping, ping})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSimConfig config;
        config.Delay = TSimDuration(1);
        if (c.Faults) {
            c.Faults(config.Faults);
        }
        TDeviceSimulator device(config, TSimRules::Parse("00 -> 00\n01 -> 00 DE AD BE EF\n"));
        TSerialChannel channel(device_);
        std::thread server([&] { Serve(channel, device); });

        TBytes all;
        for (const auto& r : c.Requests) {
            all.insert(all.end(), r.begin(), r.end());
        }
        Send(all);
        EXPECT_EQ(HexBytes(Receive(c.Expected.size())), HexBytes(c.Expected));

        channel.Stop();
        server.join();
        EXPECT_EQ(failure_, "");
        EXPECT_FALSE(device.NextDue()) << "answer bytes left unsent";
        EXPECT_EQ(device.Stats().Requests, c.Requests.size());
    }
}

// A device that waits with nothing due still ends at once when stopped.
TEST_F(SimServer, StopEndsAnIdleServer) {
    TDeviceSimulator device({}, TSimRules::Parse(""));
    TSerialChannel channel(device_);
    std::atomic<bool> ended{false};
    std::thread server([&] {
        Serve(channel, device);
        ended = true;
    });
    channel.Stop();
    server.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(failure_, "");
}

} // namespace
