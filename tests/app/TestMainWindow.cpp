#include "CConfiguration.h"
#include "CFramewrightDlg.h"
#include "CLog.h"
#include "ManualClock.h"
#include "RecordingTrayPresenter.h"
#include "Utils/Classes/CTrayIcon.h"
#include "Utils/Controls/CEditBrowseCtrlEx.h"
#include "Utils/Controls/CListBoxColour.h"
#include "captions/CaptionEngine.h"
#include "control/CControl.h"
#include "pages/CCaptionMain.h"
#include "service/EngineSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

struct MainWindowTest : ::testing::Test
{
    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC)};
    TrayRecord tray;
    std::unique_ptr<CFramewrightDlg> dialog;

    QString Data() const { return dir.path() + "/Quellmoor Software/Pixlet/"; }

    void Start(bool withTray = true)
    {
        dialog = std::make_unique<CFramewrightDlg>(clock, Data());
        dialog->Initialise(withTray ? std::make_unique<RecordingTrayPresenter>(tray) : nullptr);
        dialog->show();
        QCoreApplication::processEvents();
    }

    void WriteSettings(const QString& text)
    {
        QDir().mkpath(Data());
        QFile file(Data() + "Pixlet.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    QStringList LogTexts() const
    {
        QCoreApplication::processEvents();
        QStringList texts;
        auto* list = dialog->LogPage()->List();
        for (int i = 0; i < list->Count(); ++i)
            texts << Utils::Controls::CListBoxColour::SplitLine(list->Line(i)).text.mid(21);
        return texts;
    }
};
} // namespace

