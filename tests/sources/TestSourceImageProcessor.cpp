#include "ImageOperations.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "TestImages.h"
#include "sources/SourceImageProcessor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace {
class Requester final : public QObject
{
public:
    std::vector<std::unique_ptr<ImageFrame>> answers;
    bool event(QEvent* e) override
    {
        if (e->type() != RegisterNamedMessage(MessageName::SourceNewImage))
            return QObject::event(e);
        answers.push_back(static_cast<MessageEvent*>(e)->TakeImage());
        return true;
    }
};

SourceSettings With(bool crop, bool resize)
{
    SourceSettings s = SourceSettings::Defaults("/d/");
    s.crop = crop;
    s.resize = resize;
    s.cropOriginX = 10;
    s.cropOriginY = 10;
    s.cropWidth = 100;
    s.cropHeight = 80;
    s.resizeWidth = 50;
    s.resizeHeight = 20;
    return s;
}

} // namespace

TEST(SourceImageProcessor, FourWaysToFinishAFrame)
{
    const ImageFrame frame = RandomFrame(200, 150, 24, 4);
    ImageFrame both = SourceImageProcessor::Finish(frame, With(true, true));
    EXPECT_EQ(both.Width(), 50);
    EXPECT_EQ(both.Height(), 20) << "exactly the resize size";
    ImageFrame expected;
    CropAndResizeImage(frame, expected, 50, 20, 10, 10, 100, 80);
    for (int y = 0; y < 20; ++y)
        ASSERT_EQ(std::memcmp(both.Row(y), expected.Row(y), 150), 0) << "one stretch from the crop";

    const ImageFrame cropped = SourceImageProcessor::Finish(frame, With(true, false));
    EXPECT_EQ(cropped.Width(), 100);
    EXPECT_EQ(std::memcmp(cropped.Row(0), frame.Row(10) + 30, 300), 0);
    const ImageFrame resized = SourceImageProcessor::Finish(frame, With(false, true));
    EXPECT_EQ(resized.Width(), 50);
    EXPECT_EQ(resized.BitsPerPixel(), 24);
    const ImageFrame copied = SourceImageProcessor::Finish(frame, With(false, false));
    EXPECT_EQ(copied.Width(), 200);

    SourceSettings zero = With(true, false);
    zero.cropWidth = 0;
    EXPECT_TRUE(SourceImageProcessor::Finish(frame, zero).IsEmpty())
        << "crop (10, 10, 0, 240) gives an empty frame";
    SourceSettings outside = With(true, false);
    outside.cropOriginX = 190;
    const ImageFrame overhang = SourceImageProcessor::Finish(frame, outside);
    EXPECT_EQ(PixelAt(overhang, 50, 5).red + PixelAt(overhang, 50, 5).green, 0)
        << "outside the image is black";
}

TEST(SourceImageProcessor, AnswersOnceAndDropsWhileBusy)
{
    Requester requester;
    SourceImageProcessor processor;
    const ImageFrame big = RandomFrame(2000, 1500, 24, 1);
    ASSERT_TRUE(processor.Process(big, &requester, With(false, true)));
    const bool second = processor.Process(big, &requester, With(false, true));
    WaitUntil([&] { return requester.answers.size() >= (second ? 2u : 1u) && !processor.Busy(); });
    processor.Wait();
    QCoreApplication::processEvents();
    EXPECT_EQ(requester.answers.size(), second ? 2u : 1u) << "a dropped frame gets no answer";
    ASSERT_TRUE(requester.answers[0]);
    EXPECT_EQ(requester.answers[0]->Width(), 50);

    requester.answers.clear();
    ASSERT_TRUE(processor.Process(ImageFrame(), &requester, With(false, false)));
    QCoreApplication::processEvents();
    ASSERT_EQ(requester.answers.size(), 1u);
    EXPECT_EQ(requester.answers[0], nullptr) << "an empty frame: an answer without an image";
}

TEST(SourceImageProcessor, ARequestMadeOnTheAnswerIsNotDropped)
{
    Requester requester;
    SourceImageProcessor processor;
    const ImageFrame frame = RandomFrame(64, 48, 24, 2);
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(processor.Process(frame, &requester, With(true, true))) << round;
        WaitUntil([&] { return requester.answers.size() == static_cast<std::size_t>(round + 1); });
    }
    EXPECT_EQ(requester.answers.size(), 20u);
}
