#include "CSMTPSocket.h"

#include "Base64.h"
#include "CertificateFingerprint.h"
#include "Clock.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "ImageOutput.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "ResultCodes.h"
#include "SocketErrorText.h"
#include "TimeTemplate.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QSslCertificate>
#include <QTimerEvent>

#include <algorithm>
#include <utility>

namespace {
QString Fingerprint(const QSslCertificate& certificate)
{
    return CertificateFingerprintText(certificate.digest(QCryptographicHash::Sha256));
}
} // namespace

CSMTPSocket::CSMTPSocket(SmtpSettings settings, ImageFrame image, QObject* notify, std::atomic<int>& state,
                         const Clock& clock, const SmtpLimits& limits)
    : settings_(std::move(settings)), image_(std::move(image)), notify_(notify), state_(state), clock_(clock),
      limits_(limits)
{
    connect(&socket_, &QSslSocket::connected, this, &CSMTPSocket::OnConnected);
    connect(&socket_, &QSslSocket::encrypted, this, &CSMTPSocket::OnEncrypted);
    connect(&socket_, &QSslSocket::sslErrors, this, &CSMTPSocket::OnSslErrors);
    connect(&socket_, &QSslSocket::readyRead, this, &CSMTPSocket::OnReadyRead);
    connect(&socket_, &QSslSocket::disconnected, this, &CSMTPSocket::OnDisconnected);
    connect(&socket_, &QSslSocket::errorOccurred, this, &CSMTPSocket::OnSocketError);
}

CSMTPSocket::~CSMTPSocket()
{
    // Leaving before the end (the program exits): no more signals from a socket going away.
    socket_.disconnect(this);
    socket_.abort();
}

void CSMTPSocket::Post(std::int64_t code, const QString& text)
{
    if (!notify_)
        return;
    auto* event = new MessageEvent(RegisterNamedMessage(QString::fromLatin1(MessageName::SmtpNotify)), code);
    if (code != SmtpReport::Sent)
        event->text = text;
    QCoreApplication::postEvent(notify_, event);
    // Once decided, after the report that says so: how the mailing ended.
    if (outcome_ >= 0 && code != SmtpReport::Progress && !std::exchange(outcomePosted_, true))
        QCoreApplication::postEvent(
            notify_, new MessageEvent(RegisterNamedMessage(QString::fromLatin1(MessageName::SmtpDone)),
                                      outcome_ == static_cast<int>(OutputState::Idle) ? 1 : 0));
}

void CSMTPSocket::Start()
{
    const QStringList recipients = SplitRecipients(settings_.toAddress);
    if (recipients.isEmpty()) {
        // Nobody to write to: there is no point in troubling the server.
        SetState(static_cast<int>(OutputState::Failed));
        Post(SmtpReport::Failed, QStringLiteral("No recipient address"));
        End();
        return;
    }
    // The format follows the name as configured, before its tokens are expanded.
    const ImageFormat format = ImageFormatForFileName(settings_.filename, ImageFormat::None);
    QByteArray encoded;
    if (format == ImageFormat::None || image_.IsEmpty() ||
        Result::Failed(EncodeImageToStream(image_, encoded, format, JpegQuality())) || encoded.isEmpty()) {
        SetState(static_cast<int>(OutputState::Failed));
        Post(SmtpReport::Error, QStringLiteral("Could not create ") + settings_.filename);
        End();
        return;
    }
    image_.Empty();
    base64_ = EncodeBase64(encoded, Base64Options::None);
    Post(SmtpReport::Progress, QStringLiteral("Sending email to: ") + settings_.toAddress);
    if (settings_.security != SmtpSecurity::None && !QSslSocket::supportsSsl()) {
        // Never a quiet fall back to plain text.
        SetState(static_cast<int>(OutputState::Failed));
        Post(SmtpReport::Failed, QStringLiteral("TLS is not available on this system"));
        End();
        return;
    }
    dialogue_ = std::make_unique<SmtpDialogue>(
        settings_.fromAddress, recipients,
        [this] {
            return BuildMailMessage(settings_.fromAddress, settings_.toAddress,
                                    ExpandTimeTemplate(settings_.subject, clock_),
                                    ExpandTimeTemplate(settings_.filename, clock_), base64_);
        },
        SmtpLogin{settings_.security, settings_.userName, settings_.password});
    // The limit runs from here to the outcome, so a handshake that stalls is covered too.
    limitTimer_.start(limits_.dialogueLimitMs, this);
    if (settings_.security == SmtpSecurity::Tls) {
        handshaking_ = true; // from the first byte
        socket_.connectToHostEncrypted(settings_.server, settings_.port);
    } else
        socket_.connectToHost(settings_.server, settings_.port);
}

