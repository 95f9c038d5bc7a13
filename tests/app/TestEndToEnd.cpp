#include "CConfiguration.h"
#include "CFramewrightDlg.h"
#include "CImagePreview.h"
#include "Clock.h"
#include "EventLog.h"
#include "FtpServer.h"
#include "GatedClock.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "LogRecorder.h"
#include "ManualClock.h"
#include "RecordingTrayPresenter.h"
#include "SmtpServers.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/TestCameraProvider.h"
#include "captions/CaptionEngine.h"
#include "control/CControl.h"
#include "pages/CControlPage.h"
#include "pages/CSourceFile.h"
#include "pages/CSourceMain.h"
#include "pages/CSourceVideoDevice.h"
#include "pages/CSourceVideoDeviceFloatingWindow.h"
#include "pages/CVideoView.h"
#include "service/EngineSet.h"
#include "sources/SourceEngine.h"
#include "sources/VideoSourceEngine.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace {
// Every log line so far, for a failure's message.
std::string LogLines(const LogRecorder& log)
{
    QStringList all;
    for (const auto& entry : log.entries)
        all << entry.text;
    return all.join("\n").toStdString();
}

void DropJpeg(const QString& path, int width, int height)
{
    QByteArray bytes;
    ASSERT_EQ(EncodeImageToStream(GradientFrame(width, height, 24), bytes, ImageFormat::Jpeg, 85), 0);
    const QString temporary = path + ".part";
    QFile file(temporary);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    ASSERT_TRUE(QFile::rename(temporary, path));
}
} // namespace

// What a new user does: enable the archive and captions, choose "Collect File", Apply, Start,
// drop a photo, find the captioned copy in the archive, Stop, Exit.
TEST(EndToEnd, ANewUserArchivesACaptionedPhotoDroppedIntoTheDirectory)
{
    QTemporaryDir home, drop;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    LogRecorder log;
    TrayRecord tray;
    CFramewrightDlg dialog(SystemClock(), data);
    // The log page takes the entries from here on; the recorder sees them first.
    dialog.Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    SetLogReceiver(&log);
    auto* control = static_cast<CControlPage*>(dialog.PageAt(CFramewrightDlg::Control));
    CSourceMain* source = dialog.SourcePage();

    control->ArchiveCheck()->click();
    control->CaptionsCheck()->click();
    source->CollectFileButton()->click();
    source->FilePage()->ShowSettings(drop.path(), "*.jpg", false);
    dialog.ApplyButton()->click();
    ASSERT_TRUE(control->OnArrivalButton()->isEnabled()) << "the file source is applied";
    control->OnArrivalButton()->click();
    dialog.ApplyButton()->click();
    control->StartButton()->click();
    ASSERT_EQ(dialog.Controller()->ProcessingState(), CControl::State::Waiting);
    EXPECT_EQ(control->FirstStatusLine()->text(), "Waiting for new image");

    DropJpeg(drop.filePath("photo.jpg"), 640, 480);
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Processing cycle ended").isEmpty(); }, 15000));
    const QStringList archived = FilesUnder(data, "*.jpg");
    ASSERT_EQ(archived.size(), 1) << archived.join(", ").toStdString();
    ImageFrame copy;
    ASSERT_EQ(LoadImageFile(copy, archived[0]), 0);
    EXPECT_EQ(copy.Width(), 640);
    // The first caption is drawn in purple at the top left; the gradient has no such colour.
    bool purple = false;
    for (int y = 25; y < 60 && !purple; ++y)
        for (int x = 0; x < 200 && !purple; ++x) {
            const Rgb pixel = PixelAt(copy, x, y);
            purple = pixel.red > 90 && pixel.blue > 90 && pixel.green < 50;
        }
    EXPECT_TRUE(purple) << "the archived copy carries its captions";

    QStringList steps;
    for (const auto& entry : log.entries)
        steps << entry.text;
    const QStringList expected = {"Processing started", "Loaded file photo.jpg", "Processing cycle begun at ",
                                  "Archive - Archived OK - " + archived[0], "Processing cycle ended"};
    int at = 0;
    for (const QString& line : steps)
        if (at < expected.size() && line.startsWith(expected[at]))
            ++at;
    EXPECT_EQ(at, expected.size()) << steps.join("\n").toStdString();
    EXPECT_EQ(dialog.Controller()->Stats().cycles, 1);

    // The Preview page has the cycle's captioned image and its time; it scales it only when seen.
    CImagePreview* preview = dialog.PreviewPage();
    EXPECT_EQ(preview->Image().Width(), 640);
    EXPECT_TRUE(
        QRegularExpression(R"(^\d\d:\d\d:\d\d  \d\d/\d\d/\d{4}$)").match(preview->TimeText()).hasMatch())
        << preview->TimeText().toStdString();
    EXPECT_EQ(preview->Rescales(), 0);
    dialog.Pages()->setCurrentIndex(CFramewrightDlg::Preview);
    dialog.ShowWindow();
    ASSERT_TRUE(WaitUntil([&] { return preview->PictureShown(); }, 3000));
    EXPECT_EQ(preview->Rescales(), 1);
    preview->DetachTo(QPoint(40, 40));
    ASSERT_NE(preview->FloatingWindow(), nullptr);
    EXPECT_EQ(preview->FloatingWindow()->windowTitle(), preview->TimeText());
    EXPECT_FALSE(preview->FloatingWindow()->windowIcon().isNull()) << "the window has its own icon";

    control->StopButton()->click();
    EXPECT_EQ(control->FirstStatusLine()->text(), "Stopped");
    SetLogReceiver(nullptr);
    QSignalSpy finished(&dialog, &CFramewrightDlg::ExitFinished);
    dialog.ExitProgram();
    EXPECT_EQ(finished.count(), 1);
}

