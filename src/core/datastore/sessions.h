#pragma once
// Running copies of the program on one database, and the record locks they hold.
// Both live in the database itself, so they hold across processes and machines.

#include <QDateTime>
#include <QString>
#include <QVector>

namespace mw {

class Database;

struct SessionInfo
{
    qint64 sessionId = 0;
    QString userId;
    QString machine;
    qint64 pid = 0;
    QDateTime started;
    QDateTime lastSeen;
};

class SessionRegistry
{
public:
    // A copy that has not been seen for this long is taken as dead.
    static constexpr int StaleSeconds = 120;

    explicit SessionRegistry(Database& db);
    ~SessionRegistry();

    // Registers this running copy; clears out copies that died.
    void registerSession(const QString& userId);
    void setUser(const QString& userId);
    void unregisterSession();
    qint64 sessionId() const { return m_sessionId; }
    // Tells the others this copy is still alive.
    void heartbeat();

    QVector<SessionInfo> sessions(); // the live copies, oldest first
    int otherSessionCount();

    // Locks one record for this copy. Raises DbError naming the table when another
    // live copy holds it; a lock left by a dead copy is taken over.
    void lockRecord(const QString& tableName, const QString& displayName, qint64 rowId);
    void unlockRecord(const QString& tableName, qint64 rowId);
    void unlockAll();

private:
    bool isAlive(const SessionInfo& s) const;
    void removeSession(qint64 id);
    void removeDeadSessions();
    QString now() const;

    Database& m_db;
    qint64 m_sessionId = 0;
    QString m_machine;
    qint64 m_pid = 0;
};

} // namespace mw
