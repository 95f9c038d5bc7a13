#include "DelayedImageSaver.h"
#include "ImageDecoder.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "TestImages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace {
class Receiver final : public QObject
{
public:
    struct Note
    {
        std::int64_t result, error;
        bool fileExisted;
        QThread* thread;
    };
    QString watchedPath;
    std::vector<Note> notes;

    bool event(QEvent* e) override
    {
        if (e->type() != RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify))
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        notes.push_back(
            {message->wParam, message->lParam, QFile::exists(watchedPath), QThread::currentThread()});
        return true;
    }
};

} // namespace

TEST(DelayedImageSaver, SavesAfterTheDelayAndNotifiesOnce)
{
    QTemporaryDir dir;
    Receiver receiver;
    receiver.watchedPath = dir.filePath("later.png");
    DelayedImageSaver saver(RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify));
    ImageFrame frame = FlatFrame(16, 16, 24, 0, 128, 0);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(saver.SaveImageFileLater(frame, receiver.watchedPath, 150, &receiver));
    // The caller's frame is the caller's: changing it now must not change what is saved.
    frame = FlatFrame(16, 16, 24, 255, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !receiver.notes.empty(); }));
    EXPECT_GE(timer.elapsed(), 150);
    QCoreApplication::processEvents();
    ASSERT_EQ(receiver.notes.size(), 1u);
    EXPECT_EQ(receiver.notes[0].result, 0);
    EXPECT_EQ(receiver.notes[0].error, 0);
    EXPECT_TRUE(receiver.notes[0].fileExisted) << "notified after the write";
    EXPECT_EQ(receiver.notes[0].thread, QThread::currentThread()) << "delivered on the receiver's thread";
    ImageFrame back;
    ASSERT_EQ(LoadImageFile(back, receiver.watchedPath), 0);
    EXPECT_EQ(PixelAt(back, 8, 8).green, 128);
}

TEST(DelayedImageSaver, NoReceiverMeansNoMessage)
{
    QTemporaryDir dir;
    Receiver bystander;
    {
        DelayedImageSaver saver(RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify));
        ASSERT_TRUE(
            saver.SaveImageFileLater(FlatFrame(8, 8, 24, 1, 1, 1), dir.filePath("a.jpg"), 0, nullptr));
        ASSERT_TRUE(WaitUntil([&] { return saver.PendingCount() == 0; }));
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(bystander.notes.empty());
    EXPECT_TRUE(QFile::exists(dir.filePath("a.jpg")));
}

TEST(DelayedImageSaver, FailureCarriesTheResultAndTheError)
{
    QTemporaryDir dir;
    Receiver receiver;
    DelayedImageSaver saver(RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify));
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ASSERT_TRUE(
        saver.SaveImageFileLater(FlatFrame(8, 8, 24, 1, 1, 1), dir.filePath("blocker/x.jpg"), 0, &receiver));
    ASSERT_TRUE(WaitUntil([&] { return !receiver.notes.empty(); }));
    EXPECT_LT(receiver.notes[0].result, 0);
    EXPECT_EQ(receiver.notes[0].error, ENOTDIR);
}

TEST(DelayedImageSaver, ShutdownCutsDelaysShortButStillWritesEveryImage)
{
    QTemporaryDir dir;
    QElapsedTimer timer;
    timer.start();
    {
        DelayedImageSaver saver(RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify));
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(saver.SaveImageFileLater(FlatFrame(8, 8, 24, i, i, i),
                                                 dir.filePath(QString("%1.bmp").arg(i)), 60'000, nullptr));
        EXPECT_EQ(saver.PendingCount(), 5);
    }
    EXPECT_LT(timer.elapsed(), 10'000) << "a minute's delay did not hold up the shutdown";
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(QFile::exists(dir.filePath(QString("%1.bmp").arg(i)))) << i;
}

TEST(DelayedImageSaver, ManySavesAtOnceFromOneOwner)
{
    QTemporaryDir dir;
    Receiver receiver;
    DelayedImageSaver saver(RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify));
    const ImageFrame frame = RandomFrame(64, 48, 24, 8);
    for (int i = 0; i < 24; ++i)
        ASSERT_TRUE(
            saver.SaveImageFileLater(frame, dir.filePath(QString("%1.jpg").arg(i)), i % 3, &receiver));
    ASSERT_TRUE(WaitUntil([&] { return receiver.notes.size() == 24; }));
    for (const auto& note : receiver.notes)
        EXPECT_EQ(note.result, 0);
}

TEST(DelayedImageSaver, ASteadyRunReusesOneThreadAndWaitingImagesGetTheirOwn)
{
    QTemporaryDir dir;
    Receiver receiver;
    DelayedImageSaver saver(RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify));
    ImageFrame frame = RandomFrame(32, 24, 24, 3);
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(saver.SaveImageFileLater(frame, dir.filePath(QString("%1.jpg").arg(i)), 0, &receiver));
        ASSERT_TRUE(WaitUntil([&] { return receiver.notes.size() == i + 1 && saver.PendingCount() == 0; }));
    }
    EXPECT_EQ(saver.ThreadCount(), 1) << "the parked thread took each next image";
    // Images with a long wait each hold a thread, so a quick one behind them is not held up.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(saver.SaveImageFileLater(frame, dir.filePath(QString("slow%1.jpg").arg(i)), 60'000, nullptr));
    ASSERT_TRUE(saver.SaveImageFileLater(frame, dir.filePath("quick.jpg"), 0, &receiver));
    ASSERT_TRUE(WaitUntil([&] { return receiver.notes.size() == 5; }));
    EXPECT_TRUE(QFile::exists(dir.filePath("quick.jpg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("slow0.jpg")));
    EXPECT_EQ(saver.PendingCount(), 3);
    EXPECT_EQ(saver.ThreadCount(), 4);
    saver.Shutdown();
    EXPECT_EQ(saver.ThreadCount(), 0);
    EXPECT_EQ(saver.PendingCount(), 0);
    EXPECT_TRUE(QFile::exists(dir.filePath("slow2.jpg")));
    // Usable again after a shutdown.
    ASSERT_TRUE(saver.SaveImageFileLater(frame, dir.filePath("after.jpg"), 0, &receiver));
    ASSERT_TRUE(WaitUntil([&] { return receiver.notes.size() == 6; }));
}

TEST(DelayedImageSaver, ChangingTheFrameInPlaceAfterwardsDoesNotChangeWhatIsSaved)
{
    QTemporaryDir dir;
    Receiver receiver;
    receiver.watchedPath = dir.filePath("kept.png");
    DelayedImageSaver saver(RegisterNamedMessage(MessageName::ImageArchiveNewImageNotify));
    ImageFrame frame = FlatFrame(8, 8, 24, 0, 0, 200);
    ASSERT_TRUE(saver.SaveImageFileLater(frame, receiver.watchedPath, 100, &receiver));
    for (int y = 0; y < frame.Height(); ++y)
        std::fill_n(frame.Row(y), 8 * 3, std::uint8_t{7});
    ASSERT_TRUE(WaitUntil([&] { return !receiver.notes.empty(); }));
    ImageFrame back;
    ASSERT_EQ(LoadImageFile(back, receiver.watchedPath), 0);
    EXPECT_EQ(PixelAt(back, 4, 4).blue, 200);
}
