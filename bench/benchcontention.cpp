// Write contention: several running copies (processes) post single edits to the
// same database for a while, each a one-row UPDATE in a transaction, as a post is.
// Prints the writes per second, the slowest write, the writes that failed and the
// edits that were lost (a copy's last committed value that is not in the database).
//
//   mw_benchcontention [--seconds N] [--copies N] [--wait MS] DIRECTORY | postgresql://...
//   mw_benchcontention [--seconds N] [--copies N] [--wait MS] --private-postgres
//
// A directory gets the SQLite database (made when it holds none); a PostgreSQL
// address names an empty database or a Merrowind one. --private-postgres starts a
// throwaway server as the tests do. Defaults: 60 s, 8 copies, the program's wait.

#include "datastore/createdatabase.h"
#include "datastore/database.h"

#ifdef MW_BENCH_PRIVATE_POSTGRES
#include "pgcluster.h"
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

QString rowId(int copy) { return QStringLiteral("BENCH%1").arg(copy, 3, 10, QLatin1Char('0')); }

// One copy: says READY, waits for a line, posts until the time is up, then prints
// "RESULT <written> <failed> <last value> <slowest µs> <total µs>".
int runCopy(const QString& where, const QString& id, int seconds, int waitMs)
{
    mw::Database db;
    db.open(mw::DatabaseLocation::parse(where));
    if (waitMs > 0)
        db.setBusyTimeout(waitMs);
    std::printf("READY\n");
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go);

    long written = 0, failed = 0, last = 0;
    qint64 slowestNs = 0, totalNs = 0;
    QElapsedTimer run, one;
    run.start();
    while (run.elapsed() < qint64(seconds) * 1000) {
        const long value = last + 1;
        one.start();
        try {
            mw::Transaction tx(db);
            db.exec(QStringLiteral("UPDATE applicants SET Phone = ? WHERE ApplicantID = ?"),
                    {QString::number(value), id});
            tx.commit();
            last = value;
            ++written;
        } catch (const mw::DbError& e) {
            ++failed;
            std::fprintf(stderr, "%s: %s\n", qPrintable(id), qPrintable(e.message()));
        }
        const qint64 ns = one.nsecsElapsed();
        slowestNs = std::max(slowestNs, ns);
        totalNs += ns;
    }
    std::printf("RESULT %ld %ld %ld %lld %lld\n", written, failed, last, slowestNs / 1000, totalNs / 1000);
    return 0;
}

// The database and one applicant row per copy, its phone at 0.
void prepare(const mw::DatabaseLocation& location, int copies)
{
    mw::Database db;
    try {
        db.open(location);
    } catch (const mw::DbError&) {
        mw::createDatabase(location);
        db.open(location);
    }
    mw::Transaction tx(db);
    for (int i = 1; i <= copies; ++i) {
        db.exec(QStringLiteral("DELETE FROM applicants WHERE ApplicantID = ?"), {rowId(i)});
        db.exec(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Phone) VALUES (?, ?, ?)"),
                {rowId(i), QStringLiteral("CONTENTION %1").arg(i), QStringLiteral("0")});
    }
    tx.commit();
}

int usage()
{
    std::fprintf(stderr, "usage: mw_benchcontention [--seconds N] [--copies N] [--wait MS] "
                         "DIRECTORY | postgresql://... | --private-postgres\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.value(0) == QLatin1String("--copy") && args.size() == 5) {
        try {
            return runCopy(args[1], args[2], args[3].toInt(), args[4].toInt());
        } catch (const mw::DbError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
            return 1;
        }
    }

    int seconds = 60, copies = 8, waitMs = 0;
    QString where;
    bool privatePostgres = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (a == QLatin1String("--copies") && i + 1 < args.size())
            copies = args[++i].toInt();
        else if (a == QLatin1String("--wait") && i + 1 < args.size())
            waitMs = args[++i].toInt();
        else if (a == QLatin1String("--private-postgres"))
            privatePostgres = true;
        else if (!a.startsWith(QLatin1String("--")) && where.isEmpty())
            where = a;
        else
            return usage();
    }
    if (seconds <= 0 || copies <= 0 || (where.isEmpty() == !privatePostgres))
        return usage();
    if (privatePostgres) {
#ifdef MW_BENCH_PRIVATE_POSTGRES
        mwtest::PgCluster& pg = mwtest::PgCluster::instance();
        where = pg.available() ? pg.createDatabase() : QString();
        if (where.isEmpty()) {
            std::fprintf(stderr, "PostgreSQL could not be started: %s\n", qPrintable(pg.error()));
            return 1;
        }
#else
        std::fprintf(stderr, "built without the test support: give a postgresql:// address\n");
        return 2;
#endif
    }

    const mw::DatabaseLocation location = mw::DatabaseLocation::parse(where);
    try {
        prepare(location, copies);
    } catch (const mw::DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }

    std::vector<std::unique_ptr<QProcess>> procs;
    for (int i = 1; i <= copies; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--copy"), where, rowId(i), QString::number(seconds), QString::number(waitMs)});
        if (!p->waitForStarted() || !p->waitForReadyRead(60000) || p->readLine().trimmed() != "READY") {
            std::fprintf(stderr, "copy %d did not start\n", i);
            return 1;
        }
        procs.push_back(std::move(p));
    }
    for (auto& p : procs) // all at once
        p->write("GO\n");
    for (auto& p : procs)
        p->waitForBytesWritten();

    long written = 0, failed = 0, fewest = -1, most = 0;
    qint64 slowestUs = 0, totalUs = 0;
    int lost = 0;
    mw::Database check;
    check.open(location);
    for (int i = 1; i <= copies; ++i) {
        QProcess& p = *procs[size_t(i - 1)];
        if (!p.waitForFinished((seconds + 120) * 1000)) {
            std::fprintf(stderr, "copy %d did not finish\n", i);
            return 1;
        }
        const QList<QByteArray> r = p.readAllStandardOutput().trimmed().split(' ');
        if (r.size() != 6 || r[0] != "RESULT") {
            std::fprintf(stderr, "copy %d gave no result\n", i);
            return 1;
        }
        const long w = r[1].toLong();
        written += w;
        failed += r[2].toLong();
        fewest = fewest < 0 ? w : std::min(fewest, w);
        most = std::max(most, w);
        slowestUs = std::max(slowestUs, r[4].toLongLong());
        totalUs += r[5].toLongLong();
        QSqlQuery q = check.exec(QStringLiteral("SELECT Phone FROM applicants WHERE ApplicantID = ?"), {rowId(i)});
        if (!q.next() || q.value(0).toString() != QString::fromLatin1(r[3]))
            ++lost;
    }
    const long attempts = written + failed;
    std::printf("%s, %d copies, %d s\n",
                location.dialect == mw::Dialect::SQLite ? "SQLite" : "PostgreSQL", copies, seconds);
    std::printf("  writes per second      %.1f (%ld writes; per copy %ld to %ld)\n", double(written) / seconds,
                written, fewest, most);
    std::printf("  mean write             %.2f ms\n", attempts ? double(totalUs) / attempts / 1000.0 : 0.0);
    std::printf("  slowest write          %.1f ms\n", double(slowestUs) / 1000.0);
    std::printf("  failed writes          %ld\n", failed);
    std::printf("  lost edits             %d\n", lost);
    return failed == 0 && lost == 0 ? 0 : 1;
}
