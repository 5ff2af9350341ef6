#include "commands/consoletalk.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <csignal>

namespace mw {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    g_interrupted.store(true);
    // A second Ctrl-C ends the process the ordinary way.
    std::signal(SIGINT, SIG_DFL);
}

QString percent(qint64 done, qint64 total)
{
    if (total <= 0)
        return QString::number(done);
    return QStringLiteral("%1 of %2 (%3%)").arg(done).arg(total).arg(done * 100 / total);
}

} // namespace

ConsoleTalk::ConsoleTalk(QTextStream& out, QTextStream& err, Options options)
    : m_out(out)
    , m_err(err)
    , m_options(options)
{}

ConsoleTalk::~ConsoleTalk() { endLine(); }

void ConsoleTalk::installInterruptHandler()
{
    struct sigaction sa = {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
}

void ConsoleTalk::setInterrupted(bool on)
{
    g_interrupted.store(on);
}

bool ConsoleTalk::interrupted() { return g_interrupted.load(); }

void ConsoleTalk::endLine()
{
    if (m_lineOpen) {
        m_err << '\n';
        m_err.flush();
        m_lineOpen = false;
    }
}

bool ConsoleTalk::ask(const QString& question)
{
    endLine();
    if (m_options.yes) {
        m_err << question << " Yes (--yes)\n";
        m_err.flush();
        return true;
    }
    m_unconfirmed = true;
    m_err << question << "\nNot confirmed: nothing was changed. Run again with --yes to answer Yes.\n";
    m_err.flush();
    return false;
}

void ConsoleTalk::inform(const QString& text)
{
    endLine();
    m_out << text << '\n';
    m_out.flush();
}

void ConsoleTalk::error(const QString& text)
{
    endLine();
    m_err << "Error: " << text << '\n';
    m_err.flush();
}

bool ConsoleTalk::retry(const QString& caption, const QString& text)
{
    endLine();
    m_err << caption << ": " << text << '\n';
    if (!m_options.yes || m_options.retries <= 0 || interrupted()) {
        m_err << "Given up.\n";
        m_err.flush();
        return false;
    }
    --m_options.retries;
    m_err << "Trying again in " << (m_options.retryPauseMs + 999) / 1000 << " s.\n";
    m_err.flush();
    for (int waited = 0; waited < m_options.retryPauseMs && !interrupted(); waited += 100) {
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }
    return !interrupted();
}

void ConsoleTalk::beginWait(const QString& text, bool)
{
    ++m_waitDepth;
    wait(text);
}

void ConsoleTalk::wait(const QString& text)
{
    endLine();
    m_waitText = text;
    m_err << text << '\n';
    m_err.flush();
    m_lastProgress.start();
}

void ConsoleTalk::progress(qint64 done, qint64 total)
{
    // Timers and queued signals (a session taken for closed) are served while a loop runs.
    QCoreApplication::processEvents();
    if (m_options.terminal) {
        m_err << '\r' << m_waitText << ": " << percent(done, total) << "   ";
        m_err.flush();
        m_lineOpen = true;
        return;
    }
    if (m_lastProgress.isValid() && m_lastProgress.elapsed() < m_options.progressEveryMs)
        return;
    m_lastProgress.start();
    m_err << m_waitText << ": " << percent(done, total) << '\n';
    m_err.flush();
}

bool ConsoleTalk::cancelled() { return interrupted(); }

void ConsoleTalk::endWait()
{
    if (m_waitDepth > 0)
        --m_waitDepth;
    endLine();
}

} // namespace mw
