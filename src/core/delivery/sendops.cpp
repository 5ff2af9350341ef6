#include "delivery/sendops.h"

#include "datastore/merrowinddata.h"
#include "delivery/deptfiles.h"
#include "delivery/fileutils.h"
#include "delivery/websend.h"
#include "mail/mailsend.h"
#include "shared/platform.h"
#include "shared/usertalk.h"
#include "web/ftppublisher.h"

#include <QHash>
#include <QScopeGuard>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace mw {

namespace {

const QString kAborted = QStringLiteral("Operation Aborted");
const QString kApplicationsSent = QStringLiteral("Applications Sent");
const QString kApplicationsNotSent = QStringLiteral("Applications Not Sent");
const QString kDocumentsMissing = QStringLiteral("Documents Missing");
const QString kMessagesSent = QStringLiteral("Messages Sent");
// Statements with a list of values take at most this many at a time.
constexpr qsizetype kListChunk = 500;

QDate storedDate(const QVariant& v)
{
    return v.isNull() ? QDate() : QDate::fromString(v.toString().left(10), Qt::ISODate);
}

QString placeholders(qsizetype n)
{
    return QLatin1Char('(') + QStringList(n, QStringLiteral("?")).join(QStringLiteral(", ")) + QLatin1Char(')');
}

// The header every department message carries.
void fillHeader(TMailMessage& m, const TMerrowindData& data, const TRequistionData& r, const QString& subject)
{
    m.Subject = subject + QStringLiteral(" Req#: ") + r.JobPostingID + r.ReqNumber + QLatin1Char(' ') + r.PositionTitle;
    m.FromAddress = data.LoginData.EMailAddress;
    m.FromName = data.LoginData.UserName;
    m.ToAddresses = r.EMailAddress;
    m.MaxBytes = r.MaxFiles;
    m.AsHTML = r.SendAsHTML;
}

QString criteriaMissing(const TRequistionData& r)
{
    return QStringLiteral("Selection Criteria Has Not Been Submited For This Requisition.\n") +
           SendOperations::requisitionLines(r);
}

// The department's files of one operation, in a directory of their own that goes
// with the operation.
struct DeptWork
{
    DeptWork(TMerrowindData& data, UserTalk& talk)
        : dir(TempPath() + QStringLiteral("dept-XXXXXX"))
        , files(data, talk)
    {
        if (!dir.isValid())
            throw FileError(QStringLiteral("Cannot make a directory for the department's files in %1: %2")
                                .arg(TempPath(), dir.errorString()));
        files.TempDir = dir.path() + QLatin1Char('/');
    }
    QTemporaryDir dir;
    TDeptFiles files;
};

} // namespace

// ---------------------------------------------------------------- the sent dates

SentStamp SetSentDate(TMerrowindData& data, const QStringList& applicants, const QString& reqNumber)
{
    SentStamp stamp;
    stamp.reqNumber = reqNumber;
    stamp.day = data.today();
    if (applicants.isEmpty())
        return stamp;
    Database& db = data.database();
    Transaction transaction(db);
    for (qsizetype at = 0; at < applicants.size(); at += kListChunk) {
        const QStringList part = applicants.mid(at, kListChunk);
        QVariantList binds{reqNumber};
        for (const QString& a : part)
            binds << a;
        const QString list = placeholders(part.size());
        QSqlQuery before = db.exec(
            QStringLiteral("SELECT ApplicantID, SemtDate FROM applications WHERE ReqNumber = ? AND ApplicantID IN %1")
                .arg(list),
            binds);
        while (before.next())
            stamp.previous.append({before.value(0).toString(), storedDate(before.value(1))});
        db.exec(QStringLiteral("UPDATE applications SET SemtDate = ? WHERE ReqNumber = ? AND ApplicantID IN %1").arg(list),
                QVariantList{stamp.day} + binds);
    }
    transaction.commit();
    return stamp;
}

