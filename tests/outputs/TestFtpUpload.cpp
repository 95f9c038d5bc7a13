#include "FtpServer.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "NotifyReports.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "outputs/FtpEngine.h"
#include "outputs/FtpUpload.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>
#include <optional>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A server that takes the connection and never says a word.
class SilentServer final
{
public:
    SilentServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4); // the kernel completes the handshake; nobody ever answers
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    quint16 Port() const { return port_; }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

constexpr FtpLimits TestLimits{3000, 3000};

class FtpUploadTest : public ::testing::Test
{
protected:
    explicit FtpUploadTest(const FtpServerOptions& options = FtpServerOptions()) : server(options) {}

    FtpServer server;
    FtpReports reports;
    FtpEngine page{TestLimits};

    void SetUp() override { ASSERT_TRUE(server.Running()) << "pyftpdlib did not start"; }
    void Configure(QStringList extra = {}, quint16 port = 0)
    {
        extra.prepend(QString("FTPPort = %1").arg(port ? port : server.Port()));
        extra.prepend("FTPServer = 127.0.0.1");
        extra.prepend("FTPUsername = " + FtpServer::User);
        extra.prepend("FTPPassword = " + FtpServer::Password);
        extra.prepend("FTPEncryptPassword = No");
        page.LoadSettings(extra);
    }
    // One upload of a 320 x 240 image; waits until its last report.
    bool UploadOnce(int timeoutMs = 15000)
    {
        reports.steps.clear();
        page.Upload(GradientFrame(320, 240, 24), &reports);
        return WaitUntil(
            [&] {
                return page.State() != OutputState::Busy &&
                       (!reports.steps.empty() && (reports.steps.back().first == FtpReport::Closed ||
                                                   (reports.steps.back().first == FtpReport::Error &&
                                                    page.State() == OutputState::Failed)));
            },
            timeoutMs);
    }
    ImageFrame OnServer(const QString& relative)
    {
        ImageFrame frame;
        EXPECT_EQ(LoadImageFile(frame, QDir(server.Home()).filePath(relative)), 0) << relative.toStdString();
        return frame;
    }
    QString ServerPath(const QString& relative) const { return QDir(server.Home()).filePath(relative); }
    bool Finished() const
    {
        return page.State() != OutputState::Busy && !reports.steps.empty() &&
               reports.steps.back().first == FtpReport::Closed;
    }
};

