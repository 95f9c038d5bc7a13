#pragma once

#include "sources/CropThumbnail.h"

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QWidget;

// Drags the crop rectangle's edges, corners, or the whole of it on a picture that shows it: the
// pointer takes the shape of the zone it is over, and each step of a drag says where the
// rectangle now is (in image pixels); the owner writes it into the crop fields, whose change
// redraws the picture. A press it takes is not seen by filters installed before it, so a
// drag-out of the picture never starts during a crop drag: install this one last.
class CropMouseEditor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CropMouseEditor)

public:
    // What the area shows: where the image lies in it, the image's size, the crop in force.
    struct View
    {
        QRect display;
        QSize imageSize;
        CropSettings crop;
    };

    CropMouseEditor(QWidget* area, std::function<View()> view);
    ~CropMouseEditor() override;

    int Flags() const { return flags_; }
    bool Dragging() const { return dragging_; }

signals:
    void CropDragged(const QRect& crop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowCursor();
    void EndDrag();

    QWidget* area_;
    std::function<View()> view_;
    int flags_ = 0;
    bool dragging_ = false;
    bool cursorSet_ = false;
    QPoint grabOffset_;
};
