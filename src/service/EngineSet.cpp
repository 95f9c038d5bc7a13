#include "EngineSet.h"

#include "AtomicFileWriter.h"
#include "Clock.h"
#include "EventLog.h"
#include "LogEngine.h"
#include "SystemErrorText.h"
#include "captions/CaptionEngine.h"
#include "control/CControl.h"
#include "control/OutboxCourier.h"
#include "outputs/ArchiveEngine.h"
#include "outputs/FtpEngine.h"
#include "outputs/SmtpEngine.h"
#include "sources/SourceEngine.h"
#include "sources/VideoSourceEngine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QTimer>

#include <cerrno>

EngineSet::EngineSet(const Clock& clock, const QString& dataDirectory)
    : EngineSet(clock, dataDirectory, Limits())
{
}

EngineSet::EngineSet(const Clock& clock, const QString& dataDirectory, const Limits& limits, QObject* parent)
    : QObject(parent), clock_(clock), archiveSecondSweep_(new QTimer(this)), dataDirectory_(dataDirectory)
{
    archiveSecondSweep_->setSingleShot(true);
    archiveSecondSweep_->setInterval(limits.archiveSecondSweep);
    // The log comes first, so that every other engine can log while it is made.
    log_ = std::make_unique<LogEngine>(clock, dataDirectory);
    captions_ = std::make_unique<CaptionEngine>(clock);
    archive_ = std::make_unique<ArchiveEngine>(clock, dataDirectory);
    ftp_ = std::make_unique<FtpEngine>(limits.ftp);
    email_ = std::make_unique<SmtpEngine>(clock, limits.smtp);
    source_ = std::make_unique<SourceEngine>(clock, dataDirectory);
    // FTP and e-mail keep what they could not deliver under the data directory.
    outbox_ = std::make_unique<OutboxCourier>(clock, dataDirectory + QStringLiteral("outbox"), advanced_,
                                              limits.outboxFirstRetry);
    controller_ =
        std::make_unique<CControl>(clock, CControl::Parts{source_.get(), captions_.get(), archive_.get(),
                                                          email_.get(), ftp_.get(), outbox_.get()});
    // The source's announcements, status and errors go to the controller.
    source_->SetOwner(controller_.get());
}

EngineSet::~EngineSet()
{
    // Its sweep needs the archive, which goes first.
    archiveSecondSweep_->stop();
    // Each engine joins its workers as it goes, and those draw into and report to the
    // controller: it goes after them. The log goes last, so their last words are kept.
    source_.reset();
    captions_.reset();
    email_.reset();
    ftp_.reset();
    archive_.reset();
    controller_.reset();
    outbox_.reset();
    log_.reset();
}

QString EngineSet::SettingsPath() const
{
    return dataDirectory_ + QStringLiteral("Pixlet.ini");
}

bool EngineSet::StartUp()
{
    // A run that was killed may have left a settings or archive file half-written under a
    // temporary name; nothing of this run has been written yet.
    const qint64 startSeconds = clock_.UtcNow().toSecsSinceEpoch();
    StaleTemporarySweep sweep;
    sweep.before = startSeconds;
    if (const int removed = RemoveStaleTemporaries(dataDirectory_, sweep); removed > 0) {
        AddLogEntry(
            LogCategory::Information,
            QStringLiteral("Removed %1 unfinished file(s) left by an earlier run in the data directory")
                .arg(removed));
    }
    const bool loaded = LoadSettings();
    // The archive's sweep runs on a thread of its own while this run writes (its settings, in
    // the data directory that is the archive's too by default), and another Pixlet may archive
    // into the same tree: only what is clearly older than this run is a leftover. A file's time
    // comes from the kernel's coarse clock, a few milliseconds behind; a file written just
    // after the start could read as older than it by a whole second.
    archive_->SweepStaleTemporaries(startSeconds - ArchiveLeftoverAgeS);
    // A run killed just before this start (systemd restarts a service at once) leaves files too
    // young for that sweep. A minute later the same rule takes them: a temporary that nothing
    // has written to for a minute, and that no writer holds locked, is a leftover.
    connect(archiveSecondSweep_, &QTimer::timeout, this, [this] {
        archive_->SweepStaleTemporaries(clock_.UtcNow().toSecsSinceEpoch() - ArchiveLeftoverAgeS);
    });
    archiveSecondSweep_->start();
    // What a previous run could not deliver goes out once processing starts.
    outbox_->Load();
    return loaded;
}

void EngineSet::LoadFrom(const SettingsList& list, bool apply)
{
    // The order of the blocks in the file, so that what is said about odd values comes in it.
    // Applied (a reload), the source and the schedule go through what the pages' Apply does, so
    // a changed source or schedule takes effect at once.
    ftp_->LoadSettings(list);
    email_->LoadSettings(list);
    captions_->LoadSettings(list);
    if (apply)
        source_->ApplySettings(
            SourceSettings::Read(list, SourceSettings::Defaults(dataDirectory_).fileCollectDirectory));
    else
        source_->LoadSettings(list);
    archive_->LoadSettings(list);
    log_->LoadSettings(list);
    advanced_ = AdvancedSettings::Read(list);
    advanced_.Apply();
    if (apply)
        controller_->ApplySettings(ControlSettings::Read(list));
    else
        controller_->SetSettings(ControlSettings::Read(list));
}

