#include "DecodeEncodeFloor.h"

#include <QElapsedTimer>

#include <cstring>

DecodeEncodeFloor::DecodeEncodeFloor(const QByteArray& jpeg)
    : jpeg_(jpeg), decoder_(tjInitDecompress()), encoder_(tjInitCompress()),
      pixels_(static_cast<std::size_t>(Width) * Height * 3),
      region_(static_cast<std::size_t>(OutWidth) * OutHeight * 3),
      capacity_(tjBufSize(OutWidth, OutHeight, TJSAMP_420)), out_(tjAlloc(static_cast<int>(capacity_)))
{
}

DecodeEncodeFloor::~DecodeEncodeFloor()
{
    tjFree(out_);
    tjDestroy(decoder_);
    tjDestroy(encoder_);
}

RunTimes DecodeEncodeFloor::Run()
{
    QElapsedTimer wall;
    const double start = ProcessCpuMs();
    wall.start();
    tjDecompress2(decoder_, reinterpret_cast<const unsigned char*>(jpeg_.constData()), jpeg_.size(),
                  pixels_.data(), Width, Width * 3, Height, TJPF_RGB, 0);
    // The encoder sees photo content, not a flat buffer.
    for (int y = 0; y < OutHeight; ++y)
        std::memcpy(&region_[static_cast<std::size_t>(y) * OutWidth * 3],
                    &pixels_[(static_cast<std::size_t>(y + 100) * Width + 100) * 3], OutWidth * 3);
    unsigned long length = capacity_;
    tjCompress2(encoder_, region_.data(), OutWidth, OutWidth * 3, OutHeight, TJPF_RGB, &out_, &length,
                TJSAMP_420, 75, TJFLAG_NOREALLOC);
    return {ProcessCpuMs() - start, wall.nsecsElapsed() / 1e6};
}
