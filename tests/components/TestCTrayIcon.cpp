#include "RecordingTrayPresenter.h"
#include "Utils/Classes/CTrayIcon.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using Utils::Classes::CTrayIcon;

namespace {
QIcon Numbered(int n)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(qRgb(n, n, n));
    return QIcon(QPixmap::fromImage(image));
}

struct TrayFixture : ::testing::Test
{
    TrayRecord record;
    CTrayIcon tray{std::make_unique<RecordingTrayPresenter>(record)};
    std::map<int, QIcon> icons;

    const QIcon& Icon(int n)
    {
        if (!icons.count(n))
            icons[n] = Numbered(n);
        return icons[n];
    }
    // The program's six sequences.
    void DefineSequences()
    {
        tray.AddIcon(0, Icon(516));
        tray.AddIcon(1, Icon(500));
        tray.AddIcon(3, Icon(501));
        for (int f = 516; f >= 505; --f)
            tray.AddIcon(4, Icon(f));
        tray.AddIcon(4, Icon(500));
        tray.AddIcon(5, Icon(500));
        for (int f = 505; f <= 516; ++f)
            tray.AddIcon(5, Icon(f));
    }
    qint64 Key(int n) { return Icon(n).cacheKey(); }
};
} // namespace

TEST_F(TrayFixture, WithoutAnimationStartShowsStoppedThenRunningAtTheNextTick)
{
    DefineSequences();
    tray.SetAnimate(false);
    tray.SelectSequence(0);
    ASSERT_TRUE(tray.Added());
    EXPECT_EQ(record.shownIcons.back(), Key(516));
    // Start: the starting sequence, the waiting one queued behind it.
    tray.SelectSequence(4);
    tray.QueueSequence(1);
    EXPECT_EQ(record.shownIcons.back(), Key(516));
    const auto before = record.shownIcons.size();
    tray.Tick();
    EXPECT_EQ(record.shownIcons.size(), before + 1) << "no animation frames in between";
    EXPECT_EQ(record.shownIcons.back(), Key(500));
    tray.Tick();
    EXPECT_EQ(record.shownIcons.size(), before + 1) << "a still icon is not sent again";
}

TEST_F(TrayFixture, StartPlaysTheStartingAnimationThenTheWaitingIcon)
{
    DefineSequences();
    tray.SelectSequence(0);
    tray.Tick();
    ASSERT_EQ(record.shownIcons, std::vector<qint64>{Key(516)});
    record.shownIcons.clear();
    tray.SelectSequence(4);
    tray.QueueSequence(1);
    for (int i = 0; i < 20; ++i)
        tray.Tick();
    // 516 is already showing; then every frame up to the running icon, which stays.
    std::vector<qint64> expected;
    for (int f = 515; f >= 505; --f)
        expected.push_back(Key(f));
    expected.push_back(Key(500));
    EXPECT_EQ(record.shownIcons, expected);
    EXPECT_EQ(tray.CurrentSequence(), 1);
    EXPECT_EQ(tray.QueueLength(), 0u);
}

TEST_F(TrayFixture, WithoutAnimationTheTipStillFollowsTheState)
{
    DefineSequences();
    tray.SetAnimate(false);
    tray.SelectSequence(1);
    tray.SetTip("Pixlet");
    tray.Tick();
    ASSERT_EQ(record.tips.back(), "Pixlet");
    // A failure: the error icon at once, its text as the tip with the next tick.
    tray.SelectSequence(3);
    tray.SetTip("FTP - Error - 550 Permission denied");
    EXPECT_EQ(record.shownIcons.back(), Key(501));
    tray.Tick();
    EXPECT_EQ(record.tips.back(), "FTP - Error - 550 Permission denied");
    EXPECT_EQ(record.shownIcons.back(), Key(501));
    const auto shown = record.shownIcons.size();
    tray.Tick();
    EXPECT_EQ(record.shownIcons.size(), shown) << "nothing new: nothing sent again";
}

TEST_F(TrayFixture, StopPlaysTheStoppingAnimationThenTheStoppedIcon)
{
    DefineSequences();
    tray.SelectSequence(2 /* no such sequence: shows nothing */);
    tray.Tick();
    EXPECT_FALSE(tray.Added());
    tray.SelectSequence(1);
    tray.Tick();
    ASSERT_EQ(record.shownIcons.back(), Key(500));
    record.shownIcons.clear();
    tray.SelectSequence(5);
    tray.QueueSequence(0);
    for (int i = 0; i < 20; ++i)
        tray.Tick();
    // 500 is already showing; then every frame down to the stopped icon, which stays.
    std::vector<qint64> expected;
    for (int f = 505; f <= 516; ++f)
        expected.push_back(Key(f));
    EXPECT_EQ(record.shownIcons, expected);
    EXPECT_EQ(tray.CurrentSequence(), 0);
}

TEST_F(TrayFixture, QueueingTheSameSequenceTwiceKeepsOneEntry)
{
    DefineSequences();
    tray.SelectSequence(1);
    tray.Tick();
    tray.QueueSequence(3);
    tray.QueueSequence(3);
    EXPECT_EQ(tray.QueueLength(), 1u);
    tray.QueueSequence(1);
    tray.QueueSequence(3);
    EXPECT_EQ(tray.QueueLength(), 3u);
    tray.SelectSequence(0);
    EXPECT_EQ(tray.QueueLength(), 0u) << "select empties the queue";
}

TEST_F(TrayFixture, QueueBeforeTheIconIsAddedActsAsSelect)
{
    DefineSequences();
    tray.QueueSequence(3);
    EXPECT_EQ(tray.CurrentSequence(), 3);
    EXPECT_EQ(tray.QueueLength(), 0u);
}

TEST_F(TrayFixture, TipsAreCutAndShownWithTheNextFrame)
{
    DefineSequences();
    tray.SelectSequence(3);
    tray.SetTip(QString(200, 'x'));
    tray.Tick();
    ASSERT_FALSE(record.tips.empty());
    EXPECT_EQ(record.tips.back().size(), 127);
    EXPECT_TRUE(record.tips.back().endsWith("..."));
    EXPECT_EQ(CTrayIcon::CutTip(QString(127, 'y')), QString(127, 'y'));
    tray.SetTip("Error text");
    tray.Tick();
    EXPECT_EQ(record.tips.back(), "Error text") << "a new tip alone changes the icon's record";
}

TEST_F(TrayFixture, ReplacingTheCurrentSequenceShowsTheNewIconAtOnce)
{
    DefineSequences();
    tray.SelectSequence(1);
    tray.Tick();
    tray.ReplaceSequence(1, Icon(42));
    EXPECT_EQ(record.shownIcons.back(), Key(42));
    tray.RemoveSequence(1);
    const auto shown = record.shownIcons.size();
    tray.Tick();
    EXPECT_EQ(record.shownIcons.size(), shown) << "a removed sequence shows nothing";
}

TEST_F(TrayFixture, ShutdownRemovesTheIconOnce)
{
    DefineSequences();
    tray.SelectSequence(0);
    tray.Tick();
    tray.Shutdown();
    tray.Shutdown();
    EXPECT_EQ(record.removed, 1);
    EXPECT_FALSE(tray.Added());
}
