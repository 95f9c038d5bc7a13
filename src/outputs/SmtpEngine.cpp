#include "SmtpEngine.h"

#include "CSMTPWindowThread.h"

#include <QDeadlineTimer>

SmtpEngine::SmtpEngine(const Clock& clock, const SmtpLimits& limits, QObject* parent)
    : QObject(parent), clock_(clock), limits_(limits)
{
    setObjectName(QStringLiteral("Email"));
}

SmtpEngine::~SmtpEngine()
{
    for (const auto& thread : threads_) {
        thread->quit();
        thread->wait();
    }
}

void SmtpEngine::LoadSettings(const SettingsList& list)
{
    settings_ = SmtpSettings::Read(list);
}

void SmtpEngine::SaveSettings(SettingsList& list) const
{
    settings_.Write(list);
}

void SmtpEngine::ResetFailed()
{
    int failed = static_cast<int>(OutputState::Failed);
    state_.compare_exchange_strong(failed, static_cast<int>(OutputState::Idle));
}

void SmtpEngine::ReapFinished()
{
    for (auto it = threads_.begin(); it != threads_.end();) {
        if ((*it)->isFinished()) {
            (*it)->wait();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

bool SmtpEngine::FinishForExit(int timeoutMs)
{
    QDeadlineTimer deadline(std::max(timeoutMs, 0));
    for (const auto& thread : threads_)
        thread->quit();
    bool finished = true;
    for (const auto& thread : threads_)
        finished = thread->wait(deadline) && finished;
    if (finished)
        threads_.clear();
    return finished;
}

int SmtpEngine::RunningMailings()
{
    ReapFinished();
    return static_cast<int>(threads_.size());
}

void SmtpEngine::SendMail(const ImageFrame& image, QObject* notify, const QDateTime& taken)
{
    ReapFinished();
    if (State() == OutputState::Busy)
        return;
    state_ = static_cast<int>(OutputState::Busy);
    // An older mailing may still be waiting for its server to close: they share nothing.
    auto& thread = threads_.emplace_back(std::make_unique<CSMTPWindowThread>(
        settings_, image.SharedCopy(), notify, state_, clock_, limits_, taken));
    thread->start();
}
