#include "Clock.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "LogRecorder.h"
#include "ManualClock.h"
#include "SourceOwner.h"
#include "TestImages.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceEngine.h"
#include "sources/SourceHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
QByteArray JpegBytes(int width, int height)
{
    QByteArray bytes;
    EncodeImageToStream(GradientFrame(width, height, 24), bytes, ImageFormat::Jpeg, 80);
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Sets a file's modification time to the given seconds since the epoch.
void SetTime(const QString& path, qint64 seconds)
{
    const timeval times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

void Shell(const QString& command)
{
    ASSERT_EQ(QProcess::execute("sh", {"-c", command}), 0) << command.toStdString();
}

class FileSourceTest : public ::testing::Test
{
protected:
    QTemporaryDir watched, staging;
    ManualClock manualClock;
    SourceOwner owner;
    LogRecorder log;
    // No page: the engine alone, as the service runs it.
    std::unique_ptr<SourceEngine> engine;

    // The real clock unless a test wants the collection time fixed.
    void Make(QStringList settings = {}, const Clock& clock = SystemClock())
    {
        settings.prepend("SourceFileCollectDirectory = " + watched.path());
        settings.prepend("SourceType = 0");
        engine = std::make_unique<SourceEngine>(clock, watched.path() + "/");
        engine->SetOwner(&owner);
        engine->LoadSettings(settings);
    }
    FileSourceEngine& File() { return *engine->FileSource(); }
    QString In(const QString& name) const { return watched.filePath(name); }
    // Waits for the log line and lets whatever it caused settle.
    bool Logged(const QString& text, int timeoutMs = 10000)
    {
        return WaitUntil([&] { return log.Starting(text).size() > 0 && !File().Busy(); }, timeoutMs);
    }
    void Settle(int ms) { QTest::qWait(ms); }
    void Apply(const QString& directory, const QString& mask)
    {
        SourceSettings settings = engine->Settings();
        settings.fileCollectDirectory = directory;
        settings.fileCollectMask = mask;
        engine->ApplySettings(settings);
    }
};
} // namespace

TEST_F(FileSourceTest, WithNoPageADroppedJpegIsCollectedLoggedAndDeliveredCroppedOnce)
{
    Make({"SourceCrop = Yes", "SourceCropOriginX = 10", "SourceCropOriginY = 10", "SourceCropWidth = 100",
          "SourceCropHeight = 80", "SourceResize = Yes", "SourceResizeWidth = 50", "SourceResizeHeight = 40"},
         manualClock);
    EXPECT_EQ(File().MessageText(), "No Image Loaded");
    WriteFile(staging.filePath("photo.jpg"), JpegBytes(320, 240));
    Shell("cp " + staging.filePath("photo.jpg") + " " + watched.path());
    ASSERT_TRUE(Logged("Loaded file photo.jpg"));
    ASSERT_TRUE(WaitUntil([&] { return owner.available == 1; }));
    EXPECT_EQ(log.entries.back().category, 0);
    EXPECT_EQ(File().MessageText(), "");
    EXPECT_EQ(File().FileNameText(), "photo.jpg");
    EXPECT_EQ(File().DetailsText(), "at 07:05:09     Size: 320 x 240 px");
    EXPECT_TRUE(File().Thumbnail().IsEmpty()) << "no page, no thumbnail";
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: File - Image Available");
    EXPECT_EQ(File().CurrentFrame().BitsPerPixel(), 24);

    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }));
    ASSERT_TRUE(owner.answers[0]);
    EXPECT_EQ(owner.answers[0]->Width(), 50);
    EXPECT_EQ(owner.answers[0]->Height(), 40);
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: File - No Image Available");
    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 2; }));
    EXPECT_EQ(owner.answers[1], nullptr) << "taken once; nothing new since";
}

TEST_F(FileSourceTest, PeekingLeavesTheImageForTheRealRequest)
{
    Make();
    WriteFile(watched.filePath("x.part"), JpegBytes(64, 48));
    ASSERT_TRUE(QFile::rename(In("x.part"), In("x.jpg"))) << "written under another name, then renamed";
    ASSERT_TRUE(Logged("Loaded file x.jpg"));
    for (bool peek : {true, true, false, false}) {
        // One request at a time: a request while the crop/resize step is busy gets no answer.
        const size_t before = owner.answers.size();
        engine->RequestImage(&owner, peek);
        ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == before + 1; }));
    }
    EXPECT_TRUE(owner.answers[0] && owner.answers[1] && owner.answers[2]);
    EXPECT_EQ(owner.answers[3], nullptr);
}

