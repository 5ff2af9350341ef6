#pragma once
// Running copies of the program on one database, and the record locks they hold.
// Both live in the database itself, so they hold across processes and machines.
//
// A running copy beats a heartbeat from a thread of its own, on a connection of
// its own, so that a long operation on the window thread does not make it look
// closed. Whether a silent copy is closed is judged without trusting another
// machine's clock: on PostgreSQL by the server's clock alone; on SQLite by
// whether its heartbeat changed while this copy watched, timed by this copy's
// own monotonic clock. On the same machine a copy whose process is gone is
// closed at once, but only when both copies see the same process table (the same
// boot and process-id namespace).

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QSqlQuery;

namespace mw {

class Database;

struct SessionInfo
{
    qint64 sessionId = 0;
    QString userId;
    QString machine;
    qint64 pid = 0;
    QDateTime started;
    QDateTime lastSeen; // by the clock of whoever wrote it
};

class SessionRegistry
{
public:
    // A copy that has not been seen for this long is taken as closed.
    static constexpr int DefaultStaleMs = 120 * 1000;

    explicit SessionRegistry(Database& db);
    ~SessionRegistry();
    SessionRegistry(const SessionRegistry&) = delete;
    SessionRegistry& operator=(const SessionRegistry&) = delete;

    // How long a silent copy is taken as still running; the heartbeat beats four
    // times as often (at most every 30 s). Tests shorten it.
    void setStaleAfter(int ms);
    int staleAfterMs() const { return m_staleMs; }
    int heartbeatIntervalMs() const;
    // The workstation this copy registers as (the host name by default), and how
    // far its clock is off; tests stand in for other workstations with them.
    // Set before registering.
    void setMachineName(const QString& name) { m_machine = name; }
    void setClockSkew(qint64 seconds) { m_skewSecs = seconds; }

    // Registers this running copy; clears out copies that are closed.
    void registerSession(const QString& userId);
    void setUser(const QString& userId);
    // Stops the heartbeat and removes this copy with its locks.
    void unregisterSession();
    qint64 sessionId() const { return m_sessionId; }

    // The heartbeat: a thread with its own connection to the database that only
    // marks this copy's session as seen, every heartbeatIntervalMs(). A session
    // found cleared by another copy (which took this one for closed, and with it
    // its record locks) is registered again under the same number, and the
    // handler is called, on the heartbeat's thread. Stopping waits for the thread.
    void startHeartbeat();
    void stopHeartbeat();
    void setClearedHandler(std::function<void()> handler) { m_onCleared = std::move(handler); }
    // Another copy took this one for closed since it registered.
    bool wasTakenForClosed() const { return m_cleared.load(); }

    QVector<SessionInfo> sessions(); // the running copies, oldest first
    int otherSessionCount();

    // Locks one record for this copy. Raises DbError naming the table when another
    // running copy holds it; a lock left by a closed copy is taken over.
    void lockRecord(const QString& tableName, const QString& displayName, qint64 rowId);
    // Lets go of this copy's lock of a record as part of writing the record: run
    // inside the write's transaction, it is false when the lock is no longer this
    // copy's (another copy took this one for closed and may have the record now),
    // and the write must not go on.
    bool releaseHeldLock(const QString& tableName, qint64 rowId);
    // The user of the other running copy that holds a record's lock (empty when
    // it has none); nothing when no other copy holds it.
    std::optional<QString> otherLockHolder(const QString& tableName, qint64 rowId);
    void unlockRecord(const QString& tableName, qint64 rowId);
    void unlockAll();

private:
    class Heartbeat;
    struct SessionRow;

    static SessionRow readRow(const QSqlQuery& q);
    bool isAlive(const SessionRow& s, const QDateTime& serverNow);
    qint64 silentMs(const SessionRow& s, const QDateTime& serverNow);
    bool removeSession(const SessionRow& s);
    void removeDeadSessions();
    QString stampSql() const;     // the value marking "seen now", as SQL
    QVariantList stampBinds() const; // its bound values
    QString machineColumn() const;
    QString userId() const;

    Database& m_db;
    qint64 m_sessionId = 0;
    QString m_machine;
    qint64 m_pid = 0;
    int m_staleMs = DefaultStaleMs;
    qint64 m_skewSecs = 0;

    mutable std::mutex m_userMutex; // the user is read by the heartbeat's thread
    QString m_userId;
    std::atomic<bool> m_cleared{false};
    std::function<void()> m_onCleared;
    std::unique_ptr<Heartbeat> m_heartbeat;

    // SQLite: each other copy's heartbeat as last read, and since when (this
    // copy's own clock) it has read the same.
    struct Watch
    {
        QString beat;
        QElapsedTimer since;
    };
    QHash<qint64, Watch> m_watch;
};

} // namespace mw