TEST_F(MainWindowTest, TenTabsInOrder)
{
    Start();
    const QStringList expected = {"Control", "Source",  "Captions", "FTP",      "Email",
                                  "Archive", "Preview", "Log",      "Advanced", "About"};
    ASSERT_EQ(dialog->Pages()->count(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(dialog->Pages()->tabText(i), expected[i]);
    EXPECT_EQ(dialog->Pages()->currentIndex(), 0);
    EXPECT_EQ(dialog->windowTitle(), "Pixlet");
}

TEST_F(MainWindowTest, FirstRunShowsTheWindowAndWritesDefaults)
{
    Start();
    EXPECT_TRUE(dialog->isVisible());
    const QStringList log = LogTexts();
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[0].startsWith("Pixlet Initialising - version ")) << log[0].toStdString();
    EXPECT_EQ(log[1], "Data directory is " + Data());
    EXPECT_EQ(log[2], "Could not open settings file - Using defaults");
    QStringList expected = {"FTPServer = ",
                            "FTPPort = 21",
                            "FTPUsername = ",
                            "FTPPassword = ",
                            "FTPSavePassword = Yes",
                            "FTPEncryptPassword = Yes",
                            "FTPDestinationDirectory = ",
                            "FTPDestinationFilename = Pixlet Image.jpg",
                            "FTPThumbnailEnable = No",
                            "FTPThumbnailDestinationDirectory = ",
                            "FTPThumbnailDestinationFilename = ",
                            "FTPThumbnailWidth = 160",
                            "FTPThumbnailHeight = 120",
                            "FTPUploadUnderTemporaryName = Yes",
                            "FTPProtocol = FTP",
                            "FTPPassiveMode = No",
                            "FTPCertificateSHA256 = ",
                            "FTPPrivateKeyFile = ",
                            "FTPKnownHostsFile = ",
                            ""};
    expected << "EmailServer = "
             << "EmailPort = 25"
             << "EmailSubject = "
             << "EmailFilename = Pixlet Image.jpg"
             << "EmailToAddress = "
             << "EmailFrom Address = "
             << "EmailSecurity = None"
             << "EmailUsername = "
             << "EmailPassword = "
             << "EmailSavePassword = Yes"
             << "EmailEncryptPassword = Yes"
             << "EmailCertificateSHA256 = "
             << "";
    expected << "CaptionNumberOfCaptions = 2"
             << "";
    const QStringList texts = {"Caption Example 1", "Caption Example 2 - The time is <HH>:<MM>:<SS>"};
    const QStringList colours = {"127, 0, 127", "0, 0, 0"};
    const QStringList positions = {"0,30", "0,60"};
    for (int i = 0; i < 2; ++i) {
        const QString key = QString("Caption%1").arg(i);
        expected << key + "Text = " + texts[i] << key + "TextColour = " + colours[i]
                 << key + "TextAlpha = 255" << key + "BackgroundColour = 255, 255, 255"
                 << key + "BackgroundAlpha = 0" << key + "Position = " + positions[i] << key + "Justify = 0"
                 << key + "Font = Arial" << key + "FontSize = 20" << key + "FontItalic = No"
                 << key + "FontWeight = 400"
                 << "";
    }
    for (int j = 0; j < 16; ++j)
        expected << QString("CaptionCustomColour%1 = 0,0,0").arg(j);
    expected << ""
             << "CaptionSampleBorderHatchStyle = HatchStyleBackwardDiagonal"
             << "";
    expected << "SourceType = 1"
             << "SourceFileCollectDirectory = " + Data() << "SourceFileCollectMask = *.jpg"
             << "SourceFileCollectDeleteOnCollection = No"
             << "SourceFileCollectDirectoryMonitorErrorRetryTimeout = 60000"
             << "SourceFileCollectCollectDelay = 0"
             << "SourceFileCollectDeleteDelay = 0"
             << "SourceVideoDeviceID = "
             << "SourceVideoDeviceLowCPU = No"
             << "SourceVideoDeviceLowCPUInterframeDelay = 1000"
             << "SourceVideoDeviceEnableVMRMixer = Yes"
             << "SourceVideoDeviceUseVMR9 = Yes"
             << "SourceResize = No"
             << "SourceResizeWidth = 800"
             << "SourceResizeHeight = 600"
             << "SourceCrop = No"
             << "SourceCropOriginX = 100"
             << "SourceCropOriginY = 100"
             << "SourceCropWidth = 320"
             << "SourceCropHeight = 240"
             << "SourceCropHatchStyle = HatchStyleBackwardDiagonal"
             << "SourceVideoDeviceFormat = "
             << "SourceNetworkCameraTimeout = 10000"
             << "SourceNetworkCameraCount = 0"
             << "";
    expected << "ArchiveRootDirectory = " + Data() << "ArchiveSubdirectoryAndFilename = <HH><MM><SS>.jpg"
             << "ArchiveSaveDelay = 1000"
             << "";
    expected << "LogSaveToDisk  = No"
             << "LogMaxListboxEntries = 1000"
             << "LogPathAndFilename = " + Data() + "pixlet.log"
             << "LogFileMaxSizeMB = 10"
             << "LogFileKeep = 5"
             << "";
    expected << "AdvancedJPEGQuality = 75"
             << "AdvancedOutboxMaxImages = 500"
             << "AdvancedOutboxMaxMB = 256"
             << "";
    expected << "ControlProcessCycleTime = 300"
             << "ControlProcessOnExactStroke = No"
             << "ControlProcessCollectionType = 0"
             << "ControlEnableCaptions = No"
             << "ControlEnableArchive = No"
             << "ControlEnableFTP = No"
             << "ControlEnableEmail = No"
             << "ControlStartOnLoad = No"
             << "ControlAnimateTrayIcon = Yes"
             << "ControlStartMinimised = No"
             << "";
    const QStringList written = ReadText(Data() + "Pixlet.ini").split("\r\n");
    ASSERT_EQ(written.size(), expected.size() + 1) << "every line ends in CR LF";
    for (int line = 0; line < expected.size(); ++line)
        EXPECT_EQ(written[line], expected[line]) << "line " << line + 1;
    EXPECT_EQ(dialog->Engines().Captions().AppliedCaptions().size(), 2u);
    EXPECT_EQ(dialog->CaptionsPage()->Tabs()->currentIndex(), 0);
    EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
}

TEST_F(MainWindowTest, StartMinimisedShowsOnlyTheTrayIcon)
{
    WriteSettings("ControlStartMinimised = Yes\r\n");
    Start();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->WindowMayShow());
    EXPECT_FALSE(ReadText(Data() + "Pixlet.ini").contains("Log"))
        << "an existing file is not rewritten at start";
    dialog->OnTrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(MainWindowTest, CancelAfterAnEditHidesRefreshesAndBalloonsOnce)
{
    Start();
    CLog* log = dialog->LogPage();
    log->SaveCheck()->setChecked(true);
    EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
    QPushButton* cancel = nullptr;
    for (auto* button : dialog->findChildren<QPushButton*>())
        if (button->text() == "Cancel")
            cancel = button;
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(log->SaveCheck()->isChecked()) << "the page shows the applied value again";
    EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
    dialog->ShowWindow();
    EXPECT_TRUE(dialog->isVisible());
    dialog->HideToTray();
    EXPECT_EQ(tray.balloons, std::vector<QString>{"The application is now running in the System Tray."});
}

TEST_F(MainWindowTest, EnterInAnyEditAppliesSavesAndHides)
{
    Start();
    CLog* log = dialog->LogPage();
    dialog->Pages()->setCurrentIndex(CFramewrightDlg::Log);
    log->SaveCheck()->setChecked(true);
    log->PathEdit()->setText(dir.path() + "/elsewhere.log");
    QTest::keyClick(log->PathEdit(), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(log->CurrentSettings().saveToDisk);
    EXPECT_TRUE(ReadText(Data() + "Pixlet.ini").contains("LogSaveToDisk  = Yes\r\n"));
    EXPECT_TRUE(
        ReadText(Data() + "Pixlet.ini").contains("LogPathAndFilename = " + dir.path() + "/elsewhere.log"));
    EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
}

TEST_F(MainWindowTest, EscapeAndTheCloseBoxHideToTheTray)
{
    Start();
    QTest::keyClick(dialog->LogPage()->PathEdit(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    dialog->ShowWindow();
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->WindowMayShow());
    dialog->show(); // a stray request to show is refused while the window may not show
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MainWindowTest, FailedSaveLogsAndKeepsApplyEnabled)
{
    Start();
    // The settings file's place is taken by a directory.
    QFile::remove(Data() + "Pixlet.ini");
    QDir().mkpath(Data() + "Pixlet.ini");
    dialog->LogPage()->SaveCheck()->setChecked(true);
    dialog->OnApply();
    EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
    const QStringList log = LogTexts();
    EXPECT_TRUE(log.last().startsWith("Could not save settings file - ")) << log.last().toStdString();
    EXPECT_GT(log.last().size(), QString("Could not save settings file - ").size());
}

TEST_F(MainWindowTest, AnUnreadableSettingsFileIsKeptAndSetAsideAtTheNextSave)
{
    // Over the size limit: it exists, but is not read.
    WriteSettings("FTPServer = precious.example\r\n");
    {
        QFile file(Data() + "Pixlet.ini");
        ASSERT_TRUE(file.resize(17 * 1024 * 1024));
    }
    Start();
    const QStringList log = LogTexts();
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log[2],
              "Could not read settings file " + Data() +
                  "Pixlet.ini - larger than 16 MB - Using defaults; the file is kept and set aside at "
                  "the next save");
    EXPECT_FALSE(log.contains("Could not open settings file - Using defaults"));
    EXPECT_EQ(QFileInfo(Data() + "Pixlet.ini").size(), 17 * 1024 * 1024) << "not replaced by defaults";
    EXPECT_TRUE(dialog->isVisible()) << "the user should see that the settings are the defaults";

    dialog->OnApply();
    const QStringList kept = QDir(Data()).entryList({"Pixlet.ini.unreadable-*"}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(QFileInfo(Data() + kept[0]).size(), 17 * 1024 * 1024);
    EXPECT_TRUE(ReadText(Data() + kept[0]).startsWith("FTPServer = precious.example"));
    EXPECT_TRUE(LogTexts().contains("Unreadable settings file kept as " + Data() + kept[0]));
    EXPECT_TRUE(ReadText(Data() + "Pixlet.ini").startsWith("FTPServer = \r\n")) << "the new file is written";
    dialog->OnApply();
    EXPECT_EQ(QDir(Data()).entryList({"Pixlet.ini.unreadable-*"}, QDir::Files).size(), 1) << "set aside once";
}

TEST_F(MainWindowTest, APipeInPlaceOfTheSettingsFileDoesNotHoldUpTheStart)
{
    QDir().mkpath(Data());
    ASSERT_EQ(::mkfifo(QFile::encodeName(Data() + "Pixlet.ini").constData(), 0600), 0);
    Start();
    EXPECT_TRUE(LogTexts()[2].startsWith("Could not read settings file ")) << LogTexts()[2].toStdString();
    EXPECT_TRUE(QFileInfo(Data() + "Pixlet.ini").isSymLink() == false &&
                !QFileInfo(Data() + "Pixlet.ini").isFile())
        << "the pipe is left as it is";
}

TEST_F(MainWindowTest, ExitDoesNotSaveAndRemovesTheTrayIcon)
{
    WriteSettings("ControlStartMinimised = No\r\n");
    Start();
    QCoreApplication::processEvents();
    dialog->Tray()->Tick();
    dialog->LogPage()->SaveCheck()->setChecked(true);
    QSignalSpy finished(dialog.get(), &CFramewrightDlg::ExitFinished);
    dialog->ExitProgram();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(tray.removed, 1);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ReadText(Data() + "Pixlet.ini"), "ControlStartMinimised = No\r\n");
    EXPECT_FALSE(LogTexts().contains("Processing stopped"));
}

TEST_F(MainWindowTest, TrayMenuAndModalBeep)
{
    Start();
    QStringList texts;
    for (QAction* action : dialog->TrayMenu()->actions())
        texts << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(texts, QStringList({"Start", "Stop", "-", "Show", "Hide", "-", "Exit"}));
    QSignalSpy start(dialog.get(), &CFramewrightDlg::StartRequested);
    dialog->TrayMenu()->actions()[0]->trigger();
    EXPECT_EQ(start.count(), 1);

    QDialog modal(dialog.get());
    modal.setModal(true);
    modal.show();
    dialog->OnTrayActivated(QSystemTrayIcon::Context);
    EXPECT_FALSE(dialog->TrayMenu()->isVisible()) << "with a modal dialog open the menu does not open";
    modal.hide();
}

TEST_F(MainWindowTest, WithoutATrayTheWindowMinimisesInsteadOfHiding)
{
    WriteSettings("ControlStartMinimised = Yes\r\n");
    Start(false);
    EXPECT_TRUE(LogTexts().contains("Tray Icon not created"));
    EXPECT_TRUE(dialog->WindowMayShow()) << "never left without a way back";
    EXPECT_TRUE(dialog->isMinimized());
    dialog->ShowWindow();
    dialog->HideToTray();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isMinimized());
}

TEST_F(MainWindowTest, StartOnLoadRunsStart)
{
    WriteSettings("ControlStartOnLoad = Yes\r\n");
    dialog = std::make_unique<CFramewrightDlg>(clock, Data());
    QSignalSpy start(dialog.get(), &CFramewrightDlg::StartRequested);
    dialog->Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    EXPECT_EQ(start.count(), 1);
}

TEST_F(MainWindowTest, TheCommandLinesStartAndHiddenActWithoutTouchingTheSettings)
{
    WriteSettings("ControlStartOnLoad = No\r\nControlStartMinimised = No\r\n");
    dialog = std::make_unique<CFramewrightDlg>(clock, Data());
    QSignalSpy start(dialog.get(), &CFramewrightDlg::StartRequested);
    dialog->SetStartOptions(true, true);
    dialog->Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    dialog->show();
    EXPECT_EQ(start.count(), 1) << "--start";
    EXPECT_FALSE(dialog->isVisible()) << "--hidden";
    EXPECT_FALSE(dialog->Controller()->Settings().startOnLoad) << "what the file says stays";
    EXPECT_FALSE(dialog->Controller()->Settings().startMinimised);
    dialog->OnTrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(dialog->isVisible()) << "reachable from the tray";
}
