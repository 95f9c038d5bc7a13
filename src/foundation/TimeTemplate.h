#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

class Clock;

// A broken-down calendar moment: the fields every time token is filled from.
struct CalendarTime
{
    std::uint16_t year = 1601;
    std::uint16_t month = 1;     // 1 to 12
    std::uint16_t dayOfWeek = 1; // 0 = Sunday to 6 = Saturday
    std::uint16_t day = 1;       // 1 to 31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t millisecond = 0;

    // The fields of the date and time as they stand, without any time-zone conversion.
    static CalendarTime FromDateTime(const QDateTime& moment);
};

// Replaces the fifteen date and time tokens of a template by the current local time, read
// once from the clock at the start of the call.
QString ExpandTimeTemplate(QString text, const Clock& clock);
// The same for the system clock.
QString ExpandTimeTemplate(QString text);
// The same for a given moment, split into fields as it stands (no time-zone conversion).
QString ExpandTimeTemplate(QString text, const QDateTime& moment);
// The expansion itself; the locale gives the short and long date formats.
QString ExpandTimeTemplate(QString text, const CalendarTime& moment, const QLocale& locale);
