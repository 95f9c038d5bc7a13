#include "PictureDragOut.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

namespace Utils::Classes {

namespace {

// A type no other program (and no control of ours) takes, so a drop never hands anything over.
const QString MimeType = QStringLiteral("application/x-pixlet-picture");
const QPoint DefaultOffset(40, 40);

} // namespace

PictureDragOut::PictureDragOut(QWidget* area, std::function<QRect()> pictureRect, bool ownMenu)
    : QObject(area), area_(area), pictureRect_(std::move(pictureRect))
{
    // Wayland gives a client no global pointer position: the floating window then opens at
    // the default place.
    pointerKnown_ = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    detachAction_ = new QAction(tr("Detach"), this);
    connect(detachAction_, &QAction::triggered, this, &PictureDragOut::Detach);
    if (ownMenu) {
        menu_ = new QMenu(area_);
        menu_->addAction(detachAction_);
    }
    area_->setMouseTracking(true);
    area_->installEventFilter(this);
}

PictureDragOut::~PictureDragOut()
{
    qApp->removeEventFilter(this);
}

QPixmap PictureDragOut::DragPixmap(const QImage& picture)
{
    // Sizes in the picture's own units, which are the widget's on a scaled screen as well.
    const qreal ratio = picture.devicePixelRatio();
    const QSize logical = picture.deviceIndependentSize().toSize();
    const QSize size = logical.expandedTo(QSize(MinimumDragSize, MinimumDragSize));
    // A picture smaller than the least drag size lies centred on black.
    QImage copy(size * ratio, QImage::Format_ARGB32);
    copy.setDevicePixelRatio(ratio);
    copy.fill(Qt::black);
    QPainter painter(&copy);
    painter.drawImage(QPointF((size.width() - logical.width()) / 2, (size.height() - logical.height()) / 2),
                      picture);
    painter.end();
    // One alpha for the whole copy, whatever the picture's own.
    for (int y = 0; y < copy.height(); ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(copy.scanLine(y));
        for (int x = 0; x < copy.width(); ++x)
            pixel[x] = (pixel[x] & 0x00ffffffu) | (QRgb(DragAlpha) << 24);
    }
    return QPixmap::fromImage(copy);
}

QPixmap PictureDragOut::DragCursor(bool opensWindow)
{
    QPixmap cursor(24, 24);
    cursor.fill(Qt::transparent);
    QPainter painter(&cursor);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.5));
    if (opensWindow) {
        // A window with a plus: dropped here, the picture opens in a window of its own.
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(3.5, 5.5, 17, 13));
        painter.fillRect(QRectF(4, 6, 16, 3), QColor(18, 128, 150));
        painter.drawLine(QPointF(12, 11), QPointF(12, 17));
        painter.drawLine(QPointF(9, 14), QPointF(15, 14));
    } else {
        // No entry: dropped here, nothing happens.
        painter.setPen(QPen(QColor(200, 30, 30), 3));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(3, 3, 18, 18));
        painter.drawLine(QPointF(6.5, 6.5), QPointF(17.5, 17.5));
    }
    return cursor;
}

std::optional<QPoint> PictureDragOut::DropPlace(const QPoint& pointer, const QPoint& hotSpot) const
{
    if (!pointerKnown_)
        return DefaultPlace();
    if (const QWindow* window = QGuiApplication::topLevelAt(pointer); window && window->isVisible())
        return std::nullopt;
    return pointer - hotSpot;
}

QPoint PictureDragOut::DefaultPlace() const
{
    const QRect picture = pictureRect_();
    return area_->mapToGlobal(picture.isEmpty() ? QPoint(0, 0) : picture.topLeft()) + DefaultOffset;
}

void PictureDragOut::Detach()
{
    emit DetachRequested(DefaultPlace());
}

bool PictureDragOut::eventFilter(QObject* watched, QEvent* event)
{
    if (dragging_)
        return DragEvent(event);
    return watched == area_ && AreaEvent(event);
}

bool PictureDragOut::DragEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        // Escape ends the drag without a drop, which the drag's result alone cannot tell from a
        // drop outside.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            cancelled_ = true;
        return false;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        // Pixlet's own windows take the picture and do nothing with it: the drag then ends with
        // an action, and only a drop elsewhere opens a window, on every platform.
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData() || !drop->mimeData()->hasFormat(MimeType))
            return false;
        drop->setDropAction(Qt::MoveAction);
        drop->accept();
        return true;
    }
    default:
        return false;
    }
}

