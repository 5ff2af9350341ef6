// Another running copy for the contention tests, on the plain database connection:
//   writeprobe LOCATION hold MS          start a read, print READING, keep it open for MS ms
//                                        (0: until stdin closes), then end it
//   writeprobe LOCATION write ID WAITMS  post single edits of applicant ID (Phone = 1, 2, ...)
//                                        back to back, waiting at most WAITMS for a busy
//                                        database; print WRITING after the first, and at
//                                        the end (stdin closed) "DONE <written> <failed> <last>"
// Errors of the probe itself go to stderr with exit status 1.

#include "datastore/database.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int hold(mw::Database& db, int ms)
{
    db.exec(QStringLiteral("BEGIN"));
    // A cursor stopped on its first row: the read stays open until it ends.
    QSqlQuery q = db.exec(QStringLiteral("SELECT ApplicantID FROM applicants"));
    if (!q.next()) {
        std::fprintf(stderr, "hold: no applicants to read\n");
        return 1;
    }
    say("READING");
    if (ms > 0) {
        QThread::msleep(static_cast<unsigned long>(ms));
    } else {
        std::string line;
        std::getline(std::cin, line);
    }
    q.finish();
    db.exec(QStringLiteral("COMMIT"));
    return 0;
}

int write(mw::Database& db, const QString& id, int waitMs)
{
    db.setBusyTimeout(waitMs);
    std::atomic<bool> stop{false};
    std::thread watcher([&stop] {
        std::string line;
        std::getline(std::cin, line);
        stop = true;
    });
    long written = 0, failed = 0, last = 0;
    while (!stop) {
        const long value = last + 1;
        try {
            mw::Transaction tx(db);
            db.exec(QStringLiteral("UPDATE applicants SET Phone = ? WHERE ApplicantID = ?"),
                    {QString::number(value), id});
            tx.commit();
            last = value;
            if (++written == 1)
                say("WRITING");
        } catch (const mw::DbError& e) {
            ++failed;
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        }
    }
    watcher.join();
    std::printf("DONE %ld %ld %ld\n", written, failed, last);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return 2;
    mw::Database db;
    try {
        db.open(mw::DatabaseLocation::parse(args[1]));
        if (args[2] == QLatin1String("hold"))
            return hold(db, args[3].toInt());
        if (args[2] == QLatin1String("write") && args.size() >= 5)
            return write(db, args[3], args[4].toInt());
    } catch (const mw::DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 2;
}
