#pragma once
// The rows of the kinds switched on, as the view shows them. Once the ring is full every batch drops its
// oldest rows; this filter tells the view so as a change of layout rather than a removal of the first rows,
// so that neither it nor the view's row header slides its per-row arrays through spare capacity (pages
// first touched then, which the process would keep: its memory would creep for a while after the ring
// filled). Selected rows stay selected as they move up; the dropped ones leave the selection.
#include "RowModel.h"

#include <QAbstractTableModel>
#include <deque>
#include <vector>

namespace monitor {

class KindFilter : public QAbstractTableModel {
public:
    explicit KindFilter(RowModel& rows, QObject* parent = nullptr);

    void setShown(RowKind kind, bool shown);
    bool shown(RowKind kind) const { return shown_[int(kind)]; }
    // The ring's row behind a row shown.
    int sourceRow(int row) const { return int(shownRows_[std::size_t(row)] - firstSerial_); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void dropped(int count);
    void appended(int first, int last);
    // The serials of the ring's rows first..last whose kind is shown.
    std::vector<qint64> shownIn(int first, int last) const;
    // shownRows_ anew from every row the ring holds.
    void refill();
    // Runs `change` as a change of layout: the persistent indexes (the selection, the current row) follow
    // their rows, or go when their row went.
    template <class Change> void relayout(Change change);
    int rowOf(qint64 serial) const;

    RowModel& rows_;
    qint64 firstSerial_ = 0;       // the ring's first row counted from the last clearing
    std::deque<qint64> shownRows_; // the serials of the rows shown, oldest first
    bool shown_[3] = {true, true, true};
};

} // namespace monitor
