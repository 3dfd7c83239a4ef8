#include "RowModel.h"

#include <QBrush>
#include <QColor>
#include <algorithm>
#include <iterator>

namespace monitor {

RowModel::RowModel(int capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max(1, capacity)) {}

void RowModel::appendRows(std::vector<LineRow>&& rows) {
    if (rows.empty())
        return;
    // A batch larger than the ring keeps only its own newest rows.
    auto first = rows.begin();
    if (rows.size() > std::size_t(capacity_))
        first = rows.end() - capacity_;
    const int incoming = int(rows.end() - first);
    const int overflow = int(rows_.size()) + incoming - capacity_;
    if (overflow > 0) {
        beginRemoveRows({}, 0, overflow - 1);
        rows_.erase(rows_.begin(), rows_.begin() + overflow);
        endRemoveRows();
    }
    const int at = int(rows_.size());
    beginInsertRows({}, at, at + incoming - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(first), std::make_move_iterator(rows.end()));
    endInsertRows();
}

void RowModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int RowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int RowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size()))
        return {};
    const LineRow& r = rows_[std::size_t(index.row())];
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
