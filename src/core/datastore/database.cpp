#include "datastore/database.h"

#include "datastore/migrations.h"

#include <QAtomicInt>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace mw {

namespace {

QAtomicInt g_connectionCounter;

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant h = db.driver()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(h.data());
    return nullptr;
}

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Upper case for any script, so that searches in capitals find accented letters
// on SQLite as they do on PostgreSQL. Plain ASCII takes the quick way.
void sqliteUpper(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* text = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    bool ascii = true;
    for (int i = 0; i < n && ascii; ++i)
        ascii = text[i] < 0x80;
    if (ascii) {
        QByteArray out(reinterpret_cast<const char*>(text), n);
        for (char& c : out)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        sqlite3_result_text(ctx, out.constData(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
        return;
    }
    const QByteArray out = QString::fromUtf8(reinterpret_cast<const char*>(text), n).toUpper().toUtf8();
    sqlite3_result_text(ctx, out.constData(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}


} // namespace

bool DbError::isKeyViolation() const
{
    // SQLite: SQLITE_CONSTRAINT and its unique/primary key variants; PostgreSQL: unique_violation.
    return m_code == QLatin1String("19") || m_code == QLatin1String("2067") || m_code == QLatin1String("1555") ||
           m_code == QLatin1String("23505");
}

// ---------------------------------------------------------------------------
// Location

QString DatabaseLocation::sqliteFile() const
{
    return QDir(directory).filePath(QString::fromLatin1(Database::SQLiteFileName));
}

QString DatabaseLocation::describe() const
{
    if (dialect == Dialect::SQLite)
        return QDir::toNativeSeparators(directory);
    QUrl u(url);
    u.setPassword(QString());
    return u.toString();
}

DatabaseLocation DatabaseLocation::parse(const QString& value)
{
    DatabaseLocation loc;
    const QString v = value.trimmed();
    if (v.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        v.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        loc.dialect = Dialect::PostgreSQL;
        loc.url = v;
    } else {
        loc.dialect = Dialect::SQLite;
        QString dir = v;
        dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
        loc.directory = dir.isEmpty() ? QDir::currentPath() : dir;
    }
    return loc;
}

DatabaseLocation DatabaseLocation::resolve(const QString& workingDirectory)
{
    const QString env = QProcessEnvironment::systemEnvironment().value(QStringLiteral("MERROWIND_DATABASE"));
    if (!env.trimmed().isEmpty())
        return parse(env);
    QSettings machine(QSettings::SystemScope, QStringLiteral("Merrowind"), QStringLiteral("Merrowind"));
    const QString configured = machine.value(QStringLiteral("Databases/Merrowind")).toString();
    if (!configured.trimmed().isEmpty())
        return parse(configured);
    return parse(workingDirectory);
}

// ---------------------------------------------------------------------------
// Database

Database::Database() = default;

Database::~Database() { close(); }

bool Database::isOpen() const { return m_db.isValid() && m_db.isOpen(); }

QString Database::errorText(const QSqlError& e)
{
    const QString db = e.databaseText().trimmed();
    return db.isEmpty() ? e.driverText().trimmed() : db;
}

void Database::close()
{
    m_cache.clear();
    m_repeated.clear(); // finalizes the engine's statements before the connection goes
    if (m_db.isValid()) {
        if (m_db.isOpen())
            m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    m_txDepth = 0;
    m_failedDepth = 0;
}

void Database::connect(const DatabaseLocation& location, bool mustExist)
{
    close();
    m_location = location;
    m_connectionName = QStringLiteral("merrowind-%1").arg(g_connectionCounter.fetchAndAddOrdered(1));
    if (location.dialect == Dialect::SQLite) {
        QFileInfo dir(location.directory);
        if (!dir.exists() || !dir.isDir())
            throw DbError(QStringLiteral("The database directory \"%1\" does not exist.")
                              .arg(QDir::toNativeSeparators(location.directory)));
        const bool exists = QFileInfo::exists(location.sqliteFile());
        if (mustExist && !exists)
            throw DbError(QStringLiteral("There is no Merrowind database in \"%1\" (the file %2 is missing).")
                              .arg(QDir::toNativeSeparators(location.directory),
                                   QString::fromLatin1(SQLiteFileName)));
        if (!mustExist && exists)
            throw DbError(QStringLiteral("\"%1\" already holds a Merrowind database.")
                              .arg(QDir::toNativeSeparators(location.directory)));
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        m_db.setDatabaseName(location.sqliteFile());
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
    } else {
        const QUrl url(location.url);
        if (!url.isValid() || url.host().isEmpty())
            throw DbError(QStringLiteral("The database address \"%1\" is not a valid PostgreSQL address.")
                              .arg(location.url));
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        m_db.setHostName(url.host());
        if (url.port() > 0)
            m_db.setPort(url.port());
        m_db.setUserName(url.userName());
        m_db.setPassword(url.password());
        QString name = url.path();
        if (name.startsWith(QLatin1Char('/')))
            name.remove(0, 1);
        m_db.setDatabaseName(name.isEmpty() ? QStringLiteral("merrowind") : name);
        m_db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    }
    if (!m_db.open()) {
        const QString msg = errorText(m_db.lastError());
        close();
        throw DbError(QStringLiteral("Cannot open the database %1: %2").arg(location.describe(), msg));
    }
    prepareConnection();
}

void Database::prepareConnection()
{
    if (dialect() == Dialect::SQLite) {
        if (sqlite3* handle = sqliteHandle(m_db)) {
            sqlite3_create_function_v2(handle, "upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                       &sqliteUpper, nullptr, nullptr, nullptr);
            sqlite3_busy_handler(handle, &Database::onBusy, this);
        }
        // A rollback journal, not WAL: the file may sit on a shared network drive.
        exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        exec(QStringLiteral("PRAGMA case_sensitive_like=ON"));
        exec(QStringLiteral("PRAGMA cache_size=-32768"));
        exec(QStringLiteral("PRAGMA temp_store=MEMORY"));
    } else {
        exec(QStringLiteral("SET client_min_messages TO WARNING"));
        // Statements outside our transactions too, whatever the server's default.
        exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL READ COMMITTED"));
    }
}

void Database::open(const DatabaseLocation& location)
{
    connect(location, true);
    try {
        verifySchema();
    } catch (...) {
        close();
        throw;
    }
}

void Database::openForUpgrade(const DatabaseLocation& location)
{
    connect(location, true);
    try {
        checkLayoutVersion();
    } catch (...) {
        close();
        throw;
    }
}

int Database::checkLayoutVersion()
{
    if (!tableExists(QStringLiteral("mw_meta")))
        throw DbError(QStringLiteral("%1 does not hold a Merrowind database.").arg(m_location.describe()));
    const int version = schemaVersion();
    if (version > Schema::Version)
        throw DbError(QStringLiteral("The database %1 was made by a newer version of Merrowind (layout %2); "
                                     "this program knows layout %3.")
                          .arg(m_location.describe())
                          .arg(version)
                          .arg(Schema::Version));
    return version;
}

bool Database::tableExists(const QString& sqlName)
{
    QSqlQuery q = exec(dialect() == Dialect::SQLite
                           ? QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND lower(name) = lower(?)")
                           : QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_schema = "
                                            "current_schema() AND lower(table_name) = lower(?)"),
                       {sqlName});
    const bool found = q.next();
    q.finish();
    return found;
}

void Database::create(const DatabaseLocation& location, int layout)
{
    connect(location, false);
    try {
        createSchema(layout);
    } catch (...) {
        close();
        if (location.dialect == Dialect::SQLite)
            QFile::remove(location.sqliteFile());
        throw;
    }
}

QVariant Database::toStorage(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(v.toBool() ? 1 : 0);
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        return d.isValid() ? QVariant(d.toString(Qt::ISODate)) : QVariant(QMetaType(QMetaType::QString));
    }
    case QMetaType::QDateTime:
        return QVariant(v.toDateTime().toString(Qt::ISODate));
    default:
        return v;
    }
}

void Database::raise(const QSqlError& e)
{
    const QString code = e.nativeErrorCode();
    // PostgreSQL refuses every later statement of a transaction in which one failed,
    // and answers its COMMIT with a rollback; SQLite may have taken the whole
    // transaction back itself. Either way its commit must not report success.
    if (m_txDepth > 0 && m_failedDepth == 0 &&
        (dialect() == Dialect::PostgreSQL || !connectionInTransaction())) {
        m_failedDepth = dialect() == Dialect::PostgreSQL ? m_txDepth : 1;
        m_failure = errorText(e);
        m_failureCode = code;
    }
    if (dialect() == Dialect::SQLite && (code == QLatin1String("5") || code == QLatin1String("6")))
        throw DbError(QStringLiteral("The database %1 is held by another running copy and did not become free "
                                     "in time (%2). Try again in a moment.")
                          .arg(m_location.describe(), errorText(e)),
                      code);
    throw DbError(errorText(e), code);
}

QSqlQuery Database::exec(const QString& sql, const QVariantList& binds)
{
    if (!isOpen())
        throw DbError(QStringLiteral("The database is not open."));
    QSqlQuery q(m_db);
    // All rows at once: a forward-only query of the PostgreSQL driver hands its rows
    // over one by one and loses the unread ones when another statement runs on the
    // connection; one of SQLite keeps the database held for reading while it is open.
    q.setForwardOnly(false);
    if (binds.isEmpty()) {
        if (!q.exec(sql))
            raise(q.lastError());
    } else {
        if (!q.prepare(sql))
            raise(q.lastError());
        for (const QVariant& b : binds)
            q.addBindValue(toStorage(b));
        if (!q.exec())
            raise(q.lastError());
    }
    if (dialect() == Dialect::SQLite && q.isSelect()) {
        // Read to the end, where SQLite lets go of the database; an error there (a
        // write with RETURNING that could not commit) is this statement's.
        q.last();
        if (q.lastError().isValid())
            raise(q.lastError());
        q.seek(-1);
    }
    return q;
}

QSqlQuery& Database::prepareCached(const QString& sql)
{
    if (!isOpen())
        throw DbError(QStringLiteral("The database is not open."));
    auto it = m_cache.find(sql);
    if (it == m_cache.end()) {
        auto q = std::make_shared<QSqlQuery>(m_db);
        q->setForwardOnly(true);
        if (!q->prepare(sql))
            raise(q->lastError());
        it = m_cache.insert(sql, q);
    }
    return **it;
}

QSqlQuery& Database::execPrepared(QSqlQuery& q, const QVariantList& binds)
{
    q.finish();
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, toStorage(binds[i]));
    if (!q.exec())
        raise(q.lastError());
    return q;
}

QSqlQuery& Database::execCached(const QString& sql, const QVariantList& binds)
{
    return execPrepared(prepareCached(sql), binds);
}

class Database::Repeated
{
public:
    ~Repeated()
    {
        if (stmt)
            sqlite3_finalize(stmt);
    }
    sqlite3* handle = nullptr;
    sqlite3_stmt* stmt = nullptr; // SQLite
    QSqlQuery* query = nullptr;   // PostgreSQL: the cached prepared query
};

Database::Repeated& Database::prepareRepeated(const QString& sql)
{
    if (!isOpen())
        throw DbError(QStringLiteral("The database is not open."));
    auto it = m_repeated.find(sql);
    if (it != m_repeated.end())
        return **it;
    auto r = std::make_shared<Repeated>();
    if (dialect() == Dialect::SQLite) {
        r->handle = sqliteHandle(m_db);
        const QByteArray text = sql.toUtf8();
        if (!r->handle ||
            sqlite3_prepare_v3(r->handle, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &r->stmt,
                               nullptr) != SQLITE_OK)
            raise(QSqlError(QStringLiteral("Unable to prepare the statement"),
                            r->handle ? QString::fromUtf8(sqlite3_errmsg(r->handle)) : QString(),
                            QSqlError::StatementError,
                            r->handle ? QString::number(sqlite3_errcode(r->handle)) : QString()));
    } else {
        r->query = &prepareCached(sql);
    }
    return **m_repeated.insert(sql, r);
}

int Database::execRepeated(Repeated& r, const QVariantList& binds)
{
    if (!r.stmt)
        return execPrepared(*r.query, binds).numRowsAffected();
    sqlite3_stmt* stmt = r.stmt;
    // The values stay alive in binds until the step is done: no copies.
    for (int i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds.at(i);
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(stmt, i + 1);
        } else {
            switch (v.typeId()) {
            case QMetaType::QString: {
                const QString& text = *static_cast<const QString*>(v.constData());
                rc = sqlite3_bind_text16(stmt, i + 1, text.utf16(), int(text.size() * 2), SQLITE_STATIC);
                break;
            }
            case QMetaType::Bool:
                rc = sqlite3_bind_int(stmt, i + 1, v.toBool() ? 1 : 0);
                break;
            case QMetaType::Int:
            case QMetaType::LongLong:
            case QMetaType::UInt:
            case QMetaType::ULongLong:
                rc = sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
                break;
            default: {
                const QString text = toStorage(v).toString();
                rc = sqlite3_bind_text16(stmt, i + 1, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (rc != SQLITE_OK) {
            sqlite3_reset(stmt);
            raise(QSqlError(QStringLiteral("Unable to bind a value"), QString::fromUtf8(sqlite3_errmsg(r.handle)),
                            QSqlError::StatementError, QString::number(rc)));
        }
    }
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(r.handle));
        const int code = sqlite3_errcode(r.handle);
        sqlite3_reset(stmt);
        raise(QSqlError(QStringLiteral("Unable to fetch row"), message, QSqlError::StatementError,
                        QString::number(code)));
    }
    const int changed = sqlite3_changes(r.handle);
    sqlite3_reset(stmt);
    return changed;
}

namespace {

QString savepointName(int depth) { return QStringLiteral("mw_sp_%1").arg(depth); }

} // namespace

// SQLite asks this while another copy holds the database: wait a short random
// moment and try again, until the wait is used up. Short steps keep a copy that
// waits in the running against copies that write back to back.
int Database::onBusy(void* self, int attempt)
{
    auto* db = static_cast<Database*>(self);
    const qint64 now = monotonicNs();
    if (attempt == 0)
        db->m_busySinceNs = now;
    db->m_lastBusyNs = now;
    if (now - db->m_busySinceNs >= qint64(db->m_busyTimeoutMs) * 1000000)
        return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(200, 2000)));
    return 1;
}

