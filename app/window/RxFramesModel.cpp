#include "app/window/RxFramesModel.h"

#include <QColor>
#include <QMetaObject>

namespace {

const QColor kSentRowBackground(238, 238, 238);
const QColor kCrcOkText(0, 128, 0);
const QColor kCrcFailText(255, 0, 0);
const QColor kCrcOtherText(0, 0, 0);
const QColor kStatusText(0, 0, 255);
const QColor kStatusBackground(221, 221, 221);

// What a screen reader says of a row's verdict beside the "Status" text.
const char* KindDescription(TRowKind kind) {
    switch (kind) {
    case rkSent:
        return "sent frame";
    case rkCrcOk:
        return "received frame, CRC correct";
    case rkCrcFail:
        return "received frame, CRC wrong";
    case rkTimeout:
        return "received frame, cut short by the time-out";
    case rkTooShort:
    case rkTooShortTimeout:
        return "received frame, length too short";
    case rkNoAnswer:
        return "request without answer";
    }
    return "";
}

QVariant Background(int col, TRowKind kind) {
    if (col == kColStatus) {
        return kStatusBackground;
    }
    if (kind == rkSent && col >= kColAddr && col <= kColCrc) {
        return kSentRowBackground;
    }
    return {};
}

QVariant Foreground(int col, TRowKind kind) {
    if (col == kColStatus) {
        // A request left unanswered has no CRC to colour: its verdict is the failure.
        return kind == rkNoAnswer ? kCrcFailText : kStatusText;
    }
    if (col == kColCrc && kind != rkSent) {
        return kind == rkCrcOk ? kCrcOkText : kind == rkCrcFail ? kCrcFailText : kCrcOtherText;
    }
    return {};
}

} // namespace

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
    if (!index.isValid()) {
        return {};
    }
    const int col = index.column();
    const int gridRow = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole:
        return Cell(col, gridRow);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(col == kColParameters ? Qt::AlignLeft | Qt::AlignVCenter
                                                         : Qt::AlignCenter);
    default:
        break;
    }
    // The blank row of an empty grid has no kind.
    if (gridRow > ShownFrames || gridRow > FrameRows.GetFrameCount()) {
        return {};
    }
    const TRowKind kind = FrameRows.Kind(gridRow);
    switch (role) {
    case KindRole:
        return static_cast<int>(kind);
    case Qt::BackgroundRole:
        return Background(col, kind);
    case Qt::ForegroundRole:
        return Foreground(col, kind);
    case Qt::AccessibleDescriptionRole:
        return QString::fromLatin1(KindDescription(kind));
    default:
        return {};
    }
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

void TRxFramesModel::ParametersRendered() {
    if (ShownFrames > 0) {
        emit dataChanged(index(0, kColParameters), index(ShownFrames - 1, kColParameters));
    }
}
