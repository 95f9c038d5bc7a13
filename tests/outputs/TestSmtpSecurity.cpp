#include "ManualClock.h"
#include "NotifyReports.h"
#include "SmtpServers.h"
#include "TestCertificate.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "outputs/SmtpEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSslConfiguration>

#include <gtest/gtest.h>

// Mailing over TLS and with a login, against aiosmtpd with a certificate made for the test,
// and against the scripted server where a real one would not misbehave.
namespace {
using Codes = std::vector<std::int64_t>;

// Until the object is gone, the test authority is one the system trusts.
class TrustedAuthority final
{
public:
    explicit TrustedAuthority(const TestCertificate& authority)
        : saved_(QSslConfiguration::defaultConfiguration())
    {
        QSslConfiguration trusting = saved_;
        trusting.addCaCertificate(authority.Certificate());
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustedAuthority() { QSslConfiguration::setDefaultConfiguration(saved_); }

private:
    const QSslConfiguration saved_;
};

class SmtpSecurityTest : public ::testing::Test
{
protected:
    ManualClock clock{QDateTime(QDate(2026, 12, 9), QTime(14, 5, 30))};
    SmtpReports reports;
    // Generous for aiosmtpd on a busy machine; the limits have tests of their own below.
    SmtpEngine engine{clock, SmtpLimits{30000, 5000}};

    void SetUp() override
    {
        ASSERT_TRUE(SharedSelfSigned().Made()) << "the openssl tool made no certificate";
    }

    void Send(quint16 port, QStringList lines, const QString& server = "127.0.0.1")
    {
        lines << "EmailServer = " + server << QString("EmailPort = %1").arg(port)
              << "EmailToAddress = viewer@example.net"
              << "EmailFrom Address = cam@example.net"
              << "EmailEncryptPassword = No";
        engine.LoadSettings(lines);
        engine.SendMail(GradientFrame(64, 48, 24), &reports);
    }
    bool Finished(int timeoutMs = 40000)
    {
        const bool ended = WaitUntil([&] { return engine.RunningMailings() == 0; }, timeoutMs);
        QCoreApplication::sendPostedEvents();
        return ended;
    }
    static bool Arrived(const AiosmtpdServer& server)
    {
        return WaitUntil([&] { return QFile::exists(QDir(server.Directory()).filePath("1.eml")); }, 5000);
    }
    QString FailureText() const
    {
        for (const auto& [code, text] : reports.steps) {
            if (code == SmtpReport::Failed)
                return text;
        }
        return QString();
    }
};

const QStringList Login = {"EmailUsername = cam", "EmailPassword = s3cret"};
QStringList With(QStringList lines, const QStringList& more)
{
    return lines + more;
}
} // namespace

TEST_F(SmtpSecurityTest, StartTlsThenAuthPlainWithAPinnedSelfSignedCertificate)
{
    AiosmtpdServer server({.certificate = &SharedSelfSigned(), .startTls = true, .login = "cam:s3cret"});
    ASSERT_TRUE(server.Running());
    QElapsedTimer timer;
    timer.start();
    Send(server.Port(), With(Login, {"EmailSecurity = STARTTLS",
                                     "EmailCertificateSHA256 = " + SharedSelfSigned().Sha256().toLower()}));
    ASSERT_TRUE(Finished());
    EXPECT_LT(timer.elapsed(), 4000)
        << "the server's close of the TLS session after 221 ends the mailing at once";
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 0})) << reports.All().toStdString();
    EXPECT_EQ(reports.steps[1].second, "Starting TLS");
    EXPECT_TRUE(Arrived(server));
    EXPECT_EQ(server.Commands(),
              (QStringList{"EHLO", "STARTTLS", "EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"}));
    EXPECT_EQ(engine.State(), OutputState::Idle);
}

