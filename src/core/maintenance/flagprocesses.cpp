#include "maintenance/flagprocesses.h"

#include "datastore/merrowinddata.h"
#include "shared/usertalk.h"

#include <algorithm>

namespace mw {

namespace {

// The temporary list of not-rehirable applicants the statements select from.
const QString kNotRehireList = QStringLiteral("mw_notrehire");
// The line break of a results box.
const QString kBreak = QStringLiteral("\n");
const QString kRecordsUpdated = QStringLiteral("Records Updated");

QString dateText(const QDate& d) { return d.toString(QStringLiteral("MM/dd/yyyy")); }

// Clears a flag and its expiry date where the date is today or earlier; a flag
// without a date keeps. Gives the records changed.
int expireFlag(TMerrowindData& data, const QString& flag, const QString& expires)
{
    TQuery& q = data.ApplicantQuery;
    q.clear();
    q.add(QStringLiteral("UPDATE applicants"));
    q.add(QStringLiteral("SET %1 = ?,").arg(flag));
    q.add(QStringLiteral("%1 = NULL").arg(expires));
    q.add(QStringLiteral("WHERE %1 <= ? AND %1 <> ''").arg(expires));
    q.bind(false);
    q.bind(data.today());
    return q.execSql();
}

QString rifResult(int count)
{
    return QStringLiteral("Results From Process RIF Expired Dates:") + kBreak + kBreak +
           QStringLiteral("Records Updated: ") + QString::number(count);
}

QString notRehireExpiredResult(int count)
{
    return QStringLiteral("Results From Process Not Rehirable Expired Dates:") + kBreak + kBreak +
           QStringLiteral("Records Updated: ") + QString::number(count);
}

const QString kNotRehireCaption = QStringLiteral("Results From Process Not Rehirable Flag:");

// Closes the unreviewed applications of the not-rehirable applicants. Gives the
// records changed, or -1 when nobody is flagged.
int processNotRehirable(TMerrowindData& data)
{
    const QStringList ids = NotRehirableList(data);
    if (ids.isEmpty())
        return -1;
    data.fillTempList(kNotRehireList, ids);
    const QDate today = data.today();
    TQuery& q = data.ApplicationQuery;
    q.clear();
    q.add(QStringLiteral("UPDATE applications"));
    q.add(QStringLiteral("SET Approved = ?, Reviewed = ?,"));
    q.add(QStringLiteral("ApprovedBy = NULL, ApprovedDate = ?,"));
    q.add(QStringLiteral("ModifiedBy = NULL, ModifiedDate = ?,"));
    q.add(QStringLiteral("Comments = ?"));
    q.add(QStringLiteral("WHERE (Reviewed IS NULL OR Reviewed = ?)"));
    q.add(QStringLiteral("AND ApplicantID IN (SELECT v FROM %1)").arg(kNotRehireList));
    q.bind({false, true, today, today,
            QStringLiteral("Merrowind Set Application To Not Approved Because of Not Rehirable Flag Set ") +
                dateText(today),
            false});
    return q.execSql();
}

QString notRehireResult(int count)
{
    return kNotRehireCaption + kBreak + kBreak +
           (count < 0 ? QStringLiteral("No Applicants Are Flagged As Not Rehirable")
                      : QStringLiteral("Records Updated: ") + QString::number(count));
}

void refreshApplications(TMerrowindData& data)
{
    if (data.ApplicationTable.active())
        data.ApplicationTable.refresh();
}

} // namespace

void ExpireRIF(TMerrowindData& data, UserTalk& talk, bool showResult)
{
    const int count = expireFlag(data, QStringLiteral("RIF"), QStringLiteral("RIFExpires"));
    if (showResult)
        talk.inform(rifResult(count));
}

void ExpireNotRehirable(TMerrowindData& data, UserTalk& talk, bool showResult)
{
    const int count = expireFlag(data, QStringLiteral("NotRehire"), QStringLiteral("NotRehireExpires"));
    if (showResult)
        talk.inform(notRehireExpiredResult(count));
}

QStringList NotRehirableList(TMerrowindData& data)
{
    QStringList ids;
    TQuery& q = data.ApplicantQuery;
    q.clear();
    q.add(QStringLiteral("SELECT ApplicantID FROM applicants"));
    q.add(QStringLiteral("WHERE NotRehire = ? AND ApplicantID IS NOT NULL"));
    q.add(QStringLiteral("ORDER BY ApplicantID"));
    q.bind(true);
    for (q.open(); !q.eof(); q.next())
        ids << q.asString(QStringLiteral("ApplicantID"));
    q.close();
    return ids;
}

void ProcessNotRehirable(TMerrowindData& data, UserTalk& talk, bool showResult)
{
    const int count = processNotRehirable(data);
    if (showResult)
        talk.inform(notRehireResult(count));
}

OperationResult ProcessRIFCommand(TMerrowindData& data, UserTalk& talk)
{
    return runOperation(talk, {QStringLiteral("Are You Sure You Want To Removed Expired RIF Flags?"),
                               QStringLiteral("Please Wait, Removing Expired RIF Flags"), false, [&](UserTalk&) {
                                   const int count =
                                       expireFlag(data, QStringLiteral("RIF"), QStringLiteral("RIFExpires"));
                                   return OperationResult::done(rifResult(count)).count(kRecordsUpdated, count);
                               }});
}

OperationResult NotRehirableExpiredDatesCommand(TMerrowindData& data, UserTalk& talk)
{
    return runOperation(talk, {QStringLiteral("Are You Sure You Want To Removed Expired Not Rehirable Flags?"),
                               QStringLiteral("Please Wait, Removing Expired Not Rehirable Flags"), false,
                               [&](UserTalk&) {
                                   const int count = expireFlag(data, QStringLiteral("NotRehire"),
                                                                QStringLiteral("NotRehireExpires"));
                                   return OperationResult::done(notRehireExpiredResult(count))
                                       .count(kRecordsUpdated, count);
                               }});
}

OperationResult ProcessNotRehirableCommand(TMerrowindData& data, UserTalk& talk)
{
    return runOperation(talk, {QStringLiteral("Are You Sure You Want To Process The Not Rehirable Flags?"),
                               QStringLiteral("Please Wait, Processing Not Rehirable Flags"), false, [&](UserTalk&) {
                                   const int count = processNotRehirable(data);
                                   return OperationResult::done(notRehireResult(count))
                                       .count(kRecordsUpdated, std::max(count, 0));
                               }});
}

OperationResult MarkOldApplicantsAsReviewed(TMerrowindData& data, UserTalk& talk)
{
    return runOperation(
        talk, {QStringLiteral("Are You Sure You Want To Mark Old Applicants As Reviewed?"),
               QStringLiteral("Please Wait, Marking Applicaions As Reviewed"), false, [&](UserTalk&) {
                   const QDate today = data.today();
                   TQuery& q = data.ApplicationQuery;
                   q.clear();
                   q.add(QStringLiteral("UPDATE applications"));
                   q.add(QStringLiteral("SET Approved = ?, Reviewed = ?,"));
                   q.add(QStringLiteral("ApprovedBy = ?,"));
                   q.add(QStringLiteral("ApprovedDate = ?"));
                   q.add(QStringLiteral("WHERE (DispDate <= ? AND DispDate <> ''"));
                   q.add(QStringLiteral("AND (Reviewed IS NULL OR Reviewed = ?))"));
                   q.bind({false, true, data.LoginData.UserID, today, today.addDays(-30), false});
                   const int count = q.execSql();
                   return OperationResult::done(QStringLiteral("Results From mark Old Applicants As Reviewed:") +
                                                kBreak + kBreak + QStringLiteral("Applicants Marked As Reviewed: ") +
                                                QString::number(count))
                       .count(QStringLiteral("Applicants Marked As Reviewed"), count);
               }});
}

namespace {

// A refusal before anything is asked: the error box, and a failed result.
OperationResult refuse(UserTalk& talk, const QString& error)
{
    talk.error(error);
    return OperationResult::failed(error);
}

// No to a bulk approval change is answered with "Operation Aborted".
OperationResult abortedOnNo(UserTalk& talk, OperationResult result)
{
    if (result.isDeclined())
        talk.inform(QStringLiteral("Operation Aborted"));
    return result;
}

} // namespace

OperationResult ApproveAllScanned(TMerrowindData& data, UserTalk& talk, const QString& reqNumber, const QString& group)
{
    const QString postingGroup = group.toUpper();
    if (reqNumber.isEmpty() && postingGroup.isEmpty())
        return refuse(talk, QStringLiteral("Error, No Posting ID, No Applicants Approved"));
    const bool byRequisition = !reqNumber.isEmpty();
    const QString question = byRequisition
        ? QStringLiteral("Mark All Scanned Applicants For Requisition ") + reqNumber + QStringLiteral(" As Approved?")
        : QStringLiteral("Mark All Scanned Applicants For Posting ID ") + postingGroup +
            QStringLiteral(" As Approved?");
    const auto work = [&](UserTalk&) {
        const QDate today = data.today();
        const QString& user = data.LoginData.UserID;
        // Each application in scope looks up its applicant: a list of every scanned
        // applicant crossed with the requisitions' keys would cost far more. An
        // applicant whose NotRehire is empty counts as rehirable.
        QString scanned = QStringLiteral("EXISTS (SELECT 1 FROM applicants WHERE applicants.ApplicantID = "
                                         "applications.ApplicantID AND applicants.Scanned = ?");
        if (!data.SystemInfo.AllowNotRehireSend)
            scanned += QStringLiteral(" AND (applicants.NotRehire IS NULL OR applicants.NotRehire = ?)");
        scanned += QLatin1Char(')');

        TQuery& q = data.ApplicationQuery;
        q.clear();
        q.add(QStringLiteral("UPDATE applications"));
        q.add(QStringLiteral("SET Approved = ?, Reviewed = ?,"));
        q.add(QStringLiteral("ApprovedBy = ?, ApprovedDate = ?,"));
        q.add(QStringLiteral("ModifiedBy = ?, ModifiedDate = ?"));
        q.bind({true, true, user, today, user, today});
        if (byRequisition) {
            q.add(QStringLiteral("WHERE (ReqNumber = ?) AND ") + scanned);
            q.bind(reqNumber);
        } else {
            q.add(QStringLiteral("WHERE ") + scanned);
        }
        q.bind(true);
        if (!data.SystemInfo.AllowNotRehireSend)
            q.bind(false);
        if (!byRequisition) {
            q.add(QStringLiteral("AND ReqNumber IN (SELECT ReqNumber FROM requisitions WHERE JobPostingID = ?)"));
            q.bind(postingGroup);
        }
        const int count = q.execSql();
        refreshApplications(data);
        return OperationResult::done(byRequisition ? QStringLiteral("All Scanned Applicants For Requisition ") +
                                                         reqNumber + QStringLiteral(" Have Been Approved.")
                                                   : QStringLiteral("All Scanned Applicants For Posting ID ") +
                                                         postingGroup + QStringLiteral(" Have Been Approved?"))
            .count(QStringLiteral("Applications Approved"), count);
    };
    return abortedOnNo(
        talk, runOperation(talk, {question, QStringLiteral("Please Wait Marking Applications As Approved"), false, work}));
}

OperationResult UnapproveByApproveDate(TMerrowindData& data, UserTalk& talk, const QString& reqNumber,
                                       const QDate& date)
{
    if (reqNumber.isEmpty())
        return refuse(talk, QStringLiteral("Error, No Posting ID, No Applicants Marked As Unapproved"));
    const QString day = dateText(date);
    const QString question = QStringLiteral("Mark Applicants With An Approve Date Of ") + day +
                             QStringLiteral(" For Requisition ") + reqNumber + QStringLiteral(" As Unapproved?");
    const auto work = [&](UserTalk&) {
        const QStringList excluded = data.SystemInfo.AllowNotRehireSend ? QStringList() : NotRehirableList(data);
        if (!excluded.isEmpty())
            data.fillTempList(kNotRehireList, excluded);
        TQuery& q = data.ApplicationQuery;
        q.clear();
        q.add(QStringLiteral("UPDATE applications"));
        q.add(QStringLiteral("SET Approved = ?, Reviewed = ?,"));
        q.add(QStringLiteral("ApprovedBy = NULL, ApprovedDate = NULL,"));
        q.add(QStringLiteral("ModifiedBy = ?, ModifiedDate = ?"));
        q.add(QStringLiteral("WHERE (ReqNumber = ?) AND (ApprovedDate = ?)"));
        q.bind({false, false, data.LoginData.UserID, data.today(), reqNumber, date});
        if (!excluded.isEmpty())
            // An anti-join: stays quick however long the list.
            q.add(QStringLiteral("AND NOT EXISTS (SELECT 1 FROM %1 WHERE v = applications.ApplicantID)")
                      .arg(kNotRehireList));
        const int count = q.execSql();
        refreshApplications(data);
        return OperationResult::done(QStringLiteral("All Applicants With a Approve Date Of ") + day +
                                     QStringLiteral(" For Requisition ") + reqNumber +
                                     QStringLiteral(" Have Been Unapproved."))
            .count(QStringLiteral("Applications Unapproved"), count);
    };
    return abortedOnNo(
        talk,
        runOperation(talk, {question, QStringLiteral("Please Wait Marking Applications As Unapproved"), false, work}));
}

} // namespace mw
