#include "FtpServer.h"
#include "ImageDecoder.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "outputs/CFTP.h"
#include "outputs/FtpUpload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// What the processing controller would be told.
class Reports final : public QObject
{
public:
    std::vector<std::pair<std::int64_t, QString>> steps;
    std::vector<std::int64_t> Codes() const
    {
        std::vector<std::int64_t> codes;
        for (const auto& step : steps)
            codes.push_back(step.first);
        return codes;
    }
    bool event(QEvent* e) override
    {
        if (e->type() != RegisterNamedMessage(MessageName::FtpNotify))
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        steps.emplace_back(message->wParam, message->text.value_or(QString()));
        return true;
    }
};

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
    FtpServer server;
    Reports reports;
    CFTP page{nullptr, TestLimits};

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
              "Failed to save " + page.TempDirectory() + "PIXLET_FTP_TEMP prior to FTP Upload");
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
    EXPECT_TRUE(reports.steps[0].second.contains("PIXLET_FTP_TH_TEMP.jpg"));
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
        CFTP patient(nullptr, FtpLimits{60'000, 60'000});
        patient.LoadSettings({"FTPServer = 127.0.0.1", QString("FTPPort = %1").arg(silent.Port())});
        patient.Upload(GradientFrame(32, 32, 24), &reports);
        ASSERT_TRUE(WaitUntil([&] { return !reports.steps.empty(); }));
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 5000) << "the exit did not wait for the minute-long limits";
}