std::optional<QByteArray> Contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// The bytes the upload sends for the frame under a name with the extension, encoded here: the
// upload's own temporary file sits in a directory other runs may share.
QByteArray Encoded(const ImageFrame& frame, const QString& extension)
{
    QTemporaryDir directory;
    const QString path = directory.filePath("expected" + extension);
    EXPECT_TRUE(Result::Succeeded(SaveImageFile(frame, path)));
    return Contents(path).value_or(QByteArray());
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Everything a reader of the published names saw during an upload, polled as fast as the test
// can: each distinct content once, by its hash, with its size for the messages.
class PublishedNames
{
public:
    explicit PublishedNames(QStringList paths) : paths_(std::move(paths)) {}
    void Look()
    {
        for (const QString& path : paths_) {
            const std::optional<QByteArray> bytes = Contents(path);
            seen_[path][bytes ? QCryptographicHash::hash(*bytes, QCryptographicHash::Sha1)
                              : QByteArray("gone")] = bytes ? bytes->size() : -1;
        }
    }
    // What was seen under the path that is none of the allowed contents, or "" when all was.
    std::string Unexpected(const QString& path, const QList<QByteArray>& allowed) const
    {
        QStringList unexpected;
        const auto found = seen_.find(path);
        if (found == seen_.end())
            return "never looked";
        for (const auto& [hash, size] : found->second) {
            bool known = false;
            for (const QByteArray& content : allowed)
                known = known || QCryptographicHash::hash(content, QCryptographicHash::Sha1) == hash;
            if (!known)
                unexpected << (size < 0 ? QStringLiteral("no file") : QStringLiteral("%1 bytes").arg(size));
        }
        return unexpected.join(", ").toStdString();
    }

private:
    QStringList paths_;
    std::map<QString, std::map<QByteArray, qint64>> seen_;
};

// Takes uploads in at a crawl, so that the server can be killed halfway through one.
constexpr int UploadRate = 128 * 1024;

class SlowFtpUploadTest : public FtpUploadTest
{
protected:
    SlowFtpUploadTest() : FtpUploadTest(FtpServerOptions{UploadRate}) {}

    // The main image and its thumbnail, each a noisy 800 x 600 JPEG of a few hundred KB.
    void ConfigureLargeUpload()
    {
        ASSERT_TRUE(QDir(server.Home()).mkpath("thumbs"));
        Configure({"FTPDestinationFilename = cam.jpg", "FTPThumbnailEnable = Yes",
                   "FTPThumbnailDestinationDirectory = thumbs", "FTPThumbnailDestinationFilename = small.jpg",
                   "FTPThumbnailWidth = 800", "FTPThumbnailHeight = 600"});
        reports.steps.clear();
    }
    static ImageFrame LargeFrame() { return RandomFrame(800, 600, 24, 7); }
    void StartLargeUpload() { page.Upload(LargeFrame(), &reports); }
    // All bytes in the server's directory, hidden files included.
    qint64 BytesIn(const QString& relative) const
    {
        qint64 total = 0;
        for (const QFileInfo& info :
             QDir(ServerPath(relative)).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
            total += info.size();
        return total;
    }
};

using Codes = std::vector<std::int64_t>;
} // namespace

TEST_F(FtpUploadTest, TheDefaultsSendOneJpeg)
{
    Configure();
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4}));
    EXPECT_EQ(reports.steps[0].second, "127.0.0.1");
    EXPECT_EQ(reports.steps[1].second, "Pixlet Image.jpg");
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d K/S$").match(reports.steps[2].second).hasMatch())
        << reports.steps[2].second.toStdString();
    EXPECT_EQ(page.State(), OutputState::Idle);
    QFile sent(QDir(server.Home()).filePath("Pixlet Image.jpg"));
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_TRUE(sent.read(3).startsWith("\xFF\xD8\xFF"));
    EXPECT_EQ(OnServer("Pixlet Image.jpg").Width(), 320);
    // Active mode: the client names its own port (PORT or EPRT), the server connects back; a
    // passive transfer would have asked the server for one (PASV or EPSV).
    const QStringList dataCommands = server.DataConnectionCommands();
    ASSERT_EQ(dataCommands.size(), 1) << dataCommands.join(" ").toStdString();
    EXPECT_TRUE(dataCommands[0] == "EPRT" || dataCommands[0] == "PORT") << dataCommands[0].toStdString();
    // The temporary file stays in the private directory for the next upload to overwrite.
    EXPECT_TRUE(QFile::exists(page.TempDirectory() + "PIXLET_FTP_TEMP.jpg"));
    EXPECT_EQ(QFile(page.TempDirectory()).permissions() &
                  (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup),
              QFile::Permissions());
}

TEST(FtpTemporaries, EachProcessHasItsOwnAndThoseOfEndedProcessesAreCleared)
{
    QTemporaryDir base;
    qputenv("TMPDIR", QFile::encodeName(base.path()));
    // What a killed run left: the directory of a process that no longer exists.
    QProcess ended;
    ended.start("/bin/sleep", {"0.05"});
    ASSERT_TRUE(ended.waitForStarted());
    const qint64 gone = ended.processId();
    ASSERT_TRUE(ended.waitForFinished());
    FtpEngine page(TestLimits);
    const QString own = page.TempDirectory();
    ASSERT_FALSE(own.isEmpty());
    EXPECT_TRUE(own.endsWith(QString("/ftp-%1/").arg(QCoreApplication::applicationPid())))
        << own.toStdString() << ": two Pixlets would upload each other's image from a shared one";
    EXPECT_EQ(QFile(own).permissions() & (QFile::ReadOther | QFile::ReadGroup | QFile::WriteOther),
              QFile::Permissions());
    const QString shared = QFileInfo(own.chopped(1)).path() + "/";
    ASSERT_TRUE(QDir().mkpath(shared + QString("ftp-%1").arg(gone)));
    FtpEngine second(TestLimits);
    const QString again = second.TempDirectory();
    qunsetenv("TMPDIR");
    EXPECT_EQ(again, own) << "one process, one directory";
    EXPECT_FALSE(QDir(shared + QString("ftp-%1").arg(gone)).exists()) << "left by an ended process";
}

