#pragma once

#include "CCaptionData.h"

#include <QEvent>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class Clock;
class ImageFrame;
class QObject;

// Draws captions onto images on one worker thread, in the order the images come, and tells a
// receiver when each image is done. The thread lives as long as the runner, so the fonts it
// has loaded and shaped stay cached from one image to the next; the runner finishes every
// queued job and joins the thread when it is destroyed (a job is never cut off half-drawn).
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
        ImageFrame* image = nullptr;
        std::vector<CCaptionData> captions;
        QObject* notify = nullptr;
    };

    void Run();

    const Clock& clock_;
    const QEvent::Type doneType_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> queue_;
    int pending_ = 0; // queued or being drawn
    bool stopping_ = false;
    std::thread worker_;
};
