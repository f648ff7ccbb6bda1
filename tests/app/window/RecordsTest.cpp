// Time and records in the window: the time columns, the export and its progress, the clipboard,
// the statistics panel and captures replayed at once and at their pace.
#include "WindowTestKit.h"

#include "app/core/Capture.h"
#include "app/core/RowExport.h"
#include "app/core/TimeText.h"
#include "app/window/StatisticsPanel.h"
#include "app/window/TrafficRecords.h"
#include "tests/common/FrameBytes.h"

#include <QChartView>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProgressDialog>
#include <QTableWidget>

namespace {

const TBytes kAnswer = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};

// A capture of requests, each answered after answerMicros[k] (0: no answer), a second apart.
std::string Capture(const std::vector<std::int64_t>& answerMicros) {
    std::string text = std::string(kCaptureFirstLine) + "\n";
    const TBytes ping = WithCrc({0xFF, 0, 0x00});
    std::int64_t t = 1765118607000000;
    for (const std::int64_t answer : answerMicros) {
        AppendCaptureLines(text, ckSent, t, ping);
        AppendCaptureLines(text, ckTxEmpty, t + 500);
        if (answer > 0) {
            AppendCaptureLines(text, ckReceived, t + 500 + answer, kAnswer);
        }
        AppendCaptureLines(text, ckAnswerTimeout, t + 100000 + answer);
        t += 1000000;
    }
    return text;
}

} // namespace

TEST_F(TWindowTest, TimeColumnsAreOffUntilAskedForAndTheChoiceIsKept) {
    Start();
    QHeaderView* header = Form->Grid()->horizontalHeader();
    EXPECT_FALSE(Action("Time")->isChecked());
    EXPECT_TRUE(header->isSectionHidden(kColTime) && header->isSectionHidden(kColAnswerTime));
    Action("Time")->trigger();
    Action("Answer time")->trigger();
    std::ofstream("one.capture") << Capture({12345});
    Form->OpenCapture("one.capture", false);
    WAIT_TRUE(Form->StatusText().toStdString() == "Capture replayed: 4 events");
    ASSERT_TRUE(View->WaitRows(2));
    // Shown after "Nr" and after "Status".
    const TFrameRows& rows = Form->Bench().Rows();
    EXPECT_EQ(View->Row(1),
              (std::vector<std::string>{"1", ClockTimeText(rows.TimeMicros(2)), "01", "06", "00",
                                        "", "0x05   ACK", "94 B1", "CRC OK", "12.3"}));
    EXPECT_EQ(View->Row(0)[1], ClockTimeText(1765118607000000));
    EXPECT_EQ(View->Row(0)[9], "");

    Form.reset();
    Start();
    EXPECT_TRUE(Action("Time")->isChecked() && Action("Answer time")->isChecked());
    EXPECT_FALSE(Form->Grid()->horizontalHeader()->isSectionHidden(kColTime));
    Action("Time")->trigger();
    Form.reset();
    Start();
    EXPECT_TRUE(Form->Grid()->horizontalHeader()->isSectionHidden(kColTime));
    EXPECT_FALSE(Form->Grid()->horizontalHeader()->isSectionHidden(kColAnswerTime));
}

// Over 100,000 rows an export shows its progress and may be cancelled, which leaves no file;
// the file written holds the grid's rows.
TEST_F(TWindowTest, ExportsShowProgressCancelCleanlyAndHoldTheGridsRows) {
    Start();
    std::string text = std::string(kCaptureFirstLine) + "\n";
    TBytes chunk;
    for (int k = 0; k < 100; ++k) {
        chunk.insert(chunk.end(), kAnswer.begin(), kAnswer.end());
    }
    for (int k = 0; k < 1100; ++k) {
        AppendCaptureLines(text, ckReceived, 1765118607000000 + k, chunk);
    }
    std::ofstream("flood.capture") << text;
    Form->OpenCapture("flood.capture", false);
    WAIT_TRUE(Form->Bench().Rows().GetFrameCount() == 110000 && !Form->Records().Replaying());

    QTimer canceller;
    int seen = 0;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (auto* progress = Form->findChild<QProgressDialog*>("ExportProgress")) {
            if (progress->isVisible() && progress->value() > 0 && ++seen == 1) {
                progress->cancel();
            }
        }
    });
    canceller.start(0);
    EXPECT_FALSE(Form->ExportRows("rows.csv"));
    canceller.stop();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(Form->StatusText().toStdString(), "Export cancelled: no file written");
    const auto exports = [&] {
        return std::count_if(std::filesystem::directory_iterator(Dir), {}, [](const auto& e) {
            return e.path().filename().string().starts_with("rows.csv");
        });
    };
    EXPECT_EQ(exports(), 0);

    PickFile("Export rows...", (Dir / "rows.csv").string());
    EXPECT_EQ(Form->StatusText().toStdString(),
              "Exported 110000 rows to " + (Dir / "rows.csv").string());
    std::ifstream in("rows.csv", std::ios::binary);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line + "\n", CsvLine(kExportHeaders));
    int count = 0;
    for (; std::getline(in, line); ++count) {
        if (count % 27000 == 0) {
            EXPECT_EQ(line + "\n", CsvLine(ExportRow(Form->Bench().Rows(), count + 1)));
            EXPECT_NE(line.find("\"" + View->Text(count, kColOpCode) + "\""), std::string::npos);
        }
    }
    EXPECT_EQ(count, 110000);
    EXPECT_EQ(exports(), 1);
}

