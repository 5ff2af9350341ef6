// Settings, users, rights, and the requisition and applicant records.

#include "datastore/passwords.h"
#include "dbfixture.h"

#include <QDir>
#include <QFile>

using namespace mw;

class UsersTest : public mwtest::StoreTest
{
protected:
    void setSetting(const QString& field, const QVariant& value)
    {
        sql(QStringLiteral("UPDATE settings SET %1 = ?").arg(field), {value});
    }
    void addUser(const QString& id, const QString& storedPassword, int profile, bool restricted = false)
    {
        sql(QStringLiteral("INSERT INTO users (UserID, UserPassword, SecurityID, Restricted, EMailAddress) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {id, storedPassword, profile, restricted, id.toLower() + QStringLiteral("@example.com")});
    }
};

TEST_P(UsersTest, SettingsAreNormalisedAsTheyAreRead)
{
    const struct
    {
        const char* stored;
        const char* held;
    } locations[] = {{"C:\\Scans", "C:/Scans/"}, {"C:\\Scans\\", "C:/Scans/"}, {"/srv/scans", "/srv/scans/"}, {"", "/"}};
    for (const auto& l : locations) {
        setSetting(QStringLiteral("FileLocation"), QLatin1String(l.stored));
        data->ReadSettings();
        EXPECT_EQ(data->SystemInfo.FileLocation, QLatin1String(l.held)) << l.stored;
    }
    setSetting(QStringLiteral("FileExt"), QStringLiteral("PDF"));
    setSetting(QStringLiteral("HTTPFooting"), QStringLiteral("<p>one</p>\r\n<p>two</p>"));
    setSetting(QStringLiteral("HTTPWebAddress"), QStringLiteral("http://jobs.example/x"));
    setSetting(QStringLiteral("PurgeDays"), 0);
    data->ReadSettings();
    data->ReadSettings();
    const TSystemInfo& s = data->SystemInfo;
    EXPECT_EQ(s.FileExt, QStringLiteral("pdf"));
    EXPECT_EQ(s.FTPUploadDir, QStringLiteral("/"));
    EXPECT_EQ(s.HTTPWebAddress, QStringLiteral("http://jobs.example/x/"));
    EXPECT_EQ(s.PurgeDays, 0) << "an explicit 0 is not the default";
    EXPECT_TRUE(s.InformUsers);
    EXPECT_EQ(s.VetColor, 0xFFFF00);
    ASSERT_EQ(s.HTTPFooting.size(), 4) << "two stored lines and exactly two appended";
    EXPECT_EQ(s.HTTPFooting[2], QStringLiteral("<Br><Br>"));
    EXPECT_TRUE(s.HTTPFooting[3].startsWith(QStringLiteral("<Font Size=2><Br><Br>")));
    EXPECT_TRUE(s.HTTPFooting[3].contains(QStringLiteral(MERROWIND_VERSION)));
    EXPECT_TRUE(s.HTTPFooting[3].endsWith(QStringLiteral("</Font><Br>")));
}

TEST_P(UsersTest, LogonComparesIdentifiersInAnyCaseAndPasswordsExactly)
{
    addUser(QStringLiteral("Ann"), passwords::hash(QStringLiteral("Secret1")), 0);
    for (const char* typed : {"ann", "ANN", "aNn"})
        EXPECT_TRUE(data->CheckUser(QLatin1String(typed), QStringLiteral("Secret1"), true)) << typed;
    EXPECT_EQ(data->LoginData.UserID, QStringLiteral("ANN"));
    EXPECT_FALSE(data->CheckUser(QStringLiteral("ann"), QStringLiteral("secret1"), true));
    EXPECT_FALSE(data->CheckUser(QStringLiteral("ann"), QString(), true));
    EXPECT_EQ(data->LoginData.SecurityID, 0);
    EXPECT_FALSE(data->CheckUser(QStringLiteral("nobody"), QString(), false));
    EXPECT_TRUE(data->CheckUser(QStringLiteral("ann"), QString(), false)) << "automatic logon checks no password";
}

TEST_P(UsersTest, APasswordStoredAsTypedIsRestoredAsAHashOnFirstUse)
{
    addUser(QStringLiteral("OLD"), QStringLiteral("Plain\"Text'"), 0);
    EXPECT_FALSE(data->CheckUser(QStringLiteral("old"), QStringLiteral("plain\"text'"), true));
    EXPECT_EQ(scalar(QStringLiteral("SELECT UserPassword FROM users WHERE UserID = ?"), {QStringLiteral("OLD")}),
              QStringLiteral("Plain\"Text'"));
    EXPECT_TRUE(data->CheckUser(QStringLiteral("old"), QStringLiteral("Plain\"Text'"), true));
    const QString stored =
        scalar(QStringLiteral("SELECT UserPassword FROM users WHERE UserID = ?"), {QStringLiteral("OLD")}).toString();
    EXPECT_TRUE(passwords::isHash(stored));
    EXPECT_TRUE(data->CheckUser(QStringLiteral("old"), QStringLiteral("Plain\"Text'"), true));
}

TEST_P(UsersTest, ProfilesRightsAndPermittedGroups)
{
    sql(QStringLiteral("INSERT INTO security_profiles (Security, CanImport, CanApprove) VALUES (?, ?, ?)"),
        {QStringLiteral("Clerks"), true, false});
    const int clerks = scalar(QStringLiteral("SELECT SecurityID FROM security_profiles WHERE Security = ?"),
                              {QStringLiteral("Clerks")})
                           .toInt();
    EXPECT_GT(clerks, 0);
    addUser(QStringLiteral("CLERK"), QString(), clerks, true);
    sql(QStringLiteral("INSERT INTO restrict_list (UserID, JobPostingID) VALUES (?, ?), (?, ?), (?, ?)"),
        {QStringLiteral("CLERK"), QStringLiteral("PARKS"), QStringLiteral("CLERK"), QVariant(),
         QStringLiteral("CLERK"), QStringLiteral("IT")});
    ASSERT_TRUE(data->CheckUser(QStringLiteral("clerk"), QString(), true));
    EXPECT_EQ(data->SecurityData.Security, QStringLiteral("Clerks"));
    EXPECT_TRUE(data->SecurityData.CanImport);
    EXPECT_FALSE(data->SecurityData.CanApprove);
    EXPECT_FALSE(data->SecurityData.Supervisor);
    EXPECT_EQ(data->PermittedGroups, (QStringList{QStringLiteral("PARKS"), QStringLiteral("IT")}));
    const SqlList list = data->PermittedGroupsSQL();
    EXPECT_EQ(list.sql, QStringLiteral("(?, ?)"));

    data->LoadSecurity(999);
    EXPECT_EQ(data->SecurityData.Security, QStringLiteral("Undefined"));
    EXPECT_FALSE(data->SecurityData.CanImport);

    sql(QStringLiteral("DELETE FROM restrict_list"));
    data->LoadPermittedGroups(data->LoginData);
    EXPECT_TRUE(data->PermittedGroups.isEmpty());
    EXPECT_EQ(data->PermittedGroupsSQL().binds, QVariantList{QStringLiteral("-1")});
    data->LoadPermittedRequisitions();
    EXPECT_TRUE(data->ReqNumberList.isEmpty());
}

TEST_P(UsersTest, MailSettingsFallBackToTheGeneralServer)
{
    setSetting(QStringLiteral("SMTPServer"), QStringLiteral("mail.example"));
    setSetting(QStringLiteral("Port"), 587);
    data->ReadSettings();
    addUser(QStringLiteral("FWD"), QString(), 1);
    sql(QStringLiteral("UPDATE users SET ForwardJobTo = ?, SMTPServer = ?, SMTPPort = ? WHERE UserID = ?"),
        {QStringLiteral("desk@example.com"), QStringLiteral("own.example"), 25, QStringLiteral("FWD")});
    addUser(QStringLiteral("PLAIN"), QString(), 1);
    TLoginData fwd, plain;
    data->LoadUser(QStringLiteral("fwd"), fwd);
    data->LoadUser(QStringLiteral("plain"), plain);
    EXPECT_EQ(fwd.NoticeAddress, QStringLiteral("desk@example.com"));
    EXPECT_EQ(fwd.SMTPServer, QStringLiteral("own.example"));
    EXPECT_EQ(fwd.SMTPPort, 25);
    EXPECT_EQ(plain.NoticeAddress, QStringLiteral("plain@example.com"));
    EXPECT_EQ(plain.SMTPServer, QStringLiteral("mail.example"));
    EXPECT_EQ(plain.SMTPPort, 587);

    // Notify lists and main users.
    sql(QStringLiteral("INSERT INTO users (UserID, SecurityID, JobPostingID, MainUser) VALUES (?, ?, ?, ?)"),
        {QStringLiteral("NOMAIL"), 1, QStringLiteral("IT"), true});
    sql(QStringLiteral("INSERT INTO notify_list (UserID, JobPostingID) VALUES (?, ?), (?, ?), (?, ?)"),
        {QStringLiteral("FWD"), QStringLiteral("IT"), QStringLiteral("NOMAIL"), QStringLiteral("IT"),
         QStringLiteral("PLAIN"), QStringLiteral("PARKS")});
    QStringList addresses;
    data->NotifyAddresses(QStringLiteral("IT"), addresses);
    EXPECT_EQ(addresses, (QStringList{QStringLiteral("desk@example.com"), QString()}));
    TLoginData main;
    data->LoadMainUser(QStringLiteral("IT"), main);
    EXPECT_EQ(main.UserID, QStringLiteral("NOMAIL"));
    data->LoadMainUser(QStringLiteral("PARKS"), main);
    EXPECT_EQ(main.UserID, QStringLiteral("SUPERVISOR")) << "no main user: the logged-on user";
}

TEST_P(UsersTest, RequisitionRecordsFollowTheDeliverySettings)
{
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, SendAsEMail, SendAsHTML, MaxFiles, "
                       "PositionUnderU, Address, MessageToDept) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
        {QStringLiteral("000042"), QStringLiteral("parks"), false, true, 900, true, QStringLiteral("1 Main St"),
         QStringLiteral("line one\r\nline two")});
    TRequistionData r;
    data->LoadRequisition(QStringLiteral("000042"), r);
    EXPECT_TRUE(r.SendAsEMail) << "web delivery is not allowed";
    EXPECT_FALSE(r.SendAsHTML) << "HTML is not allowed";
    EXPECT_EQ(r.MaxFiles, 900);
    EXPECT_EQ(r.JobPostingID, QStringLiteral("PARKS"));
    EXPECT_EQ(r.CloseDate, QStringLiteral("01/01/9999"));
    EXPECT_TRUE(r.PositionUnderU);
    EXPECT_EQ(r.Address, QStringLiteral("1 Main St"));
    EXPECT_EQ(r.MessageToDept, (QStringList{QStringLiteral("line one"), QStringLiteral("line two")}));

    sql(QStringLiteral("UPDATE settings SET HTTPAllowSendAsWeb = ?, HTTPAllowHTTP = ?"), {true, true});
    data->ReadSettings();
    TRequistionData web;
    data->LoadRequisition(QStringLiteral("000042"), web);
    EXPECT_FALSE(web.SendAsEMail);
    EXPECT_EQ(web.MaxFiles, 0);
    EXPECT_TRUE(web.SendAsHTML);

    EXPECT_EQ(data->PostingGroupDescription(QStringLiteral("NONE")),
              QStringLiteral("Job Posting ID Description Not Found"));
    TApplicantData a;
    a.Name = QStringLiteral("stale");
    data->LoadApplicant(QStringLiteral("00000077"), a);
    EXPECT_EQ(a.ApplicantID, QStringLiteral("00000077"));
    EXPECT_TRUE(a.Name.isEmpty());
}

TEST_P(UsersTest, ScannedDocumentsAreFoundByIdentifierWhateverTheExtensionCase)
{
    QDir scans(m_testDb->scratchDir());
    scans.mkpath(QStringLiteral("scans"));
    scans.cd(QStringLiteral("scans"));
    for (const char* name : {"000123.PDF", "000124.pdf", "Abc.Pdf"}) {
        QFile f(scans.filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    setSetting(QStringLiteral("FileLocation"), scans.path());
    setSetting(QStringLiteral("FileExt"), QStringLiteral("Pdf"));
    data->ReadSettings();
    EXPECT_EQ(data->ScannedFileName(QStringLiteral("000124")), scans.filePath(QStringLiteral("000124.pdf")));
    EXPECT_TRUE(data->ScannedFileExists(QStringLiteral("000123")));
    EXPECT_EQ(data->ScannedFileName(QStringLiteral("000123")), scans.filePath(QStringLiteral("000123.PDF")));
    EXPECT_FALSE(data->ScannedFileExists(QStringLiteral("123"))) << "leading zeros are part of the name";
    EXPECT_FALSE(data->ScannedFileExists(QStringLiteral("ABC"))) << "only the extension may differ in case";
    QFile(scans.filePath(QStringLiteral("000123.PDF"))).remove();
    EXPECT_FALSE(data->ScannedFileExists(QStringLiteral("000123")));
    setSetting(QStringLiteral("FileLocation"), scans.filePath(QStringLiteral("gone")));
    data->ReadSettings();
    EXPECT_FALSE(data->ScannedFileExists(QStringLiteral("000124")));
}

MW_INSTANTIATE_BACKENDS(UsersTest);
