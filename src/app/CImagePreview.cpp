#include "CImagePreview.h"

#include "ImageOperations.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/FloatWndHolder.h"
#include "Utils/Classes/PictureDragOut.h"
#include "Utils/Controls/CSimpleImage.h"
#include "Utils/Controls/CStaticColour.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

using Utils::Classes::CFloatWnd;
using Utils::Classes::FloatWndHolder;
using Utils::Classes::PictureDragOut;
using Utils::Controls::CSimpleImage;
using Utils::Controls::CStaticColour;

CImagePreview::CImagePreview(QWidget* parent) : CPage(parent)
{
    setObjectName(QStringLiteral("Preview"));
    auto* frame = new QGroupBox(this);
    displayArea_ = new QWidget(frame);
    displayArea_->setMinimumSize(160, 90);
    displayArea_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    status_ = new CStaticColour(displayArea_);
    status_->setAlignment(Qt::AlignCenter);
    status_->SetTextColour(Qt::white);
    status_->SetBackgroundColour(palette().color(QPalette::Shadow));
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // The picture is as large as the display area and lies over the status text.
    picture_ = new CSimpleImage(displayArea_);
    picture_->hide();
    auto* area = new QGridLayout(displayArea_);
    area->setContentsMargins(0, 0, 0, 0);
    area->addWidget(status_, 0, 0);
    timeLabel_ = new QLabel(frame);
    timeLabel_->setAlignment(Qt::AlignCenter);
    timeLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* inside = new QVBoxLayout(frame);
    inside->addWidget(displayArea_, 1);
    inside->addWidget(timeLabel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);

    displayArea_->installEventFilter(this);
    floating_ = new FloatWndHolder(this);
    connect(floating_, &FloatWndHolder::Closed, this, &CImagePreview::OnFloatingClosed);
    dragOut_ =
        new PictureDragOut(displayArea_, [this] { return PictureShown() ? displayFitRect_ : QRect(); });
    connect(dragOut_, &PictureDragOut::DragStarted, this, &CImagePreview::UpdatePreview);
    connect(dragOut_, &PictureDragOut::DragFinished, this, &CImagePreview::UpdatePreview);
    connect(dragOut_, &PictureDragOut::DetachRequested, this, &CImagePreview::DetachTo);
    UpdatePreview();
}

CImagePreview::~CImagePreview()
{
    // The window may be this page itself (a page shown on its own), whose last events must not
    // reach a filter that is half gone.
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
}

CFloatWnd* CImagePreview::FloatingWindow() const
{
    return floating_->Window();
}

bool CImagePreview::Seen() const
{
    return isVisible() && !window()->isMinimized();
}

void CImagePreview::ShowPreviewImage(const ImageFrame& image, const QString& timeText)
{
    // The controller's frame is shared, never copied: whoever writes to it first gets its own.
    image_ = image.SharedCopy();
    timeText_ = timeText;
    displayCurrent_ = false;
    timeLabel_->setText(timeText_);
    if (FloatingWindow() && !image_.IsEmpty())
        FloatingWindow()->SetPicture(image_);
    if (Seen() || FloatingWindow())
        UpdatePreview();
}

void CImagePreview::UpdatePreview()
{
    if (image_.IsEmpty()) {
        status_->setText(tr("No Image"));
        status_->show();
        picture_->hide();
        return;
    }
    if (FloatingWindow())
        FloatingWindow()->setWindowTitle(timeText_);
    else if (!displayCurrent_ && Seen())
        RebuildDisplay();
    if (FloatingWindow() || dragOut_->Dragging()) {
        status_->setText(tr("Image Detached"));
        status_->show();
        picture_->hide();
    } else {
        status_->clear();
        status_->hide();
        picture_->show();
    }
}

void CImagePreview::RebuildDisplay()
{
    const PixelRect client{0, 0, displayArea_->width(), displayArea_->height()};
    // The picture control keeps its own copy: the canvas lives only while it is made.
    ImageFrame canvas;
    if (client.IsEmpty() || !MakeBlankCanvas(canvas, client))
        return;
    ++rescales_;
    const PixelRect fit = FitImageToWindow(image_, client);
    displayFitRect_ = QRect(fit.left, fit.top, fit.Width(), fit.Height());
    // The canvas is opaque black (RGB32): the bars need nothing more.
    ImageFrame scaled;
    if (!fit.IsEmpty() && ResizeImage(image_, scaled, fit.Width(), fit.Height(), 32)) {
        if (QPainter* painter = canvas.AcquireDrawingSurface()) {
            painter->drawImage(fit.left, fit.top, scaled.Image());
            canvas.ReleaseDrawingSurface();
        }
    }
    picture_->SetPicture(canvas);
    displayCurrent_ = true;
}

QString CImagePreview::StatusText() const
{
    return status_->isHidden() ? QString() : status_->text();
}

bool CImagePreview::PictureShown() const
{
    return !picture_->isHidden() && !image_.IsEmpty() && displayCurrent_;
}

void CImagePreview::DetachTo(const QPoint& topLeft)
{
    if (image_.IsEmpty())
        return;
    if (!FloatingWindow()) {
        auto window = std::make_unique<CFloatWnd>();
        window->setObjectName(QStringLiteral("PreviewWindow"));
        window->setWindowIcon(floatingIcon_.isNull() ? this->window()->windowIcon() : floatingIcon_);
        window->SetPicture(image_);
        window->setWindowTitle(timeText_);
        floating_->Open(std::move(window), topLeft, *this);
    } else {
        floating_->BringForward();
    }
    UpdatePreview();
}

void CImagePreview::OnFloatingClosed()
{
    // The page scales the newest image again: it may have changed while detached.
    displayCurrent_ = false;
    UpdatePreview();
}

void CImagePreview::ScheduleUpdate()
{
    // A page shown for the first time is laid out again straight after, and a window being
    // resized sends many sizes: the image is scaled once, for the size the page ends up with.
    if (updateScheduled_)
        return;
    updateScheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updateScheduled_ = false;
            if (Seen())
                UpdatePreview();
        },
        Qt::QueuedConnection);
}

void CImagePreview::WatchWindow()
{
    // Restoring a minimised window shows the page without showing it anew.
    if (window() == watchedWindow_)
        return;
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
    watchedWindow_ = window();
    watchedWindow_->installEventFilter(this);
}

bool CImagePreview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == displayArea_ && event->type() == QEvent::Resize) {
        displayCurrent_ = false;
        ScheduleUpdate();
    } else if (watched == watchedWindow_ && event->type() == QEvent::WindowStateChange) {
        ScheduleUpdate();
    }
    return CPage::eventFilter(watched, event);
}

void CImagePreview::showEvent(QShowEvent* event)
{
    CPage::showEvent(event);
    WatchWindow();
    ScheduleUpdate();
}