TEST_F(TWindowTest, CtrlCCopiesTheSelectedRowsTabSeparated) {
    Start();
    std::ofstream("two.capture") << Capture({2000, 0, 3000});
    Form->OpenCapture("two.capture", false);
    ASSERT_TRUE(View->WaitRows(6));
    WAIT_TRUE(!Form->Records().Replaying());
    TRxFrameGrid* grid = Form->Grid();
    grid->setFocus();
    grid->selectionModel()->clear();
    grid->setCurrentIndex(grid->model()->index(1, 0));
    QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    const TFrameRows& rows = Form->Bench().Rows();
    std::string expected;
    for (std::int32_t r = 2; r <= 4; ++r) {
        expected += TabLine(ExportRow(rows, r));
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
    EXPECT_EQ(grid->model()->index(1, kColParameters).data().toString(), "");
}

TEST_F(TWindowTest, StatisticsPanelShowsTheFiguresAndSavesItsPlots) {
    Start();
    Action("Statistics")->trigger();
    TStatisticsPanel* panel = Form->Statistics();
    ASSERT_TRUE(panel->isVisible());
    std::ofstream("run.capture") << Capture({2000, 0, 3000, 5000, 4000});
    Form->OpenCapture("run.capture", false);
    WAIT_TRUE(!Form->Records().Replaying());
    // It follows within its refresh period.
    QTableWidget* table = panel->Table();
    WAIT_EQ(table->rowCount(), 2);
    const auto cells = [&](int row) {
        std::vector<std::string> texts;
        for (int col = 0; col < table->columnCount(); ++col) {
            texts.push_back(table->item(row, col)->text().toStdString());
        }
        return texts;
    };
    WAIT_EQ(cells(1), (std::vector<std::string>{"Total", "5", "4", "0", "0", "0", "1", "2.0", "3.0",
                                                "5.0", "5.0"}));
    EXPECT_EQ(cells(0)[0], "0x00  PING");
    const std::string png = (Dir / "plot.png").string();
    EXPECT_TRUE(TStatisticsPanel::SavePng(panel->Histogram(), QString::fromStdString(png)));
    EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());
    Form->RXFramesDeleteallClick();
    WAIT_EQ(table->rowCount(), 1);
}

// At its pace a capture takes as long as it took; a broken one stops at its error.
TEST_F(TWindowTest, CapturesReplayAtTheirPaceAndStopAtAnError) {
    Start();
    std::string text = Capture({2000, 3000, 4000});
    std::ofstream("paced.capture") << text;
    QElapsedTimer clock;
    clock.start();
    Form->OpenCapture("paced.capture", true);
    WAIT_TRUE(Form->Bench().Rows().GetFrameCount() >= 2);
    EXPECT_LT(Form->Bench().Rows().GetFrameCount(), 6);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->Records().Replaying(); }, 10000));
    EXPECT_GE(clock.elapsed(), 2100);
    EXPECT_EQ(Form->Bench().Rows().GetFrameCount(), 6);

    std::ofstream("broken.capture") << text.substr(0, text.find("TXEMPTY")) << "TXEMPTY x\n";
    Form->OpenCapture("broken.capture", false);
    WAIT_EQ(Form->StatusText().toStdString(), "Line 3: 'x' is not a time in microseconds");
    Form->OpenCapture("missing.capture", false);
    EXPECT_EQ(Form->StatusText().toStdString(), "Cannot open missing.capture");
}
