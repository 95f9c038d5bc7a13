#include "LogRecorder.h"
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace

TEST(SettingsLookup, EverySeparatorFormGivesTheSameValue)
{
    const QStringList forms = {"Key = value", "Key=value",    "Key: value",
                               "Key value",   "Key := value", "Key :=   value   \t"};
    for (const QString& line : forms)
        EXPECT_EQ(GetSettingString({line}, "Key", "default"), "value") << line.toStdString();
}

TEST(SettingsLookup, LinesThatDoNotHoldTheKey)
{
    EXPECT_EQ(GetSettingString({"Key\tvalue"}, "Key", "d"), "d");
    EXPECT_EQ(GetSettingString({" Key = value"}, "Key", "d"), "d");
    EXPECT_EQ(GetSettingString({"LogMaxListboxEntries = 5"}, "Log", "d"), "d");
    EXPECT_EQ(GetSettingString({"Key"}, "Key", "d"), "d");
    EXPECT_EQ(GetSettingString({}, "Key", "d"), "d");
}

TEST(SettingsLookup, FirstLineWinsAndEmptyValuesAreValues)
{
    EXPECT_EQ(GetSettingString({"Key = one", "Key = two"}, "Key", "d"), "one");
    EXPECT_EQ(GetSettingString({"Key = ", "Key = two"}, "Key", "d"), "");
}

TEST(SettingsLookup, KeyWithTrailingBlank)
{
    EXPECT_TRUE(GetSettingBool({"LogSaveToDisk  = Yes"}, "LogSaveToDisk ", false));
}

TEST(SettingsLookup, WrittenTextReadsBackExactlyHandEditsAsBefore)
{
    for (const QString& text : {QString("== LIVE =="), QString(":: Cam 1 ::"), QString("= :  text  "),
                                QString("  padded  "), QString(":=x"), QString("a = b"), QString()}) {
        SettingsList list;
        AppendSetting(list, "CaptionText0", text);
        EXPECT_EQ(GetSettingString(list, "CaptionText0", "d"), text) << text.toStdString();
    }
    // Hand-written forms: one separator, blanks around it and white space at the end go.
    EXPECT_EQ(GetSettingString({"Key=== LIVE =="}, "Key", "d"), "== LIVE ==");
    EXPECT_EQ(GetSettingString({"Key  =  value \t"}, "Key", "d"), "value");
    EXPECT_TRUE(GetSettingBool({"Key = Yes "}, "Key", false)) << "a stray blank after Yes";
    EXPECT_EQ(GetSettingInt({"Key = 42 "}, "Key", 0, 0, 100), 42);
}

TEST(SettingsLookup, CaseInsensitiveLookupReturnsTheLowerCasedValue)
{
    EXPECT_EQ(GetSettingString({"FTPServer = Host.Example"}, "ftpserver", "d", false), "host.example");
    EXPECT_EQ(GetSettingString({"FTPServer = Host"}, "ftpserver", "d", true), "d");
}

TEST(SettingsLookup, Integers)
{
    constexpr int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    EXPECT_EQ(GetSettingInt({"N = 12abc"}, "N", 7, lo, hi), 12);
    EXPECT_EQ(GetSettingInt({"N = abc"}, "N", 7, lo, hi), 0);
    EXPECT_EQ(GetSettingInt({"N = 250"}, "N", 7, 0, 100), 100);
    EXPECT_EQ(GetSettingInt({"N = -5"}, "N", 7, 0, 100), 0);
    EXPECT_EQ(GetSettingInt({"N = -5"}, "N", 7, 100, 0), 0) << "bounds are swapped when reversed";
    EXPECT_EQ(GetSettingInt({}, "N", 250, 0, 100), 100) << "the default is bounded too";
    EXPECT_EQ(GetSettingInt({"N = +42"}, "N", 7, lo, hi), 42);
    EXPECT_EQ(GetSettingInt({"N = 99999999999999"}, "N", 7, lo, hi), hi);
    EXPECT_EQ(GetSettingInt({"N = -99999999999999"}, "N", 7, lo, hi), lo);
    EXPECT_EQ(GetSettingInt({"N = -2147483648"}, "N", 7, lo, hi), lo);
}

