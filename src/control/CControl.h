#pragma once

#include "ControlSettings.h"
#include "ImageFrame.h"
#include "Statistics.h"
#include "Utils/Classes/CTimer.h"
#include "Utils/Classes/CTrayIcon.h"
#include "outputs/ImageOutput.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <map>
#include <optional>

class CaptionEngine;
class SourceEngine;
class Clock;
class ImageOutput;
class MessageEvent;
class OutboxCourier;

// The processing controller. Once started it asks the source for an image at an interval (or
// on the stroke of the clock) or whenever the source announces one; each image runs a cycle:
// captions, preview, then every enabled output that is not still busy. The outputs report
// back with their messages, which become log lines, counters, the last error and the state
// shown on the Control page and in the tray. Everything here runs on the GUI thread.
class CControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CControl)

public:
    enum class State
    {
        Stopped = 0,
        Waiting = 1,
        Cycle = 2
    };

    // What the controller drives; outputs that do not exist yet are nullptr.
    struct Parts
    {
        SourceEngine* source = nullptr;
        CaptionEngine* captions = nullptr;
        ImageOutput* archive = nullptr;
        ImageOutput* email = nullptr;
        ImageOutput* ftp = nullptr;
        // Where FTP and e-mail keep the images they could not deliver; without it such an
        // image is not kept.
        OutboxCourier* outbox = nullptr;
    };

    static constexpr std::int64_t TimerMessageId = 0x8001;
    static inline const QString TimerName = QStringLiteral("Control");

    CControl(const Clock& clock, Parts parts, QObject* parent = nullptr);
    ~CControl() override;

    void SetTray(Utils::Classes::CTrayIcon* tray) { tray_ = tray; }
    const ControlSettings& Settings() const { return settings_; }
    void SetSettings(const ControlSettings& settings) { settings_ = settings; }
    // As SetSettings; a running controller starts again when its schedule changed (the mode,
    // or the interval of interval mode).
    void ApplySettings(const ControlSettings& settings);

    void StartProcessing();
    void StopProcessing();
    // At exit: no new cycle, request or caption job from here on, without a log line; the
    // outputs' last reports are still taken and logged.
    void Halt();
    // At exit, after the outputs' last reports: a new image whose delivery never reported its
    // end is kept for the next run (a kept one is still in the outbox).
    void KeepUndelivered();

    // The longest error text kept: a server may answer with kilobytes, and the log, the tray tip
    // and the Advanced page show a line.
    static constexpr int MaxErrorTextLength = 1024;
    // An output's end report that never comes must not stop it for good: one not heard of this
    // long after the output stopped being busy is taken as the output stands.
    static constexpr std::uint64_t LostEndMs = 30'000;

    State ProcessingState() const { return state_; }
    bool CycleInProgress() const { return cycleInProgress_; }
    QString NextCycleText() const { return nextCycleText_; }
    QString CycleStartText() const { return cycleStartText_; }
    QString LastErrorText() const { return lastErrorText_; }
    const Statistics& Stats() const { return statistics_; }
    const ImageFrame& ProcessedImage() const { return processedImage_; }
    bool HasOutputFailure() const;
    Utils::Classes::CTimer& Timer() { return timer_; }

signals:
    // The Control page shows the state again.
    void RefreshRequested();
    // Start found nothing to do; the text belongs in the first status line.
    void StatusMessage(const QString& text);
    // The counters or the last error changed.
    void StatisticsChanged();
    // The cycle's image, captioned, for the Preview page, with its time text.
    void PreviewImage(const ImageFrame& image, const QString& timeText);

protected:
    bool event(QEvent* event) override;

private:
    void OnTick();
    void OnNewImageAvailable();
    void OnNewImage(MessageEvent& message);
    void OnCaptionsDone();
    void TakeImage(ImageFrame frame);
    void BeginCycle(ImageFrame frame);
    // A waiting image starts its cycle, or outputs that missed the newest image get it.
    void RunWaitingWork();
    void CountSkipped();
    bool AnyFreeOutput() const;
    // The archive would write, now, a file the file source's directory and mask would collect.
    bool ArchiveFeedsTheSource() const;
    void OnSourceNotify(const MessageEvent& message);
    void OnArchiveNotify(const MessageEvent& message);
    void OnFtpNotify(const MessageEvent& message);
    void OnSmtpNotify(const MessageEvent& message);
    // FTP and e-mail with an outbox: the cycle's image goes out now, or is kept when the
    // output is busy or others wait before it.
    void HandToKeepingOutput(ImageOutput* output);
    // How an output's delivery ended: a kept image is let go or tried later, a new one that
    // failed is kept.
    void EndDelivery(ImageOutput* output, bool delivered);
    // Kept images whose try is due go to their idle outputs.
    void SendKeptImages();
    void UpdateOutboxCounters();
    void RecordError(const QString& text);
    void RecomputeState();
    void SetProcessingState(State state);
    void Refresh();
    QString NowText() const;
    void UpdateNextCycleText();
    bool Enabled(const ImageOutput* output) const;
    bool AnyEnabledOutput(OutputState state) const;
    bool CaptionsBusy() const;

    const Clock& clock_;
    Parts parts_;
    QPointer<Utils::Classes::CTrayIcon> tray_;
    ControlSettings settings_;
    Utils::Classes::CTimer timer_;
    State state_ = State::Stopped;
    bool cycleInProgress_ = false;
    bool halted_ = false;
    ImageFrame processedImage_;
    // The newest image that could not start its cycle yet (captions drawing, every output busy).
    ImageFrame pendingImage_;
    // The last image handed to the outputs, and the outputs that were too busy to take it.
    ImageFrame latestImage_;
    QSet<ImageOutput*> missedLatest_;
    int skippedWhileBusy_ = 0;
    int samplesPending_ = 0; // caption jobs for the editor's sample still drawing
    QString nextCycleText_;
    QString cycleStartText_;
    // cycleStartText_ is the time of a request made while running, still to be answered.
    bool requestTimed_ = false;
    QString lastErrorText_;
    Statistics statistics_;
    std::optional<std::int32_t> clampLoggedFor_;
    // When the cycle's image was taken, for an image kept for later.
    QDateTime cycleTaken_;
    // What FTP and e-mail are delivering now: a kept item (its name), or the cycle's image.
    struct Delivery
    {
        QString item;
        ImageFrame image;
        QDateTime taken;
        // When the output was first seen no longer busy without its end reported (0: not).
        std::uint64_t idleSinceMs = 0;
    };

    std::map<const ImageOutput*, Delivery> inFlight_;
    // Looks for kept images whose try is due while processing runs.
    QTimer outboxTimer_;
};
