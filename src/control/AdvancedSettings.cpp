#include "AdvancedSettings.h"

#include "ImageFormat.h"

AdvancedSettings AdvancedSettings::Read(const SettingsList& list)
{
    AdvancedSettings settings;
    settings.jpegQuality = GetSettingInt(list, KeyJpegQuality, 75, 0, 100);
    return settings;
}

void AdvancedSettings::Write(SettingsList& list) const
{
    AppendSetting(list, KeyJpegQuality, jpegQuality);
    EndSettingsBlock(list);
}

void AdvancedSettings::Apply() const
{
    if (jpegQuality >= 0 && jpegQuality <= 100)
        SetJpegQuality(jpegQuality);
}
