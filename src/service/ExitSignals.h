#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (logout, shutdown, kill, Ctrl+C) into a signal on the GUI
// thread, so that they end the program the same orderly way as Exit in the tray menu: images
// still waiting to be archived are written and no temporary file is left behind. The handler
// only writes a byte into a pipe. Further signals within five seconds are the same request; one
// after that ends the process at once, for a program that really does not respond. In the
// service SIGHUP asks for the settings to be read again instead, as daemons do.
class ExitSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ExitSignals)

public:
    enum class HangUp
    {
        Exits,  // the desktop: the session is going away
        Reloads // the service: read the settings again
    };

    explicit ExitSignals(HangUp hangUp = HangUp::Exits, QObject* parent = nullptr);
    ~ExitSignals() override;

    static QString Name(int signal);

signals:
    void ExitRequested(int signal);
    void ReloadRequested();

private:
    void OnReadable();

    QSocketNotifier* notifier_ = nullptr;
};
