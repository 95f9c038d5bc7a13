#include "CycleRig.h"

#include "Clock.h"
#include "EventLog.h"
#include "MessageEvent.h"
#include "NamedMessages.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>

CycleRig::CycleRig()
    : source_(SystemClock(), data_.path() + "/"), captions_(SystemClock()),
      archive_(SystemClock(), data_.path() + "/"),
      control_(SystemClock(), CControl::Parts{&source_, &captions_, &archive_, nullptr, nullptr})
{
    since_.start();
    SetLogReceiver(this);
    source_.SetOwner(&control_);
    source_.LoadSettings({"SourceType = 0", "SourceFileCollectDirectory = " + watched_.path(),
                          "SourceCrop = Yes", "SourceCropOriginX = 100", "SourceCropOriginY = 100",
                          "SourceCropWidth = 1280", "SourceCropHeight = 720", "SourceResize = Yes",
                          "SourceResizeWidth = 800", "SourceResizeHeight = 450"});
    archive_.LoadSettings({"ArchiveRootDirectory = " + ArchiveDirectory() + "/", "ArchiveSaveDelay = 0"});
    captions_.AddExampleCaptions();
    control_.SetSettings(ControlSettings::Read(
        {"ControlEnableArchive = Yes", "ControlEnableCaptions = Yes", "ControlProcessCollectionType = 1"}));
}

CycleRig::~CycleRig()
{
    SetLogReceiver(nullptr);
}

void CycleRig::Start()
{
    control_.StartProcessing();
}

void CycleRig::Stop()
{
    control_.StopProcessing();
}

bool CycleRig::RunUntil(const std::function<bool()>& done, int timeoutMs, int pollMs)
{
    if (done())
        return true;
    QEventLoop loop;
    done_ = &done;
    loop_ = &loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QTimer poll;
    if (pollMs > 0) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        poll.start(pollMs);
    }
    loop.exec();
    done_ = nullptr;
    loop_ = nullptr;
    return done();
}

void CycleRig::Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool CycleRig::event(QEvent* event)
{
    static const QEvent::Type logType = RegisterNamedMessage(MessageName::LogUpdate);
    if (event->type() != logType)
        return QObject::event(event);
    const auto* message = static_cast<MessageEvent*>(event);
    LoggedLine line{NowMs(), message->wParam == LogCategory::Error, message->text.value_or(QString())};
    if (line.text.startsWith(QStringLiteral("Archive - Archived OK")))
        ++archived_;
    if (line.error) {
        ++errors_;
        std::fprintf(stderr, "%s\n", qPrintable(line.text));
    }
    lines_.push_back(std::move(line));
    if (loop_ && (*done_)())
        loop_->quit();
    return true;
}
