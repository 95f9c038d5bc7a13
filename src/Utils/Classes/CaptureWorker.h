#pragma once

#include "CaptureFlow.h"
#include "CapturePipeline.h"
#include "CaptureTypes.h"

#include <QBasicTimer>
#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>

class MessageEvent;

// Lets the page's thread post commands only while the worker exists: the worker closes the
// gate first thing in its destructor, and commands posted before that are discarded with it.
struct CaptureGate
{
    std::mutex mutex;
    bool open = true;
};

// Lives on the capture thread and does its work; see CCCTV.
class CaptureWorker final : public QObject
{
public:
    CaptureWorker(std::function<std::uint64_t()> clock, std::shared_ptr<CaptureGate> gate);
    ~CaptureWorker() override;

    static QEvent::Type CommandType();

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnCommand(MessageEvent& message);
    void Connect(CaptureConnectJob& job);
    void ReportConnected(ResultCode result);
    // Before the first frame: connected once it came, failed once the limit passed.
    void CheckFirstFrame();
    // A new pipeline in the format, opened; it falls back on the device's default (and logs why)
    // when the device does not offer the format or cannot open in it.
    ResultCode BuildPipeline(const CaptureFormat& format);
    void OpenStreamProperties();
    void CloseStreamProperties(const CaptureFormat& chosen);
    std::unique_ptr<CapturePages> Pages() const;
    void ReportPages(std::int64_t type, std::unique_ptr<CapturePages> pages);
    void PostToPage(std::int64_t type, std::unique_ptr<MessagePayload> record,
                    std::unique_ptr<ImageFrame> frame);
    void Run();
    void StopCapture();
    void SuspendThrottling();
    void Report(std::int64_t type, std::unique_ptr<CaptureReport> report = nullptr,
                std::unique_ptr<ImageFrame> frame = nullptr);
    void ApplyDestination();
    void SendPreview(ImageFrame&& frame);

    const std::shared_ptr<CaptureGate> gate_;
    CaptureFlow flow_;
    std::unique_ptr<CapturePipeline> pipeline_;
    QString devicePath_;
    NetworkStream network_;
    // A network camera counts as connected at its first frame, not when its pipeline is made.
    bool awaitingFirstFrame_ = false;
    CaptureFormat format_;
    QList<CaptureFormat> formats_;
    bool propertiesOpen_ = false;
    std::int64_t pipelineGeneration_ = 0; // read on this thread only
    QObject* page_ = nullptr;
    std::atomic<QObject*> videoWindow_{nullptr};
    QRect destination_;
    QRect sourceRect_;
    bool videoHidden_ = false;
    bool mixer_ = true;
    int watchdogMs_;
    bool stopped_ = false;
    QBasicTimer watchdog_;
    QBasicTimer noThrottle_;
    // What the preview's streaming thread reads: the overlay and where the frames go.
    std::mutex previewMutex_;
    std::shared_ptr<const CaptureOverlay> overlay_;
    QPoint previewOrigin_;
};
