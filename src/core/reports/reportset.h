#pragma once
// The Reports menu's eleven reports: what each prints and in which order. Each is
// made complete before anyone looks at it (the query or the directory is read to
// its end, so other workstations can save meanwhile), as a Report the preview
// shows, the printer prints and the command line writes as a PDF.
//
// Orders are fixed everywhere: names are followed by the identifier, requisition
// lists go by number. Whether an applicant exists is decided by his identifier,
// whatever his name. The scan reports list the documents' directory once; one that
// cannot be read gives an error and no report.

#include "reports/report.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace mw {

class TMerrowindData;
class UserTalk;

enum class ReportKind {
    Requisition,       // "&Requisition": the requisition status report
    RIF,
    NotRehirable,
    Continuous,
    Veteran,
    DoNotPurge,
    Filled,
    MarkedForDeletion,
    ScanActivity,      // documents changed on a day
    NoApplications,    // applicants without a document
    NoApplicants,      // documents without an applicant
};

// The command line's names: "requisition", "rif", "not-rehirable", "continuous",
// "veteran", "do-not-purge", "filled", "marked-for-deletion", "scan-activity",
// "no-applications", "no-applicants".
QString reportName(ReportKind kind);
std::optional<ReportKind> reportKindOfName(const QString& name);
QStringList reportNames();
// The menu command's object name ("RIFReport1"), whose rule decides who may run it.
QString reportMenuObject(ReportKind kind);

struct ReportRequest
{
    ReportKind kind = ReportKind::RIF;
    QString requisition; // the requisition status report's
    QDate day;           // the scan activity's
};

// Makes the report: done with the report in `report`; failed with the error (a
// requisition not found or not permitted, a directory that cannot be read, the
// database failing); declined without a report when there is nothing to report on
// (no applicants for "No Applications", no documents for "No Applicants");
// cancelled through the talk's Cancel. The time of printing is `printedAt`.
OperationResult makeReport(TMerrowindData& data, UserTalk& talk, const ReportRequest& request,
                           const QDateTime& printedAt, std::unique_ptr<Report>& report);

} // namespace mw
