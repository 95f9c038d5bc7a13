#include "CControl.h"

#include "Clock.h"
#include "EventLog.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "OutboxCourier.h"
#include "SystemErrorText.h"
#include "TimeTemplate.h"
#include "TraySequences.h"
#include "Utils/Classes/CTrayIcon.h"
#include "captions/CaptionEngine.h"
#include "sources/CollectScanner.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceEngine.h"
#include "sources/VideoSourceEngine.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

using Utils::Classes::CTrayIcon;

namespace {
QEvent::Type Type(const char* name)
{
    return RegisterNamedMessage(QString::fromLatin1(name));
}

// The FTP uploader's and the mail sender's report codes.
enum FtpCode : std::int64_t
{
    FtpConnecting = 0,
    FtpUploading = 1,
    FtpCompleted = 2,
    FtpError = 3,
    FtpClosed = 4
};
OutboxItem::Kind KindOf(const ImageOutput* output, const ImageOutput* ftp)
{
    return output == ftp ? OutboxItem::Kind::Ftp : OutboxItem::Kind::Email;
}

enum SmtpCode : std::int64_t
{
    SmtpSent = 0,
    SmtpFailed = 1,
    SmtpError = 2,
    SmtpInformation = 3
};
} // namespace

CControl::CControl(const Clock& clock, Parts parts, QObject* parent)
    : QObject(parent), clock_(clock), parts_(parts), timer_(clock)
{
    setObjectName(QStringLiteral("Controller"));
    // The pace of the tries is the courier's, on the injected clock; this only looks often.
    outboxTimer_.setInterval(1000);
    connect(&outboxTimer_, &QTimer::timeout, this, &CControl::SendKeptImages);
    UpdateOutboxCounters();
}

CControl::~CControl() = default;

QString CControl::NowText() const
{
    return clock_.LocalNow().toString(QStringLiteral("HH:mm:ss"));
}

bool CControl::Enabled(const ImageOutput* output) const
{
    if (!output)
        return false;
    if (output == parts_.archive)
        return settings_.enableArchive;
    if (output == parts_.email)
        return settings_.enableEmail;
    if (output == parts_.ftp)
        return settings_.enableFtp;
    return false;
}

bool CControl::AnyEnabledOutput(OutputState state) const
{
    for (const ImageOutput* output : {parts_.archive, parts_.email, parts_.ftp})
        if (Enabled(output) && output->State() == state)
            return true;
    return false;
}

bool CControl::CaptionsBusy() const
{
    return parts_.captions && parts_.captions->CaptionsBusy();
}

bool CControl::HasOutputFailure() const
{
    if (parts_.source && parts_.source->Settings().sourceType == SourceSettings::VideoDevice &&
        !parts_.source->VideoSource()->OwnStatusText().isEmpty())
        return true;
    return AnyEnabledOutput(OutputState::Failed);
}

void CControl::ApplySettings(const ControlSettings& settings)
{
    const ControlSettings before = settings_;
    settings_ = settings;
    // Only a schedule that really changed starts again: a restart in "On Arrival" mode hands
    // the image collected already to the outputs once more, which is no new image.
    const bool modeChanged = settings.collectionType != before.collectionType;
    const bool intervalChanged =
        settings.collectionType == ControlSettings::AtInterval &&
        (settings.cycleTimeSeconds != before.cycleTimeSeconds || settings.exactStroke != before.exactStroke);
    if (state_ != State::Stopped && (modeChanged || intervalChanged))
        StartProcessing();
}

