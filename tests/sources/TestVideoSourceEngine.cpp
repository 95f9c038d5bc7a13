#include "Clock.h"
#include "FrameCounter.h"
#include "LogRecorder.h"
#include "MessageEvent.h"
#include "SourceOwner.h"
#include "Utils/Classes/CaptureTypes.h"
#include "Utils/Classes/TestCamera.h"
#include "Utils/Classes/TestCameraProvider.h"
#include "WaitUntil.h"
#include "sources/SourceEngine.h"
#include "sources/VideoDisplay.h"
#include "sources/VideoSourceEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

namespace {
const QString Second = "pixlet-test-camera:320x240@15";

// The video source with no page at all, as the service runs it.
class VideoEngineTest : public ::testing::Test
{
protected:
    QTemporaryDir data;
    SourceOwner owner;
    LogRecorder log;
    std::unique_ptr<SourceEngine> engine;

    void SetUp() override { ASSERT_TRUE(TestCameraProvider::Enable(2)); }
    void TearDown() override
    {
        engine.reset();
        TestCamera::SetGone(TestCamera::PathPrefix, false);
        TestCamera::SetGone(Second, false);
        TestCamera::SetStalled(TestCamera::PathPrefix, false);
        TestCameraProvider::Enable(0);
    }
    void Make(QStringList settings)
    {
        if (settings.filter("SourceType =").isEmpty())
            settings.prepend("SourceType = 1");
        engine = std::make_unique<SourceEngine>(SystemClock(), data.path() + "/");
        engine->SetOwner(&owner);
        Video().SetDeviceSettleTime(200);
        engine->LoadSettings(settings);
    }
    VideoSourceEngine& Video() { return *engine->VideoSource(); }
    // The path of the listed device of that name; empty when it is not listed.
    QString PathOf(const QString& name)
    {
        for (const VideoDeviceInfo& device : Video().Devices()) {
            if (device.name == name)
                return device.path;
        }
        return QString();
    }
    bool Logged(const QString& text, int timeoutMs = 10000)
    {
        return WaitUntil([&] { return !log.Starting(text).isEmpty(); }, timeoutMs);
    }
    // The stored test camera connected, then stalled: the watchdog lets it go after 0.4 s and
    // the attempts to connect it again wait as given.
    void ConnectThenStall(int firstReconnectMs, int longestReconnectMs)
    {
        Make({"SourceVideoDeviceID = pixlet-test-camera"});
        Video().SetWatchdogLimit(400);
        Video().SetReconnectDelays(firstReconnectMs, longestReconnectMs);
        ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
        TestCamera::SetStalled(TestCamera::PathPrefix, true);
    }
    bool ConnectedTo(const QString& name)
    {
        return WaitUntil([&] {
            return Video().State() == VideoSourceEngine::ConnectionState::Connected &&
                   Video().FriendlyName() == name && Video().LastStill().Width() > 0;
        });
    }
};
} // namespace

TEST_F(VideoEngineTest, WithNoPageTheStoredCameraConnectsAndAnswersRequests)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera", "SourceResize = Yes", "SourceResizeWidth = 320",
          "SourceResizeHeight = 240"});
    ASSERT_TRUE(Logged("Pixlet Test Camera found"));
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    EXPECT_TRUE(Logged("Connecting to Pixlet Test Camera"));
    EXPECT_TRUE(Logged("Connected OK"));
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: Video Device - Connected to Pixlet Test Camera");
    EXPECT_EQ(Video().CheckedDevice(), PathOf("Pixlet Test Camera"));
    EXPECT_EQ(Video().LastStill().Width(), 640);
    EXPECT_FALSE(Video().OverlayShown()) << "no display, no overlay for the capture thread to draw";
    ASSERT_TRUE(WaitUntil([&] { return Video().StreamSizeText() == "640 x 480"; }));
    EXPECT_TRUE(Video().StreamRateText().endsWith(" fps"));

    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }));
    ASSERT_TRUE(owner.answers[0]);
    EXPECT_EQ(owner.answers[0]->Width(), 320) << "through the crop/resize step";
    EXPECT_EQ(owner.answers[0]->Height(), 240);
}

