#pragma once

#include <QDialog>

class CConfiguration;

// The main window: one dialog with the ten pages on tabs.
class CFramewrightDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFramewrightDlg)

public:
    explicit CFramewrightDlg(QWidget* parent = nullptr);
    ~CFramewrightDlg() override;

    CConfiguration* Pages() const { return configuration_; }

private:
    CConfiguration* configuration_ = nullptr;
};
