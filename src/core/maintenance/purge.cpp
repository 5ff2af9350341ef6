#include "maintenance/purge.h"

#include "datastore/merrowinddata.h"
#include "mail/mailsend.h"
#include "shared/usertalk.h"
#include "web/ftppublisher.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mw {

namespace {

const QString kBreak = QStringLiteral("\n");

QString iso(const QDate& d) { return d.toString(Qt::ISODate); }

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The lines of a results box that name what was not done: a count, then the first
// twenty.
QString notDoneLines(const QString& label, const QStringList& lines)
{
    if (lines.isEmpty())
        return QString();
    QString text = kBreak + kBreak + label + QStringLiteral(": ") + QString::number(lines.size());
    for (const QString& l : lines.mid(0, 20))
        text += kBreak + l;
    if (lines.size() > 20)
        text += kBreak + QStringLiteral("...");
    return text;
}

// Runs sql over table a slice of row ids at a time; the statement's values are
// setBinds, then the slice's bounds, then whereBinds. Slices are sized so that each
// statement takes a quarter of a second or so (fewer commits rewrite fewer index
// pages), with a pause after each commit for other copies' writes. stop is asked
// between slices.
qint64 slicedStatement(Database& db, UserTalk& talk, const QString& table, const QString& sql,
                       const QVariantList& setBinds, const QVariantList& whereBinds, const std::function<bool()>& stop)
{
    QSqlQuery range = db.exec(QStringLiteral("SELECT MIN(rid), MAX(rid) FROM ") + table);
    if (!range.next() || range.value(0).isNull())
        return 0;
    const qint64 first = range.value(0).toLongLong() - 1;
    const qint64 last = range.value(1).toLongLong();
    range.finish();
    qint64 from = first;
    qint64 width = 20000;
    qint64 changed = 0;
    QElapsedTimer timer;
    while (from < last) {
        if (stop())
            break;
        const qint64 upTo = std::min(last, from + width);
        QVariantList binds = setBinds;
        binds << from << upTo;
        binds += whereBinds;
        timer.start();
        QSqlQuery& q = db.execCached(sql, binds);
        changed += std::max(0, q.numRowsAffected());
        q.finish();
        const qint64 ms = timer.elapsed();
        if (ms < 150 && width < 2000000)
            width *= 2;
        else if (ms > 500 && width > 500)
            width /= 2;
        from = upTo;
        // Another copy waiting to write retries every millisecond or two: a pause
        // after each commit lets it in before the next slice takes the lock again.
        if (db.dialect() == Dialect::SQLite)
            QThread::msleep(15);
        talk.progress(from - first, last - first);
    }
    return changed;
}

// Shows the purge window for as long as it lives, hides it however the work ends.
class ViewScope
{
public:
    explicit ViewScope(const PurgeView& view)
        : m_view(view)
    {
        if (m_view.show)
            m_view.show();
    }
    ~ViewScope()
    {
        if (m_view.hide)
            m_view.hide();
    }
    ViewScope(const ViewScope&) = delete;
    ViewScope& operator=(const ViewScope&) = delete;

private:
    const PurgeView& m_view;
};

// A document's name: "<applicant id>.<extension>", the extension in any letter
// case, the identifier without dots or spaces. Gives the identifier, else empty.
QString documentId(const QString& name, const QString& suffixLower)
{
    if (name.size() <= suffixLower.size() || !name.toLower().endsWith(suffixLower))
        return QString();
    const QString id = name.left(name.size() - suffixLower.size());
    for (const QChar c : id)
        if (c == QLatin1Char('.') || c.isSpace() || !c.isPrint())
            return QString();
    return id;
}

struct Requisition
{
    QString number;
    QString webAddress;
    QString department;
    QString title;
    QString group;
};

QList<Requisition> requisitionsWhere(Database& db, const QString& condition)
{
    QList<Requisition> list;
    QSqlQuery q = db.exec(QStringLiteral("SELECT ReqNumber, WebAddress, Department, PositionTitle, JobPostingID "
                                         "FROM requisitions WHERE %1 ORDER BY JobPostingID, ReqNumber")
                              .arg(condition));
    while (q.next())
        list.append({q.value(0).toString(), q.value(1).toString().trimmed(), q.value(2).toString(),
                     q.value(3).toString(), q.value(4).toString()});
    return list;
}

} // namespace

