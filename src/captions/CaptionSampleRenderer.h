#pragma once

#include "CCaptionData.h"
#include "ImageFrame.h"
#include "WorkerThread.h"

#include <QImage>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class Clock;

// The caption editor's sample, made on a worker thread: the captions' texts expanded (a file
// line read from a slow or odd file must never freeze the window) and drawn onto a copy of the
// newest source image. One job runs at a time; a request made meanwhile waits, and only the
// newest waiting one is kept.
class CaptionSampleRenderer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptionSampleRenderer)

public:
    explicit CaptionSampleRenderer(const Clock& clock, QObject* parent = nullptr);
    // Waits for the job that runs (a file read is bounded by its size limit).
    ~CaptionSampleRenderer() override;

    // Draws the captions onto a copy of the source (empty: no image yet). Unless `force`, the
    // drawing is skipped, and nothing reported, when the expanded texts and the number of
    // captions are those of the last result: the once-a-second check of clock and file tokens.
    void Request(const ImageFrame& source, const std::vector<CCaptionData>& captions, bool force);
    bool Busy() const { return running_; }

signals:
    // The captions with their texts expanded, and the source with them drawn (null without a
    // source image).
    void Rendered(const std::vector<CCaptionData>& expanded, const QImage& image);

private:
    struct Job
    {
        QImage source;
        std::vector<CCaptionData> captions;
        bool force = false;
    };
    void Start(Job job);
    void Finish(std::vector<CCaptionData> expanded, QImage image, bool drawn);

    const Clock& clock_;
    bool running_ = false;
    std::optional<Job> waiting_;
    std::vector<CCaptionData> lastExpanded_;
    bool haveResult_ = false;
    WorkerThread worker_; // last: joined first
};
