#pragma once
// The user at a console, for processes run from the command line (at night, by a
// scheduler, or by hand):
//   - a question is answered Yes when the run was told --yes; otherwise the
//     question is written to the error stream and answered No, so nothing changes;
//   - the results box's text goes to the output stream, errors to the error stream;
//   - the please-wait text and progress go to the error stream: an updating line on
//     a terminal, otherwise a line every few seconds;
//   - Ctrl-C (SIGINT) is the Cancel button: the operation stops at its next item.

#include "shared/usertalk.h"

#include <QElapsedTimer>
#include <QTextStream>

namespace mw {

class ConsoleTalk final : public UserTalk
{
public:
    struct Options
    {
        bool yes = false;         // answer every question Yes
        bool terminal = false;    // the error stream is a terminal: progress on one updating line
        int retryPauseMs = 5000;  // the pause before "try again" is answered OK (with --yes)
        int retries = 12;         // how often "try again" is answered OK before giving up
        int progressEveryMs = 5000; // without a terminal, a progress line at most this often
    };

    ConsoleTalk(QTextStream& out, QTextStream& err, Options options);
    ~ConsoleTalk() override;
    ConsoleTalk(const ConsoleTalk&) = delete;
    ConsoleTalk& operator=(const ConsoleTalk&) = delete;

    bool ask(const QString& question) override;
    void inform(const QString& text) override;
    void error(const QString& text) override;
    bool retry(const QString& caption, const QString& text) override;
    void beginWait(const QString& text, bool cancellable = false) override;
    void wait(const QString& text) override;
    void progress(qint64 done, qint64 total) override;
    bool cancelled() override;
    void endWait() override;

    // Whether a question went unanswered because --yes was not given.
    bool declinedForWantOfYes() const { return m_unconfirmed; }

    // Makes SIGINT (Ctrl-C) set the cancel flag instead of ending the process; a
    // second Ctrl-C ends it as usual. Safe to call more than once.
    static void installInterruptHandler();
    // The flag Ctrl-C sets (tests set it too).
    static void setInterrupted(bool on);
    static bool interrupted();

private:
    void endLine();

    QTextStream& m_out;
    QTextStream& m_err;
    Options m_options;
    QString m_waitText;
    int m_waitDepth = 0;
    bool m_lineOpen = false; // an updating progress line is on the terminal
    bool m_unconfirmed = false;
    QElapsedTimer m_lastProgress;
};

} // namespace mw
