// The received-frames grid as its view knows it. The model reads the workbench's rows at once,
// but the view learns of them only from the model's signals, a turn of the event loop later; so
// rows are counted here from those signals alone (rows inserted, a reset, the blank row turned
// into the first frame row), cells are read through the view's model with their roles, and
// colours are read from the painted viewport.
#pragma once

#include "app/window/Tessalmain.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

class TGridView : public QObject {
public:
    explicit TGridView(TRxFrameGrid* grid) : Grid(grid), Model(grid->model()) {
        Told = Frames();
        connect(Model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int last) { Told += last - first + 1; });
        connect(Model, &QAbstractItemModel::modelReset, this, [this] { Told = Frames(); });
        connect(Model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from) {
            if (Told == 0 && from.row() == 0 && Frames() > 0) {
                Told = 1;
            }
        });
    }

    QVariant Cell(int row, int col, int role = Qt::DisplayRole) const {
        return Model->index(row, col).data(role);
    }
    std::string Text(int row, int col) const { return Cell(row, col).toString().toStdString(); }
    // The cells a person sees: the columns shown, in the order shown.
    std::vector<std::string> Row(int row) const {
        std::vector<std::string> cells;
        const QHeaderView* header = Grid->horizontalHeader();
        for (int at = 0; at < header->count(); ++at) {
            const int col = header->logicalIndex(at);
            if (!header->isSectionHidden(col)) {
                cells.push_back(Text(row, col));
            }
        }
        return cells;
    }
    // The model's frame rows: its rows but the blank one of an empty grid, which has no kind.
    int Frames() const {
        const int rows = Model->rowCount();
        return rows == 1 && !Cell(0, 0, TRxFramesModel::KindRole).isValid() ? 0 : rows;
    }
    // Frame rows the view was told of.
    int TellCount() const { return Told; }
    // Those of them of one kind.
    std::vector<int> RowsOf(TRowKind kind) const {
        std::vector<int> rows;
        for (int row = 0; row < Told; ++row) {
            if (Cell(row, kColNr, TRxFramesModel::KindRole) == static_cast<int>(kind)) {
                rows.push_back(row);
            }
        }
        return rows;
    }
    int Count(TRowKind kind) const { return static_cast<int>(RowsOf(kind).size()); }

    // Serves the event loop until the view was told of exactly n frame rows (at least n with
    // atLeast), and the model and the view's own row count agree with it.
    ::testing::AssertionResult WaitRows(int n, bool atLeast = false) const {
        const auto done = [&] {
            return (atLeast ? Told >= n : Told == n) && Frames() == Told &&
                   Grid->verticalHeader()->count() == std::max(Told, 1);
        };
        if (QTest::qWaitFor(done, 5000)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "waited for " << (atLeast ? "at least " : "") << n << " rows; the view was told "
               << Told << ", the model has " << Frames() << ", the view counts "
               << Grid->verticalHeader()->count();
    }
    // Until the view was told of every row the workbench holds.
    ::testing::AssertionResult CatchUp(const TWorkbench& bench) const {
        if (QTest::qWaitFor([&] { return Told == bench.Rows().GetFrameCount(); }, 5000)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "the view was told " << Told << " of " << bench.Rows().GetFrameCount() << " rows";
    }

    // A cell as painted: the colour most of it shows, and its ink, the pixel farthest from that.
    struct TPaint {
        QColor Background;
        QColor Ink;
    };
    QImage Shot() const { return Grid->viewport()->grab().toImage(); }
    TPaint Painted(const QImage& shot, int row, int col) const {
        // The grid line takes the cell's last column and row of pixels.
        const QRect cell = Grid->visualRect(Model->index(row, col)).adjusted(0, 0, -1, -1);
        std::map<QRgb, int> seen;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                ++seen[shot.pixel(x, y)];
            }
        }
        QRgb background = 0;
        int most = 0;
        for (const auto& [rgb, count] : seen) {
            if (count > most) {
                background = rgb;
                most = count;
            }
        }
        QRgb ink = background;
        for (const auto& [rgb, count] : seen) {
            if (Distance(rgb, background) > Distance(ink, background)) {
                ink = rgb;
            }
        }
        return {QColor(background), QColor(ink)};
    }
    static int Distance(QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b));
    }

private:
    TRxFrameGrid* Grid;
    QAbstractItemModel* Model;
    int Told = 0;
};