// Two real cycles on the stroke of a two-second interval, with the real clock.
TEST(EndToEnd, AnIntervalOnTheStrokeRunsACycleEveryPeriod)
{
    QTemporaryDir home, drop;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    QDir().mkpath(data);
    QFile settings(data + "Pixlet.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(("SourceType = 0\r\nSourceFileCollectDirectory = " + drop.path() +
                    "\r\nArchiveSaveDelay = 0\r\nArchiveSubdirectoryAndFilename = <HH><MM><SS>.jpg\r\n"
                    "ControlEnableArchive = Yes\r\nControlProcessCycleTime = 2\r\n"
                    "ControlProcessOnExactStroke = Yes\r\nControlStartOnLoad = Yes\r\n")
                       .toUtf8());
    settings.close();
    LogRecorder log;
    TrayRecord tray;
    CFramewrightDlg dialog(SystemClock(), data);
    dialog.Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    SetLogReceiver(&log);
    ASSERT_EQ(dialog.Controller()->ProcessingState(), CControl::State::Waiting) << "started on load";

    DropJpeg(drop.filePath("a.jpg"), 64, 48);
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Processing cycle ended").size() == 1; }, 6000));
    DropJpeg(drop.filePath("b.jpg"), 64, 48);
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Processing cycle ended").size() == 2; }, 6000));
    for (const QString& begun : log.Starting("Processing cycle begun at ")) {
        const int second = begun.right(2).toInt();
        EXPECT_EQ(second % 2, 0) << begun.toStdString() << ": on the stroke of two seconds";
    }
    SetLogReceiver(nullptr);
    dialog.ExitProgram();
}