int ClearSentDate(TMerrowindData& data, const SentStamp& stamp)
{
    if (stamp.isEmpty())
        return 0;
    Database& db = data.database();
    Transaction transaction(db);
    int restored = 0;
    for (const auto& [applicant, before] : stamp.previous)
        if (before != stamp.day)
            restored += TQuery::run(db,
                                    QStringLiteral("UPDATE applications SET SemtDate = ? WHERE ReqNumber = ? AND "
                                                   "ApplicantID = ? AND SemtDate = ?"),
                                    {before, stamp.reqNumber, applicant, stamp.day});
    transaction.commit();
    return restored;
}

// ---------------------------------------------------------------- the operations

SendOperations::SendOperations(TMerrowindData& data, UserTalk& talk)
    : m_data(data)
    , m_talk(talk)
{
}

SendOperations::~SendOperations() = default;

QString SendOperations::requisitionLines(const TRequistionData& r)
{
    return QStringLiteral("Requisition: ") + r.ReqNumber + QLatin1Char(' ') + r.PositionTitle +
           QStringLiteral("\nDepartment: ") + r.Department;
}

OperationResult SendOperations::fail(const QString& text)
{
    m_talk.error(text);
    return OperationResult::failed(text);
}

OperationResult SendOperations::guarded(const std::function<OperationResult()>& work)
{
    OperationScope running;
    // The publisher lives for the outermost operation: one log-in for a group's run,
    // and a Cancel does not reach into the next operation.
    ++m_depth;
    const auto ended = qScopeGuard([this] {
        if (--m_depth == 0)
            m_ftp.reset();
    });
    try {
        return work();
    } catch (const std::exception& e) {
        return fail(QString::fromStdString(e.what()));
    }
}

FtpPublisher& SendOperations::ftp()
{
    if (!m_ftp) {
        m_ftp = std::make_unique<FtpPublisher>(m_data, m_talk);
        if (ShowFtp)
            ShowFtp(*m_ftp);
    }
    return *m_ftp;
}

bool SendOperations::loadRequisition(const QString& reqNumber, TRequistionData& requisition, OperationResult& refusal)
{
    QSqlQuery q = m_data.database().exec(QStringLiteral("SELECT COUNT(*) FROM requisitions WHERE ReqNumber = ?"),
                                         {reqNumber});
    if (reqNumber.isEmpty() || !q.next() || q.value(0).toInt() == 0) {
        refusal = fail(QStringLiteral("Requisition %1 Was Not Found.").arg(reqNumber));
        return false;
    }
    m_data.LoadRequisition(reqNumber, requisition);
    return true;
}

OperationResult SendOperations::outcome(const MailSend& mail, const QStringList& problems) const
{
    if (mail.cancelled() || (m_ftp && m_ftp->cancelled()))
        return OperationResult::cancelled();
    if (!mail.Sent)
        return OperationResult::failed(QStringLiteral("Error: E-Mail Not Sent\n\n") + mail.ErrorText);
    if (!problems.isEmpty())
        return OperationResult::failed(problems.join(QLatin1Char('\n')));
    return OperationResult::done();
}

void SendOperations::send(MailSend& mail)
{
    if (ShowMail)
        ShowMail(mail);
    {
        WaitScope wait(m_talk, QStringLiteral("Sending Mail, Please Wait"), true);
        mail.Send();
    }
    // A message left without a recipient says nothing by itself.
    if (!mail.Sent && mail.recipients().isEmpty() && !mail.cancelled())
        m_talk.error(QStringLiteral("Error: E-Mail Not Sent\n\n") + mail.ErrorText);
}

bool SendOperations::CheckSelectionCriteria(const TRequistionData& requisition)
{
    if (requisition.SelectionCriteria)
        return true;
    m_talk.error(criteriaMissing(requisition));
    return false;
}

