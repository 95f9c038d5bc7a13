#include "TimeTemplate.h"

#include "Clock.h"

namespace {
const char* const LongMonthNames[12] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
const char* const ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
const char* const ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

QString Name(const char* const* table, int count, int index)
{
    // Out-of-range fields can only come from a hand-made moment; they give no name rather than
    // reading past the table.
    if (index < 0 || index >= count)
        return QString();
    return QString::fromLatin1(table[index]);
}

QString Padded(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

QDate DateOf(const CalendarTime& moment)
{
    return QDate(moment.year, moment.month, moment.day);
}
} // namespace

CalendarTime CalendarTime::FromDateTime(const QDateTime& moment)
{
    CalendarTime fields;
    const QDate date = moment.date();
    const QTime time = moment.time();
    fields.year = static_cast<std::uint16_t>(date.year());
    fields.month = static_cast<std::uint16_t>(date.month());
    fields.dayOfWeek = static_cast<std::uint16_t>(date.dayOfWeek() % 7);
    fields.day = static_cast<std::uint16_t>(date.day());
    fields.hour = static_cast<std::uint16_t>(time.hour());
    fields.minute = static_cast<std::uint16_t>(time.minute());
    fields.second = static_cast<std::uint16_t>(time.second());
    fields.millisecond = static_cast<std::uint16_t>(time.msec());
    return fields;
}

QString ExpandTimeTemplate(QString text, const CalendarTime& moment, const QLocale& locale)
{
    if (!text.contains(QLatin1Char('<')))
        return text;

    // Every token carries both brackets, so none is a substring of another and the order of
    // the steps does not change the result; the locale dates go last since they are free text.
    text.replace(QLatin1String("<YYYY>"), Padded(moment.year, 4));
    text.replace(QLatin1String("<MO>"), Padded(moment.month, 2));
    text.replace(QLatin1String("<DD>"), Padded(moment.day, 2));
    text.replace(QLatin1String("<D>"), QString::number(moment.day));
    text.replace(QLatin1String("<HH>"), Padded(moment.hour, 2));
    text.replace(QLatin1String("<MM>"), Padded(moment.minute, 2));
    text.replace(QLatin1String("<SS>"), Padded(moment.second, 2));
    text.replace(QLatin1String("<MS>"), Padded(moment.millisecond, 2));
    text.replace(QLatin1String("<YY>"), Padded(moment.year % 100, 2));
    text.replace(QLatin1String("<MONTH>"), Name(LongMonthNames, 12, moment.month - 1));
    text.replace(QLatin1String("<MON>"), Name(ShortMonthNames, 12, moment.month - 1));
    text.replace(QLatin1String("<DAY>"), Name(LongDayNames, 7, moment.dayOfWeek));
    text.replace(QLatin1String("<DDD>"), Name(ShortDayNames, 7, moment.dayOfWeek));
    if (text.contains(QLatin1String("<SDATE>")))
        text.replace(QLatin1String("<SDATE>"), locale.toString(DateOf(moment), QLocale::ShortFormat));
    if (text.contains(QLatin1String("<LDATE>")))
        text.replace(QLatin1String("<LDATE>"), locale.toString(DateOf(moment), QLocale::LongFormat));
    return text;
}

QString ExpandTimeTemplate(QString text, const QDateTime& moment)
{
    return ExpandTimeTemplate(std::move(text), CalendarTime::FromDateTime(moment), QLocale::system());
}

QString ExpandTimeTemplate(QString text, const Clock& clock)
{
    return ExpandTimeTemplate(std::move(text), CalendarTime::FromDateTime(clock.LocalNow()),
                              QLocale::system());
}

QString ExpandTimeTemplate(QString text)
{
    return ExpandTimeTemplate(std::move(text), SystemClock());
}
