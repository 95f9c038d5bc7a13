#pragma once

#include "Measure.h"

#include <QByteArray>

#include <turbojpeg.h>

#include <vector>

// The old floor, kept for continuity: TurboJPEG alone decoding the 1920 x 1080 file and
// encoding an output-sized region of it at quality 75, buffers reused. No crop and resize, no
// captions, nothing written.
class DecodeEncodeFloor final
{
public:
    explicit DecodeEncodeFloor(const QByteArray& jpeg);
    ~DecodeEncodeFloor();
    DecodeEncodeFloor(const DecodeEncodeFloor&) = delete;
    DecodeEncodeFloor& operator=(const DecodeEncodeFloor&) = delete;

    RunTimes Run();

private:
    static constexpr int Width = 1920, Height = 1080, OutWidth = 800, OutHeight = 450;
    const QByteArray& jpeg_;
    tjhandle decoder_, encoder_;
    std::vector<unsigned char> pixels_, region_;
    unsigned long capacity_;
    unsigned char* out_;
};
