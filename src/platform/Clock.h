#pragma once

#include <QDateTime>
#include <QTimeZone>
#include <functional>

// The current date and time as the program sees it; tests can fix it.
class Clock
{
public:
    static QDateTime now();
    static QDate today() { return now().date(); }
    // Replaces the system clock; an empty function restores it.
    static void setSource(std::function<QDateTime()> source);

    // The system's time zone, for a caller that converts many local times in
    // one run: the C library reads the zone's file again for every local-time
    // conversion, a QTimeZone reads it once. Invalid when it cannot be told.
    static QTimeZone systemZone() { return QTimeZone::systemTimeZone(); }
    // now() in that zone: the same date, time and instant; now() itself when
    // the zone is invalid.
    static QDateTime now(const QTimeZone &zone);
    // A local date and time in that zone (invalid in a skipped hour, the
    // later offset in a repeated one, as for the system's local time); in
    // local time when the zone is invalid.
    static QDateTime local(QDate date, QTime time, const QTimeZone &zone)
    {
        return zone.isValid() ? QDateTime(date, time, zone) : QDateTime(date, time);
    }
};
