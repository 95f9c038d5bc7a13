#include "CaptureWorker.h"

#include "CCCTV.h"
#include "Clock.h"
#include "EventLog.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "NetworkSource.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>

namespace {
constexpr int WatchdogCheckMs = 500;
constexpr int ThrottlePauseMs = 1000;

QEvent::Type MessageType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::CctvMessage));
}

// A stop seen on GStreamer's bus, handed to the capture thread.
QEvent::Type BusStopType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::CctvGraphNotify));
}
} // namespace

QEvent::Type CaptureWorker::CommandType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::CctvCommand));
}

CaptureWorker::CaptureWorker(std::function<std::uint64_t()> clock, std::shared_ptr<CaptureGate> gate)
    : gate_(std::move(gate)),
      flow_(clock ? std::move(clock) : std::function<std::uint64_t()>(MillisecondClock)),
      watchdogMs_(CCCTV::DefaultWatchdogMs)
{
}

CaptureWorker::~CaptureWorker()
{
    {
        std::lock_guard lock(gate_->mutex);
        gate_->open = false;
    }
    if (pipeline_)
        pipeline_->Stop();
    pipeline_.reset();
    Report(CaptureMessage::ThreadEnded);
}

void CaptureWorker::Report(std::int64_t type, std::unique_ptr<CaptureReport> report,
                           std::unique_ptr<ImageFrame> frame)
{
    if (!report)
        report = std::make_unique<CaptureReport>();
    report->devicePath = devicePath_;
    PostToPage(type, std::move(report), std::move(frame));
}

void CaptureWorker::ReportPages(std::int64_t type, std::unique_ptr<CapturePages> pages)
{
    PostToPage(type, std::move(pages), nullptr);
}

void CaptureWorker::PostToPage(std::int64_t type, std::unique_ptr<MessagePayload> record,
                               std::unique_ptr<ImageFrame> frame)
{
    if (!page_)
        return;
    auto* event = new MessageEvent(MessageType(), type);
    event->record = std::move(record);
    event->image = std::move(frame);
    QCoreApplication::postEvent(page_, event);
}

bool CaptureWorker::event(QEvent* event)
{
    if (event->type() == CommandType()) {
        OnCommand(*static_cast<MessageEvent*>(event));
        return true;
    }
    if (event->type() == BusStopType()) {
        auto& message = *static_cast<MessageEvent*>(event);
        // Word from a pipeline since replaced (a format change) says nothing of this one.
        if (!stopped_ && message.lParam == pipelineGeneration_) {
            // GStreamer's own words on why: the page's line only names the reason.
            if (message.wParam != StopReason::StreamFinished && message.text && !message.text->isEmpty())
                AddLogEntry(LogCategory::Error, QStringLiteral("Video device error - ") +
                                                    NetworkSource::Masked(*message.text, network_));
            if (awaitingFirstFrame_) {
                // A network camera that never delivered: the connection failed.
                awaitingFirstFrame_ = false;
                ReportConnected(Result::FromErrno(ECONNREFUSED));
                StopCapture();
                return true;
            }
            auto report = std::make_unique<CaptureReport>();
            report->code = message.wParam;
            Report(CaptureMessage::Stopped, std::move(report));
            StopCapture();
        }
        return true;
    }
    return QObject::event(event);
}

void CaptureWorker::SuspendThrottling()
{
    // Suspended before the wake, so the frames right after it do not rest again.
    flow_.SetThrottlingSuspended(true);
    flow_.Wake();
    noThrottle_.start(ThrottlePauseMs, this);
}

