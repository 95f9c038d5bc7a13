#include "FtpSettings.h"

#include "CertificateFingerprint.h"
#include "PasswordScrambler.h"
#include "UnusableSetting.h"

#include <limits>

namespace {
const QString KeyUser = QStringLiteral("FTPUsername");
const QString KeyPassword = QStringLiteral("FTPPassword");
const QString KeySavePassword = QStringLiteral("FTPSavePassword");
const QString KeyScramble = QStringLiteral("FTPEncryptPassword");
const QString KeyServer = QStringLiteral("FTPServer");
const QString KeyPort = QStringLiteral("FTPPort");
const QString KeyDirectory = QStringLiteral("FTPDestinationDirectory");
const QString KeyFilename = QStringLiteral("FTPDestinationFilename");
const QString KeyThumbDirectory = QStringLiteral("FTPThumbnailDestinationDirectory");
const QString KeyThumbFilename = QStringLiteral("FTPThumbnailDestinationFilename");
const QString KeyThumbHeight = QStringLiteral("FTPThumbnailHeight");
const QString KeyThumbWidth = QStringLiteral("FTPThumbnailWidth");
const QString KeyThumbEnable = QStringLiteral("FTPThumbnailEnable");
const QString KeyTemporaryName = QStringLiteral("FTPUploadUnderTemporaryName");
const QString KeyProtocol = QStringLiteral("FTPProtocol");
const QString KeyPassive = QStringLiteral("FTPPassiveMode");
const QString KeyFingerprint = QStringLiteral("FTPCertificateSHA256");
const QString KeyPrivateKey = QStringLiteral("FTPPrivateKeyFile");
const QString KeyKnownHosts = QStringLiteral("FTPKnownHostsFile");

constexpr FtpProtocol AllProtocols[] = {FtpProtocol::Ftp, FtpProtocol::FtpsExplicit,
                                        FtpProtocol::FtpsImplicit, FtpProtocol::Sftp};

FtpProtocol ReadProtocol(const SettingsList& list)
{
    const QString text = GetSettingString(list, KeyProtocol, QString());
    if (text.trimmed().isEmpty())
        return FtpProtocol::Ftp;
    if (const std::optional<FtpProtocol> protocol = ParseFtpProtocol(text))
        return *protocol;
    // Whoever wrote something else meant some protection: sending the password in plain text
    // instead would fail open. FTPS refuses a server that cannot give it.
    LogUnusableSetting(KeyProtocol,
                       QStringLiteral("= %1 is not FTP, FTPS, FTPS implicit or SFTP").arg(text.left(40)),
                       FtpProtocolName(FtpProtocol::FtpsExplicit));
    return FtpProtocol::FtpsExplicit;
}

// The page takes 1 to 1000; a 0 from the file stays 0, so that the upload reports the
// thumbnail it cannot make.
std::int32_t ThumbnailSide(const SettingsList& list, const QString& key, std::int32_t defaultValue)
{
    return GetSettingInt(list, key, defaultValue, 0, 1000);
}
} // namespace