// An unplugged camera is reported, leaves the list and is waited for: the device monitor
// bringing it back connects it at once, without waiting for the next attempt, and the cycles
// get pictures again with nobody doing anything.
TEST_F(VideoEngineTest, WithNoPageAnUnpluggedCameraIsReportedAndConnectedAgainWhenItIsBack)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    Video().SetReconnectDelays(60000, 60000); // only the monitor can bring it back in time
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    TestCamera::SetGone(TestCamera::PathPrefix, true);
    ASSERT_TRUE(Logged("Video device disconnected unexpectedly - Device Lost"));
    EXPECT_TRUE(Logged("Video device error - The test camera has been disconnected"));
    ASSERT_TRUE(WaitUntil([&] { return !owner.notifyTexts.isEmpty(); }));
    EXPECT_EQ(owner.notifyTexts.last(), "Video device disconnected unexpectedly - Device Lost");
    ASSERT_TRUE(Logged("Video device reconnecting in 60 s"));
    EXPECT_EQ(Video().ReconnectingDevice(), "pixlet-test-camera");
    ASSERT_TRUE(Logged("Device change detected"));
    ASSERT_TRUE(WaitUntil([&] { return PathOf("Pixlet Test Camera").isEmpty(); }));
    EXPECT_EQ(Video().CheckedDevice(), "") << "nothing to check while it is away";
    EXPECT_EQ(engine->GetSourceStatusText(),
              "Source: Video Device - Video device disconnected unexpectedly - "
              "Device Lost - reconnecting in 60 s");
    // Not plugged in at the moment is not forgotten.
    EXPECT_EQ(Video().SelectedDevice(), "pixlet-test-camera");
    // A cycle while it is away gets no picture: an answer without one, not silence.
    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }));
    EXPECT_FALSE(owner.answers[0]);

    TestCamera::SetGone(TestCamera::PathPrefix, false);
    ASSERT_TRUE(Logged("Video device reconnected", 8000));
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    EXPECT_EQ(Video().CheckedDevice(), PathOf("Pixlet Test Camera"));
    EXPECT_EQ(Video().ReconnectingDevice(), "");
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: Video Device - Connected to Pixlet Test Camera");
    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 2; }));
    ASSERT_TRUE(owner.answers[1]) << "the first cycle after the return has its picture";
    EXPECT_EQ(owner.answers[1]->Width(), 640);
}

// The stored camera not plugged in at start (a machine booting before its camera) connects
// when it comes; with the file source chosen it does not.
TEST_F(VideoEngineTest, AStoredCameraAbsentAtStartConnectsWhenItComes)
{
    TestCamera::SetGone(TestCamera::PathPrefix, true);
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(WaitUntil([&] { return !PathOf("Pixlet Test Camera 2").isEmpty(); }));
    QTest::qWait(300);
    EXPECT_TRUE(log.Starting("Connecting to").isEmpty());
    EXPECT_EQ(Video().SelectedDevice(), "pixlet-test-camera") << "not forgotten while away";
    TestCamera::SetGone(TestCamera::PathPrefix, false);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));

    engine.reset();
    TestCamera::SetGone(TestCamera::PathPrefix, true);
    log.entries.clear();
    Make({"SourceVideoDeviceID = pixlet-test-camera", "SourceType = 0"});
    ASSERT_TRUE(WaitUntil([&] { return !PathOf("Pixlet Test Camera 2").isEmpty(); }));
    TestCamera::SetGone(TestCamera::PathPrefix, false);
    ASSERT_TRUE(Logged("Device change detected"));
    QTest::qWait(500);
    EXPECT_TRUE(log.Starting("Connecting to").isEmpty()) << "the file source is in use";
}

// A camera the user unchecked stays let go: unplugged and plugged back in, it is not connected
// again, whatever asks the source to connect meanwhile.
TEST_F(VideoEngineTest, AnUncheckedCameraPluggedBackInStaysLetGo)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    Video().CheckDevice(PathOf("Pixlet Test Camera"), false);
    ASSERT_TRUE(
        WaitUntil([&] { return Video().State() == VideoSourceEngine::ConnectionState::Disconnected; }));
    TestCamera::SetGone(TestCamera::PathPrefix, true);
    ASSERT_TRUE(WaitUntil([&] { return PathOf("Pixlet Test Camera").isEmpty(); }));
    engine->UpdateSourceState();
    EXPECT_EQ(Video().SelectedDevice(), "") << "Apply would store no device";
    TestCamera::SetGone(TestCamera::PathPrefix, false);
    ASSERT_TRUE(WaitUntil([&] { return !PathOf("Pixlet Test Camera").isEmpty(); }));
    QTest::qWait(500);
    EXPECT_EQ(log.Starting("Connecting to").size(), 1u);
    EXPECT_EQ(Video().CheckedDevice(), "");
}

