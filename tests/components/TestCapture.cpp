#include "EventLog.h"
#include "LogRecorder.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "ResultCodes.h"
#include "Utils/Classes/CCCTV.h"
#include "Utils/Classes/CaptureFlow.h"
#include "Utils/Classes/CapturePipeline.h"
#include "Utils/Classes/TestCamera.h"
#include "Utils/Classes/TestCameraFrames.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <climits>

#include <thread>

#include <gtest/gtest.h>

namespace {
// The page's side: every report and preview frame, in order.
class CapturePage final : public QObject
{
public:
    struct Entry
    {
        std::int64_t type;
        std::int64_t code;
        QSize image;
        float rate;
        QSize native;
    };
    std::vector<Entry> reports;
    std::vector<QSize> previews;
    std::vector<int> previewPeaks; // the brightest green of each preview frame
    CapturePages pages;            // the last menu, opening or closing report
    bool sawOverlay = false;

    int Count(std::int64_t type) const
    {
        return static_cast<int>(
            std::count_if(reports.begin(), reports.end(), [&](const Entry& e) { return e.type == type; }));
    }
    const Entry* Last(std::int64_t type) const
    {
        for (auto it = reports.rbegin(); it != reports.rend(); ++it) {
            if (it->type == type)
                return &*it;
        }
        return nullptr;
    }
    bool event(QEvent* e) override
    {
        if (e->type() == CapturePreviewFrameType()) {
            auto* message = static_cast<MessageEvent*>(e);
            previews.push_back(message->image ? QSize(message->image->Width(), message->image->Height())
                                              : QSize());
            int peak = 0;
            if (message->image) {
                for (int y = 0; y < message->image->Height(); ++y)
                    for (int x = 0; x < message->image->Width(); ++x)
                        peak = std::max<int>(peak, message->image->Row(y)[4 * x + 1]);
            }
            previewPeaks.push_back(peak);
            if (auto* overlay = dynamic_cast<CapturePreviewOverlay*>(message->record.get()))
                sawOverlay = sawOverlay || overlay->overlay != nullptr;
            return true;
        }
        if (e->type() != RegisterNamedMessage(MessageName::CctvMessage))
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        Entry entry{message->wParam, 0, QSize(), 0, QSize()};
        if (auto* report = dynamic_cast<CaptureReport*>(message->record.get())) {
            entry.code = report->code;
            entry.rate = report->frameRate;
            entry.native = QSize(report->nativeWidth, report->nativeHeight);
        }
        if (auto* offered = dynamic_cast<CapturePages*>(message->record.get())) {
            pages.controls = offered->controls;
            pages.formats = offered->formats;
            pages.format = offered->format;
        }
        if (message->image)
            entry.image = QSize(message->image->Width(), message->image->Height());
        reports.push_back(entry);
        return true;
    }
};

std::unique_ptr<CaptureConnectJob> Job(const QString& path, QObject* page, QObject* video = nullptr,
                                       QRect destination = QRect(), CaptureFormat format = CaptureFormat())
{
    auto job = std::make_unique<CaptureConnectJob>();
    job->format = format;
    job->devicePath = path;
    job->page = page;
    job->videoWindow = video;
    job->destination = destination;
    return job;
}

bool Connected(CapturePage& page)
{
    return WaitUntil([&] { return page.Count(CaptureMessage::Connected) == 1; }) &&
           page.Last(CaptureMessage::Connected)->code == 0;
}

// The measured rate a little later.
float RateAfter(CCCTV& capture, CapturePage& page, int waitMs)
{
    QTest::qWait(waitMs);
    const int before = page.Count(CaptureMessage::StreamInfo);
    capture.Post(CaptureCommand::QueryStream);
    if (!WaitUntil([&] { return page.Count(CaptureMessage::StreamInfo) > before; }))
        return -1;
    return page.Last(CaptureMessage::StreamInfo)->rate;
}
} // namespace

TEST(CaptureStopReasons, Texts)
{
    EXPECT_EQ(StopReasonText(1), "Stream Finished");
    EXPECT_EQ(StopReasonText(3), "Error Abort");
    EXPECT_EQ(StopReasonText(31), "Device Lost");
    EXPECT_EQ(StopReasonText(8191), "Watchdog Timeout");
    EXPECT_EQ(StopReasonText(5), "Unknown Error - 5");
    EXPECT_EQ(StopReasonText(0x2a), "Unknown Error - 2a");
}

