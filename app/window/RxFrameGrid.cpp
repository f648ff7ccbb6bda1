#include "app/window/RxFrameGrid.h"

#include "app/core/RowExport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include <set>

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

TRxFramesDelegate::TRxFramesDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void TRxFramesDelegate::DrawCellText(QPainter* painter, const QString& text, TCellAlign align,
                                     const QRect& rect, const QColor& background) {
    painter->fillRect(rect, background);
    const QFontMetrics metrics = painter->fontMetrics();
    const int w = metrics.horizontalAdvance(text);
    const int h = metrics.height();
    const int dx = w < rect.width() ? (rect.width() - w) / 2 : 0;
    const int dy = (rect.height() - h) / 2;
    int x = rect.left() + 2;
    if (align == caCentre) {
        x = rect.left() + dx;
    } else if (align == caRight) {
        x = rect.right() + 1 - w - 2;
    }
    painter->save();
    painter->setClipRect(rect);
    painter->drawText(QRect(x, rect.top() + dy, w + 1, h), Qt::AlignLeft | Qt::AlignTop, text);
    painter->restore();
}

void TRxFramesDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const int col = index.column();
    const QPalette& palette = option.palette;
    // The state's own colours first: the fixed column, the current cell, a normal cell.
    QColor background = palette.color(QPalette::Base);
    QColor text = palette.color(QPalette::Text);
    if (col == kColNr) {
        background = palette.color(QPalette::Button);
        text = palette.color(QPalette::ButtonText);
    } else if (option.state & QStyle::State_Selected) {
        background = palette.color(QPalette::Highlight);
        text = palette.color(QPalette::HighlightedText);
    }
    const QVariant ruleBackground = index.data(Qt::BackgroundRole);
    const QVariant ruleText = index.data(Qt::ForegroundRole);
    if (ruleBackground.isValid()) {
        background = ruleBackground.value<QColor>();
        // Highlighted text would vanish on the rule's light background.
        if (!ruleText.isValid()) {
            text = palette.color(QPalette::Text);
        }
    }
    if (ruleText.isValid()) {
        text = ruleText.value<QColor>();
    }
    painter->save();
    painter->setFont(option.font);
    painter->setPen(text);
    const TCellAlign align =
        (index.data(Qt::TextAlignmentRole).toInt() & Qt::AlignLeft) != 0 ? caLeft : caCentre;
    DrawCellText(painter, index.data(Qt::DisplayRole).toString(), align, option.rect, background);
    painter->restore();
    if ((option.state & QStyle::State_HasFocus) && col != kColNr) {
        painter->save();
        QPen pen(palette.color(QPalette::Text));
        pen.setStyle(Qt::DotLine);
        painter->setPen(pen);
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
}

TRxFrameGrid::TRxFrameGrid(TRxFramesModel& model, QWidget* parent)
    : QTableView(parent), FramesModel(model) {
    setObjectName("RXFrameStringGrid");
    setAccessibleName("Received frames");
    setModel(&FramesModel);
    setItemDelegate(&Delegate);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The resize rule may narrow "Parameters" to 20 pixels, below the style's own minimum.
    horizontalHeader()->setMinimumSectionSize(8);
    horizontalHeader()->setHighlightSections(false);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    // Editing is allowed in "Parameters" only (the model's flags), and a click opens it there.
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);

    RXFramesPopupMenu = new QMenu(this);
    RXFramesPopupMenu->setObjectName("RXFramesPopupMenu");
    RXFramesDeleteall = RXFramesPopupMenu->addAction("Delete all");
    RXFramesDeleteall->setObjectName("RXFramesDeleteall");
    connect(RXFramesDeleteall, &QAction::triggered, this, [this] {
        if (OnDeleteAll) {
            OnDeleteAll();
        }
    });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { RXFramesPopupMenu->popup(viewport()->mapToGlobal(at)); });
    horizontalHeader()->moveSection(kColTime, kColNr + 1);
    setColumnHidden(kColTime, true);
    setColumnHidden(kColAnswerTime, true);
    connect(&FramesModel, &TRxFramesModel::RowsAppended, this, &TRxFrameGrid::RowsAppended);
    connect(&FramesModel, &QAbstractItemModel::modelReset, this, &TRxFrameGrid::RowsCleared);
}

