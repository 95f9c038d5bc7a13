#include "FtpServer.h"

#include <csignal>
#include <sys/types.h>

FtpServer::FtpServer()
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(PIXLET_TEST_SUPPORT "/ftp_server.py"), home_.path(), User, Password});
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
