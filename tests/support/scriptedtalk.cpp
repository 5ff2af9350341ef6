#include "scriptedtalk.h"

namespace mwtest {

bool ScriptedTalk::ask(const QString& question)
{
    m_said.append({Said::Question, question});
    return m_answers.isEmpty() ? false : m_answers.takeFirst();
}

bool ScriptedTalk::retry(const QString& caption, const QString& text)
{
    m_said.append({Said::Retry, caption + QStringLiteral(": ") + text});
    return m_answers.isEmpty() ? false : m_answers.takeFirst();
}

QStringList ScriptedTalk::texts(Said::Kind kind) const
{
    QStringList out;
    for (const Said& s : m_said)
        if (s.kind == kind)
            out << s.text;
    return out;
}

} // namespace mwtest
