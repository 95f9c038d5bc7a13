#pragma once

#include "Utils/Classes/CaptureFormat.h"

#include <QDialog>

#include <functional>

class QSlider;

// "Video Properties...": a slider for each picture control the camera offers. Every move is
// applied at once (the picture changes while the dialog is open); Close keeps what is set.
class CVideoPropertiesDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CVideoPropertiesDialog)

public:
    using Apply = std::function<void(const QString& name, int value)>;
    CVideoPropertiesDialog(const QList<CaptureControl>& controls, Apply apply, QWidget* parent = nullptr);
    ~CVideoPropertiesDialog() override;

    // The slider of a control, or null.
    QSlider* Slider(const QString& name) const;
};
