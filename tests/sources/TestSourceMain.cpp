#include "ImageEncoder.h"
#include "ManualClock.h"
#include "SourceOwner.h"
#include "TestImages.h"
#include "pages/CSourceFile.h"
#include "pages/CSourceMain.h"
#include "pages/CSourceVideoDevice.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceEngine.h"
#include "sources/VideoSourceEngine.h"

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
    std::unique_ptr<SourceEngine> engine;
    std::unique_ptr<CSourceMain> page;

    void Make(const QStringList& settings = {})
    {
        page.reset();
        engine = std::make_unique<SourceEngine>(clock, dir.path() + "/");
        engine->SetOwner(&owner);
        page = std::make_unique<CSourceMain>(*engine);
        engine->LoadSettings(settings);
    }
    void TearDown() override { page.reset(); }
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
    EXPECT_EQ(engine->VideoSource()->InterframeDelay(), 0);

    lowCpu.setChecked(true);
    mixer.setChecked(false);
    page->ApplySourceSettings();
    Drain();
    EXPECT_EQ(owner.available, 0) << "Low CPU and the mixer do not change the image";
    EXPECT_EQ(engine->VideoSource()->InterframeDelay(), 1000);
    EXPECT_TRUE(engine->Settings().videoDeviceLowCpu);
    EXPECT_FALSE(engine->Settings().videoDeviceEnableVmrMixer);

    page->CropCheck()->click();
    page->ApplySourceSettings();
    Drain();
    EXPECT_EQ(owner.available, 1);
    EXPECT_FALSE(engine->AnnouncePending()) << "the announcement clears the flag";

    page->EditAt(CSourceMain::CropWidth)->setText("64");
    page->ApplySourceSettings();
    Drain();
    EXPECT_EQ(owner.available, 2);
    EXPECT_EQ(engine->Settings().cropWidth, 64);
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
    const SourceSettings& s = engine->Settings();
    EXPECT_EQ(QRect(s.cropOriginX, s.cropOriginY, s.cropWidth, s.cropHeight), QRect(12, -7, 320, 200));
    EXPECT_EQ(QSize(s.resizeWidth, s.resizeHeight), QSize(640, 480));
    const QStringList shown = {"12", "-7", "320", "200", "640", "480"};
    for (int edit = 0; edit < CSourceMain::EditCount; ++edit)
        EXPECT_EQ(page->EditAt(CSourceMain::Edit(edit))->text(), shown[edit]) << "shown again: " << edit;
    EXPECT_EQ(owner.available, 0) << "nothing changed, nothing announced";
    EXPECT_EQ(changes, 0) << "showing the values again is no change of the user's";

    Type(CSourceMain::CropWidth, "0");
    page->ApplySourceSettings();
    EXPECT_EQ(engine->Settings().cropWidth, 0) << "a 0 typed is a 0";
}

TEST_F(SourcePageTest, ARadioButtonActsOnTheSourcesBeforeApply)
{
    Make({"SourceType = 1", "SourceFileCollectDirectory = " + dir.path()});
    EXPECT_FALSE(engine->FileSource()->MonitorActive());
    EXPECT_TRUE(page->FilePage()->isHidden());
    page->CollectFileButton()->click();
    EXPECT_TRUE(engine->FileSource()->MonitorActive()) << "the monitor starts at once";
    EXPECT_FALSE(page->FilePage()->isHidden());
    EXPECT_TRUE(page->VideoPage()->isHidden());
    EXPECT_EQ(engine->Settings().sourceType, 1) << "not applied yet";
    page->RefreshPage();
    EXPECT_FALSE(engine->FileSource()->MonitorActive()) << "reverting stops it again";
    page->CollectFileButton()->click();
    page->ApplySourceSettings();
    EXPECT_EQ(engine->Settings().sourceType, 0);
    EXPECT_TRUE(engine->FileSource()->MonitorActive());
}
