#pragma once
// The lists that pickers offer: users by name, job posting groups by description
// (the identifier where there is none), read unfiltered from the database.

#include <QList>
#include <QString>

namespace mw {

class TMerrowindData;

struct Choice
{
    QString id;
    QString shown;
};

QList<Choice> userChoices(TMerrowindData& data);
QList<Choice> groupChoices(TMerrowindData& data);
// The groups the logged-on user may work with: every group, or a restricted user's
// own (none when he has none).
QList<Choice> permittedGroupChoices(TMerrowindData& data);

} // namespace mw
