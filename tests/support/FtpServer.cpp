#include "FtpServer.h"

#include <QFile>

#include <csignal>
#include <sys/types.h>

namespace {
const QString CommandLogName = QStringLiteral("data-commands.log");
}

FtpServer::FtpServer(const FtpServerOptions& options)
{
    QStringList arguments = {QStringLiteral(PIXLET_TEST_SUPPORT "/ftp_server.py"), home_.path(), User,
                             Password, logDirectory_.filePath(CommandLogName)};
    if (options.uploadBytesPerSecond > 0)
        arguments << QStringLiteral("--upload-rate") << QString::number(options.uploadBytesPerSecond);
    if (options.refuseRenames)
        arguments << QStringLiteral("--refuse-renames");
    if (options.loginRefusalPadding > 0)
        arguments << QStringLiteral("--login-refusal-padding")
                  << QString::number(options.loginRefusalPadding);
    if (options.port != 0)
        arguments << QStringLiteral("--port") << QString::number(options.port);
    if (options.tls != FtpServerOptions::Tls::None)
        arguments << QStringLiteral("--tls")
                  << (options.tls == FtpServerOptions::Tls::Explicit ? QStringLiteral("explicit")
                                                                     : QStringLiteral("implicit"))
                  << QStringLiteral("--certificate") << options.certificatePath << QStringLiteral("--key")
                  << options.keyPath;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!process_.waitForStarted(10000) || !process_.waitForReadyRead(20000))
        return;
    port_ = static_cast<quint16>(process_.readLine().trimmed().toUInt());
}

FtpServer::~FtpServer()
{
    Stop();
}

void FtpServer::Freeze()
{
    if (process_.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP);
}

void FtpServer::Thaw()
{
    if (process_.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
}

QStringList FtpServer::DataConnectionCommands() const
{
    QStringList commands;
    for (const QString& line : Commands()) {
        if (!line.startsWith(QLatin1String("PASS")))
            commands.append(line);
    }
    return commands;
}

QStringList FtpServer::Commands() const
{
    QFile log(logDirectory_.filePath(CommandLogName));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(log.read(64 * 1024)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void FtpServer::Kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(5000);
    port_ = 0;
}

void FtpServer::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    Thaw();
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    port_ = 0;
}
