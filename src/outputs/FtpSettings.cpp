#include "FtpSettings.h"

#include "PasswordScrambler.h"

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
    EndSettingsBlock(list);
}
