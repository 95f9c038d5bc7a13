#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

#include <functional>
#include <optional>

class QAction;
class QImage;
class QMenu;
class QPixmap;
class QWidget;

namespace Utils::Classes {

// Lets the user pull a page's picture out into a window of its own. Pressing on the picture and
// moving past the drag distance starts a drag of a translucent copy of it; dropped outside
// Pixlet's windows, DetachRequested() gives where the floating window's top-left corner goes
// (the dragged copy's corner). A drop onto one of Pixlet's windows (they take it for the time
// of the drag), or Escape, does nothing.
// "Detach" in the picture's right-click menu asks the same without a drag, at a default place.
// Over the picture the pointer becomes an open hand and a tooltip says what it can do.
class PictureDragOut final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureDragOut)

public:
    static constexpr int DragAlpha = 176;
    static constexpr int MinimumDragSize = 50;

    // Watches the area widget; `pictureRect` says where the picture lies in it (empty: there is
    // nothing to drag). With `ownMenu` the right-click menu over the picture is this one's;
    // otherwise the area's owner puts DetachAction() into its own menu.
    PictureDragOut(QWidget* area, std::function<QRect()> pictureRect, bool ownMenu = true);
    ~PictureDragOut() override;

    // The dragged copy: the picture at DragAlpha, centred on at least 50 by 50 pixels (of the
    // picture's own units: a grab on a scaled screen keeps its size).
    static QPixmap DragPixmap(const QImage& picture);
    // The pointer during the drag: where a drop opens a window, and where it does nothing.
    static QPixmap DragCursor(bool opensWindow);
    // Where a floating window goes for a drop with the pointer at a point (global coordinates):
    // the dragged copy's top-left corner, or nothing when the point is on a window of Pixlet's.
    // Where the platform does not tell the pointer's position, the default place.
    std::optional<QPoint> DropPlace(const QPoint& pointer, const QPoint& hotSpot) const;
    // Near the picture, for a Detach without a drag.
    QPoint DefaultPlace() const;
    // Whether the platform reports the pointer's position on the screen (not under Wayland).
    void SetPointerKnown(bool known) { pointerKnown_ = known; }

    // Asks for the picture in its own window at the default place.
    void Detach();
    QAction* DetachAction() const { return detachAction_; }
    QMenu* Menu() const { return menu_; }
    bool Dragging() const { return dragging_; }

signals:
    void DragStarted();
    void DragFinished();
    void DetachRequested(const QPoint& topLeft);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool AreaEvent(QEvent* event);
    bool DragEvent(QEvent* event);
    void StartDrag(const QPoint& pressPos);
    void ShowHoverCue(const QPoint& pos);

    QWidget* area_;
    std::function<QRect()> pictureRect_;
    QAction* detachAction_ = nullptr;
    QMenu* menu_ = nullptr;
    std::optional<QPoint> pressPos_;
    bool dragging_ = false;
    bool cancelled_ = false;
    bool pointerKnown_ = true;
};

} // namespace Utils::Classes