TEST_F(FileSourceTest, AFileStillBeingWrittenIsCollectedOnlyOnceItIsClosed)
{
    Make();
    const QByteArray bytes = JpegBytes(640, 480);
    QFile file(In("slow.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const qsizetype chunk = bytes.size() / 8 + 1;
    for (qsizetype offset = 0; offset < bytes.size(); offset += chunk) {
        file.write(bytes.mid(offset, chunk));
        file.flush();
        Settle(100);
    }
    EXPECT_TRUE(log.Starting("Loaded file").isEmpty()) << "half a JPEG must not be taken";
    EXPECT_TRUE(log.Starting("Failed to load file").isEmpty());
    file.close();
    ASSERT_TRUE(Logged("Loaded file slow.jpg"));
    Settle(700);
    EXPECT_EQ(log.Starting("Loaded file").size(), 1);
    EXPECT_EQ(File().CurrentFrame().Width(), 640);
}

TEST_F(FileSourceTest, AWriterPausingWithTheFileOpenLosesNothing)
{
    Make({"SourceFileCollectDeleteOnCollection = Yes", "SourceFileCollectDeleteDelay = 0"});
    const QByteArray bytes = JpegBytes(320, 240);
    QFile file(In("paused.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.left(bytes.size() / 2));
    file.flush();
    // Far longer than a file needs to stand still when nobody was seen writing it.
    Settle(1500);
    EXPECT_TRUE(log.Starting("Failed to load file").isEmpty()) << "half a JPEG was taken";
    EXPECT_TRUE(log.Starting("Deleted file").isEmpty());
    ASSERT_TRUE(QFile::exists(In("paused.jpg")));
    file.write(bytes.mid(bytes.size() / 2));
    file.close();
    ASSERT_TRUE(Logged("Deleted file paused.jpg"));
    EXPECT_EQ(log.Starting("Loaded file paused.jpg").size(), 1);
    EXPECT_EQ(File().CurrentFrame().Width(), 320);
}

TEST_F(FileSourceTest, FilesWithTheSameTimeAreEachCollected)
{
    Make();
    WriteFile(staging.filePath("first.jpg"), JpegBytes(16, 16));
    SetTime(staging.filePath("first.jpg"), 1700000000);
    ASSERT_TRUE(QFile::rename(staging.filePath("first.jpg"), In("first.jpg")));
    ASSERT_TRUE(Logged("Loaded file first.jpg"));
    // Finished later with the very same time: it is the newer of the two.
    WriteFile(staging.filePath("second.jpg"), JpegBytes(20, 20));
    SetTime(staging.filePath("second.jpg"), 1700000000);
    ASSERT_TRUE(QFile::rename(staging.filePath("second.jpg"), In("second.jpg")));
    ASSERT_TRUE(Logged("Loaded file second.jpg"));
    EXPECT_EQ(File().CurrentFrame().Width(), 20);
}

TEST_F(FileSourceTest, ANameThatIsNotUtf8OrHoldsANewlineIsCollectedAndShownEscaped)
{
    Make({"SourceFileCollectDeleteOnCollection = Yes", "SourceFileCollectDeleteDelay = 0"});
    const QByteArray jpeg = JpegBytes(48, 32);
    // Latin-1 "café" with a line break: no QString opens it, and it would split a log line.
    const QByteArray name = "caf\xe9\nshot.jpg";
    const QByteArray staged = QFile::encodeName(staging.path()) + "/x";
    const QByteArray target = QFile::encodeName(watched.path()) + "/" + name;
    WriteFile(staging.filePath("x"), jpeg);
    ASSERT_EQ(::rename(staged.constData(), target.constData()), 0);
    ASSERT_TRUE(Logged("Loaded file caf\\xe9\\nshot.jpg")) << [&] {
        QStringList texts;
        for (const auto& entry : log.entries)
            texts << entry.text;
        return texts.join("\n").toStdString();
    }();
    EXPECT_EQ(File().CurrentFrame().Width(), 48);
    ASSERT_TRUE(Logged("Deleted file caf\\xe9\\nshot.jpg"));
    ASSERT_TRUE(WaitUntil([&] { return ::access(target.constData(), F_OK) != 0; })) << "deleted by its bytes";
}

TEST_F(FileSourceTest, ABurstWithinOneCollectDelayIsScannedOnceForItsNewestFile)
{
    Make({"SourceFileCollectCollectDelay = 1000"});
    const QByteArray bytes = JpegBytes(16, 16);
    for (int i = 0; i < 500; ++i) {
        const QString path = staging.filePath(QString("f%1.jpg").arg(i, 3, 10, QChar('0')));
        WriteFile(path, bytes);
        SetTime(path, 1600000000 + i);
    }
    Shell("cp -p " + staging.path() + "/*.jpg " + watched.path());
    ASSERT_TRUE(Logged("Loaded file "));
    Settle(1500);
    EXPECT_EQ(log.Starting("Loaded file ").join(","), "Loaded file f499.jpg") << "one scan, the newest only";
}

TEST_F(FileSourceTest, OlderFilesWaitForANewDirectory)
{
    Make();
    WriteFile(In("new.jpg"), JpegBytes(32, 32));
    ASSERT_TRUE(Logged("Loaded file new.jpg"));
    WriteFile(staging.filePath("old.jpg"), JpegBytes(32, 32));
    SetTime(staging.filePath("old.jpg"), 1000000000);
    ASSERT_TRUE(QFile::rename(staging.filePath("old.jpg"), In("old.jpg")));
    Settle(300);
    EXPECT_TRUE(log.Starting("Loaded file old.jpg").isEmpty()) << "older than the last collected";

    QTemporaryDir other;
    WriteFile(other.filePath("older.jpg"), JpegBytes(40, 30));
    SetTime(other.filePath("older.jpg"), 900000000);
    Apply(other.path(), "*.jpg");
    ASSERT_TRUE(Logged("Loaded file older.jpg")) << "a new directory starts afresh";
    EXPECT_EQ(File().CurrentFrame().Width(), 40);
}

TEST_F(FileSourceTest, AFileMadeNewerByATouchIsCollectedAgain)
{
    // A full drop directory before the start: the first scan lists it, later ones look only
    // at what the watcher reports.
    for (int i = 0; i < 20; ++i) {
        WriteFile(In(QString("old%1.jpg").arg(i)), "not looked at");
        SetTime(In(QString("old%1.jpg").arg(i)), 1000000000 + i);
    }
    WriteFile(In("b.jpg"), JpegBytes(30, 20));
    SetTime(In("b.jpg"), 1200000000);
    Make();
    ASSERT_TRUE(Logged("Loaded file b.jpg"));
    WriteFile(In("a.jpg"), JpegBytes(32, 32));
    ASSERT_TRUE(Logged("Loaded file a.jpg"));
    log.entries.clear();
    // Touched to a time after a.jpg's: touched to "now", it could share a.jpg's time when the
    // collection is quicker than the file system's clock tick, and a touch is no finish that
    // would break the tie.
    struct stat newest
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(In("a.jpg")).constData(), &newest), 0);
    SetTime(In("b.jpg"), newest.st_mtim.tv_sec + 1);
    ASSERT_TRUE(Logged("Loaded file b.jpg")) << "its new time makes it the newest";
    EXPECT_EQ(File().CurrentFrame().Width(), 30);
}

TEST_F(FileSourceTest, TheMaskDecidesAndNonImagesAreLoggedOnce)
{
    Make();
    ImageFrame alpha;
    ASSERT_TRUE(alpha.Create(24, 12, 32, true));
    ASSERT_EQ(SaveImageFile(alpha, In("shot.PNG")), 0);
    Settle(300);
    EXPECT_TRUE(log.Starting("Loaded file").isEmpty()) << "*.jpg does not take a PNG";

    Apply(watched.path(), "*.*");
    ASSERT_TRUE(Logged("Loaded file shot.PNG"));
    EXPECT_EQ(File().CurrentFrame().BitsPerPixel(), 24) << "collected frames are 24-bit";

    WriteFile(In("notes.txt"), "not a picture");
    ASSERT_TRUE(Logged("Failed to load non-image file notes.txt"));
    EXPECT_EQ(log.entries.back().category, 1);
    WriteFile(In("other.dat"), "");
    SetTime(In("other.dat"), 1000000000);
    Settle(500);
    EXPECT_EQ(log.Starting("Failed to load non-image file").size(), 1) << "never retried";
}

TEST_F(FileSourceTest, DeleteOnCollectRemovesImagesAfterTheDelayButNotOtherFiles)
{
    Make({"SourceFileCollectDeleteOnCollection = Yes", "SourceFileCollectDeleteDelay = 300",
          "SourceFileCollectMask = *.*"});
    WriteFile(In("a.jpg"), JpegBytes(32, 32));
    ASSERT_TRUE(Logged("Deleted file a.jpg"));
    EXPECT_FALSE(log.Starting("Loaded file a.jpg").isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(In("a.jpg")); }));

    WriteFile(In("broken.jpg"), "\xFF\xD8 this is no JPEG");
    ASSERT_TRUE(Logged("Failed to load file broken.jpg"));
    Settle(600);
    EXPECT_TRUE(QFile::exists(In("broken.jpg"))) << "what was not collected is never deleted";
    EXPECT_EQ(log.Starting("Failed to load file broken.jpg").size(), 1) << "logged once, not retried";
    EXPECT_TRUE(log.Starting("Deleted file broken.jpg").isEmpty());
    // Mended by its writer, it is collected (and only then deleted).
    WriteFile(In("broken.jpg"), JpegBytes(24, 24));
    ASSERT_TRUE(Logged("Deleted file broken.jpg"));
    EXPECT_EQ(File().CurrentFrame().Width(), 24);

    WriteFile(In("notes.txt"), "text");
    ASSERT_TRUE(Logged("Failed to load non-image file notes.txt"));
    Settle(500);
    EXPECT_TRUE(QFile::exists(In("notes.txt")));
    EXPECT_TRUE(log.Starting("Deleted file notes.txt").isEmpty());
}

