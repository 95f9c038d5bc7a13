#pragma once

#include "ImageFrame.h"
#include "ResultCodes.h"

#include <QEvent>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <thread>

class QObject;

// Saves copies of frames on worker threads after a delay, one thread per image, and tells a
// receiver how each save went with a MessageEvent of the type given at construction: wParam =
// the save's result code, lParam = the errno behind a failure (0 if none).
//
// The saver owns its threads. Destroying it (or Shutdown) cuts every remaining delay short:
// the pending images are still written, never dropped, and all threads are joined. The
// receiver must outlive the saver; owners keep the saver as a member for that reason.
class DelayedImageSaver final
{
public:
    explicit DelayedImageSaver(QEvent::Type notifyType);
    ~DelayedImageSaver();
    DelayedImageSaver(const DelayedImageSaver&) = delete;
    DelayedImageSaver& operator=(const DelayedImageSaver&) = delete;

    // Copies the frame and returns at once; false when the copy or the thread cannot be made.
    bool SaveImageFileLater(const ImageFrame& frame, const QString& path, int delayMs, QObject* notify);

    // Ends all delays, waits for every save to finish.
    void Shutdown();

    // Saves started and not yet finished.
    int PendingCount() const;

private:
    struct Job
    {
        ImageFrame frame;
        QString path;
        int delayMs = 0;
        QObject* notify = nullptr;
        std::thread thread;
        bool finished = false;
    };

    void Run(Job& job);
    void ReapFinished();

    const QEvent::Type notifyType_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::list<Job> jobs_;
};