void CControl::StartProcessing()
{
    if (!settings_.enableArchive && !settings_.enableEmail && !settings_.enableFtp) {
        emit StatusMessage(QStringLiteral("Cannot start - No actions enabled"));
        return;
    }
    if (ArchiveFeedsTheSource()) {
        // Every archived copy would be collected as a new image and archived again, captions
        // and all, for ever.
        emit StatusMessage(QStringLiteral("Cannot start - the archive writes into the watched directory"));
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Cannot start - the archive would write %1 into the watched directory, "
                                   "where the file mask takes it: choose another archive root or directory")
                        .arg(parts_.archive->LocalPathForNow()));
        return;
    }
    if (settings_.collectionType == ControlSettings::OnArrival && parts_.source &&
        parts_.source->Settings().sourceType == SourceSettings::CollectFile &&
        !parts_.source->FileSource()->CurrentFrame().IsEmpty()) {
        // The first cycle runs on the image collected already.
        parts_.source->FileSource()->MarkUndelivered();
        QCoreApplication::postEvent(this, new MessageEvent(Type(MessageName::SourceNewImageAvailable)));
    }
    if (settings_.collectionType == ControlSettings::OnArrival) {
        // A start that follows a switch from interval mode must not leave the ticks running.
        timer_.RemoveTimer(TimerName);
    } else {
        const std::int64_t period =
            std::clamp<std::int64_t>(settings_.cycleTimeSeconds, Utils::Classes::CTimer::MinPeriodSeconds,
                                     Utils::Classes::CTimer::MaxPeriodSeconds);
        if (period != settings_.cycleTimeSeconds && clampLoggedFor_ != settings_.cycleTimeSeconds) {
            clampLoggedFor_ = settings_.cycleTimeSeconds;
            AddLogEntry(LogCategory::Error,
                        QStringLiteral("Process cycle time of %1 seconds is out of range - "
                                       "using %2 seconds")
                            .arg(settings_.cycleTimeSeconds)
                            .arg(period));
        }
        timer_.AddTimer(TimerName, period, settings_.exactStroke, this, Type(MessageName::ControlTimer),
                        TimerMessageId);
        UpdateNextCycleText();
        Refresh();
    }
    for (ImageOutput* output : {parts_.archive, parts_.email, parts_.ftp})
        if (Enabled(output))
            output->ResetFailed();
    // The start time of a cycle still under way (a restart by Apply, an upload that outlived a
    // Stop) stays: the status line shows it again when the outputs report.
    SetProcessingState(State::Waiting);
    AddLogEntry(LogCategory::Information, QStringLiteral("Processing started"));
    if (parts_.outbox) {
        parts_.outbox->TryNow();
        outboxTimer_.start();
        SendKeptImages();
    }
}

void CControl::StopProcessing()
{
    if (state_ != State::Stopped)
        AddLogEntry(LogCategory::Information, QStringLiteral("Processing stopped"));
    timer_.RemoveTimer(TimerName);
    if (!pendingImage_.IsEmpty() && state_ != State::Stopped)
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("Image not published - processing stopped while it waited"));
    pendingImage_.Empty();
    latestImage_.Empty();
    missedLatest_.clear();
    outboxTimer_.stop();
    skippedWhileBusy_ = 0;
    requestTimed_ = false;
    SetProcessingState(State::Stopped);
    cycleInProgress_ = false;
}

void CControl::Halt()
{
    halted_ = true;
    timer_.RemoveTimer(TimerName);
    outboxTimer_.stop();
    // Nothing loaded goes unaccounted for, not even at exit.
    if (skippedWhileBusy_ > 0)
        AddLogEntry(
            LogCategory::Information,
            QStringLiteral("%1 image(s) skipped while busy").arg(std::exchange(skippedWhileBusy_, 0)));
    if (!pendingImage_.IsEmpty())
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("Image not published - the program ended while it waited"));
}

void CControl::KeepUndelivered()
{
    if (!parts_.outbox)
        return;
    for (const auto& [output, delivery] : inFlight_) {
        if (delivery.item.isEmpty() && !delivery.image.IsEmpty())
            parts_.outbox->Keep(KindOf(output, parts_.ftp), delivery.image, delivery.taken,
                                output->OutboxKey(), false);
    }
    inFlight_.clear();
}

void CControl::UpdateNextCycleText()
{
    const std::optional<QDateTime> due = timer_.GetNextDueTime(TimerName);
    if (!due)
        return;
    if (due->date() == clock_.LocalNow().date())
        nextCycleText_ = due->toString(QStringLiteral("HH:mm:ss"));
    else
        nextCycleText_ = due->toString(QStringLiteral("HH:mm:ss 'on' dd/MM/yyyy"));
}