// With FTP enabled against a real server, a dropped photo and its thumbnail arrive there and
// the log tells each step.
TEST(EndToEnd, ADroppedPhotoIsUploadedWithItsThumbnail)
{
    FtpServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir home, drop;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    QDir().mkpath(data);
    QFile settings(data + "Pixlet.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(
        ("SourceType = 0\r\nSourceFileCollectDirectory = " + drop.path() +
         "\r\nFTPServer = 127.0.0.1\r\nFTPPort = " + QString::number(server.Port()) +
         "\r\nFTPUsername = " + FtpServer::User + "\r\nFTPPassword = " + FtpServer::Password +
         "\r\nFTPEncryptPassword = No\r\nFTPThumbnailEnable = Yes\r\n"
         "FTPThumbnailDestinationFilename = thumb.jpg\r\n"
         "ControlEnableFTP = Yes\r\nControlProcessCollectionType = 1\r\nControlStartOnLoad = Yes\r\n")
            .toUtf8());
    settings.close();
    LogRecorder log;
    TrayRecord tray;
    CFramewrightDlg dialog(SystemClock(), data);
    dialog.Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    SetLogReceiver(&log);
    DropJpeg(drop.filePath("a.jpg"), 200, 100);
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Processing cycle ended").isEmpty(); }, 15000));
    QStringList steps;
    for (const auto& entry : log.entries) {
        if (entry.text.startsWith("FTP - "))
            steps << entry.text.left(entry.text.indexOf(" K/S") > 0 ? entry.text.indexOf(" - ", 6) : -1);
    }
    EXPECT_EQ(steps, (QStringList{"FTP - Connecting to 127.0.0.1", "FTP - Uploading Pixlet Image.jpg",
                                  "FTP - Upload completed OK", "FTP - Uploading thumb.jpg",
                                  "FTP - Upload completed OK", "FTP - Connection closed"}));
    ImageFrame thumb;
    ASSERT_EQ(LoadImageFile(thumb, QDir(server.Home()).filePath("thumb.jpg")), 0);
    EXPECT_EQ(thumb.Width(), 160);
    EXPECT_TRUE(QFile::exists(QDir(server.Home()).filePath("Pixlet Image.jpg")));
    EXPECT_EQ(dialog.Controller()->Stats().ftpCycles, 2);
    SetLogReceiver(nullptr);
    dialog.ExitProgram();
}

// With e-mail enabled against aiosmtpd, a dropped photo arrives as a message with the log
// telling each step.
TEST(EndToEnd, ADroppedPhotoIsMailed)
{
    AiosmtpdServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir home, drop;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    QDir().mkpath(data);
    QFile settings(data + "Pixlet.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(
        ("SourceType = 0\r\nSourceFileCollectDirectory = " + drop.path() +
         "\r\nEmailServer = 127.0.0.1\r\nEmailPort = " + QString::number(server.Port()) +
         "\r\nEmailToAddress = viewer@example.net\r\nEmailFrom Address = cam@example.net\r\n"
         "ControlEnableEmail = Yes\r\nControlProcessCollectionType = 1\r\nControlStartOnLoad = Yes\r\n")
            .toUtf8());
    settings.close();
    LogRecorder log;
    TrayRecord tray;
    CFramewrightDlg dialog(SystemClock(), data);
    dialog.Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    SetLogReceiver(&log);
    DropJpeg(drop.filePath("a.jpg"), 120, 90);
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Processing cycle ended").isEmpty(); }, 20000));
    QStringList steps;
    for (const auto& entry : log.entries) {
        if (entry.text.startsWith("SMTP - "))
            steps << entry.text;
    }
    EXPECT_EQ(steps, (QStringList{"SMTP - Sending email to: viewer@example.net", "SMTP - Email sent OK"}));
    EXPECT_TRUE(WaitUntil([&] { return QFile::exists(QDir(server.Directory()).filePath("1.eml")); }));
    EXPECT_EQ(dialog.Controller()->Stats().emailCycles, 1);
    SetLogReceiver(nullptr);
    dialog.ExitProgram();
}

