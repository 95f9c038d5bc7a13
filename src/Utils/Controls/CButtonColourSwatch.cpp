#include "CButtonColourSwatch.h"

#include <QPainter>

namespace Utils::Controls {

CButtonColourSwatch::CButtonColourSwatch(QWidget* parent) : QPushButton(QStringLiteral(" "), parent) {}

void CButtonColourSwatch::SetColour(const QColor& colour)
{
    colour_ = colour;
    update();
}

QRect CButtonColourSwatch::SwatchRect(const QSize& size)
{
    const int dx = size.width() / 5;
    const int dy = size.height() / 5;
    return QRect(QPoint(dx, dy), QPoint(size.width() - dx - 1, size.height() - dy - 1));
}

void CButtonColourSwatch::paintEvent(QPaintEvent* event)
{
    // The button itself first, the colour over it.
    QPushButton::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.setBrush(colour_);
    painter.drawRect(SwatchRect(size()).adjusted(0, 0, -1, -1));
}

} // namespace Utils::Controls
