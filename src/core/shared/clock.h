#pragma once
// The program's clock: the one source of "today" for every rule, process and file.
// Tests set the day once (Clock::setToday) and every part of the program sees it.

#include <QDate>
#include <QDateTime>

namespace mw {

class Clock
{
public:
    // The day the program takes as today: the day set, else the system's date.
    static QDate today();
    // The moment the program takes as now: the set day at the current time of day,
    // else the system's time.
    static QDateTime now();
    // Sets the day (an invalid date returns to the system's clock). For tests and
    // for runs that must act as of another day.
    static void setToday(const QDate& day);
    static bool isSet();

    Clock() = delete;
};

} // namespace mw
