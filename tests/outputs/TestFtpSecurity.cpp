#include "FtpServer.h"
#include "ImageDecoder.h"
#include "NotifyReports.h"
#include "TestCertificate.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "outputs/FtpEngine.h"
#include "outputs/FtpUpload.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

// FTPS, explicit and implicit, against pyftpdlib with its TLS handler and a certificate made
// for the test: the password and the files go over TLS, and a certificate is taken only when an
// authority vouches for it or it is the pinned one.
namespace {
using Codes = std::vector<std::int64_t>;
// Nothing here waits for a limit to pass: they only end an upload that went wrong, and a TLS
// server in Python under a sanitizer on a busy machine can pause for seconds.
constexpr FtpLimits TestLimits{20000, 20000};

FtpServerOptions TlsServer(FtpServerOptions::Tls tls, int uploadBytesPerSecond = 0)
{
    FtpServerOptions options;
    options.tls = tls;
    options.certificatePath = SharedSelfSigned().CertificatePath();
    options.keyPath = SharedSelfSigned().KeyPath();
    options.uploadBytesPerSecond = uploadBytesPerSecond;
    return options;
}

class FtpsTest : public ::testing::Test
{
protected:
    explicit FtpsTest(const FtpServerOptions& options) : server(options) {}

    FtpServer server;
    FtpReports reports;
    FtpEngine page{TestLimits};

    void SetUp() override
    {
        ASSERT_TRUE(SharedSelfSigned().Made() && SharedStranger().Made()) << "openssl made no certificate";
        ASSERT_TRUE(server.Running()) << "pyftpdlib with TLS did not start";
    }
    void Configure(const QString& protocol, QStringList extra)
    {
        extra << "FTPServer = 127.0.0.1" << QString("FTPPort = %1").arg(server.Port())
              << "FTPUsername = " + FtpServer::User << "FTPPassword = " + FtpServer::Password
              << "FTPEncryptPassword = No"
              << "FTPProtocol = " + protocol << "FTPDestinationFilename = cam.jpg";
        page.LoadSettings(extra);
    }
    void StartUpload(const ImageFrame& frame)
    {
        reports.steps.clear();
        page.Upload(frame, &reports);
    }
    bool Finished() const
    {
        return page.State() != OutputState::Busy && !reports.steps.empty() &&
               (reports.steps.back().first == FtpReport::Closed ||
                (reports.steps.back().first == FtpReport::Error && page.State() == OutputState::Failed));
    }
    bool UploadOnce()
    {
        StartUpload(GradientFrame(320, 240, 24));
        return WaitUntil([&] { return Finished(); }, 60000);
    }
    QString ServerPath(const QString& name) const { return QDir(server.Home()).filePath(name); }
    QString LastError() const
    {
        for (auto step = reports.steps.rbegin(); step != reports.steps.rend(); ++step) {
            if (step->first == FtpReport::Error)
                return step->second;
        }
        return QString();
    }
};

class ExplicitFtpsTest : public FtpsTest
{
protected:
    ExplicitFtpsTest() : FtpsTest(TlsServer(FtpServerOptions::Tls::Explicit)) {}
};

class ImplicitFtpsTest : public FtpsTest
{
protected:
    ImplicitFtpsTest() : FtpsTest(TlsServer(FtpServerOptions::Tls::Implicit)) {}
};

class PlainServerTest : public FtpsTest
{
protected:
    PlainServerTest() : FtpsTest(FtpServerOptions()) {}
};

bool IsImage(const QString& path, int width)
{
    ImageFrame frame;
    return LoadImageFile(frame, path) == 0 && frame.Width() == width;
}
} // namespace

// FTPS goes passive even when active mode is set: the library sends an active data connection
// in the clear.
TEST_F(ExplicitFtpsTest, APinnedSelfSignedServerGetsThePasswordAndTheFileOverTlsAndPassive)
{
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "set to active");
        QFile::remove(ServerPath("cam.jpg"));
        const qsizetype before = server.Commands().size();
        Configure("FTPS", {"FTPCertificateSHA256 = " + SharedSelfSigned().Sha256().toLower(),
                           QString("FTPPassiveMode = %1").arg(passive ? "Yes" : "No")});
        ASSERT_TRUE(UploadOnce());
        ASSERT_EQ(reports.Codes(), (Codes{0, 1, 2, 4})) << reports.All().toStdString();
        EXPECT_TRUE(IsImage(ServerPath("cam.jpg"), 320));
        // What the server saw: TLS asked for first, the password over it, the files protected,
        // and the data connection set up the way the settings say.
        const QStringList seen = server.Commands().mid(before);
        EXPECT_EQ(seen.value(0), "AUTH TLS") << seen.join(", ").toStdString();
        EXPECT_TRUE(seen.contains("PASS TLS")) << seen.join(", ").toStdString();
        EXPECT_FALSE(seen.contains("PASS")) << "a password in plain text";
        EXPECT_TRUE(seen.contains("PROT P")) << seen.join(", ").toStdString();
        EXPECT_TRUE(seen.contains("EPSV TLS") || seen.contains("PASV TLS")) << seen.join(", ").toStdString();
        EXPECT_FALSE(seen.contains("EPRT TLS") || seen.contains("PORT TLS")) << seen.join(", ").toStdString();
    }
}

