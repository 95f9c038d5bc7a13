#include "GatedClock.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "LogRecorder.h"
#include "ManualClock.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "RecordingTrayPresenter.h"
#include "TestImages.h"
#include "TestOutput.h"
#include "Utils/Classes/CTrayIcon.h"
#include "captions/CaptionEngine.h"
#include "control/AdvancedSettings.h"
#include "control/CControl.h"
#include "control/OutboxCourier.h"
#include "control/TraySequences.h"
#include "outputs/ArchiveEngine.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceEngine.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace {
QDateTime Utc(int hour, int minute, int second, int day = 3)
{
    return QDateTime(QDate(2009, 3, day), QTime(hour, minute, second), Qt::UTC);
}

class ControllerTest : public ::testing::Test
{
protected:
    QTemporaryDir data, watched;
    ManualClock clock{Utc(10, 15, 42)};
    LogRecorder log;
    SourceEngine source{clock, data.path() + "/"};
    // The captions read the time through a gate, so that a test can hold their worker mid-way.
    GatedClock captionClock{clock};
    CaptionEngine captions{captionClock};
    ArchiveEngine archive{clock, data.path() + "/"};
    TestOutput email, ftp;
    AdvancedSettings advanced;
    OutboxCourier outbox{clock, data.path() + "/outbox", advanced};
    CControl control{clock, CControl::Parts{&source, &captions, &archive, &email, &ftp, &outbox}};
    TrayRecord record;
    Utils::Classes::CTrayIcon tray{std::make_unique<RecordingTrayPresenter>(record)};

    void SetUp() override
    {
        // The Source page's start-up lines (the device list) are not the controller's.
        // (the list is made on the first turn of the loop, its log lines arrive on the next)
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        log.entries.clear();
        control.SetTray(&tray);
        source.SetOwner(&control);
        archive.LoadSettings({"ArchiveRootDirectory = " + data.path() + "/archive/", "ArchiveSaveDelay = 0",
                              "ArchiveSubdirectoryAndFilename = <YYYY><MO><DD>/<HH><MM><SS>.jpg"});
    }
    void TearDown() override
    {
        // A test that stopped half-way must not leave a caption worker drawing on the
        // controller's image while the fixture goes.
        captionClock.Open();
        captions.WaitForCaptionJobs();
    }
    void Configure(const std::function<void(ControlSettings&)>& change)
    {
        ControlSettings settings = control.Settings();
        change(settings);
        control.SetSettings(settings);
    }
    // The file source on the watched directory, holding a collected JPEG.
    void CollectFile(const QString& name = "cam.jpg")
    {
        source.LoadSettings({"SourceType = 0", "SourceFileCollectDirectory = " + watched.path()});
        QByteArray bytes;
        ASSERT_EQ(EncodeImageToStream(GradientFrame(160, 120, 24), bytes, ImageFormat::Jpeg, 80), 0);
        QFile file(watched.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        ASSERT_TRUE(WaitUntil(
            [&] { return !log.Starting("Loaded file " + name).isEmpty() && !source.FileSource()->Busy(); }));
        // The announcement and, while stopped, the peek it causes.
        QTest::qWait(50);
    }
    void Post(const char* name, std::int64_t wParam = 0, const QString& text = QString())
    {
        auto* event = new MessageEvent(RegisterNamedMessage(name), wParam);
        if (!text.isNull())
            event->text = text;
        QCoreApplication::postEvent(&control, event);
        // Once for the report, once for the log lines it posts.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    // The tray's six sequences as the main window defines them, one plain icon per artwork
    // number; the stopped icon is in the tray.
    QIcon TrayIcon(int number)
    {
        if (!trayIcons.count(number)) {
            QImage image(16, 16, QImage::Format_RGB32);
            image.fill(qRgb(number % 256, number / 256, 7));
            trayIcons[number] = QIcon(QPixmap::fromImage(image));
        }
        return trayIcons[number];
    }
    qint64 TrayKey(int number) { return TrayIcon(number).cacheKey(); }
    void DefineTraySequences()
    {
        tray.AddIcon(TraySequence::Stopped, TrayIcon(516));
        tray.AddIcon(TraySequence::Waiting, TrayIcon(500));
        tray.AddIcon(TraySequence::Cycle, TrayIcon(500));
        tray.AddIcon(TraySequence::Failed, TrayIcon(501));
        for (int frame = 516; frame >= 505; --frame)
            tray.AddIcon(TraySequence::Starting, TrayIcon(frame));
        tray.AddIcon(TraySequence::Starting, TrayIcon(500));
        tray.AddIcon(TraySequence::Stopping, TrayIcon(500));
        for (int frame = 505; frame <= 516; ++frame)
            tray.AddIcon(TraySequence::Stopping, TrayIcon(frame));
        tray.SetTip("Pixlet");
        tray.SelectSequence(TraySequence::Stopped);
        tray.Tick();
        record.shownIcons.clear();
    }
    std::map<int, QIcon> trayIcons;

    QStringList ArchivedFiles() const
    {
        QStringList files;
        QDirIterator it(data.path() + "/archive", QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        return files;
    }
};
} // namespace

TEST_F(ControllerTest, CaptionsAloneAreNoReasonToStart)
{
    Configure([](ControlSettings& s) { s.enableCaptions = true; });
    QSignalSpy status(&control, &CControl::StatusMessage);
    control.StartProcessing();
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status[0][0].toString(), "Cannot start - No actions enabled");
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(control.ProcessingState(), CControl::State::Stopped);
}

TEST_F(ControllerTest, StartAndStopLogOnlyRealChangesAndScheduleTheStroke)
{
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.cycleTimeSeconds = 60;
        s.exactStroke = true;
    });
    control.StopProcessing();
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.Starting("Processing stopped").isEmpty()) << "it was not running";

    control.StartProcessing();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Processing started").size(), 1);
    EXPECT_EQ(control.ProcessingState(), CControl::State::Waiting);
    EXPECT_EQ(control.NextCycleText(), "10:16:00") << "today: the time only";
    EXPECT_EQ(tray.CurrentSequence(), TraySequence::Waiting);
    EXPECT_EQ(tray.Tip(), "Pixlet");

    Configure([](ControlSettings& s) { s.cycleTimeSeconds = 86400; });
    control.StartProcessing();
    EXPECT_EQ(control.NextCycleText(), "00:00:00 on 04/03/2009") << "another day: with its date";
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Processing started").size(), 2) << "a second Start runs the same steps";

    control.StopProcessing();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Processing stopped").size(), 1);
    EXPECT_FALSE(control.Timer().GetNextDueTime(CControl::TimerName));
    EXPECT_EQ(tray.CurrentSequence(), TraySequence::Stopped);
}

