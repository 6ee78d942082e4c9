#include "ui/qt/models/ResourceGridModel.h"

#include <utility>

namespace pelkor {

ResourceGridModel::ResourceGridModel(QObject* parent) : QAbstractTableModel(parent), rows_(1) {}

int ResourceGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResourceGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant ResourceGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() < 2 ? QVariant(Qt::AlignCenter)
                                  : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    const ResourceRow& r = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case 0:
        return index.row() + 1;
    case 1:
        return QString::fromStdString(r.Station);
    case 2:
        return QString::fromStdString(r.Variable);
    default:
        return QString::fromStdString(r.Head);
    }
}

QVariant ResourceGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    static const char* const heads[] = {"Num", "STN", "PCD Variables", "Headline Texts"};
    return section >= 0 && section < 4 ? QVariant(QString::fromLatin1(heads[section])) : QVariant();
}

void ResourceGridModel::SetRows(std::vector<ResourceRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    if (rows_.empty()) rows_.emplace_back();
    endResetModel();
}

void ResourceGridModel::SetCell(int r, int column, const std::string& text) {
    if (r < 0 || r >= rowCount() || column < 1 || column > 3) return;
    ResourceRow& row = rows_[static_cast<std::size_t>(r)];
    (column == 1 ? row.Station : column == 2 ? row.Variable : row.Head) = text;
    emit dataChanged(index(r, column), index(r, column));
}

void ResourceGridModel::AppendRow() {
    InsertRow(rowCount());
}

void ResourceGridModel::InsertRow(int r) {
    if (r < 0 || r > rowCount()) r = rowCount();
    beginInsertRows(QModelIndex(), r, r);
    rows_.insert(rows_.begin() + r, ResourceRow{});
    endInsertRows();
    // The numbers below moved on by one.
    emit dataChanged(index(r, 0), index(rowCount() - 1, 0));
}

void ResourceGridModel::RemoveRow(int r) {
    if (r < 0 || r >= rowCount()) return;
    if (rowCount() == 1) {
        rows_[0] = ResourceRow{};
        emit dataChanged(index(0, 1), index(0, 3));
        return;
    }
    beginRemoveRows(QModelIndex(), r, r);
    rows_.erase(rows_.begin() + r);
    endRemoveRows();
    if (r < rowCount()) emit dataChanged(index(r, 0), index(rowCount() - 1, 0));
}

void ResourceGridModel::SwapRows(int a, int b) {
    if (a < 0 || b < 0 || a >= rowCount() || b >= rowCount() || a == b) return;
    std::swap(rows_[static_cast<std::size_t>(a)], rows_[static_cast<std::size_t>(b)]);
    emit dataChanged(index(std::min(a, b), 1), index(std::max(a, b), 3));
}

} // namespace pelkor