PurgeDelete::PurgeDelete(TMerrowindData& data, UserTalk& talk, PurgeView view)
    : m_data(data)
    , m_talk(talk)
    , m_view(std::move(view))
{
}

PurgeDelete::~PurgeDelete() = default;

void PurgeDelete::step(const QString& text, bool always)
{
    if (!always && m_stepClock.isValid() && m_stepClock.elapsed() < 100)
        return;
    m_stepClock.start();
    if (m_view.step)
        m_view.step(text);
    else
        m_talk.wait(text);
}

bool PurgeDelete::stopRequested()
{
    if (!m_stopped && (m_talk.cancelled() || (m_view.cancelled && m_view.cancelled())))
        m_stopped = true;
    return m_stopped;
}

qint64 PurgeDelete::sliced(const QString& table, const QString& sql, const QVariantList& binds)
{
    return slicedStatement(m_data.database(), m_talk, table, sql, {}, binds, [this] { return stopRequested(); });
}

FtpPublisher& PurgeDelete::publisher()
{
    if (!m_publisher) {
        m_publisher = std::make_unique<FtpPublisher>(m_data, m_talk);
        // The purge window's Cancel stops a transfer under way too.
        if (m_view.cancelled)
            m_publisher->StopRequested = m_view.cancelled;
    }
    return *m_publisher;
}

QString PurgeDelete::documentDirectoryProblem() const
{
    const QString location = m_data.SystemInfo.FileLocation.trimmed();
    if (location.isEmpty())
        return QStringLiteral("The directory of the scanned applications is not set (General Settings).\nNothing was "
                              "purged or deleted.");
    if (m_data.SystemInfo.FileExt.trimmed().isEmpty())
        return QStringLiteral("The extension of the scanned applications is not set (General Settings).\nNothing "
                              "was purged or deleted.");
    const QFileInfo dir(location);
    if (!dir.isDir())
        return QStringLiteral("The directory of the scanned applications, %1, does not exist.\nNothing was purged or "
                              "deleted.")
            .arg(location);
    if (dir.canonicalFilePath() == QLatin1String("/"))
        return QStringLiteral("The directory of the scanned applications is not set, or is the root directory (General "
                              "Settings).\n"
                              "Nothing was purged or deleted.");
    return QString();
}

int RaisePurgeDates(TMerrowindData& data, UserTalk& talk)
{
    WaitScope wait(talk, QStringLiteral("Please Wait, Updating Purge Date of Applicants"));
    const auto never = [] { return false; };
    qint64 changed = 0;
    // An empty date is no date: it is neither raised nor raises.
    for (const auto& [flag, expires] : {std::pair{"NotRehire", "NotRehireExpires"}, std::pair{"RIF", "RIFExpires"}})
        changed += slicedStatement(data.database(), talk, QStringLiteral("applicants"),
                                   QStringLiteral("UPDATE applicants SET PurgeDate = %2 WHERE rid > ? AND rid <= ? "
                                                  "AND %1 = 1 AND PurgeDate <> '' AND PurgeDate < %2")
                                       .arg(QLatin1String(flag), QLatin1String(expires)),
                                   {}, {}, never);
    return int(changed);
}

void PurgeDelete::PurgeApplicants()
{
    m_stopped = false;
    ViewScope shown(m_view);
    step(QStringLiteral("Deleting Old Applicants"));
    RecordCount = int(sliced(QStringLiteral("applicants"),
                             QStringLiteral("DELETE FROM applicants WHERE rid > ? AND rid <= ? AND PurgeDate <> '' "
                                            "AND PurgeDate <= ? AND (DoNotPurge = 0 OR DoNotPurge IS NULL)"),
                             {iso(m_data.today())}));
    if (!m_stopped)
        DeleteOldScannedFiles();
    if (!m_stopped && m_data.SystemInfo.DeleteInvalid)
        DeleteOrphanApplications();
}

