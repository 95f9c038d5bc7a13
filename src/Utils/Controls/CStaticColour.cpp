#include "CStaticColour.h"

namespace Utils::Controls {

CStaticColour::CStaticColour(QWidget* parent)
    : QLabel(parent), backgroundColour_(palette().color(QPalette::Button))
{
    ApplyColours();
}

void CStaticColour::SetTextColour(const QColor& colour)
{
    textColour_ = colour;
    ApplyColours();
}

void CStaticColour::SetBackgroundColour(const QColor& colour)
{
    backgroundColour_ = colour;
    ApplyColours();
}

void CStaticColour::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    ApplyColours();
}

void CStaticColour::ApplyColours()
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, textColour_);
    colours.setColor(QPalette::Window, backgroundColour_);
    setPalette(colours);
    setAutoFillBackground(!transparent_);
    update();
}

} // namespace Utils::Controls
