#pragma once

#include "Utils/Classes/CFloatWnd.h"
#include "sources/CropThumbnail.h"

#include <QRegion>

class CropMouseEditor;

// The latest collected file in a window of its own, with the crop drawn over it as on the page
// (hatch outside, the overhang beyond the image in the letterbox) and editable with the mouse.
// The composite of picture and crop is built once per picture and size; when only the crop
// moves, just the bands it moved through are drawn and blended again.
class CSourceFileFloatingWindow final : public Utils::Classes::CFloatWnd
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceFileFloatingWindow)

public:
    explicit CSourceFileFloatingWindow(QWidget* parent = nullptr);
    ~CSourceFileFloatingWindow() override;

    // The frame and the crop in force (the page's fields, applied or not).
    void ShowFrame(const ImageFrame& frame, const CropSettings& crop);

    const ImageFrame& Composite() const { return composite_; }
    int FullRebuilds() const { return fullRebuilds_; }
    int BandRedraws() const { return bandRedraws_; }
    CropMouseEditor* CropEditor() const { return cropEditor_; }

signals:
    void CropDragged(const QRect& crop);

protected:
    void PaintWindow(QPainter& painter, const QRect& exposed) override;

private:
    void Rebuild(const ImageFrame& scaled);
    void RedrawBands(const QRect& mapped);
    QSize ImageSize() const;

    CropSettings crop_;
    ImageFrame overlay_;
    ImageFrame composite_;
    qint64 compositeKey_ = 0; // the scaled picture the composite was built on
    QRect drawnCrop_;         // the crop as drawn into the composite, in its pixels
    int fullRebuilds_ = 0;
    int bandRedraws_ = 0;
    CropMouseEditor* cropEditor_ = nullptr;
};
