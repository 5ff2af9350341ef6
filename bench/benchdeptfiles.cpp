// Department file speed: a requisition with 5,000 applications (among 200,000
// applicants) written through the demonstration flow templates, as text, HTML
// and workbook. Prints the median of several runs of each writer.
// Usage: mw_benchdeptfiles [applications] [runs]

#include "shared/usertalk.h"
#include "yestalk.h"
#include "datastore/createdatabase.h"
#include "datastore/merrowinddata.h"
#include "demo/demotemplates.h"
#include "delivery/deptfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

const QString kNumbers = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ");

double medianMs(int runs, const std::function<bool()>& f, bool& result)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        result = f();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    const int applicants = std::max(200000, count);

    QTemporaryDir dir;
    if (qEnvironmentVariableIsSet("MW_BENCH_KEEP")) {
        dir.setAutoRemove(false);
        std::printf("files kept in %s\n", qPrintable(dir.path()));
    }
    const mw::DatabaseLocation location = mw::DatabaseLocation::parse(dir.path());
    try {
        mw::createDatabase(location);
        mw::writeDemoTemplates(dir.path());
        mw::TMerrowindData data;
        data.open(location);
        data.ReadSettings();
        data.SystemInfo.FileExt = QStringLiteral("pdf");
        data.SystemInfo.HTTPAllowHTTP = true;
        {
            mw::Database& db = data.database();
            mw::Transaction tx(db);
            db.exec(kNumbers + QStringLiteral(
                                   "INSERT INTO applicants (ApplicantID, Name, Address1, City, State, Zip, Phone, "
                                   "Scanned, VeteranPreference, RIF) "
                                   "SELECT substr(CAST(100000000 + i AS TEXT), 2), 'APPLICANT ' || CAST(i * 7919 % 100003 AS TEXT), "
                                   "CAST(i AS TEXT) || ' Main Street', 'Springfield', 'IL', '62701', '555-0100', "
                                   "1, i % 9 = 0, i % 13 = 0 FROM n"),
                    {applicants});
            db.exec(QStringLiteral("INSERT INTO requisitions (ReqNumber, PositionTitle, JobPostingID, WebAddress) "
                                   "VALUES ('R1', 'Benchmark position', 'HEALTH', 'http://h.org/jobs/r1/index.htm')"));
            db.exec(kNumbers + QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate, "
                                              "DispDate, InterviewDate) "
                                              "SELECT 'R1', substr(CAST(100000000 + i * 37 AS TEXT), 2), 1, "
                                              "CASE WHEN i % 2 = 0 THEN '2026-05-01' END, '2026-04-01', '2026-05-10' "
                                              "FROM n"),
                    {count});
            tx.commit();
        }

        YesTalk talk;
        mw::TDeptFiles files(data, talk);
        files.TemplateDir = dir.path();
        files.TempDir = dir.path() + QLatin1Char('/');
        struct Case
        {
            const char* name;
            QString templ;
            QString out;
            bool sheet;
        } cases[] = {
            {"MakeTextFile Flow.txt", QStringLiteral("Flow.txt"), QStringLiteral("out-flow.txt"), false},
            {"MakeTextFile flow.htm", QStringLiteral("flow.htm"), QStringLiteral("out-flow.htm"), false},
            {"MakeSheetFile Flow.xls", QStringLiteral("Flow.xls"), QStringLiteral("out-flow.xls"), true},
        };
        std::printf("%d applications of one requisition, %d applicants; median of %d runs\n", count, applicants,
                    runs);
        for (const Case& c : cases) {
            bool ok = false;
            const QString out = files.TempDir + c.out;
            const double ms = medianMs(runs, [&] {
                return c.sheet ? files.MakeSheetFile(c.templ, out, QStringLiteral("R1"), false, false, false, {}, {})
                               : files.MakeTextFile(c.templ, out, QStringLiteral("R1"), false, false, false, {}, {});
            }, ok);
            std::printf("%-26s %8.1f ms  %s\n", c.name, ms, ok ? "written" : "FAILED");
        }
        if (!talk.last.isEmpty())
            std::printf("said: %s\n", qPrintable(talk.last));
    } catch (const mw::DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
