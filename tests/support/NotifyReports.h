#pragma once

#include "MessageEvent.h"
#include "NamedMessages.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

// Receives an output's reports under one registered message (UWM_FTP_NOTIFY, UWM_SMTP_NOTIFY):
// each code with its text, in order.
class NotifyReports : public QObject
{
public:
    explicit NotifyReports(const char* messageName)
        : type_(RegisterNamedMessage(QString::fromLatin1(messageName)))
    {
    }

    std::vector<std::pair<std::int64_t, QString>> steps;

    std::vector<std::int64_t> Codes() const
    {
        std::vector<std::int64_t> codes;
        for (const auto& step : steps)
            codes.push_back(step.first);
        return codes;
    }
    // Every report's text, for a failure message.
    QString All() const
    {
        QString all;
        for (const auto& step : steps)
            all += QString::number(step.first) + QLatin1Char(' ') + step.second + QLatin1Char('\n');
        return all;
    }
    bool event(QEvent* e) override
    {
        if (e->type() != type_)
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        steps.emplace_back(message->wParam, message->text.value_or(QString()));
        return true;
    }

private:
    const QEvent::Type type_;
};

class FtpReports final : public NotifyReports
{
public:
    FtpReports() : NotifyReports(MessageName::FtpNotify) {}
};

class SmtpReports final : public NotifyReports
{
public:
    SmtpReports() : NotifyReports(MessageName::SmtpNotify) {}
};
