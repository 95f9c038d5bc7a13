#pragma once

#include "Utils/Classes/CPage.h"
#include "outputs/FtpSettings.h"

class FtpEngine;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

// The "FTP" page: shows the FTP output's settings, edits a copy and hands it back on Apply.
class CFTP final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFTP)

public:
    explicit CFTP(FtpEngine& engine, QWidget* parent = nullptr);
    ~CFTP() override;

    void ApplyPage() override;
    void RefreshPage() override { ShowSettings(); }

    QLineEdit* ServerEdit() const { return server_; }
    QLineEdit* PortEdit() const { return port_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QCheckBox* SavePasswordCheck() const { return savePassword_; }
    QLineEdit* DirectoryEdit() const { return directory_; }
    QLineEdit* FilenameEdit() const { return filename_; }
    QCheckBox* ThumbnailCheck() const { return thumbnail_; }
    QLineEdit* ThumbnailDirectoryEdit() const { return thumbDirectory_; }
    QLineEdit* ThumbnailFilenameEdit() const { return thumbFilename_; }
    QLineEdit* ThumbnailWidthEdit() const { return thumbWidth_; }
    QLineEdit* ThumbnailHeightEdit() const { return thumbHeight_; }
    QCheckBox* TemporaryNameCheck() const { return temporaryName_; }
    QComboBox* ProtocolCombo() const { return protocol_; }
    QCheckBox* PassiveCheck() const { return passive_; }
    QLineEdit* FingerprintEdit() const { return fingerprint_; }
    QLineEdit* PrivateKeyEdit() const { return privateKey_; }
    QLineEdit* KnownHostsEdit() const { return knownHosts_; }

    // The port to show when the protocol changes: a protocol's usual port (or none) becomes the
    // new protocol's; any other is the user's and stays.
    static QString PortForProtocol(const QString& typed, FtpProtocol protocol);

private:
    void ShowSettings();
    FtpProtocol ShownProtocol() const;
    void OnProtocolChosen();
    void EnableProtocolFields();
    void EnableThumbnailFields();

    FtpEngine& engine_;
    QLineEdit* server_;
    QLineEdit* port_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* savePassword_;
    QLineEdit* directory_;
    QLineEdit* filename_;
    QCheckBox* thumbnail_;
    QLineEdit* thumbDirectory_;
    QLineEdit* thumbFilename_;
    QLineEdit* thumbWidth_;
    QLineEdit* thumbHeight_;
    QCheckBox* temporaryName_;
    QComboBox* protocol_;
    QCheckBox* passive_;
    QLineEdit* fingerprint_;
    QLineEdit* privateKey_;
    QLineEdit* knownHosts_;
};
