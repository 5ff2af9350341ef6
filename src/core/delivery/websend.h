#pragma once
// A web requisition on the web server: its approved and sent applications'
// documents and its index page, uploaded and verified; and the reload of the whole
// web site (or one job posting group's part of it) from the database. A reload
// logs in once for all its requisitions, goes on after a requisition that failed,
// and says at the end how many failed and which.

#include "shared/operation.h"

#include <QString>
#include <QStringList>

namespace mw {

class FtpPublisher;
class TMerrowindData;
class TRequistionData;
class UserTalk;

// Uploads the documents into the requisition's directory and verifies them, then
// the index page (after a failed upload too) unless withIndex is false (a send
// uploads it once the sent dates are recorded). UploadOK: true when the requisition
// goes by e-mail, or every document is whole on the server and the index page is
// there. A requisition without a web address, or whose address names no plain
// directory, is told and not sent.
bool UploadApplications(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, const TRequistionData& requisition,
                        const QStringList& documents, bool withIndex = true);
// Why no requisition's index page can be made now (no plain index name in the
// settings, no template "deptindex.htm"); empty when it can.
QString deptIndexProblem(TMerrowindData& data, UserTalk& talk);
// Writes the requisition's index page from its template and uploads it; whether it
// is on the server.
bool UploadDeptIndex(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, const TRequistionData& requisition);

struct ReloadReport
{
    int requisitions = 0;     // reloaded (web requisitions among the eligible ones)
    int documents = 0;        // documents handed to the upload
    QStringList failed;       // requisition numbers whose upload failed
};

// One requisition's documents and index page again; nothing for one sent by e-mail.
void ReloadWebApplications(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, const QString& reqNumber,
                           ReloadReport& report);
// Every eligible requisition (of the group when one is given): not filled, with an
// e-mail address and a web address, its first forms sent. False when there was none
// ("No Requistion Avaliable To Send To The Web Send" has been shown).
bool ReloadWebSite(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, ReloadReport& report,
                   const QString& group = QString());

// The menu commands and `merrowind run reload-web-site`: the question (the whole
// site only), the please-wait window, then "Web Site Reloaded" or what failed.
OperationResult reloadWebSiteCommand(TMerrowindData& data, UserTalk& talk, FtpPublisher* ftp = nullptr);
OperationResult reloadWebSiteForGroupCommand(TMerrowindData& data, UserTalk& talk, const QString& group,
                                             FtpPublisher* ftp = nullptr);
// What "Load Web" of the posting group picker says without a group; empty when it may go on.
QString reloadGroupChoiceError(const QString& group);

} // namespace mw
