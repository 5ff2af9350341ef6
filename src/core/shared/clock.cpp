#include "shared/clock.h"

#include <atomic>

namespace mw {

namespace {

// Julian day of the set day; 0 when none is set. Atomic: a transfer thread may ask.
std::atomic<qint64> g_setDay{0};

} // namespace

QDate Clock::today()
{
    const qint64 jd = g_setDay.load(std::memory_order_relaxed);
    return jd != 0 ? QDate::fromJulianDay(jd) : QDate::currentDate();
}

QDateTime Clock::now()
{
    const qint64 jd = g_setDay.load(std::memory_order_relaxed);
    QDateTime t = QDateTime::currentDateTime();
    if (jd != 0)
        t.setDate(QDate::fromJulianDay(jd));
    return t;
}

void Clock::setToday(const QDate& day) { g_setDay.store(day.isValid() ? day.toJulianDay() : 0); }

bool Clock::isSet() { return g_setDay.load() != 0; }

} // namespace mw
