#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "SerialTestSupport.h"

namespace {

// Descriptors of this process open on Path.
int DescriptorsOn(const std::string& Path) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        n += std::filesystem::read_symlink(e.path(), ec) == Path;
    }
    return n;
}

// A wait source whose PollBegin blocks until released: the waiting thread is stuck in a call
// with the device's descriptor already in its poll set.
class TStuckSource : public TWaitSource {
public:
    void PollBegin(std::vector<pollfd>&, TSyncClock::time_point&) override {
        std::unique_lock lock(m_);
        entered_ = true;
        cv_.notify_all();
        cv_.wait(lock, [this] { return released_; });
    }
    void PollEnd(const pollfd*, std::size_t) override {}
    bool WaitEntered() {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [this] { return entered_; });
    }
    void Release() {
        std::lock_guard lock(m_);
        released_ = true;
        cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool entered_ = false, released_ = false;
};

} // namespace

// The close never takes the descriptor from under a thread that may still poll it, however
// long that thread takes; the last one to let go closes it.
TEST(SerialCloseInUse, DescriptorOutlivesAThreadStuckWithIt) {
    TPtyPair pty;
    const int before = DescriptorsOn(pty.SlavePath);
    TSerialHandle h = SerialOpen(pty.SlavePath);
    ASSERT_NE(h, InvalidSerialHandle) << LastPlatformError();
    ASSERT_EQ(DescriptorsOn(pty.SlavePath), before + 1);
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 0)));
    char buf[4];
    std::uint32_t n = 0;
    TOv r;
    ASSERT_FALSE(SerialRead(h, buf, 4, &n, &r));
    ASSERT_EQ(LastPlatformError(), IO_PENDING);

    auto source = std::make_shared<TStuckSource>();
    auto gate = CreateSyncEvent(true, false);
    gate->AttachSource(source);
    std::thread waiter([&] {
        // The read's event first: the device is polled before the stuck source is entered.
        TEventHandle list[2] = {r.Ov.Event, gate};
        EXPECT_EQ(WaitForSyncEvents(list, 2, 10000), 0u);
    });
    ASSERT_TRUE(source->WaitEntered());

    ASSERT_TRUE(SerialClose(h));
    EXPECT_EQ(DescriptorsOn(pty.SlavePath), before + 1) << "closed under a thread polling it";
    EXPECT_EQ(SerialOpen(pty.SlavePath), InvalidSerialHandle);
    EXPECT_EQ(LastPlatformError(), EBUSY) << "the device is still held";

    source->Release();
    waiter.join();
    gate->DetachSource(source.get());
    EXPECT_EQ(DescriptorsOn(pty.SlavePath), before) << "the last user closed it";
    h = SerialOpen(pty.SlavePath);
    EXPECT_NE(h, InvalidSerialHandle) << LastPlatformError();
    EXPECT_TRUE(SerialClose(h));
}
