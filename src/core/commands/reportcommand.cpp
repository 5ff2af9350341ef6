#include "commands/reportcommand.h"

#include "datastore/merrowinddata.h"
#include "reports/reportset.h"
#include "shared/usertalk.h"

namespace mw {

namespace {

const QString kUsage = QStringLiteral("NAME [REQ | MM/DD/YYYY] --pdf FILE");

OperationResult refuse(UserTalk& talk, const QString& text)
{
    talk.error(text);
    return OperationResult::failed(text);
}

} // namespace

OperationResult reportFromCommandLine(TMerrowindData& data, UserTalk& talk, const QStringList& arguments)
{
    QStringList words;
    QString pdf;
    for (const QString& a : arguments) {
        if (a.startsWith(QLatin1String("--pdf=")))
            pdf = a.mid(6);
        else
            words << a;
    }
    const auto usage = [&](const QString& what) {
        return refuse(talk, QStringLiteral("merrowind run report: %1\nusage: merrowind run report %2\nreports: %3")
                                .arg(what, kUsage, reportNames().join(QStringLiteral(", "))));
    };
    const std::optional<ReportKind> kind = reportKindOfName(words.value(0));
    if (!kind)
        return usage(words.isEmpty() ? QStringLiteral("give a report") : QStringLiteral("unknown report \"%1\"").arg(words.value(0)));
    if (pdf.isEmpty())
        return usage(QStringLiteral("give the file to write with --pdf FILE"));
    ReportRequest request;
    request.kind = *kind;
    const bool takesArgument = *kind == ReportKind::Requisition || *kind == ReportKind::ScanActivity;
    if (words.size() > (takesArgument ? 2 : 1))
        return usage(QStringLiteral("%1 takes %2").arg(words.value(0), takesArgument ? QStringLiteral("one argument")
                                                                                     : QStringLiteral("no argument")));
    if (*kind == ReportKind::Requisition) {
        if (words.size() < 2)
            return usage(QStringLiteral("requisition needs the requisition's number"));
        request.requisition = words.at(1);
    }
    if (*kind == ReportKind::ScanActivity) {
        request.day = words.size() < 2 ? data.today() : QDate::fromString(words.at(1), QStringLiteral("MM/dd/yyyy"));
        if (!request.day.isValid())
            return refuse(talk, QStringLiteral("\"%1\" Is Not A Date (mm/dd/yyyy).").arg(words.at(1)));
    }

    std::unique_ptr<Report> report;
    OperationResult made;
    {
        WaitScope wait(talk, QStringLiteral("Please Wait, Preparing The Report"), true);
        made = makeReport(data, talk, request, QDateTime::currentDateTime(), report);
    }
    if (made.isDeclined()) {
        const QString text = *kind == ReportKind::NoApplications
                                 ? QStringLiteral("There are no applicants: no report was made.")
                                 : QStringLiteral("There are no scanned applications: no report was made.");
        talk.inform(text);
        return OperationResult::done(text).count(QStringLiteral("Pages"), 0);
    }
    if (made.isFailed())
        return refuse(talk, made.error);
    if (!made.isDone())
        return made;
    OperationResult written;
    {
        WaitScope wait(talk, QStringLiteral("Please Wait, Writing The Report"), true);
        written = report->writePdf(pdf, talk);
    }
    if (written.isFailed())
        return refuse(talk, written.error);
    if (!written.isDone())
        return written;
    const QString text =
        QStringLiteral("Report Saved: %1 (%2 pages, %3 lines)").arg(pdf).arg(report->pageCount()).arg(report->rowCount());
    talk.inform(text);
    return OperationResult::done(text)
        .count(QStringLiteral("Pages"), report->pageCount())
        .count(QStringLiteral("Lines"), report->rowCount());
}

ProcessCommand reportProcessCommand()
{
    ProcessCommand c;
    c.name = QStringLiteral("report");
    c.menuObject = QStringLiteral("Reports1");
    c.menuPath = QStringLiteral("Reports");
    c.summary = QStringLiteral("Writes a report of the Reports menu as a PDF file: requisition REQ, rif, "
                               "not-rehirable, continuous, veteran, do-not-purge, filled, marked-for-deletion, "
                               "scan-activity [MM/DD/YYYY], no-applications or no-applicants.");
    c.argumentsUsage = kUsage;
    c.minArguments = 1;
    c.maxArguments = 2;
    c.run = &reportFromCommandLine;
    return c;
}

} // namespace mw
