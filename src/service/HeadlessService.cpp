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
    // The desktop shows why a start was refused on the Control page; here only the log can.
    connect(&engines_.Controller(), &CControl::StatusMessage, this,
            [](const QString& text) { AddLogEntry(LogCategory::Error, text); });
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
    if (!engines_.ReloadSettings())
        return;
    // A service processes whenever it can: a start refused for want of an output is tried
    // again with the new settings.
    if (engines_.Controller().ProcessingState() == CControl::State::Stopped)
        engines_.Controller().StartProcessing();
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
