#pragma once

#include "Utils/Classes/CPage.h"

#include <QBasicTimer>
#include <QDateTime>

#include <deque>

class Clock;
class QCheckBox;

namespace Utils::Controls {
class CListBoxColour;
class CEditBrowseCtrlEx;
} // namespace Utils::Controls

// The "Log" page: the event log's coloured, time-stamped list, optionally appended to a log
// file, and the log's three settings. It receives every AddLogEntry while it exists.
class CLog final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLog)

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

    // The list and file stamps come from the clock; the default log file lies in dataDirectory.
    CLog(const Clock& clock, const QString& dataDirectory, QWidget* parent = nullptr);
    ~CLog() override;

    void LoadSettings(const SettingsList& list) override;
    void SaveSettings(SettingsList& list) const override;
    void ApplyPage() override;
    void RefreshPage() override;

    // Stamps, colours, shows, trims and (if asked) writes one entry, at once.
    void AddEntry(int category, const QString& text, bool writeToFile = true);
    // Every entry posted so far is shown and written now (at exit).
    void Flush();

    // Entries posted by AddLogEntry wait here, stamped on arrival, and are shown in batches of
    // at most this many milliseconds' work, so a burst from busy threads cannot freeze the window.
    static constexpr int BatchBudgetMs = 15;

    const Settings& CurrentSettings() const { return settings_; }
    Utils::Controls::CListBoxColour* List() const { return list_; }
    QCheckBox* SaveCheck() const { return saveCheck_; }
    Utils::Controls::CEditBrowseCtrlEx* PathEdit() const { return pathEdit_; }

    // "dd/mm/yyyy hh:mm:ss: text", the stamp of list and file lines.
    static QString StampedText(const QDateTime& moment, const QString& text);
    // The two colour texts of a category; empty means the system colours.
    static std::pair<QString, QString> CategoryColours(int category);

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

    void ShowSettings();
    void ShowPending();
    // Adds the entries to the list (and file), then scrolls, trims and repaints once.
    void AddBatch(std::deque<Entry>& entries, int budgetMs);

    const Clock& clock_;
    const QString defaultPath_;
    Settings settings_;
    Utils::Controls::CListBoxColour* list_ = nullptr;
    QCheckBox* saveCheck_ = nullptr;
    Utils::Controls::CEditBrowseCtrlEx* pathEdit_ = nullptr;
    std::deque<Entry> pending_;
    QBasicTimer showPending_;
};
