#pragma once
// Network transfers (SMTP, FTP) must not freeze the windows. A transfer runs on a
// worker thread of its own; the calling (window) thread meanwhile keeps the
// please-wait window painted, reports the transfer's progress at most every
// ~100 ms and passes Cancel on as a stop request. The database and the windows
// stay on the calling thread: the work touches neither, only the network and
// files, and hands its result back in its own variables.
//
// The work looks at stop() often (libcurl: return non-zero from the transfer's
// progress callback when it is set) and ends soon after.

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <mutex>

namespace mw {

class UserTalk;

// Shared between the transfer's thread and the calling thread.
class TransferState
{
public:
    // Set by the work as it goes; read by the calling thread.
    void setProgress(qint64 done, qint64 total)
    {
        m_total.store(total);
        m_done.store(done);
    }
    // A text for the user about what the work is doing now.
    void setStep(const QString& text)
    {
        const std::lock_guard<std::mutex> lock(m_stepMutex);
        m_step = text;
        m_stepChanged = true;
    }
    // The step set since the last call; a null string when there is none.
    QString takeStep()
    {
        const std::lock_guard<std::mutex> lock(m_stepMutex);
        if (!m_stepChanged)
            return QString();
        m_stepChanged = false;
        return m_step.isNull() ? QLatin1String("") : m_step;
    }
    qint64 done() const { return m_done.load(); }
    qint64 total() const { return m_total.load(); }
    // Set by the calling thread when the user pressed Cancel.
    bool stop() const { return m_stop.load(); }
    void requestStop() { m_stop.store(true); }

private:
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_total{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_stepMutex;
    QString m_step;
    bool m_stepChanged = false;
};

// Runs work on a worker thread and waits for it to end, keeping the user talk
// alive meanwhile. Gives false when Cancel was pressed (the work was asked to
// stop), true otherwise. An exception the work raises is raised again here, on the
// calling thread, once the worker has ended. onStep hears, on the calling thread,
// the steps the work sets (the latest at each look), and stopRequested is asked
// along with the talk's Cancel.
bool runTransfer(UserTalk& talk, const std::function<void(TransferState&)>& work,
                 const std::function<void(const QString&)>& onStep = {},
                 const std::function<bool()>& stopRequested = {});

} // namespace mw
