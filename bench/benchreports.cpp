// Reports on the benchmark database: how long a report takes to be made (its rows
// read and spooled), to show its first page (what the preview does first), and to
// be written whole as a PDF; its pages and lines; the process's peak memory.
//
//   mw_benchreports DIRECTORY REPORT [--documents N] [--repeat N]
//       DIRECTORY  a copy of the benchmark database (mw_benchgen): the scan reports set
//                  its documents' directory
//       REPORT     veteran, rif, no-applications, no-applicants, ...
//       --documents N  scanned documents made first in a temporary directory for the
//                  scan reports (200000): those of every fifth applicant, and of
//                  N/10 identifiers no applicant has
//
// Run one report per process: the peak memory is then that report's.

#include "yestalk.h"
#include "datastore/merrowinddata.h"
#include "reports/reportset.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/resource.h>

namespace {

long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

double seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: mw_benchreports DIRECTORY REPORT [--documents N]\n");
        return 2;
    }
    const std::optional<mw::ReportKind> kind = mw::reportKindOfName(args.at(2));
    if (!kind) {
        std::fprintf(stderr, "unknown report %s\n", qPrintable(args.at(2)));
        return 2;
    }
    int documents = 200000;
    if (const qsizetype at = args.indexOf(QStringLiteral("--documents")); at > 0 && at + 1 < args.size())
        documents = args.at(at + 1).toInt();

    mw::TMerrowindData data;
    data.open(mw::DatabaseLocation::parse(args.at(1)));
    data.ReadSettings();
    if (!data.CheckUser(QStringLiteral("SUPERVISOR"), QString(), false)) {
        std::fprintf(stderr, "no SUPERVISOR in %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QTemporaryDir scans;
    const bool scanReport = *kind == mw::ReportKind::NoApplications || *kind == mw::ReportKind::NoApplicants ||
                            *kind == mw::ReportKind::ScanActivity;
    if (scanReport) {
        QElapsedTimer t;
        t.start();
        QSqlQuery& q = data.database().execCached(QStringLiteral("SELECT ApplicantID FROM applicants ORDER BY rid"));
        int made = 0;
        qint64 n = 0;
        while (q.next() && made < documents - documents / 10) {
            if (n++ % 5 != 0)
                continue;
            QFile f(scans.filePath(q.value(0).toString() + QStringLiteral(".pdf")));
            if (f.open(QIODevice::WriteOnly))
                f.write("%PDF-1.4\n");
            ++made;
        }
        q.finish();
        for (int i = 0; i < documents / 10; ++i) {
            QFile f(scans.filePath(QStringLiteral("X%1.pdf").arg(i, 7, 10, QLatin1Char('0'))));
            if (f.open(QIODevice::WriteOnly))
                f.write("%PDF-1.4\n");
        }
        // The scan reports read the documents' directory from the settings.
        data.database().exec(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf'"),
                             {scans.path() + QLatin1Char('/')});
        std::printf("documents made: %d in %.2f s\n", made + documents / 10, seconds(t));
    }
    std::printf("peak memory before the report: %ld MB\n", peakMegabytes());

    YesTalk talk;
    mw::ReportRequest request;
    request.kind = *kind;
    request.day = QDate::currentDate();
    std::unique_ptr<mw::Report> report;
    QElapsedTimer t;
    t.start();
    const mw::OperationResult made = mw::makeReport(data, talk, request, QDateTime::currentDateTime(), report);
    const double makeSeconds = seconds(t);
    if (!made.isDone() || !report) {
        std::fprintf(stderr, "the report was not made: %s %s\n", qPrintable(made.outcomeName()), qPrintable(made.error));
        return 1;
    }
    std::printf("%s: made (rows read and spooled) in %.2f s: %lld lines, %d pages; peak memory %ld MB\n",
                qPrintable(args.at(2)), makeSeconds, report->rowCount(), report->pageCount(), peakMegabytes());

    // The preview's first page: painted at screen resolution.
    t.start();
    QImage page(int(8.5 * 96), int(11 * 96), QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        report->paintPage(p, 0, 96);
    }
    std::printf("first page painted in %.3f s (made + first page: %.2f s)\n", seconds(t), makeSeconds + seconds(t));
    // A page from the middle, as a reader jumping there sees it.
    t.start();
    {
        QPainter p(&page);
        report->paintPage(p, report->pageCount() / 2, 96);
    }
    std::printf("a middle page painted in %.3f s\n", seconds(t));

    QTemporaryDir out;
    t.start();
    const mw::OperationResult written = report->writePdf(out.filePath(QStringLiteral("report.pdf")), talk);
    std::printf("PDF written in %.2f s (%s), %.1f MB\n", seconds(t), qPrintable(written.outcomeName()),
                double(QFile(out.filePath(QStringLiteral("report.pdf"))).size()) / 1e6);
    std::printf("peak memory: %ld MB\n", peakMegabytes());
    return written.isDone() ? 0 : 1;
}
