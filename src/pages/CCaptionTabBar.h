#pragma once

#include <QTabBar>

// The Captions page's tab bar. Its last tab, "New", adds a caption when it is chosen, so it
// must only be chosen on purpose: the mouse wheel passing over the bar scrolls through the
// captions but never lands on "New".
class CCaptionTabBar final : public QTabBar
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCaptionTabBar)

public:
    explicit CCaptionTabBar(QWidget* parent = nullptr) : QTabBar(parent) {}

protected:
    void wheelEvent(QWheelEvent* event) override;
};
