// The real main window on one end of a virtual null-modem, started in a directory of its own
// with a tessal.ini that names a command-definition file; the far end is driven through the
// driver, from the test or from a reader thread that timestamps what arrives.
#pragma once

#include "GridView.h"
#include "app/window/Tessalmain.h"
#include "controls/CPortCtl.h"
#include "controls/GuiSynchronize.h"
#include "framework/Synchronize.h"
#include "platform/registry/Registry.h"
#include "platform/serial/VirtualNullModem.h"
#include "platform/sync/PlatformError.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

// Waits serving the event loop (and with it the port's GUI queue) until the condition holds,
// then checks it, so a time-out is a test failure with the condition's text.
#define WAIT_TRUE(cond) EXPECT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, 5000)) << #cond
#define WAIT_EQ(actual, expected)                                                                  \
    do {                                                                                           \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, 5000);                       \
        EXPECT_EQ(actual, expected);                                                               \
    } while (false)

inline constexpr const char* kTestCommands = "#define PING 00\n"
                                             "#define READ 10 // addr cnt\n"
                                             "#cmdcomment Reads registers\n"
                                             "#operationcode\n"
                                             "#define ACK 05\n";

using TBytes = std::vector<std::uint8_t>;
using TClock = std::chrono::steady_clock;

// Bytes the far end received, cut into frames by their length bytes, each with the time its
// first byte was read.
class TPeerReader {
public:
    explicit TPeerReader(TSerialHandle peer) : Peer(peer), Worker([this] { Run(); }) {}
    ~TPeerReader() {
        Stop = true;
        Worker.join();
    }
    struct TFrame {
        TClock::time_point At;
        TBytes Bytes;
    };
    std::vector<TFrame> Frames() const {
        std::lock_guard lock(Lock);
        return Complete;
    }
    std::size_t Count() const {
        std::lock_guard lock(Lock);
        return Complete.size();
    }

private:
    void Run() {
        std::uint8_t buffer[256];
        while (!Stop) {
            std::uint32_t n = 0;
            if (!SerialRead(Peer, buffer, sizeof buffer, &n, nullptr) || n == 0) {
                continue;
            }
            const auto now = TClock::now();
            std::lock_guard lock(Lock);
            for (std::uint32_t i = 0; i < n; ++i) {
                if (Pending.empty()) {
                    PendingAt = now;
                }
                Pending.push_back(buffer[i]);
                if (Pending.size() >= 2 && Pending.size() >= Pending[1]) {
                    Complete.push_back({PendingAt, Pending});
                    Pending.clear();
                }
            }
        }
    }

    TSerialHandle Peer;
    std::atomic<bool> Stop{false};
    mutable std::mutex Lock;
    TBytes Pending;
    TClock::time_point PendingAt;
    std::vector<TFrame> Complete;
    std::thread Worker;
};

// Holds the calls other threads queue for the GUI thread (port events, repeat ticks) until the
// test serves them with CheckSynchronize, counting them; the toolkit serves the queue again after.
class THeldGuiQueue {
public:
    THeldGuiQueue() {
        // A thread may still run the hook it fetched after this one has gone: it shares State.
        SetWakeMainThread([state = State] {
            std::lock_guard lock(state->Lock);
            ++state->Queued;
            state->Changed.notify_all();
        });
    }
    ~THeldGuiQueue() {
        InstallGuiSynchronize();
        QMetaObject::invokeMethod(
            qApp, [] { CheckSynchronize(0); }, Qt::QueuedConnection);
    }
    THeldGuiQueue(const THeldGuiQueue&) = delete;
    THeldGuiQueue& operator=(const THeldGuiQueue&) = delete;

    bool WaitForQueued(int count) const {
        std::unique_lock lock(State->Lock);
        return State->Changed.wait_for(lock, std::chrono::seconds(5),
                                       [&] { return State->Queued >= count; });
    }

private:
    struct TState {
        std::mutex Lock;
        std::condition_variable Changed;
        int Queued = 0;
    };
    std::shared_ptr<TState> State = std::make_shared<TState>();
};