TEST_F(SmtpSecurityTest, AuthLoginWhereThatIsAllTheServerOffers)
{
    AiosmtpdServer server(
        {.certificate = &SharedSelfSigned(), .startTls = true, .login = "cam:s3cret", .noPlain = true});
    ASSERT_TRUE(server.Running());
    Send(server.Port(), With(Login, {"EmailSecurity = STARTTLS",
                                     "EmailCertificateSHA256 = " + SharedSelfSigned().Sha256()}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 0})) << reports.All().toStdString();
    EXPECT_TRUE(Arrived(server));
}

TEST_F(SmtpSecurityTest, ImplicitTls)
{
    AiosmtpdServer server({.certificate = &SharedSelfSigned(), .implicitTls = true, .login = "cam:s3cret"});
    ASSERT_TRUE(server.Running());
    Send(server.Port(),
         With(Login, {"EmailSecurity = TLS", "EmailCertificateSHA256 = " + SharedSelfSigned().Sha256()}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 0})) << reports.All().toStdString();
    EXPECT_TRUE(Arrived(server));
    EXPECT_EQ(server.Commands(), (QStringList{"EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"}));
}

TEST_F(SmtpSecurityTest, AWrongPasswordFailsWithTheServersReply)
{
    AiosmtpdServer server({.certificate = &SharedSelfSigned(), .implicitTls = true, .login = "cam:s3cret"});
    ASSERT_TRUE(server.Running());
    Send(server.Port(), {"EmailSecurity = TLS", "EmailCertificateSHA256 = " + SharedSelfSigned().Sha256(),
                         "EmailUsername = cam", "EmailPassword = guess"});
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(FailureText(), "535 5.7.8 Authentication credentials invalid");
    EXPECT_FALSE(server.Commands().contains("MAIL"));
    EXPECT_EQ(engine.State(), OutputState::Failed);
}

