#include "ImageEncoder.h"
#include "ManualClock.h"
#include "SourceOwner.h"
#include "TestImages.h"
#include "sources/CSourceFile.h"
#include "sources/CSourceMain.h"
#include "sources/CSourceVideoDevice.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace {
class SourcePageTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    ManualClock clock;
    SourceOwner owner;
    std::unique_ptr<CSourceMain> page;

    void Make(const QStringList& settings = {})
    {
        page = std::make_unique<CSourceMain>(clock, dir.path() + "/");
        page->SetOwner(&owner);
        page->LoadSettings(settings);
    }
    void Drain() { QCoreApplication::processEvents(); }
    void Type(CSourceMain::Edit edit, const QString& text)
    {
        QLineEdit* line = page->EditAt(edit);
        line->selectAll();
        QTest::keyClicks(line, text);
    }
};
} // namespace

TEST_F(SourcePageTest, EditsAreClampedAsTheUserTypes)
{
    Make({"SourceCrop = Yes", "SourceResize = Yes"});
    Type(CSourceMain::OriginX, "-");
    EXPECT_EQ(page->EditAt(CSourceMain::OriginX)->text(), "-") << "a sign alone is left to be continued";
    Type(CSourceMain::OriginX, "12345");
    EXPECT_EQ(page->EditAt(CSourceMain::OriginX)->text(), "9999");
    Type(CSourceMain::OriginY, "-99999");
    EXPECT_EQ(page->EditAt(CSourceMain::OriginY)->text(), "-9999");
    Type(CSourceMain::CropWidth, "-5");
    EXPECT_EQ(page->EditAt(CSourceMain::CropWidth)->text(), "0");
    Type(CSourceMain::ResizeWidth, "0");
    EXPECT_EQ(page->EditAt(CSourceMain::ResizeWidth)->text(), "1");
    Type(CSourceMain::ResizeHeight, "20000");
    EXPECT_EQ(page->EditAt(CSourceMain::ResizeHeight)->text(), "8192");
}

TEST_F(SourcePageTest, ChecksEnableTheirEditsAndChangesEnableApply)
{
    Make();
    int changes = 0;
    QObject::connect(page.get(), &CSourceMain::Changed, [&] { ++changes; });
    EXPECT_FALSE(page->EditAt(CSourceMain::OriginX)->isEnabled());
    EXPECT_FALSE(page->EditAt(CSourceMain::ResizeWidth)->isEnabled());
    page->CropCheck()->click();
    EXPECT_TRUE(page->EditAt(CSourceMain::CropHeight)->isEnabled());
    EXPECT_FALSE(page->EditAt(CSourceMain::ResizeHeight)->isEnabled());
    EXPECT_EQ(changes, 1);
    page->RefreshPage();
    EXPECT_EQ(changes, 1) << "showing the settings again is no change of the user's";
    EXPECT_FALSE(page->CropCheck()->isChecked()) << "the revert drops the unapplied click";
}

TEST_F(SourcePageTest, ApplyAnnouncesOnlyChangesThatAlterTheImage)
{
    QCheckBox lowCpu, mixer;
    Make();
    page->SetAdvancedCheckBoxes(&lowCpu, &mixer);
    EXPECT_TRUE(mixer.isChecked());
    Drain();
    owner.available = 0;

    page->ApplySourceSettings();
    Drain();
    EXPECT_EQ(owner.available, 0) << "nothing changed";
    EXPECT_EQ(page->VideoSource()->InterframeDelay(), 0);

    lowCpu.setChecked(true);
    mixer.setChecked(false);
    page->ApplySourceSettings();
    Drain();
    EXPECT_EQ(owner.available, 0) << "Low CPU and the mixer do not change the image";
    EXPECT_EQ(page->VideoSource()->InterframeDelay(), 1000);
    EXPECT_TRUE(page->Settings().videoDeviceLowCpu);
    EXPECT_FALSE(page->Settings().videoDeviceEnableVmrMixer);

    page->CropCheck()->click();
    page->ApplySourceSettings();
    Drain();
    EXPECT_EQ(owner.available, 1);
    EXPECT_FALSE(page->AnnouncePending()) << "the announcement clears the flag";

    page->EditAt(CSourceMain::CropWidth)->setText("64");
    page->ApplySourceSettings();
    Drain();
    EXPECT_EQ(owner.available, 2);
    EXPECT_EQ(page->Settings().cropWidth, 64);
}