OperationResult SendOperations::CheckInitialForms(const TRequistionData& requisition)
{
    if (requisition.SendFirstData ||
        !m_talk.ask(QStringLiteral("Initial Forms Have Not Been Sent To The Department, Do You Wish To Send Them?\n") +
                    requisitionLines(requisition)))
        return OperationResult::done();
    return SendInitialForms(requisition.ReqNumber);
}

OperationResult SendOperations::SendApplication(const QString& reqNumber, const QString& applicantId)
{
    return sendApplications(Selection::One, reqNumber, applicantId);
}

OperationResult SendOperations::SendUnsentApplications(const QString& reqNumber)
{
    return sendApplications(Selection::Unsent, reqNumber, QString());
}

OperationResult SendOperations::SendAllApplications(const QString& reqNumber)
{
    return sendApplications(Selection::All, reqNumber, QString());
}

OperationResult SendOperations::ResendApplications(const QString& reqNumber, const QString& sentDate)
{
    return sendApplications(Selection::Resend, reqNumber, sentDate);
}

OperationResult SendOperations::SendInitialForms(const QString& reqNumber)
{
    return sendForms(Forms::Initial, reqNumber);
}

OperationResult SendOperations::SendFinalForms(const QString& reqNumber)
{
    return sendForms(Forms::Final, reqNumber);
}

QStringList SendOperations::selected(Selection selection, const TRequistionData& r, const QString& argument)
{
    const QDate close = QDate::fromString(r.CloseDate, QStringLiteral("MM/dd/yyyy"));
    const QVariant closeDay = close.isValid() ? QVariant(close) : QVariant(QStringLiteral("9999-01-01"));
    QString condition;
    QVariantList binds{r.ReqNumber};
    switch (selection) {
    case Selection::One:
        condition = QStringLiteral("ApplicantID = ? AND Approved = 1");
        binds << argument;
        break;
    case Selection::Unsent:
        condition = QStringLiteral("Approved = 1 AND SemtDate IS NULL AND (DispDate <= ? OR DispDate IS NULL)");
        binds << closeDay;
        break;
    case Selection::All:
        condition = QStringLiteral("Approved = 1 AND (DispDate <= ? OR DispDate IS NULL)");
        binds << closeDay;
        break;
    case Selection::Resend:
        condition = QStringLiteral("SemtDate = ?");
        binds << QDate::fromString(argument, QStringLiteral("MM/dd/yyyy"));
        break;
    }
    QStringList ids;
    QSqlQuery q = m_data.database().exec(
        QStringLiteral("SELECT ApplicantID FROM applications WHERE ReqNumber = ? AND %1 ORDER BY rid").arg(condition),
        binds);
    while (q.next())
        ids << q.value(0).toString();
    return ids;
}

