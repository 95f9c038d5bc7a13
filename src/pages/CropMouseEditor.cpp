#include "CropMouseEditor.h"

#include "sources/CropEditing.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

CropMouseEditor::CropMouseEditor(QWidget* area, std::function<View()> view)
    : QObject(area), area_(area), view_(std::move(view))
{
    area_->setMouseTracking(true);
    area_->installEventFilter(this);
}

CropMouseEditor::~CropMouseEditor() = default;

void CropMouseEditor::ShowCursor()
{
    if (flags_ != CropEditing::None) {
        area_->setCursor(CropEditing::CursorFor(flags_));
        cursorSet_ = true;
    } else if (cursorSet_) {
        area_->unsetCursor();
        cursorSet_ = false;
    }
}

void CropMouseEditor::EndDrag()
{
    dragging_ = false;
    flags_ = CropEditing::None;
    ShowCursor();
}

bool CropMouseEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != area_)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint pos = mouse->position().toPoint();
        const bool held = mouse->buttons() & Qt::LeftButton;
        const View view = view_();
        if (dragging_ && (!held || view.imageSize.isEmpty() || !view.crop.enabled)) {
            // The release went elsewhere, or the picture or its crop went meanwhile: this
            // drag is over, and a move without the button never drags.
            EndDrag();
        }
        if (!dragging_) {
            // A drag begun off the crop (a drag-out) is not this one's.
            if (held)
                return false;
            flags_ = CropEditing::HitTestCrop(pos, view.display, view.imageSize, view.crop);
            ShowCursor();
            return flags_ != CropEditing::None;
        }
        QPoint point = CropEditing::DisplayToImage(pos, view.display, view.imageSize);
        if (flags_ == CropEditing::Inside)
            point -= grabOffset_;
        const CropEditing::Drag drag = CropEditing::DragCrop(flags_, point, view.crop.crop, view.imageSize);
        flags_ = drag.flags;
        ShowCursor();
        if (drag.crop != view.crop.crop)
            emit CropDragged(drag.crop);
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        const View view = view_();
        const QPoint pos = mouse->position().toPoint();
        flags_ = CropEditing::HitTestCrop(pos, view.display, view.imageSize, view.crop);
        ShowCursor();
        if (flags_ == CropEditing::None)
            return false;
        dragging_ = true;
        grabOffset_ =
            CropEditing::DisplayToImage(pos, view.display, view.imageSize) - view.crop.crop.topLeft();
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton || !dragging_)
            return false;
        dragging_ = false;
        return true;
    case QEvent::Hide:
        // A hidden picture gets no release.
        EndDrag();
        return false;
    case QEvent::Leave:
        if (!dragging_) {
            flags_ = CropEditing::None;
            ShowCursor();
        }
        return false;
    default:
        return false;
    }
}