TEST(SettingsLookup, Booleans)
{
    for (const char* yes : {"YES", "yes", "Yes", "1"})
        EXPECT_TRUE(GetSettingBool({QString("B = ") + yes}, "B", false)) << yes;
    for (const char* no : {"true", "on", "2", "No", "", "yes please"})
        EXPECT_FALSE(GetSettingBool({QString("B = ") + no}, "B", true)) << no;
    EXPECT_TRUE(GetSettingBool({}, "B", true));
    EXPECT_FALSE(GetSettingBool({}, "B", false));
}

TEST(SettingsWriting, BlocksAndTextForms)
{
    SettingsList list;
    AppendSetting(list, "AdvancedJPEGQuality", 75);
    EndSettingsBlock(list);
    AppendSetting(list, "ControlEnableFTP", false);
    AppendSetting(list, "ControlStartOnLoad", true);
    AppendSetting(list, "FTPServer", QString("ftp.example"));
    EndSettingsBlock(list);
    EXPECT_EQ(list, QStringList({"AdvancedJPEGQuality = 75", "", "ControlEnableFTP = No",
                                 "ControlStartOnLoad = Yes", "FTPServer = ftp.example", ""}));
}

class SettingsFileTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString Path(const QString& name = "Pixlet.ini") const { return dir.filePath(name); }
};

TEST_F(SettingsFileTest, WrittenFileIsCrLfUtf8AndReadsBackExactly)
{
    SettingsList list;
    AppendSetting(list, "CaptionText0", QString::fromUtf8("Grüße – 東京 🌅"));
    AppendSetting(list, "LogSaveToDisk ", false);
    EndSettingsBlock(list);
    ASSERT_TRUE(WriteSettingsFile(list, Path()));
    EXPECT_EQ(ReadBytes(Path()), QByteArray("CaptionText0 = ") +
                                     QString::fromUtf8("Grüße – 東京 🌅").toUtf8() +
                                     "\r\nLogSaveToDisk  = No\r\n\r\n");

    SettingsList read;
    ASSERT_TRUE(ReadSettingsFile(read, Path()));
    EXPECT_EQ(read, list);
    EXPECT_EQ(GetSettingString(read, "CaptionText0", ""), QString::fromUtf8("Grüße – 東京 🌅"));
}

TEST_F(SettingsFileTest, LineBreaksInAValueCannotInjectASetting)
{
    SettingsList list;
    AppendSetting(list, "CaptionText0", QString("first line\r\nFTPServer = evil.example\nx"));
    ASSERT_TRUE(WriteSettingsFile(list, Path()));
    SettingsList read;
    ASSERT_TRUE(ReadSettingsFile(read, Path()));
    EXPECT_EQ(read.size(), 1);
    EXPECT_EQ(GetSettingString(read, "FTPServer", "none"), "none");
    EXPECT_EQ(GetSettingString(read, "CaptionText0", ""), "first line  FTPServer = evil.example x");
}

TEST_F(SettingsFileTest, ReadAppendsAndKeepsEmptyLines)
{
    ASSERT_TRUE(WriteBytes(Path(), "A = 1\r\n\r\nB = 2\r\n"));
    SettingsList list{"existing"};
    ASSERT_TRUE(ReadSettingsFile(list, Path()));
    EXPECT_EQ(list, QStringList({"existing", "A = 1", "", "B = 2"}));
}