TEST(CaptureFlow, RestsFollowTheSettingsAndWakesCutThemShort)
{
    std::uint64_t now = 1000;
    CaptureFlow flow([&] { return now; });
    QElapsedTimer timer;
    timer.start();
    flow.SetInterframeDelay(5000);
    flow.Rest();
    EXPECT_LT(timer.elapsed(), 1000) << "throttling starts suspended";
    flow.SetThrottlingSuspended(false);
    flow.Wake();
    timer.restart();
    flow.Rest();
    EXPECT_LT(timer.elapsed(), 1000) << "a wake with nobody resting ends the next rest at once";
    now += 250;
    EXPECT_EQ(flow.MsSinceLastFrame(), 250u);
    for (int i = 0; i < 10; ++i) {
        now += 100;
        flow.CountFrame();
    }
    EXPECT_EQ(flow.FramesReceived(), 10u);
    EXPECT_NEAR(flow.FrameRate(), 10.0f, 1.5f);
    EXPECT_EQ(flow.RestMs(), 5000);
    flow.SetVideoVisible(false);
    EXPECT_EQ(flow.RestMs(), CaptureFlow::HiddenRestMs) << "hidden, the delay does not count";
    flow.SetVideoVisible(true);
    flow.SetThrottlingSuspended(true);
    EXPECT_EQ(flow.RestMs(), 0);
}

// Another thread sees a rest while it lasts (a frame that would wait behind it is dropped
// before it costs anything) and no longer once a wake has cut it short.
TEST(CaptureFlow, ARestIsSeenFromOtherThreadsWhileItLasts)
{
    CaptureFlow flow([] { return std::uint64_t(0); });
    flow.SetThrottlingSuspended(false);
    flow.SetInterframeDelay(10000);
    flow.Rest(); // ends at once: the new delay's wake came first
    EXPECT_FALSE(flow.Resting());
    std::thread streaming([&] { flow.Rest(); });
    const bool seen = WaitUntil([&] { return flow.Resting(); }, 3000);
    flow.Wake();
    streaming.join();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(flow.Resting());
}

TEST(Capture, OneStillForTwoRequestsThenAStop)
{
    CapturePage page;
    {
        CCCTV capture;
        capture.Post(CaptureCommand::Connect, 0, Job("pixlet-test-camera:320x240@30", &page));
        ASSERT_TRUE(Connected(page));
        capture.Post(CaptureCommand::GrabStill);
        capture.Post(CaptureCommand::GrabStill);
        ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::Still) >= 1; }));
        QTest::qWait(300);
        EXPECT_EQ(page.Count(CaptureMessage::Still), 1) << "the second request asked for the same still";
        EXPECT_EQ(page.Last(CaptureMessage::Still)->image, QSize(320, 240));

        capture.Post(CaptureCommand::QueryStream);
        ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::StreamInfo) == 1; }));
        EXPECT_EQ(page.Last(CaptureMessage::StreamInfo)->native, QSize(320, 240));

        capture.Post(CaptureCommand::Stop);
        ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::ThreadEnded) == 1; }));
        EXPECT_TRUE(capture.Wait(2000));
        EXPECT_EQ(page.Count(CaptureMessage::Stopped), 0) << "a stop asked for is not an unexpected one";
    }
}

TEST(Capture, ABadDevicePathFailsTheConnectionAndEndsTheThread)
{
    for (const QString& path :
         {QString(), QString("pixlet-test-camera:0x0@1"), QString("/dev/pixlet-no-such-video")}) {
        CapturePage page;
        CCCTV capture;
        capture.Post(CaptureCommand::Connect, 0, Job(path, &page));
        ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::ThreadEnded) == 1; }))
            << path.toStdString();
        ASSERT_EQ(page.Count(CaptureMessage::Connected), 1);
        EXPECT_LT(page.Last(CaptureMessage::Connected)->code, 0) << path.toStdString();
        if (path.isEmpty()) {
            EXPECT_EQ(page.Last(CaptureMessage::Connected)->code, Result::InvalidArgument);
        }
        EXPECT_TRUE(capture.Wait(2000));
    }
}