bool PictureDragOut::AreaEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint pos = mouse->position().toPoint();
        if (mouse->button() == Qt::LeftButton && pictureRect_().contains(pos))
            pressPos_ = pos;
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint pos = mouse->position().toPoint();
        if (pressPos_ && (mouse->buttons() & Qt::LeftButton) &&
            (pos - *pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
            const QPoint from = *pressPos_;
            pressPos_.reset();
            StartDrag(from);
            return true;
        }
        if (!(mouse->buttons() & Qt::LeftButton))
            ShowHoverCue(pos);
        return false;
    }
    case QEvent::MouseButtonRelease:
        pressPos_.reset();
        return false;
    case QEvent::Leave:
        area_->unsetCursor();
        return false;
    case QEvent::ToolTip: {
        auto* help = static_cast<QHelpEvent*>(event);
        if (pictureRect_().contains(help->pos()))
            QToolTip::showText(help->globalPos(),
                               tr("Drag the picture out of the window (from outside the crop rectangle "
                                  "where one is drawn), or right-click and choose Detach, to see it in a "
                                  "window of its own"),
                               area_);
        else
            QToolTip::hideText();
        return true;
    }
    case QEvent::ContextMenu: {
        auto* context = static_cast<QContextMenuEvent*>(event);
        if (!menu_ || !pictureRect_().contains(context->pos()))
            return false;
        menu_->popup(context->globalPos());
        return true;
    }
    default:
        return false;
    }
}

void PictureDragOut::ShowHoverCue(const QPoint& pos)
{
    if (pictureRect_().contains(pos))
        area_->setCursor(Qt::OpenHandCursor);
    else
        area_->unsetCursor();
}

void PictureDragOut::StartDrag(const QPoint& pressPos)
{
    const QRect picture = pictureRect_();
    if (picture.isEmpty())
        return;
    const QPixmap pixmap = DragPixmap(area_->grab(picture).toImage());
    // The pointer keeps its place on the copy; a small picture lies centred on its copy.
    const QSize copySize = pixmap.deviceIndependentSize().toSize();
    const QPoint hotSpot =
        pressPos - picture.topLeft() +
        QPoint((copySize.width() - picture.width()) / 2, (copySize.height() - picture.height()) / 2);
    auto* drag = new QDrag(area_);
    auto* mime = new QMimeData;
    mime->setData(MimeType, QByteArray());
    drag->setMimeData(mime);
    drag->setPixmap(pixmap);
    drag->setHotSpot(hotSpot);
    drag->setDragCursor(DragCursor(true), Qt::IgnoreAction);
    drag->setDragCursor(DragCursor(false), Qt::MoveAction);
    // Drag events reach a window only where some widget takes drops: every window of Pixlet's
    // does for the time of the drag.
    QList<QPointer<QWidget>> madeDropTargets;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->acceptDrops()) {
            window->setAcceptDrops(true);
            madeDropTargets.append(window);
        }
    }
    dragging_ = true;
    cancelled_ = false;
    area_->setCursor(Qt::ClosedHandCursor);
    emit DragStarted();
    // The drag runs its own event loop and puts a filter of its own on the program, which
    // swallows Escape: ours goes in again from inside that loop, in front of it.
    qApp->installEventFilter(this);
    QTimer::singleShot(0, this, [this] {
        if (dragging_)
            qApp->installEventFilter(this);
    });
    QPointer<PictureDragOut> self(this);
    const Qt::DropAction action = drag->exec(Qt::MoveAction);
    for (const QPointer<QWidget>& window : madeDropTargets)
        if (window)
            window->setAcceptDrops(false);
    if (!self)
        return;
    qApp->removeEventFilter(this);
    dragging_ = false;
    const QPoint pointer = QCursor::pos();
    area_->unsetCursor();
    emit DragFinished();
    if (!self || cancelled_ || action != Qt::IgnoreAction)
        return;
    if (const std::optional<QPoint> place = DropPlace(pointer, hotSpot))
        emit DetachRequested(*place);
}

} // namespace Utils::Classes
