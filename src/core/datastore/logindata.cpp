#include "datastore/logindata.h"

#include "datastore/merrowinddata.h"
#include "datastore/passwords.h"

namespace mw {

const QVector<bool TSecurityData::*>& TSecurityData::flags()
{
    static const QVector<bool TSecurityData::*> all = {
        &TSecurityData::Supervisor,
        &TSecurityData::CanImport,
        &TSecurityData::CanApproveAll,
        &TSecurityData::CanApprove,
        &TSecurityData::CanSendAllJobs,
        &TSecurityData::CanChangeSentDate,
        &TSecurityData::CanAddUsers,
        &TSecurityData::CanChangeSystem,
        &TSecurityData::CanChangeGeneral,
        &TSecurityData::CanEditWebAddress,
        &TSecurityData::CanAddSecurity,
        &TSecurityData::CanPurgeFiles,
        &TSecurityData::CanPackDatabase,
        &TSecurityData::CanDeleteOldReqs,
        &TSecurityData::CanScanForApps,
        &TSecurityData::CanMarkOldReq,
        &TSecurityData::CanRemoveFilledReqs,
        &TSecurityData::CanReloadWeb,
        &TSecurityData::CanMarkOldApplicants,
        &TSecurityData::CanInsertApplicantData,
        &TSecurityData::CanDeleteApplicantData,
        &TSecurityData::CanEditApplicantData,
        &TSecurityData::CanInsertReqData,
        &TSecurityData::CanEditReqData,
        &TSecurityData::CanDeleteReqData,
        &TSecurityData::CanInsertApplication,
        &TSecurityData::CanEditApplication,
        &TSecurityData::CanDeleteApplication,
        &TSecurityData::CanViewSecurity,
        &TSecurityData::CanProcessRIF,
        &TSecurityData::CanSeeModifiedBy,
        &TSecurityData::CanModifyInterviewDate,
    };
    return all;
}

void TMerrowindData::LoadUser(const QString& userId, TLoginData& data)
{
    loadUserWhere(upper(QStringLiteral("UserID")) + QStringLiteral(" = ?"), userId.toUpper(), data);
}

void TMerrowindData::loadUserWhere(const QString& condition, const QVariant& bind, TLoginData& data)
{
    const QString keepId = data.UserID;
    data = TLoginData();
    data.UserID = keepId;

    TQuery& q = UserSettingsQuery;
    q.clear();
    q.add(QStringLiteral("SELECT * FROM users"));
    q.add(QStringLiteral("WHERE %1 ORDER BY rid").arg(condition));
    q.bind(bind);
    q.open();
    if (!q.eof()) {
        data.UserID = q.asString(QStringLiteral("UserID")).toUpper();
        if (!q.isNull(QStringLiteral("SecurityID")))
            data.SecurityID = q.asInteger(QStringLiteral("SecurityID"));
        auto text = [&](const char* field, QString& member) {
            if (!q.isNull(QLatin1String(field)))
                member = q.asString(QLatin1String(field));
        };
        text("UserName", data.UserName);
        text("EMailAddress", data.EMailAddress);
        text("Phone", data.Phone);
        text("FAX", data.FAX);
        text("JobPostingID", data.JobPostingID);
        if (!q.isNull(QStringLiteral("SMTPPort")))
            data.SMTPPort = q.asInteger(QStringLiteral("SMTPPort"));
        text("SMTPServer", data.SMTPServer);
        text("ForwardJobTo", data.ForwardJobTo);
        if (!q.isNull(QStringLiteral("SMTPSecurity")))
            data.SMTPSecurity = q.asInteger(QStringLiteral("SMTPSecurity"));
        text("SMTPUserName", data.SMTPUserName);
        text("SMTPPassword", data.SMTPPassword);
        data.Restricted = q.asBoolean(QStringLiteral("Restricted"));
        data.MainUser = q.asBoolean(QStringLiteral("MainUser"));
        data.NotifyAll = q.asBoolean(QStringLiteral("NotifyAll"));
    }
    q.close();
    if (data.SMTPServer.isEmpty())
        data.SMTPServer = SystemInfo.SMTPServer;
    if (data.SMTPPort == 0)
        data.SMTPPort = SystemInfo.Port;
    data.NoticeAddress = data.ForwardJobTo.isEmpty() ? data.EMailAddress : data.ForwardJobTo;
}

void TMerrowindData::LoadSecurity(int securityId)
{
    TSecurityData s;
    s.SecurityID = securityId;
    TQuery& q = SecurityQuery;
    q.clear();
    q.add(QStringLiteral("SELECT * FROM security_profiles WHERE SecurityID = ?"));
    q.bind(securityId);
    q.open();
    if (!q.eof()) {
        if (!q.isNull(QStringLiteral("Security")))
            s.Security = q.asString(QStringLiteral("Security"));
        const auto& flags = TSecurityData::flags();
        s.*flags[0] = q.asBoolean(QStringLiteral("Supervisor"));
        const QStringList& rights = Schema::rightNames();
        for (int i = 0; i < rights.size(); ++i)
            s.*flags[i + 1] = q.asBoolean(rights[i]);
    }
    q.close();
    SecurityData = s;
}

void TMerrowindData::LoadPermittedGroups(const TLoginData& data)
{
    PermittedGroups.clear();
    if (!data.Restricted)
        return;
    TQuery& q = RestrictQuery;
    q.clear();
    q.add(QStringLiteral("SELECT * FROM restrict_list"));
    q.add(QStringLiteral("WHERE %1 = ? ORDER BY RecordNumber").arg(upper(QStringLiteral("UserID"))));
    q.bind(data.UserID.toUpper());
    for (q.open(); !q.eof(); q.next())
        if (!q.isNull(QStringLiteral("JobPostingID")))
            PermittedGroups << q.asString(QStringLiteral("JobPostingID"));
    q.close();
}

bool TMerrowindData::OnlySupervisorDefined()
{
    TQuery& q = UserSettingsQuery;
    q.clear();
    q.add(QStringLiteral("SELECT COUNT(*) AS n FROM users"));
    q.open();
    const int users = q.asInteger(QStringLiteral("n"));
    q.close();
    if (users != 1)
        return false;
    q.clear();
    q.add(QStringLiteral("SELECT UserPassword FROM users WHERE %1 = ?").arg(upper(QStringLiteral("UserID"))));
    q.bind(QStringLiteral("SUPERVISOR"));
    q.open();
    const bool found = !q.eof() && q.isNull(QStringLiteral("UserPassword"));
    q.close();
    return found;
}

bool TMerrowindData::CheckUser(const QString& userId, const QString& password, bool checkPassword)
{
    const QString id = userId.toUpper();
    LoginData.SecurityID = 0;
    LoginData.UserName.clear();
    LoginData.EMailAddress.clear();
    LoginData.ForwardJobTo.clear();
    LoginData.Phone.clear();
    LoginData.JobPostingID.clear();
    LoginData.SMTPServer.clear();
    LoginData.SMTPPort = 0;
    LoginData.SMTPSecurity = -1;
    LoginData.SMTPUserName.clear();
    LoginData.SMTPPassword.clear();
    LoginData.Restricted = false;
    LoginData.MainUser = false;

    TQuery& q = UserSettingsQuery;
    q.clear();
    q.add(QStringLiteral("SELECT rid, UserPassword FROM users"));
    q.add(QStringLiteral("WHERE %1 = ? ORDER BY rid").arg(upper(QStringLiteral("UserID"))));
    q.bind(id);
    qint64 matched = 0;  // the row whose password matched
    int candidates = 0;
    bool rehash = false;
    for (q.open(); !q.eof(); q.next()) {
        ++candidates;
        if (matched != 0)
            continue;
        const QString stored = q.asString(QStringLiteral("UserPassword"));
        if (!checkPassword || passwords::matches(stored, password)) {
            matched = q.value(QStringLiteral("rid")).toLongLong();
            rehash = checkPassword && !stored.isEmpty() && !passwords::isHash(stored);
        }
    }
    q.close();
    // Without a password an identifier that names two users names nobody.
    if (matched == 0 || (!checkPassword && candidates > 1))
        return false;
    if (rehash)
        TQuery::run(m_db, QStringLiteral("UPDATE users SET UserPassword = ? WHERE rid = ?"),
                    {passwords::hash(password), matched});
    loadUserWhere(QStringLiteral("rid = ?"), matched, LoginData);
    LoadSecurity(LoginData.SecurityID);
    LoadPermittedGroups(LoginData);
    m_sessions.setUser(LoginData.UserID);
    return true;
}

} // namespace mw
