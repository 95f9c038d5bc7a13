#include "CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include "LogText.h"

QString CommandLine::HelpText()
{
    return QStringLiteral("Usage: pixlet [options]\n"
                          "Captures, captions and publishes still images on a schedule.\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help          Show this help and exit.\n"
                          "  -v, --version       Show the version and exit.\n"
                          "  --data-dir <dir>    The folder that holds Pixlet.ini and the default log\n"
                          "                      (one per camera); made when missing.\n"
                          "  --start             Start processing whatever the settings say.\n"
                          "  --hidden            Run on the desktop without showing the window.\n"
                          "  --headless          Run without any display, as a service: log lines go to\n"
                          "                      standard error, SIGTERM and SIGINT stop, SIGHUP reads the\n"
                          "                      settings again.\n");
}

QStringList CommandLine::DecodeArguments(int argc, char* argv[], QString* error)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString text = QFile::decodeName(bytes);
        // A folder name that does not survive decoding would silently name another folder.
        if (QFile::encodeName(text) != bytes) {
            if (error) {
                *error = QStringLiteral("pixlet: the argument %1 is not text in this system's encoding (%2); "
                                        "a folder of that name cannot be used\n")
                             .arg(FileNameForDisplay(bytes))
                             .arg(QString::fromLatin1(qgetenv("LANG")));
            }
            return {};
        }
        arguments << text;
    }
    return arguments;
}

CommandLine CommandLine::Parse(const QStringList& arguments, const QString& version)
{
    CommandLine result;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption dataDir(QStringLiteral("data-dir"), QString(), QStringLiteral("dir"));
    const QCommandLineOption start(QStringLiteral("start"));
    const QCommandLineOption hidden(QStringLiteral("hidden"));
    const QCommandLineOption headless(QStringLiteral("headless"));
    parser.addOptions({help, versionOption, dataDir, start, hidden, headless});
    const auto fail = [&result](const QString& text) {
        result.finished = true;
        result.exitCode = 2;
        result.output = QStringLiteral("pixlet: ") + text + QStringLiteral("\nTry 'pixlet --help'.\n");
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        result.finished = true;
        result.output = HelpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.finished = true;
        result.output = QStringLiteral("Pixlet %1\n").arg(version);
        return result;
    }
    result.headless = parser.isSet(headless);
    result.start = parser.isSet(start);
    result.hidden = parser.isSet(hidden);
    if (result.headless && result.hidden)
        return fail(QStringLiteral("--hidden is for the desktop; --headless has no window at all"));
    if (parser.isSet(dataDir)) {
        if (parser.values(dataDir).size() > 1)
            return fail(QStringLiteral("--data-dir is given more than once"));
        const QString directory = parser.value(dataDir);
        if (directory.trimmed().isEmpty())
            return fail(QStringLiteral("--data-dir needs a folder"));
        // "--data-dir --headless" would otherwise make a folder of the option.
        if (directory.startsWith(QStringLiteral("--")))
            return fail(QStringLiteral("--data-dir needs a folder, not the option '%1'").arg(directory));
        // Always absolute and ending in "/", as the default is: the settings path and the log
        // path are made by appending a name.
        result.dataDirectory = QDir::cleanPath(QDir::current().absoluteFilePath(directory));
        if (!result.dataDirectory.endsWith(u'/'))
            result.dataDirectory += u'/';
    }
    return result;
}
