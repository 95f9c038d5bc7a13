#include "NamedMessages.h"

#include <QHash>
#include <QMutex>
#include <QUuid>

namespace {
struct Registry
{
    QMutex mutex;
    QHash<QString, QEvent::Type> types;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}
} // namespace

QStringList AllMessageNames()
{
    using namespace MessageName;
    QStringList names;
    for (const char* name :
         {SourceNewImage, SourceNewImageAvailable, SourceNotify, SourceStatusUpdated,
          CaptionImageProcessNotify, ImageArchiveNewImageNotify, FtpNotify, SmtpNotify, LogUpdate,
          TrayIconCommand, TrayIconAction, EdgeWindowMessage, EdgeWindowStartupResult, CctvCommand,
          CctvMessage, CctvGraphNotify, ControlTimer, FtpDone, SmtpDone})
        names << QString::fromLatin1(name);
    return names;
}

QString NamedMessageRunId()
{
    static const QString id = QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
    return id;
}

QEvent::Type RegisterNamedMessage(const QString& name)
{
    Registry& registry = TheRegistry();
    QMutexLocker lock(&registry.mutex);
    const QString key = name + NamedMessageRunId();
    const auto found = registry.types.constFind(key);
    if (found != registry.types.constEnd())
        return found.value();
    const int type = QEvent::registerEventType();
    if (type < 0)
        return QEvent::None;
    registry.types.insert(key, static_cast<QEvent::Type>(type));
    return static_cast<QEvent::Type>(type);
}

void RegisterAllNamedMessages()
{
    for (const QString& name : AllMessageNames())
        RegisterNamedMessage(name);
}
