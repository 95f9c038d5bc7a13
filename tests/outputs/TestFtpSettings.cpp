#include "LogRecorder.h"
#include "PasswordScrambler.h"
#include "outputs/FtpSettings.h"
#include "outputs/FtpUpload.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

TEST(FtpPassword, ScramblingRoundTripsAndStaysOnOneLine)
{
    EXPECT_EQ(ScramblePassword(""), "");
    EXPECT_EQ(UnscramblePassword(""), "");
    // "abc" XOR "QZV" = 0x30 0x38 0x35, "0850" without padding... as Base64: "MDg1".
    EXPECT_EQ(ScramblePassword("abc"), "MDg1");
    const QString eighty(80, QLatin1Char('p'));
    for (const QString& password : {QString("s3cret"), QString("pässwörd ✓"), eighty}) {
        const QString stored = ScramblePassword(password);
        EXPECT_FALSE(stored.contains('\n')) << "one settings line";
        EXPECT_FALSE(stored.contains('=')) << "no padding";
        EXPECT_EQ(UnscramblePassword(stored), password);
    }
    // Line breaks in an older file are skipped; a zero byte ends the password.
    const QString wrapped = ScramblePassword(eighty);
    EXPECT_EQ(UnscramblePassword(wrapped.left(40) + "\r\n" + wrapped.mid(40)), eighty);
    EXPECT_EQ(UnscramblePassword(ScramblePassword(QString("ab") + QChar(0) + "cd")), "ab");
}

// A settings file is anybody's to edit: the password read from it is bounded, scrambled or not,
// and never shown in the log.
TEST(FtpSettings, AStoredPasswordIsBoundedAndNeverLogged)
{
    LogRecorder log;
    const QString longest(FtpSettings::MaxPasswordLength, 'p');
    EXPECT_EQ(FtpSettings::Read({"FTPPassword = " + ScramblePassword(longest)}).password, longest);
    EXPECT_EQ(FtpSettings::Read({"FTPPassword = " + longest + "p", "FTPEncryptPassword = No"}).password, "");
    EXPECT_EQ(FtpSettings::Read({"FTPPassword = " + ScramblePassword(longest + "p")}).password, "")
        << "too long once unscrambled";
    EXPECT_EQ(FtpSettings::Read({"FTPPassword = " + QString(1'000'000, 'A')}).password, "")
        << "refused before unscrambling";
    QCoreApplication::sendPostedEvents();
    const QStringList lines = log.Starting("Settings - FTPPassword is ");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Settings - FTPPassword is 257 characters long - using none");
    for (const QString& line : lines)
        EXPECT_FALSE(line.contains("ppp")) << line.toStdString();
}

