#include "CWindowBackground.h"

#include <QPainter>

namespace Utils::Classes {

CWindowBackground::CWindowBackground(QWidget* target, int cacheLimit, QObject* parent)
    : CBroadcastNotifier(parent), target_(target), cacheLimit_(std::max(1, cacheLimit))
{
}

CWindowBackground::~CWindowBackground() = default;

QBrush CWindowBackground::GetBackgroundBrush()
{
    if (!target_)
        return QBrush();
    const QSize size = target_->size();
    for (const Entry& entry : cache_) {
        if (entry.size == size)
            return entry.brush;
    }
    // Only the background: the target's own children are not part of its face (grab() would
    // paint them into the texture, and every child using the brush would show them again).
    QPixmap capture(size * target_->devicePixelRatioF());
    capture.setDevicePixelRatio(target_->devicePixelRatioF());
    capture.fill(Qt::transparent);
    target_->render(&capture, QPoint(), QRegion(QRect(QPoint(0, 0), size)), QWidget::DrawWindowBackground);
    ++captures_;
    cache_.push_front({size, QBrush(capture)});
    while (static_cast<int>(cache_.size()) > cacheLimit_)
        cache_.pop_back();
    return cache_.front().brush;
}

QBrush CWindowBackground::GetChildBackgroundBrush(const QWidget* child, QPainter* painter)
{
    if (painter && child && target_)
        painter->setBrushOrigin(-child->mapTo(target_, QPoint(0, 0)));
    return GetBackgroundBrush();
}

void CWindowBackground::OnSysColorChange()
{
    cache_.clear();
}

} // namespace Utils::Classes
