#include "UnusableSetting.h"

#include "EventLog.h"

void LogUnusableSetting(const QString& key, const QString& why, const QString& used)
{
    AddLogEntry(LogCategory::Error, QStringLiteral("Settings - %1 %2 - using %3").arg(key, why, used));
}
