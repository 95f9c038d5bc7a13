#include "CFloatWnd.h"

#include "ImageOperations.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace Utils::Classes {

namespace {

QRect ToQRect(const PixelRect& rect)
{
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

} // namespace

CFloatWnd::CFloatWnd(QWidget* parent) : QWidget(parent, Qt::Window)
{
    // Every pixel is painted each time, black where the picture is not: no background erase
    // first, so resizing does not flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // The program lives in the tray: closing its last visible window must not end it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setMinimumSize(MinimumSize, MinimumSize);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
}

CFloatWnd::~CFloatWnd() = default;

void CFloatWnd::SetPicture(const ImageFrame& picture)
{
    picture_ = picture.SharedCopy();
    fitRect_ = ToQRect(FitImageToWindow(picture_, PixelRect{0, 0, width(), height()}));
    windowImageCurrent_ = false;
    update();
}

QSize CFloatWnd::ClientSizeFor(const QSize& picture, const QSize& available)
{
    QSize size = picture.isValid() && !picture.isEmpty() ? picture : QSize(0, 0);
    if (!size.isEmpty() && (size.width() > available.width() || size.height() > available.height()))
        size =
            size.scaled(std::max(available.width(), 1), std::max(available.height(), 1), Qt::KeepAspectRatio);
    return size.expandedTo(QSize(MinimumSize, MinimumSize));
}

void CFloatWnd::PlaceAt(const QPoint& topLeft, const QMargins& frame)
{
    const QScreen* screen = QGuiApplication::screenAt(topLeft);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(topLeft, QSize(1024, 768));
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    const QSize client = ClientSizeFor(NaturalSize(), room);
    resize(client);
    // The whole window stays on the screen: a drop near its edge moves the window in.
    const QSize outer = client.grownBy(frame);
    const int x = std::max(available.left(), std::min(topLeft.x(), available.right() + 1 - outer.width()));
    const int y = std::max(available.top(), std::min(topLeft.y(), available.bottom() + 1 - outer.height()));
    move(x, y);
}

QMargins CFloatWnd::FrameMarginsOf(const QWidget& window)
{
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

void CFloatWnd::OpenAt(const QPoint& topLeft, const QWidget& onScreen)
{
    PlaceAt(topLeft, FrameMarginsOf(*onScreen.window()));
    show();
    raise();
}

void CFloatWnd::Rescale()
{
    windowImageCurrent_ = true;
    fitRect_ = ToQRect(FitImageToWindow(picture_, PixelRect{0, 0, width(), height()}));
    if (picture_.IsEmpty() || fitRect_.isEmpty()) {
        windowImage_.Empty();
        return;
    }
    if (windowImage_.Width() == fitRect_.width() && windowImage_.Height() == fitRect_.height() &&
        windowImage_.BitsPerPixel() == 32 && picture_.Image().cacheKey() == shownKey_)
        return;
    ++rescales_;
    if (!ResizeImage(picture_, windowImage_, fitRect_.width(), fitRect_.height(), 32))
        windowImage_.Empty();
    shownKey_ = picture_.Image().cacheKey();
}

const ImageFrame& CFloatWnd::ScaledPicture()
{
    if (!windowImageCurrent_)
        Rescale();
    return windowImage_;
}

void CFloatWnd::PaintWindow(QPainter& painter, const QRect& exposed)
{
    const ImageFrame& scaled = ScaledPicture();
    const QRegion bars = QRegion(exposed) - QRegion(scaled.IsEmpty() ? QRect() : fitRect_);
    for (const QRect& bar : bars)
        painter.fillRect(bar, Qt::black);
    if (!scaled.IsEmpty())
        painter.drawImage(fitRect_.topLeft(), scaled.Image());
}

void CFloatWnd::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    PaintWindow(painter, event->rect());
}

void CFloatWnd::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A move keeps the scaled picture; a new size scales it again when next painted.
    const QRect fit = ToQRect(FitImageToWindow(picture_, PixelRect{0, 0, width(), height()}));
    if (fit.size() != fitRect_.size())
        windowImageCurrent_ = false;
    fitRect_ = fit;
}

void CFloatWnd::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit Closed();
}

} // namespace Utils::Classes