// The camera instead of a directory: the archived image is the camera's picture with its
// captions, and Exit while connected does not wait for the capture.
TEST(EndToEnd, ACameraStillIsCaptionedAndArchived)
{
    ASSERT_TRUE(TestCameraProvider::Enable(1));
    QTemporaryDir home;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    LogRecorder log;
    TrayRecord tray;
    CFramewrightDlg dialog(SystemClock(), data);
    dialog.Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    SetLogReceiver(&log);
    auto* control = static_cast<CControlPage*>(dialog.PageAt(CFramewrightDlg::Control));
    CSourceMain* source = dialog.SourcePage();
    control->ArchiveCheck()->click();
    control->CaptionsCheck()->click();
    source->VideoDeviceButton()->click();
    QListWidget* devices = source->VideoPage()->DeviceList();
    ASSERT_TRUE(WaitUntil([&] { return devices->count() == 1; }));
    devices->item(0)->setCheckState(Qt::Checked);
    // A camera is sampled at an interval: every second here.
    control->CycleTimeEdit()->setText("1");
    dialog.ApplyButton()->click();
    ASSERT_TRUE(WaitUntil(
        [&] { return dialog.Sources()->GetSourceStatusText().contains("Connected to Pixlet Test Camera"); }));
    control->StartButton()->click();
    // The archive writes a moment after the cycle.
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Archive - Archived OK").isEmpty(); }, 15000))
        << LogLines(log);
    const QStringList archived = FilesUnder(data, "*.jpg");
    ASSERT_GE(archived.size(), 1) << "the next cycle may have come too";
    ImageFrame copy;
    ASSERT_EQ(LoadImageFile(copy, archived[0]), 0);
    EXPECT_EQ(copy.Width(), 640);
    EXPECT_EQ(copy.Height(), 480);
    bool purple = false;
    for (int y = 25; y < 60 && !purple; ++y)
        for (int x = 0; x < 200 && !purple; ++x) {
            const Rgb pixel = PixelAt(copy, x, y);
            purple = pixel.red > 90 && pixel.blue > 90 && pixel.green < 50;
        }
    EXPECT_TRUE(purple) << "the camera's picture carries its captions";

    SetLogReceiver(nullptr);
    QElapsedTimer timer;
    timer.start();
    dialog.ExitProgram();
    EXPECT_LT(timer.elapsed(), 2500) << "Exit while connected";
    TestCameraProvider::Enable(0);
}