TEST_F(ControllerTest, StartAndStopPlayTheirTrayAnimations)
{
    DefineTraySequences();
    ASSERT_TRUE(tray.Added());
    Configure([](ControlSettings& s) { s.enableArchive = true; });
    control.StartProcessing();
    for (int i = 0; i < 20; ++i)
        tray.Tick();
    std::vector<qint64> starting;
    for (int frame = 515; frame >= 505; --frame)
        starting.push_back(TrayKey(frame));
    starting.push_back(TrayKey(500));
    EXPECT_EQ(record.shownIcons, starting) << "from the stopped icon, frame by frame, to the running one";
    EXPECT_EQ(tray.CurrentSequence(), TraySequence::Waiting);

    record.shownIcons.clear();
    control.StopProcessing();
    for (int i = 0; i < 20; ++i)
        tray.Tick();
    std::vector<qint64> stopping;
    for (int frame = 505; frame <= 516; ++frame)
        stopping.push_back(TrayKey(frame));
    EXPECT_EQ(record.shownIcons, stopping) << "and back again";
    EXPECT_EQ(tray.CurrentSequence(), TraySequence::Stopped);

    record.shownIcons.clear();
    control.StopProcessing();
    tray.Tick();
    EXPECT_TRUE(record.shownIcons.empty()) << "a Stop while stopped plays nothing";
}