FtpSettings FtpSettings::Read(const SettingsList& list)
{
    const FtpSettings defaults;
    FtpSettings s;
    s.userName = GetSettingString(list, KeyUser, defaults.userName);
    s.savePassword = GetSettingBool(list, KeySavePassword, defaults.savePassword);
    s.scramblePassword = GetSettingBool(list, KeyScramble, defaults.scramblePassword);
    s.server = GetSettingString(list, KeyServer, defaults.server);
    // Any number gives a port: its low sixteen bits, as files have always been read.
    s.port = static_cast<std::uint16_t>(GetSettingInt(list, KeyPort, defaults.port,
                                                      std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max()) &
                                        0xFFFF);
    s.destinationDirectory = GetSettingString(list, KeyDirectory, defaults.destinationDirectory);
    s.destinationFilename = GetSettingString(list, KeyFilename, defaults.destinationFilename);
    s.thumbnailDirectory = GetSettingString(list, KeyThumbDirectory, defaults.thumbnailDirectory);
    s.thumbnailFilename = GetSettingString(list, KeyThumbFilename, defaults.thumbnailFilename);
    s.thumbnailHeight = ThumbnailSide(list, KeyThumbHeight, defaults.thumbnailHeight);
    s.thumbnailWidth = ThumbnailSide(list, KeyThumbWidth, defaults.thumbnailWidth);
    s.thumbnailEnabled = GetSettingBool(list, KeyThumbEnable, defaults.thumbnailEnabled);
    s.uploadUnderTemporaryName = GetSettingBool(list, KeyTemporaryName, defaults.uploadUnderTemporaryName);
    s.password = ReadStoredPassword(list, KeyPassword, s.scramblePassword, MaxPasswordLength);
    s.protocol = ReadProtocol(list);
    s.passiveMode = GetSettingBool(list, KeyPassive, defaults.passiveMode);
    s.certificateSha256 = ReadCertificateFingerprintSetting(list, KeyFingerprint);
    s.privateKeyFile = GetSettingString(list, KeyPrivateKey, defaults.privateKeyFile);
    s.knownHostsFile = GetSettingString(list, KeyKnownHosts, defaults.knownHostsFile);
    return s;
}

void FtpSettings::Write(SettingsList& list) const
{
    AppendSetting(list, KeyServer, server);
    AppendSetting(list, KeyPort, static_cast<std::int32_t>(port));
    AppendSetting(list, KeyUser, userName);
    if (savePassword)
        AppendSetting(list, KeyPassword, scramblePassword ? ScramblePassword(password) : password);
    AppendSetting(list, KeySavePassword, savePassword);
    AppendSetting(list, KeyScramble, scramblePassword);
    AppendSetting(list, KeyDirectory, destinationDirectory);
    AppendSetting(list, KeyFilename, destinationFilename);
    AppendSetting(list, KeyThumbEnable, thumbnailEnabled);
    AppendSetting(list, KeyThumbDirectory, thumbnailDirectory);
    AppendSetting(list, KeyThumbFilename, thumbnailFilename);
    AppendSetting(list, KeyThumbWidth, thumbnailWidth);
    AppendSetting(list, KeyThumbHeight, thumbnailHeight);
    AppendSetting(list, KeyTemporaryName, uploadUnderTemporaryName);
    AppendSetting(list, KeyProtocol, FtpProtocolName(protocol));
    AppendSetting(list, KeyPassive, passiveMode);
    AppendSetting(list, KeyFingerprint, certificateSha256);
    AppendSetting(list, KeyPrivateKey, privateKeyFile);
    AppendSetting(list, KeyKnownHosts, knownHostsFile);
    EndSettingsBlock(list);
}

QString FtpProtocolName(FtpProtocol protocol)
{
    switch (protocol) {
    case FtpProtocol::FtpsExplicit:
        return QStringLiteral("FTPS");
    case FtpProtocol::FtpsImplicit:
        return QStringLiteral("FTPS implicit");
    case FtpProtocol::Sftp:
        return QStringLiteral("SFTP");
    case FtpProtocol::Ftp:
        break;
    }
    return QStringLiteral("FTP");
}

std::optional<FtpProtocol> ParseFtpProtocol(const QString& text)
{
    const QString name = text.simplified();
    for (const FtpProtocol protocol : AllProtocols) {
        if (name.compare(FtpProtocolName(protocol), Qt::CaseInsensitive) == 0)
            return protocol;
    }
    if (name.compare(QLatin1String("FTPS explicit"), Qt::CaseInsensitive) == 0 ||
        name.compare(QLatin1String("FTPES"), Qt::CaseInsensitive) == 0)
        return FtpProtocol::FtpsExplicit;
    return std::nullopt;
}

std::uint16_t DefaultFtpPort(FtpProtocol protocol)
{
    switch (protocol) {
    case FtpProtocol::FtpsImplicit:
        return 990;
    case FtpProtocol::Sftp:
        return 22;
    case FtpProtocol::Ftp:
    case FtpProtocol::FtpsExplicit:
        break;
    }
    return 21;
}
