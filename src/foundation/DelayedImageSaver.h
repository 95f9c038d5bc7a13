#pragma once

#include "ImageFrame.h"
#include "ResultCodes.h"

#include <QEvent>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

class QObject;

// Saves frames on worker threads after a delay, each waiting image on a thread of its own, and
// tells a receiver how each save went with a MessageEvent of the type given at construction:
// wParam = the save's result code, lParam = the errno behind a failure (0 if none).
//
// A thread that has saved its image stays parked for the next one for a while (IdleLinger), so
// a steady run of images reuses one thread instead of starting one per image; a burst of long
// delays still gets a thread per image, so one slow disk holds up only its own image.
//
// The saver owns its threads. Destroying it (or Shutdown) cuts every remaining delay short:
// the pending images are still written, never dropped, and all threads are joined. The
// receiver must outlive the saver; owners keep the saver as a member for that reason.
class DelayedImageSaver final
{
public:
    static constexpr std::chrono::seconds IdleLinger{30};

    explicit DelayedImageSaver(QEvent::Type notifyType);
    ~DelayedImageSaver();
    DelayedImageSaver(const DelayedImageSaver&) = delete;
    DelayedImageSaver& operator=(const DelayedImageSaver&) = delete;

    // Takes a copy-on-write share of the frame (the caller may go on changing its own) and
    // returns at once; false when no thread can be started for it.
    bool SaveImageFileLater(const ImageFrame& frame, const QString& path, int delayMs, QObject* notify);

    // Ends all delays, waits for every save to finish and every thread to end.
    void Shutdown();

    // Saves started and not yet finished.
    int PendingCount() const;
    // Threads alive, parked or busy.
    int ThreadCount() const;

private:
    struct Job
    {
        ImageFrame frame;
        QString path;
        std::chrono::steady_clock::time_point due;
        QObject* notify = nullptr;
    };
    struct Worker
    {
        std::thread thread;
        bool finished = false;
    };

    void Run(Worker& worker);
    void Save(Job& job, std::unique_lock<std::mutex>& lock);
    void ReapFinished();

    const QEvent::Type notifyType_;
    mutable std::mutex mutex_;
    std::condition_variable jobReady_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::deque<Job> queue_;
    int pending_ = 0;
    int idle_ = 0;
    std::list<Worker> workers_;
};
