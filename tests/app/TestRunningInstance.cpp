#include "RunningInstance.h"
#include "WaitUntil.h"

#include <QLocalSocket>
#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(RunningInstance, ASecondStartBringsTheWindowForwardAndNothingElseDoes)
{
    const QString name = QStringLiteral("pixlet-test-%1").arg(QCoreApplication::applicationPid());
    EXPECT_FALSE(RunningInstance::AskToShow(name, 200)) << "nobody listens yet";
    RunningInstance running(name);
    QSignalSpy shown(&running, &RunningInstance::ShowRequested);
    // Only the one command counts, not whatever else reaches the socket.
    QLocalSocket stranger;
    stranger.connectToServer(name);
    ASSERT_TRUE(stranger.waitForConnected(1000));
    stranger.write(QByteArray(4096, 'x'));
    stranger.waitForBytesWritten(1000);
    EXPECT_TRUE(RunningInstance::AskToShow(name));
    ASSERT_TRUE(WaitUntil([&] { return shown.count() >= 1; }, 5000));
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(shown.count(), 1);

    // A socket left by a process that died does not keep the next one from listening.
    RunningInstance next(name);
    QSignalSpy nextShown(&next, &RunningInstance::ShowRequested);
    EXPECT_TRUE(RunningInstance::AskToShow(name));
    EXPECT_TRUE(WaitUntil([&] { return nextShown.count() == 1; }, 5000));
}
