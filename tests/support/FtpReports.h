#pragma once

#include "MessageEvent.h"
#include "NamedMessages.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

// Receives an upload's UWM_FTP_NOTIFY reports: each code with its text, in order.
class FtpReports final : public QObject
{
public:
    std::vector<std::pair<std::int64_t, QString>> steps;

    std::vector<std::int64_t> Codes() const
    {
        std::vector<std::int64_t> codes;
        for (const auto& step : steps)
            codes.push_back(step.first);
        return codes;
    }
    // Every report's text, for a failure message.
    std::string All() const
    {
        QString all;
        for (const auto& step : steps)
            all += QString::number(step.first) + QLatin1Char(' ') + step.second + QLatin1Char('\n');
        return all.toStdString();
    }
    bool event(QEvent* e) override
    {
        if (e->type() != RegisterNamedMessage(MessageName::FtpNotify))
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        steps.emplace_back(message->wParam, message->text.value_or(QString()));
        return true;
    }
};
