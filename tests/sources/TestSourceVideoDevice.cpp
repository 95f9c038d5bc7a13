#include "Clock.h"
#include "LogRecorder.h"
#include "SourceOwner.h"
#include "Utils/Classes/TestCamera.h"
#include "Utils/Classes/TestCameraProvider.h"
#include "WaitUntil.h"
#include "sources/CSourceMain.h"
#include "sources/CSourceVideoDevice.h"
#include "sources/CVideoView.h"

#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {
const QString Second = "pixlet-test-camera:320x240@15";

class VideoSourceTest : public ::testing::Test
{
protected:
    QTemporaryDir data;
    SourceOwner owner;
    LogRecorder log;
    std::unique_ptr<CSourceMain> page;

    void SetUp() override { ASSERT_TRUE(TestCameraProvider::Enable(2)); }
    void TearDown() override
    {
        page.reset();
        TestCamera::SetGone(TestCamera::PathPrefix, false);
        TestCamera::SetGone(Second, false);
        TestCamera::SetStalled(TestCamera::PathPrefix, false);
        TestCameraProvider::Enable(0);
    }
    void Make(QStringList settings)
    {
        settings.prepend("SourceType = 1");
        page = std::make_unique<CSourceMain>(SystemClock(), data.path() + "/");
        page->SetOwner(&owner);
        Video().SetDeviceSettleTime(200);
        page->LoadSettings(settings);
    }
    CSourceVideoDevice& Video() { return *page->VideoSource(); }
    QListWidgetItem* Item(const QString& name)
    {
        const auto found = Video().DeviceList()->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }
    bool Logged(const QString& text, int timeoutMs = 10000)
    {
        return WaitUntil([&] { return !log.Starting(text).isEmpty(); }, timeoutMs);
    }
    bool ConnectedTo(const QString& name)
    {
        return WaitUntil([&] {
            return Video().State() == CSourceVideoDevice::ConnectionState::Connected &&
                   Video().FriendlyName() == name && Video().LastStill().Width() > 0;
        });
    }
};
} // namespace

TEST_F(VideoSourceTest, TheStoredCameraConnectsAndAnswersRequests)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera", "SourceResize = Yes", "SourceResizeWidth = 320",
          "SourceResizeHeight = 240"});
    ASSERT_TRUE(Logged("Pixlet Test Camera found"));
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    EXPECT_TRUE(Logged("Connecting to Pixlet Test Camera"));
    EXPECT_TRUE(Logged("Connected OK"));
    EXPECT_EQ(page->GetSourceStatusText(), "Source: Video Device - Connected to Pixlet Test Camera");
    EXPECT_EQ(Item("Pixlet Test Camera")->checkState(), Qt::Checked);
    EXPECT_EQ(Video().LastStill().Width(), 640);
    ASSERT_TRUE(WaitUntil([&] { return Video().SizeLabel()->text() == "640 x 480"; }));
    EXPECT_TRUE(Video().RateLabel()->text().endsWith(" fps"));

    page->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }));
    ASSERT_TRUE(owner.answers[0]);
    EXPECT_EQ(owner.answers[0]->Width(), 320) << "through the crop/resize step";
    EXPECT_EQ(owner.answers[0]->Height(), 240);
}

TEST_F(VideoSourceTest, UncheckingDisconnectsAndApplyThenForgetsTheDevice)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    Item("Pixlet Test Camera")->setCheckState(Qt::Unchecked);
    EXPECT_EQ(Video().State(), CSourceVideoDevice::ConnectionState::Disconnecting);
    EXPECT_EQ(Video().MessageText(), "Disconnecting");
    ASSERT_TRUE(WaitUntil([&] { return Video().State() == CSourceVideoDevice::ConnectionState::Disconnected; }));
    EXPECT_EQ(Video().MessageText(), "Disconnected");
    EXPECT_TRUE(Logged("Video device disconnected"));
    page->ApplySourceSettings();
    EXPECT_EQ(page->Settings().videoDeviceId, "") << "the user let it go";
}

TEST_F(VideoSourceTest, CheckingAnotherCameraSwitchesWhenTheFirstHasEnded)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    Item("Pixlet Test Camera 2")->setCheckState(Qt::Checked);
    EXPECT_EQ(Item("Pixlet Test Camera")->checkState(), Qt::Unchecked) << "at most one is checked";
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera 2"));
    ASSERT_TRUE(WaitUntil([&] { return Video().LastStill().Width() == 320; }));
    page->ApplySourceSettings();
    EXPECT_EQ(page->Settings().videoDeviceId, Second);
}

TEST_F(VideoSourceTest, AnUnpluggedCameraIsReportedAndLeavesTheList)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    TestCamera::SetGone(TestCamera::PathPrefix, true);
    ASSERT_TRUE(Logged("Video device disconnected unexpectedly - Device Lost"));
    EXPECT_TRUE(Logged("Video device error - The test camera has been disconnected"));
    ASSERT_TRUE(WaitUntil([&] { return !owner.notifyTexts.isEmpty(); }));
    EXPECT_EQ(owner.notifyTexts.last(), "Video device disconnected unexpectedly - Device Lost");
    EXPECT_EQ(Item("Pixlet Test Camera")->checkState(), Qt::Unchecked);
    ASSERT_TRUE(Logged("Device change detected"));
    ASSERT_TRUE(WaitUntil([&] { return Item("Pixlet Test Camera") == nullptr; }));
    EXPECT_EQ(page->GetSourceStatusText(), "Source: Video Device - Video device disconnected unexpectedly - Device Lost");
    // Not plugged in at the moment is not forgotten: Apply keeps the stored camera.
    page->ApplySourceSettings();
    EXPECT_EQ(page->Settings().videoDeviceId, "pixlet-test-camera");
}

TEST_F(VideoSourceTest, AStalledCameraAnswersEmptyAndTripsTheWatchdog)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera"});
    Video().SetWatchdogLimit(1500);
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    TestCamera::SetStalled(TestCamera::PathPrefix, true);
    page->RequestImage(&owner, false);
    ASSERT_TRUE(Logged("Video device disconnected unexpectedly - Watchdog Timeout"));
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }, 5000)) << "the request is answered";
    EXPECT_EQ(owner.answers[0], nullptr) << "empty: no still came";
}

TEST_F(VideoSourceTest, TheLivePictureReachesTheVideoControl)
{
    Make({"SourceVideoDeviceID = pixlet-test-camera", "SourceCrop = Yes"});
    page->resize(800, 600);
    page->show();
    ASSERT_TRUE(ConnectedTo("Pixlet Test Camera"));
    ASSERT_TRUE(WaitUntil([&] { return Video().VideoView()->LiveFramesShown() > 5; }));
    const ImageFrame& live = Video().VideoView()->LiveFrame();
    EXPECT_GT(live.Width(), 0);
    EXPECT_LE(live.Width(), Video().VideoView()->width());
    page->hide();
}
