#pragma once

#include <QAbstractListModel>
#include <QString>

#include <deque>

namespace Utils::Controls {

// The lines of a CListBoxColour: appended at the end, trimmed from the front, both O(1).
class ColourListModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ColourListModel)

public:
    explicit ColourListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Append(const QString& line);
    void RemoveFirst();
    const QString& Line(int row) const { return lines_[static_cast<std::size_t>(row)]; }

private:
    std::deque<QString> lines_;
};

} // namespace Utils::Controls