void Database::setBusyTimeout(int ms) { m_busyTimeoutMs = ms; }

// SQLite: what the connection says. PostgreSQL: our own count, which the server
// follows (a failed COMMIT there ends the transaction).
bool Database::connectionInTransaction() const
{
    if (dialect() == Dialect::SQLite) {
        sqlite3* handle = isOpen() ? sqliteHandle(m_db) : nullptr;
        return handle && sqlite3_get_autocommit(handle) == 0;
    }
    return m_txDepth > 0;
}

void Database::finishCached()
{
    for (auto& q : m_cache)
        q->finish();
}

// A copy that writes back to back would take the write lock again before any
// waiting copy looks: so when others were waiting lately, a transaction that
// follows right on our last one first leaves them a moment to get in.
void Database::giveWay()
{
    constexpr qint64 lately = 1000 * 1000000LL, moment = 3 * 1000000LL;
    const qint64 now = monotonicNs();
    if (now - m_lastBusyNs > lately || now - m_lastCommitNs >= moment)
        return;
    const qint64 pause = moment - (now - m_lastCommitNs);
    std::this_thread::sleep_for(std::chrono::nanoseconds(pause / 2 + QRandomGenerator::global()->bounded(pause / 2)));
}

void Database::begin()
{
    if (m_txDepth == 0) {
        // SQLite: the write lock from the start, so that no two copies read first and
        // then both wait to write. A read of ours left open would make a copy that
        // holds the write lock refuse us at once instead of letting us wait.
        finishCached();
        if (dialect() == Dialect::SQLite)
            giveWay();
        exec(dialect() == Dialect::SQLite ? QStringLiteral("BEGIN IMMEDIATE")
                                          : QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED"));
        m_failedDepth = 0;
    } else {
        exec(QStringLiteral("SAVEPOINT ") + savepointName(m_txDepth));
    }
    ++m_txDepth;
}

void Database::commit()
{
    if (m_txDepth <= 0)
        return;
    // A savepoint's level ends only when its release went through; a failed one is
    // still there for the rollback that follows.
    if (m_txDepth > 1) {
        exec(QStringLiteral("RELEASE SAVEPOINT ") + savepointName(m_txDepth - 1));
        --m_txDepth;
        return;
    }
    // No read of ours is to keep the database held past the commit.
    finishCached();
    if (m_failedDepth > 0)
        abandonTransaction(QStringLiteral("A statement of the transaction failed: %1").arg(m_failure),
                           m_failureCode, false);
    try {
        exec(QStringLiteral("COMMIT"));
    } catch (const DbError& e) {
        abandonTransaction(e.message(), e.code(), true);
    }
    m_txDepth = 0;
    m_lastCommitNs = monotonicNs();
}

// Ends a transaction that cannot be committed, so that nothing later joins it
// unseen and no other copy waits for it, and tells why.
void Database::abandonTransaction(const QString& why, const QString& code, bool commitSent)
{
    finishCached();
    const bool sqlite = dialect() == Dialect::SQLite;
    QString rollbackFailure;
    if (sqlite ? connectionInTransaction() : !commitSent) {
        try {
            exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError& e) {
            rollbackFailure = e.message();
        }
    }
    m_failedDepth = 0;
    m_failure.clear();
    m_failureCode.clear();
    // Still open only when even the rollback failed (SQLite): the level stays for
    // the next rollback. On PostgreSQL a failed COMMIT has ended the transaction.
    m_txDepth = sqlite && connectionInTransaction() ? 1 : 0;
    QString message = QStringLiteral("The changes were not saved; they have been taken back. ") + why;
    if (m_txDepth > 0)
        message = QStringLiteral("The changes were not saved, and taking them back failed too: ") + rollbackFailure;
    throw DbError(message, code);
}

void Database::rollback()
{
    if (m_txDepth <= 0)
        return;
    const int level = --m_txDepth;
    finishCached();
    if (level == 0) {
        m_failedDepth = 0;
        try {
            exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError&) {
            // SQLite may have ended the transaction itself; one still open stays counted.
            if (connectionInTransaction())
                m_txDepth = 1;
            throw;
        }
        return;
    }
    exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + savepointName(level));
    // Back before the failed statement: PostgreSQL takes the transaction up again.
    if (m_failedDepth > level)
        m_failedDepth = 0;
    exec(QStringLiteral("RELEASE SAVEPOINT ") + savepointName(level));
}

