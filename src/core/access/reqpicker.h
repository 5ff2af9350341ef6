#pragma once
// What the requisition picker and the logged-in users window show, read from the
// data module. No windows here: the windows only display these results.

#include <QString>
#include <QStringList>

namespace mw {

class TMerrowindData;

// Every requisition number there is, in number order; for a restricted user only
// those of the posting groups he may see (none at all when he has no group).
QStringList pickerRequisitionNumbers(TMerrowindData& data);

// Whether a requisition with exactly this number exists and, for a restricted user,
// belongs to one of his posting groups.
bool requisitionPermitted(TMerrowindData& data, const QString& typed);

// One line per running copy of the program: "User id (User name)" when the user is
// known, otherwise "User name: " and the id (or "Unknown" when nobody is logged on).
QStringList loggedInUserLines(TMerrowindData& data);

} // namespace mw