void CSMTPSocket::OnConnected()
{
    // The dialogue begins with the server's greeting.
}

void CSMTPSocket::OnEncrypted()
{
    handshaking_ = false;
    if (!settings_.certificateSha256.isEmpty() &&
        Fingerprint(socket_.peerCertificate()) != settings_.certificateSha256) {
        // Trusted by an authority, but not the certificate this server was pinned to.
        FailMailing(CertificateText(QStringLiteral("does not match the pinned fingerprint"), {}), true);
        return;
    }
    Carry(dialogue_->OnTlsStarted());
}

void CSMTPSocket::OnSslErrors(const QList<QSslError>& errors)
{
    if (decided_)
        return;
    const QSslCertificate leaf = socket_.peerCertificate();
    const bool pinned = !leaf.isNull() && !settings_.certificateSha256.isEmpty() &&
                        Fingerprint(leaf) == settings_.certificateSha256;
    // The handshake proved the server holds the pinned certificate's key, so whatever else it
    // sent along (a home-made authority, an intermediate without its root) vouches for nothing
    // that matters. An error about no certificate of this chain is not the pin's to excuse.
    const QList<QSslCertificate> chain = socket_.peerCertificateChain();
    const bool aboutThisChain = std::all_of(errors.cbegin(), errors.cend(), [&](const QSslError& error) {
        return !error.certificate().isNull() &&
               (error.certificate() == leaf || chain.contains(error.certificate()));
    });
    if (pinned && aboutThisChain) {
        socket_.ignoreSslErrors(errors);
        return;
    }
    // The socket ends the handshake itself once this returns.
    FailMailing(CertificateText(settings_.certificateSha256.isEmpty() || pinned
                                    ? QStringLiteral("not trusted")
                                    : QStringLiteral("does not match the pinned fingerprint"),
                                errors),
                false);
}

QString CSMTPSocket::CertificateText(const QString& what, const QList<QSslError>& errors) const
{
    QStringList reasons;
    for (const QSslError& error : errors)
        reasons.append(error.errorString());
    QString text = QStringLiteral("Certificate of %1 %2").arg(settings_.server.left(255), what);
    if (!reasons.isEmpty())
        text += QStringLiteral(" (%1)").arg(reasons.join(QStringLiteral("; ")).left(400));
    return text + QStringLiteral(" - fingerprint SHA-256 ") + Fingerprint(socket_.peerCertificate());
}

void CSMTPSocket::StartTls()
{
    // Whatever the server sent after agreeing, in plain text that anyone on the way could
    // have written, must not be read as a reply over TLS.
    const qsizetype dropped = reader_.Pending() + socket_.bytesAvailable();
    reader_ = SmtpReplyReader();
    socket_.readAll();
    handshaking_ = true;
    if (dropped > 0) {
        Post(SmtpReport::Progress,
             QStringLiteral("Ignored %1 bytes the server sent in plain text after agreeing to TLS")
                 .arg(dropped));
    }
    socket_.startClientEncryption();
}

void CSMTPSocket::Carry(const SmtpDialogue::Step& step)
{
    if (step.secret && !socket_.isEncrypted()) {
        // The dialogue never asks for this; should it ever, the password stays here.
        FailMailing(QStringLiteral("The password is sent only over TLS"), true);
        return;
    }
    if (step.outcome == SmtpDialogue::Outcome::Succeeded) {
        decided_ = true;
        limitTimer_.stop();
        SetState(static_cast<int>(OutputState::Idle));
    } else if (step.outcome == SmtpDialogue::Outcome::Failed) {
        decided_ = true;
        limitTimer_.stop();
        SetState(static_cast<int>(OutputState::Failed));
    }
    if (!step.send.isEmpty())
        socket_.write(step.send);
    for (const SmtpDialogue::Report& report : step.reports)
        Post(report.code, report.text);
    if (step.startTls && !decided_)
        StartTls();
    if (decided_)
        ArmClosingTimer();
}

