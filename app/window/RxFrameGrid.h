// The received-frames grid RXFrameStringGrid: a table view over TRxFramesModel with its own cell
// painting, editing in the "Parameters" column only, and the "Delete all" context menu.
#pragma once

#include "app/window/RxFramesModel.h"

#include <QStyledItemDelegate>
#include <QTableView>

#include <array>
#include <functional>

class QMenu;
class QAction;

// Paints a cell in the colours and the alignment the model gives it, over the state's own.
class TRxFramesDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TRxFramesDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    enum TCellAlign { caCentre, caRight, caLeft };
    // Fills rect with the painter's brush colour and draws text in it, clipped: centred, right
    // or left as align says, vertically centred.
    static void DrawCellText(QPainter* painter, const QString& text, TCellAlign align,
                             const QRect& rect, const QColor& background);
};

class TRxFrameGrid : public QTableView {
    Q_OBJECT
public:
    explicit TRxFrameGrid(TRxFramesModel& model, QWidget* parent = nullptr);

    TRxFramesModel& Model() { return FramesModel; }
    QAction* DeleteAllAction() const { return RXFramesDeleteall; }
    // The start-up widths at the screen's scale, the resize rule for column 4.
    void SetStartWidths(double scale);
    void FitParametersColumn();
    // A cell's editor is open.
    bool Editing() const { return state() == EditingState; }

    // Runs for "Delete all" (the window's ClearRxFrames).
    std::function<void()> OnDeleteAll;

private:
    void RowsAppended(int lastRow);

    TRxFramesModel& FramesModel;
    TRxFramesDelegate Delegate;
    QMenu* RXFramesPopupMenu;
    QAction* RXFramesDeleteall;
};