void PurgeDelete::DeleteOldScannedFiles()
{
    FileCount = 0;
    FilesNotDeleted.clear();
    if (const QString problem = documentDirectoryProblem(); !problem.isEmpty()) {
        FilesNotDeleted << problem;
        return;
    }
    const QString location = m_data.SystemInfo.FileLocation.trimmed();
    const QString suffix = (QLatin1Char('.') + m_data.SystemInfo.FileExt.trimmed()).toLower();
    const int purgeDays = m_data.SystemInfo.PurgeDays;
    const QDate today = m_data.today();

    DIR* d = ::opendir(QFile::encodeName(location).constData());
    if (!d) {
        FilesNotDeleted << QStringLiteral("%1: %2").arg(location, systemError(errno));
        return;
    }
    const int dfd = ::dirfd(d);
    // One listing: the documents old enough to go, by identifier.
    struct Candidate
    {
        QByteArray name;
        QString id;
    };
    QList<Candidate> old;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(d);
        if (!e)
            break;
        const QString name = QFile::decodeName(e->d_name);
        const QString id = documentId(name, suffix);
        if (id.isEmpty())
            continue;
        struct stat st{};
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        const QDate changed = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).date();
        if (changed.addDays(purgeDays) > today)
            continue;
        old.append({QByteArray(e->d_name), id});
    }
    if (const int readError = errno; readError != 0) {
        // A listing cut short says nothing about the rest: nothing is deleted.
        ::closedir(d);
        FilesNotDeleted << QStringLiteral("%1 could not be read to its end: %2").arg(location, systemError(readError));
        return;
    }

    // Which identifiers still have an applicant, whatever his name and letter case.
    QStringList ids;
    ids.reserve(old.size());
    for (const Candidate& c : std::as_const(old))
        ids << c.id;
    const QHash<QString, QString> present = m_data.ApplicantsAmong(ids);
    if (stopRequested()) {
        ::closedir(d);
        return;
    }

    qsizetype looked = 0;
    for (const Candidate& c : std::as_const(old)) {
        ++looked;
        if (present.contains(c.id.toLower()))
            continue;
        const QString name = QFile::decodeName(c.name);
        if (m_view.step)
            step(QStringLiteral("Deleting Old Scanned File: ") + name, false);
        else
            m_talk.progress(looked, old.size());
        if (stopRequested())
            break;
        // Still the regular file listed: a name swapped for a directory or a link meanwhile stays.
        struct stat st{};
        if (::fstatat(dfd, c.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::unlinkat(dfd, c.name.constData(), 0) == 0)
            ++FileCount;
        else if (errno != ENOENT)
            FilesNotDeleted << QStringLiteral("%1: %2").arg(name, systemError(errno));
    }
    ::closedir(d);
}

void PurgeDelete::DeleteOrphanApplications()
{
    ApplicationsDeleted = 0;
    step(QStringLiteral("Deleting Applications With No Valid Requisitions"));
    ApplicationsDeleted += int(sliced(QStringLiteral("applications"),
                                      QStringLiteral("DELETE FROM applications WHERE rid > ? AND rid <= ? AND NOT EXISTS "
                                                     "(SELECT 1 FROM requisitions r WHERE r.ReqNumber = "
                                                     "applications.ReqNumber)"),
                                      {}));
    if (m_stopped)
        return;
    step(QStringLiteral("Deleting Applications With No Valid Applicants"));
    ApplicationsDeleted += int(sliced(QStringLiteral("applications"),
                                      QStringLiteral("DELETE FROM applications WHERE rid > ? AND rid <= ? AND NOT EXISTS "
                                                     "(SELECT 1 FROM applicants a WHERE a.ApplicantID = "
                                                     "applications.ApplicantID)"),
                                      {}));
}

void PurgeDelete::MarkOldRequisitions()
{
    m_stopped = false;
    GroupsNotTold.clear();
    NoticesSent = 0;
    m_mailDown = false;
    step(QStringLiteral("Marking Old Requistions to be deleted"));
    const QDate today = m_data.today();
    RecordCount = int(slicedStatement(
        m_data.database(), m_talk, QStringLiteral("requisitions"),
        QStringLiteral("UPDATE requisitions SET PositionFilled = 1, PurgeReq = 1, ModifiedBy = ?, ModifiedDate = ? "
                       "WHERE rid > ? AND rid <= ? AND ((DatePosted <> '' AND DatePosted <= ?) OR PositionFilled = 1)"),
        {m_data.LoginData.UserID, iso(today)}, {iso(today.addDays(-m_data.SystemInfo.PurgeDays))},
        [this] { return stopRequested(); }));
    if (m_stopped)
        return;

    const QStringList head{QStringLiteral("The Following Requisition Have Been Marked To Be Delete."),
                           QStringLiteral("To Keep The Requisition From Being Delete, Go To The."),
                           QStringLiteral("Job Requisition and Uncheck The Delete Req Box"),
                           QStringLiteral("The Requisition Will Be Deleted In 10 Days If you Do Not"),
                           QStringLiteral("Take Any Action."), QString()};
    QString group;
    QStringList body;
    for (const Requisition& r : requisitionsWhere(m_data.database(), QStringLiteral("PurgeReq = 1"))) {
        if (r.group.isEmpty())
            continue;
        if (r.group != group) {
            if (!group.isEmpty())
                SendDeleteNotice(group, body);
            group = r.group;
            body = head;
        }
        body << QStringLiteral("Requisition: ") + r.number + QStringLiteral(" Department: ") + r.department;
    }
    if (!group.isEmpty())
        SendDeleteNotice(group, body);
}

