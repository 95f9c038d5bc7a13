#include "ArchiveReports.h"
#include "Clock.h"
#include "ImageFrame.h"
#include "ManualClock.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "PasswordScrambler.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "outputs/ArchiveEngine.h"
#include "outputs/FtpEngine.h"
#include "outputs/SmtpEngine.h"
#include "pages/CFTP.h"
#include "pages/CImageArchive.h"
#include "pages/CSMTP.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

// The output pages show their engine's settings, edit a copy and hand it back on Apply.
namespace {
template <typename Engine, typename Page> void Load(Engine& engine, Page& page, const SettingsList& list)
{
    engine.LoadSettings(list);
    page.RefreshPage();
}

struct ArchivePageTest : ::testing::Test
{
    QTemporaryDir dir;
    // 2009-03-07 14:05:09 local (UTC here).
    ManualClock clock{QDateTime(QDate(2009, 3, 7), QTime(14, 5, 9), Qt::UTC)};
    ArchiveEngine engine{clock, dir.path() + "/data/"};
    CImageArchive archive{engine};
    ArchiveReports controller;

    void Load(const QString& lines)
    {
        engine.LoadSettings(lines.split('\n'));
        archive.RefreshPage();
    }
};
} // namespace

TEST_F(ArchivePageTest, UnappliedEditsChangeTheExampleButNotThePath)
{
    Load("ArchiveRootDirectory = " + dir.path() + "\nArchiveSaveDelay = 0");
    QSignalSpy changed(&archive, &CImageArchive::Changed);
    archive.TemplateEdit()->setText("<YYYY>-<MO>.png");
    EXPECT_EQ(archive.ExampleEdit()->text(), " 2009-03.png");
    EXPECT_GE(changed.count(), 1);
    engine.Save(FlatFrame(8, 8, 24, 0, 0, 0), &controller);
    ASSERT_TRUE(WaitUntil([&] { return !controller.notes.empty(); }));
    EXPECT_EQ(controller.notes[0].path, dir.path() + "/140509.jpg");
    archive.ApplyPage();
    EXPECT_EQ(engine.CurrentSettings().subdirectoryAndFilename, "<YYYY>-<MO>.png");
    archive.TemplateEdit()->setText("typed");
    archive.RefreshPage();
    EXPECT_EQ(archive.TemplateEdit()->text(), "<YYYY>-<MO>.png");
}

TEST_F(ArchivePageTest, QuickSetButtonsAndTheLiveExample)
{
    QStringList templates;
    for (auto* button : archive.findChildren<QPushButton*>()) {
        button->click();
        templates << archive.TemplateEdit()->text();
    }
    EXPECT_TRUE(templates.contains("<YYYY>/<MO>/<DD>/<HH><MM><SS>.jpg"));
    EXPECT_TRUE(templates.contains("<D>-<MONTH>-<YYYY>/<HH><MM><SS>.jpg"));
    archive.TemplateEdit()->setText("<HH><MM><SS>");
    archive.show();
    clock.Advance(61'000);
    QElapsedTimer timer;
    timer.start();
    while (archive.ExampleEdit()->text() != " 140610" && timer.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(archive.ExampleEdit()->text(), " 140610") << "refreshed every second while shown";
}

TEST(FtpPage, TheTemporaryNameCheckBoxFollowsAndChangesTheSetting)
{
    FtpEngine engine;
    CFTP page{engine};
    int changes = 0;
    QObject::connect(&page, &CFTP::Changed, [&] { ++changes; });
    Load(engine, page, {"FTPUploadUnderTemporaryName = No"});
    EXPECT_FALSE(page.TemporaryNameCheck()->isChecked());
    Load(engine, page, {});
    EXPECT_TRUE(page.TemporaryNameCheck()->isChecked());
    EXPECT_EQ(changes, 0) << "showing the settings is no change";

    page.TemporaryNameCheck()->setChecked(false);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(engine.Settings().uploadUnderTemporaryName) << "not before Apply";
    page.ApplyPage();
    EXPECT_FALSE(engine.Settings().uploadUnderTemporaryName);
    SettingsList list;
    engine.SaveSettings(list);
    EXPECT_TRUE(list.contains("FTPUploadUnderTemporaryName = No"));
}

TEST(FtpPage, TheProtocolMovesTheUsualPortAndDecidesWhichSecurityFieldsApply)
{
    EXPECT_EQ(CFTP::PortForProtocol("21", FtpProtocol::Sftp), "22");
    EXPECT_EQ(CFTP::PortForProtocol("22", FtpProtocol::FtpsImplicit), "990");
    EXPECT_EQ(CFTP::PortForProtocol("", FtpProtocol::FtpsExplicit), "21");
    EXPECT_EQ(CFTP::PortForProtocol("2121", FtpProtocol::Sftp), "2121") << "the user's own";

    FtpEngine engine;
    CFTP page{engine};
    Load(engine, page, {"FTPProtocol = SFTP", "FTPPort = 2222", "FTPKnownHostsFile = /etc/hosts.known"});
    EXPECT_EQ(page.ProtocolCombo()->currentText(), "SFTP");
    EXPECT_EQ(page.PortEdit()->text(), "2222") << "shown as in force";
    EXPECT_TRUE(page.PrivateKeyEdit()->isEnabled());
    EXPECT_FALSE(page.FingerprintEdit()->isEnabled());
    EXPECT_FALSE(page.PassiveCheck()->isEnabled());

    Load(engine, page, {});
    EXPECT_EQ(page.ProtocolCombo()->currentText(), "FTP");
    EXPECT_TRUE(page.PassiveCheck()->isEnabled());
    page.ProtocolCombo()->setCurrentIndex(
        page.ProtocolCombo()->findData(static_cast<int>(FtpProtocol::FtpsImplicit)));
    EXPECT_EQ(page.PortEdit()->text(), "990");
    EXPECT_TRUE(page.FingerprintEdit()->isEnabled());
    EXPECT_FALSE(page.PassiveCheck()->isEnabled()) << "FTPS is always passive";
    EXPECT_FALSE(page.KnownHostsEdit()->isEnabled());
    page.FingerprintEdit()->setText(QString("ab").repeated(32));
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().protocol, FtpProtocol::FtpsImplicit);
    EXPECT_EQ(engine.Settings().port, 990);
    EXPECT_EQ(engine.Settings().certificateSha256, QString("AB:").repeated(31) + "AB");
    EXPECT_EQ(page.FingerprintEdit()->text(), engine.Settings().certificateSha256) << "shown as kept";

    // Not a fingerprint: the one in force stays.
    page.FingerprintEdit()->setText("12:34");
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().certificateSha256, QString("AB:").repeated(31) + "AB");
}

