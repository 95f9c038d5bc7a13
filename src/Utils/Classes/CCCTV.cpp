#include "CCCTV.h"

#include "CaptureWorker.h"
#include "MessageEvent.h"

#include <QCoreApplication>

CCCTV::CCCTV(std::function<std::uint64_t()> clock)
{
    gate_ = std::make_shared<CaptureGate>();
    worker_ = new CaptureWorker(std::move(clock), gate_);
    worker_->moveToThread(&thread_);
    // The worker ends with its thread, on its thread: its destructor reports ThreadEnded.
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

CCCTV::~CCCTV()
{
    if (!thread_.isFinished()) {
        Post(CaptureCommand::Stop);
        if (!thread_.wait(2000)) {
            thread_.quit();
            thread_.wait();
        }
    }
}

void CCCTV::Post(std::int64_t command, std::int64_t argument, std::unique_ptr<MessagePayload> payload)
{
    auto* event = new MessageEvent(CaptureWorker::CommandType(), command, argument);
    event->record = std::move(payload);
    std::lock_guard lock(gate_->mutex);
    if (gate_->open)
        QCoreApplication::postEvent(worker_, event);
    else
        delete event;
}