OperationResult SendOperations::sendApplications(Selection selection, const QString& reqNumber,
                                                 const QString& argument)
{
    return guarded([&]() -> OperationResult {
        const bool one = selection == Selection::One;
        const bool resend = selection == Selection::Resend;
        if (resend && !QDate::fromString(argument.trimmed(), QStringLiteral("MM/dd/yyyy")).isValid())
            return fail(QStringLiteral("\"%1\" Is Not A Date (mm/dd/yyyy).").arg(argument));
        TRequistionData r;
        OperationResult refusal;
        if (!loadRequisition(reqNumber, r, refusal))
            return refusal;
        const QString lines = requisitionLines(r);
        if (!CheckSelectionCriteria(r))
            return OperationResult::failed(criteriaMissing(r));
        if (const OperationResult forms = CheckInitialForms(r); forms.isCancelled())
            return forms;

        QString question;
        switch (selection) {
        case Selection::One:
            question = QStringLiteral("Are You Sure You Want To Send This Application?");
            break;
        case Selection::Unsent:
            question = QStringLiteral("Are You Sure You Want To Send All Unsent Applications?\n") + lines;
            break;
        case Selection::All:
            question = QStringLiteral("Are You Sure You Want To Send All Applications?\n") + lines;
            break;
        case Selection::Resend:
            question = QStringLiteral("Are You Sure You Want To ReSend All Applications?\n") + lines;
            break;
        }
        if (!m_talk.ask(question)) {
            m_talk.error(kAborted);
            return OperationResult::declined();
        }

        DeptWork work(m_data, m_talk);
        MailSend mail(mailServerOf(m_data), m_talk, Extra);
        fillHeader(mail.Message, m_data, r, m_data.SystemInfo.SubjectSend);
        work.files.Message = &mail.Message;
        work.files.StartDeptBody(r);

        // The applications with their documents; the others' applicants are named.
        QStringList sentList;
        QStringList uploads;
        QStringList missing;
        QHash<QString, QString> applicantOfDocument;
        for (const QString& id : selected(selection, r, argument.trimmed())) {
            TApplicantData applicant;
            m_data.LoadApplicant(id, applicant);
            if (!m_data.ScannedFileExists(id)) {
                missing << (applicant.Name.isEmpty() ? id : applicant.Name);
                continue;
            }
            sentList << id;
            mail.Message.addLine(work.files.ApplicationLine(applicant, r));
            const QString document = m_data.ScannedFileName(id);
            applicantOfDocument.insert(document, id);
            if (r.SendAsEMail)
                mail.Message.attach(document);
            else
                uploads << document;
        }
        bool goOn = true;
        if (!missing.isEmpty()) {
            const QString warning =
                QStringLiteral("Warning\n\nCould Not Find Applications For The  Following Applicants\n") +
                missing.join(QLatin1Char('\n'));
            if (one)
                return fail(warning);
            goOn = m_talk.ask(warning + QStringLiteral("\n\nDo You Still Want To Send ?"));
        }
        if (sentList.isEmpty())
            return fail(one ? QStringLiteral("Application Not Approved for Sending")
                            : QStringLiteral("No Applications Are Available For Sending\n") + lines);
        if (!goOn) {
            m_talk.error(kAborted);
            return OperationResult::declined();
        }
        // Nothing would tell the department; printing is not offered here.
        if (r.EMailAddress.trimmed().isEmpty()) {
            if (m_talk.ask(QStringLiteral("No E-Mail Address Has Been Defined For This Requisition, Send Information "
                                          "To Printer?\n") +
                           lines))
                return fail(QStringLiteral("Warning, Applications Not Sent"));
            m_talk.error(kAborted);
            return OperationResult::declined();
        }
        work.files.EndDeptBody(r);

        // The web: the index page must be possible before anything goes, then the
        // documents go up whole, and only then the message that links them.
        if (!r.SendAsEMail) {
            const QString notUploaded = QStringLiteral("An Error Occured During The Upload Of File To The Web, Not All "
                                                       "The Files Where Uploaded.\nAn E-Mail Was Not Sent to The "
                                                       "Department\n") +
                                        lines + QLatin1Char('\n');
            // (A requisition without a web address is told so by the upload.)
            const QString problem = r.WebAddress.trimmed().isEmpty() ? QString() : deptIndexProblem(m_data, m_talk);
            if (!problem.isEmpty()) {
                m_talk.inform(notUploaded + problem);
                return OperationResult::failed(notUploaded + problem);
            }
            if (!UploadApplications(m_data, m_talk, ftp(), r, uploads, false)) {
                OperationResult stopped = ftp().cancelled() ? OperationResult::cancelled()
                                                           : OperationResult::failed(notUploaded + ftp().failureText());
                return stopped.count(kApplicationsSent, 0).count(kApplicationsNotSent, sentList.size());
            }
        }

        send(mail);

        // What reached the department: the documents of the messages the server took
        // for someone, or on the web every link of the message.
        QSet<QString> reached;
        if (r.SendAsEMail) {
            for (const QString& document : mail.deliveredAttachments())
                if (const QString id = applicantOfDocument.value(document); !id.isEmpty())
                    reached.insert(id);
        } else if (mail.messagesSent() > 0) {
            reached = QSet<QString>(sentList.cbegin(), sentList.cend());
        }
        QStringList delivered;
        for (const QString& id : std::as_const(sentList))
            if (reached.contains(id))
                delivered << id;

        QStringList problems;
        if (!mail.Sent && !delivered.isEmpty())
            m_talk.inform(QStringLiteral("%1 of %2 Application(s) Reached The Department Before The Failure%3: %4")
                              .arg(delivered.size())
                              .arg(sentList.size())
                              .arg(resend ? QString() : QStringLiteral(" And Are Recorded As Sent"),
                                   delivered.join(QStringLiteral(", "))));
        bool stamped = false;
        if (!resend && !delivered.isEmpty()) {
            try {
                SetSentDate(m_data, delivered, r.ReqNumber);
                stamped = true;
            } catch (const std::exception& e) {
                const QString text = QStringLiteral("The Applications Were Sent, But Their Sent Dates Could Not Be "
                                                    "Recorded: %1\nApplicants: %2\n")
                                         .arg(QString::fromStdString(e.what()), delivered.join(QStringLiteral(", "))) +
                                     lines;
                m_talk.error(text);
                problems << text;
            }
        }
        // The department's page links what the database now says was sent.
        if (!r.SendAsEMail && stamped && !UploadDeptIndex(m_data, m_talk, ftp(), r) && !ftp().cancelled()) {
            const QString text = QStringLiteral("The Applications Were Sent, But The Department's Index Page Could Not "
                                                "Be Uploaded; Reload The Requisition's Web Applications To Repair It.\n") +
                                 lines + QLatin1Char('\n') + ftp().failureText();
            m_talk.error(text);
            problems << text;
        }

        OperationResult result = outcome(mail, problems);
        result.count(kApplicationsSent, delivered.size());
        result.count(kApplicationsNotSent, sentList.size() - delivered.size());
        result.count(kDocumentsMissing, missing.size());
        result.count(kMessagesSent, mail.messagesSent());
        return result;
    });
}

