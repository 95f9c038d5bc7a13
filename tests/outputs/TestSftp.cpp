#include "ImageDecoder.h"
#include "NotifyReports.h"
#include "SshServer.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "outputs/FtpEngine.h"
#include "outputs/FtpUpload.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

// SFTP against OpenSSH's sshd, started by the test with its own keys and configuration: a
// login by key (with or without a passphrase) or by password, the server's host key checked
// against a known-hosts file, and files published under their name only when whole.
namespace {
using Codes = std::vector<std::int64_t>;
constexpr FtpLimits TestLimits{5000, 5000};

class SftpTest : public ::testing::Test
{
protected:
    SshServer server;
    FtpReports reports;
    FtpEngine page{TestLimits};

    void SetUp() override { ASSERT_TRUE(server.Running()) << server.Trouble().toStdString(); }
    void Configure(QStringList extra)
    {
        extra << "FTPProtocol = SFTP"
              << "FTPServer = 127.0.0.1" << QString("FTPPort = %1").arg(server.Port())
              << "FTPUsername = " + server.User() << "FTPEncryptPassword = No"
              << "FTPDestinationDirectory = " + server.UploadDirectory()
              << "FTPDestinationFilename = cam.jpg";
        page.LoadSettings(extra);
    }
    QStringList WithKey() const
    {
        return {"FTPPrivateKeyFile = " + server.ClientKeyPath(),
                "FTPKnownHostsFile = " + server.KnownHostsPath()};
    }
    bool UploadOnce(const ImageFrame& frame = GradientFrame(320, 240, 24))
    {
        reports.steps.clear();
        page.Upload(frame, &reports);
        return WaitUntil(
            [&] {
                return page.State() != OutputState::Busy && !reports.steps.empty() &&
                       (reports.steps.back().first == FtpReport::Closed ||
                        (reports.steps.back().first == FtpReport::Error &&
                         page.State() == OutputState::Failed));
            },
            30000);
    }
    QString LastError() const
    {
        for (auto step = reports.steps.rbegin(); step != reports.steps.rend(); ++step) {
            if (step->first == FtpReport::Error)
                return step->second;
        }
        return QString();
    }
    int UploadedWidth(const QString& name) const
    {
        ImageFrame frame;
        return LoadImageFile(frame, QDir(server.UploadDirectory()).filePath(name)) == 0 ? frame.Width() : -1;
    }
    QStringList Uploads() const
    {
        return QDir(server.UploadDirectory()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
};
} // namespace

TEST_F(SftpTest, AKeyLogsInAndEachUploadReplacesThePublishedFileWhole)
{
    Configure(WithKey() << "FTPThumbnailEnable = Yes"
                        << "FTPThumbnailDestinationDirectory = thumbs"
                        << "FTPThumbnailDestinationFilename = small.jpg");
    ASSERT_TRUE(QDir(server.UploadDirectory()).mkpath("thumbs"));
    ASSERT_TRUE(UploadOnce());
    ASSERT_EQ(reports.Codes(), (Codes{0, 1, 2, 1, 2, 4})) << reports.All().toStdString();
    EXPECT_EQ(UploadedWidth("cam.jpg"), 320);
    EXPECT_EQ(UploadedWidth("thumbs/small.jpg"), 160);
    // Once more over the files now there: OpenSSH renames onto no existing file, so the old one
    // goes first - and the new one arrives whole all the same.
    ASSERT_TRUE(UploadOnce(GradientFrame(640, 480, 24)));
    ASSERT_EQ(reports.Codes(), (Codes{0, 1, 2, 1, 2, 4})) << reports.All().toStdString();
    EXPECT_EQ(UploadedWidth("cam.jpg"), 640);
    EXPECT_EQ(Uploads(), QStringList{"cam.jpg"}) << "no temporary file left";
}

TEST_F(SftpTest, ALockedKeyIsOpenedWithThePasswordWhichNeverGoesToTheServer)
{
    Configure({"FTPPrivateKeyFile = " + server.LockedClientKeyPath(),
               "FTPKnownHostsFile = " + server.KnownHostsPath(),
               "FTPPassword = " + SshServer::KeyPassphrase});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4})) << reports.All().toStdString();
    EXPECT_EQ(UploadedWidth("cam.jpg"), 320);

    Configure({"FTPPrivateKeyFile = " + server.LockedClientKeyPath(),
               "FTPKnownHostsFile = " + server.KnownHostsPath(), "FTPPassword = not the passphrase",
               "FTPDestinationFilename = other.jpg"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(page.State(), OutputState::Failed);
    EXPECT_FALSE(LastError().isEmpty());
    EXPECT_EQ(UploadedWidth("other.jpg"), -1);
}

TEST_F(SftpTest, APasswordLogsInAndAWrongOneIsRefused)
{
    if (!server.TakesPasswords())
        GTEST_SKIP() << "sshd takes a test password only when the tests run as root";
    Configure({"FTPPassword = " + SshServer::Password, "FTPKnownHostsFile = " + server.KnownHostsPath()});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4})) << reports.All().toStdString();
    EXPECT_EQ(UploadedWidth("cam.jpg"), 320);

    Configure({"FTPPassword = wrong", "FTPKnownHostsFile = " + server.KnownHostsPath(),
               "FTPDestinationFilename = other.jpg"});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(page.State(), OutputState::Failed);
    EXPECT_EQ(reports.Codes(), (Codes{0, 3})) << reports.All().toStdString();
    EXPECT_EQ(UploadedWidth("other.jpg"), -1);
}

TEST_F(SftpTest, AServerWhoseHostKeyIsNotTheKnownOneGetsNoLoginAndNoFile)
{
    struct Case
    {
        QString knownHosts, expected;
    };
    const QString missing = server.UploadDirectory() + "/no-such-known-hosts";
    for (const Case& c :
         {Case{server.WrongKnownHostsPath(), "does not match the one in " + server.WrongKnownHostsPath()},
          Case{server.OtherHostsPath(), "is not in " + server.OtherHostsPath()},
          Case{missing, "cannot be checked: " + missing + " does not exist"}}) {
        SCOPED_TRACE(c.knownHosts.toStdString());
        Configure({"FTPPrivateKeyFile = " + server.ClientKeyPath(), "FTPKnownHostsFile = " + c.knownHosts});
        ASSERT_TRUE(UploadOnce());
        EXPECT_EQ(page.State(), OutputState::Failed);
        const QString error = LastError();
        EXPECT_TRUE(error.startsWith("Host key of 127.0.0.1 " + c.expected)) << error.toStdString();
        // The key the server showed, so that it can be checked and added.
        EXPECT_TRUE(error.contains("ED25519 " + server.HostKeyFingerprint())) << error.toStdString();
        EXPECT_TRUE(Uploads().isEmpty());
    }
}

TEST_F(SftpTest, AMissingDirectoryFailsTheUploadAndLeavesNothing)
{
    Configure(WithKey() << "FTPDestinationDirectory = " + server.UploadDirectory() + "/not/there");
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(page.State(), OutputState::Failed);
    EXPECT_FALSE(LastError().isEmpty());
    EXPECT_TRUE(Uploads().isEmpty());
}
