#pragma once

#include "Utils/Classes/CPage.h"

class SmtpEngine;
class QLineEdit;

// The "Email" page: shows the e-mail output's settings, edits a copy and hands it back on Apply.
class CSMTP final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSMTP)

public:
    explicit CSMTP(SmtpEngine& engine, QWidget* parent = nullptr);
    ~CSMTP() override;

    void ApplyPage() override;
    void RefreshPage() override { ShowSettings(); }

    QLineEdit* ServerEdit() const { return server_; }
    QLineEdit* PortEdit() const { return port_; }
    QLineEdit* FromEdit() const { return from_; }
    QLineEdit* ToEdit() const { return to_; }
    QLineEdit* SubjectEdit() const { return subject_; }
    QLineEdit* FilenameEdit() const { return filename_; }

private:
    void ShowSettings();

    SmtpEngine& engine_;
    QLineEdit* server_;
    QLineEdit* port_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* subject_;
    QLineEdit* filename_;
};
