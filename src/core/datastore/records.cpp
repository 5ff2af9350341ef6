#include "datastore/records.h"

#include "datastore/merrowinddata.h"

namespace mw {

void TMerrowindData::LoadRequisition(const QString& reqNumber, TRequistionData& data)
{
    data.ReqNumber = reqNumber;
    if (reqNumber.isEmpty())
        return;
    TQuery& q = RequestionQuery;
    q.clear();
    q.add(QStringLiteral("SELECT * FROM requisitions WHERE ReqNumber = ?"));
    q.bind(reqNumber);
    q.open();
    if (!q.eof()) {
        auto has = [&](const char* f) { return !q.isNull(QLatin1String(f)); };
        auto text = [&](const char* f, QString& m) {
            if (has(f))
                m = q.asString(QLatin1String(f));
        };
        auto date = [&](const char* f, QString& m) {
            if (has(f))
                m = q.asDateText(QLatin1String(f));
        };
        auto flag = [&](const char* f, bool& m) {
            if (has(f))
                m = q.asBoolean(QLatin1String(f));
        };
        text("WebAddress", data.WebAddress);
        date("DatePosted", data.DatePosted);
        if (has("MessageToDept")) {
            QString v = q.asString(QStringLiteral("MessageToDept"));
            v.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            data.MessageToDept = v.split(QLatin1Char('\n'));
        }
        flag("SendFirstData", data.SendFirstData);
        date("CloseDate", data.CloseDate);
        flag("SendAsEMail", data.SendAsEMail);
        flag("SendAsHTML", data.SendAsHTML);
        if (has("MaxFiles"))
            data.MaxFiles = q.asInteger(QStringLiteral("MaxFiles"));
        flag("ExemptPosition", data.ExemptPosition);
        text("EMailAddress", data.EMailAddress);
        text("PositionTitle", data.PositionTitle);
        flag("SelectionCriteria", data.SelectionCriteria);
        text("JobPostingID", data.JobPostingID);
        text("Department", data.Department);
        text("JobCode", data.JobCode);
        text("FTE", data.FTE);
        text("Contact", data.Contact);
        text("ContactPhone", data.ContactPhone);
        text("Address", data.Address);
        text("PositionUnderUF", data.PositionUnderUF);
        flag("PositionUnderU", data.PositionUnderU);
        flag("FinalSent", data.FinalSent);
        flag("PositionFilled", data.PositionFilled);
        flag("PurgeReq", data.PurgeReq);
    }
    if (!SystemInfo.HTTPAllowHTTP)
        data.SendAsHTML = false;
    if (!SystemInfo.HTTPAllowSendAsWeb && !data.SendAsEMail)
        data.SendAsEMail = true;
    if (!data.SendAsEMail)
        data.MaxFiles = 0;
    data.JobPostingID = data.JobPostingID.toUpper();
    q.close();
}

void TMerrowindData::LoadApplicant(const QString& applicantId, TApplicantData& data)
{
    data = TApplicantData();
    data.ApplicantID = applicantId;
    TQuery& q = ApplicantQuery;
    q.clear();
    q.add(QStringLiteral("SELECT * FROM applicants"));
    q.add(QStringLiteral("WHERE ApplicantID = ?"));
    q.bind(applicantId);
    q.open();
    if (!q.eof()) {
        auto text = [&](const char* f, QString& m) {
            if (!q.isNull(QLatin1String(f)))
                m = q.asString(QLatin1String(f));
        };
        text("Name", data.Name);
        data.RIF = q.asBoolean(QStringLiteral("RIF"));
        data.RIFExpires = q.asDateText(QStringLiteral("RIFExpires"));
        data.VeteranPreference = q.asBoolean(QStringLiteral("VeteranPreference"));
        data.Scanned = q.asBoolean(QStringLiteral("Scanned"));
        text("Address1", data.Address1);
        text("Address2", data.Address2);
        text("Address3", data.Address3);
        text("Address4", data.Address4);
        text("City", data.City);
        text("State", data.State);
        text("Zip", data.Zip);
        text("Phone", data.Phone);
        text("Soc", data.Soc);
    }
    q.close();
}

void TMerrowindData::LoadMainUser(const QString& group, TLoginData& data)
{
    if (group.isEmpty())
        return;
    TQuery& q = UserSettingsQuery;
    q.clear();
    q.add(QStringLiteral("SELECT UserID FROM users"));
    q.add(QStringLiteral("WHERE JobPostingID = ? AND"));
    q.add(QStringLiteral("MainUser = 1 ORDER BY rid"));
    q.bind(group);
    q.open();
    const bool found = !q.eof();
    const QString userId = found ? q.asString(QStringLiteral("UserID")) : QString();
    q.close();
    if (found)
        LoadUser(userId, data);
    else
        data = LoginData;
}

QString TMerrowindData::PostingGroupDescription(const QString& group)
{
    QString result = QStringLiteral("Job Posting ID Description Not Found");
    TQuery& q = JobPostingIDQuery;
    q.clear();
    q.add(QStringLiteral("SELECT Description FROM job_postings"));
    q.add(QStringLiteral("WHERE JobPostingID = ? ORDER BY rid"));
    q.bind(group);
    q.open();
    if (!q.eof() && !q.isNull(QStringLiteral("Description")))
        result = q.asString(QStringLiteral("Description"));
    q.close();
    return result;
}

void TMerrowindData::NotifyAddresses(const QString& group, QStringList& addresses)
{
    QStringList users;
    TQuery& q = NotifyQuery;
    q.clear();
    q.add(QStringLiteral("SELECT UserID FROM notify_list"));
    q.add(QStringLiteral("WHERE JobPostingID = ? ORDER BY RecordNumber"));
    q.bind(group);
    for (q.open(); !q.eof(); q.next())
        if (!q.isNull(QStringLiteral("UserID")))
            users << q.asString(QStringLiteral("UserID"));
    q.close();
    for (const QString& u : users) {
        TLoginData scratch;
        LoadUser(u, scratch);
        addresses << (scratch.ForwardJobTo.isEmpty() ? scratch.EMailAddress : scratch.ForwardJobTo);
    }
}

SqlList TMerrowindData::PermittedGroupsSQL() const
{
    SqlList l;
    if (PermittedGroups.isEmpty()) {
        l.sql = QStringLiteral("(?)");
        l.binds << QStringLiteral("-1");
        return l;
    }
    l.sql = QLatin1Char('(') + QStringList(PermittedGroups.size(), QStringLiteral("?")).join(QStringLiteral(", ")) +
            QLatin1Char(')');
    for (const QString& g : PermittedGroups)
        l.binds << g;
    return l;
}

void TMerrowindData::LoadPermittedRequisitions()
{
    if (!LoginData.Restricted)
        return;
    ReqNumberList.clear();
    const SqlList groups = PermittedGroupsSQL();
    TQuery& q = RequestionQuery;
    q.clear();
    q.add(QStringLiteral("SELECT ReqNumber FROM requisitions"));
    q.add(QStringLiteral("WHERE JobPostingID IN ") + groups.sql + QStringLiteral(" ORDER BY ReqNumber"));
    q.bind(groups.binds);
    for (q.open(); !q.eof(); q.next())
        ReqNumberList << q.asString(QStringLiteral("ReqNumber"));
    q.close();
}

void TMerrowindData::LoadReviewGroup(const QString& group)
{
    ReqNumberList.clear();
    ReviewPostingGroup = group.toUpper();
    if (group.isEmpty())
        return;
    TQuery& q = RequestionQuery;
    q.clear();
    q.add(QStringLiteral("SELECT ReqNumber FROM requisitions"));
    q.add(QStringLiteral("WHERE %1 = ? ORDER BY ReqNumber").arg(upper(QStringLiteral("JobPostingID"))));
    q.bind(ReviewPostingGroup);
    for (q.open(); !q.eof(); q.next())
        ReqNumberList << q.asString(QStringLiteral("ReqNumber"));
    q.close();
}

} // namespace mw
