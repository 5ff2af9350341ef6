#include "access/reqpicker.h"

#include "datastore/merrowinddata.h"

namespace mw {

namespace {

const QString kUserNamePrefix = QStringLiteral("User name: ");

// Narrows a requisition select to the permitted posting groups of a restricted user.
void addGroupCondition(TMerrowindData& data, TQuery& q, const QString& keyword)
{
    if (!data.LoginData.Restricted)
        return;
    const SqlList groups = data.PermittedGroupsSQL();
    q.add(keyword + QStringLiteral(" JobPostingID IN ") + groups.sql);
    q.bind(groups.binds);
}

} // namespace

QStringList pickerRequisitionNumbers(TMerrowindData& data)
{
    QStringList numbers;
    TQuery& q = data.RequestionQuery;
    q.clear();
    q.add(QStringLiteral("SELECT ReqNumber FROM requisitions"));
    addGroupCondition(data, q, QStringLiteral("WHERE"));
    q.add(QStringLiteral("ORDER BY ReqNumber"));
    for (q.open(); !q.eof(); q.next()) {
        const QString number = q.asString(QStringLiteral("ReqNumber"));
        if (!number.isEmpty())
            numbers << number;
    }
    q.close();
    return numbers;
}

bool requisitionPermitted(TMerrowindData& data, const QString& typed)
{
    if (typed.isEmpty())
        return false;
    TQuery& q = data.RequestionQuery;
    q.clear();
    q.add(QStringLiteral("SELECT ReqNumber FROM requisitions"));
    q.add(QStringLiteral("WHERE ReqNumber = ?"));
    q.bind(typed);
    addGroupCondition(data, q, QStringLiteral("AND"));
    q.open();
    const bool found = !q.eof();
    q.close();
    return found;
}

QStringList loggedInUserLines(TMerrowindData& data)
{
    QStringList lines;
    const QVector<SessionInfo> running = data.sessions().sessions();
    for (const SessionInfo& s : running)
        lines << kUserNamePrefix + (s.userId.isEmpty() ? QStringLiteral("Unknown") : s.userId);
    for (QString& line : lines) {
        TLoginData scratch;
        data.LoadUser(line.mid(kUserNamePrefix.size()), scratch);
        if (!scratch.UserName.isEmpty())
            line = scratch.UserID + QStringLiteral(" (") + scratch.UserName + QLatin1Char(')');
    }
    return lines;
}

} // namespace mw
