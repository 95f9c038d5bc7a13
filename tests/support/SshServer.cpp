#include "SshServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool RunTool(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    const bool ok =
        tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    const QByteArray said = tool.readAll();
    if (output)
        *output = said;
    if (!ok)
        qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')), said.constData());
    return ok;
}

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}
} // namespace

SshServer::SshServer()
{
    if (const passwd* entry = ::getpwuid(::geteuid()))
        user_ = QString::fromLocal8Bit(entry->pw_name);
    if (!directory_.isValid() || user_.isEmpty() || !QFile::exists(QStringLiteral("/usr/sbin/sshd"))) {
        trouble_ = QStringLiteral("no sshd (openssh-server), no user or no directory");
        return;
    }
    if (!MakeKey(QStringLiteral("host_key"), QString()) ||
        !MakeKey(QStringLiteral("client_key"), QString()) ||
        !MakeKey(QStringLiteral("locked_key"), KeyPassphrase) ||
        !MakeKey(QStringLiteral("stranger_key"), QString())) {
        trouble_ = QStringLiteral("ssh-keygen failed");
        return;
    }
    QByteArray listing;
    if (RunTool(QStringLiteral("ssh-keygen"), {"-l", "-f", directory_.filePath("host_key.pub")}, &listing))
        hostFingerprint_ = QString::fromLatin1(listing.split(' ').value(1));
    QDir().mkpath(UploadDirectory());
    // sshd wants its privilege separation directory; it is part of the package's set-up.
    if (::geteuid() == 0)
        QDir().mkpath(QStringLiteral("/run/sshd"));
    for (int attempt = 0; attempt < 5 && !Running(); ++attempt) {
        port_ = FreePort();
        if (!WriteFiles() || !(Start(::geteuid() == 0) || Start(false)))
            port_ = 0;
    }
    if (!Running() && trouble_.isEmpty())
        trouble_ = QStringLiteral("sshd did not start");
}

SshServer::~SshServer()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

bool SshServer::MakeKey(const QString& name, const QString& passphrase)
{
    return RunTool(QStringLiteral("ssh-keygen"), {"-q", "-t", "ed25519", "-N", passphrase, "-C",
                                                  "pixlet-test", "-f", directory_.filePath(name)});
}

bool SshServer::WriteFiles()
{
    const QByteArray host = "[127.0.0.1]:" + QByteArray::number(port_) + ' ';
    const QByteArray hostKey = ReadAll(directory_.filePath("host_key.pub")).trimmed();
    const QByteArray strangerKey = ReadAll(directory_.filePath("stranger_key.pub")).trimmed();
    const QByteArray authorized = ReadAll(ClientKeyPath() + ".pub") + ReadAll(LockedClientKeyPath() + ".pub");
    const QByteArray config =
        "Port " + QByteArray::number(port_) +
        "\nListenAddress 127.0.0.1\n"
        "HostKey " +
        QFile::encodeName(directory_.filePath("host_key")) +
        "\nPidFile none\n"
        "AuthorizedKeysFile " +
        QFile::encodeName(directory_.filePath("authorized_keys")) +
        "\nPubkeyAuthentication yes\nPasswordAuthentication yes\n"
        "KbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\nPermitRootLogin yes\n"
        "AllowUsers " +
        user_.toUtf8() + "\nSubsystem sftp internal-sftp\nLogLevel FATAL\nMaxStartups 50\n";
    return WriteAll(directory_.filePath("sshd_config"), config) &&
           WriteAll(directory_.filePath("authorized_keys"), authorized) &&
           WriteAll(KnownHostsPath(), host + hostKey + '\n') &&
           WriteAll(WrongKnownHostsPath(), host + strangerKey + '\n') &&
           WriteAll(OtherHostsPath(), "[127.0.0.1]:1 " + hostKey + '\n');
}

QString SshServer::ShadowWithPassword() const
{
    // The system's password file with this user's entry given the test's password (and no
    // lock, which would refuse keys too when no PAM is asked).
    QByteArray hash;
    if (!RunTool(QStringLiteral("openssl"), {"passwd", "-6", Password}, &hash))
        return QString();
    QByteArrayList lines = ReadAll(QStringLiteral("/etc/shadow")).split('\n');
    bool found = false;
    for (QByteArray& line : lines) {
        QByteArrayList fields = line.split(':');
        if (fields.size() > 2 && fields[0] == user_.toUtf8()) {
            fields[1] = hash.trimmed();
            line = fields.join(':');
            found = true;
        }
    }
    const QString path = directory_.filePath(QStringLiteral("shadow"));
    if (!found || !WriteAll(path, lines.join('\n')))
        return QString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

bool SshServer::Start(bool withPassword)
{
    const QString config = directory_.filePath(QStringLiteral("sshd_config"));
    const QString shadow = withPassword ? ShadowWithPassword() : QString();
    if (withPassword && shadow.isEmpty())
        return false;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (withPassword) {
        // The bind mount lives and dies with the server's own mount namespace.
        process_.start(QStringLiteral("unshare"),
                       {"--mount", "--propagation", "private", "sh", "-c",
                        "mount --bind \"$0\" /etc/shadow && exec /usr/sbin/sshd -D -e -f \"$1\"", shadow,
                        config});
    } else {
        process_.start(QStringLiteral("/usr/sbin/sshd"), {"-D", "-e", "-f", config});
    }
    if (!process_.waitForStarted(10000))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000 && process_.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) &&
            probe.readAll().startsWith("SSH-")) {
            takesPasswords_ = withPassword;
            return true;
        }
        QThread::msleep(50);
    }
    process_.kill();
    process_.waitForFinished(5000);
    return false;
}
