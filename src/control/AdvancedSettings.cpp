#include "AdvancedSettings.h"

#include "ImageFormat.h"

AdvancedSettings AdvancedSettings::Read(const SettingsList& list)
{
    AdvancedSettings settings;
    settings.jpegQuality = GetSettingInt(list, KeyJpegQuality, 75, 0, 100);
    settings.outboxMaxImages = GetSettingInt(list, KeyOutboxImages, settings.outboxMaxImages, 1, 100000);
    settings.outboxMaxMegabytes =
        GetSettingInt(list, KeyOutboxMegabytes, settings.outboxMaxMegabytes, 1, 100000);
    return settings;
}

void AdvancedSettings::Write(SettingsList& list) const
{
    AppendSetting(list, KeyJpegQuality, jpegQuality);
    AppendSetting(list, KeyOutboxImages, outboxMaxImages);
    AppendSetting(list, KeyOutboxMegabytes, outboxMaxMegabytes);
    EndSettingsBlock(list);
}

void AdvancedSettings::Apply() const
{
    if (jpegQuality >= 0 && jpegQuality <= 100)
        SetJpegQuality(jpegQuality);
}
