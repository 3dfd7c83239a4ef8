#include "RowModel.h"

#include <QBrush>
#include <QColor>
#include <algorithm>

namespace monitor {

RowModel::RowModel(int capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max(1, capacity)) {
    // Address space only: the pages are touched as the ring fills, and never again after.
    slots_.reserve(std::size_t(capacity_));
}

void RowModel::appendRows(std::vector<LineRow>&& rows) {
    if (rows.empty())
        return;
    // A batch larger than the ring keeps only its own newest rows.
    auto first = rows.begin();
    if (rows.size() > std::size_t(capacity_))
        first = rows.end() - capacity_;
    const int incoming = int(rows.end() - first);
    const int overflow = count_ + incoming - capacity_;
    if (overflow > 0) {
        // The oldest rows' slots take the newest rows below.
        beginRemoveRows({}, 0, overflow - 1);
        oldest_ = (oldest_ + std::size_t(overflow)) % std::size_t(capacity_);
        count_ -= overflow;
        endRemoveRows();
    }
    beginInsertRows({}, count_, count_ + incoming - 1);
    for (auto r = first; r != rows.end(); ++r) {
        const std::size_t slot = (oldest_ + std::size_t(count_++)) % std::size_t(capacity_);
        if (slot < slots_.size())
            slots_[slot] = std::move(*r);
        else
            slots_.push_back(std::move(*r)); // still filling: the next slot is the vector's end
    }
    endInsertRows();
}

void RowModel::clear() {
    beginResetModel();
    slots_.clear();
    oldest_ = 0;
    count_ = 0;
    endResetModel();
}

const LineRow& RowModel::row(int i) const {
    return slots_[(oldest_ + std::size_t(i)) % std::size_t(capacity_)];
}

int RowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

int RowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count_)
        return {};
    const LineRow& r = row(index.row());
    if (role == Qt::ForegroundRole && r.kind == RowKind::Fault)
        return QBrush(QColor(0xB0, 0x00, 0x00));
    // The long columns in full, where the view cuts them short.
    if (role == Qt::ToolTipRole && index.column() == MeaningColumn)
        return r.meaning;
    if (role == Qt::ToolTipRole && index.column() == BytesColumn)
        return HexText(r.bytes);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case TimeColumn:
        return TimeText(r);
    case GapColumn:
        return GapText(r);
    case DirectionColumn:
        return DirectionText(r);
    case BytesColumn:
        return HexText(r.bytes);
    default:
        return r.meaning;
    }
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char16_t* const names[ColumnCount] = {u"Время", u"Пауза", u"Направление", u"Байты",
                                                       u"Значение"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf16(names[section]) : QString();
}

} // namespace monitor
