#include "CSMTPWindowThread.h"

CSMTPWindowThread::CSMTPWindowThread(SmtpSettings settings, ImageFrame image, QObject* notify,
                                     std::atomic<int>& state, const Clock& clock, const SmtpLimits& limits,
                                     const QDateTime& taken)
    : settings_(std::move(settings)), image_(std::move(image)), notify_(notify), state_(state), clock_(clock),
      limits_(limits), takenClock_(taken), dated_(taken.isValid())
{
}

void CSMTPWindowThread::run()
{
    CSMTPSocket socket(std::move(settings_), std::move(image_), notify_, state_,
                       dated_ ? takenClock_ : clock_, limits_);
    connect(
        &socket, &CSMTPSocket::Finished, this, [this] { exit(0); }, Qt::DirectConnection);
    socket.Start();
    if (!socket.Ended())
        exec();
}