void CaptureWorker::OnCommand(MessageEvent& message)
{
    if (stopped_)
        return;
    switch (message.wParam) {
    case CaptureCommand::Connect:
        if (auto* job = dynamic_cast<CaptureConnectJob*>(message.record.get()))
            Connect(*job);
        break;
    case CaptureCommand::Run:
        if (!propertiesOpen_)
            Run();
        break;
    case CaptureCommand::ShowMenu:
        ReportPages(CaptureMessage::PropertyPages, Pages());
        break;
    case CaptureCommand::PropertyPage:
        if (message.lParam == CaptureCommand::StreamPropertiesPage)
            OpenStreamProperties();
        break;
    case CaptureCommand::SetFormat: {
        auto* choice = dynamic_cast<CaptureFormatChoice*>(message.record.get());
        CloseStreamProperties(choice ? choice->format : CaptureFormat());
        break;
    }
    case CaptureCommand::SetControl:
        if (auto* control = dynamic_cast<CaptureControlValue*>(message.record.get()); control && pipeline_)
            pipeline_->SetControl(control->name, control->value);
        break;
    case CaptureCommand::GrabStill:
        // The valve opens first: the frame a rest held back is then the still, once woken.
        if (pipeline_)
            pipeline_->RequestStill(); // a second request before the frame asks for the same still
        SuspendThrottling();
        break;
    case CaptureCommand::SetInterframeDelay:
        flow_.SetInterframeDelay(static_cast<int>(message.lParam));
        SuspendThrottling();
        break;
    case CaptureCommand::ApplyPosition:
        videoHidden_ = false;
        ApplyDestination();
        SuspendThrottling();
        break;
    case CaptureCommand::HideVideo:
        videoHidden_ = true;
        ApplyDestination();
        break;
    case CaptureCommand::DisplayChanged:
        SuspendThrottling();
        break;
    case CaptureCommand::SetOverlay: {
        SuspendThrottling();
        auto report = std::make_unique<CaptureReport>();
        std::shared_ptr<const CaptureOverlay> overlay;
        if (auto* given = dynamic_cast<CaptureOverlay*>(message.record.get())) {
            report->cookie = given->cookie;
            if (!given->frame.IsEmpty() && mixer_)
                overlay = std::make_shared<CaptureOverlay>(std::move(*given));
        }
        {
            std::lock_guard lock(previewMutex_);
            overlay_ = std::move(overlay);
        }
        Report(CaptureMessage::OverlaySet, std::move(report));
        break;
    }
    case CaptureCommand::SetDestRect: {
        auto* rect = dynamic_cast<CaptureRect*>(message.record.get());
        destination_ = rect ? rect->rect : QRect();
        ApplyDestination();
        SuspendThrottling();
        break;
    }
    case CaptureCommand::SetSourceRect: {
        auto* rect = dynamic_cast<CaptureRect*>(message.record.get());
        sourceRect_ = rect ? rect->rect : QRect();
        if (pipeline_)
            pipeline_->SetSourceRect(sourceRect_);
        flow_.Wake();
        break;
    }
    case CaptureCommand::SetClipWindow:
        // A window that comes or goes starts or ends the preview's scaling with it.
        if (auto* window = dynamic_cast<CaptureWindow*>(message.record.get()))
            videoWindow_ = window->window.data();
        ApplyDestination();
        flow_.Wake();
        break;
    case CaptureCommand::SetWatchdog:
        watchdogMs_ = static_cast<int>(message.lParam);
        break;
    case CaptureCommand::QueryStream: {
        // While the format is being chosen there is no stream to describe; the page keeps
        // showing the last figures.
        if (propertiesOpen_)
            break;
        auto report = std::make_unique<CaptureReport>();
        report->frameRate = flow_.FrameRate();
        if (pipeline_) {
            const QSize size = pipeline_->NativeSize(&report->aspectX, &report->aspectY);
            report->nativeWidth = size.width();
            report->nativeHeight = size.height();
        }
        Report(CaptureMessage::StreamInfo, std::move(report));
        break;
    }
    case CaptureCommand::SetVideoVisible:
        flow_.SetVideoVisible(message.lParam != 0);
        flow_.Wake();
        break;
    case CaptureCommand::Stop:
        flow_.Wake();
        StopCapture();
        break;
    default:
        break;
    }
}

void CaptureWorker::Connect(CaptureConnectJob& job)
{
    devicePath_ = job.devicePath;
    page_ = job.page.data();
    videoWindow_ = job.videoWindow.data();
    destination_ = job.destination;
    mixer_ = job.mixer;
    network_ = job.network;
    const ResultCode result = BuildPipeline(job.format);
    if (Result::Failed(result) || network_.IsEmpty())
        ReportConnected(result);
    if (Result::Failed(result)) {
        stopped_ = true;
        QThread::currentThread()->quit();
        return;
    }
    awaitingFirstFrame_ = !network_.IsEmpty();
    ApplyDestination();
    Run();
}

void CaptureWorker::ReportConnected(ResultCode result)
{
    auto report = std::make_unique<CaptureReport>();
    report->code = result;
    Report(CaptureMessage::Connected, std::move(report));
}

void CaptureWorker::CheckFirstFrame()
{
    if (flow_.FramesReceived() > 0) {
        awaitingFirstFrame_ = false;
        ReportConnected(Result::Ok);
        flow_.MarkFrameNow(); // the watchdog counts from here
    } else if (flow_.MsSinceLastFrame() >
               static_cast<std::uint64_t>(std::max(network_.connectTimeoutMs, 0))) {
        awaitingFirstFrame_ = false;
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("No picture from ") + NetworkSource::ShownUrl(network_.url) +
                        QStringLiteral(" within %1 s").arg(network_.connectTimeoutMs / 1000.0));
        ReportConnected(Result::FromErrno(ETIMEDOUT));
        StopCapture();
    }
}