TEST(FtpPage, ThumbnailSidesAreClampedAndTheFieldsFollowTheCheckBox)
{
    FtpEngine engine;
    CFTP page{engine};
    Load(engine, page, {"FTPThumbnailEnable = No"});
    EXPECT_FALSE(page.ThumbnailWidthEdit()->isEnabled()) << "set on load as well";
    Load(engine, page, {"FTPThumbnailEnable = Yes"});
    EXPECT_TRUE(page.ThumbnailWidthEdit()->isEnabled());

    QLineEdit* width = page.ThumbnailWidthEdit();
    width->selectAll();
    QTest::keyClicks(width, "5000");
    EXPECT_EQ(width->text(), "1000");
    width->selectAll();
    QTest::keyClicks(width, "0");
    EXPECT_EQ(width->text(), "1");
    width->clear();
    EXPECT_EQ(width->text(), "");
    page.ThumbnailHeightEdit()->setText("-");
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().thumbnailWidth, 160) << "an emptied field keeps the width in force";
    EXPECT_EQ(engine.Settings().thumbnailHeight, 120) << "so does a lone sign";
    EXPECT_EQ(width->text(), "160") << "and shows it again";
    EXPECT_EQ(page.ThumbnailHeightEdit()->text(), "120");
    width->selectAll();
    QTest::keyClicks(width, "64");
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().thumbnailWidth, 64);

    int changes = 0;
    QObject::connect(&page, &CFTP::Changed, [&] { ++changes; });
    page.ThumbnailCheck()->setChecked(false);
    EXPECT_FALSE(page.ThumbnailDirectoryEdit()->isEnabled());
    EXPECT_FALSE(page.ThumbnailHeightEdit()->isEnabled());
    EXPECT_EQ(changes, 1);
    page.RefreshPage();
    EXPECT_TRUE(page.ThumbnailCheck()->isChecked()) << "revert shows the stored record";
    EXPECT_EQ(page.ThumbnailWidthEdit()->text(), "64");
}

TEST(SmtpPage, ApplyAndRevert)
{
    SmtpEngine engine(SystemClock());
    CSMTP page{engine};
    Load(engine, page, {"EmailServer = mail.example.net", "EmailPort = 2525", "EmailFrom Address = cam@x"});
    EXPECT_EQ(page.ServerEdit()->text(), "mail.example.net");
    EXPECT_EQ(page.PortEdit()->text(), "2525");
    EXPECT_EQ(page.FromEdit()->text(), "cam@x");
    int changes = 0;
    QObject::connect(&page, &CSMTP::Changed, [&] { ++changes; });
    page.PortEdit()->clear();
    page.ToEdit()->setText("a@y, b@z");
    EXPECT_EQ(changes, 2);
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().port, 0) << "an empty port field stores 0";
    EXPECT_EQ(engine.Settings().toAddress, "a@y, b@z");
    page.SubjectEdit()->setText("not applied");
    page.RefreshPage();
    EXPECT_EQ(page.SubjectEdit()->text(), "");
    EXPECT_EQ(page.PortEdit()->text(), "0");
}

