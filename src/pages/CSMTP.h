#pragma once

#include "Utils/Classes/CPage.h"
#include "outputs/SmtpSettings.h"

class SmtpEngine;
class QCheckBox;
class QComboBox;
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

    // The port to show once the security choice changes: the usual port of the new choice
    // (25 plain, 587 STARTTLS, 465 TLS) while the field is empty or shows one of those three,
    // otherwise the port the user typed.
    static QString PortForSecurity(const QString& typed, SmtpSecurity security);

    QLineEdit* ServerEdit() const { return server_; }
    QLineEdit* PortEdit() const { return port_; }
    QComboBox* SecurityCombo() const { return security_; }
    QLineEdit* FingerprintEdit() const { return fingerprint_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QCheckBox* SavePasswordCheck() const { return savePassword_; }
    QLineEdit* FromEdit() const { return from_; }
    QLineEdit* ToEdit() const { return to_; }
    QLineEdit* SubjectEdit() const { return subject_; }
    QLineEdit* FilenameEdit() const { return filename_; }

private:
    void ShowSettings();
    SmtpSecurity ShownSecurity() const;
    void OnSecurityChosen();

    SmtpEngine& engine_;
    QLineEdit* server_;
    QLineEdit* port_;
    QComboBox* security_;
    QLineEdit* fingerprint_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* savePassword_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* subject_;
    QLineEdit* filename_;
};