ResultCode CaptureWorker::BuildPipeline(const CaptureFormat& format)
{
    CapturePipeline::Hooks hooks;
    hooks.still = [this](ImageFrame&& still) {
        Report(CaptureMessage::Still, nullptr, std::make_unique<ImageFrame>(std::move(still)));
    };
    hooks.preview = [this](ImageFrame&& frame) { SendPreview(std::move(frame)); };
    const std::int64_t generation = ++pipelineGeneration_;
    hooks.stopped = [this, generation](std::int64_t reason, const QString& text) {
        auto* event = new MessageEvent(BusStopType(), reason, generation);
        event->text = text;
        QCoreApplication::postEvent(this, event);
    };
    pipeline_ = std::make_unique<CapturePipeline>(std::move(hooks), flow_);
    const ResultCode result = pipeline_->Build(devicePath_, format, network_);
    if (Result::Failed(result)) {
        pipeline_.reset();
        if (format.IsEmpty())
            return result;
        // A device that cannot open in the stored format may still open in its own.
        AddLogEntry(LogCategory::Error, QStringLiteral("The video device cannot open in ") + format.Text() +
                                            QStringLiteral(" - using its default format"));
        return BuildPipeline(CaptureFormat());
    }
    formats_ = pipeline_->Formats();
    if (!format.IsEmpty() && !formats_.contains(format)) {
        // A stored format the device no longer offers (another camera at that path, another
        // driver): the picture matters more than the format.
        AddLogEntry(LogCategory::Error, QStringLiteral("The video device does not offer ") + format.Text() +
                                            QStringLiteral(" - using its default format"));
        pipeline_.reset();
        return BuildPipeline(CaptureFormat());
    }
    format_ = format;
    pipeline_->SetSourceRect(sourceRect_);
    return result;
}

std::unique_ptr<CapturePages> CaptureWorker::Pages() const
{
    auto pages = std::make_unique<CapturePages>();
    pages->formats = formats_;
    pages->format = format_;
    if (pipeline_)
        pages->controls = pipeline_->Controls();
    return pages;
}

void CaptureWorker::OpenStreamProperties()
{
    if (!pipeline_ || propertiesOpen_)
        return;
    // The stream stops while its format is chosen; the watchdog has nothing to watch.
    watchdog_.stop();
    auto pages = Pages();
    pipeline_->Stop();
    pipeline_.reset();
    propertiesOpen_ = true;
    ReportPages(CaptureMessage::PropertiesOpening, std::move(pages));
}

void CaptureWorker::CloseStreamProperties(const CaptureFormat& chosen)
{
    if (!propertiesOpen_)
        return;
    propertiesOpen_ = false;
    const CaptureFormat previous = format_;
    ResultCode result = BuildPipeline(chosen.IsEmpty() ? previous : chosen);
    if (Result::Failed(result) && !chosen.IsEmpty() && chosen != previous)
        result = BuildPipeline(previous);
    ReportPages(CaptureMessage::PropertiesClosed, Pages());
    if (Result::Failed(result)) {
        auto report = std::make_unique<CaptureReport>();
        report->code = StopReason::ErrorAbort;
        Report(CaptureMessage::Stopped, std::move(report));
        StopCapture();
        return;
    }
    ApplyDestination();
    Run();
}

void CaptureWorker::Run()
{
    if (!pipeline_)
        return;
    watchdog_.start(WatchdogCheckMs, this);
    flow_.MarkFrameNow();
    if (!pipeline_->Play()) {
        auto report = std::make_unique<CaptureReport>();
        report->code = StopReason::ErrorAbort;
        Report(CaptureMessage::Stopped, std::move(report));
        StopCapture();
    }
}

void CaptureWorker::ApplyDestination()
{
    {
        std::lock_guard lock(previewMutex_);
        previewOrigin_ = destination_.topLeft();
    }
    if (pipeline_)
        pipeline_->SetPreviewSize(videoHidden_ || !videoWindow_.load() ? QSize() : destination_.size());
}

void CaptureWorker::SendPreview(ImageFrame&& frame)
{
    QObject* window = videoWindow_.load();
    if (!window)
        return;
    auto overlay = std::make_unique<CapturePreviewOverlay>();
    QPoint origin;
    {
        std::lock_guard lock(previewMutex_);
        overlay->overlay = overlay_;
        origin = previewOrigin_;
    }
    auto* event = new MessageEvent(CapturePreviewFrameType(), origin.x(), origin.y());
    event->image = std::make_unique<ImageFrame>(std::move(frame));
    event->record = std::move(overlay);
    QCoreApplication::postEvent(window, event);
}

void CaptureWorker::StopCapture()
{
    stopped_ = true;
    watchdog_.stop();
    noThrottle_.stop();
    if (pipeline_)
        pipeline_->Stop();
    QThread::currentThread()->quit();
}

void CaptureWorker::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == watchdog_.timerId()) {
        if (awaitingFirstFrame_) {
            CheckFirstFrame();
            return;
        }
        // The limit counts from the end of the rest a frame may take, so a Low CPU delay or the
        // hidden video's pause never reads as a camera that stopped.
        const std::uint64_t limitMs =
            static_cast<std::uint64_t>(std::max(watchdogMs_, 0)) + static_cast<std::uint64_t>(flow_.RestMs());
        if (flow_.MsSinceLastFrame() > limitMs) {
            auto report = std::make_unique<CaptureReport>();
            report->code = StopReason::WatchdogTimeout;
            Report(CaptureMessage::Stopped, std::move(report));
            StopCapture();
        }
    } else if (event->timerId() == noThrottle_.timerId()) {
        noThrottle_.stop();
        flow_.SetThrottlingSuspended(false);
    } else {
        QObject::timerEvent(event);
    }
}
