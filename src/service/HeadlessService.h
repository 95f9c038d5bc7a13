#pragma once

#include "EngineSet.h"

#include <QObject>

class Clock;

// Pixlet without a window: the engines of one data directory and their controller, processing
// from the start. Every log line also goes to standard error. An exit request stops the way
// Exit in the tray menu does (images waiting to be archived are written, the outputs get what
// is left of one budget, the settings file is not rewritten); a reload request reads the
// settings file again and applies it as the pages' Apply would.
class HeadlessService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessService)

public:
    HeadlessService(const Clock& clock, const QString& dataDirectory, const QString& version,
                    QObject* parent = nullptr);
    ~HeadlessService() override;

    void Start();
    void Exit(const QString& reason);
    void Reload();

    EngineSet& Engines() { return engines_; }
    bool WorkersLeftBehind() const { return workersLeftBehind_; }
    void SetExitBudgetMs(int ms) { exitBudgetMs_ = ms; }

signals:
    // Exit has run its order; the program ends.
    void Finished();

private:
    const QString version_;
    EngineSet engines_;
    bool exiting_ = false;
    bool workersLeftBehind_ = false;
    int exitBudgetMs_ = 5000;
};
