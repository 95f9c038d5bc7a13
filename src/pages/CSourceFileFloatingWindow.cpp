#include "CSourceFileFloatingWindow.h"

#include "CropMouseEditor.h"
#include "ImageOperations.h"

#include <QPainter>

#include <cstring>

namespace {

constexpr float Factor = 0.4f;

// The pixels around a rectangle's outline whose overlay a move of it can change.
QRegion Outline(const QRect& rect)
{
    return QRegion(rect.adjusted(-2, -2, 2, 2)) - QRegion(rect.adjusted(2, 2, -2, -2));
}

// Copies a band of one 32-bit frame into another of the same size.
void CopyBand(const ImageFrame& from, ImageFrame& to, const QRect& band)
{
    for (int y = band.top(); y <= band.bottom(); ++y)
        std::memcpy(to.Row(y) + band.left() * 4, from.Row(y) + band.left() * 4,
                    std::size_t(band.width()) * 4);
}

} // namespace

CSourceFileFloatingWindow::CSourceFileFloatingWindow(QWidget* parent) : CFloatWnd(parent)
{
    cropEditor_ = new CropMouseEditor(this, [this] {
        return CropMouseEditor::View{FitRect(), ImageSize(), crop_};
    });
    connect(cropEditor_, &CropMouseEditor::CropDragged, this, &CSourceFileFloatingWindow::CropDragged);
}

CSourceFileFloatingWindow::~CSourceFileFloatingWindow() = default;

QSize CSourceFileFloatingWindow::ImageSize() const
{
    return QSize(Picture().Width(), Picture().Height());
}

void CSourceFileFloatingWindow::ShowFrame(const ImageFrame& frame, const CropSettings& crop)
{
    const bool newPicture = frame.Image().cacheKey() != Picture().Image().cacheKey() || frame.IsEmpty();
    const bool sameLook = crop.enabled == crop_.enabled && crop.hatchStyle == crop_.hatchStyle;
    crop_ = crop;
    if (newPicture) {
        SetPicture(frame);
        return;
    }
    // The same picture: a moved crop redraws where it moved, a crop switched on or off or of
    // another hatch everything.
    if (!sameLook || composite_.IsEmpty()) {
        compositeKey_ = 0;
        update();
        return;
    }
    if (crop_.enabled)
        RedrawBands(CropThumbnail::MapCropToDisplay(crop_, ImageSize(), FitRect().size()));
}

void CSourceFileFloatingWindow::Rebuild(const ImageFrame& scaled)
{
    ++fullRebuilds_;
    compositeKey_ = scaled.Image().cacheKey();
    const QSize size(scaled.Width(), scaled.Height());
    drawnCrop_ = CropThumbnail::MapCropToDisplay(crop_, ImageSize(), size);
    if (!CopyImage(scaled, composite_, 32) ||
        !CropThumbnail::DrawCropOverlay(overlay_, ImageSize(), size, crop_))
        return;
    CropThumbnail::BlendOverlay(composite_, composite_, overlay_, Factor, 0, 0);
}

void CSourceFileFloatingWindow::RedrawBands(const QRect& mapped)
{
    if (mapped == drawnCrop_ || compositeKey_ == 0)
        return;
    const ImageFrame& scaled = ScaledPicture();
    if (scaled.Image().cacheKey() != compositeKey_ || scaled.BitsPerPixel() != 32) {
        compositeKey_ = 0;
        update();
        return;
    }
    const QRect display(0, 0, composite_.Width(), composite_.Height());
    const QRegion bands = ((QRegion(drawnCrop_) ^ QRegion(mapped)) + Outline(drawnCrop_) + Outline(mapped))
                              .intersected(display);
    for (const QRect& band : bands) {
        CropThumbnail::DrawCropOverlay(overlay_, ImageSize(), display.size(), crop_, band);
        CopyBand(scaled, composite_, band);
        CropThumbnail::BlendOverlay(composite_, composite_, overlay_, Factor, 0, 0, band);
        ++bandRedraws_;
    }
    // The overhang beyond the image lies in the letterbox, which is cheap to paint again.
    update(bands.translated(FitRect().topLeft()) + (QRegion(rect()) - QRegion(FitRect())));
    drawnCrop_ = mapped;
}

void CSourceFileFloatingWindow::PaintWindow(QPainter& painter, const QRect& exposed)
{
    const ImageFrame& scaled = ScaledPicture();
    if (scaled.IsEmpty()) {
        painter.fillRect(exposed, Qt::black);
        return;
    }
    const QRect fit = FitRect();
    if (crop_.enabled) {
        if (scaled.Image().cacheKey() != compositeKey_)
            Rebuild(scaled);
        painter.drawImage(fit.topLeft(), composite_.Image());
    } else {
        painter.drawImage(fit.topLeft(), scaled.Image());
    }
    const QRect overhang = crop_.enabled ? drawnCrop_.translated(fit.topLeft()) : QRect();
    CropThumbnail::PaintLetterbox(painter, rect(), fit, overhang, Qt::black, Qt::white, Factor,
                                  crop_.hatchStyle);
}
