#pragma once

#include "Utils/Classes/CaptureFormat.h"

#include <QDialog>

class QListWidget;

// "Stream Properties...": the camera's formats (size, frame rate, pixel format) with the one in
// force selected. The stream stands still while it is open; OK restarts it in the choice,
// Cancel in the format it had.
class CStreamPropertiesDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CStreamPropertiesDialog)

public:
    CStreamPropertiesDialog(const QList<CaptureFormat>& formats, const CaptureFormat& current,
                            QWidget* parent = nullptr);
    ~CStreamPropertiesDialog() override;

    // The selected format; empty when none is selected.
    CaptureFormat Chosen() const;
    QListWidget* FormatList() const { return list_; }

private:
    QList<CaptureFormat> formats_;
    QListWidget* list_ = nullptr;
};
