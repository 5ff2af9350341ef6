// Transactions while other running copies read and write the same database: no
// transaction stays open, no write is lost without a word, every failure reaches
// the caller as DbError.

#include "datastore/query.h"
#include "dbfixture.h"

#include <QProcess>
#include <QSet>
#include <QSqlDriver>

#include <sqlite3.h>

#include <algorithm>
#include <functional>

using namespace mw;
using mwtest::Backend;

namespace {

const QString kAnn = QStringLiteral("00000001");

} // namespace

class TransactionContentionTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        for (const char* id : {"00000001", "00000002", "00000003", "00000004"})
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Phone) VALUES (?, ?, ?)"),
                {QLatin1String(id), QStringLiteral("APPLICANT ") + QLatin1String(id), QStringLiteral("0")});
        if (GetParam() == Backend::Postgres)
            m_backendPid = scalar(QStringLiteral("SELECT pg_backend_pid()")).toLongLong();
    }

    Database& db() { return data->database(); }
    QString location() const
    {
        const DatabaseLocation& l = m_testDb->location();
        return l.dialect == Dialect::SQLite ? l.directory : l.url;
    }

    // Starts a probe of ours and waits for the line that says it is under way.
    void start(QProcess& p, const QStringList& args, const QByteArray& ready)
    {
        p.start(QStringLiteral(MW_WRITEPROBE), QStringList{location()} + args);
        ASSERT_TRUE(p.waitForStarted());
        ASSERT_TRUE(p.waitForReadyRead(30000)) << p.readAllStandardError().toStdString();
        ASSERT_EQ(p.readLine().trimmed(), ready) << p.readAllStandardError().toStdString();
    }
    // Tells a probe to end and gives its last line.
    QByteArray finish(QProcess& p)
    {
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput().trimmed();
    }

    // Whether the connection itself is inside a transaction, asked of the
    // connection (SQLite) or of the server (PostgreSQL), not of our own counter.
    bool inTransaction()
    {
        if (GetParam() == Backend::SQLite) {
            const QVariant h = db().connection().driver()->handle();
            return sqlite3_get_autocommit(*static_cast<sqlite3* const*>(h.data())) == 0;
        }
        Database observer;
        observer.open(m_testDb->location());
        QSqlQuery q = observer.exec(QStringLiteral("SELECT state FROM pg_stat_activity WHERE pid = ?"), {m_backendPid});
        return q.next() && q.value(0).toString().startsWith(QLatin1String("idle in transaction"));
    }
    // What another copy reads as the applicant's phone.
    QString storedPhone(const QString& id)
    {
        Database other;
        other.open(m_testDb->location());
        QSqlQuery q = other.exec(QStringLiteral("SELECT Phone FROM applicants WHERE ApplicantID = ?"), {id});
        return q.next() ? q.value(0).toString() : QString();
    }
    void setPhone(const QString& id, const QString& phone)
    {
        db().exec(QStringLiteral("UPDATE applicants SET Phone = ? WHERE ApplicantID = ?"), {phone, id});
    }
    // No transaction left behind, and the connection still writes for everybody.
    void expectSettled(const char* where)
    {
        SCOPED_TRACE(where);
        EXPECT_EQ(db().transactionDepth(), 0);
        EXPECT_FALSE(inTransaction());
        setPhone(kAnn, QStringLiteral("after"));
        EXPECT_EQ(storedPhone(kAnn), QStringLiteral("after")) << "a later write joined a transaction left open";
        Transaction tx(db());
        setPhone(kAnn, QStringLiteral("after, in a transaction"));
        tx.commit();
        EXPECT_EQ(storedPhone(kAnn), QStringLiteral("after, in a transaction"));
    }

    qint64 m_backendPid = 0;
};

// A commit while another copy is in the middle of a read: on SQLite the reader's
// lock keeps the commit waiting. It goes through when the reader lets go in time,
// and otherwise fails, told, taken back and over.
TEST_P(TransactionContentionTest, ACommitWhileAnotherCopyReads)
{
    const bool sqlite = GetParam() == Backend::SQLite;
    const struct
    {
        const char* name;
        int readerHoldsMs; // 0: until told
        int waitMs;        // how long our commit may wait
        bool commits;
    } cases[] = {
        {"the reader lets go in time", 300, 30000, true},
        {"the reader reads on", 0, 300, !sqlite},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess reader;
        ASSERT_NO_FATAL_FAILURE(start(reader, {QStringLiteral("hold"), QString::number(c.readerHoldsMs)}, "READING"));
        db().setBusyTimeout(c.waitMs);
        db().begin();
        setPhone(kAnn, QStringLiteral("555-0100"));
        QString failure;
        try {
            db().commit();
        } catch (const DbError& e) {
            failure = e.message();
        }
        finish(reader);
        EXPECT_EQ(failure.isEmpty(), c.commits) << failure.toStdString();
        if (!c.commits) {
            EXPECT_TRUE(failure.startsWith(QStringLiteral("The changes were not saved"))) << failure.toStdString();
        }
        EXPECT_EQ(db().transactionDepth(), 0);
        EXPECT_FALSE(inTransaction());
        EXPECT_EQ(storedPhone(kAnn), c.commits ? QStringLiteral("555-0100") : QStringLiteral("0"));
        db().setBusyTimeout(Database::DefaultBusyTimeoutMs);
        expectSettled(c.name);
        setPhone(kAnn, QStringLiteral("0"));
    }
}

