#include "app/RxFramesModel.h"

#include <QMetaObject>

TRxFramesModel::TRxFramesModel(TFrameRows& rows, QObject* parent)
    : QAbstractTableModel(parent), FrameRows(rows), ShownClears(rows.GetClearCount()),
      ShownFrames(rows.GetFrameCount()) {}

int TRxFramesModel::rowCount(const QModelIndex& parent) const {
    // An empty grid still shows one blank row under the headers.
    return parent.isValid() ? 0 : (ShownFrames == 0 ? 1 : ShownFrames);
}

int TRxFramesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kGridColumns;
}

QString TRxFramesModel::Cell(int col, int gridRow) const {
    const std::string_view text = FrameRows.Cell(col, gridRow);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant TRxFramesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() ||
        (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole)) {
        return {};
    }
    return Cell(index.column(), index.row() + 1);
}

QVariant TRxFramesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return section < kGridColumns ? QVariant(QString::fromLatin1(kGridHeaders[section]))
                                      : QVariant();
    }
    return section + 1;
}

Qt::ItemFlags TRxFramesModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == kColParameters &&
        index.row() + 1 <= FrameRows.GetFrameCount()) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool TRxFramesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() != kColParameters) {
        return false;
    }
    const QByteArray text = value.toString().toLatin1();
    if (!FrameRows.SetParametersText(index.row() + 1, text.toStdString())) {
        return false;
    }
    emit dataChanged(index, index);
    return true;
}

void TRxFramesModel::RowsChanged() {
    if (SyncPending) {
        return;
    }
    SyncPending = true;
    QMetaObject::invokeMethod(this, &TRxFramesModel::Sync, Qt::QueuedConnection);
}

void TRxFramesModel::Sync() {
    SyncPending = false;
    const std::int32_t frames = FrameRows.GetFrameCount();
    if (FrameRows.GetClearCount() != ShownClears) {
        beginResetModel();
        ShownClears = FrameRows.GetClearCount();
        ShownFrames = frames;
        endResetModel();
    } else if (frames > ShownFrames) {
        if (ShownFrames == 0) {
            // The blank row becomes the first frame row.
            ShownFrames = 1;
            emit dataChanged(index(0, 0), index(0, kGridColumns - 1));
        }
        if (frames > ShownFrames) {
            beginInsertRows(QModelIndex(), ShownFrames, frames - 1);
            ShownFrames = frames;
            endInsertRows();
        }
    } else {
        return;
    }
    if (ShownFrames > 0) {
        emit RowsAppended(ShownFrames - 1);
    }
}
