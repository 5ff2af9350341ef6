#include "import/importrun.h"

#include "datastore/merrowinddata.h"
#include "datastore/rowrules.h"
#include "import/notices.h"
#include "import/scanapps.h"
#include "maintenance/flagprocesses.h"
#include "shared/usertalk.h"
#include "web/webaddress.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>

#include <stdexcept>

namespace mw {

// A line that cannot be stored as it is: the message says why.
class ImportRun::LineError : public std::runtime_error
{
public:
    explicit LineError(const QString& message)
        : std::runtime_error(message.toStdString())
        , text(message)
    {}
    QString text;
};

// A grouped statement of several lines' applications failed: which line is to
// blame is found by storing the batch again line by line.
class ImportRun::GroupError : public std::runtime_error
{
public:
    explicit GroupError(const QString& message)
        : std::runtime_error(message.toStdString())
    {}
};

namespace {

constexpr int kApplicantIdWidth = 11;
// Applications per grouped insert (PostgreSQL, where each statement is a round trip).
constexpr int kApplicationGroup = 500;
constexpr int kReqNumberWidth = 10;

using Pair = int TImportData::*;

// A text field the layout may carry, with its width in the table.
template <typename Values>
struct TextField
{
    const char* column;
    int width;
    QString Values::*value;
    Pair start;
    Pair length;
};

const TextField<TImportApplicantData> kApplicantTexts[] = {
    {"Name", 50, &TImportApplicantData::Name, &TImportData::AppNameStart, &TImportData::AppNameLength},
    {"Soc", 9, &TImportApplicantData::Soc, &TImportData::AppSocStart, &TImportData::AppSocLength},
    {"Phone", 24, &TImportApplicantData::Phone, &TImportData::AppPhoneStart, &TImportData::AppPhoneLength},
    {"Address1", 35, &TImportApplicantData::Address1, &TImportData::AppAddress1Start, &TImportData::AppAddress1Length},
    {"Address2", 35, &TImportApplicantData::Address2, &TImportData::AppAddress2Start, &TImportData::AppAddress2Length},
    {"Address3", 35, &TImportApplicantData::Address3, &TImportData::AppAddress3Start, &TImportData::AppAddress3Length},
    {"Address4", 35, &TImportApplicantData::Address4, &TImportData::AppAddress4Start, &TImportData::AppAddress4Length},
    {"City", 30, &TImportApplicantData::City, &TImportData::AppCityStart, &TImportData::AppCityLength},
    {"State", 6, &TImportApplicantData::State, &TImportData::AppStateStart, &TImportData::AppStateLength},
    {"Zip", 10, &TImportApplicantData::Zip, &TImportData::AppZipStart, &TImportData::AppZipLength},
};

// The requisition fields an import updates, in the order the update names them
// (DatePosted, a date, among them).
const TextField<TImportReqData> kRequisitionUpdates[] = {
    {"Contact", 50, &TImportReqData::Contact, &TImportData::ReqContactStart, &TImportData::ReqContactLength},
    {"PositionTitle", 80, &TImportReqData::PositionTitle, &TImportData::ReqPositionTitleStart,
     &TImportData::ReqPositionTitleLength},
    {"FTE", 10, &TImportReqData::FTE, &TImportData::ReqFTEStart, &TImportData::ReqFTELength},
    {"JobCode", 20, &TImportReqData::JobCode, &TImportData::ReqJobCodeStart, &TImportData::ReqJobCodeLength},
    {"DatePosted", 0, &TImportReqData::DatePosted, &TImportData::ReqPostedStart, &TImportData::ReqPostedLength},
    {"Department", 60, &TImportReqData::Department, &TImportData::ReqDepartmentStart,
     &TImportData::ReqDepartmentLength},
    {"JobPostingID", 10, &TImportReqData::PostingID, &TImportData::ReqPostingIDStart,
     &TImportData::ReqPostingIDLength},
};

bool inLayout(const TImportData& layout, Pair start, Pair length)
{
    return layout.*start != 0 || layout.*length != 0;
}

// A text as the table keeps it: empty is no value, and what is longer than the
// field is cut, as the table components cut it.
QVariant textValue(const QString& s, int width)
{
    if (s.isEmpty())
        return QVariant(QMetaType(QMetaType::QString));
    if (width > 0 && s.size() > width)
        return s.left(width);
    return s;
}

QVariant noDate() { return QVariant(QMetaType(QMetaType::QString)); }

// A day as the table stores it: yyyy-mm-dd.
QString isoDay(const QDate& d)
{
    QString out(10, QLatin1Char('-'));
    QChar* c = out.data();
    const auto put = [](QChar* at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            at[i] = QLatin1Char(char('0' + value % 10));
    };
    put(c, d.year(), 4);
    put(c + 5, d.month(), 2);
    put(c + 8, d.day(), 2);
    return out;
}

QString kindName(int kind)
{
    switch (kind) {
    case ImportApplicants:
        return QStringLiteral("applicants");
    case ImportRequisitions:
        return QStringLiteral("requisitions");
    default:
        return QStringLiteral("all");
    }
}

size_t applicantHash(const TImportApplicantData& a)
{
    return qHashMulti(0x5eed, a.Name, a.Soc, a.Phone, a.Address1, a.Address2, a.Address3, a.Address4, a.City,
                      a.State, a.Zip, a.PurgeDate, a.VetPref, a.RIF, a.RIFExpire);
}

size_t requisitionHash(const TImportReqData& r)
{
    return qHashMulti(0x5eed, r.Contact, r.PostingID, r.PositionTitle, r.FTE, r.JobCode, r.Department,
                      r.DatePosted, r.Phone, r.EMail, r.Mail);
}

quint64 pairKey(const QString& applicant, const QString& req)
{
    return (quint64(qHash(applicant, 0x9e37)) << 32) ^ quint64(qHash(req, 0x79b9));
}

} // namespace

namespace {

// What a run wrote of each record (a hash of the values), so that a line repeating
// them writes nothing; with what the open batch changed of it, to be put back
// when the batch is taken back.
class WrittenRecords
{
public:
    // Whether the record must be written; first when the run meets it for the
    // first time. Remembers the values as written.
    bool mustWrite(const QString& key, size_t values, bool& first)
    {
        auto seen = m_written.find(key);
        first = seen == m_written.end();
        if (!first && *seen == values)
            return false;
        m_journal.append({key, first ? std::nullopt : std::optional<size_t>(*seen)});
        if (first)
            m_written.insert(key, values);
        else
            *seen = values;
        return true;
    }
    // The batch is committed: what it changed stays.
    void keep() { m_journal.clear(); }
    // The batch is taken back: the memory is as it was when the batch began.
    void takeBack()
    {
        for (auto it = m_journal.crbegin(); it != m_journal.crend(); ++it) {
            if (it->second)
                m_written.insert(it->first, *it->second);
            else
                m_written.remove(it->first);
        }
        m_journal.clear();
    }

private:
    QHash<QString, size_t> m_written;
    QList<std::pair<QString, std::optional<size_t>>> m_journal;
};

} // namespace

// The statements of a run, built once from the layout.
struct ImportRun::Statements
{
    QString applicantUpdate;
    QString applicantInsert;
    QString requisitionUpdate; // empty when the layout carries nothing to update
    QString requisitionExists;
    QString requisitionInsert;
    QString applicationInsert;
    QString applicantExists;
    QString applicationExists;
    QString messageToDept; // the general settings' message a new requisition starts with
    // The statements run for nearly every line, prepared once.
    Database::Repeated* updateApplicant = nullptr;
    Database::Repeated* insertApplicant = nullptr;
    Database::Repeated* updateRequisition = nullptr;
    Database::Repeated* insertApplication = nullptr;
    QVariantList binds; // reused from line to line

