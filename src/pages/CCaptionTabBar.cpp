#include "CCaptionTabBar.h"

#include <QWheelEvent>

void CCaptionTabBar::wheelEvent(QWheelEvent* event)
{
    const int last = count() - 1;
    if (last <= 0 || currentIndex() == last) {
        QTabBar::wheelEvent(event);
        return;
    }
    // The bar scrolls past disabled tabs: with "New" disabled for the moment, the wheel
    // stops at the last caption.
    const bool wasEnabled = isTabEnabled(last);
    setTabEnabled(last, false);
    QTabBar::wheelEvent(event);
    setTabEnabled(last, wasEnabled);
}
