#include "Clock.h"
#include "TransferRate.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(TransferRate, BytesPerMillisecondWithOneDecimal)
{
    EXPECT_EQ(TransferRateText(400, 51200), "128.0 K/S");
    EXPECT_EQ(TransferRateText(1000, 1000), "1.0 K/S") << "a kilobyte of 1000 bytes a second";
    EXPECT_EQ(TransferRateText(3, 1), "0.3 K/S");
    EXPECT_EQ(TransferRateText(3, 2), "0.7 K/S") << "rounded, not cut";
    EXPECT_EQ(TransferRateText(7, 123456), "17636.6 K/S");
    EXPECT_EQ(TransferRateText(1000, 0), "0.0 K/S");
    EXPECT_EQ(TransferRateText(1, 5'000'000'000), "5000000000.0 K/S") << "no 32-bit wrap of the size";
}

TEST(TransferRate, NoTimeAtAllCountsAsOneMillisecond)
{
    EXPECT_EQ(TransferRateText(0, 51200), "51200.0 K/S");
    EXPECT_EQ(TransferRateText(0, 0), "0.0 K/S");
}

TEST(TransferRate, TheFileSinceTheStart)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("sent.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1'000'000, 'x'));
    file.close();
    // A million bytes over a million milliseconds (and the few it takes to get here): 1.0.
    const std::uint64_t start = MillisecondClock() - 1'000'000;
    EXPECT_EQ(TransferRateText(start, file.fileName()), "1.0 K/S");
    EXPECT_EQ(TransferRateText(start, dir.filePath("gone.jpg")), "0.0 K/S") << "a file not there is 0 bytes";
}
