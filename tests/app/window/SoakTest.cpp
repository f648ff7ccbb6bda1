// The timer path against everything else the GUI thread does: fast auto-repeat with answers
// coming back while "ASCII" toggles and the grid is emptied. Run under ThreadSanitizer with
// TESSAL_SOAK_MS=10000 for the long version.
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QPushButton>

#include <cstdlib>

TEST_F(TWindowTest, FastRepeatWithAnswersWhileTheGridChanges) {
    const char* soak = std::getenv("TESSAL_SOAK_MS");
    const int durationMs = soak != nullptr ? std::atoi(soak) : 1500;
    Start();
    Form->SetRepeatPeriod(5);
    // The far end answers every read that brought bytes with one answer frame; its reads return
    // as soon as bytes are there.
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    timeouts.ReadTotalTimeoutMultiplier = 0xFFFFFFFF;
    timeouts.ReadTotalTimeoutConstant = 100;
    ASSERT_TRUE(SetDeviceTimeouts(Peer, timeouts));
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::thread device([&] {
        std::uint8_t buffer[256];
        while (!stop) {
            std::uint32_t n = 0;
            if (SerialRead(Peer, buffer, sizeof buffer, &n, nullptr) && n > 0) {
                const TBytes answer = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};
                std::uint32_t written = 0;
                SerialWrite(Peer, answer.data(), 6, &written, nullptr);
                ++answered;
            }
        }
    });
    auto* ascii = Find<QCheckBox>("HexCheckBox");
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    const auto end = TClock::now() + std::chrono::milliseconds(durationMs);
    int round = 0;
    while (TClock::now() < end) {
        const int before = answered;
        EXPECT_TRUE(QTest::qWaitFor([&] { return answered > before; }, 5000));
        ascii->setChecked(!ascii->isChecked());
        if (++round % 7 == 0) {
            Form->Grid()->DeleteAllAction()->trigger();
        }
    }
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    EXPECT_FALSE(Form->Repeating());
    stop = true;
    device.join();
    EXPECT_GT(answered.load(), durationMs / 50);
    // Every row the view shows is whole: a TX row, an answer with its verdict, or a request's
    // "No answer" when the next went before its answer came.
    ASSERT_TRUE(View->CatchUp(Form->Bench()));
    for (int r = 0; r < View->TellCount(); ++r) {
        const std::string status = View->Text(r, kColStatus);
        EXPECT_TRUE(status == "TX" || status == "CRC OK" || status == "Timeout" ||
                    status == "Too short/timeout" || status == "No answer")
            << r << ": " << status;
    }
}