// What a new user does with the crop: turn it on, detach the live video into its own window, drag
// the crop's corner there, Apply; the next processed image is the part dragged out.
TEST(EndToEnd, ACropDraggedOnTheDetachedLiveVideoCropsTheNextImage)
{
    ASSERT_TRUE(TestCameraProvider::Enable(1));
    QTemporaryDir home;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    LogRecorder log;
    TrayRecord tray;
    CFramewrightDlg dialog(SystemClock(), data);
    dialog.Initialise(std::make_unique<RecordingTrayPresenter>(tray));
    SetLogReceiver(&log);
    auto* control = static_cast<CControlPage*>(dialog.PageAt(CFramewrightDlg::Control));
    CSourceMain* source = dialog.SourcePage();
    control->ArchiveCheck()->click();
    source->VideoDeviceButton()->click();
    source->CropCheck()->click();
    for (auto [edit, value] : {std::pair{CSourceMain::OriginX, "0"},
                               {CSourceMain::OriginY, "0"},
                               {CSourceMain::CropWidth, "640"},
                               {CSourceMain::CropHeight, "480"}})
        source->EditAt(edit)->setText(value);
    QListWidget* devices = source->VideoPage()->DeviceList();
    ASSERT_TRUE(WaitUntil([&] { return devices->count() == 1; }));
    devices->item(0)->setCheckState(Qt::Checked);
    control->CycleTimeEdit()->setText("1");
    dialog.ApplyButton()->click();
    ASSERT_TRUE(WaitUntil(
        [&] { return dialog.Sources()->GetSourceStatusText().contains("Connected to Pixlet Test Camera"); }));
    dialog.Pages()->setCurrentIndex(CFramewrightDlg::Source);
    dialog.ShowWindow();
    ASSERT_TRUE(WaitUntil([&] { return dialog.Sources()->VideoSource()->LastStill().Width() == 640; }));

    source->VideoPage()->DetachTo(QPoint(0, 0));
    // The window goes with the connection: should the camera be lost meanwhile, the test says
    // so with the log rather than touching a closed window.
    QPointer<CSourceVideoDeviceFloatingWindow> window = source->VideoPage()->FloatingWindow();
    ASSERT_NE(window, nullptr);
    QPointer<CVideoView> view = window->View();
    ASSERT_EQ(view->size(), QSize(640, 480)) << "the camera's size: a window pixel is an image pixel";
    const auto logText = [&] {
        QString text;
        for (const auto& entry : log.entries)
            text += entry.text + '\n';
        return text.toStdString();
    };
    ASSERT_TRUE(WaitUntil([&] { return !view || view->LiveFramesShown() > 0; }));
    ASSERT_FALSE(view.isNull()) << "the floating window closed:\n" << logText();
    // The bottom-right corner, from the picture's corner to (400, 300).
    const auto move = [&](const QPoint& at, Qt::MouseButtons buttons) {
        QMouseEvent event(QEvent::MouseMove, QPointF(at), view->mapToGlobal(QPointF(at)), Qt::NoButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &event);
    };
    move(QPoint(639, 479), Qt::NoButton);
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(639, 479));
    move(QPoint(500, 400), Qt::LeftButton);
    move(QPoint(400, 300), Qt::LeftButton);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(400, 300));
    EXPECT_EQ(source->EditAt(CSourceMain::CropWidth)->text(), "400");
    EXPECT_EQ(source->EditAt(CSourceMain::CropHeight)->text(), "300");
    EXPECT_TRUE(dialog.ApplyButton()->isEnabled());
    dialog.ApplyButton()->click();
    ASSERT_TRUE(dialog.Sources()->Settings().crop);
    ASSERT_EQ(dialog.Sources()->Settings().cropWidth, 400);
    ASSERT_EQ(dialog.Sources()->Settings().cropHeight, 300);

    // A still asked for just before Apply (the caption sample's, while stopped) may carry the
    // crop it was asked under into the first cycle; the cycles after it carry the new one.
    control->StartButton()->click();
    const auto croppedArchived = [&] {
        for (const QString& file : FilesUnder(data, "*.jpg")) {
            ImageFrame copy;
            if (LoadImageFile(copy, file) == 0 && copy.Width() == 400 && copy.Height() == 300)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(WaitUntil(croppedArchived, 15000)) << LogLines(log);
    EXPECT_EQ(window.data(), source->VideoPage()->FloatingWindow()) << "still detached while processing";

    SetLogReceiver(nullptr);
    dialog.ExitProgram();
    TestCameraProvider::Enable(0);
}

TEST(EndToEnd, ExitEndsWithinItsBudgetWhileACaptionJobIsStuck)
{
    QTemporaryDir home, drop;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    QDir().mkpath(data);
    QFile settings(data + "Pixlet.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(("SourceType = 0\r\nSourceFileCollectDirectory = " + drop.path() +
                    "\r\nControlEnableCaptions = Yes\r\nControlEnableArchive = "
                    "Yes\r\nControlProcessCollectionType = 1\r\n"
                    "CaptionNumberOfCaptions = 1\r\nCaption0Text = <HH>:<MM>\r\nCaption0TextAlpha = 255\r\n"
                    "Caption0FontSize = 20\r\nControlStartOnLoad = Yes\r\n"
                    "LogSaveToDisk  = Yes\r\nLogPathAndFilename = " +
                    home.filePath("pixlet.log") + "\r\n")
                       .toUtf8());
    settings.close();
    // Worker threads asking the time wait at the closed gate: a caption job stuck like one
    // reading from a hung network file system.
    GatedClock clock(SystemClock());
    clock.Close();
    TrayRecord tray;
    {
        CFramewrightDlg dialog(clock, data);
        dialog.Initialise(std::make_unique<RecordingTrayPresenter>(tray));
        DropJpeg(drop.filePath("photo.jpg"), 64, 48);
        if (!WaitUntil([&] { return clock.WaitForArrival(0); }, 15000)) {
            QFile file(home.filePath("pixlet.log"));
            file.open(QIODevice::ReadOnly);
            FAIL() << "the caption job never started:\n" << file.readAll().toStdString();
        }

        dialog.SetExitBudgetMs(1500);
        QElapsedTimer exiting;
        exiting.start();
        dialog.ExitProgram();
        EXPECT_LT(exiting.elapsed(), 3000);
        EXPECT_GE(exiting.elapsed(), 1400) << "the worker was given its time";
        EXPECT_TRUE(dialog.WorkersLeftBehind());
        QFile file(home.filePath("pixlet.log"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().contains(
            "Captions - the caption worker did not finish within 1.5 s - left behind at exit"))
            << "the reason reaches the log file before the program ends";
        // The program would end here without tearing anything down; the test lets the
        // worker go so that the window can be destroyed.
        clock.Open();
    }
}
