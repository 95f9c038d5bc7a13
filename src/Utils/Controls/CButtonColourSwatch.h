#pragma once

#include <QPushButton>

namespace Utils::Controls {

// A push button that shows a colour: a filled rectangle inset by a fifth of the button's
// width and height. The owner sets the colour and handles the click.
class CButtonColourSwatch final : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CButtonColourSwatch)

public:
    explicit CButtonColourSwatch(QWidget* parent = nullptr);

    void SetColour(const QColor& colour);
    QColor Colour() const { return colour_; }

    // The swatch inside a button of this size: (w/5, h/5) to (w - w/5, h - h/5), exclusive.
    static QRect SwatchRect(const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_ = Qt::black;
};

} // namespace Utils::Controls
