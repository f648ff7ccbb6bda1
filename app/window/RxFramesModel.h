// The received-frames grid's model: a table over TFrameRows. Text, colours and the accessible
// texts come from each row's kind (TRowKind); the view paints what the model says. The rows
// change in bursts (one
// reception may carry many frames, a flood thousands), so the model does not report each row:
// RowsChanged() asks for one Sync() on the next turn of the event loop, which reports everything
// that happened since as one insertion or, after a clear, one reset.
#pragma once

#include "app/core/FrameRows.h"

#include <QAbstractTableModel>

#include <cstdint>

class TRxFramesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TRxFramesModel(TFrameRows& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The row's kind (a TRowKind), for frame rows.
    static constexpr int KindRole = Qt::UserRole;

    // The cell as the grid holds it, grid rows counted with the header row as 0.
    QString Cell(int col, int gridRow) const;
    const TFrameRows& Rows() const { return FrameRows; }

    void RowsChanged();
    void Sync();
    // Every row's "Parameters" cell reads anew (the rendering changed).
    void ParametersRendered();

signals:
    // After a Sync that added frame rows: the model row of the newest.
    void RowsAppended(int lastRow);

private:
    TFrameRows& FrameRows;
    bool SyncPending = false;
    std::uint64_t ShownClears = 0;
    std::int32_t ShownFrames = 0;
};