int Database::schemaVersion()
{
    QSqlQuery q = exec(QStringLiteral("SELECT value FROM mw_meta WHERE name = ?"),
                       {QStringLiteral("schema_version")});
    return q.next() ? q.value(0).toInt() : 0;
}

// ---------------------------------------------------------------------------
// Schema

void Database::verifySchema()
{
    QStringList present;
    try {
        QSqlQuery q = exec(dialect() == Dialect::SQLite
                               ? QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")
                               : QStringLiteral("SELECT table_name FROM information_schema.tables "
                                                "WHERE table_schema = current_schema()"));
        while (q.next())
            present << q.value(0).toString();
    } catch (const DbError& e) {
        throw DbError(QStringLiteral("Cannot read the database %1: %2").arg(m_location.describe(), e.message()));
    }
    auto has = [&](const QString& t) { return present.contains(t, Qt::CaseInsensitive); };
    const int version = checkLayoutVersion();
    if (version < Schema::Version)
        throw DbError(QStringLiteral("The database %1 has the layout of an older version of Merrowind (layout %2); "
                                     "this program needs layout %3. Upgrade it with: merrowind --upgrade-database %4")
                          .arg(m_location.describe())
                          .arg(version)
                          .arg(Schema::Version)
                          .arg(m_location.describe()), // never the password
                      QString::fromLatin1(OlderLayoutCode));
    for (const TableDef& t : Schema::tables()) {
        if (!has(t.sqlName))
            throw DbError(QStringLiteral("The database %1 is missing the table %2.")
                              .arg(m_location.describe(), t.fileName));
        const QSqlRecord rec = m_db.record(t.sqlName);
        for (const FieldDef& f : t.fields)
            if (f.sinceLayout <= version && rec.indexOf(f.name) < 0)
                throw DbError(QStringLiteral("The table %1 in the database %2 has no field %3.")
                                  .arg(t.fileName, m_location.describe(), f.name));
        if (t.hiddenRowId() && rec.indexOf(QStringLiteral("rid")) < 0)
            throw DbError(QStringLiteral("The table %1 in the database %2 is damaged (no row identity).")
                              .arg(t.fileName, m_location.describe()));
    }
    for (const char* sys : {"mw_sessions", "mw_locks"})
        if (!has(QString::fromLatin1(sys)))
            throw DbError(QStringLiteral("The database %1 is missing the table %2.")
                              .arg(m_location.describe(), QString::fromLatin1(sys)));
}