bool PurgeDelete::SendDeleteNotice(const QString& group, const QStringList& body)
{
    step(QStringLiteral("Sending Users Delete Notification"));
    TLoginData mainUser;
    m_data.LoadMainUser(group, mainUser);
    const QString address =
        !mainUser.ForwardJobTo.trimmed().isEmpty() ? mainUser.ForwardJobTo.trimmed() : mainUser.EMailAddress.trimmed();
    if (address.isEmpty())
        return false; // no one to tell
    if (m_mailDown) {
        GroupsNotTold << group + QStringLiteral(": the mail server could not be reached");
        return false;
    }
    MailSend mail(mailServerOf(m_data), m_talk);
    mail.Message.FromAddress = m_data.LoginData.EMailAddress;
    mail.Message.FromName = QStringLiteral("Merrowind");
    mail.Message.Subject = QStringLiteral("Requisition(s) Marked For Deletion");
    mail.Message.ToAddresses = address;
    mail.Message.MaxBytes = 0;
    mail.Message.AsHTML = false;
    mail.Message.addLines(body);
    if (mail.Send()) {
        ++NoticesSent;
        return true;
    }
    if (mail.serverUnreachable())
        m_mailDown = true;
    const QString why = mail.ErrorText.trimmed().section(QLatin1Char('\n'), 0, 0);
    GroupsNotTold << group + QStringLiteral(": ") + (why.isEmpty() ? QStringLiteral("the notice was not sent") : why);
    return false;
}

bool PurgeDelete::deleteRequisition(const QString& reqNumber)
{
    Database& db = m_data.database();
    Transaction tx(db);
    QSqlQuery& gone =
        db.execCached(QStringLiteral("DELETE FROM requisitions WHERE ReqNumber = ? AND PurgeReq = 1"), {reqNumber});
    const int requisitions = gone.numRowsAffected();
    gone.finish();
    if (requisitions <= 0)
        return false; // unmarked meanwhile: it stays with its applications
    QSqlQuery& apps = db.execCached(QStringLiteral("DELETE FROM applications WHERE ReqNumber = ?"), {reqNumber});
    ApplicationsDeleted += std::max(0, apps.numRowsAffected());
    apps.finish();
    tx.commit();
    return true;
}

void PurgeDelete::DeleteOldRequisitions()
{
    m_stopped = false;
    RecordCount = 0;
    ApplicationsDeleted = 0;
    RequisitionsKept.clear();
    ViewScope shown(m_view);
    step(QStringLiteral("Preparing Records to be deleted"));
    const QList<Requisition> marked = requisitionsWhere(m_data.database(), QStringLiteral("PurgeReq = 1"));
    bool webDown = false;
    for (const Requisition& r : marked) {
        if (r.number.isEmpty())
            continue;
        if (stopRequested())
            break;
        if (!r.webAddress.isEmpty()) {
            if (webDown) {
                RequisitionsKept << r.number + QStringLiteral(": the web server could not be reached");
                continue;
            }
            step(QStringLiteral("Removing Web Site Data For Requisition: ") + r.number);
            if (!RemoveWebDirectory(m_data, m_talk, r.webAddress, r.department, r.number, r.title, &publisher())) {
                if (publisher().cancelled()) {
                    m_stopped = true;
                    break;
                }
                webDown = publisher().logins() == 0;
                RequisitionsKept << r.number + QStringLiteral(": its web directory could not be removed");
                continue;
            }
        }
        step(QStringLiteral("Deleting All Applications For Requisition: ") + r.number);
        if (deleteRequisition(r.number))
            ++RecordCount;
    }
    if (m_stopped)
        return;
    if (m_data.SystemInfo.DeleteInvalid) {
        const int withRequisitions = ApplicationsDeleted;
        DeleteOrphanApplications();
        ApplicationsDeleted += withRequisitions;
        if (m_stopped)
            return;
    }
    DeleteOldContacts();
}

