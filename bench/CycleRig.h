#pragma once

#include "captions/CaptionEngine.h"
#include "control/CControl.h"
#include "outputs/ArchiveEngine.h"
#include "sources/SourceEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

// One log line as the rig received it, with the time it arrived (ms since the rig was made).
struct LoggedLine
{
    double atMs = 0;
    bool error = false;
    QString text;
};

// The running program's engine set as a drop directory feeds it: the source watching a
// directory of its own in on-arrival mode, crop (100,100 1280 x 720) and resize to 800 x 450,
// the two first-start example captions, the archive (delay 0) under a directory of its own.
// The rig is the log's receiver: it keeps every line with its arrival time.
class CycleRig final : public QObject
{
public:
    CycleRig();
    ~CycleRig() override;

    void Start();
    void Stop();

    QString WatchedDirectory() const { return watched_.path(); }
    QString ArchiveDirectory() const { return data_.path() + QStringLiteral("/archive"); }
    const std::vector<CCaptionData>& Captions() const { return captions_.AppliedCaptions(); }
    // Milliseconds since the rig was made, on the clock the log lines are stamped with.
    double NowMs() const { return since_.nsecsElapsed() / 1e6; }

    int Archived() const { return archived_; }
    int Errors() const { return errors_; }
    const std::vector<LoggedLine>& Lines() const { return lines_; }
    void ClearLines() { lines_.clear(); }

    // Runs the event loop until `done` holds after a log line (and, if pollMs > 0, at that
    // interval), or for at most timeoutMs. Returns whether `done` held.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 0);
    // Runs the event loop for the time given.
    static void Spin(int ms);

protected:
    bool event(QEvent* event) override;

private:
    QTemporaryDir data_, watched_;
    QElapsedTimer since_;
    SourceEngine source_;
    CaptionEngine captions_;
    ArchiveEngine archive_;
    CControl control_;
    int archived_ = 0;
    int errors_ = 0;
    std::vector<LoggedLine> lines_;
    const std::function<bool()>* done_ = nullptr;
    QEventLoop* loop_ = nullptr;
};
