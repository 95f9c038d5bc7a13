#pragma once

#include "CBroadcastNotifier.h"

#include <QBrush>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <deque>

class QPainter;

namespace Utils::Classes {

// Brushes that imitate a window's background (a tab page's themed face, say), so that child
// controls drawn over it blend in. Captures are kept per window size, newest first, at most
// cacheLimit of them; a change of the system colours drops them all.
class CWindowBackground final : public CBroadcastNotifier
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWindowBackground)

public:
    explicit CWindowBackground(QWidget* target, int cacheLimit = 2, QObject* parent = nullptr);
    ~CWindowBackground() override;

    // The brush for the target's current size, captured on first use of that size.
    QBrush GetBackgroundBrush();
    // The same, with the painter's brush origin set so the pattern lines up under the child.
    QBrush GetChildBackgroundBrush(const QWidget* child, QPainter* painter);

    int CachedCount() const { return static_cast<int>(cache_.size()); }
    int CaptureCount() const { return captures_; }

protected:
    void OnSysColorChange() override;

private:
    struct Entry
    {
        QSize size;
        QBrush brush;
    };

    QPointer<QWidget> target_;
    const int cacheLimit_;
    std::deque<Entry> cache_;
    int captures_ = 0;
};

} // namespace Utils::Classes
