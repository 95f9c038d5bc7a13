#pragma once

#include "MessageEvent.h"
#include "NamedMessages.h"

#include <QObject>

#include <cstdint>
#include <vector>

// Stands in for the controller: collects the archive's reports (result code and path).
class ArchiveReports final : public QObject
{
public:
    struct Note
    {
        std::int64_t result;
        QString path;
    };
    std::vector<Note> notes;

    bool event(QEvent* event) override
    {
        if (event->type() !=
            RegisterNamedMessage(QString::fromLatin1(MessageName::ImageArchiveNewImageNotify)))
            return QObject::event(event);
        auto* message = static_cast<MessageEvent*>(event);
        notes.push_back({message->wParam, message->text.value_or(QString())});
        return true;
    }
};