QString Database::columnDdl(const FieldDef& f, bool keyField) const
{
    const bool pg = dialect() == Dialect::PostgreSQL;
    const QString text = pg ? QStringLiteral("TEXT COLLATE \"C\"") : QStringLiteral("TEXT");
    QString type;
    switch (f.kind) {
    case FieldKind::Alpha:
    case FieldKind::Memo:
    case FieldKind::Date:
        type = text;
        break;
    case FieldKind::Logical:
    case FieldKind::Number:
        type = QStringLiteral("INTEGER");
        break;
    case FieldKind::AutoInc:
        type = pg ? QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                  : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
        break;
    }
    QString ddl = f.name + QLatin1Char(' ') + type;
    if (keyField && f.kind == FieldKind::Alpha)
        ddl += QStringLiteral(" NOT NULL DEFAULT ''");
    return ddl;
}

// An index of the applicants' names by three-letter pieces, so that a search for a
// rare name need not read every applicant.
void Database::createNameIndex()
{
    if (dialect() == Dialect::SQLite) {
        exec(QStringLiteral("CREATE VIRTUAL TABLE applicant_names USING fts5(Name, content='applicants', "
                            "content_rowid='rid', tokenize='trigram')"));
        exec(QStringLiteral("CREATE TRIGGER applicant_names_insert AFTER INSERT ON applicants BEGIN "
                            "INSERT INTO applicant_names (rowid, Name) VALUES (new.rid, new.Name); END"));
        exec(QStringLiteral("CREATE TRIGGER applicant_names_delete AFTER DELETE ON applicants BEGIN "
                            "INSERT INTO applicant_names (applicant_names, rowid, Name) "
                            "VALUES ('delete', old.rid, old.Name); END"));
        exec(QStringLiteral("CREATE TRIGGER applicant_names_update AFTER UPDATE OF Name ON applicants BEGIN "
                            "INSERT INTO applicant_names (applicant_names, rowid, Name) "
                            "VALUES ('delete', old.rid, old.Name); "
                            "INSERT INTO applicant_names (rowid, Name) VALUES (new.rid, new.Name); END"));
        return;
    }
    // PostgreSQL: a trigram index on the very expression the name search uses. Where
    // the server lacks the extension the search simply reads the table.
    exec(QStringLiteral("SAVEPOINT name_index"));
    try {
        exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"));
        QSqlQuery q = exec(QStringLiteral("SELECT collname FROM pg_collation WHERE collname = ?"),
                           {QStringLiteral("und-x-icu")});
        const QString column = q.next() ? QStringLiteral("UPPER(Name COLLATE \"und-x-icu\")") : QStringLiteral("UPPER(Name)");
        q.finish();
        exec(QStringLiteral("CREATE INDEX applicants_name_trgm ON applicants USING gin ((%1) gin_trgm_ops)").arg(column));
        exec(QStringLiteral("RELEASE SAVEPOINT name_index"));
    } catch (const DbError&) {
        exec(QStringLiteral("ROLLBACK TO SAVEPOINT name_index"));
    }
}

