#include "CSimpleImage.h"

#include "ImageOperations.h"

#include <QPaintEvent>
#include <QPainter>

namespace Utils::Controls {

CSimpleImage::CSimpleImage(QWidget* parent) : QWidget(parent)
{
    // Mouse events pass through to the parent widget, which handles clicks on the picture.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSimpleImage::SetPicture(const ImageFrame& picture, const QRect& excludedRect)
{
    if (!picture.IsEmpty() && CopyImage(picture, picture_)) {
        resize(picture_.Width(), picture_.Height());
        update();
    }
    excludedRect_ = excludedRect;
}

void CSimpleImage::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (picture_.IsEmpty()) {
        painter.fillRect(event->rect(), palette().color(QPalette::Button));
        return;
    }
    if (!excludedRect_.isEmpty())
        painter.setClipRegion(QRegion(rect()).subtracted(QRegion(excludedRect_)));
    painter.drawImage(QPoint(0, 0), picture_.Image());
}

} // namespace Utils::Controls