void PurgeDelete::DeleteOldContacts()
{
    step(QStringLiteral("Deleting Old E-Mail Address"));
    QSqlQuery& q = m_data.database().execCached(
        QStringLiteral("DELETE FROM dept_contacts WHERE Updated <> '' AND Updated <= ?"),
        {iso(m_data.today().addDays(-365))});
    ContactsDeleted = std::max(0, q.numRowsAffected());
    q.finish();
}

void PurgeDelete::RemoveFilledReqsFromWeb()
{
    m_stopped = false;
    FileCount = 0;
    RequisitionsKept.clear();
    bool webDown = false;
    for (const Requisition& r :
         requisitionsWhere(m_data.database(), QStringLiteral("PositionFilled = 1 AND WebAddress <> ''"))) {
        if (stopRequested())
            break;
        if (webDown) {
            RequisitionsKept << r.number + QStringLiteral(": the web server could not be reached");
            continue;
        }
        if (!RemoveWebDirectory(m_data, m_talk, r.webAddress, r.department, r.number, r.title, &publisher())) {
            if (publisher().cancelled()) {
                m_stopped = true;
                break;
            }
            webDown = publisher().logins() == 0;
            RequisitionsKept << r.number + QStringLiteral(": its web directory could not be removed");
            continue;
        }
        ++FileCount;
        // The address goes only while it is the one removed.
        m_data.database()
            .execCached(QStringLiteral("UPDATE requisitions SET WebAddress = '' WHERE ReqNumber = ? AND "
                                       "PositionFilled = 1 AND WebAddress = ?"),
                        {r.number, r.webAddress})
            .finish();
    }
}

// ---- the menu commands

namespace {

OperationResult ended(const PurgeDelete& p, const QString& text)
{
    return p.stopped() ? OperationResult::cancelled(text) : OperationResult::done(text);
}

// A command shown in the purge window, or without one under the please-wait window
// with Cancel.
OperationSteps purgeSteps(const QString& question, const PurgeView& view)
{
    OperationSteps steps;
    steps.question = question;
    if (!view) {
        steps.waitText = QStringLiteral("Please Wait Purging/Deleting Information");
        steps.cancellable = true;
    }
    return steps;
}

} // namespace

OperationResult PurgeFilesCommand(TMerrowindData& data, UserTalk& talk, const PurgeView& view)
{
    PurgeDelete purge(data, talk, view);
    if (const QString problem = purge.documentDirectoryProblem(); !problem.isEmpty()) {
        talk.error(problem);
        return OperationResult::failed(problem);
    }
    OperationSteps steps = purgeSteps(QStringLiteral("Are You Sure You Want To Purge Files?"), view);
    steps.work = [&](UserTalk& t) {
        const int raised = RaisePurgeDates(data, t);
        purge.PurgeApplicants();
        const QString text = QStringLiteral("Results From Purge of Database:") + kBreak + kBreak +
                             QStringLiteral("Records Deleted: ") + QString::number(purge.RecordCount) + kBreak +
                             QStringLiteral("Files Deleted: ") + QString::number(purge.FileCount) +
                             notDoneLines(QStringLiteral("Files Not Deleted"), purge.FilesNotDeleted);
        OperationResult r = ended(purge, text);
        r.count(QStringLiteral("Purge Dates Raised"), raised);
        r.count(QStringLiteral("Records Deleted"), purge.RecordCount);
        r.count(QStringLiteral("Files Deleted"), purge.FileCount);
        r.count(QStringLiteral("Files Not Deleted"), purge.FilesNotDeleted.size());
        if (data.SystemInfo.DeleteInvalid)
            r.count(QStringLiteral("Applications Deleted"), purge.ApplicationsDeleted);
        return r;
    };
    return runOperation(talk, steps);
}