TEST_F(FileSourceTest, ADeletedDirectoryIsLoggedAndRetriedUntilItIsBack)
{
    const QString sub = watched.filePath("drop");
    ASSERT_TRUE(QDir().mkdir(sub));
    Make({"SourceFileCollectDirectoryMonitorErrorRetryTimeout = 0"});
    Apply(sub, "*.jpg");
    ASSERT_TRUE(File().MonitorActive());
    ASSERT_TRUE(QDir(sub).removeRecursively());
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Directory monitor error ").size() == 1; }));
    EXPECT_EQ(log.Starting("Directory monitor error ")[0],
              "Directory monitor error 2 - No such file or directory");
    EXPECT_FALSE(File().MonitorActive());
    // A zero retry time would fill the log: the retry waits at least a second.
    Settle(FileSourceEngine::MinimumRetryMs / 2);
    EXPECT_EQ(log.Starting("Directory monitor error ").size(), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.Starting("Directory monitor error ").size() == 2; }, 5000));

    ASSERT_TRUE(QDir().mkdir(sub));
    WriteFile(sub + "/back.jpg", JpegBytes(16, 16));
    ASSERT_TRUE(Logged("Loaded file back.jpg", 5000)) << "the retry found the directory and scanned it";
    EXPECT_TRUE(File().MonitorActive());
}

