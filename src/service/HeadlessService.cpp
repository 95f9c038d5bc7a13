#include "HeadlessService.h"

#include "EventLog.h"
#include "LogEngine.h"
#include "control/CControl.h"

HeadlessService::HeadlessService(const Clock& clock, const QString& dataDirectory, const QString& version,
                                 QObject* parent)
    : QObject(parent), version_(version), engines_(clock, dataDirectory)
{
    // The journal keeps what a service says on standard error.
    engines_.Log().SetEchoToStandardError(true);
}

HeadlessService::~HeadlessService() = default;

void HeadlessService::Start()
{
    AddLogEntry(LogCategory::Information, QStringLiteral("Pixlet Initialising - version ") + version_);
    AddLogEntry(LogCategory::Information, QStringLiteral("Data directory is ") + engines_.DataDirectory());
    AddLogEntry(LogCategory::Information, QStringLiteral("Running without a window (headless)"));
    if (!engines_.StartUp() && !engines_.SettingsFileUnreadable()) {
        // A first start leaves a complete file of defaults to edit.
        engines_.SaveSettings();
    }
    engines_.Controller().StartProcessing();
}

void HeadlessService::Reload()
{
    if (exiting_)
        return;
    AddLogEntry(LogCategory::Information, QStringLiteral("Reading the settings file again (SIGHUP)"));
    engines_.ReloadSettings();
}

void HeadlessService::Exit(const QString& reason)
{
    if (std::exchange(exiting_, true))
        return;
    AddLogEntry(LogCategory::Information, QStringLiteral("Exit requested by ") + reason);
    // No save: the settings are the file's, written by whoever edits it.
    workersLeftBehind_ = !engines_.FinishForExit(exitBudgetMs_).isEmpty();
    emit Finished();
}
