#pragma once

#include <QString>

// One error line for a settings value that cannot be taken: "Settings - KEY WHY - using USED".
void LogUnusableSetting(const QString& key, const QString& why, const QString& used);