TEST_F(ControllerTest, WithoutTrayAnimationTheIconsAndTheFailureTipStillFollowTheState)
{
    DefineTraySequences();
    Configure([](ControlSettings& s) {
        s.enableFtp = true;
        s.animateTrayIcon = false;
    });
    control.StartProcessing();
    tray.Tick();
    tray.Tick();
    EXPECT_EQ(record.shownIcons, std::vector<qint64>{TrayKey(500)}) << "no animation frames in between";

    ftp.state = OutputState::Failed;
    Post(MessageName::FtpNotify, 3, "550 Permission denied");
    tray.Tick();
    EXPECT_EQ(record.shownIcons.back(), TrayKey(501));
    EXPECT_EQ(record.tips.back(), "FTP - Error - 550 Permission denied") << "the tip the user sees";
}

TEST_F(ControllerTest, AnArchiveWritingIntoTheWatchedDirectoryRefusesToStart)
{
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    source.LoadSettings({"SourceType = 0", "SourceFileCollectDirectory = " + watched.path() + "/"});
    archive.LoadSettings(
        {"ArchiveRootDirectory = " + watched.path(), "ArchiveSubdirectoryAndFilename = <HH><MM><SS>.jpg"});
    QSignalSpy status(&control, &CControl::StatusMessage);
    control.StartProcessing();
    EXPECT_EQ(control.ProcessingState(), CControl::State::Stopped)
        << "each archived copy would be collected and archived again, for ever";
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status[0][0].toString(), "Cannot start - the archive writes into the watched directory");
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Cannot start - the archive would write " + watched.path() + "/").size(), 1);

    // Into a subdirectory, or under a name the mask does not take: no loop, it starts.
    archive.LoadSettings(
        {"ArchiveRootDirectory = " + watched.path(), "ArchiveSubdirectoryAndFilename = kept/<HH>.jpg"});
    control.StartProcessing();
    EXPECT_EQ(control.ProcessingState(), CControl::State::Waiting);
    control.StopProcessing();
    archive.LoadSettings(
        {"ArchiveRootDirectory = " + watched.path(), "ArchiveSubdirectoryAndFilename = <HH>.png"});
    control.StartProcessing();
    EXPECT_EQ(control.ProcessingState(), CControl::State::Waiting);
}

TEST_F(ControllerTest, AnOutOfRangeCycleTimeIsClampedAndSaidOnce)
{
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.cycleTimeSeconds = 0;
    });
    control.StartProcessing();
    control.StartProcessing();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Process cycle time of 0 seconds is out of range - using 1 seconds").size(), 1);
    EXPECT_EQ(control.Settings().cycleTimeSeconds, 0) << "the setting itself stays as the user wrote it";
    EXPECT_EQ(control.NextCycleText(), "10:15:43");
}

TEST_F(ControllerTest, AnIntervalCycleCaptionsArchivesAndEnds)
{
    CollectFile();
    captions.AddExampleCaptions();
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.enableCaptions = true;
        s.cycleTimeSeconds = 60;
    });
    QSignalSpy preview(&control, &CControl::PreviewImage);
    control.StartProcessing();
    clock.Advance(60'000);
    control.Timer().Tick();
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Processing cycle ended").isEmpty(); }));
    EXPECT_EQ(log.Starting("Processing cycle begun at ").join(""), "Processing cycle begun at 10:16:42");
    ASSERT_EQ(ArchivedFiles().size(), 1);
    EXPECT_TRUE(ArchivedFiles()[0].endsWith("/archive/20090303/101642.jpg"))
        << ArchivedFiles()[0].toStdString();
    EXPECT_EQ(log.Starting("Archive - Archived OK - ").join(""),
              "Archive - Archived OK - " + ArchivedFiles()[0]);
    EXPECT_EQ(control.Stats().cycles, 1);
    ASSERT_EQ(preview.count(), 1);
    EXPECT_EQ(preview[0][1].toString(), "10:16:42  03/03/2009");
    EXPECT_EQ(email.started, 0) << "not enabled";
    EXPECT_EQ(control.ProcessingState(), CControl::State::Waiting);
    EXPECT_EQ(control.NextCycleText(), "10:17:42");
    // The caption was drawn on the archived copy: it differs from the plain source image.
    ImageFrame plain = SourceImageProcessor::Finish(source.FileSource()->CurrentFrame(), source.Settings());
    bool differs = false;
    for (int y = 0; y < plain.Height() && !differs; ++y)
        for (int x = 0; x < plain.Width() && !differs; ++x)
            differs = std::abs(PixelAt(plain, x, y).red - PixelAt(control.ProcessedImage(), x, y).red) > 40;
    EXPECT_TRUE(differs) << "the captions are on the processed image";

    // Nothing new in the directory: the next tick's request is answered without an image.
    clock.Advance(60'000);
    control.Timer().Tick();
    QTest::qWait(100);
    EXPECT_EQ(log.Starting("Processing cycle begun at ").size(), 1);
}

TEST_F(ControllerTest, OnArrivalTheImageAlreadyCollectedRunsTheFirstCycle)
{
    CollectFile();
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.cycleTimeSeconds = 60;
    });
    control.StartProcessing();
    ASSERT_TRUE(control.Timer().GetNextDueTime(CControl::TimerName));
    // The user switches to arrival mode and applies: Start again, and the ticks must end.
    Configure([](ControlSettings& s) { s.collectionType = ControlSettings::OnArrival; });
    control.StartProcessing();
    EXPECT_FALSE(control.Timer().GetNextDueTime(CControl::TimerName)) << "no interval ticks in arrival mode";
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Processing cycle ended").isEmpty(); }));
    EXPECT_EQ(ArchivedFiles().size(), 1);
}

