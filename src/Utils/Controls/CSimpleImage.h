#pragma once

#include "ImageFrame.h"

#include <QRect>
#include <QWidget>

namespace Utils::Controls {

// Shows its own copy of a picture at the picture's size, except over an excluded rectangle.
// Mouse events are not its own: they go on to the parent, in the parent's coordinates.
class CSimpleImage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSimpleImage)

public:
    explicit CSimpleImage(QWidget* parent = nullptr);

    // An empty picture keeps the previous one and its size; the excluded rectangle is always taken.
    void SetPicture(const ImageFrame& picture, const QRect& excludedRect = QRect());
    const ImageFrame& Picture() const { return picture_; }
    QRect ExcludedRect() const { return excludedRect_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ImageFrame picture_;
    QRect excludedRect_;
};

} // namespace Utils::Controls