bool CControl::event(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (halted_ &&
        (type == Type(MessageName::ControlTimer) || type == Type(MessageName::SourceNewImageAvailable) ||
         type == Type(MessageName::SourceNewImage)))
        return true;
    if (type == Type(MessageName::ControlTimer)) {
        if (static_cast<MessageEvent*>(event)->wParam == TimerMessageId)
            OnTick();
        return true;
    }
    if (type == Type(MessageName::SourceNewImageAvailable)) {
        OnNewImageAvailable();
        return true;
    }
    if (type == Type(MessageName::SourceNewImage)) {
        OnNewImage(*static_cast<MessageEvent*>(event));
        return true;
    }
    if (type == Type(MessageName::CaptionImageProcessNotify)) {
        // Caption jobs end in the order they began: a sample's notice comes before the
        // notice of any cycle started after it.
        if (samplesPending_ > 0)
            --samplesPending_;
        else
            OnCaptionsDone();
        RecomputeState();
        RunWaitingWork();
        return true;
    }
    if (type == Type(MessageName::SourceNotify)) {
        OnSourceNotify(*static_cast<MessageEvent*>(event));
        RecomputeState();
        return true;
    }
    if (type == Type(MessageName::SourceStatusUpdated)) {
        Refresh();
        RecomputeState();
        return true;
    }
    if (type == Type(MessageName::ImageArchiveNewImageNotify)) {
        OnArchiveNotify(*static_cast<MessageEvent*>(event));
        RecomputeState();
        RunWaitingWork();
        return true;
    }
    if (type == Type(MessageName::FtpNotify)) {
        OnFtpNotify(*static_cast<MessageEvent*>(event));
        RecomputeState();
        RunWaitingWork();
        return true;
    }
    if (type == Type(MessageName::FtpDone) || type == Type(MessageName::SmtpDone)) {
        EndDelivery(type == Type(MessageName::FtpDone) ? parts_.ftp : parts_.email,
                    static_cast<MessageEvent*>(event)->wParam == 1);
        RecomputeState();
        RunWaitingWork();
        return true;
    }
    if (type == Type(MessageName::SmtpNotify)) {
        OnSmtpNotify(*static_cast<MessageEvent*>(event));
        RecomputeState();
        RunWaitingWork();
        return true;
    }
    return QObject::event(event);
}

void CControl::OnTick()
{
    cycleStartText_ = NowText();
    requestTimed_ = true;
    if (parts_.source)
        parts_.source->RequestImage(this, false);
    UpdateNextCycleText();
    Refresh();
}

void CControl::OnNewImageAvailable()
{
    // A burst of announcements is handled once.
    QCoreApplication::removePostedEvents(this, Type(MessageName::SourceNewImageAvailable));
    if (!parts_.source)
        return;
    if (state_ == State::Stopped) {
        // Keeps the caption editor's sample current while nothing runs.
        if (!CaptionsBusy())
            parts_.source->RequestImage(this, true);
        return;
    }
    // An arrival is taken whatever the outputs are doing: the free ones publish it, and an
    // image that cannot run yet waits as the newest.
    if (settings_.collectionType == ControlSettings::OnArrival) {
        cycleStartText_ = NowText();
        requestTimed_ = true;
        parts_.source->RequestImage(this, false);
    }
}

bool CControl::ArchiveFeedsTheSource() const
{
    if (!settings_.enableArchive || !parts_.archive || !parts_.source)
        return false;
    const SourceSettings& source = parts_.source->Settings();
    if (source.sourceType != SourceSettings::CollectFile)
        return false;
    QString path = parts_.archive->LocalPathForNow();
    if (path.isEmpty())
        return false;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QFileInfo archived(path);
    if (QDir::cleanPath(archived.absolutePath()) !=
        QDir::cleanPath(QDir(source.fileCollectDirectory).absolutePath()))
        return false;
    return CollectScanner::MaskTakes(source.fileCollectMask, QFile::encodeName(archived.fileName()));
}

bool CControl::AnyFreeOutput() const
{
    for (const ImageOutput* output : {parts_.archive, parts_.email, parts_.ftp}) {
        if (!Enabled(output))
            continue;
        // With an outbox, FTP and e-mail always take an image: a busy one keeps it for later.
        if (output->State() != OutputState::Busy || (parts_.outbox && output != parts_.archive))
            return true;
    }
    return false;
}

void CControl::OnNewImage(MessageEvent& message)
{
    const std::unique_ptr<ImageFrame> frame = message.TakeImage();
    if (!frame || frame->IsEmpty()) {
        Refresh();
        return;
    }
    if (state_ == State::Stopped) {
        // The previous cycle's captions may still be drawing on the processed image.
        if (CaptionsBusy() || cycleInProgress_)
            return;
        processedImage_ = std::move(*frame);
        if (parts_.captions) {
            // The sample's end is told like a cycle's, so that an image waiting for it runs.
            ++samplesPending_;
            parts_.captions->ProcessImage(processedImage_, this);
        }
        return;
    }
    TakeImage(std::move(*frame));
    // A file that arrived while the crop/resize step was busy with this one was refused by
    // it and is still waiting at the source: ask again now that the step is free.
    if (settings_.collectionType == ControlSettings::OnArrival && parts_.source &&
        parts_.source->Settings().sourceType == SourceSettings::CollectFile &&
        parts_.source->FileSource()->ImageAvailable())
        QCoreApplication::postEvent(this, new MessageEvent(Type(MessageName::SourceNewImageAvailable)));
}

