#include "datastore/schema.h"

#include <QHash>

namespace mw {

namespace {

FieldDef A(const char* name, int width, int since = 1) { return {QString::fromLatin1(name), FieldKind::Alpha, width, since}; }
FieldDef L(const char* name, int since = 1) { return {QString::fromLatin1(name), FieldKind::Logical, 0, since}; }
FieldDef D(const char* name) { return {QString::fromLatin1(name), FieldKind::Date, 0}; }
FieldDef M(const char* name) { return {QString::fromLatin1(name), FieldKind::Memo, 0}; }
FieldDef N(const char* name, int since = 1) { return {QString::fromLatin1(name), FieldKind::Number, 0, since}; }
FieldDef Auto(const char* name) { return {QString::fromLatin1(name), FieldKind::AutoInc, 0}; }

QStringList names(std::initializer_list<const char*> l)
{
    QStringList r;
    for (const char* s : l)
        r << QString::fromLatin1(s);
    return r;
}

LookupDef lookup(const char* name, FieldKind kind, int width, const char* key, const char* table,
                 const char* sourceKey, const char* sourceField)
{
    return {QString::fromLatin1(name), kind,
            width,
            QString::fromLatin1(key),
            QString::fromLatin1(table),
            QString::fromLatin1(sourceKey),
            QString::fromLatin1(sourceField)};
}

const QStringList kRights = names({"CanImport",
                                   "CanApproveAll",
                                   "CanApprove",
                                   "CanSendAllJobs",
                                   "CanChangeSentDate",
                                   "CanAddUsers",
                                   "CanChangeSystem",
                                   "CanChangeGeneral",
                                   "CanEditWebAddress",
                                   "CanAddSecurity",
                                   "CanPurgeFiles",
                                   "CanPackDatabase",
                                   "CanDeleteOldReqs",
                                   "CanScanForApps",
                                   "CanMarkOldReq",
                                   "CanRemoveFilledReqs",
                                   "CanReloadWeb",
                                   "CanMarkOldApplicants",
                                   "CanInsertApplicantData",
                                   "CanDeleteApplicantData",
                                   "CanEditApplicantData",
                                   "CanInsertReqData",
                                   "CanEditReqData",
                                   "CanDeleteReqData",
                                   "CanInsertApplication",
                                   "CanEditApplication",
                                   "CanDeleteApplication",
                                   "CanViewSecurity",
                                   "CanProcessRIF",
                                   "CanSeeModifiedBy",
                                   "CanModifyInterviewDate"});

// Start/length pairs of the import layout, in layout order.
const char* const kLayoutPairs[] = {
    "AppID",         "AppName",         "AppSoc",         "AppPhone",      "AppAddress1",  "AppAddress2",
    "AppAddress3",   "AppAddress4",     "AppCity",        "AppState",      "AppZip",       "AppPurgeDate",
    "AppVetPref",    "AppDispDate",     "AppRIF",         "AppRIFExpire",  "ReqNumber",    "ReqContact",
    "ReqPostingID",  "ReqPositionTitle", "ReqFTE",        "ReqJobCode",    "ReqDepartment", "ReqPhone",
    "ReqEMail",      "ReqMail",         "ReqPosted"};

QVector<TableDef> build()
{
    QVector<TableDef> t;

    TableDef users{TableId::UserSet, QStringLiteral("UserSet.db"), QStringLiteral("users"),
                   {A("UserID", 20), A("UserPassword", 255), A("UserName", 50), A("EMailAddress", 255),
                    A("ForwardJobTo", 255), A("Phone", 24), A("FAX", 24), A("SMTPServer", 100), N("SMTPPort"),
                    N("SecurityID"), A("JobPostingID", 10), L("Restricted"), L("MainUser"), L("NotifyAll"),
                    // The user's own mail server's security and login (layout 4).
                    N("SMTPSecurity", 4), A("SMTPUserName", 100, 4), A("SMTPPassword", 100, 4)},
                   QStringLiteral("rid"), {}, {}, names({"UserName", "UserID"}), {}, names({"UserName", "UserID"})};
    t << users;

    TableDef settings{TableId::Settings, QStringLiteral("settings.db"), QStringLiteral("settings"),
                      {M("HTTPHeading"), M("HTTPFooting"), A("HTTPWebAddress", 255), A("FTPUploadDir", 255),
                       L("AllowLogin"), L("HTTPAllowHTTP"), L("HTTPAllowSendAsWeb"), A("HTTPIndexName", 100),
                       L("AllowAutoLogin"), N("Port"), A("SMTPServer", 100), A("FileExt", 10),
                       A("FileLocation", 255), A("SubjectSend", 255), A("SubjectFirst", 255),
                       A("SubjectLast", 255), A("FilesSendFirst", 255), A("FilesSendLast", 255),
                       A("ExemptFiles", 255), A("NonExemptFiles", 255), A("CustomMemo", 255),
                       A("DefaultDirForFiles", 255), N("PurgeDays"), L("InformUsers"), L("MakeAppFlow"),
                       N("DefaultRIFDays"), N("NotRehireDays"), N("VetColor"), N("RIFColor"),
                       N("NotRehireColor"), L("AutoProcessNotHire"), L("AllowNotRehireSend"),
                       L("ExportAsExcel"), L("DeleteInvalid"), M("DefaultMessageToDep"),
                       M("DefaultContinueMessage"), A("FTPHost", 255), N("FTPPort"), A("FTPUserName", 100),
                       A("FTPPassword", 100), L("FTPUploadAsBinary"), A("ImportFileName", 255),
                       A("ApplicantsOnlyFile", 255), A("ReqsOnlyFile", 255), N("LinesToSkip"),
                       A("VetCodes", 255), A("AppRIFCodes", 255),
                       // The mail server's security, login, time-out and certificate authority (layout 4).
                       N("SMTPSecurity", 4), A("SMTPUserName", 100, 4), A("SMTPPassword", 100, 4),
                       N("SMTPTimeout", 4), A("SMTPCAFile", 255, 4),
                       // FTP over TLS, passive mode, time-out and certificate authority (layout 5).
                       N("FTPSecurity", 5), L("FTPPassive", 5), N("FTPTimeout", 5), A("FTPCAFile", 255, 5)},
                      QStringLiteral("rid"), {}, {}, {}, {}, {}};
    for (const char* p : kLayoutPairs) {
        settings.fields << FieldDef{QString::fromLatin1(p) + QLatin1String("Start"), FieldKind::Number, 0};
        settings.fields << FieldDef{QString::fromLatin1(p) + QLatin1String("Length"), FieldKind::Number, 0};
    }
    t << settings;

    TableDef applicants{TableId::Applicant, QStringLiteral("Applican.db"), QStringLiteral("applicants"),
                        {A("ApplicantID", 11), A("Name", 50), A("Soc", 9), A("Phone", 24), A("Address1", 35),
                         A("Address2", 35), A("Address3", 35), A("Address4", 35), A("City", 30), A("State", 6),
                         A("Zip", 10), L("RIF"), D("RIFExpires"), D("PurgeDate"), D("DateLoaded"),
                         M("Comments"), L("DoNotPurge"), L("VeteranPreference"), L("Scanned"),
                         A("ModifiedBy", 20), D("ModifiedDate"), L("NotRehire"), D("NotRehireExpires")},
                        QStringLiteral("rid"), names({"ApplicantID"}), QStringLiteral("ApplicantIndex"),
                        names({"ApplicantID"}), {}, {}};
    t << applicants;

    TableDef applications{
        TableId::Application, QStringLiteral("Applicat.db"), QStringLiteral("applications"),
        {A("ReqNumber", 10), A("ApplicantID", 11), L("Approved"), D("SemtDate"), D("DateLoaded"), L("LoadedbyPS"),
         L("Reviewed"), M("Comments"), D("DispDate"), A("ModifiedBy", 20), D("ModifiedDate"), A("ApprovedBy", 20),
         D("ApprovedDate"), D("InterviewDate")},
        QStringLiteral("rid"), names({"ReqNumber", "ApplicantID"}), QStringLiteral("ApplicationTableIndex1"),
        names({"ReqNumber", "ApplicantID"}),
        {lookup("PostingID", FieldKind::Alpha, 10, "ReqNumber", "requisitions", "ReqNumber", "JobPostingID"),
         lookup("Name", FieldKind::Alpha, 50, "ApplicantID", "applicants", "ApplicantID", "Name"),
         lookup("Scanned", FieldKind::Logical, 0, "ApplicantID", "applicants", "ApplicantID", "Scanned"),
         lookup("Veteran", FieldKind::Logical, 0, "ApplicantID", "applicants", "ApplicantID", "VeteranPreference"),
         lookup("RIF", FieldKind::Logical, 0, "ApplicantID", "applicants", "ApplicantID", "RIF"),
         lookup("RIFExpires", FieldKind::Date, 0, "ApplicantID", "applicants", "ApplicantID", "RIFExpires"),
         lookup("NotRehire", FieldKind::Logical, 0, "ApplicantID", "applicants", "ApplicantID", "NotRehire"),
         lookup("NotRehireExpires", FieldKind::Date, 0, "ApplicantID", "applicants", "ApplicantID",
                "NotRehireExpires")},
        {}};
    t << applications;

    TableDef requisitions{
        TableId::Request, QStringLiteral("Request.DB"), QStringLiteral("requisitions"),
        {A("ReqNumber", 10), A("PositionTitle", 80), A("JobPostingID", 10), A("Department", 60), A("JobCode", 20),
         A("FTE", 10), A("Contact", 50), A("ContactPhone", 24), A("EMailAddress", 255), A("Address", 255),
         D("DateLoaded"), D("DatePosted"), D("CloseDate"), M("Comments"), M("MessageToDept"), L("PositionUnderU"),
         A("PositionUnderUF", 50), L("PositionFilled"), L("SendFirstData"), L("FinalSent"), L("ExemptPosition"),
         L("SelectionCriteria"), L("PurgeReq"), L("Continue"), L("SendAsEMail"), L("SendAsHTML"), N("MaxFiles"),
         A("WebAddress", 255), A("ModifiedBy", 20), D("ModifiedDate")},
        QStringLiteral("rid"), names({"ReqNumber"}), QStringLiteral("RequisitionIndex"), names({"ReqNumber"}), {}, {}};
    t << requisitions;

    TableDef contacts{TableId::EMail, QStringLiteral("EMail.db"), QStringLiteral("dept_contacts"),
                      {A("Contact", 50), A("EMailAddress", 255), D("Updated"), N("MaxFiles"), L("SendAsEMail"),
                       L("SendAsHTML")},
                      QStringLiteral("rid"), names({"Contact"}), QStringLiteral("ContactIndex"),
                      names({"Contact"}), {}, {}};
    t << contacts;

    TableDef security{TableId::Security, QStringLiteral("security.db"), QStringLiteral("security_profiles"),
                      {Auto("SecurityID"), A("Security", 40), L("Supervisor")},
                      QStringLiteral("SecurityID"), names({"SecurityID"}), {}, names({"Security", "SecurityID"}),
                      {}, names({"Security", "SecurityID"})};
    for (const QString& r : kRights)
        security.fields << FieldDef{r, FieldKind::Logical, 0};
    t << security;

    t << TableDef{TableId::IDNum, QStringLiteral("IDNum.DB"), QStringLiteral("id_counters"),
                  {N("AppStart"), N("ReqStart")}, QStringLiteral("rid"), {}, {}, {}, {}, {}};

    t << TableDef{TableId::JobPosting, QStringLiteral("JobPosting.db"), QStringLiteral("job_postings"),
                  {A("JobPostingID", 10), A("Description", 80)}, QStringLiteral("rid"), {}, {}, {}, {}, {}};

    t << TableDef{TableId::Notify, QStringLiteral("Notify.db"), QStringLiteral("notify_list"),
                  {Auto("RecordNumber"), A("UserID", 20), A("JobPostingID", 10)},
                  QStringLiteral("RecordNumber"), names({"RecordNumber"}), {}, {},
                  {lookup("Name", FieldKind::Alpha, 50, "UserID", "users", "UserID", "UserName"),
                   lookup("Description", FieldKind::Alpha, 80, "JobPostingID", "job_postings", "JobPostingID",
                          "Description")},
                  {}};

    t << TableDef{TableId::Restrict, QStringLiteral("Restrict.db"), QStringLiteral("restrict_list"),
                  {Auto("RecordNumber"), A("UserID", 20), A("JobPostingID", 10)},
                  QStringLiteral("RecordNumber"), names({"RecordNumber"}), {}, {},
                  {lookup("Description", FieldKind::Alpha, 80, "JobPostingID", "job_postings", "JobPostingID",
                          "Description")},
                  {}};
    return t;
}

} // namespace

int TableDef::fieldIndex(const QString& name) const
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const QVector<TableDef>& Schema::tables()
{
    static const QVector<TableDef> all = build();
    return all;
}

const TableDef& Schema::table(TableId id) { return tables().at(static_cast<int>(id)); }

const TableDef* Schema::find(const QString& name)
{
    QString n = name.trimmed();
    if (n.startsWith(QLatin1Char('"')) && n.endsWith(QLatin1Char('"')) && n.size() >= 2)
        n = n.mid(1, n.size() - 2);
    const QString base = n.section(QLatin1Char('.'), 0, 0);
    for (const TableDef& t : tables()) {
        if (t.fileName.compare(n, Qt::CaseInsensitive) == 0 || t.sqlName.compare(n, Qt::CaseInsensitive) == 0 ||
            t.fileName.section(QLatin1Char('.'), 0, 0).compare(base, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

const QStringList& Schema::rightNames() { return kRights; }

} // namespace mw
