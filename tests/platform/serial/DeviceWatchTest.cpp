// Waiting for a pulled device to come back: a pty under a link of its own (pulled and plugged
// like a USB adapter), a virtual null-modem end, and links to nodes that stay.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial/DeviceWatch.h"
#include "platform/serial/VirtualNullModem.h"
#include "tests/common/BoundedWait.h"
#include "tests/common/FarEnd.h"
#include "tests/common/PtyAdapter.h"
#include "tests/common/Ser2net.h"
#include "tests/common/TempDir.h"

namespace {

// The names the watcher called back with, from its thread.
class TReturns {
public:
    TDeviceWatcher::TCallback Callback(std::function<void()> Also = {}) {
        return [this, Also](const std::string& Name) {
            if (Also)
                Also();
            std::lock_guard G(FLock);
            FNames.push_back(Name);
            FChanged.notify_all();
        };
    }
    std::vector<std::string> Names() {
        std::lock_guard G(FLock);
        return FNames;
    }
    bool WaitFor(std::size_t Count, int Ms = 5000) {
        std::unique_lock G(FLock);
        return FChanged.wait_for(G, std::chrono::milliseconds(Ms),
                                 [&] { return FNames.size() >= Count; });
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::string> FNames;
};

} // namespace

// The device returns under the name it was known by, once, and only after it was plugged. A
// network port's server is looked for once a second.
TEST(DeviceWatchTest, CallsBackOnceWhenTheSameDeviceReturns) {
    TServedPty Served;
    TSer2net Server;
    ASSERT_EQ(Server.Start(Served.SlaveName, ""), "");
    TTempDir Dir("tessal-watch");
    TPtyAdapter Adapter(Dir.Dir() / "ttyBACK");
    const std::string VirtualName = UniqueDeviceName("vwatchA");
    auto Modem = TVirtualNullModem::Create(VirtualName, UniqueDeviceName("vwatchB"));
    ASSERT_TRUE(Modem);
    const struct {
        std::string Name;
        std::function<void()> Pull, Plug;
        int WithinMs;
    } Cases[] = {
        {Adapter.Name().string(), [&] { Adapter.Pull(); }, [&] { Adapter.Plug(); }, 1000},
        {VirtualName, [&] { Modem->Unplug(0); }, [&] { Modem->Replug(0); }, 1000},
        {Server.RfcUrl(), [&] { Server.Stop(); },
         [&] { ASSERT_EQ(Server.Start(Served.SlaveName, ""), ""); }, 2500},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const TDeviceIdentity Id = IdentifyDevice(C.Name);
        C.Pull();
        EXPECT_EQ(FindDevice(Id), "");
        TReturns Returns;
        TDeviceWatcher Watcher;
        ASSERT_TRUE(Watcher.Start(Id, Returns.Callback()));
        C.Pull(); // nothing to see: still gone
        EXPECT_TRUE(Returns.Names().empty());
        C.Plug();
        ASSERT_TRUE(Returns.WaitFor(1, C.WithinMs)) << "back within " << C.WithinMs << " ms";
        C.Pull();
        C.Plug();
        Watcher.Stop();
        EXPECT_EQ(Returns.Names(), std::vector<std::string>{C.Name});
    }
}

// A character device under the name is the device, unless the identity knows the USB adapter
// and the device is another; nothing, or a file that is no device, is not.
TEST(DeviceWatchTest, WhatCountsAsTheDeviceBeingThere) {
    TTempDir Dir("tessal-watch");
    const std::string Link = Dir.File("ttyLINK");
    std::filesystem::create_symlink("/dev/null", Link);
    TDeviceIdentity Id = IdentifyDevice(Link);
    EXPECT_EQ(Id.DevicePath, "/dev/null");
    EXPECT_TRUE(Id.Usb.Empty());
    EXPECT_EQ(FindDevice(Id), Link);
    std::filesystem::remove(Link);
    EXPECT_EQ(FindDevice(Id), "") << "no file";
    Dir.Write("ttyLINK", "a regular file");
    EXPECT_EQ(FindDevice(Id), "") << "not a device";
    std::filesystem::remove(Link);
    std::filesystem::create_symlink("/dev/zero", Link);
    EXPECT_EQ(FindDevice(Id), Link) << "a device under the link again";
    Id.Usb = {"ffff", "0001", "NOSUCH", "9-9", "1.0"};
    EXPECT_EQ(FindDevice(Id), "") << "not the adapter";
    EXPECT_EQ(FindDevice(IdentifyDevice(Dir.File("ttyNONE"))), "");
}

// Stop ends a watch that is waiting, from the owner's thread and from the callback itself;
// a watcher destroyed from its own callback does not wait for itself either.
TEST(DeviceWatchTest, StopEndsTheWatchWhereverItIsCalledFrom) {
    TTempDir Dir("tessal-watch");
    TPtyAdapter Adapter(Dir.Dir() / "ttySTOP");
    const TDeviceIdentity Id = IdentifyDevice(Adapter.Name());
    Adapter.Pull();
    TReturns Returns;
    {
        TDeviceWatcher Watcher;
        ASSERT_TRUE(Watcher.Start(Id, Returns.Callback()));
        Within("Stop of a waiting watch", [&] { Watcher.Stop(); });
    }
    Adapter.Plug();
    auto Owned = std::make_unique<TDeviceWatcher>();
    TDeviceWatcher Kept;
    ASSERT_TRUE(Kept.Start(Id, Returns.Callback([&] { Kept.Stop(); })));
    ASSERT_TRUE(Owned->Start(Id, Returns.Callback([&] { Owned.reset(); })));
    ASSERT_TRUE(Returns.WaitFor(2));
    Within("Stop after a callback that stopped its watch", [&] { Kept.Stop(); });
    EXPECT_EQ(Returns.Names().size(), 2u);
}