// The menu item whose caption is Text, or null.
inline QAction* MenuItem(QWidget* form, const char* text) {
    for (QAction* a : form->findChildren<QAction*>()) {
        if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(++serial);
        NameA = "vwinA_" + tag;
        NameB = "vwinB_" + tag;
        Modem = TVirtualNullModem::Create(NameA, NameB);
        ASSERT_TRUE(Modem) << "virtual pair, error " << LastPlatformError();
        Dir = Temp.emplace("tessal-window").Dir();
        OldDir = std::filesystem::current_path();
        std::filesystem::current_path(Dir);
        CommandFile = (Dir / "device.tsl").string();
        std::ofstream(CommandFile) << kTestCommands;
        std::ofstream("tessal.ini") << CommandFile << "\r\n";
        Peer = SerialOpen(NameB);
        ASSERT_NE(Peer, InvalidSerialHandle) << LastPlatformError();
        COMMTIMEOUTS timeouts;
        timeouts.ReadIntervalTimeout = 20;
        timeouts.ReadTotalTimeoutConstant = 200;
        ASSERT_TRUE(SetDeviceTimeouts(Peer, timeouts));
        StorePortSettings(NameA, br9600);
        // Sanitizer builds answer slowly: a late answer is not what these tests are about.
        StoreAnswerTimeout(kTestAnswerTimeoutMs);
    }

    // The answer time-out a previous run left (also the silence that ends an answer).
    static constexpr std::int32_t kTestAnswerTimeoutMs = 1000;
    static void StoreAnswerTimeout(std::int32_t ms) {
        TRegistry registry(HKEY_CURRENT_USER);
        ASSERT_TRUE(registry.OpenKey("Software\\Tessal", true));
        registry.WriteInteger("AnswerTimeout", ms);
    }

    // The settings a previous run left, so the window starts without asking for them.
    static void StorePortSettings(const std::string& port, TBaudRate rate) {
        TComPort stored;
        stored.SetName("ComPort");
        stored.SetPort(port);
        stored.SetBaudRate(rate);
        stored.StoreSettings(stRegistry, kPortSettingsKey);
    }

    void TearDown() override {
        Reader.reset();
        // A test's lamp handlers capture its locals, gone by now; the lamps still change while
        // the form closes.
        if (Form) {
            for (TComLed* led : Form->findChildren<TComLed*>()) {
                led->OnChange = nullptr;
            }
        }
        View.reset();
        Form.reset();
        if (Peer != InvalidSerialHandle) {
            SerialClose(Peer);
        }
        std::filesystem::current_path(OldDir);
        Temp.reset();
    }

    void Start() { StartOn(NameA); }
    void StartOn(const std::string& port) {
        TTessalOptions options;
        options.PortName = port;
        View.reset();
        Form = std::make_unique<TTessalForm>(options);
        View = std::make_unique<TGridView>(Form->Grid());
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    }

    template <typename W>
    W* Find(const char* name) const {
        W* widget = Form->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void PeerWrite(const TBytes& bytes) {
        std::uint32_t n = 0;
        ASSERT_TRUE(
            SerialWrite(Peer, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &n, nullptr));
        ASSERT_EQ(n, bytes.size());
    }

    TBytes PeerRead(std::uint32_t count) {
        TBytes bytes(count);
        std::uint32_t n = 0;
        EXPECT_TRUE(SerialRead(Peer, bytes.data(), count, &n, nullptr));
        bytes.resize(n);
        return bytes;
    }

    bool PeerCts() const {
        std::uint32_t status = 0;
        return GetDeviceModemStatus(Peer, status) && (status & MS_CTS_ON) != 0;
    }

    QAction* Action(const char* text) const {
        QAction* action = MenuItem(Form.get(), text);
        EXPECT_NE(action, nullptr) << text;
        return action;
    }

    // "File" -> "Open ..." with the path typed into the dialog.
    void OpenFromMenu(const std::string& path) { PickFile("Open ...", path); }

    // The menu item triggered and path typed into the file dialog it opens.
    void PickFile(const char* item, const std::string& path) {
        QTimer picker;
        int tries = 0;
        QObject::connect(&picker, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                if (++tries > 200) {
                    dialog->reject(); // a dialog that will not take the file fails the caller
                    return;
                }
                // Typed, as the directory's listing may not have come yet.
                dialog->findChild<QLineEdit*>("fileNameEdit")
                    ->setText(QString::fromStdString(path));
                static_cast<QDialog*>(dialog)->accept();
            }
        });
        picker.start(10);
        Action(item)->trigger();
        picker.stop();
    }

    std::unique_ptr<TVirtualNullModem> Modem;
    std::string NameA, NameB;
    std::optional<TTempRegistry> Temp;
    std::filesystem::path Dir, OldDir;
    std::string CommandFile;
    TSerialHandle Peer = InvalidSerialHandle;
    std::unique_ptr<TTessalForm> Form;
    // The grid as its view knows it; made with the window.
    std::unique_ptr<TGridView> View;
    std::unique_ptr<TPeerReader> Reader;
    // Lamp changes seen; a member, since the lamps still change while the window closes.
    std::vector<TLedState> LampStates;
};
