#pragma once

#include "Utils/Classes/CPage.h"
#include "Utils/Classes/CTimer.h"

#include <QBasicTimer>

#include <array>
#include <cstdint>

struct AdvancedSettings;
class Clock;
class QCheckBox;
class QLabel;
class QLineEdit;
struct Statistics;
namespace Utils::Controls {
class CUpDownControl;
}

// The "Advanced" page: the run's statistics, uptime and last error (kept by the processing
// controller), the JPEG quality every encoder uses (kept in the settings it is given), and the
// video source's two check boxes (read by the Source page).
// The statistics are refreshed once a second while the page is visible.
class CAdvanced final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAdvanced)

public:
    static inline const QString UptimeName = QStringLiteral("AdvancedUptimeTimer");
    // Cycles, e-mail and FTP cycles, total, e-mail, FTP and source errors, skipped images.
    static constexpr int CounterCount = 8;

    CAdvanced(const Clock& clock, const Statistics& statistics, AdvancedSettings& settings,
              QWidget* parent = nullptr);
    ~CAdvanced() override;

    void ApplyPage() override;
    void RefreshPage() override { ShowAdvancedSettings(); }

    void ShowAdvancedSettings();
    void RefreshStatistics();

    // The text as it fits the width: whole, or cut at the end and followed by "...".
    static QString FitText(const QString& text, const QFontMetrics& metrics, int width);

    std::int32_t Quality() const;
    QLineEdit* QualityEdit() const { return qualityEdit_; }
    Utils::Controls::CUpDownControl* QualityArrows() const { return qualityArrows_; }
    QCheckBox* LowCpuCheck() const { return lowCpuCheck_; }
    QCheckBox* EnableMixerCheck() const { return enableMixerCheck_; }
    QLabel* UptimeLabel() const { return uptime_; }
    QLabel* LastErrorLabel() const { return lastError_; }
    QLabel* BacklogLabel() const { return backlog_; }
    QLineEdit* OutboxImagesEdit() const { return outboxImagesEdit_; }
    QLineEdit* OutboxMegabytesEdit() const { return outboxMegabytesEdit_; }
    // Cycles, Email Cycles, FTP Cycles, Total Errors, Email Errors, FTP Errors, Source Errors.
    QLabel* CounterLabel(int index) const { return counters_.at(index); }
    bool RefreshTimerActive() const { return refreshTimer_.isActive(); }
    Utils::Classes::CTimer& Stopwatch() { return stopwatch_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    const Statistics& statistics_;
    AdvancedSettings& settings_;
    Utils::Classes::CTimer stopwatch_;
    QLabel* uptime_ = nullptr;
    std::array<QLabel*, CounterCount> counters_{};
    QLabel* lastError_ = nullptr;
    QLabel* backlog_ = nullptr;
    QLineEdit* outboxImagesEdit_ = nullptr;
    QLineEdit* outboxMegabytesEdit_ = nullptr;
    QLineEdit* qualityEdit_ = nullptr;
    Utils::Controls::CUpDownControl* qualityArrows_ = nullptr;
    QCheckBox* lowCpuCheck_ = nullptr;
    QCheckBox* enableMixerCheck_ = nullptr;
    QBasicTimer refreshTimer_;
};
