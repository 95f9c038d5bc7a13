#pragma once

#include "ImageFrame.h"
#include "ResultCodes.h"
#include "WorkerThread.h"

#include <QEvent>
#include <QString>

class DelayedFileDeleter;
class QObject;

// One file to collect from the watched directory.
struct CollectionJob
{
    QByteArray path;     // the file system's bytes: a name need not be valid UTF-8
    QString displayName; // for the log
    bool deleteOnCollection = false;
    int deleteDelayMs = 0;
};

// The collection worker: loads a file on its own thread, makes it 24 bits per pixel, logs the
// outcome, schedules the deletion when asked, and posts the result to the receiver: wParam 1
// with the frame as the event's image (or 0 without one), lParam the load's result code.
// Collections run one after another on the collector's own thread, which is joined on
// destruction after the last queued collection.
class FileCollector final
{
public:
    FileCollector(QObject* receiver, QEvent::Type type, DelayedFileDeleter& deleter);
    ~FileCollector();
    FileCollector(const FileCollector&) = delete;
    FileCollector& operator=(const FileCollector&) = delete;

    void Start(CollectionJob job);

    // The work itself, on the calling thread.
    static ResultCode Collect(const CollectionJob& job, ImageFrame& frame, DelayedFileDeleter& deleter);

private:
    QObject* const receiver_;
    const QEvent::Type type_;
    DelayedFileDeleter& deleter_;
    WorkerThread worker_; // last: it ends first, while the rest is still there
};