TEST_F(FtpUploadTest, TheDestinationsExtensionDecidesTheFormat)
{
    Configure({"FTPDestinationFilename = cam.png"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4}));
    QFile sent(QDir(server.Home()).filePath("cam.png"));
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(sent.read(4), QByteArray("\x89PNG"));

    Configure({"FTPDestinationFilename = noextension"});
    ASSERT_TRUE(UploadOnce());
    ASSERT_EQ(reports.Codes(), (Codes{3})) << "no connection is made";
    EXPECT_EQ(reports.steps[0].second,
              "Failed to save " + page.TempDirectory() +
                  "PIXLET_FTP_TEMP prior to FTP Upload - the file name \"noextension\" names no image type "
                  "(.jpg, .png, .bmp, .gif or .tif)");
    Configure({"FTPThumbnailEnable = Yes"});
    ASSERT_TRUE(UploadOnce());
    ASSERT_EQ(reports.Codes(), (Codes{3, 0, 1, 2, 4})) << "the main image still goes";
    EXPECT_TRUE(
        reports.steps[0].second.endsWith("the file name \"\" names no image type (.jpg, .png, .bmp, .gif or "
                                         ".tif)"))
        << "a thumbnail without a name says so";
    EXPECT_EQ(page.State(), OutputState::Failed);
}

TEST_F(FtpUploadTest, AThumbnailOfExactlyTheConfiguredSizeFollowsIntoARelativeDirectory)
{
    ASSERT_TRUE(QDir(server.Home()).mkpath("images/thumbs"));
    Configure({"FTPDestinationDirectory = images", "FTPThumbnailEnable = Yes",
               "FTPThumbnailDestinationDirectory = thumbs", "FTPThumbnailDestinationFilename = small.jpg",
               "FTPThumbnailWidth = 100", "FTPThumbnailHeight = 30"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 1, 2, 4}));
    EXPECT_EQ(OnServer("images/Pixlet Image.jpg").Width(), 320);
    const ImageFrame thumb = OnServer("images/thumbs/small.jpg");
    EXPECT_EQ(thumb.Width(), 100) << "relative to where the main image left the connection";
    EXPECT_EQ(thumb.Height(), 30) << "the aspect ratio is not kept";

    // An absolute directory starts from the top again.
    ASSERT_TRUE(QDir(server.Home()).mkpath("top"));
    Configure({"FTPDestinationDirectory = images", "FTPThumbnailEnable = Yes",
               "FTPThumbnailDestinationDirectory = /top", "FTPThumbnailDestinationFilename = t.jpg"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 1, 2, 4}));
    EXPECT_EQ(OnServer("top/t.jpg").Width(), 160);
}

TEST_F(FtpUploadTest, AMissingDirectorySkipsItsItemAndTheRestGoesOn)
{
    Configure({"FTPDestinationDirectory = nothere", "FTPThumbnailEnable = Yes",
               "FTPThumbnailDestinationFilename = t.jpg"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 3, 1, 2, 4}));
    EXPECT_EQ(reports.steps[1].second, "Failed to set directory - nothere");
    EXPECT_TRUE(QFile::exists(QDir(server.Home()).filePath("t.jpg"))) << "the thumbnail from where we were";
    EXPECT_EQ(page.State(), OutputState::Failed);
}

TEST_F(FtpUploadTest, AThumbnailThatCannotBeMadeStillSendsTheMainImageButFails)
{
    Configure(
        {"FTPThumbnailEnable = Yes", "FTPThumbnailDestinationFilename = t.jpg", "FTPThumbnailWidth = 0"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{3, 0, 1, 2, 4}));
    EXPECT_TRUE(reports.steps[0].second.endsWith("PIXLET_FTP_TH_TEMP.jpg prior to FTP Upload"))
        << "a good name is not blamed";
    EXPECT_TRUE(QFile::exists(QDir(server.Home()).filePath("Pixlet Image.jpg"))) << "the main image went";
    EXPECT_EQ(page.State(), OutputState::Failed) << "a thumbnail not written is a failed upload";
}