TEST_F(ControllerTest, ApplyingRestartsOnlyForAScheduleThatChanged)
{
    CollectFile();
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    control.StartProcessing();
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Processing cycle ended").isEmpty(); }));
    ASSERT_EQ(ArchivedFiles().size(), 1);
    // A cycle time means nothing on arrival: applying one publishes nothing again.
    ControlSettings settings = control.Settings();
    settings.cycleTimeSeconds = 45;
    settings.enableFtp = true;
    control.ApplySettings(settings);
    QTest::qWait(100);
    EXPECT_EQ(log.Starting("Processing started").size(), 1);
    EXPECT_EQ(log.Starting("Processing cycle begun").size(), 1) << "the same image is no new cycle";
    EXPECT_EQ(ftp.started, 0);
    // Interval mode with a new interval does start again.
    settings.collectionType = ControlSettings::AtInterval;
    control.ApplySettings(settings);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Processing started").size(), 2);
    settings.cycleTimeSeconds = 90;
    control.ApplySettings(settings);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Processing started").size(), 3);
    EXPECT_TRUE(control.Timer().GetNextDueTime(CControl::TimerName));
}

TEST_F(ControllerTest, AnOutputStillBusyIsSkippedAndTheCycleEndsWhenItIsDone)
{
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.enableFtp = true;
        s.cycleTimeSeconds = 60;
    });
    CollectFile("one.jpg");
    control.StartProcessing();
    clock.Advance(60'000);
    control.Timer().Tick();
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Archive - Archived OK").size() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(ftp.started, 1);
    EXPECT_EQ(control.ProcessingState(), CControl::State::Cycle) << "the upload is still running";
    EXPECT_TRUE(log.Starting("Processing cycle ended").isEmpty());

    // The next tick comes while the upload still runs: the archive goes ahead alone.
    CollectFile("two.jpg");
    clock.Advance(60'000);
    control.Timer().Tick();
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Archive - Archived OK").size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Processing cycle begun at ").size(), 2);
    EXPECT_EQ(ftp.started, 1) << "the busy upload is not started again";
    EXPECT_TRUE(log.Starting("Processing cycle ended").isEmpty());

    ftp.state = OutputState::Idle;
    Post(MessageName::FtpNotify, 2, "one.jpg");
    EXPECT_EQ(log.Starting("FTP - Upload completed OK - one.jpg").size(), 1);
    EXPECT_EQ(log.Starting("Processing cycle ended").size(), 1);
    EXPECT_EQ(control.Stats().ftpCycles, 1);
    EXPECT_EQ(control.ProcessingState(), CControl::State::Waiting);
}

