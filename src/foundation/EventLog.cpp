#include "EventLog.h"

#include "MessageEvent.h"
#include "NamedMessages.h"

#include <QCoreApplication>
#include <QMutex>

#include <cstdio>

namespace {
// Guards the receiver: a post and the receiver's detaching never overlap.
QMutex receiverMutex;
QObject* logReceiver = nullptr;
} // namespace

void SetLogReceiver(QObject* receiver)
{
    QMutexLocker lock(&receiverMutex);
    logReceiver = receiver;
}

void AddLogEntry(int category, const QString& text)
{
    static const QEvent::Type type = RegisterNamedMessage(QString::fromLatin1(MessageName::LogUpdate));
    QMutexLocker lock(&receiverMutex);
    if (!logReceiver) {
        std::fprintf(stderr, "Pixlet log (%d): %s\n", category, text.toLocal8Bit().constData());
        return;
    }
    auto* event = new MessageEvent(type, category);
    event->text = text;
    QCoreApplication::postEvent(logReceiver, event);
}
