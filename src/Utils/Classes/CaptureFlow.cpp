#include "CaptureFlow.h"

#include <chrono>

namespace {
// The rate is measured over at least this long, so that "%.2f fps" does not flicker with the
// millisecond jitter of single frames.
constexpr std::uint64_t RateWindowMs = 500;
} // namespace

CaptureFlow::CaptureFlow(std::function<std::uint64_t()> clock) : clock_(std::move(clock))
{
    lastFrameMs_ = rateSinceMs_ = clock_();
}

void CaptureFlow::CountFrame()
{
    const std::uint64_t now = clock_();
    std::lock_guard lock(mutex_);
    lastFrameMs_ = now;
    ++frames_;
    ++rateFrames_;
    const std::uint64_t elapsed = now - rateSinceMs_;
    if (elapsed >= RateWindowMs) {
        rate_ = static_cast<float>(rateFrames_) / (static_cast<float>(elapsed) / 1000.0f);
        rateFrames_ = 0;
        rateSinceMs_ = now;
    }
}

int CaptureFlow::RestMsLocked() const
{
    if (!visible_)
        return HiddenRestMs;
    return delayMs_ > 0 && !suspended_ ? delayMs_ : 0;
}

int CaptureFlow::RestMs() const
{
    std::lock_guard lock(mutex_);
    return RestMsLocked();
}

void CaptureFlow::Rest()
{
    std::unique_lock lock(mutex_);
    const int restMs = RestMsLocked();
    if (restMs > 0) {
        resting_ = true;
        wake_.wait_for(lock, std::chrono::milliseconds(restMs), [this] { return woken_; });
        resting_ = false;
    }
    woken_ = false;
}

void CaptureFlow::SetInterframeDelay(int delayMs)
{
    {
        std::lock_guard lock(mutex_);
        delayMs_ = delayMs < 0 ? 0 : delayMs;
    }
    // A rest begun under the old rule is not waited out: the next frame rests by the new one.
    Wake();
}

void CaptureFlow::SetVideoVisible(bool visible)
{
    {
        std::lock_guard lock(mutex_);
        if (visible_ == visible)
            return;
        visible_ = visible;
    }
    // The picture shown at last must not wait out the two seconds of a hidden window's rest.
    Wake();
}

void CaptureFlow::SetThrottlingSuspended(bool suspended)
{
    std::lock_guard lock(mutex_);
    suspended_ = suspended;
}

void CaptureFlow::Wake()
{
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void CaptureFlow::MarkFrameNow()
{
    const std::uint64_t now = clock_();
    std::lock_guard lock(mutex_);
    lastFrameMs_ = now;
}

std::uint64_t CaptureFlow::MsSinceLastFrame() const
{
    const std::uint64_t now = clock_();
    std::lock_guard lock(mutex_);
    return now >= lastFrameMs_ ? now - lastFrameMs_ : 0;
}

std::uint64_t CaptureFlow::FramesReceived() const
{
    std::lock_guard lock(mutex_);
    return frames_;
}

float CaptureFlow::FrameRate() const
{
    std::lock_guard lock(mutex_);
    return rate_;
}