bool EngineSet::HoldsSettings(const SettingsList& list)
{
    static const QStringList blocks = {QStringLiteral("FTP"),      QStringLiteral("Email"),
                                       QStringLiteral("Caption"),  QStringLiteral("Source"),
                                       QStringLiteral("Archive"),  QStringLiteral("Log"),
                                       QStringLiteral("Advanced"), QStringLiteral("Control")};
    for (const QString& line : list) {
        const QString text = line.trimmed();
        for (const QString& block : blocks) {
            if (text.size() > block.size() && text.startsWith(block, Qt::CaseInsensitive))
                return true;
        }
    }
    return false;
}

SettingsFileRead EngineSet::ReadSettings(SettingsList& list) const
{
    SettingsFileRead read = ReadSettingsFile(list, SettingsPath());
    if (read && !HoldsSettings(list)) {
        // Empty, damaged, or being written by hand: taking it would set every value to its
        // default and stop the outputs. It is treated like a file that cannot be read.
        read.status = SettingsFileRead::Status::Unreadable;
        read.reason = QStringLiteral("it holds no Pixlet settings (empty or damaged)");
        list.clear();
    }
    return read;
}

bool EngineSet::LoadSettings()
{
    SettingsList list;
    const SettingsFileRead read = ReadSettings(list);
    settingsFileUnreadable_ = read.status == SettingsFileRead::Status::Unreadable;
    if (read.status == SettingsFileRead::Status::Missing) {
        AddLogEntry(LogCategory::Error, QStringLiteral("Could not open settings file - Using defaults"));
    } else if (settingsFileUnreadable_) {
        // Somebody's settings may be in there: it stays untouched until a save moves it aside.
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Could not read settings file %1 - %2 - Using defaults; "
                                   "the file is kept and set aside at the next save")
                        .arg(SettingsPath(), read.reason));
    }
    LoadFrom(list, false);
    // A first start shows two example captions.
    if (read.status == SettingsFileRead::Status::Missing)
        captions_->AddExampleCaptions();
    return static_cast<bool>(read);
}

bool EngineSet::ReloadSettings()
{
    SettingsList list;
    const SettingsFileRead read = ReadSettings(list);
    if (!read) {
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Could not read settings file %1 - %2 - the settings in force are kept")
                        .arg(SettingsPath(), read.status == SettingsFileRead::Status::Missing
                                                 ? QStringLiteral("it does not exist")
                                                 : read.reason));
        return false;
    }
    settingsFileUnreadable_ = false;
    LoadFrom(list, true);
    return true;
}

bool EngineSet::SetAsideUnreadableSettings()
{
    if (!settingsFileUnreadable_)
        return true;
    int error = 0;
    const QString kept = SetFileAside(SettingsPath(), clock_.LocalNow(), &error);
    if (kept.isEmpty() && error != ENOENT) {
        AddLogEntry(
            LogCategory::Error,
            QStringLiteral("Could not save settings file - the unreadable file could not be set aside - ") +
                SystemErrorText(error));
        return false;
    }
    if (!kept.isEmpty())
        AddLogEntry(LogCategory::Information, QStringLiteral("Unreadable settings file kept as ") + kept);
    settingsFileUnreadable_ = false;
    return true;
}

bool EngineSet::SaveSettings()
{
    if (!SetAsideUnreadableSettings())
        return false;
    SettingsList list;
    ftp_->SaveSettings(list);
    email_->SaveSettings(list);
    captions_->SaveSettings(list);
    source_->SaveSettings(list);
    archive_->SaveSettings(list);
    log_->SaveSettings(list);
    advanced_.Write(list);
    controller_->Settings().Write(list);
    int error = 0;
    if (!WriteSettingsFile(list, SettingsPath(), &error)) {
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Could not save settings file - ") + SystemErrorText(error));
        return false;
    }
    return true;
}

QStringList EngineSet::FinishForExit(int budgetMs)
{
    // One budget for all: whatever a worker is stuck in, Exit ends within seconds.
    controller_->Halt();
    archiveSecondSweep_->stop();
    QDeadlineTimer deadline(budgetMs);
    const auto remaining = [&deadline] {
        return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
    };
    QStringList leftBehind;
    if (!source_->VideoSource()->FinishForExit(remaining()))
        leftBehind << QStringLiteral("Source - the capture thread");
    if (!captions_->FinishCaptionJobs(remaining()))
        leftBehind << QStringLiteral("Captions - the caption worker");
    archive_->FinishForExit(remaining());
    if (!ftp_->FinishForExit(remaining()))
        leftBehind << QStringLiteral("FTP - the upload");
    if (!email_->FinishForExit(remaining()))
        leftBehind << QStringLiteral("SMTP - the mailing");
    for (const QString& what : leftBehind) {
        AddLogEntry(LogCategory::Error, QStringLiteral("%1 did not finish within %2 s - left behind at exit")
                                            .arg(what)
                                            .arg(budgetMs / 1000.0, 0, 'g', 3));
    }
    // The outputs' last reports ("Archived OK" of the images just written) and then every
    // log line reach the log now: the event loop may not turn again.
    for (QObject* receiver :
         std::initializer_list<QObject*>{archive_.get(), ftp_.get(), email_.get(), controller_.get()})
        QCoreApplication::sendPostedEvents(receiver);
    // A failed delivery is kept by now; one that never ended is kept for the next run.
    controller_->KeepUndelivered();
    log_->Flush();
    return leftBehind;
}
