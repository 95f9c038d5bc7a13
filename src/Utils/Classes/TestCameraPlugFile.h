#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// Plays the test cameras being pulled out and plugged back in a running program: they are gone
// while the named file is missing and back once it is there again (PIXLET_TEST_CAMERA_PLUG).
// Long test runs use it to unplug a camera under a program they cannot reach otherwise.
class TestCameraPlugFile final : public QObject
{
public:
    explicit TestCameraPlugFile(const QString& path, int intervalMs = 200);

    // Looks at the file now (the timer looks every interval).
    void Check();
    bool Plugged() const { return plugged_.value_or(false); }

private:
    QString path_;
    QTimer timer_;
    std::optional<bool> plugged_;
};
