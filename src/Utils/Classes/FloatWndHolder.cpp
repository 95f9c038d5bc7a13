#include "FloatWndHolder.h"

#include "CFloatWnd.h"

namespace Utils::Classes {

FloatWndHolder::FloatWndHolder(QObject* parent) : QObject(parent) {}

FloatWndHolder::~FloatWndHolder() = default;

void FloatWndHolder::Open(std::unique_ptr<CFloatWnd> window, const QPoint& topLeft, const QWidget& onScreen)
{
    if (window_) {
        BringForward();
        return;
    }
    window_ = std::move(window);
    CFloatWnd* opened = window_.get();
    connect(opened, &CFloatWnd::Closed, this, [this, opened] { OnWindowClosed(opened); });
    opened->OpenAt(topLeft, onScreen);
}

void FloatWndHolder::BringForward()
{
    if (!window_)
        return;
    if (window_->isMinimized())
        window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void FloatWndHolder::Close()
{
    if (window_)
        window_->close();
}

void FloatWndHolder::OnWindowClosed(CFloatWnd* window)
{
    // A late word from a window already let go must not drop the one open now.
    if (window != window_.get())
        return;
    // The window is inside its own close handling: it goes once that is over.
    window_.release()->deleteLater();
    emit Closed();
}

} // namespace Utils::Classes