TEST_F(SettingsFileTest, EveryLineEndAndMissingFinalLineEnd)
{
    ASSERT_TRUE(WriteBytes(Path(), "A = 1\nB = 2\r\nC = 3\rD = 4\r\rE = 5"));
    SettingsList list;
    ASSERT_TRUE(ReadSettingsFile(list, Path()));
    EXPECT_EQ(list, QStringList({"A = 1", "B = 2", "C = 3", "D = 4", "", "E = 5"}));
}

TEST_F(SettingsFileTest, CaptionTextsSurviveARoundTripThroughTheFile)
{
    const QStringList texts = {"== LIVE ==", ":: Cam 1 ::", " <HH>:<MM> ", "=", ":"};
    SettingsList list;
    for (int i = 0; i < texts.size(); ++i)
        AppendSetting(list, QString("CaptionText%1").arg(i), texts[i]);
    ASSERT_TRUE(WriteSettingsFile(list, Path()));
    SettingsList read;
    ASSERT_TRUE(ReadSettingsFile(read, Path()));
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(GetSettingString(read, QString("CaptionText%1").arg(i), "d"), texts[i]);
}

TEST_F(SettingsFileTest, MissingAndUnreadableFilesAreToldApart)
{
    SettingsList list{"keep"};
    const SettingsFileRead missing = ReadSettingsFile(list, Path("missing.ini"));
    EXPECT_EQ(missing.status, SettingsFileRead::Status::Missing);

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    const SettingsFileRead folder = ReadSettingsFile(list, Path("folder.ini"));
    EXPECT_EQ(folder.status, SettingsFileRead::Status::Unreadable);
    EXPECT_EQ(folder.reason, "not a regular file");

    // A pipe would block an ordinary open until somebody writes into it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe.ini")).constData(), 0600), 0);
    const SettingsFileRead pipe = ReadSettingsFile(list, Path("pipe.ini"));
    EXPECT_EQ(pipe.status, SettingsFileRead::Status::Unreadable);

    QFile huge(Path("huge.ini"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(17 * 1024 * 1024));
    huge.close();
    const SettingsFileRead tooLarge = ReadSettingsFile(list, Path("huge.ini"));
    EXPECT_EQ(tooLarge.status, SettingsFileRead::Status::Unreadable);
    EXPECT_EQ(tooLarge.reason, "larger than 16 MB");

    // A link to a disk not mounted yet holds somebody's settings, not a first start.
    ASSERT_TRUE(QFile::link(Path("unmounted/Pixlet.ini"), Path("link.ini")));
    const SettingsFileRead dangling = ReadSettingsFile(list, Path("link.ini"));
    EXPECT_EQ(dangling.status, SettingsFileRead::Status::Unreadable);
    EXPECT_TRUE(dangling.reason.startsWith("a link to ")) << dangling.reason.toStdString();
    EXPECT_EQ(list, QStringList({"keep"}));
}

TEST_F(SettingsFileTest, AFileOfManyPiecesIsReadWhole)
{
    // Larger than one piece of the reader (64 KB): every line arrives, the last one too.
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QString("Key%1 = value %1").arg(i);
    QFile file(Path("long.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(lines.join("\r\n").toUtf8());
    file.close();
    ASSERT_GT(file.size(), 3 * 64 * 1024);
    SettingsList list;
    ASSERT_TRUE(ReadSettingsFile(list, Path("long.ini")));
    ASSERT_EQ(list.size(), 20000);
    EXPECT_EQ(list.last(), "Key19999 = value 19999");
    EXPECT_EQ(GetSettingString(list, "Key12345", QString()), "value 12345");
}

TEST_F(SettingsFileTest, AValueThatIsNoNumberIsSaid)
{
    LogRecorder log;
    EXPECT_EQ(
        GetSettingInt({"ControlProcessCollectionType = banana"}, "ControlProcessCollectionType", 0, 0, 1), 0);
    EXPECT_EQ(GetSettingInt({"A = -12"}, "A", 0, -100, 100), -12);
    EXPECT_EQ(GetSettingInt({"B = "}, "B", 7, 0, 100), 0) << "an emptied value reads as before, unsaid";
    QCoreApplication::sendPostedEvents(&log);
    EXPECT_EQ(
        log.Starting("Settings - ControlProcessCollectionType = banana is not a number - using 0").size(), 1);
    EXPECT_EQ(log.entries.size(), 1u);
}

TEST_F(SettingsFileTest, AFileSetAsideKeepsItsBytesUnderADatedName)
{
    ASSERT_TRUE(WriteBytes(Path(), "precious"));
    const QDateTime when(QDate(2026, 12, 10), QTime(14, 25, 1));
    const QString first = SetFileAside(Path(), when);
    EXPECT_EQ(first, Path("Pixlet.ini.unreadable-20261210-142501"));
    EXPECT_EQ(ReadBytes(first), "precious");
    EXPECT_FALSE(QFile::exists(Path()));
    ASSERT_TRUE(WriteBytes(Path(), "second"));
    const QString second = SetFileAside(Path(), when);
    EXPECT_EQ(second, Path("Pixlet.ini.unreadable-20261210-142501-1")) << "the first is never replaced";
    EXPECT_EQ(ReadBytes(first), "precious");
    EXPECT_EQ(ReadBytes(second), "second");
    int error = 0;
    EXPECT_TRUE(SetFileAside(Path(), when, &error).isEmpty());
    EXPECT_EQ(error, ENOENT);
}

TEST_F(SettingsFileTest, LegacySingleByteFileReadsOneCharacterPerByte)
{
    ASSERT_TRUE(WriteBytes(Path(), "Caption = Gr\xFC\xDF"
                                   "e \xA9\r\n"));
    SettingsList list;
    ASSERT_TRUE(ReadSettingsFile(list, Path()));
    EXPECT_EQ(GetSettingString(list, "Caption", ""), QString::fromUtf8("Grüße ©"));
}

TEST_F(SettingsFileTest, EmptyMissingAndGarbageFiles)
{
    ASSERT_TRUE(WriteBytes(Path(), ""));
    SettingsList list;
    EXPECT_TRUE(ReadSettingsFile(list, Path()));
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(GetSettingInt(list, "N", 300, 1, 1000), 300);

    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919) & 0xFF);
    ASSERT_TRUE(WriteBytes(Path("garbage.ini"), garbage));
    SettingsList noise;
    EXPECT_TRUE(ReadSettingsFile(noise, Path("garbage.ini")));
    EXPECT_EQ(GetSettingInt(noise, "ControlProcessCycleTime", 300, 1, 86400), 300);
}

TEST_F(SettingsFileTest, FileIsForItsOwnerOnlyAndDirectoriesAreCreated)
{
    const QString path = dir.filePath("a/b/c/Pixlet.ini");
    ASSERT_TRUE(WriteSettingsFile({"FTPPassword = secret"}, path));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SettingsFileTest, WriteIntoAPathThatIsNotADirectoryFailsCleanly)
{
    ASSERT_TRUE(WriteSettingsFile({"A = 1"}, Path()));
    // The settings file itself stands where the directory would have to be.
    int error = 0;
    EXPECT_FALSE(WriteSettingsFile({"A = 2"}, Path() + "/Pixlet.ini", &error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(ReadBytes(Path()), "A = 1\r\n");
}

TEST_F(SettingsFileTest, WriteThatFailsHalfWayLeavesThePreviousFileIntact)
{
    ASSERT_TRUE(WriteSettingsFile({"A = 1"}, Path()));
    // A file-size limit makes the write fail part of the way through, as a full disk would,
    // and works for root too.
    SettingsList big;
    for (int i = 0; i < 1000; ++i)
        AppendSetting(big, QString("Key%1").arg(i), QString(40, 'x'));
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int error = 0;
    const bool written = WriteSettingsFile(big, Path(), &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(ReadBytes(Path()), "A = 1\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file left behind";
}
