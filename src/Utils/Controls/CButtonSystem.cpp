#include "CButtonSystem.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace Utils::Controls {

CButtonSystem::CButtonSystem(Glyph glyph, QWidget* parent) : QAbstractButton(parent), glyph_(glyph)
{
    setFixedSize(16, 16);
    setFocusPolicy(Qt::StrongFocus);
}

void CButtonSystem::SetGlyph(Glyph glyph)
{
    glyph_ = glyph;
    update();
}

void CButtonSystem::paintEvent(QPaintEvent*)
{
    QStyle::StandardPixmap pixmap = QStyle::SP_TitleBarCloseButton;
    if (glyph_ == Glyph::Maximise)
        pixmap = QStyle::SP_TitleBarMaxButton;
    else if (glyph_ == Glyph::Restore)
        pixmap = QStyle::SP_TitleBarNormalButton;
    QIcon::Mode mode = QIcon::Normal;
    if (!isEnabled())
        mode = QIcon::Disabled;
    else if (isDown())
        mode = QIcon::Selected;
    else if (underMouse())
        mode = QIcon::Active;

    QPainter painter(this);
    style()->standardIcon(pixmap, nullptr, this).paint(&painter, rect(), Qt::AlignCenter, mode);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

} // namespace Utils::Controls
