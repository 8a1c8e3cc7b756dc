#include "app/TextGridModel.h"

#include <algorithm>

namespace kestra {

TextGridModel::TextGridModel(const TextGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), rows_(std::max(0, grid.RowCount() - 1))
{}

int TextGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int TextGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(0, grid_.ColCount() - 1);
}

QVariant TextGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return cellText(index.column() + 1, index.row() + 1);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return section >= 0 && section < columnCount() ? cellText(section + 1, 0) : QVariant();
    }
    return section >= 0 && section < rows_ ? cellText(0, section + 1) : QVariant();
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QString TextGridModel::cornerText() const
{
    return cellText(0, 0);
}

void TextGridModel::refresh()
{
    const int rows = std::max(0, grid_.RowCount() - 1);
    if (rows > rows_) {
        beginInsertRows({}, rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    }
    const int columns = columnCount();
    if (rows_ > 0 && columns > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, columns - 1), {Qt::DisplayRole});
    }
    if (columns > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, columns - 1);
    }
    if (rows_ > 0) {
        emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
    }
    emit cornerChanged();
}

void TextGridModel::beginRemovingRows(int first, int count)
{
    beginRemoveRows({}, first - 1, first + count - 2);
}

void TextGridModel::endRemovingRows()
{
    rows_ = std::max(0, grid_.RowCount() - 1);
    endRemoveRows();
}

void TextGridModel::beginInsertingRows(int first, int count)
{
    beginInsertRows({}, first - 1, first + count - 2);
}

void TextGridModel::endInsertingRows()
{
    rows_ = std::max(0, grid_.RowCount() - 1);
    endInsertRows();
}

QString TextGridModel::cellText(int column, int row) const
{
    return QString::fromStdString(grid_.Cell(column, row));
}

} // namespace kestra
