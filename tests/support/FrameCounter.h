#pragma once

#include "MessageEvent.h"
#include "Utils/Classes/CaptureTypes.h"
#include "sources/VideoDisplay.h"

#include <QObject>
#include <QSize>

// A display that only counts the live picture's frames and keeps the last one's width.
class FrameCounter final : public QObject, public VideoDisplay
{
public:
    explicit FrameCounter(QSize size) : size_(size) {}
    QObject* VideoWindow() override { return this; }
    QSize VideoSize() const override { return size_; }
    bool VideoSeen() const override { return true; }
    bool event(QEvent* event) override
    {
        if (event->type() != CapturePreviewFrameType())
            return QObject::event(event);
        auto* message = static_cast<MessageEvent*>(event);
        if (message->image)
            lastWidth = message->image->Width();
        ++frames;
        return true;
    }
    int frames = 0;
    int lastWidth = 0;

private:
    QSize size_;
};
