#include "datastore/choices.h"

#include "datastore/merrowinddata.h"

#include <QSqlQuery>

namespace mw {

namespace {

QList<Choice> read(TMerrowindData& data, const QString& statement)
{
    QList<Choice> out;
    QSqlQuery q = data.database().exec(statement);
    while (q.next()) {
        const QString id = q.value(0).toString();
        const QString shown = q.value(1).toString();
        out.append({id, shown.isEmpty() ? id : shown});
    }
    return out;
}

} // namespace

QList<Choice> userChoices(TMerrowindData& data)
{
    return read(data, QStringLiteral("SELECT UserID, COALESCE(UserName, '') FROM users ORDER BY UserName, UserID"));
}

QList<Choice> groupChoices(TMerrowindData& data)
{
    return read(data, QStringLiteral("SELECT JobPostingID, COALESCE(Description, '') FROM job_postings "
                                     "ORDER BY Description, JobPostingID"));
}

QList<Choice> permittedGroupChoices(TMerrowindData& data)
{
    QList<Choice> all = groupChoices(data);
    if (!data.LoginData.Restricted)
        return all;
    QList<Choice> mine;
    for (const Choice& c : std::as_const(all))
        if (data.PermittedGroups.contains(c.id))
            mine << c;
    return mine;
}

} // namespace mw
