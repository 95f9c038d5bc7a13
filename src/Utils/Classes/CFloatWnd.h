#pragma once

#include "ImageFrame.h"

#include <QRect>
#include <QWidget>

class QPainter;

namespace Utils::Classes {

// A picture in a window of its own: the picture fitted into the client area with its aspect
// kept and black bars around it. The window opens at its picture's size, made smaller (aspect
// kept) where that would not fit the screen's available area, and can never be made smaller
// than 50 by 50. It rescales only when it is painted, so a minimised window costs nothing
// when new pictures arrive. Closing it tells the owner through Closed(); the owner deletes it.
class CFloatWnd : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFloatWnd)

public:
    static constexpr int MinimumSize = 50;

    explicit CFloatWnd(QWidget* parent = nullptr);
    ~CFloatWnd() override;

    // Takes a shared copy of the picture; an empty one leaves the window black.
    void SetPicture(const ImageFrame& picture);
    const ImageFrame& Picture() const { return picture_; }

    // The client size that shows a picture of the given size within an available client
    // area: the picture's own size when it fits, else the largest size of its aspect that
    // does; never below the minimum.
    static QSize ClientSizeFor(const QSize& picture, const QSize& available);
    // Sizes the window for its picture and puts its frame's top-left corner at the point, moved
    // back into the available area of the screen there where it would reach out of it. The
    // frame margins are a guess until the window has been shown (the window manager adds
    // them); the caller passes those of a window of its own that is on screen.
    void PlaceAt(const QPoint& topLeft, const QMargins& frame);
    // Places the window as above, with the frame of the window that holds `onScreen`, and
    // shows it.
    void OpenAt(const QPoint& topLeft, const QWidget& onScreen);
    static QMargins FrameMarginsOf(const QWidget& window);

    // Where the picture lies in the client area.
    QRect FitRect() const { return fitRect_; }
    // How many times the picture was scaled to the window.
    int Rescales() const { return rescales_; }

signals:
    void Closed();

protected:
    // The size the window opens at when it fits: the picture's.
    virtual QSize NaturalSize() const { return QSize(picture_.Width(), picture_.Height()); }
    // The picture scaled to FitRect()'s size, scaled now if it is not yet.
    const ImageFrame& ScaledPicture();
    // Paints the client area (the exposed part of it at least); by default the scaled picture
    // in its place and black around it.
    virtual void PaintWindow(QPainter& painter, const QRect& exposed);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Rescale();

    ImageFrame picture_;
    ImageFrame windowImage_;
    QRect fitRect_;
    qint64 shownKey_ = 0; // the picture windowImage_ was scaled from
    bool windowImageCurrent_ = false;
    int rescales_ = 0;
};

} // namespace Utils::Classes