OperationResult SendOperations::sendForms(Forms forms, const QString& reqNumber)
{
    return guarded([&]() -> OperationResult {
        TRequistionData r;
        OperationResult refusal;
        if (!loadRequisition(reqNumber, r, refusal))
            return refusal;
        const bool initial = forms == Forms::Initial;
        const TSystemInfo& settings = m_data.SystemInfo;

        DeptWork work(m_data, m_talk);
        MailSend mail(mailServerOf(m_data), m_talk, Extra);
        fillHeader(mail.Message, m_data, r, initial ? settings.SubjectFirst : settings.SubjectLast);
        QStringList body = r.MessageToDept;
        work.files.FillReqPlaceholderLines(body, r);
        mail.Message.addLines(body);
        mail.Message.addLine(QStringLiteral(" "));
        work.files.Message = &mail.Message;
        if (initial) {
            work.files.AttachDirectory(settings.FilesSendFirst);
            work.files.AttachMemo(r);
            work.files.AttachDirectory(r.ExemptPosition ? settings.ExemptFiles : settings.NonExemptFiles);
        } else {
            work.files.AttachDirectory(settings.FilesSendLast);
            if (settings.MakeAppFlow)
                work.files.MakeFlowFiles(r);
        }

        send(mail);
        // Every form reached the department, in messages the server took for someone.
        const bool reached = mail.messagesSent() > 0 &&
                             mail.deliveredAttachments().size() == mail.Message.Attachments.size();
        QStringList problems;
        if (reached) {
            if (!mail.Sent)
                m_talk.inform(QStringLiteral("The Forms Reached The Department Before The Failure And Are Recorded "
                                             "As Sent.\n") +
                              requisitionLines(r));
            TQuery::run(m_data.database(),
                        initial ? QStringLiteral("UPDATE requisitions SET SendFirstData = 1 WHERE ReqNumber = ?")
                                : QStringLiteral("UPDATE requisitions SET FinalSent = 1 WHERE ReqNumber = ?"),
                        {r.ReqNumber});
        }
        // The web page is rewritten after every initial forms message.
        if (initial && !mail.cancelled() && !r.SendAsEMail && !r.WebAddress.trimmed().isEmpty() &&
            !UploadDeptIndex(m_data, m_talk, ftp(), r) && !ftp().cancelled()) {
            const QString text = QStringLiteral("The Department's Index Page Could Not Be Uploaded.\n") +
                                 requisitionLines(r) + QLatin1Char('\n') + ftp().failureText();
            m_talk.error(text);
            problems << text;
        }

        OperationResult result = outcome(mail, problems);
        result.count(QStringLiteral("Forms Sent"), reached ? mail.Message.Attachments.size() : 0);
        result.count(kMessagesSent, mail.messagesSent());
        return result;
    });
}

