#include "reports/reportset.h"

#include "access/reqpicker.h"
#include "datastore/merrowinddata.h"
#include "datastore/records.h"
#include "shared/documentlisting.h"
#include "shared/usertalk.h"

#include <QHash>
#include <QLocale>
#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <array>

namespace mw {

namespace {

struct Named
{
    ReportKind kind;
    const char* name;
    const char* menuObject;
};

constexpr std::array<Named, 11> kReports{{
    {ReportKind::Requisition, "requisition", "Reqisition1"},
    {ReportKind::RIF, "rif", "RIFReport1"},
    {ReportKind::NotRehirable, "not-rehirable", "NotRehirable1"},
    {ReportKind::Continuous, "continuous", "ContinousRecruitment1"},
    {ReportKind::Veteran, "veteran", "Veteran1"},
    {ReportKind::DoNotPurge, "do-not-purge", "DoNotPurge1"},
    {ReportKind::Filled, "filled", "FilledRequisitions1"},
    {ReportKind::MarkedForDeletion, "marked-for-deletion", "RequisitionMarkForDeletion1"},
    {ReportKind::ScanActivity, "scan-activity", "ScanActivity1"},
    {ReportKind::NoApplications, "no-applications", "WhatMissing1"},
    {ReportKind::NoApplicants, "no-applicants", "NoApplicants1"},
}};

const QString kNothing = QStringLiteral("Nothing To Report");

// Stored dates are ISO; a report prints mm/dd/yyyy.
QString dateText(const QVariant& v)
{
    const QString s = v.toString().trimmed();
    if (s.isEmpty())
        return QString();
    const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("MM/dd/yyyy")) : s;
}

QString logicalText(const QVariant& v)
{
    if (v.isNull() || v.toString().isEmpty())
        return QString();
    return v.toInt() != 0 ? QStringLiteral("True") : QStringLiteral("False");
}

QString yesNo(bool b) { return b ? QStringLiteral("Yes") : QStringLiteral("No"); }

QString sizeText(qint64 bytes) { return QLocale(QLocale::English, QLocale::UnitedStates).toString(bytes); }

enum class Cell { Text, Date, Logical };

struct Field
{
    const char* heading;
    const char* column;
    Cell cell;
    double width;
};

// A straight list of records: its statement, read forward to its end into the report.
OperationResult listReport(TMerrowindData& data, UserTalk& talk, Report& report, const QString& sql,
                           const QList<Field>& fields)
{
    QSqlQuery q(data.database().connection());
    q.setForwardOnly(true);
    if (!q.prepare(sql) || !q.exec())
        throw DbError(Database::errorText(q.lastError()));
    const QSqlRecord rec = q.record();
    QList<int> at;
    for (const Field& f : fields)
        at << rec.indexOf(QLatin1String(f.column));
    return report.fill(
        [&](QStringList& row) {
            if (!q.next())
                return false;
            for (int i = 0; i < fields.size(); ++i) {
                const QVariant v = q.value(at.at(i));
                switch (fields.at(i).cell) {
                case Cell::Text:
                    row << v.toString();
                    break;
                case Cell::Date:
                    row << dateText(v);
                    break;
                case Cell::Logical:
                    row << logicalText(v);
                    break;
                }
            }
            return true;
        },
        talk);
}

QList<ReportColumn> columnsOf(const QList<Field>& fields)
{
    QList<ReportColumn> columns;
    for (const Field& f : fields)
        columns.append({QLatin1String(f.heading), f.width, false});
    return columns;
}

QHash<QString, QString> applicantsAmong(TMerrowindData& data, const QList<DocumentEntry>& documents)
{
    QStringList ids;
    ids.reserve(documents.size());
    for (const DocumentEntry& d : documents)
        ids << d.id;
    return data.ApplicantsAmong(ids);
}

OperationResult requisitionReport(TMerrowindData& data, UserTalk& talk, const QString& number,
                                  const QDateTime& printedAt, std::unique_ptr<Report>& out)
{
    if (number.trimmed().isEmpty() || !requisitionPermitted(data, number))
        return OperationResult::failed(
            QStringLiteral("Requisition %1 Was Not Found%2.")
                .arg(number, data.LoginData.Restricted ? QStringLiteral(" Among Your Job Posting Groups") : QString()));
    data.ReadSettings();
    TRequistionData r;
    data.LoadRequisition(number, r);
    ReportDefinition d;
    d.subtitle = QStringLiteral("Job Requisition Status");
    d.captionRows = {
        {{QStringLiteral("Requisition:"), r.ReqNumber},
         {QStringLiteral("Position Title:"), r.PositionTitle},
         {QStringLiteral("Department:"), r.Department}},
        {{QStringLiteral("Exempt Position:"), yesNo(r.ExemptPosition)},
         {QStringLiteral("Selection Criteria Sent:"), yesNo(r.SelectionCriteria)},
         {QStringLiteral("Underutilized:"), yesNo(r.PositionUnderU)}},
        {{QStringLiteral("Position Filled:"), yesNo(r.PositionFilled)},
         {QStringLiteral("Delete Reqisition:"), yesNo(r.PurgeReq)},
         {QStringLiteral("Initital Forms Sent:"), yesNo(r.SendFirstData)}},
        {{QStringLiteral("Final Forms Sent:"), yesNo(r.FinalSent)}},
    };
    const QList<Field> fields{{"ID Number", "ApplicantID", Cell::Text, 1.1}, {"Applicant Name", "Name", Cell::Text, 2.4},
                              {"Date Sent", "SemtDate", Cell::Date, 1.0},    {"Reviewed", "Reviewed", Cell::Logical, 0.8},
                              {"Approved", "Approved", Cell::Logical, 0.8},  {"Scanned", "Scanned", Cell::Logical, 0.8},
                              {"Veteran", "VeteranPreference", Cell::Logical, 0.8},
                              {"RIF", "RIF", Cell::Logical, 0.6}};
    d.columns = columnsOf(fields);
    out = std::make_unique<Report>(d, printedAt);
    const QString sql =
        QStringLiteral("SELECT Apps.ApplicantID, Apps.Approved, Apps.Reviewed, Apps.SemtDate, App.Name, App.Scanned, "
                       "App.VeteranPreference, App.RIF FROM applications Apps, applicants App "
                       "WHERE (Apps.ApplicantID = App.ApplicantID) AND (Apps.ReqNumber = '%1') "
                       "ORDER BY App.Name, Apps.ApplicantID")
            .arg(QString(r.ReqNumber).replace(QLatin1Char('\''), QStringLiteral("''")));
    return listReport(data, talk, *out, sql, fields);
}

OperationResult scanActivity(TMerrowindData& data, UserTalk& talk, const QDate& day, const QDateTime& printedAt,
                             std::unique_ptr<Report>& out)
{
    if (!day.isValid())
        return OperationResult::failed(QStringLiteral("The scan activity needs a day (mm/dd/yyyy)."));
    const DocumentListing listing = DocumentListing::list(data.SystemInfo.FileLocation, data.SystemInfo.FileExt);
    if (!listing.error.isEmpty())
        return OperationResult::failed(listing.error + QStringLiteral("\nNo report was made."));
    QList<DocumentEntry> ofDay;
    for (const DocumentEntry& d : listing.documents)
        if (d.modified.date() == day)
            ofDay.append(d);
    const QHash<QString, QString> names = applicantsAmong(data, ofDay);
    struct Line
    {
        QString name;
        QString id;
        qint64 size;
    };
    QList<Line> lines;
    for (const DocumentEntry& d : std::as_const(ofDay)) {
        const auto it = names.constFind(d.id.toLower());
        lines.append({it == names.constEnd() ? QStringLiteral("Not Found In Database") : *it, d.id, d.size});
    }
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        return a.name != b.name ? a.name < b.name : a.id < b.id;
    });
    ReportDefinition def;
    def.subtitle = QStringLiteral("Scan Activity");
    def.subtitle2 = day.toString(QStringLiteral("MM/dd/yyyy"));
    def.jobTitle = QStringLiteral("Merrowind Scan Activity");
    def.columns = {{QStringLiteral("ID Number"), 1.2, false},
                   {QStringLiteral("Applicant Name"), 3, false},
                   {QStringLiteral("File Size (Bytes)"), 1.3, true}};
    out = std::make_unique<Report>(def, printedAt);
    if (lines.isEmpty()) {
        out->addRow({kNothing, QString(), QString()});
        return OperationResult::done();
    }
    qsizetype i = 0;
    return out->fill(
        [&](QStringList& row) {
            if (i >= lines.size())
                return false;
            const Line& l = lines.at(i++);
            row << l.id << l.name << sizeText(l.size);
            return true;
        },
        talk);
}

