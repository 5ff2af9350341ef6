#include "datastore/sessions.h"

#include "datastore/database.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QSqlQuery>
#include <QSysInfo>
#include <QThread>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <limits>

namespace mw {

namespace {

// PostgreSQL: the server's clock, as text in the form this machine's clock is written in.
const QString kServerNow =
    QStringLiteral("to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')");

// SQLite: a heartbeat stamped this long before now by this machine's clock is taken
// as long silent without watching it first. No workstation's clock is off by an
// hour; without it a copy started after another machine's copy died could never
// tell that one was closed until it had watched it for the whole stale time.
constexpr qint64 kClockSlackMs = 3600LL * 1000;

constexpr qint64 kForever = std::numeric_limits<qint64>::max() / 4;

const QString kSessionColumns =
    QStringLiteral("s.session_id, s.user_id, s.machine, s.pid, s.started, s.last_seen");

// Set between the host name and the process space in the machine column.
const QString kSpaceTag = QStringLiteral(" pidns:");

// What identifies the process table this process sees: the machine's boot and its
// process-id namespace. Empty where it cannot be told.
QString processSpace()
{
    static const QString space = [] {
        QFile boot(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        struct stat st = {};
        if (!boot.open(QIODevice::ReadOnly) || ::stat("/proc/self/ns/pid", &st) != 0)
            return QString();
        const QString id = QString::fromLatin1(boot.readAll()).trimmed();
        return id.isEmpty() ? QString() : id + QLatin1Char('/') + QString::number(st.st_ino);
    }();
    return space;
}

QString clockNow(qint64 skewSecs)
{
    return QDateTime::currentDateTimeUtc().addSecs(skewSecs).toString(Qt::ISODateWithMs);
}

// The column a judgement of silence reads the server's clock from.
QString clockColumn(Dialect d) { return d == Dialect::PostgreSQL ? kServerNow : QStringLiteral("NULL"); }

} // namespace

struct SessionRegistry::SessionRow
{
    SessionInfo info;
    QString space; // the process space it runs in; empty when unknown
    QString beat;  // last_seen as written
};

// ---------------------------------------------------------------------------
// The heartbeat's thread

class SessionRegistry::Heartbeat
{
public:
    struct Identity
    {
        DatabaseLocation location;
        qint64 sessionId = 0;
        QString machine;
        qint64 pid = 0;
        qint64 skewSecs = 0;
    };

    Heartbeat(SessionRegistry& owner, Identity id, int intervalMs)
        : m_owner(owner)
        , m_id(std::move(id))
        , m_intervalMs(intervalMs)
    {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->start();
    }
    ~Heartbeat()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread->wait();
    }
    void setInterval(int ms)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_intervalMs = ms;
            ++m_changes;
        }
        m_wake.notify_all();
    }

