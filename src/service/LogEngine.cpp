#include "LogEngine.h"

#include "Clock.h"
#include "EventLog.h"
#include "LogText.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "RegularFile.h"
#include "StandardErrorEcho.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimerEvent>

#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QEvent::Type LogUpdateType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::LogUpdate));
}

// systemd names the journal stream it gave a service as "device:inode"; standard error is
// the journal only when it is that very file (not a shell redirection inside the service).
bool StandardErrorIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const int colon = stream.indexOf(':');
    if (colon <= 0)
        return false;
    struct stat status
    {
    };
    if (::fstat(STDERR_FILENO, &status) != 0)
        return false;
    bool deviceOk = false, inodeOk = false;
    const qulonglong device = stream.left(colon).toULongLong(&deviceOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    return deviceOk && inodeOk && device == status.st_dev && inode == status.st_ino;
}
} // namespace

LogEngine::LogEngine(const Clock& clock, const QString& dataDirectory, QObject* parent)
    : QObject(parent), clock_(clock), defaultPath_(dataDirectory + QStringLiteral("pixlet.log")),
      journal_(StandardErrorIsJournal())
{
    setObjectName(QStringLiteral("Log"));
    settings_.pathAndFilename = defaultPath_;
    SetLogReceiver(this);
}

LogEngine::~LogEngine()
{
    // After this no thread can post to the engine; entries still queued are freed by Qt.
    SetLogReceiver(nullptr);
}

void LogEngine::SetEchoToStandardError(bool echo)
{
    if (!echo)
        echo_.reset();
    else if (!echo_)
        echo_ = std::make_unique<StandardErrorEcho>(STDERR_FILENO);
}

void LogEngine::LoadSettings(const SettingsList& list)
{
    settings_.saveToDisk = GetSettingBool(list, KeySaveToDisk, false);
    settings_.maxListboxEntries = GetSettingInt(list, KeyMaxEntries, 1000, MinLines, MaxLines);
    settings_.pathAndFilename = GetSettingString(list, KeyPath, defaultPath_);
    settings_.fileMaxSizeMb = GetSettingInt(list, KeyFileMaxSize, 10, 0, 1024);
    settings_.fileKeep = GetSettingInt(list, KeyFileKeep, 5, 1, 100);
}

void LogEngine::SaveSettings(SettingsList& list) const
{
    AppendSetting(list, KeySaveToDisk, settings_.saveToDisk);
    AppendSetting(list, KeyMaxEntries, settings_.maxListboxEntries);
    AppendSetting(list, KeyPath, settings_.pathAndFilename);
    AppendSetting(list, KeyFileMaxSize, settings_.fileMaxSizeMb);
    AppendSetting(list, KeyFileKeep, settings_.fileKeep);
    EndSettingsBlock(list);
}

QString LogEngine::StampedText(const QDateTime& moment, const QString& text)
{
    return moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) + QStringLiteral(": ") + text;
}

QByteArray LogEngine::StandardErrorLine(int category, const QString& text, bool journal)
{
    const bool error = category == LogCategory::Error || category == 3;
    QByteArray line;
    if (journal)
        line += error ? "<3>" : "<6>";
    line += error ? "Error: " : "Information: ";
    line += EscapeControlCharacters(text).toUtf8();
    line += '\n';
    return line;
}

void LogEngine::AddEntry(int category, const QString& text, bool writeToFile)
{
    pending_.push_back({category, text, clock_.LocalNow(), writeToFile});
    // Whatever waited before it goes first: the order of the log is the order of arrival.
    HandleBatch(std::numeric_limits<int>::max());
}

void LogEngine::HandleBatch(int budgetMs)
{
    QElapsedTimer spent;
    spent.start();
    // The file is opened once per batch; it may be moved, read or deleted between batches.
    std::optional<QFile> file;
    while (!pending_.empty() && spent.elapsed() < budgetMs) {
        const Entry entry = std::move(pending_.front());
        pending_.pop_front();
        const QString stamped = StampedText(entry.stamp, EscapeControlCharacters(entry.text));
        if (echo_)
            echo_->Write(StandardErrorLine(entry.category, entry.text, journal_));
        emit Logged(entry.category, stamped);
        if (!settings_.saveToDisk || !entry.writeToFile)
            continue;
        if (!file) {
            RotateLogFileIfFull(settings_.pathAndFilename, qint64(settings_.fileMaxSizeMb) * 1024 * 1024,
                                settings_.fileKeep);
            file.emplace();
            // A pipe named as the log file would otherwise hold up the whole program.
            OpenRegularFile(*file, QFile::encodeName(settings_.pathAndFilename),
                            O_WRONLY | O_APPEND | O_CREAT, QIODevice::WriteOnly | QIODevice::Append);
        }
        if (file->isOpen()) {
            file->write((stamped + u'\n').toUtf8());
        } else {
            // Said once per entry and never written to the file itself, so it cannot loop.
            pending_.push_front(
                {LogCategory::Error, QStringLiteral("Log - Could not save to disk"), entry.stamp, false});
        }
    }
    emit BatchDone();
    if (pending_.empty())
        handlePending_.stop();
}

void LogEngine::Flush()
{
    QCoreApplication::sendPostedEvents(this, LogUpdateType());
    HandleBatch(std::numeric_limits<int>::max());
}

void LogEngine::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == handlePending_.timerId())
        HandleBatch(BatchBudgetMs);
    else
        QObject::timerEvent(event);
}

bool LogEngine::event(QEvent* event)
{
    if (event->type() != LogUpdateType())
        return QObject::event(event);
    auto* message = static_cast<MessageEvent*>(event);
    pending_.push_back(
        {static_cast<int>(message->wParam), message->text.value_or(QString()), clock_.LocalNow(), true});
    // Handled from a zero timer, which runs after the events already queued (input, paint).
    if (!handlePending_.isActive())
        handlePending_.start(0, this);
    return true;
}
