#pragma once

#include <QObject>

class QLocalServer;

// The desktop instance of a data directory listens on a local socket, so that a second start
// on the same directory can bring its window forward instead of only being refused.
class RunningInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunningInstance)

public:
    // Listens under the name; the caller holds the directory's lock, so a socket of that name
    // is a leftover of a process that died and is replaced.
    explicit RunningInstance(const QString& serverName, QObject* parent = nullptr);
    ~RunningInstance() override;

    // From the refused second start: asks the running instance to show its window. False when
    // nobody answered within the limit.
    static bool AskToShow(const QString& serverName, int timeoutMs = 1000);

signals:
    void ShowRequested();

private:
    QLocalServer* server_ = nullptr;
};
