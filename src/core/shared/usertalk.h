#pragma once
// How operations speak to the user: questions, information, errors, a please-wait
// text with progress, and Cancel. Windows implement it with real dialogs; tests
// implement it with a script. Operations never open message boxes themselves.

#include <QString>

namespace mw {

class UserTalk
{
public:
    virtual ~UserTalk() = default;

    // A Yes/No question (question icon). Anything but Yes is No.
    virtual bool ask(const QString& question) = 0;
    // A result or a notice (information icon).
    virtual void inform(const QString& text) = 0;
    // A failure (error icon).
    virtual void error(const QString& text) = 0;
    // A failure that may be tried again: OK and Cancel with the error icon, under
    // its own caption. True for OK.
    virtual bool retry(const QString& caption, const QString& text) = 0;

    // The please-wait window: shown by begin, its text changed by wait, gone after end.
    // With cancellable, a Cancel button is offered and cancelled() tells whether it was pressed.
    virtual void beginWait(const QString& text, bool cancellable = false) = 0;
    virtual void wait(const QString& text) = 0;
    // Progress of a long loop; total 0 means unknown. Lets the screen repaint.
    virtual void progress(qint64 done, qint64 total) = 0;
    virtual bool cancelled() = 0;
    virtual void endWait() = 0;
};

// Shows the please-wait window for as long as it lives.
class WaitScope
{
public:
    WaitScope(UserTalk& talk, const QString& text, bool cancellable = false)
        : m_talk(talk)
    {
        m_talk.beginWait(text, cancellable);
    }
    ~WaitScope() { m_talk.endWait(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    UserTalk& m_talk;
};

} // namespace mw