TEST_F(ControllerTest, AnFtpErrorShowsInTheTrayUntilTheNextStart)
{
    Configure([](ControlSettings& s) { s.enableFtp = true; });
    control.StartProcessing();
    ftp.state = OutputState::Failed;
    Post(MessageName::FtpNotify, 3, "550 Permission denied");
    EXPECT_EQ(log.Starting("FTP - Error - 550 Permission denied").size(), 1);
    EXPECT_EQ(log.entries.back().category, 1);
    EXPECT_EQ(tray.CurrentSequence(), TraySequence::Failed);
    EXPECT_EQ(tray.Tip(), "FTP - Error - 550 Permission denied");
    EXPECT_EQ(control.Stats().ftpCycles, 1);
    EXPECT_EQ(control.Stats().ftpErrors, 1);
    EXPECT_EQ(control.Stats().totalErrors, 1);
    EXPECT_EQ(control.Stats().lastError, "10:15:42 - FTP - Error - 550 Permission denied");

    // Only the time in front is expanded: a server reply or a file name keeps its own brackets.
    Post(MessageName::FtpNotify, 3, "Failed to save /tmp/<HH><MM>.jpg prior to FTP Upload");
    EXPECT_EQ(control.Stats().lastError,
              "10:15:42 - FTP - Error - Failed to save /tmp/<HH><MM>.jpg prior to FTP Upload");
    Post(MessageName::FtpNotify, 3, "550 Permission denied");

    control.StopProcessing();
    EXPECT_EQ(tray.Tip(), "FTP - Error - 550 Permission denied") << "the error stays shown while stopped";
    control.StartProcessing();
    EXPECT_EQ(ftp.state, OutputState::Idle);
    EXPECT_EQ(tray.CurrentSequence(), TraySequence::Waiting);
    EXPECT_EQ(tray.Tip(), "Pixlet");
}