// A rest longer than the watchdog's limit is no stall: the limit counts from the end of the rest
// a frame may take, with a Low CPU delay as while nobody sees the video. A camera that does stop
// is caught all the same.
TEST(Capture, TheWatchdogAllowsForTheRestBetweenFrames)
{
    const QString path = "pixlet-test-camera:160x120@25";
    CapturePage page;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0, Job(path, &page));
    ASSERT_TRUE(Connected(page));
    capture.Post(CaptureCommand::SetWatchdog, 300);
    capture.Post(CaptureCommand::SetInterframeDelay, 700);
    QTest::qWait(2200); // free for a second, then rests of 700 ms
    EXPECT_EQ(page.Count(CaptureMessage::Stopped), 0) << "resting for the delay";
    capture.Post(CaptureCommand::SetVideoVisible, 0);
    QTest::qWait(2500);
    EXPECT_EQ(page.Count(CaptureMessage::Stopped), 0) << "resting while hidden";
    capture.Post(CaptureCommand::SetVideoVisible, 1);
    QTest::qWait(300);
    ASSERT_EQ(page.Count(CaptureMessage::Stopped), 0);
    TestCamera::SetStalled(path, true);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::ThreadEnded) == 1; }, 5000));
    TestCamera::SetStalled(path, false);
    EXPECT_LT(timer.elapsed(), 2500) << "the delay and the limit, checked every 500 ms";
    ASSERT_EQ(page.Count(CaptureMessage::Stopped), 1);
    EXPECT_EQ(page.Last(CaptureMessage::Stopped)->code, StopReason::WatchdogTimeout);
}

TEST(Capture, FramesThatStopComingTripTheWatchdog)
{
    const QString path = "pixlet-test-camera:160x120@30";
    CapturePage page;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0, Job(path, &page));
    ASSERT_TRUE(Connected(page));
    capture.Post(CaptureCommand::SetWatchdog, 800);
    QTest::qWait(1200);
    EXPECT_EQ(page.Count(CaptureMessage::Stopped), 0) << "frames are flowing";
    TestCamera::SetStalled(path, true);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::ThreadEnded) == 1; }, 5000));
    TestCamera::SetStalled(path, false);
    EXPECT_LT(timer.elapsed(), 2500);
    ASSERT_EQ(page.Count(CaptureMessage::Stopped), 1);
    EXPECT_EQ(page.Last(CaptureMessage::Stopped)->code, StopReason::WatchdogTimeout);
}

TEST(Capture, ACameraThatDisappearsIsDeviceLost)
{
    const QString path = "pixlet-test-camera:160x120@15";
    CapturePage page;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0, Job(path, &page));
    ASSERT_TRUE(Connected(page));
    TestCamera::SetGone(path, true);
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::ThreadEnded) == 1; }, 5000));
    TestCamera::SetGone(path, false);
    ASSERT_EQ(page.Count(CaptureMessage::Stopped), 1);
    EXPECT_EQ(page.Last(CaptureMessage::Stopped)->code, StopReason::DeviceLost);
}

TEST(Capture, TheInterframeDelayAndHiddenVideoSlowTheStream)
{
    CapturePage page;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0, Job("pixlet-test-camera:160x120@30", &page));
    ASSERT_TRUE(Connected(page));
    EXPECT_GT(RateAfter(capture, page, 1000), 15.0f) << "free running";
    capture.Post(CaptureCommand::SetInterframeDelay, 1000);
    // Frames flow freely for a second after the change, then about one a second.
    const float slowed = RateAfter(capture, page, 3500);
    EXPECT_GT(slowed, 0.4f);
    EXPECT_LT(slowed, 1.6f);
    capture.Post(CaptureCommand::GrabStill);
    EXPECT_GT(RateAfter(capture, page, 700), 5.0f) << "free again in the second after a still request";
    capture.Post(CaptureCommand::SetInterframeDelay, 0);
    capture.Post(CaptureCommand::SetVideoVisible, 0);
    const float hidden = RateAfter(capture, page, 5000);
    EXPECT_LT(hidden, 1.0f) << "about one frame per 2 s while nobody sees the video";
}

