#pragma once

#include "SettingsFile.h"

#include <QBasicTimer>
#include <QDateTime>
#include <QObject>

#include <deque>
#include <memory>

class Clock;
class StandardErrorEcho;

// The event log: receives every AddLogEntry, stamps it on arrival, appends it to the log file
// when asked to (rotating the file when full) and, in the service, echoes it to standard
// error. Views get each line through Logged(), in batches closed by BatchDone().
class LogEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogEngine)

public:
    static constexpr int MinLines = 100;
    static constexpr int MaxLines = 10000;
    static inline const QString KeySaveToDisk = QStringLiteral("LogSaveToDisk ");
    static inline const QString KeyMaxEntries = QStringLiteral("LogMaxListboxEntries");
    static inline const QString KeyPath = QStringLiteral("LogPathAndFilename");
    static inline const QString KeyFileMaxSize = QStringLiteral("LogFileMaxSizeMB");
    static inline const QString KeyFileKeep = QStringLiteral("LogFileKeep");

    struct Settings
    {
        bool saveToDisk = false;
        int maxListboxEntries = 1000;
        QString pathAndFilename;
        // The file is rotated at this size (0: never), keeping this many older files.
        int fileMaxSizeMb = 10;
        int fileKeep = 5;
    };

    // Entries posted by AddLogEntry wait here, stamped on arrival, and are handled in batches
    // of at most this many milliseconds' work (views included), so a burst from busy threads
    // cannot freeze the window.
    static constexpr int BatchBudgetMs = 15;

    // The stamps come from the clock; the default log file lies in dataDirectory. The engine
    // receives the log's entries from construction to destruction.
    LogEngine(const Clock& clock, const QString& dataDirectory, QObject* parent = nullptr);
    ~LogEngine() override;

    void LoadSettings(const SettingsList& list);
    void SaveSettings(SettingsList& list) const;
    const Settings& CurrentSettings() const { return settings_; }
    void SetSettings(const Settings& settings) { settings_ = settings; }

    // Each line also goes to standard error, the category first (the service's journal),
    // through a bounded queue: a reader that stops reading never holds up the program.
    void SetEchoToStandardError(bool echo);

    // Stamps, writes (if asked) and hands one entry to the views, at once.
    void AddEntry(int category, const QString& text, bool writeToFile = true);
    // Every entry posted so far is handled now (at exit).
    void Flush();

    // "dd/mm/yyyy hh:mm:ss: text", the stamp of list and file lines.
    static QString StampedText(const QDateTime& moment, const QString& text);
    // The line on standard error: "Information: text" or "Error: text", with the journal's
    // priority in front when standard error is the journal.
    static QByteArray StandardErrorLine(int category, const QString& text, bool journal);

signals:
    // One line as the list shows it (stamped, control characters escaped).
    void Logged(int category, const QString& stampedText);
    // The end of a batch of Logged lines: the views trim, scroll and repaint once.
    void BatchDone();

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct Entry
    {
        int category;
        QString text;
        QDateTime stamp;
        bool writeToFile;
    };

    void HandleBatch(int budgetMs);

    const Clock& clock_;
    const QString defaultPath_;
    Settings settings_;
    std::unique_ptr<StandardErrorEcho> echo_;
    bool journal_ = false;
    std::deque<Entry> pending_;
    QBasicTimer handlePending_;
};