TEST_F(FtpUploadTest, ConnectionFailuresAreReportedWithoutAClose)
{
    Configure();
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4}));
    // A wrong password.
    page.LoadSettings({"FTPServer = 127.0.0.1", QString("FTPPort = %1").arg(server.Port()),
                       "FTPUsername = " + FtpServer::User, "FTPPassword = wrong", "FTPEncryptPassword = No"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 3}));
    EXPECT_TRUE(reports.steps[1].second.contains("Login denied")) << reports.steps[1].second.toStdString();
    EXPECT_EQ(page.State(), OutputState::Failed);

    // The server stopped since the last cycle: nobody listening.
    const quint16 port = server.Port();
    server.Stop();
    Configure({}, port);
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 3}));
    EXPECT_FALSE(reports.steps[1].second.isEmpty());
    EXPECT_EQ(page.State(), OutputState::Failed);
}

TEST_F(FtpUploadTest, ASilentServerFailsWithinTheLimitAndTheNextUploadGoesThrough)
{
    SilentServer silent;
    Configure({}, silent.Port());
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(UploadOnce(20000));
    EXPECT_LT(timer.elapsed(), 10000) << "the 3 s limit holds";
    EXPECT_EQ(reports.Codes(), (Codes{0, 3}));
    EXPECT_EQ(page.State(), OutputState::Failed);
    Configure();
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4}));
    EXPECT_EQ(page.State(), OutputState::Idle);
}

TEST_F(FtpUploadTest, ClosingThePageCutsAStalledUploadShort)
{
    SilentServer silent;
    QElapsedTimer timer;
    {
        FtpEngine patient(FtpLimits{60'000, 60'000});
        patient.LoadSettings({"FTPServer = 127.0.0.1", QString("FTPPort = %1").arg(silent.Port())});
        patient.Upload(GradientFrame(32, 32, 24), &reports);
        ASSERT_TRUE(WaitUntil([&] { return !reports.steps.empty(); }));
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 5000) << "the exit did not wait for the minute-long limits";
}

// A server that dies halfway through the main image: readers of the published names only ever
// see the files that were there before, and the thumbnail's failure says what went wrong.
TEST_F(SlowFtpUploadTest, AServerKilledMidImageLeavesThePublishedFilesAsTheyWere)
{
    ConfigureLargeUpload();
    const QByteArray oldImage = "the previous image", oldThumb = "the previous thumbnail";
    WriteFile(ServerPath("cam.jpg"), oldImage);
    WriteFile(ServerPath("thumbs/small.jpg"), oldThumb);
    PublishedNames published({ServerPath("cam.jpg"), ServerPath("thumbs/small.jpg")});

    StartLargeUpload();
    ASSERT_TRUE(WaitUntil(
        [&] {
            published.Look();
            return BytesIn(".") > oldImage.size() + 48 * 1024;
        },
        10000))
        << "the upload never got going";
    ASSERT_FALSE(Finished()) << "the upload was over before the server could be killed";
    server.Kill();
    ASSERT_TRUE(WaitUntil(
        [&] {
            published.Look();
            return Finished();
        },
        15000));

    EXPECT_EQ(published.Unexpected(ServerPath("cam.jpg"), {oldImage}), "");
    EXPECT_EQ(published.Unexpected(ServerPath("thumbs/small.jpg"), {oldThumb}), "");
    EXPECT_EQ(Contents(ServerPath("cam.jpg")), oldImage);
    EXPECT_EQ(page.State(), OutputState::Failed);
    ASSERT_EQ(reports.Codes(), (Codes{0, 1, 3, 3, 4}));
    // The thumbnail's directory is not to blame: the server is gone.
    const QString thumbError = reports.steps[3].second;
    EXPECT_FALSE(thumbError.startsWith("Failed to set directory")) << thumbError.toStdString();
    EXPECT_TRUE(thumbError.contains("thumbs")) << thumbError.toStdString();
    EXPECT_TRUE(thumbError.contains("server")) << thumbError.toStdString();
}