void CSMTPSocket::OnReadyRead()
{
    if (handshaking_) {
        // Only the handshake's own bytes count until it is over.
        socket_.readAll();
        return;
    }
    reader_.Append(socket_.readAll());
    while (!ended_ && !decided_ && !handshaking_) {
        const std::optional<SmtpReplyReader::Reply> reply = reader_.Take();
        if (!reply)
            break;
        Carry(dialogue_->OnReply(reply->code, reply->text));
    }
    // A server that talks without ever ending a line is not one to wait for.
    if (!ended_ && reader_.Overflowed()) {
        reader_ = SmtpReplyReader();
        FailMailing(
            QStringLiteral("The server's reply is longer than %1 bytes").arg(SmtpReplyReader::MaxReplyBytes),
            true);
    }
}

void CSMTPSocket::OnDisconnected()
{
    if (ended_)
        return;
    // A server that hangs up before taking the message leaves it unsent, not the output busy.
    if (!decided_) {
        FailMailing(handshaking_ ? QStringLiteral("The server closed the connection during the TLS handshake")
                                 : SocketErrorText(SocketErrors::ConnectionReset),
                    true);
    }
    End();
}

void CSMTPSocket::OnSocketError(QAbstractSocket::SocketError error)
{
    if (ended_)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // A plain close is handled by OnDisconnected. A server ending its TLS session waits
        // for our reply to that before it closes the connection: it is closed for us now.
        if (socket_.isEncrypted())
            QMetaObject::invokeMethod(this, &CSMTPSocket::OnDisconnected, Qt::QueuedConnection);
        return;
    }
    if (decided_) {
        // Already reported (a refused certificate, say): only the connection is left to end,
        // once the socket has returned from its signal.
        QMetaObject::invokeMethod(this, &CSMTPSocket::End, Qt::QueuedConnection);
        return;
    }
    if (error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError ||
        error == QAbstractSocket::SslInvalidUserDataError) {
        // After the handshake it is the encrypted session that broke, not its setting up.
        FailMailing((socket_.isEncrypted() ? QStringLiteral("The TLS session failed - ")
                                           : QStringLiteral("The TLS handshake failed - ")) +
                        socket_.errorString().left(400),
                    true);
        return;
    }
    FailMailing(SocketErrorText(SocketErrorCode(error)), true);
}

void CSMTPSocket::FailMailing(const QString& reason, bool endNow)
{
    decided_ = true;
    limitTimer_.stop();
    SetState(static_cast<int>(OutputState::Failed));
    Post(SmtpReport::Failed, reason);
    if (endNow)
        End();
    else
        ArmClosingTimer();
}

void CSMTPSocket::ArmClosingTimer()
{
    if (closeArmed_)
        return;
    closeArmed_ = true;
    closeTimer_.start(limits_.closeDelayMs, this);
}

void CSMTPSocket::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == limitTimer_.timerId()) {
        limitTimer_.stop();
        const bool connected = socket_.state() == QAbstractSocket::ConnectedState;
        const bool inHandshake =
            handshaking_ || (settings_.security == SmtpSecurity::Tls && connected && !socket_.isEncrypted());
        const int seconds = limits_.dialogueLimitMs / 1000;
        FailMailing(inHandshake ? QStringLiteral("The TLS handshake did not finish within %1 s").arg(seconds)
                    : connected
                        ? QStringLiteral("The server did not finish the dialogue within %1 s").arg(seconds)
                        : SocketErrorText(SocketErrors::TimedOut),
                    true);
    } else if (event->timerId() == closeTimer_.timerId()) {
        End();
    } else {
        QObject::timerEvent(event);
    }
}

void CSMTPSocket::End()
{
    if (ended_)
        return;
    ended_ = true;
    limitTimer_.stop();
    closeTimer_.stop();
    socket_.disconnect(this);
    socket_.abort();
    emit Finished();
}