TEST_F(FileSourceTest, ADirectoryThatCannotBeWatchedReportsWhy)
{
    WriteFile(staging.filePath("plain"), "a file, not a directory");
    Make();
    Apply(staging.filePath("plain"), "*.jpg");
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Directory monitor error ").isEmpty(); }));
    EXPECT_EQ(log.Starting("Directory monitor error ")[0], "Directory monitor error 14 - Not a directory");
    EXPECT_FALSE(File().MonitorActive());
}

TEST_F(FileSourceTest, ADirectoryWithoutPermissionReportsWhy)
{
    if (::geteuid() == 0) {
        // Permissions do not stop root: the same test runs again as an ordinary user.
        if (QProcess::execute("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "true"}) !=
            0)
            GTEST_SKIP() << "no way to run as an ordinary user here";
        const int code = QProcess::execute(
            "setpriv",
            {"--reuid=nobody", "--regid=nogroup", "--clear-groups", QCoreApplication::applicationFilePath(),
             "--gtest_filter=FileSourceTest.ADirectoryWithoutPermissionReportsWhy"});
        EXPECT_EQ(code, 0) << "the test as user nobody failed";
        return;
    }
    const QString locked = staging.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    Make();
    Apply(locked, "*.jpg");
    ASSERT_TRUE(WaitUntil([&] { return !log.Starting("Directory monitor error ").isEmpty(); }));
    EXPECT_EQ(log.Starting("Directory monitor error ")[0], "Directory monitor error d - Permission denied");
    ::chmod(QFile::encodeName(locked).constData(), 0700);
}

TEST_F(FileSourceTest, ClosingDuringACollectionFinishesItsWorkAndDeletion)
{
    Make({"SourceFileCollectDeleteOnCollection = Yes", "SourceFileCollectDeleteDelay = 60000"});
    WriteFile(staging.filePath("big.jpg"), JpegBytes(4000, 3000));
    ASSERT_TRUE(QFile::rename(staging.filePath("big.jpg"), In("big.jpg")));
    ASSERT_TRUE(WaitUntil([&] { return File().Busy(); }));
    engine.reset();
    EXPECT_FALSE(QFile::exists(In("big.jpg"))) << "what the log called deleted is gone when the program ends";
    QCoreApplication::processEvents();
}

namespace {
// A host whose crop/resize step is busy (unless told to take what it is offered).
class BusyHost final : public SourceHost
{
public:
    SourceSettings settings;
    int offered = 0;
    bool takes = false;
    int overtaken = 0;
    const SourceSettings& Settings() const override { return settings; }
    CropSettings LiveCrop() const override { return {}; }
    bool ProcessSourceImage(const ImageFrame&) override
    {
        ++offered;
        return takes;
    }
    void AnnounceNewImage() override {}
    void AnnounceImageOvertaken() override { ++overtaken; }
    void ReportSourceError(const QString&) override {}
    void AnnounceStatusUpdated() override {}
    void UpdateSourceState() override {}
};
} // namespace

TEST(FileSource, AnImageTheBusyStepCouldNotTakeStaysUndelivered)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("a.jpg"), JpegBytes(16, 16));
    BusyHost host;
    host.settings = SourceSettings::Defaults(dir.path() + "/");
    FileSourceEngine file(host, SystemClock());
    file.StartDirectoryMonitor();
    ASSERT_TRUE(WaitUntil([&] { return file.ImageAvailable() || !file.Busy(); }));
    ASSERT_TRUE(WaitUntil([&] { return file.ImageAvailable(); }))
        << "a file present at start counts once it has stood still";
    file.DeliverFileImage(false);
    EXPECT_EQ(host.offered, 1);
    EXPECT_TRUE(file.ImageAvailable()) << "dropped by the busy step, so still there for the next request";
}

