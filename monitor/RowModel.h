#pragma once
// The monitor's rows as a table: a ring of the last rows (the oldest dropped once it is full), rows
// arriving in batches (one insertion per batch, not one per frame).
#include "LineRow.h"

#include <QAbstractTableModel>
#include <vector>

namespace monitor {

// The ring's bound: at a few hundred bytes a row, some tens of megabytes at most.
constexpr int kRowsKept = 100'000;

class RowModel : public QAbstractTableModel {
public:
    enum Column { TimeColumn, GapColumn, DirectionColumn, BytesColumn, MeaningColumn, ColumnCount };

    explicit RowModel(int capacity = kRowsKept, QObject* parent = nullptr);

    // Appends a batch; drops the oldest rows beyond the capacity.
    void appendRows(std::vector<LineRow>&& rows);
    void clear();
    const LineRow& row(int i) const; // 0: the oldest
    int capacity() const { return capacity_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int capacity_;
    // The ring: filled in order up to the capacity, then the oldest slot is overwritten by the newest row.
    std::vector<LineRow> slots_;
    std::size_t oldest_ = 0; // the slot of row 0
    int count_ = 0;          // rows kept (between a batch's drop and its rows, fewer than the slots)
};

} // namespace monitor