// A new pipeline of the same connection (a stored format the camera does not offer falls back
// on its default; "Stream Properties..." rebuilds even on Cancel) rests between frames as the
// first one did.
TEST(Capture, ARebuiltPipelineRestsBetweenFramesAsBefore)
{
    CapturePage page;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0,
                 Job("pixlet-test-camera:160x120@30", &page, nullptr, QRect(),
                     CaptureFormat{"YUY2", QSize(333, 222), 30, 1}));
    ASSERT_TRUE(Connected(page));
    // Free for a second after the change, then about three frames a second.
    const auto rested = [&](const char* when) {
        const float rate = RateAfter(capture, page, 2500);
        EXPECT_GT(rate, 1.5f) << when;
        EXPECT_LT(rate, 8.0f) << when;
    };
    capture.Post(CaptureCommand::SetInterframeDelay, 300);
    rested("after the fallback on the default format");

    capture.Post(CaptureCommand::PropertyPage, CaptureCommand::StreamPropertiesPage);
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertiesOpening) == 1; }));
    capture.Post(CaptureCommand::SetFormat, 0, std::make_unique<CaptureFormatChoice>()); // Cancel
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertiesClosed) == 1; }));
    rested("after \"Stream Properties...\" and Cancel");

    capture.Post(CaptureCommand::SetInterframeDelay, 0);
    capture.Post(CaptureCommand::SetVideoVisible, 0);
    const float hidden = RateAfter(capture, page, 5000);
    EXPECT_GT(hidden, 0.0f);
    EXPECT_LT(hidden, 1.0f) << "about one frame per 2 s while hidden";
    EXPECT_EQ(page.Count(CaptureMessage::Stopped), 0);
}

TEST(Capture, PreviewFramesHaveTheDestinationSizeUntilHidden)
{
    CapturePage page, video;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0,
                 Job("pixlet-test-camera:640x480@30", &page, &video, QRect(10, 20, 200, 150)));
    ASSERT_TRUE(Connected(page));
    ASSERT_TRUE(WaitUntil([&] { return video.previews.size() >= 3; }));
    EXPECT_EQ(video.previews.back(), QSize(200, 150)) << "scaled before it reaches the window";
    auto overlay = std::make_unique<CaptureOverlay>();
    overlay->frame.Create(200, 150, 32, true);
    overlay->cookie = 77;
    capture.Post(CaptureCommand::SetOverlay, 0, std::move(overlay));
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::OverlaySet) == 1 && video.sawOverlay; }));
    auto rect = std::make_unique<CaptureRect>();
    rect->rect = QRect(0, 0, 100, 60);
    capture.Post(CaptureCommand::SetDestRect, 0, std::move(rect));
    ASSERT_TRUE(
        WaitUntil([&] { return !video.previews.empty() && video.previews.back() == QSize(100, 60); }));
    capture.Post(CaptureCommand::HideVideo);
    QTest::qWait(300);
    const std::size_t shown = video.previews.size();
    QTest::qWait(500);
    EXPECT_EQ(video.previews.size(), shown) << "nothing is drawn while hidden";
}

TEST(Capture, DestroyingAConnectedCaptureEndsItPromptly)
{
    CapturePage page;
    QElapsedTimer timer;
    {
        CCCTV capture;
        capture.Post(CaptureCommand::Connect, 0, Job("pixlet-test-camera:640x480@30", &page));
        ASSERT_TRUE(Connected(page));
        capture.Post(CaptureCommand::SetVideoVisible, 0); // resting 2 s per frame
        QTest::qWait(300);
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 2500);
}

// Nothing of a connection outlives it: the pipeline and every element in it are freed when the
// capture stops, by the watchdog as much as by a disconnection (seen through the test camera,
// whose frames live exactly as long as a source that plays them).
TEST(Capture, AnEndedConnectionLeavesNothingBehind)
{
    for (const bool byWatchdog : {false, true}) {
        const QString path = byWatchdog ? "pixlet-test-camera:112x80@30" : "pixlet-test-camera:112x80@25";
        CapturePage page;
        std::weak_ptr<const TestCameraFrames> frames;
        {
            CCCTV capture;
            capture.Post(CaptureCommand::Connect, 0, Job(path, &page));
            ASSERT_TRUE(Connected(page));
            TestCamera::Mode mode;
            ASSERT_TRUE(TestCamera::ParseMode(path, mode));
            frames = TestCameraFrames::ForMode(mode.size, mode.fps);
            ASSERT_FALSE(frames.expired());
            if (byWatchdog) {
                capture.Post(CaptureCommand::SetWatchdog, 300);
                TestCamera::SetStalled(path, true);
                ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::ThreadEnded) == 1; }, 5000));
                TestCamera::SetStalled(path, false);
                EXPECT_TRUE(frames.expired()) << "freed when the watchdog stopped it";
            }
        }
        EXPECT_TRUE(frames.expired()) << (byWatchdog ? "watchdog" : "disconnection");
    }
}

namespace {
QSize NextStill(CCCTV& capture, CapturePage& page)
{
    const int before = page.Count(CaptureMessage::Still);
    capture.Post(CaptureCommand::GrabStill);
    if (!WaitUntil([&] { return page.Count(CaptureMessage::Still) > before; }))
        return QSize();
    return page.Last(CaptureMessage::Still)->image;
}

int ControlValue(const CapturePages& pages, const QString& name)
{
    for (const CaptureControl& control : pages.controls) {
        if (control.name == name)
            return control.value;
    }
    return INT_MIN;
}
} // namespace

