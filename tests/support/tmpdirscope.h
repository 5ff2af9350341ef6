#pragma once
// Points TMPDIR at a directory for as long as it lives, then puts it back: the
// program's private temporary copies go there (a small tmpfs shows a full disk).

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace mwtest {

class TmpDirScope
{
public:
    explicit TmpDirScope(const QString& dir)
        : m_had(qEnvironmentVariableIsSet("TMPDIR"))
        , m_old(qgetenv("TMPDIR"))
    {
        qputenv("TMPDIR", dir.toLocal8Bit());
    }
    ~TmpDirScope()
    {
        if (m_had)
            qputenv("TMPDIR", m_old);
        else
            qunsetenv("TMPDIR");
    }
    TmpDirScope(const TmpDirScope&) = delete;
    TmpDirScope& operator=(const TmpDirScope&) = delete;

private:
    bool m_had;
    QByteArray m_old;
};

} // namespace mwtest
