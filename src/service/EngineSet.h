#pragma once

#include "SettingsFile.h"
#include "control/AdvancedSettings.h"
#include "outputs/CSMTPSocket.h"
#include "outputs/FtpSession.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <memory>

class ArchiveEngine;
class CaptionEngine;
class CControl;
class OutboxCourier;
class Clock;
class FtpEngine;
class LogEngine;
class SmtpEngine;
class SourceEngine;

// Every engine of one data directory and the processing controller that drives them, made
// in the order they need each other, with the settings file loaded into them and saved from
// them in its fixed block order. The desktop window shows them through its pages; the
// headless service runs them alone.
class EngineSet final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EngineSet)

public:
    // An unfinished archive file counts as left by an earlier run once it is this much older
    // than the start.
    static constexpr qint64 ArchiveLeftoverAgeS = 60;

    struct Limits
    {
        FtpLimits ftp;
        SmtpLimits smtp;
        // The pause after a failed delivery before a kept image is tried again (it doubles).
        std::chrono::milliseconds outboxFirstRetry = std::chrono::seconds(30);
        // When the archive is swept a second time, for what a run killed just before this
        // start left behind (too young for the first sweep).
        std::chrono::milliseconds archiveSecondSweep = std::chrono::seconds(ArchiveLeftoverAgeS + 2);
    };

    EngineSet(const Clock& clock, const QString& dataDirectory);
    EngineSet(const Clock& clock, const QString& dataDirectory, const Limits& limits,
              QObject* parent = nullptr);
    ~EngineSet() override;

    const QString& DataDirectory() const { return dataDirectory_; }
    QString SettingsPath() const;

    LogEngine& Log() const { return *log_; }
    CaptionEngine& Captions() const { return *captions_; }
    ArchiveEngine& Archive() const { return *archive_; }
    FtpEngine& Ftp() const { return *ftp_; }
    SmtpEngine& Email() const { return *email_; }
    SourceEngine& Source() const { return *source_; }
    CControl& Controller() const { return *controller_; }
    AdvancedSettings& Advanced() { return advanced_; }

    // At start-up, before anything of this run is written: clears the temporaries a killed run
    // left in the data directory, loads the settings and clears (on a thread) those under the
    // archive root. The result is LoadSettings'.
    bool StartUp();
    // Reads the settings file into every engine. False when it is missing (a first start: two
    // example captions) or cannot be read (defaults; the file is kept): both are logged.
    bool LoadSettings();
    bool SettingsFileUnreadable() const { return settingsFileUnreadable_; }
    // Writes every engine's settings atomically; an unreadable file is set aside first.
    bool SaveSettings();
    // Reads the settings file again and applies it as the pages' Apply would (the service's
    // SIGHUP). False, with the engines unchanged, when the file cannot be read.
    bool ReloadSettings();

    // Whether the lines hold anything Pixlet reads (a line of one of its blocks): an empty
    // file or a damaged one would otherwise read as "every setting at its default".
    static bool HoldsSettings(const SettingsList& list);

    // At exit: the controller halts, then every worker gets what is left of one budget;
    // images waiting to be archived are written whatever the budget. Returns what was left
    // behind (logged); the last reports and log lines are handled before it returns.
    QStringList FinishForExit(int budgetMs);

private:
    // The settings file's lines; a file that holds no Pixlet settings counts as unreadable.
    SettingsFileRead ReadSettings(SettingsList& list) const;
    void LoadFrom(const SettingsList& list, bool apply);
    bool SetAsideUnreadableSettings();

    const Clock& clock_;
    QTimer* archiveSecondSweep_ = nullptr;
    const QString dataDirectory_;
    AdvancedSettings advanced_;
    bool settingsFileUnreadable_ = false;
    // Made in this order; the controller goes after the engines it drives, the log last.
    std::unique_ptr<LogEngine> log_;
    std::unique_ptr<CaptionEngine> captions_;
    std::unique_ptr<ArchiveEngine> archive_;
    std::unique_ptr<FtpEngine> ftp_;
    std::unique_ptr<SmtpEngine> email_;
    std::unique_ptr<SourceEngine> source_;
    std::unique_ptr<OutboxCourier> outbox_;
    std::unique_ptr<CControl> controller_;
};
