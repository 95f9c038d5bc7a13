#pragma once

#include "ImageFrame.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/CPage.h"

#include <QIcon>
#include <QPointer>

class QLabel;

namespace Utils::Classes {
class FloatWndHolder;
class PictureDragOut;
} // namespace Utils::Classes
namespace Utils::Controls {
class CSimpleImage;
class CStaticColour;
} // namespace Utils::Controls

// The Preview page: the image the last processing cycle produced, captions and all, fitted into
// the page with black bars, and its time. The image can be pulled out into a window of its own
// (dragged out, or "Detach"), which then shows each new image instead of the page; closing that
// window brings the image back. The page scales only what is seen: images that arrive while it
// is hidden replace the one kept, and the newest is scaled once when the page shows again.
class CImagePreview final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CImagePreview)

public:
    explicit CImagePreview(QWidget* parent = nullptr);
    ~CImagePreview() override;

    // The captioned image of a cycle and its time text, from the processing controller.
    void ShowPreviewImage(const ImageFrame& image, const QString& timeText);
    // Brings the page and the floating window up to date.
    void UpdatePreview();

    // Opens the floating window with its top-left corner at the point (global coordinates).
    void DetachTo(const QPoint& topLeft);
    void SetFloatingIcon(const QIcon& icon) { floatingIcon_ = icon; }

    const ImageFrame& Image() const { return image_; }
    QString TimeText() const { return timeText_; }
    QString StatusText() const;
    bool PictureShown() const;
    // Where the scaled image lies in the display area.
    QRect DisplayFitRect() const { return displayFitRect_; }
    QWidget* DisplayArea() const { return displayArea_; }
    Utils::Controls::CSimpleImage* PictureControl() const { return picture_; }
    Utils::Classes::CFloatWnd* FloatingWindow() const;
    Utils::Classes::PictureDragOut* DragOut() const { return dragOut_; }
    // How many times the image was scaled into the page.
    int Rescales() const { return rescales_; }
    // Whether anybody can see the page: shown, in a window that is not minimised.
    bool Seen() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void RebuildDisplay();
    void ScheduleUpdate();
    void WatchWindow();
    void OnFloatingClosed();

    ImageFrame image_;
    bool displayCurrent_ = false;
    QString timeText_;
    QRect displayFitRect_;
    QIcon floatingIcon_;
    QWidget* displayArea_ = nullptr;
    Utils::Controls::CStaticColour* status_ = nullptr;
    Utils::Controls::CSimpleImage* picture_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    Utils::Classes::PictureDragOut* dragOut_ = nullptr;
    Utils::Classes::FloatWndHolder* floating_ = nullptr;
    QPointer<QWidget> watchedWindow_;
    int rescales_ = 0;
    bool updateScheduled_ = false;
};
