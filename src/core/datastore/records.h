#pragma once
// One requisition and one applicant loaded into memory.

#include <QString>
#include <QStringList>

namespace mw {

class TRequistionData
{
public:
    QString ReqNumber;
    QString Contact;
    QString FTE;
    QString JobCode;
    QString ContactPhone;
    QString DatePosted; // mm/dd/yyyy
    bool SelectionCriteria = false;
    bool SendAsEMail = true;
    bool SendAsHTML = false;
    int MaxFiles = 0;
    QString CloseDate = QStringLiteral("01/01/9999");
    QString EMailAddress;
    QString WebAddress;
    QString Address;
    bool FinalSent = false;
    bool SendFirstData = false;
    bool ExemptPosition = false;
    bool PositionFilled = false;
    bool PurgeReq = false;
    QString PositionTitle;
    QString JobPostingID;
    QString Department;
    QString PositionUnderUF;
    bool PositionUnderU = false;
    QStringList MessageToDept;
};

struct TApplicantData
{
    QString ApplicantID;
    QString Name;
    QString Soc;
    QString Address1;
    QString Address2;
    QString Address3;
    QString Address4;
    QString City;
    QString State;
    QString Zip;
    QString Phone;
    bool RIF = false;
    QString RIFExpires; // mm/dd/yyyy
    bool VeteranPreference = false;
    bool Scanned = false;
};

} // namespace mw