OperationResult noApplications(TMerrowindData& data, UserTalk& talk, const QDateTime& printedAt,
                               std::unique_ptr<Report>& out)
{
    const DocumentListing listing = DocumentListing::list(data.SystemInfo.FileLocation, data.SystemInfo.FileExt);
    if (!listing.error.isEmpty())
        return OperationResult::failed(listing.error + QStringLiteral("\nNo report was made."));
    QSet<QString> documents;
    documents.reserve(listing.documents.size());
    for (const DocumentEntry& d : listing.documents)
        documents.insert(d.id.toLower());
    QSqlQuery q(data.database().connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ApplicantID, Name, DateLoaded FROM applicants ORDER BY ApplicantID")))
        throw DbError(Database::errorText(q.lastError()));
    if (!q.next())
        return OperationResult::declined(); // no applicants: no report
    ReportDefinition def;
    def.subtitle = QStringLiteral("Applicants With No Application Scanned");
    def.columns = {{QStringLiteral("Applicant ID"), 1.2, false},
                   {QStringLiteral("Applicant Name"), 3, false},
                   {QStringLiteral("Date Loaded"), 1.2, false}};
    out = std::make_unique<Report>(def, printedAt);
    bool onRow = true;
    return out->fill(
        [&](QStringList& row) {
            while (onRow) {
                const QString id = q.value(0).toString();
                const QString name = q.value(1).toString();
                const QString loaded = dateText(q.value(2));
                onRow = q.next();
                if (!documents.contains(id.toLower())) {
                    row << id << name << (loaded.isEmpty() ? QStringLiteral("N/A") : loaded);
                    return true;
                }
            }
            return false;
        },
        talk);
}

OperationResult noApplicants(TMerrowindData& data, UserTalk& talk, const QDateTime& printedAt,
                             std::unique_ptr<Report>& out)
{
    const DocumentListing listing = DocumentListing::list(data.SystemInfo.FileLocation, data.SystemInfo.FileExt);
    if (!listing.error.isEmpty())
        return OperationResult::failed(listing.error + QStringLiteral("\nNo report was made."));
    if (listing.documents.isEmpty())
        return OperationResult::declined(); // no documents: no report
    const QHash<QString, QString> found = applicantsAmong(data, listing.documents);
    ReportDefinition def;
    def.subtitle = QStringLiteral("Applications Without Applicants");
    def.columns = {{QStringLiteral("Applicant ID"), 1.5, false},
                   {QStringLiteral("Date Scanned"), 1.5, false},
                   {QStringLiteral("File Size (Bytes)"), 1.5, true}};
    out = std::make_unique<Report>(def, printedAt);
    qsizetype i = 0;
    bool any = false;
    const OperationResult r = out->fill(
        [&](QStringList& row) {
            while (i < listing.documents.size()) {
                const DocumentEntry& d = listing.documents.at(i++);
                if (!found.contains(d.id.toLower())) {
                    any = true;
                    row << d.id << d.modified.date().toString(QStringLiteral("MM/dd/yyyy")) << sizeText(d.size);
                    return true;
                }
            }
            return false;
        },
        talk);
    if (r.isDone() && !any)
        out->addRow({kNothing, QString(), QString()});
    return r;
}

// The columns of the marked-for-deletion and continuous-recruitment lists.
QList<Field> requisitionFields()
{
    return {{"ID", "JobPostingID", Cell::Text, 0.9},
            {"Requisition", "ReqNumber", Cell::Text, 1},
            {"Job Title", "PositionTitle", Cell::Text, 2},
            {"Department", "Department", Cell::Text, 1.8},
            {"Web Address", "WebAddress", Cell::Text, 2.6}};
}

// The straight lists: subtitle, print-job title, page numbers, statement, columns.
struct ListReport
{
    ReportKind kind;
    QString subtitle;
    QString jobTitle;
    bool pageNumbers;
    QString sql;
    QList<Field> fields;
};

const QList<ListReport>& listReports()
{
    static const QList<ListReport> reports{
        {ReportKind::RIF, QStringLiteral("RIF Report"), QStringLiteral("Merrowind RIF Report"), true,
         QStringLiteral("SELECT * FROM applicants WHERE RIF = 1 ORDER BY Name, ApplicantID"),
         {{"ID Number", "ApplicantID", Cell::Text, 1.2},
          {"Name", "Name", Cell::Text, 3},
          {"RIF Expires On", "RIFExpires", Cell::Date, 1.3},
          {"Veteran", "VeteranPreference", Cell::Logical, 1}}},
        {ReportKind::Veteran, QStringLiteral("Veteran Report"), QStringLiteral("Merrowind Veteran Report"), true,
         QStringLiteral("SELECT * FROM applicants WHERE VeteranPreference = 1 ORDER BY Name, ApplicantID"),
         {{"ID Number", "ApplicantID", Cell::Text, 1.2},
          {"Name", "Name", Cell::Text, 3},
          {"RIF", "RIF", Cell::Logical, 1},
          {"RIF Expires On", "RIFExpires", Cell::Date, 1.3}}},
        {ReportKind::NotRehirable, QStringLiteral("Not Rehirable Report"), QString(), true,
         QStringLiteral("SELECT * FROM applicants WHERE NotRehire = 1 ORDER BY Name, ApplicantID"),
         {{"ID Number", "ApplicantID", Cell::Text, 1.2},
          {"Name", "Name", Cell::Text, 3},
          {"Expires On", "NotRehireExpires", Cell::Date, 1.2},
          {"Veteran", "VeteranPreference", Cell::Logical, 0.9},
          {"RIF", "RIF", Cell::Logical, 0.8}}},
        {ReportKind::DoNotPurge, QStringLiteral("Do Not Purge Report"), QString(), false,
         QStringLiteral("SELECT * FROM applicants WHERE DoNotPurge = 1 ORDER BY Name, ApplicantID"),
         {{"ID Number", "ApplicantID", Cell::Text, 1.2},
          {"Applicant Name", "Name", Cell::Text, 2.6},
          {"Comment", "Comments", Cell::Text, 3}}},
        {ReportKind::Filled, QStringLiteral("Filled Requisitions"), QString(), false,
         QStringLiteral("SELECT * FROM requisitions WHERE PositionFilled = 1 AND (PurgeReq = 0 OR PurgeReq IS NULL) "
                        "ORDER BY ReqNumber"),
         {{"ID", "JobPostingID", Cell::Text, 1},
          {"Requisition", "ReqNumber", Cell::Text, 1.1},
          {"Title", "PositionTitle", Cell::Text, 2.6},
          {"Department", "Department", Cell::Text, 2.2}}},
        {ReportKind::MarkedForDeletion, QStringLiteral("Requisitions Marked For Deletion"), QString(), false,
         QStringLiteral("SELECT * FROM requisitions WHERE PurgeReq = 1 ORDER BY ReqNumber"), requisitionFields()},
        {ReportKind::Continuous, QStringLiteral("Requisitions Marked As Continuous Recruitment"), QString(), false,
         QStringLiteral("SELECT * FROM requisitions WHERE Continue = 1 ORDER BY JobPostingID, ReqNumber"),
         requisitionFields()},
    };
    return reports;
}

} // namespace