OperationResult SendOperations::SendNewApplicationsForGroup(const QString& group)
{
    return guarded([&]() -> OperationResult {
        // The group is a prefix, in capitals; "!" escapes the pattern's own characters.
        QString pattern = group.trimmed().toUpper();
        pattern.replace(QLatin1Char('!'), QStringLiteral("!!"))
            .replace(QLatin1Char('%'), QStringLiteral("!%"))
            .replace(QLatin1Char('_'), QStringLiteral("!_"));
        QString sql = QStringLiteral(
                          "SELECT DISTINCT Req.ReqNumber FROM requisitions Req, applications Apps, applicants App "
                          "WHERE Req.ReqNumber = Apps.ReqNumber AND Apps.ApplicantID = App.ApplicantID AND "
                          "App.Scanned = 1 AND Apps.Approved = 1 AND Apps.SemtDate IS NULL AND "
                          "%1 LIKE ? ESCAPE '!' AND (Req.PositionFilled IS NULL OR Req.PositionFilled = 0)")
                          .arg(m_data.upper(QStringLiteral("Req.JobPostingID")));
        QVariantList binds{pattern + QLatin1Char('%')};
        if (m_data.LoginData.Restricted) {
            const SqlList groups = m_data.PermittedGroupsSQL();
            sql += QStringLiteral(" AND Req.JobPostingID IN ") + groups.sql;
            binds << groups.binds;
        }
        QStringList numbers;
        {
            QSqlQuery q = m_data.database().exec(sql + QStringLiteral(" ORDER BY Req.ReqNumber"), binds);
            while (q.next())
                numbers << q.value(0).toString();
        }
        if (numbers.isEmpty()) {
            m_talk.inform(QStringLiteral("No New Applications To Send"));
            return OperationResult::done().count(QStringLiteral("Requisitions Sent"), 0).count(kApplicationsSent, 0);
        }
        int sent = 0;
        int declined = 0;
        qint64 applications = 0;
        bool cancelled = false;
        QStringList failed;
        for (const QString& number : std::as_const(numbers)) {
            if (m_talk.cancelled()) {
                cancelled = true;
                break;
            }
            const OperationResult one = SendUnsentApplications(number);
            applications += std::max<qint64>(0, one.countOf(kApplicationsSent));
            if (one.isCancelled()) {
                cancelled = true;
                break;
            }
            if (one.isDone())
                ++sent;
            else if (one.isDeclined())
                ++declined;
            else
                failed << number;
        }
        OperationResult result;
        if (cancelled)
            result = OperationResult::cancelled();
        else if (!failed.isEmpty())
            result = OperationResult::failed(QStringLiteral("The Applications Of %1 Requisition(s) Were Not Sent: %2")
                                                 .arg(failed.size())
                                                 .arg(failed.join(QStringLiteral(", "))));
        else if (sent == 0 && declined > 0)
            result = OperationResult::declined();
        else
            result = OperationResult::done();
        result.count(QStringLiteral("Requisitions Sent"), sent);
        result.count(QStringLiteral("Requisitions Not Sent"), qint64(numbers.size()) - sent);
        result.count(kApplicationsSent, applications);
        return result;
    });
}

} // namespace mw
