#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for. Parsed before any application object exists, because the
// service has to choose its display platform before it makes one.
struct CommandLine
{
    bool headless = false; // no window, no display: the engines alone, log lines on stderr
    bool start = false;    // start processing whatever the settings say
    bool hidden = false;   // the desktop program without showing its window
    QString dataDirectory; // empty: the per-user default

    // Set when the program is to end at once: help or version (code 0, text for stdout) or a
    // mistake (code 2, text for stderr).
    bool finished = false;
    int exitCode = 0;
    QString output;

    static CommandLine Parse(const QStringList& arguments, const QString& version);
    // The program's arguments as text; empty, with the message in `error`, when one of them
    // does not decode to text that encodes back to the same bytes.
    static QStringList DecodeArguments(int argc, char* argv[], QString* error);
    static QString HelpText();
};
