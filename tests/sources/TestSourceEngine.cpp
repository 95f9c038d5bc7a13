#include "ManualClock.h"
#include "SourceOwner.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceEngine.h"
#include "sources/VideoSourceEngine.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {
class SourceEngineTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    ManualClock clock;
    SourceOwner owner;
    std::unique_ptr<SourceEngine> engine;

    void Make(const QStringList& settings = {})
    {
        engine = std::make_unique<SourceEngine>(clock, dir.path() + "/");
        engine->SetOwner(&owner);
        engine->LoadSettings(settings);
    }
    void Drain() { QCoreApplication::processEvents(); }
};
} // namespace

TEST_F(SourceEngineTest, ApplyAnnouncesOnlyChangesThatAlterTheImage)
{
    Make();
    Drain();
    owner.available = 0;

    SourceSettings settings = engine->Settings();
    engine->ApplySettings(settings);
    Drain();
    EXPECT_EQ(owner.available, 0) << "nothing changed";
    EXPECT_EQ(engine->VideoSource()->InterframeDelay(), 0);

    settings.videoDeviceLowCpu = true;
    settings.videoDeviceEnableVmrMixer = false;
    settings.cropHatchStyle = 1;
    settings.fileCollectDeleteDelayMs = 500;
    engine->ApplySettings(settings);
    Drain();
    EXPECT_EQ(owner.available, 0) << "Low CPU, the mixer, the hatch and the delays do not change the image";
    EXPECT_EQ(engine->VideoSource()->InterframeDelay(), 1000);
    EXPECT_EQ(engine->Settings(), settings);

    settings.crop = true;
    engine->ApplySettings(settings);
    Drain();
    EXPECT_EQ(owner.available, 1);
    EXPECT_FALSE(engine->AnnouncePending()) << "the announcement clears the flag";

    settings.cropWidth = 64;
    engine->ApplySettings(settings);
    Drain();
    EXPECT_EQ(owner.available, 2);
    EXPECT_EQ(engine->Settings().cropWidth, 64);

    SettingsList written;
    engine->SaveSettings(written);
    EXPECT_TRUE(written.contains("SourceCropWidth = 64"));
    EXPECT_TRUE(written.contains("SourceVideoDeviceLowCPU = Yes"));
}

TEST_F(SourceEngineTest, WithoutAPageTheCropInForceIsTheLiveCrop)
{
    Make({"SourceCrop = Yes", "SourceCropOriginX = 12", "SourceCropOriginY = -7", "SourceCropWidth = 320",
          "SourceCropHeight = 200"});
    CropSettings crop = engine->LiveCrop();
    EXPECT_TRUE(crop.enabled);
    EXPECT_EQ(crop.crop, QRect(12, -7, 320, 200));
    EXPECT_EQ(crop.hatchStyle, engine->Settings().cropHatchStyle);

    CropSettings edited;
    edited.enabled = false;
    edited.crop = QRect(1, 2, 3, 4);
    edited.hatchStyle = engine->Settings().cropHatchStyle + 1;
    engine->SetLiveCrop(edited);
    EXPECT_EQ(engine->LiveCrop().crop, QRect(1, 2, 3, 4)) << "a page's edits are shown before Apply";
    EXPECT_EQ(engine->LiveCrop().hatchStyle, engine->Settings().cropHatchStyle)
        << "the hatch is always the one in force";
    engine->RevertChoices();
    EXPECT_EQ(engine->LiveCrop().crop, QRect(12, -7, 320, 200)) << "reverted: the settings decide again";
}

TEST_F(SourceEngineTest, AChosenSourceRunsBeforeApplyUntilReverted)
{
    Make({"SourceType = 1", "SourceFileCollectDirectory = " + dir.path()});
    EXPECT_FALSE(engine->FileSource()->MonitorActive());
    int resets = 0;
    QObject::connect(engine.get(), &SourceEngine::ChoicesReset, [&] { ++resets; });
    engine->ChooseSource(SourceSettings::CollectFile);
    engine->UpdateSourceState();
    EXPECT_TRUE(engine->FileSource()->MonitorActive()) << "the monitor starts at once";
    EXPECT_EQ(engine->Settings().sourceType, 1) << "not applied yet";
    engine->RevertChoices();
    EXPECT_EQ(resets, 1) << "a page shows the settings again";
    EXPECT_EQ(engine->ChosenSource(), 1);
    EXPECT_FALSE(engine->FileSource()->MonitorActive()) << "reverting stops it again";

    SourceSettings settings = engine->Settings();
    settings.sourceType = SourceSettings::CollectFile;
    engine->ApplySettings(settings);
    EXPECT_TRUE(engine->FileSource()->MonitorActive());
    EXPECT_EQ(engine->ChosenSource(), 0);
}

TEST_F(SourceEngineTest, StatusTextsAndAnUnknownSourceType)
{
    Make({"SourceType = 1"});
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: Video Device - Disconnected");
    Make({"SourceType = 0", "SourceFileCollectDirectory = " + dir.path()});
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: File - No Image Available");

    Make({"SourceType = 2"});
    EXPECT_EQ(engine->GetSourceStatusText(), "");
    EXPECT_FALSE(engine->FileSource()->MonitorActive());
    engine->RequestImage(&owner, false);
    QTest::qWait(50);
    EXPECT_TRUE(owner.answers.empty()) << "no source, no answer";
    engine->ApplySettings(engine->Settings());
    EXPECT_EQ(engine->Settings().sourceType, 2);
    SettingsList written;
    engine->SaveSettings(written);
    EXPECT_EQ(written.first(), "SourceType = 2");
}

TEST_F(SourceEngineTest, SourceErrorsGoToTheOwnerWithTheirText)
{
    Make();
    engine->ReportSourceError("Device lost");
    Drain();
    ASSERT_EQ(owner.notifyCodes.size(), 1u);
    EXPECT_EQ(owner.notifyCodes[0], 0x80000000LL);
    EXPECT_EQ(owner.notifyTexts[0], "Device lost");

    SourceEngine orphan(clock, dir.path() + "/");
    orphan.ReportSourceError("nobody listens");
    orphan.AnnounceNewImage();
    Drain();
    EXPECT_EQ(owner.notifyCodes.size(), 1u) << "without an owner nothing is posted";
}

TEST_F(SourceEngineTest, TheVideoSourceAnswersNothingWithoutACaptureThread)
{
    Make({"SourceType = 1", "SourceVideoDeviceID = /dev/v4l/by-id/cam"});
    engine->RequestImage(&owner, false);
    QTest::qWait(50);
    EXPECT_TRUE(owner.answers.empty());
    EXPECT_EQ(engine->VideoSource()->SelectedDevice(), "/dev/v4l/by-id/cam") << "the stored device stays";
    engine->ApplySettings(engine->Settings());
    EXPECT_EQ(engine->Settings().videoDeviceId, "/dev/v4l/by-id/cam");
}
