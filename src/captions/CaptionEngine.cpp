#include "CaptionEngine.h"

#include "CaptionSettings.h"
#include "ImageOperations.h"
#include "NamedMessages.h"

CaptionEngine::CaptionEngine(const Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock),
      jobs_(clock, RegisterNamedMessage(QString::fromLatin1(MessageName::CaptionImageProcessNotify)))
{
    setObjectName(QStringLiteral("Captions"));
}

CaptionEngine::~CaptionEngine() = default;

void CaptionEngine::LoadSettings(const SettingsList& list)
{
    applied_ = CaptionSettings::ReadCaptions(list);
    customColours_ = CaptionSettings::ReadCustomColours(list);
    sampleBorderHatchStyle_ = CaptionSettings::ReadSampleBorderHatchStyle(list);
}

void CaptionEngine::SaveSettings(SettingsList& list) const
{
    CaptionSettings::Write(list, applied_, customColours_, sampleBorderHatchStyle_);
}

void CaptionEngine::AddExampleCaptions()
{
    applied_.push_back(CCaptionData::FirstExample());
    applied_.push_back(CCaptionData::SecondExample());
}

void CaptionEngine::ProcessImage(ImageFrame& image, QObject* notify)
{
    if (image.IsEmpty())
        return;
    // The sample shows the image as it came, without captions.
    CopyImage(image, lastSourceImage_);
    jobs_.Start(image, applied_, notify);
    emit SampleUpdated();
}
