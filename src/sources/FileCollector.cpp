#include "FileCollector.h"

#include "DelayedFileDeleter.h"
#include "EventLog.h"
#include "ImageDecoder.h"
#include "ImageFormat.h"
#include "ImageOperations.h"
#include "MessageEvent.h"

#include <QCoreApplication>
#include <QFile>

FileCollector::FileCollector(QObject* receiver, QEvent::Type type, DelayedFileDeleter& deleter)
    : receiver_(receiver), type_(type), deleter_(deleter)
{
}

FileCollector::~FileCollector() = default;

void FileCollector::Start(CollectionJob job)
{
    worker_.Post([this, job = std::move(job)] {
        auto frame = std::make_unique<ImageFrame>();
        const ResultCode result = Collect(job, *frame, deleter_);
        auto* event = new MessageEvent(type_, frame->IsEmpty() ? 0 : 1, result);
        if (!frame->IsEmpty())
            event->image = std::move(frame);
        QCoreApplication::postEvent(receiver_, event);
    });
}

ResultCode FileCollector::Collect(const CollectionJob& job, ImageFrame& frame, DelayedFileDeleter& deleter)
{
    const QString& name = job.displayName;
    frame.Empty();
    if (!IsImageFileName(QFile::decodeName(job.path))) {
        AddLogEntry(LogCategory::Error, QStringLiteral("Failed to load non-image file ") + name);
        return Result::InvalidArgument; // and it is left where it is
    }
    ResultCode result = LoadImageFileAt(frame, job.path);
    if (Result::Failed(result)) {
        frame.Empty();
        AddLogEntry(LogCategory::Error, QStringLiteral("Failed to load file ") + name);
    } else {
        if (frame.BitsPerPixel() != 24) {
            ImageFrame converted;
            if (CopyImage(frame, converted, 24)) {
                frame = std::move(converted);
            } else {
                frame.Empty();
                result = Result::OutOfMemory;
            }
        }
        AddLogEntry(
            frame.IsEmpty() ? LogCategory::Error : LogCategory::Information,
            (frame.IsEmpty() ? QStringLiteral("Failed to load file ") : QStringLiteral("Loaded file ")) +
                name);
    }
    // Only a file that was taken is deleted: one that did not load (damaged, or still being
    // written by someone the watcher never saw) stays, and is looked at again once it changes.
    if (job.deleteOnCollection && !frame.IsEmpty()) {
        deleter.DeleteLater(job.path, job.deleteDelayMs);
        AddLogEntry(LogCategory::Information, QStringLiteral("Deleted file ") + name);
    }
    return result;
}
