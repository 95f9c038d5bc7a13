#pragma once

#include "CaptureFormat.h"
#include "CaptureTypes.h"
#include "ImageFrame.h"
#include "ResultCodes.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class CaptureFlow;
typedef struct _GstElement GstElement;

// One connection's GStreamer pipeline: the device's source, then a tee with two branches. The
// still branch converts to 24-bit RGB at the device's size and is opened for one frame at a
// time, when a still is asked for; the preview branch scales to the destination size before
// it converts colours (far fewer pixels to convert) and is closed while there is nowhere to
// show it. Every source frame is counted and may be rested on (CaptureFlow) before the tee.
//
// The hooks run on GStreamer's threads and must only hand things over (post an event); the
// bus is read synchronously and every message dropped after its hook, so nothing piles up.
class CapturePipeline final
{
public:
    struct Hooks
    {
        std::function<void(ImageFrame&&)> still;
        std::function<void(ImageFrame&&)> preview;
        // End of stream or an error: the stop reason and GStreamer's words.
        std::function<void(std::int64_t reason, const QString& text)> stopped;
    };

    CapturePipeline(Hooks hooks, CaptureFlow& flow);
    ~CapturePipeline();
    CapturePipeline(const CapturePipeline&) = delete;
    CapturePipeline& operator=(const CapturePipeline&) = delete;

    // Makes the elements and opens the device (an empty path is an invalid argument), in the
    // format given or, for an empty one, the device's default. A network camera's stream is
    // only reached once playing: its failures come as stops.
    ResultCode Build(const QString& devicePath, const CaptureFormat& format = CaptureFormat(),
                     const NetworkStream& network = NetworkStream());
    bool Play();
    // Down to nothing; no hook runs once this returns.
    void Stop();

    void RequestStill();
    // Preview frames of this size; an empty size closes the preview branch.
    void SetPreviewSize(const QSize& size);
    // The most preview frames a second for a preview of that size: all of a page's, fewer for
    // a large window, so that the preview's pixels a second stay within the budget.
    static constexpr qint64 PreviewPixelsPerSecond = 640LL * 360 * 24;
    static constexpr int MinPreviewRate = 5;
    static constexpr int MaxPreviewRate = 60;
    static int PreviewMaxRate(const QSize& size);
    // The part of the device's picture the preview shows; an empty rectangle shows all of it.
    // Kept across format changes, within the picture's bounds.
    void SetSourceRect(const QRect& rect);
    // The size the device delivers and its pixel aspect ratio.
    QSize NativeSize(int* aspectX = nullptr, int* aspectY = nullptr) const;
    // What the open device can deliver (uncompressed formats of a fixed size), and its
    // picture controls with their present values.
    QList<CaptureFormat> Formats() const;
    QList<CaptureControl> Controls() const;
    // False when the device has no such control.
    bool SetControl(const QString& name, int value);

private:
    friend struct CapturePipelineCallbacks;

    Hooks hooks_;
    CaptureFlow& flow_;
    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    QString devicePath_;
    bool network_ = false;
    GstElement* tee_ = nullptr;
    GstElement* stillValve_ = nullptr;
    GstElement* previewValve_ = nullptr;
    GstElement* previewCaps_ = nullptr;
    GstElement* previewCrop_ = nullptr;
    GstElement* previewRate_ = nullptr;
    // The preview's source rectangle, applied again by the streaming thread when the
    // device's size becomes known or changes.
    void ApplySourceRect(const QSize& native);
    mutable std::mutex cropMutex_;
    QRect sourceRect_;
    std::atomic<bool> stillWanted_{false};
    std::atomic<bool> stopping_{false};
    QSize previewSize_;
};

// GStreamer is set up once per process, on first use.
void EnsureGStreamer();
