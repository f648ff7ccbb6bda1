// The received-frames grid RXFrameStringGrid: a table view over TRxFramesModel with its own cell
// painting, editing in the "Parameters" column only, and the "Delete all" context menu. Tab leaves
// it, from a cell editor too. The "Answer" and "Operation code" columns are as wide as the longest
// text they may show: the loaded file's command names, and the cells of the rows since the last
// clear, each row measured once as it comes. Ctrl+C copies the selected rows.
#pragma once

#include "app/window/RxFramesModel.h"

#include <QStyledItemDelegate>
#include <QTableView>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
    // "Time" (shown after "Nr") and "Answer time" (after "Status"): hidden unless asked for.
    void ShowColumn(TGridColumn col, bool shown);
    bool ColumnShown(TGridColumn col) const { return !isColumnHidden(col); }
    // The "Answer" texts of the file loaded: its command box items.
    void SetAnswerTexts(const std::vector<std::string>& items);
    // A cell's editor is open.
    bool Editing() const { return state() == EditingState; }
    // The rows with a selected cell (or the current row), one line each in the export's columns,
    // tab-separated: what Ctrl+C puts on the clipboard.
    QString SelectedRowsText() const;

    // Runs for "Delete all" (the window's ClearRxFrames).
    std::function<void()> OnDeleteAll;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void RowsAppended(int lastRow);
    void RowsCleared();
    // Rows up to lastRow (a model row) are measured; each only once.
    void MeasureRows(int lastRow);
    // Cells are Latin-1: a text's width is the sum of its characters' advances in the grid's
    // font, which is set once before any text is measured.
    int TextWidth(std::string_view text);
    void FitTextColumns();

    TRxFramesModel& FramesModel;
    TRxFramesDelegate Delegate;
    QMenu* RXFramesPopupMenu;
    QAction* RXFramesDeleteall;

    double Scale = 1.0;
    std::array<int, 256> Advances{};
    bool AdvancesKnown = false;
    // Widest text seen in the fitted columns: of the file, and of the rows measured so far.
    int AnswerFileWidth = 0;
    std::array<int, kGridColumns> RowsWidth{};
    int MeasuredRows = 0;
};
