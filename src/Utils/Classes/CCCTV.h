#pragma once

#include "CaptureTypes.h"

#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>

class CaptureWorker;
struct CaptureGate;

// The capture thread of one connection: it builds and runs the device's pipeline, obeys the
// commands posted to it (UWM_CCTV_COMMAND, CaptureCommand codes) and reports to the page
// (UWM_CCTV_MESSAGE, CaptureMessage codes, a CaptureReport record). It watches the stream: an
// end of stream, an error or a device that goes away stops it, and so do frames that stop
// coming for longer than the watchdog's limit. It ends after a failed connection or a stop,
// and says so with ThreadEnded.
//
// The object belongs to the page's thread. Its destructor stops the capture and joins the
// thread; the page (and the video window) must outlive it.
class CCCTV final
{
public:
    static constexpr int DefaultWatchdogMs = 15000;

    explicit CCCTV(std::function<std::uint64_t()> clock = {});
    ~CCCTV();
    CCCTV(const CCCTV&) = delete;
    CCCTV& operator=(const CCCTV&) = delete;

    // Any thread. The first command is Connect with a CaptureConnectJob.
    void Post(std::int64_t command, std::int64_t argument = 0,
              std::unique_ptr<MessagePayload> payload = nullptr);
    bool Finished() const { return thread_.isFinished(); }
    bool Wait(int timeoutMs) { return thread_.wait(timeoutMs); }

private:
    QThread thread_;
    std::shared_ptr<CaptureGate> gate_;
    CaptureWorker* worker_ = nullptr;
};