// Cancel lets a camera checked but not applied go, and the stored one, absent meanwhile,
// connects when it comes.
TEST_F(VideoEngineTest, CancelLetsAnUnappliedCameraGoForTheStoredOne)
{
    TestCamera::SetGone(TestCamera::PathPrefix, true);
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(WaitUntil([&] { return !PathOf("Pixlet Test Camera 2").isEmpty(); }));
    Video().CheckDevice(PathOf("Pixlet Test Camera 2"), true);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera 2"));
    engine->RevertChoices();
    ASSERT_TRUE(
        WaitUntil([&] { return Video().State() == VideoSourceEngine::ConnectionState::Disconnected; }));
    EXPECT_EQ(Video().SelectedDevice(), "pixlet-test-camera");
    TestCamera::SetGone(TestCamera::PathPrefix, false);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
}

// A camera that stops sending is let go by the watchdog and tried again after growing waits;
// a device that opens but stays dark does not count as back. Once it sends again it is.
TEST_F(VideoEngineTest, AStalledCameraIsTriedAgainWithGrowingWaitsUntilItSendsAgain)
{
    ASSERT_NO_FATAL_FAILURE(ConnectThenStall(100, 400));
    ASSERT_TRUE(Logged("Video device disconnected unexpectedly - Watchdog Timeout"));
    ASSERT_TRUE(Logged("Video device reconnecting in 0.1 s"));
    ASSERT_TRUE(Logged("Video device reconnecting in 0.2 s"));
    ASSERT_TRUE(Logged("Video device reconnecting in 0.4 s"));
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Video device reconnecting in 0.4 s").size() >= 2; }))
        << "the waits stop growing at the longest";
    EXPECT_TRUE(log.Starting("Video device reconnecting in 0.8 s").isEmpty());
    EXPECT_TRUE(log.Starting("Video device reconnected").isEmpty());
    EXPECT_EQ(Video().CheckedDevice(), PathOf("Pixlet Test Camera")) << "still the user's choice";

    TestCamera::SetStalled(TestCamera::PathPrefix, false);
    ASSERT_TRUE(Logged("Video device reconnected"));
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    EXPECT_EQ(Video().ReconnectingDevice(), "");
}

// Anything that asks the source to connect (Apply, a field edited on the page) during the wait
// does not cut it short: a camera that fails at once would otherwise be tried over and over.
TEST_F(VideoEngineTest, AskingToConnectDuringTheWaitDoesNotCutItShort)
{
    ASSERT_NO_FATAL_FAILURE(ConnectThenStall(2000, 2000));
    ASSERT_TRUE(Logged("Video device reconnecting in 2 s"));
    ASSERT_TRUE(
        WaitUntil([&] { return Video().State() == VideoSourceEngine::ConnectionState::Disconnected; }));
    const int connects = log.Starting("Connecting to").size();
    engine->UpdateSourceState();
    engine->ApplySettings(engine->Settings());
    QTest::qWait(600);
    EXPECT_EQ(log.Starting("Connecting to").size(), connects) << "the wait holds";
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Connecting to").size() > connects; }, 4000))
        << "and the attempt follows it";
}

// Unchecking the camera while it is waited for ends the waiting: nothing connects after it.
TEST_F(VideoEngineTest, UncheckingAWaitedForCameraStopsTheAttempts)
{
    ASSERT_NO_FATAL_FAILURE(ConnectThenStall(300, 300));
    ASSERT_TRUE(Logged("Video device reconnecting in 0.3 s"));
    ASSERT_TRUE(
        WaitUntil([&] { return Video().State() == VideoSourceEngine::ConnectionState::Disconnected; }));
    Video().CheckDevice(PathOf("Pixlet Test Camera"), false);
    EXPECT_EQ(Video().ReconnectingDevice(), "");
    const int connects = log.Starting("Connecting to").size();
    QTest::qWait(1200);
    EXPECT_EQ(log.Starting("Connecting to").size(), connects) << "no attempt after the user let it go";
    EXPECT_EQ(Video().State(), VideoSourceEngine::ConnectionState::Disconnected);
    EXPECT_EQ(Video().SelectedDevice(), "");
}