TEST_F(SmtpSecurityTest, AServerOfferingALoginOnlyInPlainTextGetsNoPassword)
{
    AiosmtpdServer server({.login = "cam:s3cret", .loginInPlainText = true});
    ASSERT_TRUE(server.Running());
    Send(server.Port(), With(Login, {"EmailSecurity = None"}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(FailureText(), "The password is sent only over TLS - choose STARTTLS or TLS for this server");
    EXPECT_EQ(server.Commands(), (QStringList{"EHLO", "QUIT"})) << "no AUTH arrived";
    EXPECT_EQ(engine.State(), OutputState::Failed);
}

TEST_F(SmtpSecurityTest, StartTlsChosenButNotOfferedIsAnError)
{
    AiosmtpdServer server({.login = "cam:s3cret", .loginInPlainText = true});
    ASSERT_TRUE(server.Running());
    Send(server.Port(), With(Login, {"EmailSecurity = STARTTLS"}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(FailureText(), "The server does not offer STARTTLS");
    EXPECT_EQ(server.Commands(), (QStringList{"EHLO", "QUIT"}))
        << "neither a login nor the message in plain text";
    EXPECT_EQ(engine.State(), OutputState::Failed);
}

TEST_F(SmtpSecurityTest, ASelfSignedCertificateWithoutAPinIsRefusedAndItsFingerprintLogged)
{
    AiosmtpdServer server({.certificate = &SharedSelfSigned(), .startTls = true, .login = "cam:s3cret"});
    ASSERT_TRUE(server.Running());
    Send(server.Port(), With(Login, {"EmailSecurity = STARTTLS"}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 1})) << reports.All().toStdString();
    const QString text = FailureText();
    EXPECT_TRUE(text.startsWith("Certificate of 127.0.0.1 not trusted (")) << text.toStdString();
    EXPECT_TRUE(text.contains("self-signed")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(") - fingerprint SHA-256 " + SharedSelfSigned().Sha256()))
        << text.toStdString();
    EXPECT_EQ(server.Commands(), (QStringList{"EHLO", "STARTTLS"}));
    EXPECT_EQ(engine.State(), OutputState::Failed);
}

TEST_F(SmtpSecurityTest, AWrongPinIsRefused)
{
    ASSERT_TRUE(SharedStranger().Made());
    AiosmtpdServer server({.certificate = &SharedSelfSigned(), .implicitTls = true, .login = "cam:s3cret"});
    ASSERT_TRUE(server.Running());
    Send(server.Port(),
         With(Login, {"EmailSecurity = TLS", "EmailCertificateSHA256 = " + SharedStranger().Sha256()}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    const QString text = FailureText();
    EXPECT_TRUE(text.startsWith("Certificate of 127.0.0.1 does not match the pinned fingerprint ("))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(" - fingerprint SHA-256 " + SharedSelfSigned().Sha256())) << text.toStdString();
    EXPECT_TRUE(server.Commands().isEmpty()) << "not a word over the connection";
}

TEST_F(SmtpSecurityTest, AServerThatDoesNotSpeakTlsFailsTheHandshakeAndGetsNothingInPlainText)
{
    ScriptedSmtpServer plain({.replies = {"250 hello\r\n", "250 sender ok\r\n"}});
    Send(plain.Port(), With(Login, {"EmailSecurity = TLS"}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_TRUE(FailureText().startsWith("The TLS handshake failed - ")) << FailureText().toStdString();
    EXPECT_TRUE(plain.commands.filter("EHLO").isEmpty());
    EXPECT_TRUE(plain.commands.filter("AUTH").isEmpty());
    EXPECT_EQ(engine.State(), OutputState::Failed);
}

TEST_F(SmtpSecurityTest, AnAuthorityTheSystemTrustsNeedsNoPinButAPinStillRules)
{
    const TestCertificate authority(TestCertificate::Kind::Authority);
    const TestCertificate signedByIt(TestCertificate::Kind::Server, &authority);
    ASSERT_TRUE(signedByIt.Made());
    const TrustedAuthority trusted(authority);
    AiosmtpdServer server({.certificate = &signedByIt, .startTls = true, .login = "cam:s3cret"});
    ASSERT_TRUE(server.Running());
    Send(server.Port(), With(Login, {"EmailSecurity = STARTTLS"}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 0})) << reports.All().toStdString();
    EXPECT_TRUE(Arrived(server));

    // Verified against the authority, yet not the certificate pinned.
    reports.steps.clear();
    Send(server.Port(), With(Login, {"EmailSecurity = STARTTLS",
                                     "EmailCertificateSHA256 = " + SharedSelfSigned().Sha256()}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 1}));
    EXPECT_EQ(FailureText(),
              "Certificate of 127.0.0.1 does not match the pinned fingerprint - fingerprint SHA-256 " +
                  signedByIt.Sha256());

    // Verification stays on: the certificate names 127.0.0.1, not "localhost".
    reports.steps.clear();
    Send(server.Port(), With(Login, {"EmailSecurity = STARTTLS"}), "localhost");
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 1}));
    EXPECT_TRUE(FailureText().startsWith("Certificate of localhost not trusted ("))
        << FailureText().toStdString();
}

// Many servers send their home-made authority along: the pin on the server's own certificate
// is enough, whatever is said about the authority.
TEST_F(SmtpSecurityTest, APinnedCertificateSentWithItsUntrustedIssuerIsAccepted)
{
    const TestCertificate authority(TestCertificate::Kind::Authority);
    const TestCertificate signedByIt(TestCertificate::Kind::Server, &authority);
    ASSERT_TRUE(signedByIt.Made());
    AiosmtpdServer server(
        {.certificate = &signedByIt, .startTls = true, .login = "cam:s3cret", .sendIssuer = true});
    ASSERT_TRUE(server.Running());
    Send(server.Port(),
         With(Login, {"EmailSecurity = STARTTLS", "EmailCertificateSHA256 = " + signedByIt.Sha256()}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 0})) << reports.All().toStdString();
    EXPECT_TRUE(Arrived(server));

    // Pinning the authority instead pins nothing the server proved it holds.
    reports.steps.clear();
    Send(server.Port(),
         With(Login, {"EmailSecurity = STARTTLS", "EmailCertificateSHA256 = " + authority.Sha256()}));
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 1})) << reports.All().toStdString();
    EXPECT_EQ(server.Commands().filter("AUTH").size(), 1) << "only the first mailing logged in";
}