void TRxFrameGrid::SetStartWidths(double scale) {
    Scale = scale;
    verticalHeader()->setDefaultSectionSize(static_cast<int>(18 * scale + 0.5));
    for (int col = 0; col < kGridColumns; ++col) {
        setColumnWidth(col, static_cast<int>(kGridColumnWidths[col] * scale + 0.5));
    }
}

void TRxFrameGrid::FitParametersColumn() {
    std::array<int, kGridColumns> widths{};
    for (int col = 0; col < kGridColumns; ++col) {
        widths[col] = isColumnHidden(col) ? 0 : columnWidth(col);
    }
    setColumnWidth(kColParameters, ParametersColumnWidth(width(), widths));
}

void TRxFrameGrid::ShowColumn(TGridColumn col, bool shown) {
    if (isColumnHidden(col) != shown) {
        return;
    }
    setColumnHidden(col, !shown);
    if (shown) {
        setColumnWidth(col, static_cast<int>(kGridColumnWidths[col] * Scale + 0.5));
    }
    FitParametersColumn();
}

QString TRxFrameGrid::SelectedRowsText() const {
    std::set<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        rows.insert(index.row());
    }
    if (rows.empty() && currentIndex().isValid()) {
        rows.insert(currentIndex().row());
    }
    const TFrameRows& frames = FramesModel.Rows();
    std::string text;
    for (const int row : rows) {
        if (row + 1 <= frames.GetFrameCount() && row < FramesModel.rowCount()) {
            text += TabLine(ExportRow(frames, row + 1));
        }
    }
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void TRxFrameGrid::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(SelectedRowsText());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TRxFrameGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    const bool tab = hint == QAbstractItemDelegate::EditNextItem ||
                     hint == QAbstractItemDelegate::EditPreviousItem;
    QTableView::closeEditor(editor, tab ? QAbstractItemDelegate::NoHint : hint);
    if (tab) {
        focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
    }
}

int TRxFrameGrid::TextWidth(std::string_view text) {
    if (!AdvancesKnown) {
        const QFontMetrics metrics(font());
        for (int c = 0; c < 256; ++c) {
            Advances[static_cast<std::size_t>(c)] = metrics.horizontalAdvance(QChar(c));
        }
        AdvancesKnown = true;
    }
    int width = 0;
    for (const char c : text) {
        width += Advances[static_cast<unsigned char>(c)];
    }
    return width;
}

void TRxFrameGrid::SetAnswerTexts(const std::vector<std::string>& items) {
    AnswerFileWidth = 0;
    for (const std::string& item : items) {
        AnswerFileWidth = std::max(AnswerFileWidth, TextWidth(item));
    }
    FitTextColumns();
}

void TRxFrameGrid::RowsCleared() {
    RowsWidth.fill(0);
    MeasuredRows = 0;
    FitTextColumns();
}

void TRxFrameGrid::FitTextColumns() {
    // A cell's text is drawn 2 pixels in from each side, inside its grid line.
    const int padding = static_cast<int>(8 * Scale + 0.5);
    bool changed = false;
    for (const int col : {kColAnswer, kColOpCode}) {
        const int start = static_cast<int>(kGridColumnWidths[col] * Scale + 0.5);
        const int text = std::max(RowsWidth[col], col == kColAnswer ? AnswerFileWidth : 0);
        const int width = std::max(start, text + padding);
        if (columnWidth(col) != width) {
            setColumnWidth(col, width);
            changed = true;
        }
    }
    if (changed) {
        FitParametersColumn();
    }
}

void TRxFrameGrid::MeasureRows(int lastRow) {
    const TFrameRows& rows = FramesModel.Rows();
    for (; MeasuredRows <= lastRow; ++MeasuredRows) {
        for (const int col : {kColAnswer, kColOpCode}) {
            RowsWidth[col] = std::max(RowsWidth[col], TextWidth(rows.Cell(col, MeasuredRows + 1)));
        }
    }
    FitTextColumns();
}

void TRxFrameGrid::RowsAppended(int lastRow) {
    MeasureRows(lastRow);
    // The newest row becomes current in the current column; that must not open an editor.
    const EditTriggers triggers = editTriggers();
    setEditTriggers(NoEditTriggers);
    const int col = currentIndex().isValid() ? currentIndex().column() : 0;
    const QModelIndex newest = FramesModel.index(lastRow, col);
    selectionModel()->setCurrentIndex(newest, QItemSelectionModel::ClearAndSelect);
    scrollTo(newest);
    setEditTriggers(triggers);
}
