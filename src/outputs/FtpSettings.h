#pragma once

#include "SettingsFile.h"

#include <QString>

#include <cstdint>

// The FTP uploader's settings; each upload works on its own copy.
struct FtpSettings
{
    // A longer stored password is refused with a log line.
    static constexpr qsizetype MaxPasswordLength = 256;

    QString userName;
    QString password; // plain text in memory; scrambled in the file when scramblePassword
    bool savePassword = true;
    bool scramblePassword = true;
    QString server;
    std::uint16_t port = 21; // 0 means the protocol's default
    QString destinationDirectory;
    QString destinationFilename = QStringLiteral("Pixlet Image.jpg");
    QString thumbnailDirectory;
    QString thumbnailFilename;
    std::int32_t thumbnailHeight = 120;
    std::int32_t thumbnailWidth = 160;
    bool thumbnailEnabled = false;
    // Each file goes to a hidden name beside its own and is renamed onto it once complete, so
    // that a broken upload never shows under the published name. On for files written before
    // the key too; off only for servers that refuse renames.
    bool uploadUnderTemporaryName = true;

    friend bool operator==(const FtpSettings&, const FtpSettings&) = default;

    // The fourteen keys; the port keeps the low 16 bits of the number.
    static FtpSettings Read(const SettingsList& list);
    // Server, port, user name, the password only when it is to be saved, then the rest, then
    // one empty line.
    void Write(SettingsList& list) const;
};
