#pragma once
// The logged-on user, his rights and the records of other users.

#include <QString>
#include <QVector>

namespace mw {

struct TLoginData
{
    QString UserID;
    int SecurityID = -1;
    QString UserName;
    QString EMailAddress;
    QString ForwardJobTo;
    QString Phone;
    QString FAX;
    QString JobPostingID;
    QString NoticeAddress;
    QString SMTPServer;
    int SMTPPort = 0;
    int SMTPSecurity = -1;  // -1: the general setting
    QString SMTPUserName;   // empty: the general login
    QString SMTPPassword;
    bool Restricted = false;
    bool MainUser = false;
    bool NotifyAll = false;
};

struct TSecurityData
{
    int SecurityID = 0;
    QString Security = QStringLiteral("Undefined");
    bool Supervisor = false;
    bool CanImport = false;
    bool CanApproveAll = false;
    bool CanApprove = false;
    bool CanSendAllJobs = false;
    bool CanChangeSentDate = false;
    bool CanAddUsers = false;
    bool CanChangeSystem = false;
    bool CanChangeGeneral = false;
    bool CanEditWebAddress = false;
    bool CanAddSecurity = false;
    bool CanPurgeFiles = false;
    bool CanPackDatabase = false;
    bool CanDeleteOldReqs = false;
    bool CanScanForApps = false;
    bool CanMarkOldReq = false;
    bool CanRemoveFilledReqs = false;
    bool CanReloadWeb = false;
    bool CanMarkOldApplicants = false;
    bool CanInsertApplicantData = false;
    bool CanDeleteApplicantData = false;
    bool CanEditApplicantData = false;
    bool CanInsertReqData = false;
    bool CanEditReqData = false;
    bool CanDeleteReqData = false;
    bool CanInsertApplication = false;
    bool CanEditApplication = false;
    bool CanDeleteApplication = false;
    bool CanViewSecurity = false;
    bool CanProcessRIF = false;
    bool CanSeeModifiedBy = false;
    bool CanModifyInterviewDate = false;

    // Supervisor, then the 31 rights, in the order of the profile table.
    static const QVector<bool TSecurityData::*>& flags();
};

} // namespace mw
