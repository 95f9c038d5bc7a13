#include "SourceOwner.h"

#include "MessageEvent.h"
#include "NamedMessages.h"

bool SourceOwner::event(QEvent* event)
{
    auto* message = static_cast<MessageEvent*>(event);
    if (event->type() == RegisterNamedMessage(MessageName::SourceNewImageAvailable))
        ++available;
    else if (event->type() == RegisterNamedMessage(MessageName::SourceStatusUpdated))
        ++statusUpdates;
    else if (event->type() == RegisterNamedMessage(MessageName::SourceNotify)) {
        notifyCodes.push_back(message->wParam);
        notifyTexts << message->text.value_or(QString());
    } else if (event->type() == RegisterNamedMessage(MessageName::SourceNewImage))
        answers.push_back(message->TakeImage());
    else
        return QObject::event(event);
    return true;
}
