#pragma once

#include "Utils/Classes/CPage.h"

class CControl;
class SourceEngine;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The "Control" page, the face of the processing controller: Start and Stop, the schedule,
// what runs in a cycle, the start-up options, and two status lines (what the controller does,
// what the source reports). It edits a copy of the controller's settings.
class CControlPage final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CControlPage)

public:
    CControlPage(CControl& control, SourceEngine& source, QWidget* parent = nullptr);
    ~CControlPage() override;

    void ApplyPage() override { ApplyControlPage(); }
    void RefreshPage() override { ShowControlSettings(); }

    void ShowControlSettings();
    void ApplyControlPage();
    void RefreshControlPage();

    // The label of the exact-stroke check box for a cycle time, and whether the stroke applies.
    static QString StrokeLabel(std::int32_t cycleSeconds, bool* strokeAllowed = nullptr);

    QPushButton* StartButton() const { return startButton_; }
    QPushButton* StopButton() const { return stopButton_; }
    QRadioButton* AtIntervalButton() const { return atInterval_; }
    QRadioButton* OnArrivalButton() const { return onArrival_; }
    QLineEdit* CycleTimeEdit() const { return cycleTime_; }
    QCheckBox* ExactStrokeCheck() const { return exactStroke_; }
    QLabel* StrokeLabelWidget() const { return strokeLabel_; }
    QCheckBox* CaptionsCheck() const { return captions_; }
    QCheckBox* FtpCheck() const { return ftp_; }
    QCheckBox* EmailCheck() const { return email_; }
    QCheckBox* ArchiveCheck() const { return archive_; }
    QCheckBox* StartOnLoadCheck() const { return startOnLoad_; }
    QCheckBox* StartMinimisedCheck() const { return startMinimised_; }
    QLabel* FirstStatusLine() const { return status1_; }
    QLabel* SecondStatusLine() const { return status2_; }

private:
    void OnUserChange();

    CControl& control_;
    SourceEngine& source_;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QRadioButton* atInterval_ = nullptr;
    QRadioButton* onArrival_ = nullptr;
    QLineEdit* cycleTime_ = nullptr;
    QCheckBox* exactStroke_ = nullptr;
    QLabel* strokeLabel_ = nullptr;
    QCheckBox* captions_ = nullptr;
    QCheckBox* ftp_ = nullptr;
    QCheckBox* email_ = nullptr;
    QCheckBox* archive_ = nullptr;
    QCheckBox* startOnLoad_ = nullptr;
    QCheckBox* startMinimised_ = nullptr;
    QLabel* status1_ = nullptr;
    QLabel* status2_ = nullptr;
};