TEST_F(SmtpSecurityTest, PlainTextSentAfterTheStartTlsReplyIsNotTakenForAReply)
{
    // The 220 and a forged reply in one write, before the handshake: whoever sits on the
    // line could have written the second.
    ScriptedSmtpServer server(
        {.replies = {"250-scripted\r\n250 STARTTLS\r\n", "220 go ahead\r\n554 injected\r\n",
                     "250 hello again\r\n", "250 sender ok\r\n", "250 recipient ok\r\n", "354 go ahead\r\n",
                     "250 queued\r\n", "221 bye\r\n"},
         .certificate = &SharedSelfSigned()});
    Send(server.Port(),
         {"EmailSecurity = STARTTLS", "EmailCertificateSHA256 = " + SharedSelfSigned().Sha256()});
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 3, 3, 0})) << reports.All().toStdString();
    EXPECT_EQ(reports.steps[2].second,
              "Ignored 14 bytes the server sent in plain text after agreeing to TLS");
    EXPECT_TRUE(server.encrypted);
    EXPECT_EQ(server.commands,
              (QStringList{"EHLO cam@example.net", "STARTTLS", "EHLO cam@example.net",
                           "MAIL FROM:<cam@example.net>", "RCPT TO:<viewer@example.net>", "DATA", "QUIT"}));
}

TEST_F(SmtpSecurityTest, AnOfferBeyondTheBoundedCapabilityListIsNotBelieved)
{
    QByteArray offer = "250-scripted\r\n";
    for (int i = 0; i < 200; ++i)
        offer += "250-X-FILLER-" + QByteArray::number(i) + "\r\n";
    offer += "250 STARTTLS\r\n";
    ScriptedSmtpServer server({.replies = {offer, "221 bye\r\n"}, .certificate = &SharedSelfSigned()});
    Send(server.Port(),
         {"EmailSecurity = STARTTLS", "EmailCertificateSHA256 = " + SharedSelfSigned().Sha256()});
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(FailureText(), "The server does not offer STARTTLS");
    EXPECT_EQ(server.commands, (QStringList{"EHLO cam@example.net", "QUIT"}));
}

TEST(SmtpTlsLimits, AHandshakeThatNeverEndsFailsWithinTheDialogueLimit)
{
    ASSERT_TRUE(SharedSelfSigned().Made());
    ManualClock clock{QDateTime(QDate(2026, 12, 9), QTime(14, 5, 30))};
    SmtpReports reports;
    SmtpEngine engine{clock, SmtpLimits{1500, 400}};
    const auto mail = [&](quint16 port, const QString& security) {
        reports.steps.clear();
        engine.LoadSettings({"EmailServer = 127.0.0.1", QString("EmailPort = %1").arg(port),
                             "EmailToAddress = viewer@example.net", "EmailSecurity = " + security});
        engine.SendMail(GradientFrame(32, 24, 24), &reports);
        const bool ended = WaitUntil([&] { return engine.RunningMailings() == 0; }, 10000);
        QCoreApplication::sendPostedEvents();
        return ended;
    };

    // Implicit TLS to a server that takes the connection and says nothing.
    ScriptedSmtpServer silent({.replies = {}, .silent = true});
    ASSERT_TRUE(mail(silent.Port(), "TLS"));
    ASSERT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(reports.steps[1].second, "The TLS handshake did not finish within 1 s");

    // STARTTLS agreed to, then no handshake.
    ScriptedSmtpServer stalling({.replies = {"250-scripted\r\n250 STARTTLS\r\n", "220 go ahead\r\n"}});
    ASSERT_TRUE(mail(stalling.Port(), "STARTTLS"));
    ASSERT_EQ(reports.Codes(), (Codes{3, 3, 1}));
    EXPECT_EQ(reports.steps[2].second, "The TLS handshake did not finish within 1 s");
    EXPECT_EQ(engine.State(), OutputState::Failed);
}
