#include "shared/progress.h"

#include "shared/usertalk.h"

namespace mw {

ProgressMeter::ProgressMeter(UserTalk& talk, qint64 total, int intervalMs)
    : m_talk(talk)
    , m_total(total)
    , m_intervalMs(intervalMs)
{}

bool ProgressMeter::step(qint64 done)
{
    if (m_cancelled)
        return false;
    const bool last = m_total > 0 && done >= m_total;
    if (!last && m_last.isValid() && m_last.elapsed() < m_intervalMs)
        return true;
    m_last.start();
    ++m_reports;
    m_talk.progress(done, m_total);
    m_cancelled = m_talk.cancelled();
    return !m_cancelled;
}

} // namespace mw