void CControl::TakeImage(ImageFrame frame)
{
    const bool onArrival = settings_.collectionType == ControlSettings::OnArrival;
    // The previous cycle's captions are still drawing on the processed image, or (on arrival)
    // every output is busy: the image waits, and only the newest waits.
    const bool captioning = CaptionsBusy() || cycleInProgress_;
    if (captioning || (onArrival && !AnyFreeOutput())) {
        if (!pendingImage_.IsEmpty())
            CountSkipped();
        pendingImage_ = std::move(frame);
        return;
    }
    if (!AnyFreeOutput()) {
        CountSkipped();
        return;
    }
    BeginCycle(std::move(frame));
}

void CControl::CountSkipped()
{
    ++skippedWhileBusy_;
    ++statistics_.skipped;
    emit StatisticsChanged();
}

void CControl::BeginCycle(ImageFrame frame)
{
    processedImage_ = std::move(frame);
    cycleTaken_ = clock_.LocalNow();
    // An image asked for while stopped may arrive just after Start: it begins now.
    if (!requestTimed_)
        cycleStartText_ = NowText();
    if (skippedWhileBusy_ > 0) {
        AddLogEntry(
            LogCategory::Information,
            QStringLiteral("%1 image(s) skipped while busy").arg(std::exchange(skippedWhileBusy_, 0)));
    }
    requestTimed_ = false;
    cycleInProgress_ = true;
    SetProcessingState(State::Cycle);
    AddLogEntry(LogCategory::Information,
                QStringLiteral("Processing cycle begun at %1").arg(cycleStartText_));
    if (settings_.enableCaptions && parts_.captions)
        parts_.captions->ProcessImage(processedImage_, this);
    else
        QCoreApplication::postEvent(this, new MessageEvent(Type(MessageName::CaptionImageProcessNotify)));
}

void CControl::OnCaptionsDone()
{
    ++statistics_.cycles;
    emit StatisticsChanged();
    emit PreviewImage(processedImage_,
                      ExpandTimeTemplate(QStringLiteral("<HH>:<MM>:<SS>  <DD>/<MO>/<YYYY>"), clock_));
    latestImage_ = processedImage_.SharedCopy();
    missedLatest_.clear();
    for (ImageOutput* output : {parts_.archive, parts_.email, parts_.ftp}) {
        if (!Enabled(output))
            continue;
        if (parts_.outbox && output != parts_.archive) {
            HandToKeepingOutput(output);
            continue;
        }
        if (output->State() != OutputState::Busy)
            output->StartOutput(processedImage_, this);
        else
            missedLatest_.insert(output);
    }
    cycleInProgress_ = false;
}

void CControl::RunWaitingWork()
{
    if (state_ == State::Stopped || halted_ || cycleInProgress_ || CaptionsBusy())
        return;
    if (!pendingImage_.IsEmpty() && AnyFreeOutput()) {
        ImageFrame next = std::move(pendingImage_);
        pendingImage_.Empty();
        cycleStartText_ = NowText();
        requestTimed_ = true;
        BeginCycle(std::move(next));
        return;
    }
    // Kept FTP and e-mail images go out as soon as their output is free and their pause is over.
    SendKeptImages();
    if (settings_.collectionType != ControlSettings::OnArrival || latestImage_.IsEmpty())
        return;
    // An output that was busy when the newest image was handed out gets it as soon as it is
    // free, so a slow server always ends with the newest picture, not an old one.
    for (auto it = missedLatest_.begin(); it != missedLatest_.end();) {
        ImageOutput* output = *it;
        if (Enabled(output) && output->State() != OutputState::Busy) {
            output->StartOutput(latestImage_, this);
            it = missedLatest_.erase(it);
        } else {
            ++it;
        }
    }
}

