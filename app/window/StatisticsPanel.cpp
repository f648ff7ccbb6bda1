#include "app/window/StatisticsPanel.h"

#include "app/core/TimeText.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineSeries>
#include <QMenu>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

const QStringList kHeaders = {"Command",   "Sent",      "CRC OK",    "CRC FAIL",
                              "Timeout",   "Too short", "No answer", "Min ms",
                              "Median ms", "95 % ms",   "Max ms"};

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void EmptyChart(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

} // namespace

TStatisticsPanel::TStatisticsPanel(const TAnswerStatistics& statistics, QWidget* parent)
    : QDockWidget("Statistics", parent), Statistics(statistics) {
    setObjectName("StatisticsPanel");
    setAccessibleName("Statistics");
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    Figures = new QTableWidget(0, static_cast<int>(kHeaders.size()), body);
    Figures->setObjectName("StatisticsTable");
    Figures->setAccessibleName("Statistics per command");
    Figures->setHorizontalHeaderLabels(kHeaders);
    Figures->verticalHeader()->hide();
    Figures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Figures->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(Figures, 1);
    HistogramView = AddPlot("Answer times");
    SeriesView = AddPlot("Answer times over the run");
    layout->addWidget(HistogramView, 2);
    layout->addWidget(SeriesView, 2);
    setWidget(body);
    RefreshTimer.setInterval(kRefreshMs);
    connect(&RefreshTimer, &QTimer::timeout, this, [this] {
        if (isVisible() && Shown != Statistics.GetGeneration()) {
            Refresh();
        }
    });
    RefreshTimer.start();
}

QChartView* TStatisticsPanel::AddPlot(const QString& name) {
    auto* chart = new QChart();
    chart->setTitle(name);
    chart->legend()->hide();
    auto* view = new QChartView(chart, this);
    view->setObjectName(name);
    view->setAccessibleName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(160);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view, name](const QPoint& at) {
        QMenu menu(view);
        menu.addAction("Save as PNG...", [this, view, name] {
            const QString path =
                QFileDialog::getSaveFileName(this, "Save plot", name + ".png", "PNG (*.png)");
            if (!path.isEmpty()) {
                SavePng(view, path);
            }
        });
        menu.exec(view->mapToGlobal(at));
    });
    return view;
}

bool TStatisticsPanel::SavePng(QWidget* what, const QString& path) {
    return what->grab().save(path, "PNG");
}

void TStatisticsPanel::Refresh() {
    Shown = Statistics.GetGeneration();
    FillTable();
    PlotHistogram();
    PlotSeries();
}

void TStatisticsPanel::FillTable() {
    const std::vector<TAnswerSummary> summaries = Statistics.Summaries();
    Figures->setRowCount(static_cast<int>(summaries.size()));
    for (int row = 0; row < static_cast<int>(summaries.size()); ++row) {
        const TAnswerSummary& s = summaries[static_cast<std::size_t>(row)];
        const auto time = [&](std::uint32_t micros) {
            return s.Answers == 0 ? QString() : QString::fromStdString(AnswerTimeText(micros));
        };
        const QStringList cells = {Latin1(s.Name),
                                   QString::number(s.Sent),
                                   QString::number(s.Rows[rkCrcOk]),
                                   QString::number(s.Rows[rkCrcFail]),
                                   QString::number(s.Timeouts()),
                                   QString::number(s.TooShort()),
                                   QString::number(s.Rows[rkNoAnswer]),
                                   time(s.MinMicros),
                                   time(s.MedianMicros),
                                   time(s.P95Micros),
                                   time(s.MaxMicros)};
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            item->setTextAlignment(col == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                            : Qt::AlignRight | Qt::AlignVCenter);
            Figures->setItem(row, col, item);
        }
    }
}

void TStatisticsPanel::PlotHistogram() {
    QChart* chart = HistogramView->chart();
    EmptyChart(chart);
    const std::vector<TAnswerSample>& samples = Statistics.Samples();
    if (samples.empty()) {
        return;
    }
    const auto [low, high] = std::minmax_element(
        samples.begin(), samples.end(), [](const TAnswerSample& a, const TAnswerSample& b) {
            return a.AnswerMicros < b.AnswerMicros;
        });
    const double from = low->AnswerMicros / 1000.0;
    const double width = std::max((high->AnswerMicros - low->AnswerMicros) / 1000.0 / kBins, 0.1);
    std::vector<int> counts(kBins, 0);
    for (const TAnswerSample& s : samples) {
        const int bin = static_cast<int>((s.AnswerMicros / 1000.0 - from) / width);
        ++counts[static_cast<std::size_t>(std::clamp(bin, 0, kBins - 1))];
    }
    auto* set = new QBarSet("Answers");
    QStringList labels;
    for (int bin = 0; bin < kBins; ++bin) {
        *set << counts[static_cast<std::size_t>(bin)];
        labels << QString::number(from + bin * width, 'f', 1);
    }
    auto* series = new QBarSeries();
    series->append(set);
    series->setBarWidth(1.0);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis();
    x->append(labels);
    x->setTitleText("answer time, ms (bin start)");
    x->setLabelsAngle(-90);
    auto* y = new QValueAxis();
    y->setRange(0, *std::max_element(counts.begin(), counts.end()));
    y->setLabelFormat("%d");
    y->setTitleText("answers");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}

void TStatisticsPanel::PlotSeries() {
    QChart* chart = SeriesView->chart();
    EmptyChart(chart);
    const std::vector<TAnswerSample>& samples = Statistics.Samples();
    if (samples.empty()) {
        return;
    }
    const std::size_t step = (samples.size() + kMaxPoints - 1) / kMaxPoints;
    auto* series = new QLineSeries();
    double highest = 0;
    const std::int64_t start = samples.front().WallMicros;
    QList<QPointF> points;
    for (std::size_t k = 0; k < samples.size(); k += step) {
        const double ms = samples[k].AnswerMicros / 1000.0;
        points.append({(samples[k].WallMicros - start) / 1e6, ms});
        highest = std::max(highest, ms);
    }
    series->replace(points);
    chart->addSeries(series);
    auto* x = new QValueAxis();
    x->setRange(0, std::max(points.back().x(), 1.0));
    x->setTitleText("time into the run, s");
    auto* y = new QValueAxis();
    y->setRange(0, highest * 1.1 + 0.1);
    y->setTitleText("answer time, ms");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}