    // What this run wrote of each applicant and requisition.
    WrittenRecords applicants;
    WrittenRecords requisitions;
};

ImportRun::ImportRun(TMerrowindData& data, UserTalk& talk)
    : m_data(data)
    , m_talk(talk)
{}

ImportRun::~ImportRun() = default;

QString ImportRun::caption(int kind)
{
    switch (kind) {
    case ImportApplicants:
        return QStringLiteral("Import Applicants");
    case ImportRequisitions:
        return QStringLiteral("Import Requisitions");
    default:
        return QStringLiteral("Import All Data");
    }
}

QString ImportRun::heading(int kind)
{
    switch (kind) {
    case ImportApplicants:
        return QStringLiteral("Import Applicants Only");
    case ImportRequisitions:
        return QStringLiteral("Import Requisitions Only");
    default:
        return QStringLiteral("Import All Data");
    }
}

int ImportRun::helpContext(int kind)
{
    switch (kind) {
    case ImportApplicants:
        return 1111;
    case ImportRequisitions:
        return 1112;
    default:
        return 1110;
    }
}

int ImportRun::kindOfName(const QString& name)
{
    for (int kind : {ImportAllData, ImportApplicants, ImportRequisitions})
        if (name == kindName(kind))
            return kind;
    return -1;
}

QString ImportRun::fileNameOfKind() const
{
    if (!FileName.isEmpty())
        return FileName;
    const TImportData& layout = m_data.ImportLayout;
    switch (ImportKind) {
    case ImportApplicants:
        return layout.ApplicantsOnlyFile;
    case ImportRequisitions:
        return layout.ReqsOnlyFile;
    default:
        return layout.ImportFileName;
    }
}

// ---------------------------------------------------------------------------
// The run

OperationResult ImportRun::run()
{
    Aborted = false;
    Importing = true;
    m_error.clear();
    struct Done
    {
        bool& flag;
        ~Done() { flag = false; }
    } done{Importing};
    m_today = m_data.today();
    m_todayText = isoDay(m_today);
    m_userText = textValue(m_data.LoginData.UserID, 20);
    try {
        const bool completed = ImportScanData();
        // Without a file the steps still run on the data there is.
        if (!DryRun && (completed || m_fileMissing))
            followUp();
    } catch (const std::exception& e) {
        // What was committed stays; the run ends here with the error.
        m_error = QString::fromStdString(e.what());
    }
    return result();
}

OperationResult ImportRun::result() const
{
    OperationResult r;
    if (DryRun) {
        QString text = QStringLiteral("Nothing was changed. Importing %1 would:\n").arg(m_file);
        if (ImportKind != ImportRequisitions)
            text += QStringLiteral("  insert %1 and update %2 applicants\n")
                        .arg(m_counts.applicantsInserted)
                        .arg(m_counts.applicantsUpdated);
        if (ImportKind != ImportApplicants)
            text += QStringLiteral("  insert %1 and update %2 requisitions\n")
                        .arg(m_counts.requisitionsInserted)
                        .arg(m_counts.requisitionsUpdated);
        if (ImportKind == ImportAllData)
            text += QStringLiteral("  insert %1 applications\n").arg(m_counts.applicationsInserted);
        text += QStringLiteral("from %1 lines.").arg(m_counts.lines);
        if (m_problemCount > 0) {
            text += QStringLiteral("\n\n%1 lines would stop the import (it stops at the first of them):\n")
                        .arg(m_problemCount);
            text += m_problems.join(QLatin1Char('\n'));
            if (m_problemCount > m_problems.size())
                text += QStringLiteral("\n(and %1 more)").arg(m_problemCount - m_problems.size());
        }
        if (!m_error.isEmpty())
            r = OperationResult::failed(m_error);
        else if (m_problemCount > 0)
            r = OperationResult::failed(text);
        else if (Aborted)
            r = OperationResult::cancelled(QStringLiteral("Import Aborted By User"));
        else
            r = OperationResult::done(text);
    } else if (!m_error.isEmpty()) {
        r = OperationResult::failed(m_error);
    } else if (Aborted) {
        r = OperationResult::cancelled(QStringLiteral("Import Aborted By User"));
    } else {
        r = OperationResult::done();
    }
    r.count(QStringLiteral("Lines Read"), m_counts.lines);
    if (ImportKind != ImportRequisitions) {
        r.count(QStringLiteral("Applicants Inserted"), m_counts.applicantsInserted);
        r.count(QStringLiteral("Applicants Updated"), m_counts.applicantsUpdated);
    }
    if (ImportKind != ImportApplicants) {
        r.count(QStringLiteral("Requisitions Inserted"), m_counts.requisitionsInserted);
        r.count(QStringLiteral("Requisitions Updated"), m_counts.requisitionsUpdated);
    }
    if (ImportKind == ImportAllData)
        r.count(QStringLiteral("Applications Inserted"), m_counts.applicationsInserted);
    if (!DryRun && ImportKind != ImportRequisitions) {
        r.count(QStringLiteral("Scanned Flags Set"), ScannedSetCount);
        r.count(QStringLiteral("Scanned Flags Cleared"), ScannedClearedCount);
    }
    return r;
}

void ImportRun::followUp()
{
    const auto step = [this](const QString& text) {
        if (!Aborted && m_talk.cancelled())
            Aborted = true;
        if (Aborted)
            return false;
        m_talk.wait(text);
        return true;
    };
    const bool applicants = ImportKind != ImportRequisitions;
    if (applicants) {
        ScanListing listing;
        const QString problem = listing.list(m_data.SystemInfo.FileLocation, m_data.SystemInfo.FileExt);
        if (!problem.isEmpty()) {
            // Nothing is known of the documents: every flag stays as it is. The
            // run ends as failed with it, after the other steps.
            if (m_error.isEmpty())
                m_error = problem;
        } else {
            const auto stop = [this] {
                if (!Aborted && m_talk.cancelled())
                    Aborted = true;
                return Aborted;
            };
            if (step(QStringLiteral("Marking Applications As Scanned")))
                ScannedSetCount = UpdateScannedApps(m_data, m_talk, listing, stop);
            if (step(QStringLiteral("Updating Scanned Applications")))
                ScannedClearedCount = RescanApplications(m_data, m_talk, listing, stop);
        }
    }
    if (step(QStringLiteral("Checking For Jobs With No Posting ID")))
        ReportJobsWithoutPostingID();
    if (applicants && step(QStringLiteral("Updating RIF Flags")))
        ExpireRIF(m_data, m_talk, false);
    if (applicants && step(QStringLiteral("Updating Not Rehirable Flags")))
        ExpireNotRehirable(m_data, m_talk, false);
    if (ImportKind == ImportAllData && m_data.SystemInfo.AutoProcessNotHire &&
        step(QStringLiteral("Flagging Not Rehirable Applicants As Not Approved")))
        ProcessNotRehirable(m_data, m_talk, false);
    if (ImportKind == ImportAllData && step(QStringLiteral("Notifing Users Of New Scanned Applications"))) {
        Notices notices(m_data, m_talk);
        notices.NotifyPostingGroups();
    }
}

void ImportRun::ReportJobsWithoutPostingID()
{
    QSqlQuery q = m_data.database().exec(
        QStringLiteral("SELECT ReqNumber FROM requisitions WHERE JobPostingID IS NULL OR JobPostingID = '' "
                       "ORDER BY ReqNumber"));
    QStringList numbers;
    qint64 more = 0;
    // A box of thousands of lines would not fit on any screen.
    constexpr int shown = 100;
    while (q.next()) {
        if (numbers.size() < shown)
            numbers << q.value(0).toString();
        else
            ++more;
    }
    if (numbers.isEmpty())
        return;
    QString text = QStringLiteral("The Following Requisitions Do Not Have Job Posting ID's\n\n") +
                   numbers.join(QLatin1Char('\n'));
    if (more > 0)
        text += QStringLiteral("\n(and %1 more)").arg(more);
    m_talk.error(text);
}

TDefaultDeptInfo ImportRun::GetDefaultDeptInfo(const QString& contact)
{
    const TSystemInfo& s = m_data.SystemInfo;
    TDefaultDeptInfo info;
    info.SendAsHTML = s.HTTPAllowHTTP;
    info.SendAsEMail = !s.HTTPAllowSendAsWeb;
    if (!contact.isEmpty()) {
        QSqlQuery& q = m_data.database().execCached(
            QStringLiteral("SELECT EMailAddress, MaxFiles, SendAsEMail, SendAsHTML FROM dept_contacts WHERE Contact = ?"),
            {contact});
        if (q.next()) {
            if (!q.value(0).isNull() && !q.value(0).toString().isEmpty())
                info.EMailAddress = q.value(0).toString();
            if (!q.value(1).isNull())
                info.MaxFiles = q.value(1).toInt();
            if (!q.value(2).isNull())
                info.SendAsEMail = q.value(2).toInt() != 0;
            if (!q.value(3).isNull())
                info.SendAsHTML = q.value(3).toInt() != 0;
        }
        q.finish();
    }
    if (!s.HTTPAllowSendAsWeb && !info.SendAsEMail)
        info.SendAsEMail = true;
    if (!s.HTTPAllowHTTP)
        info.SendAsHTML = false;
    return info;
}

// ---------------------------------------------------------------------------
// The lines

void ImportRun::progress(ImportFile& file, bool force)
{
    if (!force && m_lastProgress.isValid() && m_lastProgress.elapsed() < ProgressMs)
        return;
    m_lastProgress.start();
    if (RecordsImported)
        RecordsImported(m_counts.lines);
    m_talk.progress(file.bytesRead(), std::max(file.size(), file.bytesRead()));
    if (m_talk.cancelled())
        Aborted = true;
}

bool ImportRun::ImportScanData()
{
    m_talk.wait(QStringLiteral("Getting Ready To Import Data"));
    m_data.LoadImportLayout();
    m_reader = ImportReader(m_data.ImportLayout);
    m_reader.ImportKind = ImportKind;
    m_counts = {};
    m_problems.clear();
    m_problemCount = 0;
    m_dryApplicants.clear();
    m_dryRequisitions.clear();
    m_dryApplications.clear();

    m_fileMissing = false;
    m_file = fileNameOfKind();
    if (m_file.isEmpty()) {
        m_error = QStringLiteral("No Import File Name Defined In General Settings");
        m_fileMissing = true;
        return false;
    }
    const QFileInfo info(m_file);
    if (!info.exists() || info.isDir()) {
        m_error = QStringLiteral("Import File Does Not Exist") + QStringLiteral("\n") + m_file;
        m_fileMissing = true;
        return false;
    }
    ImportFile file(m_file, m_data.ImportLayout.LinesToSkip);
    if (!file.open()) {
        m_error = QStringLiteral("The import file %1 cannot be read: %2").arg(m_file, file.errorString());
        return false;
    }
    prepareStatements();
    m_talk.wait(DryRun ? QStringLiteral("Checking %1").arg(m_file) : QStringLiteral("Importing %1").arg(m_file));

    Database& db = m_data.database();
    QString line;
    // The batch: its lines, kept to be stored again when one of them fails.
    QStringList batch;
    QList<qint64> batchLines;
    ImportCounts batchStart = m_counts;
    QElapsedTimer batchAge;
    const auto beginBatch = [&] {
        batch.clear();
        batchLines.clear();
        batchStart = m_counts;
        m_sql->applicants.keep();
        m_sql->requisitions.keep();
        m_pendingApplications.clear();
        if (!DryRun)
            db.begin();
        batchAge.start();
    };
    // Takes the batch back: nothing of it is stored, and the run's memory of what
    // it wrote is as it was when the batch began.
    const auto undoBatch = [&] {
        try {
            db.rollback();
        } catch (const DbError&) {
        }
        m_counts = batchStart;
        m_pendingApplications.clear();
        m_sql->applicants.takeBack();
        m_sql->requisitions.takeBack();
    };
    // Takes the batch back and stores its lines before the failing one again.
    const auto takeBackFailingLine = [&](qint64 failing, const QString& why) {
        m_error = QStringLiteral("Line %1: %2\nThe import stopped there; the lines before it are stored.")
                      .arg(failing)
                      .arg(why);
        if (DryRun)
            return;
        undoBatch();
        const qsizetype before = batchLines.indexOf(failing) < 0 ? batch.size() : batchLines.indexOf(failing);
        if (before == 0)
            return;
        try {
            db.begin();
            for (qsizetype i = 0; i < before; ++i) {
                m_reader.DataLine = batch.at(i);
                m_reader.ExtractData();
                ++m_counts.lines;
                storeLine(batchLines.at(i));
            }
            flushApplications();
            db.commit();
        } catch (const std::exception& e) {
            try {
                db.rollback();
            } catch (const DbError&) {
            }
            m_counts = batchStart;
            m_error += QStringLiteral("\nThe lines from line %1 on could not be stored again (%2): they are not "
                                      "stored.")
                           .arg(batchLines.first())
                           .arg(QString::fromStdString(e.what()));
        }
    };
    // A grouped statement failed: the batch (and the line being stored, when there
    // is one) is stored again line by line, which names the line to blame. Gives
    // false when one failed (the run stops there); true when all went in, the
    // batch's transaction then open with them.
    const auto storeOneByOne = [&](const QString* current, qint64 currentNumber) -> bool {
        undoBatch();
        m_groupApplications = false; // line by line for the rest of the run
        qint64 failing = -1;
        QString why;
        try {
            db.begin();
            const qsizetype total = batch.size() + (current ? 1 : 0);
            for (qsizetype i = 0; i < total && failing < 0; ++i) {
                const bool isCurrent = i == batch.size();
                m_reader.DataLine = isCurrent ? *current : batch.at(i);
                m_reader.ExtractData();
                ++m_counts.lines;
                try {
                    storeLine(isCurrent ? currentNumber : batchLines.at(i));
                } catch (const LineError& e) {
                    failing = isCurrent ? currentNumber : batchLines.at(i);
                    why = e.text;
                } catch (const std::exception& e) {
                    failing = isCurrent ? currentNumber : batchLines.at(i);
                    why = QString::fromStdString(e.what());
                }
            }
        } catch (const std::exception& e) {
            failing = currentNumber >= 0 ? currentNumber : batchLines.value(0, currentNumber);
            why = QString::fromStdString(e.what());
        }
        if (failing < 0)
            return true;
        takeBackFailingLine(failing, why);
        return false;
    };

    const auto commitBatch = [&]() -> bool {
        if (DryRun)
            return true;
        try {
            flushApplications();
        } catch (const GroupError&) {
            if (!storeOneByOne(nullptr, -1))
                return false;
        }
        try {
            db.commit();
            return true;
        } catch (const DbError& e) {
            m_counts = batchStart;
            m_error = QStringLiteral("%1\nThe lines from line %2 on were not stored.")
                          .arg(e.message())
                          .arg(batchLines.isEmpty() ? file.lineNumber() : batchLines.first());
            return false;
        }
    };
    bool ok = true;
    beginBatch();
    try {
        for (;;) {
            progress(file);
            if (Aborted)
                break;
            if (!file.readLine(line))
                break;
            const qint64 number = file.lineNumber();
            m_reader.DataLine = line;
            m_reader.ExtractData();
            ++m_counts.lines;
            if (DryRun) {
                dryRunLine(number);
                continue;
            }
            try {
                storeLine(number);
            } catch (const GroupError&) {
                --m_counts.lines;
                if (!storeOneByOne(&line, number)) {
                    ok = false;
                    break;
                }
            } catch (const LineError& e) {
                --m_counts.lines;
                takeBackFailingLine(number, e.text);
                ok = false;
                break;
            } catch (const DbError& e) {
                --m_counts.lines;
                takeBackFailingLine(number, e.message());
                ok = false;
                break;
            } catch (const std::exception& e) {
                --m_counts.lines;
                takeBackFailingLine(number, QString::fromStdString(e.what()));
                ok = false;
                break;
            }
            batch << line;
            batchLines << number;
            if (batch.size() >= BatchLines || batchAge.elapsed() >= BatchMs) {
                if (!commitBatch()) {
                    ok = false;
                    break;
                }
                beginBatch();
            }
        }
    } catch (...) {
        if (!DryRun && db.transactionDepth() > 0)
            db.rollback();
        throw;
    }
    if (ok)
        ok = commitBatch();
    if (ok && !Aborted && file.failed()) {
        // What was read is stored; the rest of the file was never read.
        m_error = QStringLiteral("Line %1: %2\nThe import stopped there; the lines before it are stored.")
                      .arg(file.lineNumber() + 1)
                      .arg(file.errorString());
        ok = false;
    }
    progress(file, true);
    return ok && !Aborted;
}

void ImportRun::prepareStatements()
{
    m_sql = std::make_unique<Statements>();
    const TImportData& l = m_data.ImportLayout;
    Statements& s = *m_sql;

    QStringList sets;
    for (const auto& f : kApplicantTexts)
        if (inLayout(l, f.start, f.length))
            sets << QLatin1String(f.column) + QStringLiteral(" = ?");
    sets << QStringLiteral("DateLoaded = ?");
    if (inLayout(l, &TImportData::AppVetPrefStart, &TImportData::AppVetPrefLength))
        sets << QStringLiteral("VeteranPreference = ?");
    if (inLayout(l, &TImportData::AppPurgeDateStart, &TImportData::AppPurgeDateLength))
        sets << QStringLiteral("PurgeDate = ?");
    if (inLayout(l, &TImportData::AppRIFStart, &TImportData::AppRIFLength))
        sets << QStringLiteral("RIF = ?");
    if (inLayout(l, &TImportData::AppRIFExpireStart, &TImportData::AppRIFExpireLength))
        sets << QStringLiteral("RIFExpires = ?");
    s.applicantUpdate = QStringLiteral("UPDATE applicants SET %1 WHERE ApplicantID = ?").arg(sets.join(QStringLiteral(", ")));
    s.applicantInsert = QStringLiteral(
        "INSERT INTO applicants (ApplicantID, Name, Soc, Phone, Address1, Address2, Address3, Address4, City, State, "
        "Zip, PurgeDate, DateLoaded, RIF, RIFExpires, DoNotPurge, VeteranPreference, Scanned, NotRehire, "
        "NotRehireExpires, ModifiedBy, ModifiedDate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, 0, 0, "
        "NULL, ?, ?)");

    sets.clear();
    for (const auto& f : kRequisitionUpdates)
        if (inLayout(l, f.start, f.length))
            sets << QLatin1String(f.column) + QStringLiteral(" = ?");
    if (!sets.isEmpty())
        s.requisitionUpdate =
            QStringLiteral("UPDATE requisitions SET %1 WHERE ReqNumber = ?").arg(sets.join(QStringLiteral(", ")));
    s.requisitionExists = QStringLiteral("SELECT 1 FROM requisitions WHERE ReqNumber = ?");
    s.requisitionInsert = QStringLiteral(
        "INSERT INTO requisitions (ReqNumber, Contact, PositionTitle, JobPostingID, DateLoaded, PositionFilled, "
        "SendFirstData, ExemptPosition, FinalSent, SelectionCriteria, MessageToDept, FTE, DatePosted, PositionUnderU, "
        "PositionUnderUF, JobCode, Department, PurgeReq, ContactPhone, EMailAddress, Address, MaxFiles, SendAsHTML, "
        "SendAsEMail, WebAddress, Continue, ModifiedBy, ModifiedDate) VALUES (?, ?, ?, ?, ?, 0, 0, 0, 0, 0, ?, ?, ?, "
        "0, NULL, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, 0, ?, ?)");
    s.applicationInsert = QStringLiteral(
        "INSERT INTO applications (ReqNumber, ApplicantID, Approved, DateLoaded, LoadedbyPS, Reviewed, InterviewDate, "
        "DispDate, ModifiedBy, ModifiedDate) VALUES (?, ?, 0, ?, 1, 0, NULL, ?, ?, ?) "
        "ON CONFLICT (ReqNumber, ApplicantID) DO NOTHING");
    QSqlQuery settings = m_data.database().exec(QStringLiteral("SELECT DefaultMessageToDep FROM settings"));
    if (settings.next())
        s.messageToDept = settings.value(0).toString();
    s.applicantExists = QStringLiteral("SELECT 1 FROM applicants WHERE ApplicantID = ?");
    m_groupApplications = !DryRun && m_data.database().dialect() == Dialect::PostgreSQL;
    m_pendingApplications.clear();
    if (!DryRun) {
        Database& db = m_data.database();
        s.updateApplicant = &db.prepareRepeated(s.applicantUpdate);
        s.insertApplicant = &db.prepareRepeated(s.applicantInsert);
        if (!s.requisitionUpdate.isEmpty())
            s.updateRequisition = &db.prepareRepeated(s.requisitionUpdate);
        s.insertApplication = &db.prepareRepeated(s.applicationInsert);
    }
    s.applicationExists = QStringLiteral("SELECT 1 FROM applications WHERE ReqNumber = ? AND ApplicantID = ?");
}

namespace {

// A date of the line as the table stores it; the field names it in the error.
QVariant dateValue(const QString& text, const char* what)
{
    if (text.isEmpty())
        return noDate();
    const QDate d = ImportReader::readShortDate(text);
    if (!d.isValid() || d.year() < 1)
        throw std::invalid_argument(QStringLiteral("the %1 \"%2\" is not a date.").arg(QLatin1String(what), text).toStdString());
    return isoDay(d);
}

} // namespace

// Refuses what cannot be stored as it is, before anything of the line is written.
void ImportRun::checkLine(qint64)
{
    const TImportApplicantData& a = m_reader.ApplicantData;
    const TImportReqData& r = m_reader.ReqData;
    if (ImportKind != ImportRequisitions && a.AppID.size() > kApplicantIdWidth)
        throw LineError(QStringLiteral("the applicant identifier \"%1\" is longer than %2 characters.")
                            .arg(a.AppID)
                            .arg(kApplicantIdWidth));
    if (ImportKind != ImportApplicants && r.Number.size() > kReqNumberWidth)
        throw LineError(QStringLiteral("the requisition number \"%1\" is longer than %2 characters.")
                            .arg(r.Number)
                            .arg(kReqNumberWidth));
    try {
        if (ImportKind != ImportRequisitions && !a.AppID.isEmpty()) {
            dateValue(a.PurgeDate, "purge date");
            if (a.RIFExpire != QLatin1String("Nul"))
                dateValue(a.RIFExpire, "RIF expiry date");
        }
        if (ImportKind != ImportApplicants && !r.Number.isEmpty())
            dateValue(r.DatePosted, "date posted");
        if (ImportKind == ImportAllData && !a.AppID.isEmpty() && !r.Number.isEmpty())
            dateValue(a.AppliedDate, "application date");
    } catch (const std::invalid_argument& e) {
        throw LineError(QString::fromStdString(e.what()));
    }
}

void ImportRun::storeLine(qint64 lineNumber)
{
    checkLine(lineNumber);
    if (ImportKind != ImportRequisitions)
        SavePersonalData(lineNumber);
    if (ImportKind != ImportApplicants)
        SaveReqData(lineNumber);
    if (ImportKind == ImportAllData)
        SaveAppliedData(lineNumber);
}

void ImportRun::SavePersonalData(qint64)
{
    const TImportApplicantData& a = m_reader.ApplicantData;
    if (a.AppID.isEmpty())
        return;
    bool first = false;
    if (!m_sql->applicants.mustWrite(a.AppID, applicantHash(a), first))
        return;

    const TImportData& l = m_data.ImportLayout;
    Database& db = m_data.database();
    const QVariant rifExpires = a.RIFExpire == QLatin1String("Nul") ? noDate() : dateValue(a.RIFExpire, "");
    const QVariant purge = dateValue(a.PurgeDate, "");
    const bool rif = a.RIF == QLatin1String("True");
    const bool veteran = a.VetPref == QLatin1String("True");

    QVariantList& binds = m_sql->binds;
    binds.clear();
    for (const auto& f : kApplicantTexts)
        if (inLayout(l, f.start, f.length))
            binds << textValue(a.*f.value, f.width);
    binds << m_todayText;
    if (inLayout(l, &TImportData::AppVetPrefStart, &TImportData::AppVetPrefLength))
        binds << veteran;
    if (inLayout(l, &TImportData::AppPurgeDateStart, &TImportData::AppPurgeDateLength))
        binds << purge;
    if (inLayout(l, &TImportData::AppRIFStart, &TImportData::AppRIFLength))
        binds << rif;
    if (inLayout(l, &TImportData::AppRIFExpireStart, &TImportData::AppRIFExpireLength))
        binds << rifExpires;
    binds << a.AppID;
    if (db.execRepeated(*m_sql->updateApplicant, binds) > 0) {
        if (first)
            ++m_counts.applicantsUpdated;
        return;
    }

    // A new applicant, saved as the applicant table saves one.
    const std::optional<QDate> purgeDay =
        applicantPurgeDate(QDate::fromString(purge.toString(), Qt::ISODate),
                           QDate::fromString(rifExpires.toString(), Qt::ISODate), QDate());
    binds.clear();
    binds << a.AppID;
    for (const auto& f : kApplicantTexts)
        binds << textValue(a.*f.value, f.width);
    binds << (purgeDay ? QVariant(isoDay(*purgeDay)) : noDate()) << m_todayText << rif << rifExpires << veteran
          << m_userText << m_todayText;
    db.execRepeated(*m_sql->insertApplicant, binds);
    ++m_counts.applicantsInserted;
}

void ImportRun::SaveReqData(qint64)
{
    const TImportReqData& r = m_reader.ReqData;
    if (r.Number.isEmpty())
        return;
    bool first = false;
    if (!m_sql->requisitions.mustWrite(r.Number, requisitionHash(r), first))
        return;

    const TImportData& l = m_data.ImportLayout;
    Database& db = m_data.database();
    const QVariant posted = dateValue(r.DatePosted, "");
    bool exists = false;
    if (m_sql->updateRequisition) {
        QVariantList& binds = m_sql->binds;
        binds.clear();
        for (const auto& f : kRequisitionUpdates)
            if (inLayout(l, f.start, f.length))
                binds << (f.width == 0 ? posted : textValue(r.*f.value, f.width));
        binds << r.Number;
        exists = db.execRepeated(*m_sql->updateRequisition, binds) > 0;
    } else {
        // Nothing to update: the number alone tells whether it is known.
        QSqlQuery& q = db.execCached(m_sql->requisitionExists, {r.Number});
        exists = q.next();
        q.finish();
    }
    if (exists) {
        if (first)
            ++m_counts.requisitionsUpdated;
        return;
    }

    // A new requisition, saved as the requisition table saves one.
    const TDefaultDeptInfo dept = GetDefaultDeptInfo(r.Contact);
    const QString addresses = requisitionAddressList(r.EMail.isEmpty() ? dept.EMailAddress : r.EMail);
    const QString web = m_data.SystemInfo.HTTPAllowSendAsWeb ? NewWebAddress(m_data) : QString();
    checkWebAddressFree(db, web, r.Number);
    db.execCached(m_sql->requisitionInsert,
                  {r.Number, textValue(r.Contact, 50), textValue(r.PositionTitle, 80), textValue(r.PostingID, 10),
                   m_todayText, textValue(m_sql->messageToDept, 0), textValue(r.FTE, 10), posted,
                   textValue(r.JobCode, 20), textValue(r.Department, 60), textValue(r.Phone, 24),
                   textValue(addresses, 255), textValue(r.Mail, 255), dept.MaxFiles, dept.SendAsHTML, dept.SendAsEMail,
                   textValue(web, 255), m_userText, m_todayText});
    ++m_counts.requisitionsInserted;
    updateDepartmentContact(db, r.Contact.left(50), addresses.left(255), dept.MaxFiles, dept.SendAsEMail,
                            dept.SendAsHTML, m_data.rememberedDelivery(), m_today);
}

void ImportRun::SaveAppliedData(qint64)
{
    const TImportApplicantData& a = m_reader.ApplicantData;
    const TImportReqData& r = m_reader.ReqData;
    if (r.Number.isEmpty() || a.AppID.isEmpty())
        return;
    // A new application is neither reviewed nor approved: nobody approved it.
    const QVariant applied = dateValue(a.AppliedDate, "");
    if (m_groupApplications) {
        m_pendingApplications << r.Number << a.AppID << m_todayText << applied << m_userText << m_todayText;
        if (m_pendingApplications.size() >= kApplicationGroup * 6)
            flushApplications();
        return;
    }
    QVariantList& binds = m_sql->binds;
    binds.clear();
    binds << r.Number << a.AppID << m_todayText << applied << m_userText << m_todayText;
    if (m_data.database().execRepeated(*m_sql->insertApplication, binds) > 0)
        ++m_counts.applicationsInserted;
}

// The applications gathered since the last group, in one statement.
void ImportRun::flushApplications()
{
    if (m_pendingApplications.isEmpty())
        return;
    const qsizetype rows = m_pendingApplications.size() / 6;
    const QString row = QStringLiteral("(?, ?, 0, ?, 1, 0, NULL, ?, ?, ?)");
    const QString sql = QStringLiteral(
                            "INSERT INTO applications (ReqNumber, ApplicantID, Approved, DateLoaded, LoadedbyPS, "
                            "Reviewed, InterviewDate, DispDate, ModifiedBy, ModifiedDate) VALUES %1 "
                            "ON CONFLICT (ReqNumber, ApplicantID) DO NOTHING")
                            .arg(QStringList(rows, row).join(QStringLiteral(", ")));
    Database& db = m_data.database();
    try {
        const int inserted = rows == kApplicationGroup ? db.execRepeated(db.prepareRepeated(sql), m_pendingApplications)
                                                       : db.exec(sql, m_pendingApplications).numRowsAffected();
        m_counts.applicationsInserted += inserted;
    } catch (const DbError& e) {
        m_pendingApplications.clear();
        throw GroupError(e.message());
    }
    m_pendingApplications.clear();
}

void ImportRun::dryRunLine(qint64 lineNumber)
{
    try {
        checkLine(lineNumber);
    } catch (const LineError& e) {
        --m_counts.lines;
        ++m_problemCount;
        if (m_problems.size() < 100)
            m_problems << QStringLiteral("  Line %1: %2").arg(lineNumber).arg(e.text);
        return;
    }
    Database& db = m_data.database();
    const auto known = [&db](const QString& sql, const QVariantList& binds) {
        QSqlQuery& q = db.execCached(sql, binds);
        const bool found = q.next();
        q.finish();
        return found;
    };
    const TImportApplicantData& a = m_reader.ApplicantData;
    const TImportReqData& r = m_reader.ReqData;
    bool newApplicant = false;
    bool newRequisition = false;
    if (ImportKind != ImportRequisitions && !a.AppID.isEmpty()) {
        auto it = m_dryApplicants.constFind(a.AppID);
        if (it == m_dryApplicants.constEnd()) {
            const bool isNew = !known(m_sql->applicantExists, {a.AppID});
            it = m_dryApplicants.insert(a.AppID, isNew);
            ++(isNew ? m_counts.applicantsInserted : m_counts.applicantsUpdated);
        }
        newApplicant = *it;
    }
    if (ImportKind != ImportApplicants && !r.Number.isEmpty()) {
        auto it = m_dryRequisitions.constFind(r.Number);
        if (it == m_dryRequisitions.constEnd()) {
            const bool isNew = !known(m_sql->requisitionExists, {r.Number});
            it = m_dryRequisitions.insert(r.Number, isNew);
            ++(isNew ? m_counts.requisitionsInserted : m_counts.requisitionsUpdated);
        }
        newRequisition = *it;
    }
    if (ImportKind == ImportAllData && !a.AppID.isEmpty() && !r.Number.isEmpty()) {
        const quint64 key = pairKey(a.AppID, r.Number);
        if (m_dryApplications.contains(key))
            return;
        m_dryApplications.insert(key);
        if (newApplicant || newRequisition || !known(m_sql->applicationExists, {r.Number, a.AppID}))
            ++m_counts.applicationsInserted;
    }
}

// ---------------------------------------------------------------------------

OperationResult importCommand(TMerrowindData& data, UserTalk& talk, int kind, const QString& fileName, bool dryRun,
                              bool askFirst)
{
    OperationSteps steps;
    if (askFirst && !dryRun) {
        const QString what = kind == ImportApplicants     ? QStringLiteral("Applicants")
                             : kind == ImportRequisitions ? QStringLiteral("Requisitions")
                                                          : QStringLiteral("All Data");
        steps.question = QStringLiteral("Are You Sure You Want To Import %1?").arg(what);
    }
    steps.waitText = ImportRun::caption(kind);
    steps.cancellable = true;
    steps.work = [&](UserTalk& t) {
        ImportRun run(data, t);
        run.ImportKind = kind;
        run.FileName = fileName;
        run.DryRun = dryRun;
        return run.run();
    };
    return runOperation(talk, steps);
}

} // namespace mw
