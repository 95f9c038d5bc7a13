#include "CycleFloor.h"

#include "AtomicFileWriter.h"
#include "Clock.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageOperations.h"
#include "ResultCodes.h"
#include "captions/CaptionRenderer.h"

#include <QElapsedTimer>

CycleFloor::CycleFloor(const std::vector<CCaptionData>& captions, const QString& archiveDirectory)
    : captions_(captions), target_(archiveDirectory + QStringLiteral("/floor.jpg"))
{
}

RunTimes CycleFloor::Run(const QByteArray& path)
{
    QElapsedTimer wall;
    const double start = ProcessCpuMs();
    wall.start();
    encoded_.clear();
    bool ok = Result::Succeeded(LoadImageFileAt(decoded_, path)) &&
              CropAndResizeImage(decoded_, resized_, 800, 450, 100, 100, 1280, 720);
    if (ok) {
        CaptionRenderer::DrawCaptions(resized_, captions_, SystemClock());
        ok = Result::Succeeded(EncodeImageToStream(resized_, encoded_, ImageFormat::Jpeg, 75)) &&
             WriteFileAtomically(target_, encoded_, 0666) == 0;
    }
    const RunTimes times{ProcessCpuMs() - start, wall.nsecsElapsed() / 1e6};
    return ok ? times : RunTimes{-1, times.wallMs};
}