private:
    void run()
    {
        Database db;
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            lock.unlock();
            try {
                if (!db.isOpen())
                    connect(db);
                beat(db);
            } catch (const DbError& e) {
                // A busy database: the next beat tries again. Anything else may have
                // cost the connection: the next beat makes a new one.
                if (db.dialect() != Dialect::SQLite || (e.code() != QLatin1String("5") && e.code() != QLatin1String("6")))
                    db.close();
            } catch (...) {
                db.close();
            }
            lock.lock();
            // A new interval ends the wait at once, rather than after the old one.
            const int changes = m_changes;
            m_wake.wait_for(lock, std::chrono::milliseconds(m_intervalMs),
                            [this, changes] { return m_stop || m_changes != changes; });
        }
        lock.unlock();
        db.close();
    }

    void connect(Database& db)
    {
        // Never wait long behind another statement: a late beat is better than a
        // close that waits for it.
        db.setBusyTimeout(2000);
        db.open(m_id.location);
        if (db.dialect() == Dialect::PostgreSQL) {
            db.exec(QStringLiteral("SET lock_timeout = 2000"));
            db.exec(QStringLiteral("SET statement_timeout = 5000"));
        }
    }

    void beat(Database& db)
    {
        const bool pg = db.dialect() == Dialect::PostgreSQL;
        const QString stamp = pg ? kServerNow : QStringLiteral("?");
        QVariantList binds;
        if (!pg)
            binds << clockNow(m_id.skewSecs);
        QSqlQuery& q = db.execCached(
            QStringLiteral("UPDATE mw_sessions SET last_seen = %1 WHERE session_id = ? RETURNING session_id").arg(stamp),
            binds + QVariantList{m_id.sessionId});
        const bool found = q.next();
        q.finish();
        if (found)
            return;
        // Another copy took this one for closed and cleared it out: come back under
        // the same number. The record locks it held are gone.
        QVariantList row{m_id.sessionId, m_owner.userId(), m_id.machine, m_id.pid};
        db.exec(QStringLiteral("INSERT INTO mw_sessions (session_id, user_id, machine, pid, started, last_seen) "
                               "VALUES (?, ?, ?, ?, %1, %1) ON CONFLICT (session_id) DO NOTHING")
                    .arg(stamp),
                row + binds + binds);
        m_owner.m_cleared = true;
        if (m_owner.m_onCleared)
            m_owner.m_onCleared();
    }

    SessionRegistry& m_owner;
    const Identity m_id;
    std::mutex m_mutex; // guards the three below
    int m_intervalMs;
    int m_changes = 0;
    bool m_stop = false;
    std::condition_variable m_wake;
    std::unique_ptr<QThread> m_thread;
};

// ---------------------------------------------------------------------------
// SessionRegistry

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
    m_heartbeat.reset();
}

SessionRegistry::SessionRow SessionRegistry::readRow(const QSqlQuery& q)
{
    SessionRow s;
    s.info.sessionId = q.value(0).toLongLong();
    s.info.userId = q.value(1).toString();
    const QString machine = q.value(2).toString();
    const qsizetype tag = machine.lastIndexOf(kSpaceTag);
    s.info.machine = tag < 0 ? machine : machine.left(tag);
    s.space = tag < 0 ? QString() : machine.mid(tag + kSpaceTag.size());
    s.info.pid = q.value(3).toLongLong();
    s.info.started = QDateTime::fromString(q.value(4).toString(), Qt::ISODateWithMs);
    s.beat = q.value(5).toString();
    s.info.lastSeen = QDateTime::fromString(s.beat, Qt::ISODateWithMs);
    return s;
}

void SessionRegistry::setStaleAfter(int ms)
{
    m_staleMs = std::max(ms, 100);
    if (m_heartbeat)
        m_heartbeat->setInterval(heartbeatIntervalMs());
}

int SessionRegistry::heartbeatIntervalMs() const { return std::min(m_staleMs / 4, 30 * 1000); }

QString SessionRegistry::stampSql() const
{
    return m_db.dialect() == Dialect::PostgreSQL ? kServerNow : QStringLiteral("?");
}

QVariantList SessionRegistry::stampBinds() const
{
    if (m_db.dialect() == Dialect::PostgreSQL)
        return {};
    return {clockNow(m_skewSecs)};
}

QString SessionRegistry::machineColumn() const
{
    const QString space = processSpace();
    return space.isEmpty() ? m_machine : m_machine + kSpaceTag + space;
}

QString SessionRegistry::userId() const
{
    const std::lock_guard<std::mutex> lock(m_userMutex);
    return m_userId;
}

qint64 SessionRegistry::silentMs(const SessionRow& s, const QDateTime& serverNow)
{
    if (m_db.dialect() == Dialect::PostgreSQL) {
        // Written and read by the server's one clock.
        if (!s.info.lastSeen.isValid() || !serverNow.isValid())
            return kForever;
        return std::max<qint64>(0, s.info.lastSeen.msecsTo(serverNow));
    }
    // The heartbeat's value only tells whether it moved; how long it stood still
    // is this copy's own time.
    Watch& w = m_watch[s.info.sessionId];
    if (!w.since.isValid() || w.beat != s.beat) {
        w.beat = s.beat;
        w.since.start();
    }
    if (!s.info.lastSeen.isValid() || s.info.lastSeen.msecsTo(QDateTime::currentDateTimeUtc()) > kClockSlackMs)
        return kForever;
    return w.since.elapsed();
}

