#pragma once

#include <QDateTime>
#include <functional>

// The current date and time as the program sees it; tests can fix it.
class Clock
{
public:
    static QDateTime now();
    static QDate today() { return now().date(); }
    // Replaces the system clock; an empty function restores it.
    static void setSource(std::function<QDateTime()> source);
};
