#include "ControlSettings.h"

#include <limits>

namespace {
constexpr auto IntMax = std::numeric_limits<std::int32_t>::max();
} // namespace

ControlSettings ControlSettings::Read(const SettingsList& list)
{
    ControlSettings s;
    s.cycleTimeSeconds = GetSettingInt(list, QStringLiteral("ControlProcessCycleTime"), 300, 1, IntMax);
    s.exactStroke = GetSettingBool(list, QStringLiteral("ControlProcessOnExactStroke"), false);
    s.collectionType = GetSettingInt(list, QStringLiteral("ControlProcessCollectionType"), 0, 0, 1);
    s.enableCaptions = GetSettingBool(list, QStringLiteral("ControlEnableCaptions"), false);
    s.enableArchive = GetSettingBool(list, QStringLiteral("ControlEnableArchive"), false);
    s.enableFtp = GetSettingBool(list, QStringLiteral("ControlEnableFTP"), false);
    s.enableEmail = GetSettingBool(list, QStringLiteral("ControlEnableEmail"), false);
    s.startOnLoad = GetSettingBool(list, QStringLiteral("ControlStartOnLoad"), false);
    s.animateTrayIcon = GetSettingBool(list, QStringLiteral("ControlAnimateTrayIcon"), true);
    s.startMinimised = GetSettingBool(list, QStringLiteral("ControlStartMinimised"), false);
    return s;
}

void ControlSettings::Write(SettingsList& list) const
{
    AppendSetting(list, QStringLiteral("ControlProcessCycleTime"), cycleTimeSeconds);
    AppendSetting(list, QStringLiteral("ControlProcessOnExactStroke"), exactStroke);
    AppendSetting(list, QStringLiteral("ControlProcessCollectionType"), collectionType);
    AppendSetting(list, QStringLiteral("ControlEnableCaptions"), enableCaptions);
    AppendSetting(list, QStringLiteral("ControlEnableArchive"), enableArchive);
    AppendSetting(list, QStringLiteral("ControlEnableFTP"), enableFtp);
    AppendSetting(list, QStringLiteral("ControlEnableEmail"), enableEmail);
    AppendSetting(list, QStringLiteral("ControlStartOnLoad"), startOnLoad);
    AppendSetting(list, QStringLiteral("ControlAnimateTrayIcon"), animateTrayIcon);
    AppendSetting(list, QStringLiteral("ControlStartMinimised"), startMinimised);
    EndSettingsBlock(list);
}
