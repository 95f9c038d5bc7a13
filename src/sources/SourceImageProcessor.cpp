#include "SourceImageProcessor.h"

#include "EventLog.h"
#include "ImageOperations.h"
#include "MessageEvent.h"
#include "NamedMessages.h"

#include <QCoreApplication>

namespace {
QEvent::Type NewImageType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::SourceNewImage));
}

void Answer(QObject* requester, ImageFrame* frame)
{
    auto* event = new MessageEvent(NewImageType());
    // An empty result (a crop or resize to nothing) is an answer without an image.
    if (frame && !frame->IsEmpty())
        event->image = std::make_unique<ImageFrame>(std::move(*frame));
    QCoreApplication::postEvent(requester, event);
}
} // namespace

SourceImageProcessor::SourceImageProcessor() = default;

SourceImageProcessor::~SourceImageProcessor()
{
    Wait();
}

ImageFrame SourceImageProcessor::Finish(const ImageFrame& frame, const SourceSettings& s)
{
    ImageFrame result;
    if (s.crop && s.resize)
        CropAndResizeImage(frame, result, s.resizeWidth, s.resizeHeight, s.cropOriginX, s.cropOriginY,
                           s.cropWidth, s.cropHeight);
    else if (s.crop)
        CropImage(frame, result, s.cropOriginX, s.cropOriginY, s.cropWidth, s.cropHeight);
    else if (s.resize)
        ResizeImage(frame, result, s.resizeWidth, s.resizeHeight);
    else
        CopyImage(frame, result);
    return result;
}

bool SourceImageProcessor::Process(const ImageFrame& frame, QObject* requester,
                                   const SourceSettings& settings)
{
    if (busy_.load())
        return false;
    if (frame.IsEmpty()) {
        if (requester)
            Answer(requester, nullptr);
        return true;
    }
    // The worker only reads the frame: sharing its pixels spares a copy of a whole still.
    auto copy = std::make_shared<ImageFrame>(frame.SharedCopy());
    busy_ = true;
    worker_.Post([this, copy, requester, settings] {
        ImageFrame finished = Finish(*copy, settings);
        if (finished.IsEmpty()) {
            AddLogEntry(
                LogCategory::Error,
                QStringLiteral("Source - The %1 x %2 image gave no image after crop (%3,%4 %5 x %6, %7) "
                               "and resize (%8 x %9, %10) - check the Source page")
                    .arg(copy->Width())
                    .arg(copy->Height())
                    .arg(settings.cropOriginX)
                    .arg(settings.cropOriginY)
                    .arg(settings.cropWidth)
                    .arg(settings.cropHeight)
                    .arg(settings.crop ? QStringLiteral("on") : QStringLiteral("off"))
                    .arg(settings.resizeWidth)
                    .arg(settings.resizeHeight)
                    .arg(settings.resize ? QStringLiteral("on") : QStringLiteral("off")));
        }
        // Free before the answer goes, so a request made on the answer finds the worker free.
        busy_ = false;
        if (requester)
            Answer(requester, &finished);
    });
    return true;
}

void SourceImageProcessor::Wait()
{
    worker_.WaitIdle();
}