// Three other copies post edits back to back while this one posts twenty: every
// write of every copy goes through within its wait, and each copy's last value
// is what is stored.
TEST_P(TransactionContentionTest, SingleWritesGetThroughUnderSteadyWrites)
{
    constexpr int writes = 20, waitMs = 10000;
    const QStringList others{QStringLiteral("00000002"), QStringLiteral("00000003"), QStringLiteral("00000004")};
    QProcess writer[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_NO_FATAL_FAILURE(start(writer[i], {QStringLiteral("write"), others[i], QString::number(waitMs)}, "WRITING"));
    db().setBusyTimeout(waitMs);
    QStringList failures;
    for (int i = 1; i <= writes; ++i) {
        try {
            Transaction tx(db());
            setPhone(kAnn, QString::number(i));
            tx.commit();
        } catch (const DbError& e) {
            failures << e.message();
        }
    }
    for (int i = 0; i < 3; ++i) {
        const QList<QByteArray> done = finish(writer[i]).split(' ');
        ASSERT_EQ(done.size(), 4) << done.join(' ').toStdString();
        EXPECT_EQ(done[2], "0") << "writes of another copy failed: " << done.join(' ').toStdString();
        EXPECT_EQ(storedPhone(others[i]), QString::fromLatin1(done[3])) << "the last edit of another copy was lost";
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " of " << writes << " failed: "
                                    << failures.value(0).toStdString();
    EXPECT_EQ(storedPhone(kAnn), QString::number(writes - static_cast<int>(failures.size())));
    db().setBusyTimeout(Database::DefaultBusyTimeoutMs);
    expectSettled("after the writes");
}

// Identifier counters drawn by several copies at once, whatever isolation the
// server gives transactions by default: every number goes to one copy, none fails.
TEST_P(TransactionContentionTest, CountersHoldUnderEveryDefaultIsolation)
{
    const struct
    {
        const char* level;
        const char* alter; // PostgreSQL: makes it the database's default for new connections
    } cases[] = {
        {"read committed", nullptr},
        {"repeatable read", "DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET default_transaction_isolation = "
                            "''repeatable read''', current_database()); END $$"},
        {"serializable", "DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET default_transaction_isolation = "
                         "''serializable''', current_database()); END $$"},
    };
    constexpr int copies = 3, each = 40;
    int drawn = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        if (c.alter) {
            if (GetParam() == Backend::SQLite)
                continue; // one way only
            sql(QLatin1String(c.alter));
            data.reset();
            data = std::make_unique<TMerrowindData>();
            ASSERT_NO_THROW(data->open(m_testDb->location()));
            // What a new connection starts with before it sets its own.
            ASSERT_EQ(scalar(QStringLiteral("SELECT reset_val FROM pg_settings WHERE name = ?"),
                             {QStringLiteral("default_transaction_isolation")})
                          .toString(),
                      QLatin1String(c.level));
        }
        QProcess p[copies];
        for (QProcess& proc : p)
            proc.start(QStringLiteral(MW_STOREPROBE),
                       {location(), QStringLiteral("numbers"), QString::number(each)});
        QSet<int> numbers;
        QStringList failures;
        for (int i = 0; i < each; ++i) {
            try {
                numbers.insert(data->TakeNextNumber(TMerrowindData::Counter::Applicant));
            } catch (const DbError& e) {
                failures << e.message();
            }
        }
        for (QProcess& proc : p) {
            ASSERT_TRUE(proc.waitForFinished(120000));
            const QByteArray err = proc.readAllStandardError();
            EXPECT_EQ(proc.exitCode(), 0) << err.toStdString();
            const QList<QByteArray> lines = proc.readAllStandardOutput().trimmed().split('\n');
            EXPECT_EQ(lines.size(), each) << err.toStdString();
            for (const QByteArray& l : lines) {
                EXPECT_FALSE(numbers.contains(l.toInt())) << "number " << l.toInt() << " given twice";
                numbers.insert(l.toInt());
            }
        }
        EXPECT_TRUE(failures.isEmpty()) << failures.value(0).toStdString();
        EXPECT_EQ(numbers.size(), copies * each + each);
        EXPECT_EQ(*std::min_element(numbers.begin(), numbers.end()), drawn + 1);
        EXPECT_EQ(*std::max_element(numbers.begin(), numbers.end()), drawn + copies * each + each);
        drawn += copies * each + each;
        EXPECT_EQ(scalar(QStringLiteral("SELECT AppStart FROM id_counters")).toInt(), drawn + 1);
    }
}

// A statement that fails inside a transaction (and is caught): SQLite refuses that
// statement alone and commits the rest; PostgreSQL refuses the whole transaction,
// and its commit must say so instead of reporting success.
TEST_P(TransactionContentionTest, ACommitAfterAFailedStatementTellsWhatHappened)
{
    const bool sqlite = GetParam() == Backend::SQLite;
    db().begin();
    setPhone(kAnn, QStringLiteral("555-0199"));
    EXPECT_THROW(sql(QStringLiteral("INSERT INTO applicants (ApplicantID) VALUES (?)"), {QStringLiteral("00000002")}),
                 DbError);
    QString failure;
    try {
        db().commit();
    } catch (const DbError& e) {
        failure = e.message();
    }
    if (sqlite) {
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    } else {
        EXPECT_TRUE(failure.startsWith(QStringLiteral("The changes were not saved; they have been taken back. "
                                                      "A statement of the transaction failed: ")))
            << failure.toStdString();
    }
    EXPECT_EQ(storedPhone(kAnn), sqlite ? QStringLiteral("555-0199") : QStringLiteral("0"));
    expectSettled("after the commit");
}

// A query read a row at a time while other statements run on the same
// connection (a loop that writes as it reads), with another copy writing all the
// while: no row is lost, and no write of the loop is refused.
TEST_P(TransactionContentionTest, AQueryReadAlongsideOtherStatementsKeepsItsRows)
{
    const QStringList all{QStringLiteral("00000001"), QStringLiteral("00000002"), QStringLiteral("00000003"),
                          QStringLiteral("00000004")};
    const QString select = QStringLiteral("SELECT ApplicantID FROM applicants ORDER BY ApplicantID");
    const struct
    {
        const char* name;
        std::function<void(TMerrowindData&)> between;
    } cases[] = {
        {"a statement", [](TMerrowindData& d) {
             d.database().exec(QStringLiteral("UPDATE applicants SET Phone = ? WHERE ApplicantID = ?"),
                               {QStringLiteral("1"), QStringLiteral("00000004")});
         }},
        {"a transaction", [](TMerrowindData& d) {
             Transaction tx(d.database());
             d.database().exec(QStringLiteral("UPDATE applicants SET Phone = ? WHERE ApplicantID = ?"),
                               {QStringLiteral("2"), QStringLiteral("00000004")});
             tx.commit();
         }},
        {"a counter", [](TMerrowindData& d) { d.TakeNextNumber(TMerrowindData::Counter::Requisition); }},
    };
    QProcess writer;
    ASSERT_NO_FATAL_FAILURE(start(writer, {QStringLiteral("write"), QStringLiteral("00000003"), QStringLiteral("10000")},
                                  "WRITING"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            QSqlQuery q = db().exec(select);
            QStringList read;
            ASSERT_TRUE(q.next());
            read << q.value(0).toString();
            c.between(*data);
            while (q.next())
                read << q.value(0).toString();
            EXPECT_EQ(read, all) << "through the connection";
        }
        {
            TQuery q(db());
            q.setSql(select);
            QStringList read;
            q.open();
            ASSERT_FALSE(q.eof());
            read << q.asString(QStringLiteral("ApplicantID"));
            c.between(*data);
            for (q.next(); !q.eof(); q.next())
                read << q.asString(QStringLiteral("ApplicantID"));
            EXPECT_EQ(read, all) << "through the query component";
        }
        expectSettled(c.name);
    }
    const QList<QByteArray> done = finish(writer).split(' ');
    ASSERT_EQ(done.size(), 4);
    EXPECT_EQ(done[2], "0") << "writes of the other copy failed";
}

// A query component left open in the middle of its rows does not keep other
// copies from committing.
TEST_P(TransactionContentionTest, AnOpenQueryComponentLetsOtherCopiesWrite)
{
    TQuery q(db());
    q.setSql(QStringLiteral("SELECT ApplicantID FROM applicants ORDER BY ApplicantID"));
    q.open();
    ASSERT_FALSE(q.eof());
    QProcess writer; // gives up a write after a second, and tries the next
    ASSERT_NO_FATAL_FAILURE(start(writer, {QStringLiteral("write"), QStringLiteral("00000002"), QStringLiteral("1000")},
                                  "WRITING"));
    q.next();
    EXPECT_EQ(q.asString(QStringLiteral("ApplicantID")), QStringLiteral("00000002"));
    q.close();
    const QList<QByteArray> done = finish(writer).split(' ');
    ASSERT_EQ(done.size(), 4);
    EXPECT_EQ(done[2], "0") << "writes of the other copy failed";
    EXPECT_EQ(storedPhone(QStringLiteral("00000002")), QString::fromLatin1(done[3]));
}

MW_INSTANTIATE_BACKENDS(TransactionContentionTest);
