#include "FtpEngine.h"

#include "FtpUpload.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "PrivateTempDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QEvent::Type NotifyType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::FtpNotify));
}
} // namespace

FtpEngine::FtpEngine(const FtpLimits& limits, QObject* parent) : QObject(parent), limits_(limits)
{
    setObjectName(QStringLiteral("FTP"));
}

FtpEngine::~FtpEngine()
{
    // A stalled server must not hold up the exit for the length of the time limits.
    cancel_ = true;
}

void FtpEngine::LoadSettings(const SettingsList& list)
{
    settings_ = FtpSettings::Read(list);
}

void FtpEngine::SaveSettings(SettingsList& list) const
{
    settings_.Write(list);
}

bool FtpEngine::FinishForExit(int timeoutMs)
{
    // A stalled server must not hold up the exit for the length of the time limits.
    cancel_ = true;
    return worker_.WaitIdleFor(timeoutMs);
}

QString FtpEngine::OutboxKey() const
{
    return QStringLiteral("%1://%2:%3/%4/%5")
        .arg(FtpProtocolName(settings_.protocol), settings_.server)
        .arg(settings_.port)
        .arg(settings_.destinationDirectory, settings_.destinationFilename);
}

void FtpEngine::ResetFailed()
{
    int failed = static_cast<int>(OutputState::Failed);
    state_.compare_exchange_strong(failed, static_cast<int>(OutputState::Idle));
}

QString FtpEngine::TempDirectory()
{
    if (!tempDirectory_.isEmpty())
        return tempDirectory_;
    const QString shared = PrivateTempDirectory();
    if (shared.isEmpty())
        return QString();
    // One directory per process: two Pixlets of one user must not upload each other's image.
    // Those of processes that are gone (killed, say) are cleared on the way.
    QDir directory(shared);
    for (const QString& name :
         directory.entryList({QStringLiteral("ftp-*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = name.mid(4).toLongLong(&number);
        if (number && pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
            errno == ESRCH)
            QDir(directory.filePath(name)).removeRecursively();
    }
    const QString own = QStringLiteral("ftp-%1").arg(::getpid());
    const QByteArray path = QFile::encodeName(directory.filePath(own));
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    tempDirectory_ = directory.filePath(own) + QLatin1Char('/');
    return tempDirectory_;
}

void FtpEngine::Upload(const ImageFrame& image, QObject* notify)
{
    state_ = static_cast<int>(OutputState::Busy);
    auto job =
        std::make_shared<FtpUploadJob>(FtpUploadJob{settings_, image.SharedCopy(), TempDirectory(), limits_});
    const QEvent::Type type = NotifyType();
    worker_.Post([this, job, notify, type] {
        const FtpReporter report = [notify, type](std::int64_t code, const std::optional<QString>& text) {
            if (!notify)
                return;
            auto* event = new MessageEvent(type, code);
            event->text = text;
            QCoreApplication::postEvent(notify, event);
        };
        const bool delivered = RunFtpUpload(*job, cancel_, state_, report);
        // After the last report: how the upload ended, for a delivery to be kept or let go.
        if (notify)
            QCoreApplication::postEvent(
                notify, new MessageEvent(RegisterNamedMessage(QString::fromLatin1(MessageName::FtpDone)),
                                         delivered ? 1 : 0));
    });
}