TEST_F(SourcePageTest, AnEmptiedFieldAppliesAsTheValueInForce)
{
    Make({"SourceCrop = Yes", "SourceResize = Yes", "SourceCropOriginX = 12", "SourceCropOriginY = -7",
          "SourceCropWidth = 320", "SourceCropHeight = 200", "SourceResizeWidth = 640",
          "SourceResizeHeight = 480"});
    Drain();
    owner.available = 0;
    int changes = 0;
    QObject::connect(page.get(), &CSourceMain::Changed, [&] { ++changes; });
    for (int edit = 0; edit < CSourceMain::EditCount; ++edit) {
        QLineEdit* line = page->EditAt(CSourceMain::Edit(edit));
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        ASSERT_EQ(line->text(), "");
    }
    Type(CSourceMain::OriginY, "-");
    EXPECT_EQ(page->LiveCrop().crop, QRect(12, -7, 320, 200))
        << "the crop shown meanwhile is the one in force";
    changes = 0;
    page->ApplySourceSettings();
    Drain();
    const SourceSettings& s = page->Settings();
    EXPECT_EQ(QRect(s.cropOriginX, s.cropOriginY, s.cropWidth, s.cropHeight), QRect(12, -7, 320, 200));
    EXPECT_EQ(QSize(s.resizeWidth, s.resizeHeight), QSize(640, 480));
    const QStringList shown = {"12", "-7", "320", "200", "640", "480"};
    for (int edit = 0; edit < CSourceMain::EditCount; ++edit)
        EXPECT_EQ(page->EditAt(CSourceMain::Edit(edit))->text(), shown[edit]) << "shown again: " << edit;
    EXPECT_EQ(owner.available, 0) << "nothing changed, nothing announced";
    EXPECT_EQ(changes, 0) << "showing the values again is no change of the user's";

    Type(CSourceMain::CropWidth, "0");
    page->ApplySourceSettings();
    EXPECT_EQ(page->Settings().cropWidth, 0) << "a 0 typed is a 0";
}

TEST_F(SourcePageTest, ARadioButtonActsOnTheSourcesBeforeApply)
{
    Make({"SourceType = 1", "SourceFileCollectDirectory = " + dir.path()});
    EXPECT_FALSE(page->FileSource()->MonitorActive());
    EXPECT_TRUE(page->FileSource()->isHidden());
    page->CollectFileButton()->click();
    EXPECT_TRUE(page->FileSource()->MonitorActive()) << "the monitor starts at once";
    EXPECT_FALSE(page->FileSource()->isHidden());
    EXPECT_TRUE(page->VideoSource()->isHidden());
    EXPECT_EQ(page->Settings().sourceType, 1) << "not applied yet";
    page->RefreshPage();
    EXPECT_FALSE(page->FileSource()->MonitorActive()) << "reverting stops it again";
    page->CollectFileButton()->click();
    page->ApplySourceSettings();
    EXPECT_EQ(page->Settings().sourceType, 0);
    EXPECT_TRUE(page->FileSource()->MonitorActive());
}

TEST_F(SourcePageTest, StatusTextsAndAnUnknownSourceType)
{
    Make({"SourceType = 1"});
    EXPECT_EQ(page->GetSourceStatusText(), "Source: Video Device - Disconnected");
    Make({"SourceType = 0", "SourceFileCollectDirectory = " + dir.path()});
    EXPECT_EQ(page->GetSourceStatusText(), "Source: File - No Image Available");

    Make({"SourceType = 2"});
    EXPECT_FALSE(page->CollectFileButton()->isChecked());
    EXPECT_FALSE(page->VideoDeviceButton()->isChecked());
    EXPECT_EQ(page->GetSourceStatusText(), "");
    page->RequestImage(&owner, false);
    QTest::qWait(50);
    EXPECT_TRUE(owner.answers.empty()) << "no source, no answer";
    page->ApplySourceSettings();
    EXPECT_EQ(page->Settings().sourceType, 2) << "neither button checked keeps the type";
    SettingsList written;
    page->SaveSettings(written);
    EXPECT_EQ(written.first(), "SourceType = 2");
}

TEST_F(SourcePageTest, SourceErrorsGoToTheOwnerWithTheirText)
{
    Make();
    page->ReportSourceError("Device lost");
    Drain();
    ASSERT_EQ(owner.notifyCodes.size(), 1u);
    EXPECT_EQ(owner.notifyCodes[0], 0x80000000LL);
    EXPECT_EQ(owner.notifyTexts[0], "Device lost");

    CSourceMain orphan(clock, dir.path() + "/");
    orphan.ReportSourceError("nobody listens");
    orphan.AnnounceNewImage();
    Drain();
    EXPECT_EQ(owner.notifyCodes.size(), 1u) << "without an owner nothing is posted";
}

TEST_F(SourcePageTest, TheVideoSourceAnswersNothingWithoutACaptureThread)
{
    Make({"SourceType = 1", "SourceVideoDeviceID = /dev/v4l/by-id/cam"});
    page->RequestImage(&owner, false);
    QTest::qWait(50);
    EXPECT_TRUE(owner.answers.empty());
    page->ApplySourceSettings();
    EXPECT_EQ(page->Settings().videoDeviceId, "/dev/v4l/by-id/cam") << "the stored device stays";
}
