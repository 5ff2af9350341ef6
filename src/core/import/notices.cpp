#include "import/notices.h"

#include "datastore/merrowinddata.h"
#include "mail/mailsend.h"
#include "shared/usertalk.h"

#include <QSqlQuery>

namespace mw {

namespace {

const QString kAllJobs = QStringLiteral("All Know Jobs");

// A sorted list without duplicates (ignoring case) or empty entries.
QStringList recipientList(const QStringList& addresses)
{
    QMap<QString, QString> byKey;
    for (const QString& a : addresses) {
        const QString t = a.trimmed();
        if (!t.isEmpty() && !byKey.contains(t.toLower()))
            byKey.insert(t.toLower(), t);
    }
    return byKey.values();
}

} // namespace

Notices::Notices(TMerrowindData& data, UserTalk& talk)
    : m_data(data)
    , m_talk(talk)
{
}

bool Notices::guard()
{
    if (!m_data.SystemInfo.InformUsers)
        return false;
    if (m_data.LoginData.EMailAddress.isEmpty()) {
        m_talk.error(QStringLiteral("Your E-Mail Address Has Not Been Setup"));
        return false;
    }
    return true;
}

void Notices::readLines()
{
    if (m_lines)
        return;
    m_lines.emplace();
    m_allLines.clear();
    // One pass over the unreviewed applications of unfilled requisitions.
    QSqlQuery q = m_data.database().exec(QStringLiteral(
        "SELECT COALESCE(r.JobPostingID, ''), r.ReqNumber, COALESCE(r.Department, ''), a.n "
        "FROM (SELECT ReqNumber, COUNT(*) AS n FROM applications WHERE Reviewed IS NULL OR Reviewed = 0 "
        "GROUP BY ReqNumber) a JOIN requisitions r ON a.ReqNumber = r.ReqNumber "
        "WHERE r.PositionFilled IS NULL OR r.PositionFilled = 0 "
        "ORDER BY 1, 2"));
    while (q.next()) {
        const QString group = q.value(0).toString();
        const QString count = QStringLiteral("   (Unreviewed = %1)").arg(q.value(3).toLongLong());
        const QString line = group.isEmpty()
                                 ? QStringLiteral("   ") + count
                                 : group + QLatin1Char(' ') + q.value(1).toString() + QLatin1Char(' ') +
                                       q.value(2).toString() + count;
        (*m_lines)[group] << line;
        m_allLines << line;
    }
}

QStringList Notices::noticeLines(const QString& group)
{
    readLines();
    return group.isEmpty() ? m_allLines : m_lines->value(group);
}

bool Notices::SendNewApplicantsNotice(const QString& group, const QString& subjectText, const QStringList& recipients)
{
    const QStringList lines = noticeLines(group);
    if (lines.isEmpty())
        return false;
    const QStringList to = recipientList(recipients);
    if (to.isEmpty())
        return false; // a group nobody with an address follows
    if (m_serverDown) {
        ++m_skipped;
        return false;
    }
    MailSend mail(mailServerOf(m_data), m_talk);
    mail.Message.FromAddress = m_data.LoginData.EMailAddress;
    mail.Message.FromName = m_data.LoginData.UserName;
    mail.Message.ToAddresses = to.join(QLatin1Char(','));
    mail.Message.Subject = QStringLiteral("New Applicants Loaded For ") + subjectText;
    mail.Message.MaxBytes = 0;
    mail.Message.AsHTML = false;
    mail.Message.addLine(QStringLiteral("New Applicants Have Been Added To the following Job Requisitions"));
    mail.Message.addLine(QStringLiteral(" "));
    mail.Message.addLines(lines);
    if (mail.Send()) {
        ++m_sent;
        return true;
    }
    ++m_failed;
    if (mail.serverUnreachable())
        m_serverDown = true;
    return false;
}

void Notices::NotifyPostingGroups(const QString& group)
{
    if (m_depth == 0 && !guard())
        return;
    ++m_depth;
    // Each group with its followers' addresses, read in one pass.
    QList<QPair<QString, QString>> groups; // id, description
    QHash<QString, QStringList> followers;
    {
        QSqlQuery q = group.isEmpty()
                          ? m_data.database().exec(QStringLiteral(
                                "SELECT JobPostingID, Description FROM job_postings ORDER BY rid"))
                          : m_data.database().exec(QStringLiteral("SELECT JobPostingID, Description FROM job_postings "
                                                                  "WHERE JobPostingID = ? ORDER BY rid"),
                                                   {group});
        while (q.next())
            if (!q.value(0).toString().isEmpty())
                groups.append({q.value(0).toString(), q.value(1).toString()});
        const QString userId = m_data.upper(QStringLiteral("u.UserID"));
        const QString listed = m_data.upper(QStringLiteral("n.UserID"));
        QSqlQuery f = m_data.database().exec(
            QStringLiteral("SELECT n.JobPostingID, u.ForwardJobTo, u.EMailAddress FROM notify_list n "
                           "JOIN users u ON %1 = %2 ORDER BY n.RecordNumber")
                .arg(userId, listed));
        while (f.next()) {
            const QString forward = f.value(1).toString();
            followers[f.value(0).toString()] << (forward.isEmpty() ? f.value(2).toString() : forward);
        }
    }
    for (const auto& [id, description] : std::as_const(groups))
        SendNewApplicantsNotice(id, description, followers.value(id));
    if (group.isEmpty())
        NotifyAllJobsUsers();
    --m_depth;
}

void Notices::NotifyAllJobsUsers(const QString& user)
{
    if (m_depth == 0 && !guard())
        return;
    ++m_depth;
    QStringList addresses;
    {
        QSqlQuery q = user.isEmpty()
                          ? m_data.database().exec(
                                QStringLiteral("SELECT ForwardJobTo, EMailAddress FROM users WHERE NotifyAll = 1"))
                          : m_data.database().exec(QStringLiteral("SELECT ForwardJobTo, EMailAddress FROM users "
                                                                  "WHERE %1 = ?")
                                                       .arg(m_data.upper(QStringLiteral("UserID"))),
                                                   {user.toUpper()});
        while (q.next()) {
            const QString forward = q.value(0).toString();
            addresses << (forward.isEmpty() ? q.value(1).toString() : forward);
        }
    }
    SendNewApplicantsNotice(QString(), kAllJobs, addresses);
    --m_depth;
}

void Notices::NotifyUser(const QString& user)
{
    if (m_depth == 0 && !guard())
        return;
    ++m_depth;
    TLoginData who;
    m_data.LoadUser(user, who);
    if (who.NotifyAll) {
        NotifyAllJobsUsers(user);
    } else {
        const QStringList to{who.EMailAddress};
        QStringList groups;
        {
            QSqlQuery q = m_data.database().exec(QStringLiteral("SELECT JobPostingID FROM notify_list WHERE %1 = ? "
                                                                "ORDER BY RecordNumber")
                                                     .arg(m_data.upper(QStringLiteral("UserID"))),
                                                 {user.toUpper()});
            while (q.next())
                if (!q.value(0).toString().isEmpty())
                    groups << q.value(0).toString();
        }
        for (const QString& g : std::as_const(groups))
            SendNewApplicantsNotice(g, m_data.PostingGroupDescription(g), to);
    }
    --m_depth;
}

OperationResult Notices::result() const
{
    OperationResult r;
    if (m_failed == 0 && m_skipped == 0)
        r = OperationResult::done();
    else if (m_skipped == 0)
        r = OperationResult::failed(QStringLiteral("%1 notice(s) could not be sent.").arg(m_failed));
    else
        r = OperationResult::failed(QStringLiteral("The mail server could not be reached: %1 notice(s) were not "
                                                   "sent; after the first failure the others were not tried.")
                                        .arg(m_failed + m_skipped));
    r.count(QStringLiteral("Notices Sent"), m_sent);
    r.count(QStringLiteral("Notices Not Sent"), m_failed + m_skipped);
    return r;
}

namespace {

const QString kResendQuestion = QStringLiteral("Are You Sure You Want To Resend The Notification List?");

OperationResult runNotices(TMerrowindData& data, UserTalk& talk, const QString& question,
                           const std::function<void(Notices&)>& what)
{
    if (!data.SystemInfo.InformUsers)
        return OperationResult::declined();
    return runOperation(talk, {question, QStringLiteral("Sending Notices, Please Wait"), true, [&](UserTalk& t) {
                                   Notices n(data, t);
                                   what(n);
                                   return n.result();
                               }});
}

} // namespace

OperationResult notifyAll(TMerrowindData& data, UserTalk& talk)
{
    return runNotices(data, talk, kResendQuestion, [](Notices& n) { n.NotifyPostingGroups(); });
}

OperationResult notifyGroup(TMerrowindData& data, UserTalk& talk, const QString& group, bool askFirst)
{
    return runNotices(data, talk, askFirst ? kResendQuestion : QString(),
                      [&group](Notices& n) { n.NotifyPostingGroups(group); });
}

QString notifyQuestion() { return kResendQuestion; }

QString notifyUserChoiceError(const QString& userId)
{
    return userId.trimmed().isEmpty() ? QStringLiteral("Error: You Have Not Selected An Employee!") : QString();
}

QString notifyGroupChoiceError(const QString& group)
{
    return group.trimmed().isEmpty() ? QStringLiteral("Error: You Have Not Selected A Job Posting Group!") : QString();
}

OperationResult notifyOneUser(TMerrowindData& data, UserTalk& talk, const QString& user)
{
    if (!data.SystemInfo.InformUsers)
        return OperationResult::declined();
    TLoginData who;
    data.LoadUser(user, who);
    if (who.EMailAddress.isEmpty()) {
        talk.error(QStringLiteral("Error: This Employee Does Not Have An E-Mail Address!"));
        return OperationResult::failed(QString());
    }
    // The dialog asked already.
    return runNotices(data, talk, QString(), [&user](Notices& n) { n.NotifyUser(user); });
}

} // namespace mw
