#pragma once

#include "ImageFrame.h"

#include <QEvent>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

// A record carried by a message; each kind derives from it.
struct MessagePayload
{
    virtual ~MessagePayload() = default;
};

// One posted notification: two codes and what it carries. The event owns its payloads, so a
// message that is dropped, ignored or outlives its receiver still frees them.
class MessageEvent final : public QEvent
{
public:
    MessageEvent(QEvent::Type type, std::int64_t wParam = 0, std::int64_t lParam = 0);
    ~MessageEvent() override;

    std::int64_t wParam = 0;
    std::int64_t lParam = 0;
    std::unique_ptr<ImageFrame> image;
    std::optional<QString> text;
    std::unique_ptr<MessagePayload> record;

    // A flag that stays set while this event waits in a queue; cleared when the event is
    // delivered or destroyed, whichever comes first. Lets a sender see that its previous
    // message has not been handled yet.
    void SetPendingFlag(std::shared_ptr<std::atomic_bool> flag);

    // Takes the image out (the receiver becomes its owner).
    std::unique_ptr<ImageFrame> TakeImage() { return std::move(image); }

private:
    std::shared_ptr<std::atomic_bool> pending_;
};