// Choosing the file source lets the camera go too, and so does the end of the program.
TEST_F(VideoEngineTest, LeavingTheVideoSourceOrExitingStopsTheAttempts)
{
    ASSERT_NO_FATAL_FAILURE(ConnectThenStall(300, 300));
    ASSERT_TRUE(Logged("Video device reconnecting in 0.3 s"));
    Video().ClearDeviceSelection();
    EXPECT_EQ(Video().ReconnectingDevice(), "");

    Video().CheckDevice(PathOf("Pixlet Test Camera"), true);
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Video device reconnecting in 0.3 s").size() >= 2; }));
    ASSERT_TRUE(Video().FinishForExit(2000));
    EXPECT_EQ(Video().ReconnectingDevice(), "");
    const int connects = log.Starting("Connecting to").size();
    QTest::qWait(900);
    EXPECT_EQ(log.Starting("Connecting to").size(), connects)
        << "nothing connects once the program is ending";
}

TEST_F(VideoEngineTest, UncheckingDisconnectsAndLetsTheDeviceGo)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    int edits = 0;
    QObject::connect(&Video(), &VideoSourceEngine::Edited, [&] { ++edits; });
    Video().CheckDevice(PathOf("Pixlet Test Camera"), false);
    EXPECT_EQ(edits, 1) << "a choice for Apply to store";
    EXPECT_EQ(Video().State(), VideoSourceEngine::ConnectionState::Disconnecting);
    EXPECT_EQ(Video().MessageText(), "Disconnecting");
    ASSERT_TRUE(
        WaitUntil([&] { return Video().State() == VideoSourceEngine::ConnectionState::Disconnected; }));
    EXPECT_EQ(Video().MessageText(), "Disconnected");
    EXPECT_TRUE(Logged("Video device disconnected"));
    EXPECT_EQ(Video().SelectedDevice(), "") << "the user let it go";
}

// Devices that come or go while a connection ends leave the check marks as they were: the
// camera just unchecked does not connect again, the one just checked does.
TEST_F(VideoEngineTest, ADeviceChangeWhileDisconnectingKeepsTheUsersChoice)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    Video().CheckDevice(PathOf("Pixlet Test Camera"), false);
    ASSERT_EQ(Video().State(), VideoSourceEngine::ConnectionState::Disconnecting);
    Video().RelistDevices();
    EXPECT_EQ(Video().CheckedDevice(), "");
    ASSERT_TRUE(WaitUntil([&] { return !Video().CaptureRunning(); }));
    QTest::qWait(200);
    EXPECT_FALSE(Video().CaptureRunning()) << "the unchecked camera stays disconnected";
    EXPECT_EQ(Video().SelectedDevice(), "");

    Video().CheckDevice(PathOf("Pixlet Test Camera"), true);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    Video().CheckDevice(Second, true);
    ASSERT_EQ(Video().State(), VideoSourceEngine::ConnectionState::Disconnecting);
    Video().RelistDevices();
    EXPECT_EQ(Video().CheckedDevice(), Second);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera 2"));
}

TEST_F(VideoEngineTest, CheckingAnotherCameraSwitchesWhenTheFirstHasEnded)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    Video().CheckDevice(PathOf("Pixlet Test Camera 2"), true);
    EXPECT_EQ(Video().CheckedDevice(), Second) << "at most one is checked";
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera 2"));
    ASSERT_TRUE(WaitUntil([&] { return Video().LastStill().Width() == 320; }));
    EXPECT_EQ(Video().SelectedDevice(), Second);
}

// Without a page, the settings alone say which camera: applying another one switches to it.
TEST_F(VideoEngineTest, AppliedSettingsNamingAnotherCameraSwitchToIt)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    SourceSettings settings = engine->Settings();
    settings.videoDeviceId = Second;
    engine->ApplySettings(settings);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera 2"));
    EXPECT_EQ(Video().CheckedDevice(), Second);
    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }));
    ASSERT_TRUE(owner.answers[0]);
    EXPECT_EQ(owner.answers[0]->Width(), 320);
}

TEST_F(VideoEngineTest, AStalledCameraAnswersEmptyAndTripsTheWatchdog)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    Video().SetWatchdogLimit(1500);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    TestCamera::SetStalled(TestCamera::PathPrefix, true);
    engine->RequestImage(&owner, false);
    ASSERT_TRUE(Logged("Video device disconnected unexpectedly - Watchdog Timeout"));
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }, 5000)) << "the request is answered";
    EXPECT_EQ(owner.answers[0], nullptr) << "empty: no still came";
}

