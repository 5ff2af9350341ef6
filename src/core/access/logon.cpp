#include "access/logon.h"

#include "datastore/merrowinddata.h"

namespace mw {

namespace {

bool mayChangeSettings(const TMerrowindData& data)
{
    return data.SecurityData.CanChangeSystem || data.SecurityData.CanChangeGeneral;
}

} // namespace

bool LogonFirstRunSupervisor(TMerrowindData& data)
{
    return data.OnlySupervisorDefined() && data.CheckUser(QStringLiteral("Supervisor"), QString(), false);
}

bool LogonAutomatic(TMerrowindData& data, bool networkPresent, const QString& networkUserName)
{
    if (!networkPresent)
        return false;
    data.ReadSettings();
    const QString id = data.SystemInfo.AllowAutoLogin ? networkUserName : QString();
    return !id.isEmpty() && data.CheckUser(id, QString(), false);
}

bool LogonWithPassword(TMerrowindData& data, const QString& userId, const QString& password)
{
    data.ReadSettings();
    return data.CheckUser(userId, password, true);
}

Admission admit(TMerrowindData& data, bool loggedOn)
{
    if (!loggedOn)
        return Admission::InvalidLogin;
    if (mayChangeSettings(data))
        data.SystemInfo.AllowLogin = false; // in memory only: lets him work while others are refused
    return data.SystemInfo.AllowLogin ? Admission::LoginsDenied : Admission::Admitted;
}

} // namespace mw