// The menu's question answered: the camera's picture controls (set live) and its formats.
TEST(CaptureProperties, ControlsAreListedAndSetLive)
{
    CapturePage page;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0, Job("pixlet-test-camera:160x120@30", &page));
    ASSERT_TRUE(Connected(page));
    capture.Post(CaptureCommand::ShowMenu);
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertyPages) == 1; }));
    ASSERT_EQ(page.pages.controls.size(), 4);
    EXPECT_EQ(ControlValue(page.pages, "BRIGHTNESS"), 0);
    EXPECT_GE(page.pages.formats.size(), 3);
    EXPECT_EQ(page.pages.formats[0], (CaptureFormat{"YUY2", QSize(160, 120), 30, 1})) << "its own mode first";
    EXPECT_TRUE(page.pages.format.IsEmpty()) << "the default in force";

    auto value = std::make_unique<CaptureControlValue>();
    value->name = "BRIGHTNESS";
    value->value = 99999; // beyond the range: held to it
    capture.Post(CaptureCommand::SetControl, 0, std::move(value));
    auto unknown = std::make_unique<CaptureControlValue>();
    unknown->name = "FOCUS";
    capture.Post(CaptureCommand::SetControl, 0, std::move(unknown));
    capture.Post(CaptureCommand::ShowMenu);
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertyPages) == 2; }));
    EXPECT_EQ(ControlValue(page.pages, "BRIGHTNESS"), 1000);
    EXPECT_EQ(NextStill(capture, page), QSize(160, 120)) << "still streaming";
}

// "Stream Properties...": the stream stops while the list is open, restarts in the choice,
// and Cancel restarts it as it was.
TEST(CaptureProperties, TheStreamRestartsInTheChosenFormat)
{
    CapturePage page;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0, Job("pixlet-test-camera:160x120@30", &page));
    ASSERT_TRUE(Connected(page));
    capture.Post(CaptureCommand::PropertyPage, CaptureCommand::StreamPropertiesPage);
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertiesOpening) == 1; }));
    ASSERT_GE(page.pages.formats.size(), 2);
    const CaptureFormat chosen = page.pages.formats[1];
    EXPECT_EQ(chosen.size, QSize(320, 240));
    capture.Post(CaptureCommand::GrabStill);
    QTest::qWait(400);
    EXPECT_EQ(page.Count(CaptureMessage::Still), 0) << "no frames while the format is being chosen";
    const int infos = page.Count(CaptureMessage::StreamInfo);
    capture.Post(CaptureCommand::QueryStream);
    QTest::qWait(100);
    EXPECT_EQ(page.Count(CaptureMessage::StreamInfo), infos) << "no \"0 x 0\" while there is no stream";
    EXPECT_EQ(page.Count(CaptureMessage::Stopped), 0);

    auto choice = std::make_unique<CaptureFormatChoice>();
    choice->format = chosen;
    capture.Post(CaptureCommand::SetFormat, 0, std::move(choice));
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertiesClosed) == 1; }));
    EXPECT_EQ(page.pages.format, chosen);
    EXPECT_EQ(NextStill(capture, page), QSize(320, 240));

    capture.Post(CaptureCommand::PropertyPage, CaptureCommand::StreamPropertiesPage);
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertiesOpening) == 2; }));
    capture.Post(CaptureCommand::SetFormat, 0, std::make_unique<CaptureFormatChoice>()); // Cancel
    ASSERT_TRUE(WaitUntil([&] { return page.Count(CaptureMessage::PropertiesClosed) == 2; }));
    EXPECT_EQ(page.pages.format, chosen);
    EXPECT_EQ(NextStill(capture, page), QSize(320, 240));
    capture.Post(CaptureCommand::SetFormat, 0, std::make_unique<CaptureFormatChoice>());
    QTest::qWait(200);
    EXPECT_EQ(page.Count(CaptureMessage::PropertiesClosed), 2) << "a choice without an open list is ignored";
    EXPECT_EQ(page.Count(CaptureMessage::Stopped), 0);
}

