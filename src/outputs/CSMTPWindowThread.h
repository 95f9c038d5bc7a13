#pragma once

#include "CSMTPSocket.h"
#include "Clock.h"

#include <QThread>

#include <atomic>

// The thread of one mailing: it makes the mailing's socket object, runs its event loop until
// the mailing is over, and ends. quit() from another thread cuts the mailing short.
class CSMTPWindowThread final : public QThread
{
    Q_OBJECT

public:
    CSMTPWindowThread(SmtpSettings settings, ImageFrame image, QObject* notify, std::atomic<int>& state,
                      const Clock& clock, const SmtpLimits& limits, const QDateTime& taken = QDateTime());

protected:
    void run() override;

private:
    SmtpSettings settings_;
    ImageFrame image_;
    QObject* const notify_;
    std::atomic<int>& state_;
    const Clock& clock_;
    const SmtpLimits limits_;
    // An image taken earlier is dated by the time it was taken.
    const FixedClock takenClock_;
    const bool dated_;
};