void CControl::HandToKeepingOutput(ImageOutput* output)
{
    const OutboxItem::Kind kind = KindOf(output, parts_.ftp);
    // Kept images go first, oldest first: a new one queues behind them.
    if (output->State() == OutputState::Busy || inFlight_.count(output) > 0 || parts_.outbox->Waiting(kind)) {
        parts_.outbox->Keep(kind, processedImage_, cycleTaken_, output->OutboxKey(), false);
        UpdateOutboxCounters();
        return;
    }
    inFlight_[output] = Delivery{QString(), processedImage_.SharedCopy(), cycleTaken_};
    output->StartOutput(processedImage_, this);
}

void CControl::EndDelivery(ImageOutput* output, bool delivered)
{
    const auto found = inFlight_.find(output);
    if (found == inFlight_.end() || !parts_.outbox)
        return;
    const Delivery delivery = std::move(found->second);
    inFlight_.erase(found);
    const OutboxItem::Kind kind = KindOf(output, parts_.ftp);
    if (!delivery.item.isEmpty()) {
        if (delivered)
            parts_.outbox->Delivered(kind, delivery.item);
        else
            parts_.outbox->Failed(kind, delivery.item);
    } else if (delivered) {
        parts_.outbox->OutputWorks(kind);
    } else {
        parts_.outbox->Keep(kind, delivery.image, delivery.taken, output->OutboxKey(), true);
    }
    UpdateOutboxCounters();
    SendKeptImages();
}

void CControl::SendKeptImages()
{
    if (!parts_.outbox || state_ == State::Stopped || halted_)
        return;
    for (ImageOutput* output : {parts_.email, parts_.ftp}) {
        const auto flying = inFlight_.find(output);
        if (flying != inFlight_.end() && output->State() != OutputState::Busy) {
            // The output reports its end right after it stops being busy; one not heard of
            // for long is taken as it stands.
            Delivery& delivery = flying->second;
            const std::uint64_t now = clock_.MonotonicMs();
            if (delivery.idleSinceMs == 0) {
                delivery.idleSinceMs = now;
            } else if (now - delivery.idleSinceMs > LostEndMs) {
                AddLogEntry(LogCategory::Error,
                            QStringLiteral("%1 - the end of a delivery was never reported - taken as %2")
                                .arg(output == parts_.ftp ? QStringLiteral("FTP") : QStringLiteral("SMTP"),
                                     output->State() == OutputState::Idle ? QStringLiteral("delivered")
                                                                          : QStringLiteral("failed")));
                EndDelivery(output, output->State() == OutputState::Idle);
                return;
            }
        }
        if (!Enabled(output) || output->State() == OutputState::Busy || inFlight_.count(output) > 0)
            continue;
        std::optional<OutboxCourier::Delivery> due = parts_.outbox->Due(KindOf(output, parts_.ftp));
        if (!due)
            continue;
        inFlight_[output] = Delivery{due->item, ImageFrame(), due->taken};
        output->StartOutputTaken(due->image, this, due->taken);
        RecomputeState();
    }
    UpdateOutboxCounters();
}

void CControl::UpdateOutboxCounters()
{
    const std::int32_t images = parts_.outbox ? parts_.outbox->Count() : 0;
    const qint64 bytes = parts_.outbox ? parts_.outbox->Bytes() : 0;
    if (images == statistics_.outboxImages && bytes == statistics_.outboxBytes)
        return;
    statistics_.outboxImages = images;
    statistics_.outboxBytes = bytes;
    emit StatisticsChanged();
}

void CControl::RecordError(const QString& text)
{
    // A server may answer with kilobytes: the tray tip and the Advanced page show a line.
    lastErrorText_ =
        text.size() > MaxErrorTextLength ? text.left(MaxErrorTextLength) + QStringLiteral("...") : text;
    ++statistics_.totalErrors;
    // Only the time is expanded: a file name or a server reply may hold "<HH>" of its own.
    statistics_.lastError = ExpandTimeTemplate(QStringLiteral("<HH>:<MM>:<SS> - "), clock_) + lastErrorText_;
}

void CControl::OnSourceNotify(const MessageEvent& message)
{
    if (message.wParam == SourceEngine::ImageOvertakenCode) {
        // On arrival every collected image is meant to be published: one that a newer file
        // replaced before the busy crop/resize step could take it was skipped while busy. In
        // interval mode only the image at the tick counts, and while stopped nothing does.
        if (state_ != State::Stopped && settings_.collectionType == ControlSettings::OnArrival)
            CountSkipped();
        return;
    }
    if (message.wParam >= 0 && message.wParam < 0x80000000LL)
        return;
    ++statistics_.sourceErrors;
    RecordError(message.text.value_or(QString()));
    emit StatisticsChanged();
}