QString reportName(ReportKind kind)
{
    for (const Named& n : kReports)
        if (n.kind == kind)
            return QLatin1String(n.name);
    return QString();
}

std::optional<ReportKind> reportKindOfName(const QString& name)
{
    for (const Named& n : kReports)
        if (name.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0)
            return n.kind;
    return std::nullopt;
}

QStringList reportNames()
{
    QStringList names;
    for (const Named& n : kReports)
        names << QLatin1String(n.name);
    return names;
}

QString reportMenuObject(ReportKind kind)
{
    for (const Named& n : kReports)
        if (n.kind == kind)
            return QLatin1String(n.menuObject);
    return QString();
}

OperationResult makeReport(TMerrowindData& data, UserTalk& talk, const ReportRequest& request,
                           const QDateTime& printedAt, std::unique_ptr<Report>& report)
{
    report.reset();
    const auto list = [&](const QString& subtitle, const QString& jobTitle, bool pages, const QString& sql,
                          const QList<Field>& fields) {
        ReportDefinition d;
        d.subtitle = subtitle;
        d.jobTitle = jobTitle;
        d.pageNumbers = pages;
        d.columns = columnsOf(fields);
        report = std::make_unique<Report>(d, printedAt);
        return listReport(data, talk, *report, sql, fields);
    };
    OperationResult r;
    try {
        // The documents' directory as the settings name it now, whoever changed it.
        if (request.kind == ReportKind::ScanActivity || request.kind == ReportKind::NoApplications ||
            request.kind == ReportKind::NoApplicants)
            data.ReadSettings();
        switch (request.kind) {
        case ReportKind::Requisition:
            r = requisitionReport(data, talk, request.requisition.trimmed(), printedAt, report);
            break;
        case ReportKind::RIF:
        case ReportKind::Veteran:
        case ReportKind::NotRehirable:
        case ReportKind::DoNotPurge:
        case ReportKind::Filled:
        case ReportKind::MarkedForDeletion:
        case ReportKind::Continuous:
            for (const ListReport& l : listReports())
                if (l.kind == request.kind)
                    r = list(l.subtitle, l.jobTitle, l.pageNumbers, l.sql, l.fields);
            break;
        case ReportKind::ScanActivity:
            r = scanActivity(data, talk, request.day, printedAt, report);
            break;
        case ReportKind::NoApplications:
            r = noApplications(data, talk, printedAt, report);
            break;
        case ReportKind::NoApplicants:
            r = noApplicants(data, talk, printedAt, report);
            break;
        }
    } catch (const std::exception& e) {
        r = OperationResult::failed(QString::fromStdString(e.what()));
    }
    if (!r.isDone())
        report.reset();
    return r;
}

} // namespace mw
