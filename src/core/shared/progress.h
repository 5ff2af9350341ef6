#pragma once
// Progress of a long loop, told to the user at a pace the screen can bear: at
// most every ~100 ms the done/total goes to the talk and Cancel is looked at (each
// look lets the windows repaint). Every loop that may run long reports through one.

#include <QElapsedTimer>

namespace mw {

class UserTalk;

class ProgressMeter
{
public:
    explicit ProgressMeter(UserTalk& talk, qint64 total = 0, int intervalMs = 100);

    void setTotal(qint64 total) { m_total = total; }
    qint64 total() const { return m_total; }
    // Reports done when the interval has passed since the last report, and always
    // when done reaches the total. False once the user has pressed Cancel.
    bool step(qint64 done);
    bool cancelled() const { return m_cancelled; }
    // How many times the talk was told (for tests and benchmarks).
    int reports() const { return m_reports; }

private:
    UserTalk& m_talk;
    qint64 m_total;
    int m_intervalMs;
    QElapsedTimer m_last;
    int m_reports = 0;
    bool m_cancelled = false;
};

} // namespace mw
