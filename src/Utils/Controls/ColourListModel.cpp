#include "ColourListModel.h"

namespace Utils::Controls {

ColourListModel::ColourListModel(QObject* parent) : QAbstractListModel(parent) {}

int ColourListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant ColourListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return QVariant();
    return Line(index.row());
}

void ColourListModel::Append(const QString& line)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(line);
    endInsertRows();
}

void ColourListModel::RemoveFirst()
{
    if (lines_.empty())
        return;
    beginRemoveRows(QModelIndex(), 0, 0);
    lines_.pop_front();
    endRemoveRows();
}

} // namespace Utils::Controls
