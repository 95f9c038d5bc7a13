#pragma once

#include <QObject>

#include <memory>

class QPoint;
class QWidget;

namespace Utils::Classes {

class CFloatWnd;

// The one floating window a page may have open. The window has no parent widget (it would
// then stay above the main window and leave the task bar), so the holder owns it: it goes when
// the user closes it, when the owner closes it, or with the holder.
class FloatWndHolder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FloatWndHolder)

public:
    explicit FloatWndHolder(QObject* parent = nullptr);
    ~FloatWndHolder() override;

    CFloatWnd* Window() const { return window_.get(); }
    // Takes the window and opens it at the point (see CFloatWnd::OpenAt); one already open is
    // brought forward instead and the new one dropped.
    void Open(std::unique_ptr<CFloatWnd> window, const QPoint& topLeft, const QWidget& onScreen);
    // Brings the open window forward, out of the task bar if it was minimised.
    void BringForward();
    // Closes the window as the user would.
    void Close();

signals:
    // The window was closed and is on its way out: the owner shows the picture again.
    void Closed();

private:
    void OnWindowClosed(CFloatWnd* window);

    std::unique_ptr<CFloatWnd> window_;
};

} // namespace Utils::Classes
