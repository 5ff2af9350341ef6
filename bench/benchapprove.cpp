// Bulk approval speed: a posting group with 100,000 applications of scanned
// applicants, among applications of other groups, approved with ApproveAllScanned.
// Usage: mw_benchapprove [applications in the group]

#include "shared/usertalk.h"
#include "yestalk.h"
#include "datastore/createdatabase.h"
#include "datastore/merrowinddata.h"
#include "maintenance/flagprocesses.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// Rows 1..count of a sequence, for "INSERT ... SELECT" in one statement.
const QString kNumbers = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ");
const QString kApplicantId = QStringLiteral("substr(CAST(100000000 + i AS TEXT), 2)");

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int inGroup = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int others = 2 * inGroup; // applications of the other groups
    const int requisitions = 50;    // per group; 10 groups

    QTemporaryDir dir;
    if (qEnvironmentVariableIsSet("MW_BENCH_KEEP")) {
        dir.setAutoRemove(false);
        std::printf("database kept in %s\n", qPrintable(dir.path()));
    }
    const mw::DatabaseLocation location = mw::DatabaseLocation::parse(dir.path());
    try {
        mw::createDatabase(location);
        mw::TMerrowindData data;
        data.open(location);
        data.ReadSettings();
        data.LoginData.UserID = QStringLiteral("SUPERVISOR");
        data.SystemInfo.AllowNotRehireSend = false;

        QElapsedTimer fill;
        fill.start();
        {
            mw::Database& db = data.database();
            mw::Transaction tx(db);
            // Applicants: every one scanned, one in 50 not rehirable, one in 10 without a flag at all.
            db.exec(kNumbers + QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned, NotRehire) "
                                              "SELECT %1, 'APPLICANT ' || CAST(i AS TEXT), 1, "
                                              "CASE WHEN i % 50 = 0 THEN 1 WHEN i % 10 = 0 THEN NULL ELSE 0 END "
                                              "FROM n")
                                   .arg(kApplicantId),
                    {inGroup + others});
            // Requisitions R000 .. : groups PG0 .. PG9, the timed one is PG0.
            db.exec(kNumbers + QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID) "
                                              "SELECT 'R' || substr(CAST(1000 + i - 1 AS TEXT), 2), "
                                              "'PG' || CAST((i - 1) / ? AS TEXT) FROM n"),
                    {10 * requisitions, requisitions});
            // The group's applications: applicant i on requisition (i mod 50) of PG0.
            db.exec(kNumbers + QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed, Approved) "
                                              "SELECT 'R' || substr(CAST(1000 + i % ? AS TEXT), 2), %1, 0, 0 FROM n")
                                   .arg(kApplicantId),
                    {inGroup, requisitions});
            // The others' applications, on the requisitions of PG1 .. PG9.
            db.exec(kNumbers + QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed, Approved) "
                                              "SELECT 'R' || substr(CAST(1000 + ? + i % ? AS TEXT), 2), %1, 0, 0 "
                                              "FROM n")
                                   .arg(kApplicantId),
                    {others, requisitions, 9 * requisitions});
            tx.commit();
        }
        data.RefreshTables();
        std::printf("database filled: %d applications in the group, %d in others (%.1f s)\n", inGroup, others,
                    fill.elapsed() / 1000.0);

        YesTalk talk;
        QElapsedTimer t;
        t.start();
        mw::ApproveAllScanned(data, talk, QString(), QStringLiteral("pg0"));
        const qint64 ms = t.elapsed();

        QSqlQuery q = data.database().exec(
            QStringLiteral("SELECT COUNT(*) FROM applications WHERE Approved = ? AND ApprovedBy = ?"),
            {true, QStringLiteral("SUPERVISOR")});
        const qint64 approved = q.next() ? q.value(0).toLongLong() : -1;
        std::printf("ApproveAllScanned for a posting group: %lld ms, %lld applications approved "
                    "(target < 2000 ms) %s\n",
                    static_cast<long long>(ms), static_cast<long long>(approved), ms < 2000 ? "OK" : "SLOW");
        std::printf("said: %s\n", qPrintable(talk.last));
        return ms < 2000 ? 0 : 1;
    } catch (const mw::DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 2;
    }
}