void CControl::OnArchiveNotify(const MessageEvent& message)
{
    const QString path = message.text.value_or(QString());
    const auto result = static_cast<ResultCode>(message.wParam);
    if (Result::Succeeded(result)) {
        AddLogEntry(LogCategory::Information, QStringLiteral("Archive - Archived OK - ") + path);
        return;
    }
    ++statistics_.archiveErrors;
    RecordError(QStringLiteral("Archive - Error - ") + SystemErrorText(result) + QStringLiteral(" saving ") +
                path);
    AddLogEntry(LogCategory::Error, lastErrorText_);
    emit StatisticsChanged();
}

void CControl::OnFtpNotify(const MessageEvent& message)
{
    const QString text = message.text.value_or(QString());
    switch (message.wParam) {
    case FtpConnecting:
        AddLogEntry(LogCategory::Information, QStringLiteral("FTP - Connecting to ") + text);
        break;
    case FtpUploading:
        AddLogEntry(LogCategory::Information, QStringLiteral("FTP - Uploading ") + text);
        break;
    case FtpCompleted:
        AddLogEntry(LogCategory::Information, QStringLiteral("FTP - Upload completed OK - ") + text);
        ++statistics_.ftpCycles;
        emit StatisticsChanged();
        break;
    case FtpError:
        ++statistics_.ftpCycles;
        ++statistics_.ftpErrors;
        RecordError(QStringLiteral("FTP - Error - ") + text);
        AddLogEntry(LogCategory::Error, lastErrorText_);
        emit StatisticsChanged();
        break;
    case FtpClosed:
        AddLogEntry(LogCategory::Information, QStringLiteral("FTP - Connection closed"));
        break;
    default:
        break;
    }
}

void CControl::OnSmtpNotify(const MessageEvent& message)
{
    const QString text = message.text.value_or(QString());
    switch (message.wParam) {
    case SmtpSent:
        AddLogEntry(LogCategory::Information, QStringLiteral("SMTP - Email sent OK"));
        ++statistics_.emailCycles;
        emit StatisticsChanged();
        break;
    case SmtpFailed:
        ++statistics_.emailCycles;
        ++statistics_.emailErrors;
        RecordError(QStringLiteral("SMTP - Email failed to send - ") + text);
        AddLogEntry(LogCategory::Error, lastErrorText_);
        emit StatisticsChanged();
        break;
    case SmtpError:
        ++statistics_.emailErrors;
        RecordError(QStringLiteral("SMTP - Error - ") + text);
        AddLogEntry(LogCategory::Error, lastErrorText_);
        emit StatisticsChanged();
        break;
    case SmtpInformation:
        AddLogEntry(LogCategory::Information, QStringLiteral("SMTP - ") + text);
        break;
    default:
        break;
    }
}

void CControl::RecomputeState()
{
    if (state_ == State::Stopped)
        return;
    const State next = AnyEnabledOutput(OutputState::Busy) ? State::Cycle : State::Waiting;
    if (state_ == State::Cycle && next == State::Waiting)
        AddLogEntry(LogCategory::Information, QStringLiteral("Processing cycle ended"));
    SetProcessingState(next);
}

void CControl::SetProcessingState(State state)
{
    const State old = state_;
    state_ = state;
    const bool failure = HasOutputFailure();
    if (tray_) {
        if (failure && state != State::Stopped) {
            tray_->SelectSequence(TraySequence::Failed);
            tray_->SetTip(lastErrorText_);
        } else if (state == State::Waiting) {
            if (old == State::Stopped)
                tray_->SelectSequence(TraySequence::Starting);
            tray_->QueueSequence(TraySequence::Waiting);
        } else if (state == State::Cycle) {
            tray_->SelectSequence(TraySequence::Cycle);
        } else {
            if (old != State::Stopped)
                tray_->SelectSequence(TraySequence::Stopping);
            tray_->QueueSequence(TraySequence::Stopped);
        }
        if (!failure)
            tray_->SetTip(QStringLiteral("Pixlet"));
    }
    Refresh();
}

void CControl::Refresh()
{
    if (tray_)
        tray_->SetAnimate(settings_.animateTrayIcon);
    emit RefreshRequested();
}
