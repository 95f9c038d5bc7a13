#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// What the capture thread and GStreamer's streaming thread share about the flow of frames: the
// count, the time of the last one, the measured rate, and the rest the streaming thread takes
// between frames. Resting blocks the streaming thread, and a live source then drops frames at
// the device: that is what saves the processor's time.
//
// Rests: up to 2000 ms per frame while nobody sees the video; otherwise the interframe delay,
// unless throttling is suspended. Wake() cuts a rest short, like an auto-reset event: a wake
// with nobody resting makes the next rest end at once.
//
// The flow outlives the pipelines of its connection (a format change builds a new one), so it
// keeps no mark of a pipeline's end: a pipeline going down stops resting on its own and wakes
// the rest in progress.
class CaptureFlow final
{
public:
    static constexpr int HiddenRestMs = 2000;

    explicit CaptureFlow(std::function<std::uint64_t()> clock);

    // Streaming thread, for each frame: counts it and measures the rate.
    void CountFrame();
    // Streaming thread: the rest before the next frame.
    void Rest();
    // How long a frame may rest now; the watchdog allows for it.
    int RestMs() const;
    // Any thread: the streaming thread is resting now. A frame that would only wait behind it
    // may be dropped before it costs anything (a network camera's JPEG before decoding).
    bool Resting() const { return resting_; }

    // Capture thread.
    void SetInterframeDelay(int delayMs);
    void SetVideoVisible(bool visible);
    void SetThrottlingSuspended(bool suspended);
    void Wake();
    // Restarts the watchdog's count, as if a frame had just come.
    void MarkFrameNow();

    std::uint64_t MsSinceLastFrame() const;
    std::uint64_t FramesReceived() const;
    float FrameRate() const;

private:
    int RestMsLocked() const;

    const std::function<std::uint64_t()> clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    std::atomic<bool> resting_{false};
    int delayMs_ = 0;
    bool visible_ = true;
    bool suspended_ = true;
    std::uint64_t frames_ = 0;
    std::uint64_t lastFrameMs_ = 0;
    std::uint64_t rateFrames_ = 0;
    std::uint64_t rateSinceMs_ = 0;
    float rate_ = 0;
};