// A request made while the camera connects is answered by the connection's first still, or
// empty when none comes within the limit.
TEST_F(VideoEngineTest, ARequestWhileConnectingIsAnswered)
{
    for (const bool stalled : {false, true}) {
        SCOPED_TRACE(stalled ? "stalled camera" : "camera delivering");
        TestCamera::SetStalled(TestCamera::PathPrefix, stalled);
        Make({});
        const int limit = stalled ? 600 : VideoSourceEngine::StillTimeoutMs;
        Video().SetStillTimeout(limit);
        ASSERT_TRUE(WaitUntil([&] { return !PathOf("Pixlet Test Camera").isEmpty(); }));
        Video().CheckDevice(PathOf("Pixlet Test Camera"), true);
        ASSERT_EQ(Video().State(), VideoSourceEngine::ConnectionState::Connecting);
        owner.answers.clear();
        QElapsedTimer timer;
        timer.start();
        engine->RequestImage(&owner, false);
        ASSERT_TRUE(WaitUntil([&] { return !owner.answers.empty(); }, limit + 2000));
        EXPECT_LT(timer.elapsed(), limit + 1000);
        EXPECT_EQ(owner.answers[0] != nullptr, !stalled);
        engine.reset();
    }
}

// Requests that come more often than the still timeout do not put the answer off: each one is
// answered within the limit, by the answer it found awaited or by its own.
TEST_F(VideoEngineTest, EveryRequestIsAnsweredWithinTheStillTimeout)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    constexpr int Limit = 400;
    Video().SetStillTimeout(Limit);
    TestCamera::SetStalled(TestCamera::PathPrefix, true); // answered empty, at the limit
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> requests, answers;
    const auto collect = [&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (answers.size() < owner.answers.size())
            answers.push_back(clock.elapsed());
    };
    while (clock.elapsed() < 2000) {
        if (requests.empty() || clock.elapsed() - requests.back() >= 150) {
            requests.push_back(clock.elapsed());
            engine->RequestImage(&owner, false);
        }
        collect();
    }
    while (clock.elapsed() < 2000 + Limit + 600)
        collect();
    ASSERT_FALSE(answers.empty());
    EXPECT_LT(answers.size(), requests.size()) << "a request made while a still is awaited shares its answer";
    for (const qint64 request : requests) {
        const auto answer = std::lower_bound(answers.begin(), answers.end(), request);
        ASSERT_NE(answer, answers.end()) << "request at " << request << " ms unanswered";
        EXPECT_LE(*answer - request, Limit + 400) << "request at " << request << " ms";
    }
}

// Detached, the live picture goes to the window's display at the window's size and the state
// says so; closing the window (detaching its display) gives the picture back to the page.
TEST_F(VideoEngineTest, TheLivePictureGoesToTheFloatingWindowAndBackToThePage)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    FrameCounter page(QSize(200, 150));
    FrameCounter window(QSize(400, 300));
    Video().AttachDisplay(&page);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    ASSERT_TRUE(WaitUntil([&] { return page.frames > 2; }));
    EXPECT_EQ(page.lastWidth, 200);

    Video().SetFloatingDisplay(&window);
    EXPECT_EQ(Video().State(), VideoSourceEngine::ConnectionState::Streaming);
    EXPECT_TRUE(Video().Live());
    EXPECT_EQ(Video().MessageText(), "Video Detached");
    ASSERT_TRUE(WaitUntil([&] { return window.frames > 2; }));
    EXPECT_EQ(window.lastWidth, 400);
    const int pageFrames = page.frames;
    QTest::qWait(300);
    EXPECT_EQ(page.frames, pageFrames) << "the page gets nothing while the video is detached";
    // Stills still answer while detached.
    const int answers = int(owner.answers.size());
    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return int(owner.answers.size()) == answers + 1; }));
    EXPECT_TRUE(owner.answers.back());

    Video().DetachDisplay(&window);
    EXPECT_EQ(Video().FloatingDisplay(), nullptr);
    EXPECT_EQ(Video().State(), VideoSourceEngine::ConnectionState::Connected);
    EXPECT_EQ(Video().MessageText(), "");
    ASSERT_TRUE(WaitUntil([&] { return page.frames > pageFrames + 2; })) << "the page has the picture again";
    Video().DetachDisplay(&page);
}
