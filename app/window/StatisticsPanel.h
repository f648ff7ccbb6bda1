// View -> "Statistics": a dock with the statistics table (per command and in total) and two plots
// of the answer times, a histogram and a time series over the run. It reads the workbench's
// statistics at most kRefreshMs apart, and only while shown and after a change, so a flood of
// rows costs it nothing more. Each plot saves itself as PNG from its context menu.
#pragma once

#include "app/core/AnswerStatistics.h"

#include <QDockWidget>
#include <QTimer>

#include <cstdint>

class QChart;
class QChartView;
class QTableWidget;

class TStatisticsPanel : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 250;
    // Bins of the histogram; points of the time series (a longer run is thinned evenly).
    static constexpr int kBins = 20;
    static constexpr int kMaxPoints = 2000;

    TStatisticsPanel(const TAnswerStatistics& statistics, QWidget* parent = nullptr);

    // Shows the statistics as they are now.
    void Refresh();
    QTableWidget* Table() const { return Figures; }
    QChartView* Histogram() const { return HistogramView; }
    QChartView* Series() const { return SeriesView; }
    // The panel (plots and table) as a picture; false when it cannot be written.
    static bool SavePng(QWidget* what, const QString& path);

private:
    QChartView* AddPlot(const QString& name);
    void FillTable();
    void PlotHistogram();
    void PlotSeries();

    const TAnswerStatistics& Statistics;
    QTableWidget* Figures = nullptr;
    QChartView* HistogramView = nullptr;
    QChartView* SeriesView = nullptr;
    QTimer RefreshTimer;
    std::uint64_t Shown = UINT64_MAX;
};
