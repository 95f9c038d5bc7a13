#include "LogRecorder.h"

#include "EventLog.h"
#include "MessageEvent.h"
#include "NamedMessages.h"

LogRecorder::LogRecorder()
{
    SetLogReceiver(this);
}

LogRecorder::~LogRecorder()
{
    SetLogReceiver(nullptr);
}

QStringList LogRecorder::Starting(const QString& prefix) const
{
    QStringList texts;
    for (const Entry& entry : entries)
        if (entry.text.startsWith(prefix))
            texts << entry.text;
    return texts;
}

bool LogRecorder::event(QEvent* event)
{
    if (event->type() != RegisterNamedMessage(QString::fromLatin1(MessageName::LogUpdate)))
        return QObject::event(event);
    auto* message = static_cast<MessageEvent*>(event);
    entries.push_back({static_cast<int>(message->wParam), message->text.value_or(QString())});
    return true;
}
