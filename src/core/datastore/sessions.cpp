#include "datastore/sessions.h"

#include "datastore/database.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QSysInfo>

#include <cerrno>
#include <csignal>

namespace mw {

namespace {

SessionInfo readSession(const QSqlQuery& q)
{
    SessionInfo s;
    s.sessionId = q.value(0).toLongLong();
    s.userId = q.value(1).toString();
    s.machine = q.value(2).toString();
    s.pid = q.value(3).toLongLong();
    s.started = QDateTime::fromString(q.value(4).toString(), Qt::ISODate);
    s.lastSeen = QDateTime::fromString(q.value(5).toString(), Qt::ISODate);
    return s;
}

const QString kSelectSessions = QStringLiteral(
    "SELECT session_id, user_id, machine, pid, started, last_seen FROM mw_sessions");

} // namespace

SessionRegistry::SessionRegistry(Database& db)
    : m_db(db)
    , m_machine(QSysInfo::machineHostName())
    , m_pid(QCoreApplication::applicationPid())
{}

SessionRegistry::~SessionRegistry()
{
    try {
        unregisterSession();
    } catch (...) {
    }
}

QString SessionRegistry::now() const { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate); }

bool SessionRegistry::isAlive(const SessionInfo& s) const
{
    if (s.sessionId == m_sessionId)
        return true;
    if (!s.lastSeen.isValid())
        return false;
    const qint64 silent = s.lastSeen.secsTo(QDateTime::currentDateTimeUtc());
    if (s.machine == m_machine && s.pid > 0 && s.pid != m_pid) {
        // On this machine the process table tells at once when a copy has died; a
        // process number taken over by some other program is caught by the long wait.
        if (::kill(static_cast<pid_t>(s.pid), 0) != 0 && errno == ESRCH)
            return false;
        return silent < 10 * StaleSeconds;
    }
    return silent < StaleSeconds;
}

void SessionRegistry::removeSession(qint64 id)
{
    m_db.exec(QStringLiteral("DELETE FROM mw_locks WHERE session_id = ?"), {id});
    m_db.exec(QStringLiteral("DELETE FROM mw_sessions WHERE session_id = ?"), {id});
}

void SessionRegistry::removeDeadSessions()
{
    QVector<SessionInfo> dead;
    QSqlQuery q = m_db.exec(kSelectSessions);
    while (q.next()) {
        const SessionInfo s = readSession(q);
        if (!isAlive(s))
            dead << s;
    }
    q.finish();
    for (const SessionInfo& s : dead)
        removeSession(s.sessionId);
}

void SessionRegistry::registerSession(const QString& userId)
{
    if (m_sessionId != 0) {
        setUser(userId);
        return;
    }
    removeDeadSessions();
    const QString t = now();
    QSqlQuery q = m_db.exec(QStringLiteral("INSERT INTO mw_sessions (user_id, machine, pid, started, last_seen) "
                                           "VALUES (?, ?, ?, ?, ?) RETURNING session_id"),
                            {userId, m_machine, m_pid, t, t});
    if (q.next())
        m_sessionId = q.value(0).toLongLong();
}

void SessionRegistry::setUser(const QString& userId)
{
    if (m_sessionId == 0)
        return;
    m_db.exec(QStringLiteral("UPDATE mw_sessions SET user_id = ?, last_seen = ? WHERE session_id = ?"),
              {userId, now(), m_sessionId});
}

void SessionRegistry::unregisterSession()
{
    if (m_sessionId == 0 || !m_db.isOpen())
        return;
    removeSession(m_sessionId);
    m_sessionId = 0;
}

void SessionRegistry::heartbeat()
{
    if (m_sessionId == 0)
        return;
    QSqlQuery& q = m_db.execCached(QStringLiteral("UPDATE mw_sessions SET last_seen = ? WHERE session_id = ?"),
                                   {now(), m_sessionId});
    // Somebody took this copy for dead and cleared it out: come back.
    if (q.numRowsAffected() == 0) {
        q.finish();
        const QString t = now();
        QSqlQuery ins = m_db.exec(QStringLiteral("INSERT INTO mw_sessions (session_id, user_id, machine, pid, "
                                                 "started, last_seen) VALUES (?, ?, ?, ?, ?, ?)"),
                                  {m_sessionId, QString(), m_machine, m_pid, t, t});
    }
}

QVector<SessionInfo> SessionRegistry::sessions()
{
    removeDeadSessions();
    QVector<SessionInfo> out;
    QSqlQuery q = m_db.exec(kSelectSessions + QStringLiteral(" ORDER BY session_id"));
    while (q.next())
        out << readSession(q);
    return out;
}

int SessionRegistry::otherSessionCount()
{
    int n = 0;
    for (const SessionInfo& s : sessions())
        if (s.sessionId != m_sessionId)
            ++n;
    return n;
}

void SessionRegistry::lockRecord(const QString& tableName, const QString& displayName, qint64 rowId)
{
    if (m_sessionId == 0)
        registerSession(QString());
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlQuery& ins = m_db.execCached(
            QStringLiteral("INSERT INTO mw_locks (table_name, row_id, session_id, locked_at) VALUES (?, ?, ?, ?) "
                           "ON CONFLICT (table_name, row_id) DO NOTHING"),
            {tableName, rowId, m_sessionId, now()});
        const int inserted = ins.numRowsAffected();
        ins.finish();
        if (inserted > 0)
            return;
        QSqlQuery q = m_db.exec(QStringLiteral("SELECT s.session_id, s.user_id, s.machine, s.pid, s.started, "
                                               "s.last_seen, l.session_id FROM mw_locks l LEFT JOIN mw_sessions s "
                                               "ON s.session_id = l.session_id "
                                               "WHERE l.table_name = ? AND l.row_id = ?"),
                                {tableName, rowId});
        if (!q.next())
            continue; // released meanwhile
        const qint64 holder = q.value(6).toLongLong();
        if (holder == m_sessionId)
            return;
        SessionInfo s = readSession(q);
        q.finish();
        if (s.sessionId == 0 || !isAlive(s)) {
            if (s.sessionId != 0)
                removeSession(s.sessionId);
            m_db.exec(QStringLiteral("DELETE FROM mw_locks WHERE table_name = ? AND row_id = ? AND session_id = ?"),
                      {tableName, rowId, holder});
            continue;
        }
        QString who = s.userId.isEmpty() ? QString() : QStringLiteral("\nUser: %1").arg(s.userId);
        throw DbError(QStringLiteral("Record locked by another user.\nTable: %1%2").arg(displayName, who));
    }
    throw DbError(QStringLiteral("Record locked by another user.\nTable: %1").arg(displayName));
}

void SessionRegistry::unlockRecord(const QString& tableName, qint64 rowId)
{
    if (m_sessionId == 0 || !m_db.isOpen())
        return;
    QSqlQuery& q = m_db.execCached(
        QStringLiteral("DELETE FROM mw_locks WHERE table_name = ? AND row_id = ? AND session_id = ?"),
        {tableName, rowId, m_sessionId});
    q.finish();
}

void SessionRegistry::unlockAll()
{
    if (m_sessionId == 0 || !m_db.isOpen())
        return;
    m_db.exec(QStringLiteral("DELETE FROM mw_locks WHERE session_id = ?"), {m_sessionId});
}

} // namespace mw
