#pragma once

#include "SettingsFile.h"

#include <QString>

#include <cstdint>
#include <optional>

// How the uploads travel.
enum class FtpProtocol
{
    Ftp,          // plain text throughout, the password included
    FtpsExplicit, // FTP upgraded by AUTH TLS before the login; files over TLS too
    FtpsImplicit, // TLS from the first byte (usually port 990)
    Sftp,         // SSH file transfer (usually port 22)
};

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
    FtpProtocol protocol = FtpProtocol::Ftp;
    // The server opens the data connections' ports; off, it connects back to ours (active).
    // FTPS is passive whatever this says.
    bool passiveMode = false;
    // FTPS: the SHA-256 fingerprint of a server certificate trusted although no authority
    // vouches for it ("AB:CD:...", or empty). When set, the server must show that certificate.
    QString certificateSha256;
    // SFTP: a private key to log in with (the password then unlocks the key, if it needs one),
    // and the known-hosts file the server's host key must be in (empty: ~/.ssh/known_hosts).
    QString privateKeyFile;
    QString knownHostsFile;

    friend bool operator==(const FtpSettings&, const FtpSettings&) = default;

    // The nineteen keys; the port keeps the low 16 bits of the number. A value the new keys
    // cannot take is logged and replaced by its default (an unknown protocol by FTPS, which
    // refuses a server that cannot protect the password).
    static FtpSettings Read(const SettingsList& list);
    // Server, port, user name, the password only when it is to be saved, then the rest, then
    // one empty line.
    void Write(SettingsList& list) const;
};

// "FTP", "FTPS", "FTPS implicit", "SFTP", as in the file and on the page.
QString FtpProtocolName(FtpProtocol protocol);
std::optional<FtpProtocol> ParseFtpProtocol(const QString& text);
// The port a protocol's servers listen on unless told otherwise.
std::uint16_t DefaultFtpPort(FtpProtocol protocol);
