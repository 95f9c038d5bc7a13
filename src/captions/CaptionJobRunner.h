#pragma once

#include "CCaptionData.h"
#include "WorkerThread.h"

#include <QEvent>

#include <atomic>
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
    // The same within a limit: false when a job is still drawing after timeoutMs.
    bool WaitForAllFor(int timeoutMs) { return worker_.WaitIdleFor(timeoutMs); }

private:
    const Clock& clock_;
    const QEvent::Type doneType_;
    std::atomic<int> pending_{0}; // queued or being drawn
    WorkerThread worker_;         // last: it finishes its jobs while the rest is still there
};
