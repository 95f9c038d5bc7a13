#pragma once

#include "ImageFrame.h"
#include "Measure.h"
#include "captions/CCaptionData.h"

#include <QByteArray>
#include <QString>

#include <vector>

// What every correct cycle must do for one arrived 1920 x 1080 JPEG, in a tight loop on one
// thread, with the program's own code: read and decode the file, crop (100,100 1280 x 720) and
// area-resize to 800 x 450, draw the captions, encode at quality 75, and write the bytes as
// the archive does (WriteFileAtomically: a temporary in the target's directory, written,
// fsynced, renamed over the target). Buffers are kept from run to run. No directory
// watching, no scanning, no hand-offs between threads, no log lines.
class CycleFloor final
{
public:
    CycleFloor(const std::vector<CCaptionData>& captions, const QString& archiveDirectory);

    // One run on the file at `path`; cpuMs < 0 when a step failed.
    RunTimes Run(const QByteArray& path);
    // The bytes the last run wrote.
    const QByteArray& Encoded() const { return encoded_; }

private:
    std::vector<CCaptionData> captions_;
    QString target_;
    ImageFrame decoded_, resized_;
    QByteArray encoded_;
};