TEST_F(ImplicitFtpsTest, ImplicitTlsUploadsUnderATemporaryNameAndRenames)
{
    Configure("FTPS implicit",
              {"FTPCertificateSHA256 = " + SharedSelfSigned().Sha256(), "FTPPassiveMode = Yes"});
    ASSERT_TRUE(UploadOnce());
    ASSERT_EQ(reports.Codes(), (Codes{0, 1, 2, 4})) << reports.All().toStdString();
    EXPECT_TRUE(IsImage(ServerPath("cam.jpg"), 320));
    EXPECT_EQ(QDir(server.Home()).entryList(QDir::Files | QDir::Hidden), QStringList{"cam.jpg"});
    const QStringList seen = server.Commands();
    EXPECT_FALSE(seen.contains("AUTH TLS")) << "TLS from the first byte needs no AUTH";
    EXPECT_TRUE(seen.contains("PASS TLS")) << seen.join(", ").toStdString();
    EXPECT_TRUE(seen.contains("PROT P")) << seen.join(", ").toStdString();
}

TEST_F(ExplicitFtpsTest, ACertificateNoAuthorityVouchesForIsRefusedWithItsFingerprintUnlessPinned)
{
    Configure("FTPS", {});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(page.State(), OutputState::Failed);
    const QString error = LastError();
    EXPECT_TRUE(error.startsWith("Certificate of 127.0.0.1 not trusted")) << error.toStdString();
    EXPECT_TRUE(error.contains("fingerprint SHA-256 " + SharedSelfSigned().Sha256())) << error.toStdString();
    EXPECT_FALSE(QFile::exists(ServerPath("cam.jpg")));
    EXPECT_FALSE(server.Commands().contains("PASS TLS")) << "the password went to an unproven server";

    // The fingerprint from that line, pinned, is all it takes.
    Configure("FTPS", {"FTPCertificateSHA256 = " + SharedSelfSigned().Sha256()});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(reports.Codes(), (Codes{0, 1, 2, 4})) << reports.All().toStdString();
}

TEST_F(ImplicitFtpsTest, AServerShowingAnotherCertificateThanThePinnedOneGetsNothing)
{
    Configure("FTPS implicit", {"FTPCertificateSHA256 = " + SharedStranger().Sha256()});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(page.State(), OutputState::Failed);
    const QString error = LastError();
    EXPECT_TRUE(error.startsWith("Certificate of 127.0.0.1 does not match the pinned fingerprint"))
        << error.toStdString();
    EXPECT_TRUE(error.contains(SharedSelfSigned().Sha256())) << "the certificate actually shown";
    EXPECT_FALSE(server.Commands().contains("PASS TLS"));
    EXPECT_FALSE(QFile::exists(ServerPath("cam.jpg")));
}

TEST_F(PlainServerTest, AServerWithoutTlsNeverSeesThePasswordWhenFtpsIsAskedFor)
{
    Configure("FTPS", {"FTPCertificateSHA256 = " + SharedSelfSigned().Sha256()});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(page.State(), OutputState::Failed);
    EXPECT_FALSE(LastError().isEmpty());
    const QStringList seen = server.Commands();
    EXPECT_FALSE(seen.contains("PASS")) << seen.join(", ").toStdString();
    EXPECT_FALSE(QFile::exists(ServerPath("cam.jpg")));

    // An unknown protocol in the file is taken as FTPS, not as plain FTP.
    Configure("FTP over carrier pigeon", {});
    ASSERT_TRUE(UploadOnce());
    EXPECT_EQ(page.State(), OutputState::Failed);
    EXPECT_FALSE(server.Commands().contains("PASS"));
}

// Over TLS as in plain FTP, a reader of the published name during a slow upload sees the old
// file or the whole new one, never a part.
TEST(FtpsPublishing, AReaderOfTheNameNeverSeesAPartialFileDuringASlowUpload)
{
    FtpServer server(TlsServer(FtpServerOptions::Tls::Explicit, 96 * 1024));
    ASSERT_TRUE(server.Running());
    FtpEngine page{TestLimits};
    FtpReports reports;
    page.LoadSettings({"FTPServer = 127.0.0.1", QString("FTPPort = %1").arg(server.Port()),
                       "FTPUsername = " + FtpServer::User, "FTPPassword = " + FtpServer::Password,
                       "FTPEncryptPassword = No", "FTPProtocol = FTPS", "FTPPassiveMode = Yes",
                       "FTPCertificateSHA256 = " + SharedSelfSigned().Sha256(),
                       "FTPDestinationFilename = cam.jpg"});
    const QString published = QDir(server.Home()).filePath("cam.jpg");
    const QByteArray old = "the previous image";
    {
        QFile file(published);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    page.Upload(RandomFrame(800, 600, 24, 3), &reports);
    QSet<qint64> sizes;
    bool sawNew = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            QFile file(published);
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = file.readAll();
                if (bytes != old) {
                    // The new file, whole: a JPEG that ends.
                    EXPECT_TRUE(bytes.startsWith("\xFF\xD8") && bytes.endsWith("\xFF\xD9")) << bytes.size();
                    sawNew = true;
                }
                sizes.insert(bytes.size());
            }
            return page.State() != OutputState::Busy && !reports.steps.empty() &&
                   reports.steps.back().first == FtpReport::Closed;
        },
        60000))
        << reports.All().toStdString();
    EXPECT_TRUE(sawNew || IsImage(published, 800));
    EXPECT_LE(sizes.size(), 2) << "only the old and the new file";
    EXPECT_TRUE(IsImage(published, 800));
}