// A stored format connects in it; one the device does not offer or cannot open in falls back
// on its default and says so.
TEST(CaptureProperties, AStoredFormatIsUsedWhenOffered)
{
    // Connects the 160 x 120 camera with a stored format; returns the size of its first still.
    const auto firstStill = [](const CaptureFormat& stored) {
        CapturePage page;
        CCCTV capture;
        capture.Post(CaptureCommand::Connect, 0,
                     Job("pixlet-test-camera:160x120@30", &page, nullptr, QRect(), stored));
        return Connected(page) ? NextStill(capture, page) : QSize();
    };
    EXPECT_EQ(firstStill({"YUY2", QSize(320, 240), 15, 1}), QSize(320, 240));

    LogRecorder log;
    SetLogReceiver(&log);
    EXPECT_EQ(firstStill({"YUY2", QSize(333, 222), 30, 1}), QSize(160, 120));
    EXPECT_TRUE(
        WaitUntil([&] { return !log.Starting("The video device does not offer 333 x 222").isEmpty(); }));
    // One the device cannot even open in (a hand-edited size the camera refuses) ends the same way.
    EXPECT_EQ(firstStill({"YUY2", QSize(9000, 120), 30, 1}), QSize(160, 120));
    EXPECT_TRUE(
        WaitUntil([&] { return !log.Starting("The video device cannot open in 9000 x 120").isEmpty(); }));
    SetLogReceiver(nullptr);
}

// The source rectangle picks the part of the picture the preview shows: a corner of the test
// camera's dark background instead of the whole picture with its white ball, then all again.
TEST(Capture, TheSourceRectangleChoosesWhatThePreviewShows)
{
    CapturePage page;
    CapturePage video;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0,
                 Job("pixlet-test-camera:160x120@30", &page, &video, QRect(0, 0, 80, 60)));
    ASSERT_TRUE(Connected(page));
    capture.Post(CaptureCommand::ApplyPosition);
    auto peakAfter = [&](int ms) {
        QTest::qWait(ms);
        return video.previewPeaks.empty() ? -1 : video.previewPeaks.back();
    };
    EXPECT_GT(peakAfter(400), 200) << "the ball is in the picture";
    auto corner = std::make_unique<CaptureRect>();
    corner->rect = QRect(0, 0, 10, 8);
    capture.Post(CaptureCommand::SetSourceRect, 0, std::move(corner));
    EXPECT_LT(peakAfter(400), 40) << "only the dark corner";
    EXPECT_EQ(video.previews.back(), QSize(80, 60)) << "scaled to the destination all the same";
    capture.Post(CaptureCommand::SetSourceRect);
    EXPECT_GT(peakAfter(400), 200);
}

// A large preview really gets fewer frames: a 60 fps camera shown 960 x 540 (at most 10 a second)
// sends far fewer than the 60 it makes. Only an upper bound is checked, which a loaded machine
// cannot break.
TEST(Capture, ALargePreviewIsSentFewerFramesASecond)
{
    CapturePage page, video;
    CCCTV capture;
    capture.Post(CaptureCommand::Connect, 0,
                 Job("pixlet-test-camera:640x480@60", &page, &video, QRect(0, 0, 960, 540)));
    ASSERT_TRUE(Connected(page));
    ASSERT_TRUE(WaitUntil([&] { return !video.previews.empty(); }));
    const std::size_t before = video.previews.size();
    QTest::qWait(2000);
    const std::size_t sent = video.previews.size() - before;
    EXPECT_EQ(video.previews.back(), QSize(960, 540));
    EXPECT_LE(sent, 2 * 10 + 4) << "about 10 a second at most, not the camera's 60";
    EXPECT_GE(sent, 1u);
}

TEST(CapturePreviewRate, APagesPreviewKeepsEveryFrameALargeWindowGetsFewerWithinBounds)
{
    EXPECT_GE(CapturePipeline::PreviewMaxRate(QSize(480, 270)), 30) << "a page's preview: every frame";
    EXPECT_EQ(CapturePipeline::PreviewMaxRate(QSize(640, 360)), 24);
    EXPECT_EQ(CapturePipeline::PreviewMaxRate(QSize(960, 540)), 10);
    EXPECT_EQ(CapturePipeline::PreviewMaxRate(QSize(3840, 2160)), CapturePipeline::MinPreviewRate)
        << "never a slide show";
    EXPECT_EQ(CapturePipeline::PreviewMaxRate(QSize(10, 10)), CapturePipeline::MaxPreviewRate);
    EXPECT_EQ(CapturePipeline::PreviewMaxRate(QSize()), CapturePipeline::MaxPreviewRate);
}
