// The image decoders through Pixlet's own entry (JPEG, GIF, BMP, PNG, TIFF, told by content):
// any bytes give a frame within the pixel limit, or an error and no frame.
#include "FuzzSupport.h"
#include "ImageDecoder.h"
#include "ImageFrame.h"
#include "TurboJpeg.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    ImageFrame frame;
    const ResultCode result = LoadImageFromMemory(frame, Bytes(data, size));
    if (result < 0 && !frame.IsEmpty())
        __builtin_trap(); // a failure leaves no frame
    if (std::int64_t(frame.Width()) * frame.Height() > TurboJpeg::MaxPixels)
        __builtin_trap(); // the limit holds
    if (!frame.IsEmpty() && frame.BitsPerPixel() != 8 && frame.BitsPerPixel() != 24 &&
        frame.BitsPerPixel() != 32)
        __builtin_trap();
    return 0;
}