// The main image goes through and the server dies during the thumbnail: the image turns from
// the old file into the whole new one, the thumbnail stays the old one.
TEST_F(SlowFtpUploadTest, AServerKilledMidThumbnailLeavesTheOldThumbnailAndTheWholeNewImage)
{
    ConfigureLargeUpload();
    const QByteArray oldImage = "the previous image", oldThumb = "the previous thumbnail";
    WriteFile(ServerPath("cam.jpg"), oldImage);
    WriteFile(ServerPath("thumbs/small.jpg"), oldThumb);
    PublishedNames published({ServerPath("cam.jpg"), ServerPath("thumbs/small.jpg")});

    StartLargeUpload();
    ASSERT_TRUE(WaitUntil(
        [&] {
            published.Look();
            return reports.Codes().size() >= 4 && BytesIn("thumbs") > oldThumb.size() + 48 * 1024;
        },
        15000))
        << "the thumbnail's upload never got going";
    ASSERT_EQ(reports.Codes(), (Codes{0, 1, 2, 1}));
    server.Kill();
    ASSERT_TRUE(WaitUntil(
        [&] {
            published.Look();
            return Finished();
        },
        15000));

    const QByteArray sent = Encoded(LargeFrame(), ".jpg");
    ASSERT_GT(sent.size(), 200 * 1024) << "large enough to be caught halfway";
    EXPECT_EQ(Contents(ServerPath("cam.jpg")), sent);
    EXPECT_EQ(published.Unexpected(ServerPath("cam.jpg"), {oldImage, sent}), "");
    EXPECT_EQ(published.Unexpected(ServerPath("thumbs/small.jpg"), {oldThumb}), "");
    EXPECT_EQ(Contents(ServerPath("thumbs/small.jpg")), oldThumb);
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 1, 3, 4}));
    EXPECT_EQ(page.State(), OutputState::Failed);
    EXPECT_EQ(QDir(server.Home()).entryList(QDir::Files | QDir::Hidden), QStringList{"cam.jpg"})
        << "nothing of the main image is left beside it";
}

// A server that refuses renames fails the upload and keeps the published file; for such a
// server the temporary name can be turned off.
TEST(FtpRenames, ARefusedRenameFailsTheUploadUnlessTemporaryNamesAreOff)
{
    FtpServer server(FtpServerOptions{0, true});
    ASSERT_TRUE(server.Running());
    FtpReports reports;
    FtpEngine page{TestLimits};
    const QString published = QDir(server.Home()).filePath("cam.jpg");
    const QByteArray old = "the previous image";
    WriteFile(published, old);
    const auto upload = [&](const QString& underTemporaryName) {
        reports.steps.clear();
        page.LoadSettings({"FTPServer = 127.0.0.1", QString("FTPPort = %1").arg(server.Port()),
                           "FTPUsername = " + FtpServer::User, "FTPPassword = " + FtpServer::Password,
                           "FTPEncryptPassword = No", "FTPDestinationFilename = cam.jpg",
                           "FTPUploadUnderTemporaryName = " + underTemporaryName});
        page.Upload(GradientFrame(320, 240, 24), &reports);
        return WaitUntil([&] {
            return page.State() != OutputState::Busy && !reports.steps.empty() &&
                   reports.steps.back().first == FtpReport::Closed;
        });
    };

    ASSERT_TRUE(upload("Yes"));
    ASSERT_EQ(reports.Codes(), (Codes{0, 1, 3, 4}));
    const QString error = reports.steps[2].second;
    EXPECT_TRUE(error.contains("rename", Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_TRUE(error.contains(".cam.jpg.pixlet-part")) << error.toStdString();
    EXPECT_TRUE(error.contains("550")) << "the server's refusal: " << error.toStdString();
    EXPECT_EQ(page.State(), OutputState::Failed);
    EXPECT_EQ(Contents(published), old);

    ASSERT_TRUE(upload("No"));
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4}));
    EXPECT_EQ(page.State(), OutputState::Idle);
    EXPECT_EQ(Contents(published), Encoded(GradientFrame(320, 240, 24), ".jpg"));
}

