#pragma once

#include "CCaptionData.h"

#include <QEvent>
#include <QMutex>

#include <list>
#include <thread>
#include <vector>

class Clock;
class ImageFrame;
class QObject;

// Draws captions onto images on worker threads, one thread per image, and tells a receiver
// when each image is done. The runner owns its threads and joins them when it is destroyed
// (a job is short and is never cut off half-drawn).
class CaptionJobRunner final
{
public:
    CaptionJobRunner(const Clock& clock, QEvent::Type doneType);
    ~CaptionJobRunner();
    CaptionJobRunner(const CaptionJobRunner&) = delete;
    CaptionJobRunner& operator=(const CaptionJobRunner&) = delete;

    // Draws the captions onto the image in place; the caller leaves the image alone until the
    // done message (wParam 0, lParam 0) reaches `notify`. Exactly one message per call when
    // `notify` is given, also for an empty caption list.
    void Start(ImageFrame& image, std::vector<CCaptionData> captions, QObject* notify);

    // True from Start until the worker has drawn everything.
    bool Busy() const;
    // Waits for every job started so far.
    void WaitForAll();

private:
    struct Job
    {
        std::thread thread;
        bool finished = false;
    };

    void ReapFinished();

    const Clock& clock_;
    const QEvent::Type doneType_;
    mutable QMutex mutex_;
    int running_ = 0;
    std::list<Job> jobs_;
};