bool SessionRegistry::isAlive(const SessionRow& s, const QDateTime& serverNow)
{
    if (m_sessionId != 0 && s.info.sessionId == m_sessionId)
        return true;
    const qint64 silent = silentMs(s, serverNow);
    const QString space = processSpace();
    if (!space.isEmpty() && s.space == space && s.info.machine == m_machine && s.info.pid > 0 &&
        s.info.pid != m_pid) {
        // In the same process table the table tells at once when a copy has died; a
        // process number taken over by some other program is caught by the long wait.
        if (::kill(static_cast<pid_t>(s.info.pid), 0) != 0 && errno == ESRCH)
            return false;
        return silent < 10LL * m_staleMs;
    }
    return silent < m_staleMs;
}

bool SessionRegistry::removeSession(const SessionRow& s)
{
    // Only as judged: a copy that has beaten since stays.
    Transaction tx(m_db);
    QSqlQuery q = m_db.exec(s.beat.isEmpty()
                                ? QStringLiteral("DELETE FROM mw_sessions WHERE session_id = ? AND "
                                                 "(last_seen IS NULL OR last_seen = '') RETURNING session_id")
                                : QStringLiteral("DELETE FROM mw_sessions WHERE session_id = ? AND last_seen = ? "
                                                 "RETURNING session_id"),
                            s.beat.isEmpty() ? QVariantList{s.info.sessionId} : QVariantList{s.info.sessionId, s.beat});
    const bool removed = q.next();
    q.finish();
    if (removed)
        m_db.exec(QStringLiteral("DELETE FROM mw_locks WHERE session_id = ?"), {s.info.sessionId});
    tx.commit();
    m_watch.remove(s.info.sessionId);
    return removed;
}

void SessionRegistry::removeDeadSessions()
{
    QVector<SessionRow> dead;
    QSet<qint64> present;
    QSqlQuery q = m_db.exec(QStringLiteral("SELECT %1, %2 FROM mw_sessions s").arg(kSessionColumns, clockColumn(m_db.dialect())));
    while (q.next()) {
        const SessionRow s = readRow(q);
        present.insert(s.info.sessionId);
        if (!isAlive(s, QDateTime::fromString(q.value(6).toString(), Qt::ISODateWithMs)))
            dead << s;
    }
    q.finish();
    for (auto it = m_watch.begin(); it != m_watch.end();)
        it = present.contains(it.key()) ? std::next(it) : m_watch.erase(it);
    for (const SessionRow& s : dead)
        removeSession(s);
}

void SessionRegistry::registerSession(const QString& userId)
{
    if (m_sessionId != 0) {
        setUser(userId);
        return;
    }
    removeDeadSessions();
    {
        const std::lock_guard<std::mutex> lock(m_userMutex);
        m_userId = userId;
    }
    m_cleared = false;
    QSqlQuery q = m_db.exec(QStringLiteral("INSERT INTO mw_sessions (user_id, machine, pid, started, last_seen) "
                                           "VALUES (?, ?, ?, %1, %1) RETURNING session_id")
                                .arg(stampSql()),
                            QVariantList{userId, machineColumn(), m_pid} + stampBinds() + stampBinds());
    if (q.next())
        m_sessionId = q.value(0).toLongLong();
}

void SessionRegistry::setUser(const QString& userId)
{
    {
        const std::lock_guard<std::mutex> lock(m_userMutex);
        m_userId = userId;
    }
    if (m_sessionId == 0)
        return;
    m_db.exec(QStringLiteral("UPDATE mw_sessions SET user_id = ? WHERE session_id = ?"), {userId, m_sessionId});
}

void SessionRegistry::unregisterSession()
{
    // First the heartbeat, or it would bring the session back.
    stopHeartbeat();
    if (m_sessionId == 0)
        return;
    const qint64 id = m_sessionId;
    m_sessionId = 0;
    m_watch.clear();
    if (!m_db.isOpen())
        return;
    m_db.exec(QStringLiteral("DELETE FROM mw_locks WHERE session_id = ?"), {id});
    m_db.exec(QStringLiteral("DELETE FROM mw_sessions WHERE session_id = ?"), {id});
}