OperationResult DeleteOldRequisitionsCommand(TMerrowindData& data, UserTalk& talk, const PurgeView& view)
{
    PurgeDelete purge(data, talk, view);
    OperationSteps steps = purgeSteps(QStringLiteral("Are You Sure You Want To Delete Old Requistions?"), view);
    steps.work = [&](UserTalk&) {
        purge.DeleteOldRequisitions();
        const QString text = QStringLiteral("Results From Delete Requistions:") + kBreak + kBreak +
                             QStringLiteral("Records Deleted: ") + QString::number(purge.RecordCount) +
                             notDoneLines(QStringLiteral("Requisitions Kept"), purge.RequisitionsKept);
        OperationResult r = ended(purge, text);
        r.count(QStringLiteral("Records Deleted"), purge.RecordCount);
        r.count(QStringLiteral("Requisitions Kept"), purge.RequisitionsKept.size());
        r.count(QStringLiteral("Applications Deleted"), purge.ApplicationsDeleted);
        r.count(QStringLiteral("Contacts Deleted"), purge.ContactsDeleted);
        return r;
    };
    return runOperation(talk, steps);
}

OperationResult MarkOldRequisitionsCommand(TMerrowindData& data, UserTalk& talk)
{
    if (!talk.ask(QStringLiteral("Are You Sure You Want To Mark Old Requistions?")))
        return OperationResult::declined();
    if (data.LoginData.EMailAddress.trimmed().isEmpty()) {
        const QString text = QStringLiteral("Your E-Mail Address Has Not Been Setup");
        talk.error(text);
        return OperationResult::failed(text);
    }
    PurgeDelete purge(data, talk);
    OperationSteps steps;
    steps.waitText = QStringLiteral("Please Wait, Marking Old Requisitions");
    steps.cancellable = true;
    steps.work = [&](UserTalk&) {
        purge.MarkOldRequisitions();
        const QString text = QStringLiteral("Results From Mark Old Requisitions:") + kBreak + kBreak +
                             QStringLiteral("Records Marked For Deletions: ") + QString::number(purge.RecordCount) +
                             notDoneLines(QStringLiteral("Groups Not Told"), purge.GroupsNotTold);
        OperationResult r = ended(purge, text);
        r.count(QStringLiteral("Records Marked For Deletions"), purge.RecordCount);
        r.count(QStringLiteral("Notices Sent"), purge.NoticesSent);
        r.count(QStringLiteral("Groups Not Told"), purge.GroupsNotTold.size());
        return r;
    };
    return runOperation(talk, steps);
}

OperationResult RemoveFilledReqsFromWebCommand(TMerrowindData& data, UserTalk& talk)
{
    PurgeDelete purge(data, talk);
    OperationSteps steps;
    steps.question = QStringLiteral("Are You Sure You Want To Removed Fill Requistions From The Web?");
    steps.waitText = QStringLiteral("Please Wait, Removing Fill Requistions From Web");
    steps.cancellable = true;
    steps.work = [&](UserTalk&) {
        purge.RemoveFilledReqsFromWeb();
        const QString text = QStringLiteral("Results From Remove Old Requistions From Web:") + kBreak + kBreak +
                             QStringLiteral("Requestions Deleted: ") + QString::number(purge.FileCount) +
                             notDoneLines(QStringLiteral("Requisitions Kept"), purge.RequisitionsKept);
        OperationResult r = ended(purge, text);
        r.count(QStringLiteral("Requestions Deleted"), purge.FileCount);
        r.count(QStringLiteral("Requisitions Kept"), purge.RequisitionsKept.size());
        return r;
    };
    return runOperation(talk, steps);
}

OperationResult DeleteInvalidApplicationsCommand(TMerrowindData& data, UserTalk& talk, const PurgeView& view)
{
    PurgeDelete purge(data, talk, view);
    OperationSteps steps = purgeSteps(QStringLiteral("Are You Sure You Want To Delete Invalid Applications?"), view);
    steps.work = [&](UserTalk&) {
        {
            ViewScope shown(view);
            purge.DeleteOrphanApplications();
        }
        // No results box; the count is for the command line.
        OperationResult r = ended(purge, QString());
        r.count(QStringLiteral("Applications Deleted"), purge.ApplicationsDeleted);
        return r;
    };
    return runOperation(talk, steps);
}

} // namespace mw
