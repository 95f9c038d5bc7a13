#include "ArchiveEngine.h"

#include "ArchivePath.h"
#include "AtomicFileWriter.h"
#include "EventLog.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "ResultCodes.h"
#include "TimeTemplate.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
QEvent::Type NotifyType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::ImageArchiveNewImageNotify));
}
} // namespace

ArchiveEngine::ArchiveEngine(const Clock& clock, const QString& dataDirectory, QObject* parent)
    : QObject(parent), clock_(clock), saver_(NotifyType())
{
    setObjectName(QStringLiteral("Archive"));
    settings_.rootDirectory = dataDirectory;
}

ArchiveEngine::~ArchiveEngine()
{
    stopSweep_ = true;
}

bool ArchiveEngine::FinishForExit(int timeoutMs)
{
    stopSweep_ = true;
    // Images still waiting out their delay are written at once, whatever the limit: they
    // would be lost otherwise.
    saver_.Shutdown();
    return sweeper_.WaitIdleFor(timeoutMs);
}

void ArchiveEngine::SweepStaleTemporaries(qint64 beforeSeconds)
{
    if (stopSweep_)
        return; // exiting: a sweep could only hold the exit up
    const QString root = settings_.rootDirectory;
    sweeper_.Post([this, root, beforeSeconds] {
        StaleTemporarySweep sweep;
        sweep.recursive = true;
        sweep.before = beforeSeconds;
        sweep.cancel = &stopSweep_;
        if (const int removed = RemoveStaleTemporaries(root, sweep); removed > 0) {
            AddLogEntry(
                LogCategory::Information,
                QStringLiteral("Archive - Removed %1 unfinished file(s) left by an earlier run under %2")
                    .arg(removed)
                    .arg(root));
        }
    });
}

void ArchiveEngine::LoadSettings(const SettingsList& list)
{
    settings_.rootDirectory = GetSettingString(list, KeyRoot, settings_.rootDirectory);
    settings_.subdirectoryAndFilename =
        GetSettingString(list, KeyTemplate, QStringLiteral("<HH><MM><SS>.jpg"));
    settings_.saveDelayMs = GetSettingInt(list, KeyDelay, 1000, 0, MaxSaveDelayMs);
}

void ArchiveEngine::SaveSettings(SettingsList& list) const
{
    AppendSetting(list, KeyRoot, settings_.rootDirectory);
    AppendSetting(list, KeyTemplate, settings_.subdirectoryAndFilename);
    AppendSetting(list, KeyDelay, settings_.saveDelayMs);
    EndSettingsBlock(list);
}

void ArchiveEngine::ResetFailed()
{
    int failed = static_cast<int>(OutputState::Failed);
    state_.compare_exchange_strong(failed, static_cast<int>(OutputState::Idle));
}

QString ArchiveEngine::PathForNow() const
{
    return ArchivePathFor(settings_.rootDirectory,
                          ExpandTimeTemplate(settings_.subdirectoryAndFilename, clock_));
}

QString ArchiveEngine::ExpandNow(const QString& subdirectoryAndFilename) const
{
    return ExpandTimeTemplate(subdirectoryAndFilename, clock_);
}

void ArchiveEngine::Save(const ImageFrame& image, QObject* notify)
{
    state_ = static_cast<int>(OutputState::Busy);
    notify_ = notify;
    lastPath_ = PathForNow();
    // A directory that cannot be made shows up as the save's own failure.
    CreateDirectoryPath(QFileInfo(lastPath_).path());
    if (!saver_.SaveImageFileLater(image, lastPath_, std::max(0, settings_.saveDelayMs), this)) {
        // No copy or no thread: report it as the save's result, so the cycle goes on.
        QCoreApplication::postEvent(this, new MessageEvent(NotifyType(), Result::OutOfMemory, 0));
    }
}

bool ArchiveEngine::event(QEvent* event)
{
    if (event->type() != NotifyType())
        return QObject::event(event);
    const auto result = static_cast<MessageEvent*>(event)->wParam;
    state_ = static_cast<int>(result >= 0 ? OutputState::Idle : OutputState::Failed);
    if (notify_) {
        auto* forward = new MessageEvent(NotifyType(), result, 0);
        forward->text = lastPath_;
        QCoreApplication::postEvent(notify_, forward);
    }
    return true;
}
