#include "ManualClock.h"
#include "TimeTemplate.h"

#include <gtest/gtest.h>

namespace {
CalendarTime At(int year, int month, int day, int hour, int minute, int second, int ms)
{
    return CalendarTime::FromDateTime(QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms)));
}

QString Expand(const QString& text, const CalendarTime& moment)
{
    return ExpandTimeTemplate(text, moment, QLocale(QLocale::English, QLocale::UnitedKingdom));
}
} // namespace

TEST(TimeTemplate, EveryTokenOfTheReferenceMoment)
{
    const CalendarTime t = At(2009, 3, 3, 7, 5, 9, 45); // a Tuesday
    EXPECT_EQ(Expand("<YYYY>|<YY>|<MO>|<MONTH>|<MON>|<DD>|<D>|<DAY>|<DDD>|<HH>|<MM>|<SS>|<MS>", t),
              "2009|09|03|March|Mar|03|3|Tuesday|Tue|07|05|09|45");
}

TEST(TimeTemplate, PlainTextAndEmptyTemplates)
{
    const CalendarTime t = At(2009, 3, 3, 7, 5, 9, 45);
    EXPECT_EQ(Expand("", t), "");
    EXPECT_EQ(Expand("no tokens here", t), "no tokens here");
    EXPECT_EQ(Expand("<hh> <Hh> <HOUR> < > <> <", t), "<hh> <Hh> <HOUR> < > <> <");
}

TEST(TimeTemplate, ExamplesFromDailyUse)
{
    EXPECT_EQ(Expand("<HH><MM><SS>.jpg", At(2010, 1, 1, 9, 4, 7, 0)), "090407.jpg");
    const CalendarTime t = At(2010, 2, 1, 13, 0, 0, 0);
    EXPECT_EQ(Expand("<D>-<MONTH>-<YYYY>\\<HH><MM><SS>.jpg", t), "1-February-2010\\130000.jpg");
    EXPECT_EQ(Expand("<HH>:<MM>:<SS>  <DD>/<MO>/<YYYY>", t), "13:00:00  01/02/2010");
    EXPECT_EQ(Expand("<YYYY>\\<MO>\\<DD>\\<HH><MM><SS>.jpg", t), "2010\\02\\01\\130000.jpg");
}

TEST(TimeTemplate, NumericEdges)
{
    EXPECT_EQ(Expand("<YY> <YYYY>", At(2005, 6, 1, 0, 0, 0, 0)), "05 2005");
    EXPECT_EQ(Expand("<HH>", At(2005, 6, 1, 0, 0, 0, 0)), "00");
    EXPECT_EQ(Expand("<HH>:<MM>", At(2005, 6, 1, 23, 59, 0, 0)), "23:59");
    EXPECT_EQ(Expand("<MS>", At(2005, 6, 1, 0, 0, 0, 7)), "07");
    EXPECT_EQ(Expand("<MS>", At(2005, 6, 1, 0, 0, 0, 0)), "00");
    EXPECT_EQ(Expand("<MS>", At(2005, 6, 1, 0, 0, 0, 45)), "45");
    EXPECT_EQ(Expand("<MS>", At(2005, 6, 1, 0, 0, 0, 123)), "123");
    EXPECT_EQ(Expand("<MS>", At(2005, 6, 1, 0, 0, 0, 450)), "450");
}

TEST(TimeTemplate, NeighbouringTokensDoNotSwallowEachOther)
{
    EXPECT_EQ(Expand("<MONTH><MON><MO>", At(2009, 3, 10, 0, 0, 0, 0)), "MarchMar03");
    // 5 April 2009 was a Sunday.
    EXPECT_EQ(Expand("<DAY><DDD><DD><D>", At(2009, 4, 5, 0, 0, 0, 0)), "SundaySun055");
    EXPECT_EQ(Expand("<HH>-<HH>-<HH>", At(2009, 4, 5, 8, 0, 0, 0)), "08-08-08");
    EXPECT_EQ(Expand("<<HH>>", At(2009, 4, 5, 8, 0, 0, 0)), "<08>");
}

TEST(TimeTemplate, LocaleDatesComeFromTheLocale)
{
    const CalendarTime t = At(2010, 2, 1, 13, 0, 0, 0);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ExpandTimeTemplate("<SDATE>", t, german),
              german.toString(QDate(2010, 2, 1), QLocale::ShortFormat));
    EXPECT_EQ(ExpandTimeTemplate("<LDATE>", t, german),
              german.toString(QDate(2010, 2, 1), QLocale::LongFormat));
    EXPECT_TRUE(ExpandTimeTemplate("<LDATE>", t, german).contains("Februar"));
}

TEST(TimeTemplate, OneReadingOfTheClockFillsEveryToken)
{
    ManualClock clock(QDateTime(QDate(2020, 12, 31), QTime(23, 59, 59, 999), Qt::UTC), 0);
    EXPECT_EQ(ExpandTimeTemplate("<YYYY>-<MO>-<DD> <HH>:<MM>:<SS>.<MS> <SS>", clock),
              "2020-12-31 23:59:59.999 59");
}

TEST(TimeTemplate, ClockIsReadInLocalTime)
{
    ManualClock clock(QDateTime(QDate(2020, 6, 1), QTime(22, 30, 0), Qt::UTC), 5 * 3600 + 1800);
    EXPECT_EQ(ExpandTimeTemplate("<DD> <HH>:<MM>", clock), "02 04:00");
}

TEST(TimeTemplate, GivenMomentIsSplitWithoutZoneConversion)
{
    const QDateTime moment(QDate(2011, 7, 4), QTime(1, 2, 3), QTimeZone(-8 * 3600));
    EXPECT_EQ(ExpandTimeTemplate("<YYYY><MO><DD><HH><MM><SS>", moment), "20110704010203");
}