void SessionRegistry::startHeartbeat()
{
    if (m_sessionId == 0 || m_heartbeat || !m_db.isOpen())
        return;
    Heartbeat::Identity id;
    id.location = m_db.location();
    id.sessionId = m_sessionId;
    id.machine = machineColumn();
    id.pid = m_pid;
    id.skewSecs = m_skewSecs;
    m_heartbeat = std::make_unique<Heartbeat>(*this, id, heartbeatIntervalMs());
}

void SessionRegistry::stopHeartbeat() { m_heartbeat.reset(); }

QVector<SessionInfo> SessionRegistry::sessions()
{
    removeDeadSessions();
    QVector<SessionInfo> out;
    QSqlQuery q = m_db.exec(QStringLiteral("SELECT %1 FROM mw_sessions s ORDER BY s.session_id").arg(kSessionColumns));
    while (q.next())
        out << readRow(q).info;
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
        registerSession(userId());
    for (int attempt = 0; attempt < 3; ++attempt) {
        QSqlQuery& ins = m_db.execCached(
            QStringLiteral("INSERT INTO mw_locks (table_name, row_id, session_id, locked_at) VALUES (?, ?, ?, ?) "
                           "ON CONFLICT (table_name, row_id) DO NOTHING RETURNING row_id"),
            {tableName, rowId, m_sessionId, clockNow(m_skewSecs)});
        const bool inserted = ins.next();
        ins.finish();
        if (inserted)
            return;
        QSqlQuery q = m_db.exec(QStringLiteral("SELECT %1, %2, l.session_id FROM mw_locks l LEFT JOIN mw_sessions s "
                                               "ON s.session_id = l.session_id "
                                               "WHERE l.table_name = ? AND l.row_id = ?")
                                    .arg(kSessionColumns, clockColumn(m_db.dialect())),
                                {tableName, rowId});
        if (!q.next())
            continue; // released meanwhile
        const qint64 holder = q.value(7).toLongLong();
        if (holder == m_sessionId)
            return;
        const SessionRow s = readRow(q);
        const QDateTime serverNow = QDateTime::fromString(q.value(6).toString(), Qt::ISODateWithMs);
        q.finish();
        if (s.info.sessionId == 0) {
            // A lock whose copy is no longer registered at all.
            m_db.exec(QStringLiteral("DELETE FROM mw_locks WHERE table_name = ? AND row_id = ? AND session_id = ?"),
                      {tableName, rowId, holder});
            continue;
        }
        if (!isAlive(s, serverNow)) {
            removeSession(s);
            continue;
        }
        const QString who = s.info.userId.isEmpty() ? QString() : QStringLiteral("\nUser: %1").arg(s.info.userId);
        throw DbError(QStringLiteral("Record locked by another user.\nTable: %1%2").arg(displayName, who));
    }
    throw DbError(QStringLiteral("Record locked by another user.\nTable: %1").arg(displayName));
}

bool SessionRegistry::releaseHeldLock(const QString& tableName, qint64 rowId)
{
    if (m_sessionId == 0)
        return false;
    QSqlQuery& q = m_db.execCached(
        QStringLiteral("DELETE FROM mw_locks WHERE table_name = ? AND row_id = ? AND session_id = ? RETURNING row_id"),
        {tableName, rowId, m_sessionId});
    const bool held = q.next();
    q.finish();
    return held;
}

std::optional<QString> SessionRegistry::otherLockHolder(const QString& tableName, qint64 rowId)
{
    QSqlQuery q = m_db.exec(QStringLiteral("SELECT l.session_id, s.user_id FROM mw_locks l LEFT JOIN mw_sessions s "
                                           "ON s.session_id = l.session_id WHERE l.table_name = ? AND l.row_id = ?"),
                            {tableName, rowId});
    if (!q.next() || (m_sessionId != 0 && q.value(0).toLongLong() == m_sessionId))
        return std::nullopt;
    return q.value(1).toString();
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