TEST(FileSource, AnImageNoRequestTookIsReportedWhenANewerOneReplacesIt)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("a.jpg"), JpegBytes(16, 16));
    BusyHost host;
    host.settings = SourceSettings::Defaults(dir.path() + "/");
    FileSourceEngine file(host, SystemClock());
    file.StartDirectoryMonitor();
    ASSERT_TRUE(WaitUntil([&] { return file.ImageAvailable(); }));
    file.DeliverFileImage(false);
    ASSERT_EQ(host.offered, 1) << "refused by the busy step";
    WriteFile(dir.filePath("b.jpg"), JpegBytes(24, 24));
    ASSERT_TRUE(WaitUntil([&] { return file.CurrentFrame().Width() == 24 && !file.Busy(); }));
    EXPECT_EQ(host.overtaken, 1) << "a.jpg was never taken";

    // Taken, then replaced: no loss.
    host.takes = true;
    file.DeliverFileImage(false);
    WriteFile(dir.filePath("c.jpg"), JpegBytes(32, 32));
    ASSERT_TRUE(WaitUntil([&] { return file.CurrentFrame().Width() == 32 && !file.Busy(); }));
    EXPECT_EQ(host.overtaken, 1);
    // Looked at without being taken (a peek, as while stopped), then replaced: not taken.
    file.DeliverFileImage(true);
    WriteFile(dir.filePath("d.jpg"), JpegBytes(40, 40));
    ASSERT_TRUE(WaitUntil([&] { return file.CurrentFrame().Width() == 40 && !file.Busy(); }));
    EXPECT_EQ(host.overtaken, 2);
}

TEST_F(FileSourceTest, FilesOvertakenByANewerOneAreLoggedByName)
{
    WriteFile(In("a.jpg"), JpegBytes(32, 24));
    WriteFile(In("b.jpg"), JpegBytes(32, 24));
    WriteFile(In("c.jpg"), JpegBytes(32, 24));
    SetTime(In("a.jpg"), 1000);
    SetTime(In("b.jpg"), 2000);
    SetTime(In("c.jpg"), 3000);
    Make();
    ASSERT_TRUE(Logged("Loaded file c.jpg"));
    EXPECT_EQ(
        log.Starting("2 older file(s) passed over - the newer file c.jpg is taken: a.jpg, b.jpg").size(), 1);
}

TEST_F(FileSourceTest, AFailedLoadKeepsTheNameOfTheImageShown)
{
    Make();
    const auto drop = [&](const QString& name, const QByteArray& bytes) {
        WriteFile(staging.filePath(name), bytes);
        ASSERT_TRUE(QFile::rename(staging.filePath(name), In(name)));
    };
    drop("two.jpg", JpegBytes(20, 20));
    ASSERT_TRUE(Logged("Loaded file two.jpg"));
    drop("broken.jpg", JpegBytes(24, 24).left(100));
    ASSERT_TRUE(Logged("Failed to load file broken.jpg"));
    EXPECT_EQ(File().FileNameText(), "two.jpg") << "the image shown is still two.jpg's";
    drop("three.jpg", JpegBytes(24, 24));
    ASSERT_TRUE(Logged("Loaded file three.jpg"));
    EXPECT_EQ(File().FileNameText(), "three.jpg");
}
