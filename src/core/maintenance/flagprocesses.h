#pragma once
// The flag processes and bulk status changes: clearing expired RIF and not
// rehirable flags, closing the applications of not-rehirable applicants, marking
// old applications as reviewed, and approving or unapproving many applications
// at once. Each change is one statement that bypasses the table rules.

#include "shared/operation.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace mw {

class TMerrowindData;
class UserTalk;

// Clears RIF and its expiry date where the expiry date is today or earlier. With
// showResult the count of records changed ends in a results box.
void ExpireRIF(TMerrowindData& data, UserTalk& talk, bool showResult);
// The same for NotRehire and NotRehireExpires.
void ExpireNotRehirable(TMerrowindData& data, UserTalk& talk, bool showResult);
// The identifiers of the applicants flagged as not rehirable, in identifier order.
QStringList NotRehirableList(TMerrowindData& data);
// Sets the unreviewed applications of not-rehirable applicants to reviewed and not
// approved, with a dated comment.
void ProcessNotRehirable(TMerrowindData& data, UserTalk& talk, bool showResult);

// The Process menu commands around the three above: the question, the please-wait
// window, the operation with its results box. Each reports "Records Updated".
OperationResult ProcessRIFCommand(TMerrowindData& data, UserTalk& talk);
OperationResult NotRehirableExpiredDatesCommand(TMerrowindData& data, UserTalk& talk);
OperationResult ProcessNotRehirableCommand(TMerrowindData& data, UserTalk& talk);

// "M&ark Old Applicants As Reviewed": closes unreviewed applications whose
// disposition date is 30 or more days old. Reports "Applicants Marked As Reviewed".
OperationResult MarkOldApplicantsAsReviewed(TMerrowindData& data, UserTalk& talk);

// Approves every application of a scanned applicant for the requisition, or,
// without one, for the posting group. Not-rehirable applicants are left out unless
// AllowNotRehireSend is on. Reports "Applications Approved"; declined on No, failed
// (with the error box) when neither is given.
OperationResult ApproveAllScanned(TMerrowindData& data, UserTalk& talk, const QString& reqNumber, const QString& group);
// Sets the applications of the requisition approved on that date back to new.
// Not-rehirable applicants are left as they are unless AllowNotRehireSend is on.
// Reports "Applications Unapproved"; declined on No, failed without a requisition.
OperationResult UnapproveByApproveDate(TMerrowindData& data, UserTalk& talk, const QString& reqNumber, const QDate& date);

} // namespace mw
