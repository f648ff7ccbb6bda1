// Time and records in the window: the "Time" and "Answer time" columns (View menu, stored under
// the settings key), the statistics panel, the rows exported as CSV, and the traffic recorded to
// and replayed from a capture file.
#include "app/window/Tessalmain.h"

#include "app/core/ExportFile.h"
#include "app/core/RowExport.h"
#include "app/window/StatisticsPanel.h"
#include "app/window/TrafficRecords.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace {

// Rows rendered and written per step of an export.
constexpr std::int32_t kExportSlice = 5000;

std::string LocalPath(const QString& path) {
    return path.toLocal8Bit().toStdString();
}

} // namespace

void TTessalForm::BuildRecordsMenus(QMenu* file, QAction* before, QMenu* view) {
    MenuExportRows = new QAction("Export rows...", this);
    MenuExportRows->setObjectName("MenuExportRows");
    MenuExportRows->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    MenuRecordTraffic = new QAction("Record traffic...", this);
    MenuRecordTraffic->setObjectName("MenuRecordTraffic");
    MenuRecordTraffic->setCheckable(true);
    MenuOpenCapture = new QAction("Open capture...", this);
    MenuOpenCapture->setObjectName("MenuOpenCapture");
    file->insertActions(before, {MenuExportRows, MenuRecordTraffic, MenuOpenCapture});
    file->insertSeparator(before);

    MenuShowTime = view->addAction("Time");
    MenuShowTime->setObjectName("MenuShowTime");
    MenuShowAnswerTime = view->addAction("Answer time");
    MenuShowAnswerTime->setObjectName("MenuShowAnswerTime");
    for (QAction* action : {MenuShowTime, MenuShowAnswerTime}) {
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, &TTessalForm::OnMenuTimeColumnsClick);
    }
    view->addSeparator();
    StatisticsPanel = new TStatisticsPanel(Workbench.Statistics(), this);
    addDockWidget(Qt::RightDockWidgetArea, StatisticsPanel);
    StatisticsPanel->hide();
    MenuStatistics = StatisticsPanel->toggleViewAction();
    MenuStatistics->setObjectName("MenuStatistics");
    MenuStatistics->setText("Statistics");
    view->addAction(MenuStatistics);

    TrafficRecords = std::make_unique<TTrafficRecords>(
        Workbench, [this](TWorkbenchOutcome out) { ApplyOutcome(out); });
    connect(TrafficRecords.get(), &TTrafficRecords::ReplayEnded, this,
            [this](const QString& status) { SetStatus(status.toStdString()); });
    connect(MenuExportRows, &QAction::triggered, this, &TTessalForm::OnMenuExportRowsClick);
    connect(MenuRecordTraffic, &QAction::triggered, this, &TTessalForm::OnMenuRecordTrafficClick);
    connect(MenuOpenCapture, &QAction::triggered, this, &TTessalForm::OnMenuOpenCaptureClick);
}

void TTessalForm::OnMenuTimeColumnsClick() {
    RXFrameStringGrid->ShowColumn(kColTime, MenuShowTime->isChecked());
    RXFrameStringGrid->ShowColumn(kColAnswerTime, MenuShowAnswerTime->isChecked());
    Guarded([this] { StoreOptions(); });
}

void TTessalForm::OnMenuExportRowsClick() {
    const QString path =
        QFileDialog::getSaveFileName(this, "Export rows", "rows.csv", "CSV (*.csv)");
    if (!path.isEmpty()) {
        ExportRows(LocalPath(path));
    }
}

bool TTessalForm::ExportRows(const std::string& path) {
    const TFrameRows& rows = Workbench.Rows();
    const std::int32_t total = rows.GetFrameCount();
    const std::uint64_t clears = rows.GetClearCount();
    std::unique_ptr<QProgressDialog> progress;
    if (total > kExportProgressRows) {
        progress = std::make_unique<QProgressDialog>("Exporting rows...", "Cancel", 0, total, this);
        progress->setObjectName("ExportProgress");
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
    }
    TExportFile file(path);
    std::string error;
    bool ok = file.Open(error) && file.Write(CsvLine(kExportHeaders), error);
    std::string text;
    for (std::int32_t row = 1; ok && row <= total;) {
        text.clear();
        for (const std::int32_t last = std::min(total, row + kExportSlice - 1); row <= last;
             ++row) {
            text += CsvLine(ExportRow(rows, row));
        }
        ok = file.Write(text, error);
        if (progress) {
            progress->setValue(row - 1);
            QCoreApplication::processEvents();
            if (progress->wasCanceled() || rows.GetClearCount() != clears) {
                file.Abandon();
                SetStatus(progress->wasCanceled() ? "Export cancelled: no file written"
                                                  : "Export stopped: the rows were deleted");
                return false;
            }
        }
    }
    ok = ok && file.Commit(error);
    SetStatus(ok ? "Exported " + std::to_string(total) + " rows to " + path : error);
    return ok;
}

void TTessalForm::OnMenuRecordTrafficClick() {
    if (!MenuRecordTraffic->isChecked()) {
        RecordTraffic(false);
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, "Record traffic", "traffic.capture",
                                                      "Captures (*.capture);;All files (*)");
    if (path.isEmpty()) {
        MenuRecordTraffic->setChecked(false);
        return;
    }
    RecordTraffic(true, LocalPath(path));
}

void TTessalForm::RecordTraffic(bool on, const std::string& path) {
    SetStatus(on ? TrafficRecords->StartRecording(path) : TrafficRecords->StopRecording());
    MenuRecordTraffic->setChecked(TrafficRecords->Recording());
}

void TTessalForm::OnMenuOpenCaptureClick() {
    const QString path = QFileDialog::getOpenFileName(this, "Open capture", QString(),
                                                      "Captures (*.capture);;All files (*)");
    if (path.isEmpty()) {
        return;
    }
    QMessageBox ask(QMessageBox::Question, "Open capture",
                    "Replay the capture:", QMessageBox::Cancel, this);
    ask.setObjectName("ReplayModeBox");
    QPushButton* atOnce = ask.addButton("At once", QMessageBox::AcceptRole);
    QPushButton* atPace = ask.addButton("At the recorded pace", QMessageBox::AcceptRole);
    ask.setDefaultButton(atOnce);
    ask.exec();
    if (ask.clickedButton() == atOnce || ask.clickedButton() == atPace) {
        OpenCapture(LocalPath(path), ask.clickedButton() == atPace);
    }
}

void TTessalForm::OpenCapture(const std::string& path, bool atPace) {
    // The grid and the statistics show the capture alone; the line's own timers stop.
    ApplyOutcome(Workbench.StopRepeat());
    UARTTimeout.stop();
    TimeForDataTimer.stop();
    ApplyOutcome(Workbench.DeleteAll());
    SetStatus(TrafficRecords->StartReplay(path, atPace));
}