// Names with a directory part: the temporary file sits beside the final one, and once the
// upload is done only the final names are there.
TEST_F(FtpUploadTest, TemporaryFilesSitBesideTheirNamesAndGoAway)
{
    ASSERT_TRUE(QDir(server.Home()).mkpath("sub"));
    Configure({"FTPThumbnailEnable = Yes", "FTPThumbnailDestinationFilename = sub/small.jpg"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 1, 2, 4}));
    EXPECT_EQ(QDir(server.Home()).entryList(QDir::Files | QDir::Hidden), QStringList{"Pixlet Image.jpg"});
    EXPECT_EQ(QDir(ServerPath("sub")).entryList(QDir::Files | QDir::Hidden), QStringList{"small.jpg"});
    EXPECT_EQ(OnServer("sub/small.jpg").Width(), 160);
}

// A refusal after an earlier transfer on the same connection: the text is the refusal's, with
// the server's reply, and nothing the library noted along the way.
TEST_F(FtpUploadTest, ARefusedFileReportsTheRefusalOnly)
{
    // A directory where the thumbnail should go: neither a file nor a rename can take its place.
    ASSERT_TRUE(QDir(server.Home()).mkpath("t.jpg"));
    for (const QString temporary : {"No", "Yes"}) {
        Configure({"FTPThumbnailEnable = Yes", "FTPThumbnailDestinationFilename = t.jpg",
                   "FTPUploadUnderTemporaryName = " + temporary});
        reports.steps.clear();
        page.Upload(GradientFrame(320, 240, 24), &reports);
        ASSERT_TRUE(WaitUntil([&] { return Finished(); }));
        ASSERT_EQ(reports.Codes(), (Codes{0, 1, 2, 1, 3, 4})) << temporary.toStdString();
        const QString error = reports.steps[4].second;
        EXPECT_FALSE(error.contains("inet_ntop")) << error.toStdString();
        EXPECT_TRUE(error.contains("550")) << "the server's refusal: " << error.toStdString();
        EXPECT_EQ(page.State(), OutputState::Failed);
    }
}

// A hostile server's endless refusal is cut to a length a log can take.
TEST(FtpErrorTexts, AServersReplyIsCutShort)
{
    // One the library passes on whole, one so long that it clips the line itself.
    for (const int padding : {6000, 30000}) {
        FtpServer server(FtpServerOptions{0, false, padding});
        ASSERT_TRUE(server.Running());
        FtpReports reports;
        FtpEngine page{TestLimits};
        page.LoadSettings({"FTPServer = 127.0.0.1", QString("FTPPort = %1").arg(server.Port()),
                           "FTPUsername = " + FtpServer::User, "FTPPassword = wrong",
                           "FTPEncryptPassword = No"});
        page.Upload(GradientFrame(32, 32, 24), &reports);
        ASSERT_TRUE(
            WaitUntil([&] { return page.State() == OutputState::Failed && reports.Codes().size() == 2; }));
        ASSERT_EQ(reports.Codes(), (Codes{0, 3}));
        const QString error = reports.steps[1].second;
        EXPECT_LT(error.size(), 1000) << padding;
        EXPECT_TRUE(error.contains("530 Authentication failed. xxx")) << "the start of the reply is kept";
        EXPECT_TRUE(error.endsWith("...")) << error.right(40).toStdString();
    }
}

// A slow line: each file takes longer than the stall limit (3 s here) to arrive, but bytes keep
// moving all the time, so the upload goes through. The library's own reply timer counted the
// wait for the end of a transfer from its start and failed it.
TEST_F(SlowFtpUploadTest, ATransferLongerThanTheStallLimitGoesThroughWhileBytesMove)
{
    Configure({"FTPDestinationFilename = cam.jpg"});
    reports.steps.clear();
    QElapsedTimer timer;
    timer.start();
    // About a megabyte of noise at 128 KB/s: several times the stall limit for the one file.
    page.Upload(RandomFrame(1200, 900, 24, 11), &reports);
    ASSERT_TRUE(WaitUntil([&] { return Finished() || page.State() == OutputState::Failed; }, 60000));
    EXPECT_GT(timer.elapsed(), TestLimits.stallTimeoutMs + 1000)
        << "the server was not slow enough to show it";
    EXPECT_EQ(page.State(), OutputState::Idle)
        << (reports.steps.empty() ? std::string() : reports.steps.back().second.toStdString());
    EXPECT_EQ(OnServer("cam.jpg").Width(), 1200);
}
