#include "platform/Clock.h"

namespace {
std::function<QDateTime()> &source()
{
    static std::function<QDateTime()> s;
    return s;
}
} // namespace

QDateTime Clock::now()
{
    return source() ? source()() : QDateTime::currentDateTime();
}

QDateTime Clock::now(const QTimeZone &zone)
{
    if (!zone.isValid())
        return now();
    return (source() ? source()() : QDateTime::currentDateTimeUtc()).toTimeZone(zone);
}

void Clock::setSource(std::function<QDateTime()> s)
{
    source() = std::move(s);
}