// Makes layout 1, the first layout there was, then takes it up to the layout asked
// for through the migration steps, so that a new database and an upgraded one are
// the same. Fields added by later layouts are left to their steps.
void Database::createSchema(int layout)
{
    const bool pg = dialect() == Dialect::PostgreSQL;
    Transaction tx(*this);
    exec(QStringLiteral("CREATE TABLE mw_meta (name VARCHAR(40) PRIMARY KEY, value TEXT)"));
    exec(QStringLiteral("INSERT INTO mw_meta (name, value) VALUES (?, ?)"),
         {QStringLiteral("schema_version"), QStringLiteral("1")});
    exec(pg ? QStringLiteral("CREATE TABLE mw_sessions (session_id INTEGER GENERATED BY DEFAULT AS IDENTITY "
                             "PRIMARY KEY, user_id TEXT, machine TEXT, pid INTEGER, started TEXT, last_seen TEXT)")
            : QStringLiteral("CREATE TABLE mw_sessions (session_id INTEGER PRIMARY KEY AUTOINCREMENT, "
                             "user_id TEXT, machine TEXT, pid INTEGER, started TEXT, last_seen TEXT)"));
    exec(QStringLiteral("CREATE TABLE mw_locks (table_name VARCHAR(40) NOT NULL, row_id BIGINT NOT NULL, "
                        "session_id INTEGER NOT NULL, locked_at TEXT, PRIMARY KEY (table_name, row_id))"));

    for (const TableDef& t : Schema::tables()) {
        QStringList cols;
        if (t.hiddenRowId())
            cols << (pg ? QStringLiteral("rid BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                        : QStringLiteral("rid INTEGER PRIMARY KEY"));
        for (const FieldDef& f : t.fields)
            if (f.sinceLayout <= 1)
                cols << columnDdl(f, t.uniqueKey.contains(f.name) || t.order.contains(f.name));
        exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(t.sqlName, cols.join(QStringLiteral(", "))));
        if (!t.uniqueKey.isEmpty() && !t.uniqueKeyName.isEmpty())
            exec(QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (%3)")
                     .arg(t.uniqueKeyName, t.sqlName, t.uniqueKey.join(QStringLiteral(", "))));
        if (!t.secondaryIndex.isEmpty())
            exec(QStringLiteral("CREATE INDEX %1_name ON %1 (%2)")
                     .arg(t.sqlName, t.secondaryIndex.join(QStringLiteral(", "))));
    }
    // Look-ups the program makes often.
    exec(QStringLiteral("CREATE INDEX applications_applicant ON applications (ApplicantID)"));
    exec(QStringLiteral("CREATE INDEX requisitions_group ON requisitions (JobPostingID)"));
    exec(QStringLiteral("CREATE INDEX users_userid ON users (UserID)"));
    exec(QStringLiteral("CREATE INDEX notify_user ON notify_list (UserID)"));
    exec(QStringLiteral("CREATE INDEX notify_group ON notify_list (JobPostingID)"));
    exec(QStringLiteral("CREATE INDEX restrict_user ON restrict_list (UserID)"));
    exec(QStringLiteral("CREATE INDEX job_postings_id ON job_postings (JobPostingID)"));
    createNameIndex();
    applyMigrations(*this, layout);
    tx.commit();
}

} // namespace mw
