#include "CSMTPSocket.h"

#include "Base64.h"
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
#include <QTimerEvent>

CSMTPSocket::CSMTPSocket(SmtpSettings settings, ImageFrame image, QObject* notify, std::atomic<int>& state,
                         const Clock& clock, const SmtpLimits& limits)
    : settings_(std::move(settings)), image_(std::move(image)), notify_(notify), state_(state), clock_(clock),
      limits_(limits)
{
    connect(&socket_, &QTcpSocket::connected, this, &CSMTPSocket::OnConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &CSMTPSocket::OnReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, &CSMTPSocket::OnDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &CSMTPSocket::OnSocketError);
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
    dialogue_ = std::make_unique<SmtpDialogue>(settings_.fromAddress, recipients, [this] {
        return BuildMailMessage(settings_.fromAddress, settings_.toAddress,
                                ExpandTimeTemplate(settings_.subject, clock_),
                                ExpandTimeTemplate(settings_.filename, clock_), base64_);
    });
    limitTimer_.start(limits_.dialogueLimitMs, this);
    socket_.connectToHost(settings_.server, settings_.port);
}

void CSMTPSocket::OnConnected()
{
    // The dialogue begins with the server's greeting.
}

void CSMTPSocket::OnReadyRead()
{
    reader_.Append(socket_.readAll());
    while (!ended_ && !decided_) {
        const std::optional<SmtpReplyReader::Reply> reply = reader_.Take();
        if (!reply)
            break;
        const SmtpDialogue::Step step = dialogue_->OnReply(reply->code, reply->text);
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
        if (decided_)
            ArmClosingTimer();
    }
    // A server that talks without ever ending a line is not one to wait for.
    if (!ended_ && reader_.Overflowed()) {
        reader_ = SmtpReplyReader();
        FailMailing(QStringLiteral("The server's reply is longer than %1 bytes").arg(SmtpReplyReader::MaxReplyBytes),
                    true);
    }
}

void CSMTPSocket::OnDisconnected()
{
    if (ended_)
        return;
    // A server that hangs up before taking the message leaves it unsent, not the output busy.
    if (!decided_)
        FailMailing(SocketErrorText(SocketErrors::ConnectionReset), true);
    End();
}

void CSMTPSocket::OnSocketError(QAbstractSocket::SocketError error)
{
    if (ended_ || error == QAbstractSocket::RemoteHostClosedError)
        return; // the close itself is handled by OnDisconnected
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
        FailMailing(connected ? QStringLiteral("The server did not finish the dialogue within %1 s")
                                    .arg(limits_.dialogueLimitMs / 1000)
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
