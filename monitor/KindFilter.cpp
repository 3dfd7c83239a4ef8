#include "KindFilter.h"

#include <algorithm>
#include <vector>

namespace monitor {

KindFilter::KindFilter(RowModel& rows, QObject* parent) : QAbstractTableModel(parent), rows_(rows) {
    // The ring records from the program's start; a window made later shows what it already holds.
    refill();
    // The ring only ever drops its first rows and adds rows at its end.
    connect(&rows_, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { dropped(last - first + 1); });
    connect(&rows_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { appended(first, last); });
    connect(&rows_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&rows_, &QAbstractItemModel::modelReset, this, [this] {
        firstSerial_ = 0;
        refill();
        endResetModel();
    });
}

void KindFilter::setShown(RowKind kind, bool shown) {
    relayout([&] {
        shown_[int(kind)] = shown;
        refill();
    });
}

void KindFilter::refill() {
    const std::vector<qint64> all = shownIn(0, rows_.rowCount() - 1);
    shownRows_.assign(all.begin(), all.end());
}

std::vector<qint64> KindFilter::shownIn(int first, int last) const {
    std::vector<qint64> serials;
    for (int r = first; r <= last; ++r)
        if (shown(rows_.row(r).kind))
            serials.push_back(firstSerial_ + r);
    return serials;
}

void KindFilter::dropped(int count) {
    firstSerial_ += count;
    const auto end = std::lower_bound(shownRows_.begin(), shownRows_.end(), firstSerial_);
    if (end != shownRows_.begin())
        relayout([&] { shownRows_.erase(shownRows_.begin(), end); });
}

void KindFilter::appended(int first, int last) {
    const std::vector<qint64> added = shownIn(first, last);
    if (added.empty())
        return;
    const int at = rowCount();
    beginInsertRows({}, at, at + int(added.size()) - 1);
    shownRows_.insert(shownRows_.end(), added.begin(), added.end());
    endInsertRows();
}

template <class Change> void KindFilter::relayout(Change change) {
    emit layoutAboutToBeChanged();
    const QModelIndexList from = persistentIndexList();
    std::vector<qint64> serials;
    serials.reserve(std::size_t(from.size()));
    for (const QModelIndex& i : from)
        serials.push_back(shownRows_[std::size_t(i.row())]);
    change();
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype k = 0; k < from.size(); ++k) {
        const int row = rowOf(serials[std::size_t(k)]);
        to << (row >= 0 ? index(row, from[k].column()) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

int KindFilter::rowOf(qint64 serial) const {
    const auto i = std::lower_bound(shownRows_.begin(), shownRows_.end(), serial);
    return i != shownRows_.end() && *i == serial ? int(i - shownRows_.begin()) : -1;
}

int KindFilter::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shownRows_.size());
}

int KindFilter::columnCount(const QModelIndex& parent) const {
    return rows_.columnCount(parent);
}

QVariant KindFilter::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    return rows_.data(rows_.index(sourceRow(index.row()), index.column()), role);
}

QVariant KindFilter::headerData(int section, Qt::Orientation orientation, int role) const {
    return rows_.headerData(section, orientation, role);
}

} // namespace monitor