TEST(SmtpPage, SecurityLoginAndFingerprintAreShownAndApplied)
{
    SmtpEngine engine(SystemClock());
    CSMTP page{engine};
    int changes = 0;
    QObject::connect(&page, &CSMTP::Changed, [&] { ++changes; });
    const QString pairs =
        "37:4F:83:B5:19:C3:CC:66:A4:9B:BF:2F:2D:F8:47:0E:72:10:DD:91:7F:2D:43:A3:BE:81:9B:74:F4:A8:E2:B5";
    Load(engine, page,
         {"EmailSecurity = TLS", "EmailPort = 465", "EmailUsername = cam",
          "EmailPassword = " + ScramblePassword("s3cret"), "EmailCertificateSHA256 = " + pairs});
    EXPECT_EQ(page.SecurityCombo()->currentText(), "TLS");
    EXPECT_EQ(page.PortEdit()->text(), "465");
    EXPECT_EQ(page.UserEdit()->text(), "cam");
    EXPECT_EQ(page.PasswordEdit()->text(), "s3cret");
    EXPECT_EQ(page.PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(page.SavePasswordCheck()->isChecked());
    EXPECT_EQ(page.FingerprintEdit()->text(), pairs);
    EXPECT_TRUE(page.FingerprintEdit()->isEnabled());
    Load(engine, page, {});
    EXPECT_EQ(page.SecurityCombo()->currentText(), "None");
    EXPECT_FALSE(page.FingerprintEdit()->isEnabled()) << "no certificate without TLS";
    EXPECT_EQ(changes, 0) << "showing the settings is no change";

    page.SecurityCombo()->setCurrentIndex(page.SecurityCombo()->findText("STARTTLS"));
    EXPECT_GE(changes, 1);
    EXPECT_EQ(page.PortEdit()->text(), "587") << "the usual port follows the choice";
    EXPECT_TRUE(page.FingerprintEdit()->isEnabled());
    page.UserEdit()->setText("camera");
    page.PasswordEdit()->setText("pw");
    page.SavePasswordCheck()->setChecked(false);
    page.FingerprintEdit()->setText(QString(pairs).toLower().replace(':', ' '));
    EXPECT_EQ(engine.Settings().security, SmtpSecurity::None) << "not before Apply";
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().security, SmtpSecurity::StartTls);
    EXPECT_EQ(engine.Settings().port, 587);
    EXPECT_EQ(engine.Settings().userName, "camera");
    EXPECT_EQ(engine.Settings().password, "pw");
    EXPECT_FALSE(engine.Settings().savePassword);
    EXPECT_EQ(engine.Settings().certificateSha256, pairs) << "kept in one form";
    EXPECT_EQ(page.FingerprintEdit()->text(), pairs) << "and shown so";
    SettingsList list;
    engine.SaveSettings(list);
    EXPECT_FALSE(list.join('\n').contains("EmailPassword =")) << "not saved";

    // Not a fingerprint: the one in force stays, and is shown again.
    page.FingerprintEdit()->setText("12:34");
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().certificateSha256, pairs);
    EXPECT_EQ(page.FingerprintEdit()->text(), pairs);
    page.FingerprintEdit()->clear();
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().certificateSha256, "") << "cleared on purpose";

    // A pasted name with a tab in it: the next start would refuse it and mail without a login.
    page.UserEdit()->setText("cam\tera\n");
    page.ApplyPage();
    EXPECT_EQ(engine.Settings().userName, "camera");
}

TEST(SmtpPage, ThePortFollowsTheSecurityChoiceUnlessItIsTheUsersOwn)
{
    EXPECT_EQ(CSMTP::PortForSecurity("25", SmtpSecurity::StartTls), "587");
    EXPECT_EQ(CSMTP::PortForSecurity("587", SmtpSecurity::Tls), "465");
    EXPECT_EQ(CSMTP::PortForSecurity("465", SmtpSecurity::None), "25");
    EXPECT_EQ(CSMTP::PortForSecurity("", SmtpSecurity::Tls), "465");
    EXPECT_EQ(CSMTP::PortForSecurity("2525", SmtpSecurity::Tls), "2525");
    EXPECT_EQ(CSMTP::PortForSecurity("0", SmtpSecurity::StartTls), "0");

    SmtpEngine engine(SystemClock());
    CSMTP page{engine};
    Load(engine, page, {"EmailPort = 2525"});
    page.SecurityCombo()->setCurrentIndex(page.SecurityCombo()->findText("TLS"));
    EXPECT_EQ(page.PortEdit()->text(), "2525");
    page.PortEdit()->setText("25");
    page.SecurityCombo()->setCurrentIndex(page.SecurityCombo()->findText("TLS"));
    EXPECT_EQ(page.PortEdit()->text(), "25") << "no change of choice, no change of port";
    page.SecurityCombo()->setCurrentIndex(page.SecurityCombo()->findText("STARTTLS"));
    EXPECT_EQ(page.PortEdit()->text(), "587");
}
