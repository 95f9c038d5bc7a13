#include "CTrayIcon.h"

#include <QTimerEvent>

namespace Utils::Classes {

CTrayIcon::CTrayIcon(std::unique_ptr<TrayPresenter> presenter, QObject* parent)
    : QObject(parent), presenter_(std::move(presenter))
{
    timer_.start(FrameIntervalMs, this);
}

CTrayIcon::~CTrayIcon()
{
    Shutdown();
}

QString CTrayIcon::CutTip(const QString& tip)
{
    if (tip.size() <= MaxTipLength)
        return tip;
    return tip.left(MaxTipLength - 3) + QStringLiteral("...");
}

void CTrayIcon::AddIcon(std::uint16_t sequence, const QIcon& icon)
{
    sequences_[sequence].append(icon);
}

void CTrayIcon::ReplaceSequence(std::uint16_t sequence, const QIcon& icon)
{
    if (sequence == current_)
        ShowFrame(&icon);
    RemoveSequence(sequence);
    AddIcon(sequence, icon);
}

void CTrayIcon::RemoveSequence(std::uint16_t sequence)
{
    sequences_.erase(sequence);
}

void CTrayIcon::SelectSequence(std::uint16_t sequence)
{
    queue_.clear();
    if (sequence == current_)
        return;
    current_ = sequence;
    frame_ = 0;
    if (!animate_)
        ShowFrame();
}

void CTrayIcon::QueueSequence(std::uint16_t sequence)
{
    if (!added_) {
        SelectSequence(sequence);
        return;
    }
    if (queue_.empty() || queue_.back() != sequence)
        queue_.push_back(sequence);
}

void CTrayIcon::SetTip(const QString& tip)
{
    tip_ = CutTip(tip);
}

void CTrayIcon::ShowBalloon(const QString& text, const QString& title, TrayPresenter::BalloonIcon icon,
                            int timeoutMs)
{
    if (presenter_)
        presenter_->ShowBalloon(text, title, icon, timeoutMs);
}

void CTrayIcon::SetAnimate(bool animate)
{
    if (animate != animate_)
        frame_ = 0;
    animate_ = animate;
    if (!animate_ && !added_)
        ShowFrame();
}

void CTrayIcon::Tick()
{
    if (animate_ || !queue_.empty()) {
        ShowFrame();
        ++frame_;
    } else if (added_ && tip_ != lastTip_) {
        // A still icon has no next frame to carry a new tip: the tip follows the state anyway
        // (a failure's text must show whether or not the icon animates).
        ShowFrame();
    }
}

void CTrayIcon::ShowFrame(const QIcon* explicitIcon)
{
    QIcon icon;
    if (explicitIcon) {
        icon = *explicitIcon;
    } else {
        auto found = sequences_.find(current_);
        if (found == sequences_.end())
            return;
        if (frame_ >= found->second.size() || (!animate_ && !queue_.empty())) {
            frame_ = 0;
            if (!queue_.empty()) {
                current_ = queue_.front();
                queue_.pop_front();
                found = sequences_.find(current_);
                if (found == sequences_.end())
                    return;
            }
        }
        if (found->second.isEmpty())
            return;
        icon = found->second.at(std::min<qsizetype>(frame_, found->second.size() - 1));
    }
    if (!presenter_)
        return;
    if (!added_) {
        added_ = true;
        presenter_->Show(icon, tip_);
    } else if (!lastIconSet_ || icon.cacheKey() != lastIcon_.cacheKey() || tip_ != lastTip_) {
        presenter_->Show(icon, tip_);
    } else {
        return;
    }
    lastIcon_ = icon;
    lastTip_ = tip_;
    lastIconSet_ = true;
}

void CTrayIcon::Shutdown()
{
    timer_.stop();
    if (added_ && presenter_)
        presenter_->Remove();
    added_ = false;
    sequences_.clear();
    queue_.clear();
}

void CTrayIcon::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timer_.timerId())
        Tick();
    else
        QObject::timerEvent(event);
}

} // namespace Utils::Classes
