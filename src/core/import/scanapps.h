#pragma once
// Scanned documents: an applicant's document is FileLocation + ApplicantID + "." +
// FileExt, the extension in any letter case; 000123 is not 123. The Scanned flags
// are brought into line with the directory as one listing of it, not one look at
// the disk per applicant, and at most one transaction per operation.
//
// A directory that cannot be listed (missing, unreadable, a share that is down)
// tells nothing about the documents: the operations then change no flag.

#include "shared/operation.h"

#include <QSet>
#include <QString>

#include <functional>

namespace mw {

class TMerrowindData;
class UserTalk;

class ScanListing
{
public:
    // Lists the directory for documents with the extension; gives the error text
    // when it cannot be listed, else empty.
    QString list(const QString& directory, const QString& extension);
    // Whether the applicant's document is in the listing.
    bool has(const QString& applicantId) const;
    qsizetype size() const { return m_names.size(); }

private:
    QSet<QString> m_names; // lower case
    QString m_suffix;
    mutable QString m_key;
};

// Sets Scanned for the applicants not flagged whose document is listed; gives how
// many changed. stop is asked between applicants (Cancel); when it says yes
// nothing is changed.
int UpdateScannedApps(TMerrowindData& data, UserTalk& talk, const ScanListing& listing,
                      const std::function<bool()>& stop);
// Clears Scanned for the applicants flagged whose document is not listed.
int RescanApplications(TMerrowindData& data, UserTalk& talk, const ScanListing& listing,
                       const std::function<bool()>& stop);

// "&Scan For Applications" and `merrowind run scan`: asks, then clears and sets the
// flags, and shows "Results From Scan For Applicaions:" with both counts
// ("Records Set To True", "Records Set To False").
OperationResult ScanForApplicationsCommand(TMerrowindData& data, UserTalk& talk);

} // namespace mw
