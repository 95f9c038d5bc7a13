// The settings file reader and its typed getters: any file, looked up by the keys it holds (the
// first word of each line) and by keys Pixlet uses, and a round trip of what was read.
#include "FuzzSupport.h"
#include "SettingsFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    SettingsList list;
    if (!ReadSettingsFile(list, WriteInputFile(Bytes(data, size))))
        return 0;
    QStringList keys = {QStringLiteral("FTPPort"), QStringLiteral("SourceCropWidth"),
                        QStringLiteral("ControlEnableArchive")};
    for (const QString& line : list.mid(0, 64))
        keys << line.section(QLatin1Char(' '), 0, 0) << line.section(QLatin1Char('='), 0, 0);
    for (const QString& key : keys) {
        const QString value = GetSettingString(list, key, QString());
        GetSettingString(list, key, QString(), false);
        GetSettingInt(list, key, 7, -100, 100);
        GetSettingInt(list, key, 7, 100, -100);
        GetSettingBool(list, key, true, false);
        ParseSettingInt(value);
        ParseSettingBool(value);
    }
    return 0;
}
