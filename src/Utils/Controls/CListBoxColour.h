#pragma once

#include <QListView>

namespace Utils::Controls {

class ColourListModel;

// A list of coloured lines. Each line is "text|text colour|background colour" with colours as
// "r,g,b" texts; an empty colour means the system's text or window colour. Every line has one
// height; the horizontal extent only grows, to the widest line measured.
class CListBoxColour final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CListBoxColour)

public:
    struct Fields
    {
        QString text, textColour, backgroundColour;
    };
    // The two colour fields are the last two: a text that itself holds "|" shows whole.
    static Fields SplitLine(const QString& line);

    explicit CListBoxColour(QWidget* parent = nullptr);
    ~CListBoxColour() override;

    int Count() const;
    QString Line(int row) const;
    void Append(const QString& line);
    void RemoveFirst();

    // The first row shown, and whether the last row is in view.
    int TopIndex() const;
    void SetTopIndex(int row);
    bool IsShowingEnd() const;
    void ScrollToEnd();

    int HorizontalExtent() const { return extent_; }
    // Widens the extent to the text's width in the list's font, if it is wider.
    void EnsureExtentFor(const QString& text);

private:
    ColourListModel* model_ = nullptr;
    int extent_ = 0;
};

} // namespace Utils::Controls