TEST(FtpSettings, DefaultsOrderAndThePasswordLine)
{
    const FtpSettings defaults = FtpSettings::Read({});
    EXPECT_EQ(defaults.port, 21);
    EXPECT_EQ(defaults.destinationFilename, "Pixlet Image.jpg");
    EXPECT_EQ(defaults.thumbnailWidth, 160);
    EXPECT_EQ(defaults.thumbnailHeight, 120);
    EXPECT_TRUE(defaults.savePassword);
    EXPECT_TRUE(defaults.scramblePassword);
    EXPECT_FALSE(defaults.thumbnailEnabled);
    EXPECT_TRUE(defaults.uploadUnderTemporaryName) << "files from before the key publish safely too";

    FtpSettings s;
    s.server = "ftp.example.net";
    s.userName = "cam";
    s.password = "pw";
    SettingsList list;
    s.Write(list);
    const SettingsList expected = {"FTPServer = ftp.example.net",
                                   "FTPPort = 21",
                                   "FTPUsername = cam",
                                   "FTPPassword = " + ScramblePassword("pw"),
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
    EXPECT_EQ(list, expected);
    EXPECT_EQ(FtpSettings::Read(list), s);

    s.savePassword = false;
    list.clear();
    s.Write(list);
    EXPECT_FALSE(list.join('\n').contains("FTPPassword")) << "not saved";
    EXPECT_EQ(FtpSettings::Read(list).password, "") << "the next start begins without it";

    s.savePassword = true;
    s.scramblePassword = false;
    list.clear();
    s.Write(list);
    EXPECT_TRUE(list.contains("FTPPassword = pw"));
    EXPECT_EQ(FtpSettings::Read({"FTPPort = 65557"}).port, 21) << "the low 16 bits";

    s.uploadUnderTemporaryName = false;
    list.clear();
    s.Write(list);
    EXPECT_TRUE(list.contains("FTPUploadUnderTemporaryName = No"));
    EXPECT_EQ(FtpSettings::Read(list), s);
}

TEST(FtpSettings, ProtocolsAndTheirSecurityKeys)
{
    // A file from before the keys: plain FTP in active mode, as it always was.
    const FtpSettings old = FtpSettings::Read({"FTPServer = ftp.example.net"});
    EXPECT_EQ(old.protocol, FtpProtocol::Ftp);
    EXPECT_FALSE(old.passiveMode);

    for (const FtpProtocol protocol :
         {FtpProtocol::Ftp, FtpProtocol::FtpsExplicit, FtpProtocol::FtpsImplicit, FtpProtocol::Sftp}) {
        FtpSettings s;
        s.protocol = protocol;
        s.passiveMode = true;
        s.certificateSha256 = QString("AB:").repeated(31) + "CD";
        s.privateKeyFile = "/home/cam/.ssh/id_ed25519";
        s.knownHostsFile = "/etc/pixlet/known_hosts";
        SettingsList list;
        s.Write(list);
        EXPECT_EQ(FtpSettings::Read(list), s) << FtpProtocolName(protocol).toStdString();
    }
    EXPECT_EQ(ParseFtpProtocol(" ftps  IMPLICIT "), FtpProtocol::FtpsImplicit);
    EXPECT_EQ(ParseFtpProtocol("FTPES"), FtpProtocol::FtpsExplicit);
    EXPECT_EQ(ParseFtpProtocol("sftp"), FtpProtocol::Sftp);
    EXPECT_EQ(ParseFtpProtocol("scp"), std::nullopt);
    EXPECT_EQ(DefaultFtpPort(FtpProtocol::FtpsImplicit), 990);
    EXPECT_EQ(DefaultFtpPort(FtpProtocol::Sftp), 22);

    // Something else meant some protection: FTPS, never plain FTP. A pin that is no
    // fingerprint is dropped, with a line each.
    const FtpSettings odd = FtpSettings::Read({"FTPProtocol = SSH2", "FTPCertificateSHA256 = 12:34"});
    EXPECT_EQ(odd.protocol, FtpProtocol::FtpsExplicit);
    EXPECT_EQ(odd.certificateSha256, "");
    EXPECT_EQ(FtpSettings::Read({"FTPCertificateSHA256 = " + QString("ab").repeated(32)}).certificateSha256,
              QString("AB:").repeated(31) + "AB");
}

TEST(FtpUpload, AnAddressNamingAnotherProtocolIsRefusedNeverWeakened)
{
    FtpSettings s;
    s.server = "ftps://ftp.example.net";
    EXPECT_FALSE(FtpSession::SchemeMismatch(s).isEmpty()) << "plain FTP would send the password in clear";
    s.protocol = FtpProtocol::FtpsExplicit;
    EXPECT_EQ(FtpSession::SchemeMismatch(s), "");
    s.protocol = FtpProtocol::FtpsImplicit;
    EXPECT_EQ(FtpSession::SchemeMismatch(s), "");
    s.server = " SFTP://host/";
    EXPECT_TRUE(FtpSession::SchemeMismatch(s).contains("(FTPS implicit)"))
        << FtpSession::SchemeMismatch(s).toStdString();
    s.protocol = FtpProtocol::Sftp;
    EXPECT_EQ(FtpSession::SchemeMismatch(s), "");
    s.server = "ftp://host";
    EXPECT_FALSE(FtpSession::SchemeMismatch(s).isEmpty());
    s.protocol = FtpProtocol::Ftp;
    EXPECT_EQ(FtpSession::SchemeMismatch(s), "");
    s.server = "host.example.net";
    EXPECT_EQ(FtpSession::SchemeMismatch(s), "") << "no scheme: the protocol chosen";
}

TEST(FtpUpload, TemporaryNamesAreHiddenBesideTheirFile)
{
    EXPECT_EQ(FtpSession::TemporaryName("cam.jpg"), ".cam.jpg.pixlet-part");
    EXPECT_EQ(FtpSession::TemporaryName("Pixlet Image.jpg"), ".Pixlet Image.jpg.pixlet-part");
    EXPECT_EQ(FtpSession::TemporaryName("sub/dir/cam.jpg"), "sub/dir/.cam.jpg.pixlet-part");
    EXPECT_EQ(FtpSession::TemporaryName("sub/"), "") << "no file to name";
    EXPECT_EQ(FtpSession::TemporaryName(""), "");
}

TEST(FtpUpload, FileNameExtensions)
{
    EXPECT_EQ(FileNameExtension("Pixlet Image.jpg"), ".jpg");
    EXPECT_EQ(FileNameExtension("cam.PNG"), ".PNG");
    EXPECT_EQ(FileNameExtension("noextension"), "");
    EXPECT_EQ(FileNameExtension("dir.d/name"), "");
}
