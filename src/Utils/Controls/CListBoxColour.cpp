#include "CListBoxColour.h"

#include "ColourListModel.h"
#include "ColourText.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace Utils::Controls {
namespace {
QColor ColourOr(const QString& text, const QColor& fallback)
{
    if (text.isEmpty())
        return fallback;
    const ColourValue colour = ColourFromText(text);
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

class ColourLineDelegate final : public QStyledItemDelegate
{
public:
    ColourLineDelegate(const int& extent, QObject* parent) : QStyledItemDelegate(parent), extent_(extent) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const auto fields = CListBoxColour::SplitLine(index.data().toString());
        const QPalette& palette = option.palette;
        painter->save();
        painter->fillRect(option.rect, ColourOr(fields.backgroundColour, palette.color(QPalette::Base)));
        painter->setPen(ColourOr(fields.textColour, palette.color(QPalette::Text)));
        painter->setFont(option.font);
        painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, fields.text);
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(palette.color(QPalette::Text), 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        const QFontMetrics metrics(option.font);
        return QSize(extent_, metrics.height() + metrics.leading());
    }

private:
    const int& extent_;
};
} // namespace

CListBoxColour::Fields CListBoxColour::SplitLine(const QString& line)
{
    const qsizetype last = line.lastIndexOf(u'|');
    const qsizetype middle = last > 0 ? line.lastIndexOf(u'|', last - 1) : -1;
    if (middle >= 0)
        return {line.left(middle), line.mid(middle + 1, last - middle - 1), line.mid(last + 1)};
    if (last >= 0)
        return {line.left(last), line.mid(last + 1), QString()};
    return {line, QString(), QString()};
}

CListBoxColour::CListBoxColour(QWidget* parent) : QListView(parent), model_(new ColourListModel(this))
{
    setModel(model_);
    setItemDelegate(new ColourLineDelegate(extent_, this));
    // One height for every line keeps a long list fast to lay out; the width is the extent.
    setUniformItemSizes(true);
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
}

CListBoxColour::~CListBoxColour() = default;

int CListBoxColour::Count() const
{
    return model_->rowCount();
}

QString CListBoxColour::Line(int row) const
{
    return row >= 0 && row < Count() ? model_->Line(row) : QString();
}

void CListBoxColour::Append(const QString& line)
{
    model_->Append(line);
}

void CListBoxColour::RemoveFirst()
{
    model_->RemoveFirst();
}

int CListBoxColour::TopIndex() const
{
    return verticalScrollBar()->value();
}

void CListBoxColour::SetTopIndex(int row)
{
    verticalScrollBar()->setValue(std::max(0, row));
}

bool CListBoxColour::IsShowingEnd() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void CListBoxColour::ScrollToEnd()
{
    // The scroll range follows the model only once the view has laid the new row out.
    doItemsLayout();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CListBoxColour::EnsureExtentFor(const QString& text)
{
    const int width = fontMetrics().horizontalAdvance(text) + 2 * frameWidth();
    if (width <= extent_)
        return;
    extent_ = width;
    doItemsLayout();
}

} // namespace Utils::Controls