TEST_F(ControllerTest, EveryReportCodeAndTheOnesOutsideTheTables)
{
    Configure([](ControlSettings& s) { s.enableEmail = true; });
    control.StartProcessing();
    QCoreApplication::processEvents();
    const size_t before = log.entries.size();
    Post(MessageName::FtpNotify, 0, "ftp.example.net");
    Post(MessageName::FtpNotify, 1, "cam.jpg");
    Post(MessageName::FtpNotify, 4, "ignored");
    Post(MessageName::SmtpNotify, 0);
    Post(MessageName::SmtpNotify, 3, "Connected");
    const QStringList expected = {"FTP - Connecting to ftp.example.net", "FTP - Uploading cam.jpg",
                                  "FTP - Connection closed", "SMTP - Email sent OK", "SMTP - Connected"};
    ASSERT_EQ(log.entries.size(), before + expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(log.entries[before + i].text, expected[i]);

    for (std::int64_t code : {-1, 5, 99})
        Post(MessageName::FtpNotify, code, "x");
    for (std::int64_t code : {-1, 4, 7})
        Post(MessageName::SmtpNotify, code, "x");
    Post(MessageName::SourceNotify, 0, "not an error");
    EXPECT_EQ(log.entries.size(), before + expected.size()) << "codes outside the tables say nothing";
    EXPECT_EQ(control.Stats().totalErrors, 0);

    Post(MessageName::SmtpNotify, 1, "550 mailbox unavailable");
    Post(MessageName::SmtpNotify, 2, "connection refused");
    EXPECT_EQ(control.Stats().emailCycles, 2);
    EXPECT_EQ(control.Stats().emailErrors, 2);
    EXPECT_EQ(log.entries.back().text, "SMTP - Error - connection refused");
    EXPECT_EQ(log.Starting("SMTP - Email failed to send - 550 mailbox unavailable").size(), 1);

    const size_t logged = log.entries.size();
    Post(MessageName::SourceNotify, 0x80000000LL, "Device lost");
    EXPECT_EQ(log.entries.size(), logged) << "source errors are counted, not logged";
    EXPECT_EQ(control.Stats().sourceErrors, 1);
    EXPECT_EQ(control.Stats().totalErrors, 3);
    EXPECT_EQ(control.LastErrorText(), "Device lost");

    Post(MessageName::ImageArchiveNewImageNotify, static_cast<std::int32_t>(0x8007000D), "/x/y.jpg");
    EXPECT_EQ(control.Stats().archiveErrors, 1);
    EXPECT_EQ(control.Stats().totalErrors, 4);
    EXPECT_TRUE(log.entries.back().text.startsWith("Archive - Error - "))
        << log.entries.back().text.toStdString();
    EXPECT_TRUE(log.entries.back().text.endsWith(" saving /x/y.jpg"));
}

namespace {
void PostImage(CControl& control, int width)
{
    auto* event = new MessageEvent(RegisterNamedMessage(MessageName::SourceNewImage));
    event->image = std::make_unique<ImageFrame>(FlatFrame(width, 8, 24, 1, 2, 3));
    QCoreApplication::postEvent(&control, event);
}
} // namespace

TEST_F(ControllerTest, AnImageDuringTheSampleCaptionsWaitsAndRunsWhenTheyAreDone)
{
    // The captions are drawing the editor's sample of an image that came while stopped.
    CCaptionData caption;
    caption.text = "Sample <HH>:<MM>";
    caption.fontSize = 20;
    captions.SetCaptions({caption});
    Configure([](ControlSettings& s) {
        s.enableEmail = true;
        s.enableCaptions = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    captionClock.Close();
    PostImage(control, 64);
    QCoreApplication::processEvents();
    ASSERT_TRUE(captionClock.WaitForArrival()) << "the sample's caption is under way";
    ASSERT_TRUE(captions.CaptionsBusy());

    // Started while they draw: an image now waits; the one being drawn on is left alone.
    control.StartProcessing();
    PostImage(control, 8);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.Starting("Processing cycle begun").isEmpty()) << "an image during the captions";
    EXPECT_EQ(control.ProcessedImage().Width(), 64) << "the image being captioned was not replaced";
    EXPECT_EQ(email.started, 0);

    // The sample is done: the waiting image has its cycle.
    captionClock.Open();
    ASSERT_TRUE(WaitUntil([&] { return email.started == 1; }));
    EXPECT_EQ(control.ProcessedImage().Width(), 8);
    EXPECT_EQ(control.Stats().cycles, 1);
    EXPECT_EQ(control.Stats().skipped, 0);
}

TEST_F(ControllerTest, OnArrivalEveryImageForABusyMailerIsKeptAndMailedInTurn)
{
    Configure([](ControlSettings& s) {
        s.enableEmail = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    control.StartProcessing();
    email.state = OutputState::Busy; // a slow mail server
    for (int width : {8, 9, 10}) {
        PostImage(control, width);
        ASSERT_TRUE(WaitUntil([&] { return control.Stats().cycles == width - 7; }))
            << "each arrival has its cycle";
    }
    EXPECT_EQ(email.started, 0);
    EXPECT_EQ(control.Stats().outboxImages, 3);
    EXPECT_EQ(control.Stats().skipped, 0) << "nothing skipped: every image will be mailed";

    // The mailing ends: the kept images go out one after the other, oldest first.
    email.state = OutputState::Idle;
    Post(MessageName::SmtpNotify, 0);
    for (int sent = 1; sent <= 3; ++sent) {
        ASSERT_TRUE(WaitUntil([&] { return email.started == sent; })) << sent;
        EXPECT_EQ(email.lastImageWidth, 7 + sent);
        email.state = OutputState::Idle;
        Post(MessageName::SmtpDone, 1);
    }
    EXPECT_EQ(control.Stats().outboxImages, 0);
    EXPECT_EQ(email.started, 3);
}

TEST_F(ControllerTest, InIntervalModeAnImageForABusyMailerIsKeptForLater)
{
    Configure([](ControlSettings& s) { s.enableEmail = true; });
    control.StartProcessing();
    email.state = OutputState::Busy;
    PostImage(control, 8);
    ASSERT_TRUE(WaitUntil([&] { return control.Stats().cycles == 1; }));
    EXPECT_EQ(control.Stats().skipped, 0);
    EXPECT_EQ(control.Stats().outboxImages, 1);
    email.state = OutputState::Idle;
    Post(MessageName::SmtpNotify, 0);
    EXPECT_EQ(email.started, 1) << "the kept image goes as soon as the mailer is free";
    EXPECT_EQ(email.lastImageWidth, 8);
}

TEST_F(ControllerTest, OnArrivalAnImageTheSourceGaveUpBeforeItWasTakenIsCountedAsSkipped)
{
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    control.StartProcessing();
    // A newer file replaced the collected image while the crop/resize step was busy.
    Post(MessageName::SourceNotify, SourceEngine::ImageOvertakenCode);
    EXPECT_EQ(control.Stats().skipped, 1);
    EXPECT_EQ(control.Stats().sourceErrors, 0) << "no error";
    PostImage(control, 8);
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Archive - Archived OK").size() == 1; }));
    EXPECT_EQ(log.Starting("1 image(s) skipped while busy").size(), 1) << "said with the next cycle";

    // Stopped, nothing is lost; in interval mode only the image at the tick is meant.
    control.StopProcessing();
    Post(MessageName::SourceNotify, SourceEngine::ImageOvertakenCode);
    Configure([](ControlSettings& s) { s.collectionType = ControlSettings::AtInterval; });
    control.StartProcessing();
    Post(MessageName::SourceNotify, SourceEngine::ImageOvertakenCode);
    EXPECT_EQ(control.Stats().skipped, 1);
}

TEST_F(ControllerTest, AnImageArrivingWhileACycleIsCaptionedRunsRightAfterIt)
{
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    control.StartProcessing();
    // The second arrives before the first cycle has handed its image on.
    PostImage(control, 8);
    PostImage(control, 12);
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Archive - Archived OK").size() == 2; }));
    EXPECT_EQ(log.Starting("Processing cycle begun at ").size(), 2);
    EXPECT_EQ(control.Stats().cycles, 2);
    EXPECT_EQ(control.Stats().skipped, 0) << "nothing was lost";
    ImageFrame last;
    ASSERT_EQ(LoadImageFile(last, archive.LastArchivedPath()), 0);
    EXPECT_EQ(last.Width(), 12);
}

TEST_F(ControllerTest, ImagesForABusyOutputAreKeptAndGoOutOneByOneWhenItIsFree)
{
    Configure([](ControlSettings& s) {
        s.enableArchive = true;
        s.enableFtp = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    control.StartProcessing();
    ftp.state = OutputState::Busy; // a slow server
    PostImage(control, 8);
    PostImage(control, 9);
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Archive - Archived OK").size() == 2; }))
        << "the idle archive archives every arrival";
    EXPECT_EQ(ftp.started, 0);
    EXPECT_EQ(control.Stats().outboxImages, 2);
    ftp.state = OutputState::Idle;
    Post(MessageName::FtpNotify, 2, "old.jpg");
    EXPECT_EQ(ftp.started, 1) << "the oldest kept image goes as soon as the output is free";
    EXPECT_EQ(log.Starting("Processing cycle begun at ").size(), 2) << "without a cycle of its own";
    ftp.state = OutputState::Idle;
    Post(MessageName::FtpDone, 1);
    EXPECT_EQ(ftp.started, 2) << "then the next";
    ftp.state = OutputState::Idle;
    Post(MessageName::FtpDone, 1);
    EXPECT_EQ(control.Stats().outboxImages, 0);
    EXPECT_EQ(ftp.started, 2);
}

TEST_F(ControllerTest, ADeliveryWhoseEndIsNeverReportedDoesNotStopItsOutputForGood)
{
    Configure([](ControlSettings& s) {
        s.enableEmail = true;
        s.collectionType = ControlSettings::OnArrival;
    });
    control.StartProcessing();
    PostImage(control, 8);
    ASSERT_TRUE(WaitUntil([&] { return email.started == 1; }));
    // The mailing failed, and its end report was lost.
    email.state = OutputState::Failed;
    QTest::qWait(1200);
    clock.Advance(CControl::LostEndMs + 1000);
    ASSERT_TRUE(WaitUntil(
        [&] { return !log.Starting("SMTP - the end of a delivery was never reported").isEmpty(); }, 3000));
    EXPECT_EQ(control.Stats().outboxImages, 1) << "the image is kept, not lost";
    // The next image queues behind it; the kept one goes first once its pause is over.
    clock.Advance(31'000);
    ASSERT_TRUE(WaitUntil([&] { return email.started == 2; }, 3000));
}

TEST_F(ControllerTest, WhileStoppedAnAnnouncedImageOnlyFeedsTheCaptionSample)
{
    CollectFile();
    ASSERT_TRUE(WaitUntil([&] { return !captions.LastSourceImage().IsEmpty(); }))
        << "the announcement was answered with a peek";
    EXPECT_TRUE(source.FileSource()->ImageAvailable()) << "a peek leaves the image for the first cycle";
    EXPECT_TRUE(log.Starting("Processing cycle").isEmpty());
}
