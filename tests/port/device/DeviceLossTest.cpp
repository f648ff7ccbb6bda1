// A device that vanishes under an open port: a virtual null-modem end unplugged, or a pty pulled
// like a USB adapter (its master closed), under each dispatch method.
#include "PortTestKit.h"

#include <cerrno>
#include <memory>

#include "tests/common/PtyAdapter.h"
#include "tests/common/TempDir.h"

namespace {

// A device whose far end writes and which can be pulled out from under the port.
struct TPullable {
    TTempDir Dir{"tessal-loss"};
    TPtyAdapter Adapter{Dir.Dir() / "ttyPULL"};
    std::unique_ptr<TVirtualNullModem> Modem; // instead of the adapter when set
    TSerialHandle Peer = InvalidSerialHandle;
    std::string Name;

    explicit TPullable(bool Pty) : Name(Pty ? Adapter.Name().string() : UniqueDeviceName("vA")) {
        if (Pty)
            return;
        const std::string Far = UniqueDeviceName("vB");
        Modem = TVirtualNullModem::Create(Name, Far);
        OpenFarEnd(Far, Peer);
    }
    ~TPullable() { SerialClose(Peer); }
    void Send(const std::string& Bytes) {
        if (Modem)
            FarEndWrite(Peer, Bytes);
        else
            EXPECT_EQ(::write(Adapter.MasterFd(), Bytes.data(), Bytes.size()),
                      static_cast<ssize_t>(Bytes.size()));
    }
    void Pull() { Modem ? Modem->Unplug(0) : Adapter.Pull(); }
};

} // namespace

// Told once, with EIO, also while nothing is sent or received; bytes the port took in before
// and nobody read are announced again ahead of it; no failure reaches the exception handler;
// closing works from the handler (where the event thread does not wait for it) and afterwards.
TEST(DeviceLossTest, ToldOnceAfterTheBytesThatCameBefore) {
    for (bool Pty : {false, true})
        for (TSyncMethod Mode : {smThreadSync, smWindowSync, smNone})
            for (TComEvents Events : {AllComEvents, TComEvents{evRxChar}})
                for (std::string Bytes : {"", "hello"}) {
                    const bool CloseInHandler = Bytes.empty() && Mode != smNone;
                    SCOPED_TRACE(std::string(Pty ? "pty " : "virtual ") + ModeName(Mode) +
                                 (Events == AllComEvents ? " all events" : " rx only") +
                                 (Bytes.empty() ? " idle" : " with bytes"));
                    TPullable Device(Pty);
                    TReports Reports;
                    TEventLog Log;
                    TComPort Port;
                    Port.SetPort(Device.Name);
                    Port.SetSyncMethod(Mode);
                    Port.SetEvents(Events);
                    Port.OnRxChar = [&](TObject*, std::int32_t N) {
                        Log.Add("rx " + std::to_string(N));
                    };
                    Port.OnDeviceLost = [&](TObject* Sender, std::int32_t Errno) {
                        Log.Add("lost " + std::to_string(Errno));
                        if (CloseInHandler)
                            static_cast<TCustomComPort*>(Sender)->Close();
                    };
                    Port.Open();
                    if (!Bytes.empty()) {
                        Device.Send(Bytes);
                        ASSERT_TRUE(WaitServing([&] { return Log.Count("rx 5") > 0; }));
                    }
                    const std::size_t Told = Log.Count("rx 5");
                    Device.Pull();
                    const std::string Lost = "lost " + std::to_string(EIO);
                    ASSERT_TRUE(WaitServing([&] { return Log.Count(Lost) > 0; }));
                    if (!CloseInHandler) {
                        EXPECT_FALSE(WaitServing([&] { return Log.Count(Lost) > 1; }, 100));
                        EXPECT_NO_THROW(Port.Close());
                    }
                    EXPECT_FALSE(Port.GetConnected());
                    const auto Entries = Log.Entries();
                    EXPECT_EQ(Entries.back(), Lost);
                    EXPECT_EQ(Log.Count(Lost), 1u);
                    if (!Bytes.empty()) {
                        EXPECT_EQ(Entries.at(Entries.size() - 2), "rx 5");
                        EXPECT_EQ(Log.Count("rx 5"), Told + 1);
                    }
                    EXPECT_TRUE(Reports.Codes().empty());
                }
}
