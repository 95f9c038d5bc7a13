#pragma once

#include "TrayPresenter.h"

#include <QBasicTimer>
#include <QIcon>
#include <QList>
#include <QObject>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>

namespace Utils::Classes {

// The icon in the notification area: numbered sequences of icons played as animations, a
// queue of sequences waiting their turn, the tip and balloons. Driven by its commands and a
// 100 ms timer on the GUI thread.
class CTrayIcon final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTrayIcon)

public:
    static constexpr int FrameIntervalMs = 100;
    static constexpr int MaxTipLength = 127;

    explicit CTrayIcon(std::unique_ptr<TrayPresenter> presenter, QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Command 0: appends the icon to the sequence, making the sequence if it is new.
    void AddIcon(std::uint16_t sequence, const QIcon& icon);
    // Command 1: the sequence becomes this one icon (shown at once if it is current).
    void ReplaceSequence(std::uint16_t sequence, const QIcon& icon);
    // Command 2.
    void RemoveSequence(std::uint16_t sequence);
    // Command 3: empties the queue and makes the sequence current.
    void SelectSequence(std::uint16_t sequence);
    // Command 4: plays the sequence after the current one (once the icon is in the tray).
    void QueueSequence(std::uint16_t sequence);
    // Command 5: shown with the next frame; texts over 127 characters end in "...".
    void SetTip(const QString& tip);
    // Command 6.
    void ShowBalloon(const QString& text, const QString& title, TrayPresenter::BalloonIcon icon,
                     int timeoutMs);
    // Command 7.
    void SetAnimate(bool animate);

    // Takes the icon out of the tray and forgets every sequence (the end of the tray's life).
    void Shutdown();

    // One step of the 100 ms timer; public so that tests step it.
    void Tick();

    std::uint16_t CurrentSequence() const { return current_; }
    bool Added() const { return added_; }
    QString Tip() const { return tip_; }
    std::size_t QueueLength() const { return queue_.size(); }
    static QString CutTip(const QString& tip);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void ShowFrame(const QIcon* explicitIcon = nullptr);

    std::unique_ptr<TrayPresenter> presenter_;
    std::map<std::uint16_t, QList<QIcon>> sequences_;
    std::deque<std::uint16_t> queue_;
    std::uint16_t current_ = 0;
    int frame_ = 0;
    bool animate_ = true;
    bool added_ = false;
    QString tip_;
    QIcon lastIcon_;
    QString lastTip_;
    bool lastIconSet_ = false;
    QBasicTimer timer_;
};

} // namespace Utils::Classes
