#pragma once
// The user, played from a script: answers questions in order and records every text shown.

#include "shared/usertalk.h"

#include <QStringList>

namespace mwtest {

class ScriptedTalk : public mw::UserTalk
{
public:
    struct Said
    {
        enum Kind { Question, Information, Error, Wait, Retry } kind;
        QString text;
    };

    // Answers for the coming questions, in order; a question beyond them is answered No.
    void answer(std::initializer_list<bool> answers) { m_answers.append(QList<bool>(answers)); }
    // Cancel is pressed once this many progress steps have been reported.
    void cancelAfter(qint64 steps) { m_cancelAfter = steps; }

    bool ask(const QString& question) override;
    void inform(const QString& text) override { m_said.append({Said::Information, text}); }
    void error(const QString& text) override { m_said.append({Said::Error, text}); }
    // Answered from the same script as the questions.
    bool retry(const QString& caption, const QString& text) override;
    void beginWait(const QString& text, bool) override { m_said.append({Said::Wait, text}), ++m_waitDepth; }
    void wait(const QString& text) override { m_said.append({Said::Wait, text}); }
    void progress(qint64, qint64) override { ++m_steps; }
    bool cancelled() override { return m_cancelAfter >= 0 && m_steps >= m_cancelAfter; }
    void endWait() override { --m_waitDepth; }

    const QList<Said>& said() const { return m_said; }
    QStringList texts(Said::Kind kind) const;
    QStringList questions() const { return texts(Said::Question); }
    QStringList informations() const { return texts(Said::Information); }
    QStringList errors() const { return texts(Said::Error); }
    QStringList waits() const { return texts(Said::Wait); }
    int openWaits() const { return m_waitDepth; }
    void clear() { m_said.clear(); }

private:
    QList<bool> m_answers;
    QList<Said> m_said;
    qint64 m_steps = 0;
    qint64 m_cancelAfter = -1;
    int m_waitDepth = 0;
};

} // namespace mwtest
