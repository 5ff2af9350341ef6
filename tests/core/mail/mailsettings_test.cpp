// Which mail server, security and login a user sends with, and the check before a
// send: a user's own settings first, the general ones otherwise, and the general
// login never given to another server.

#include "dbfixture.h"
#include "mail/mailsend.h"
#include "scriptedtalk.h"

using namespace mw;

class MailSettingsTest : public mwtest::StoreTest
{
};

TEST_P(MailSettingsTest, AUsersOwnServerAndLoginComeFirstAndTheGeneralLoginStaysWithTheGeneralServer)
{
    sql(QStringLiteral("UPDATE settings SET SMTPServer = 'mail.example.com', Port = 587, SMTPSecurity = 1, "
                       "SMTPUserName = 'office', SMTPPassword = 'general-pw', SMTPTimeout = 20"));
    const struct
    {
        const char* name;
        const char* server;   // the user's own, empty: none
        int port;
        QVariant security;    // null: none of his own
        const char* user;
        const char* password;
        const char* wantHost;
        int wantPort;
        MailSecurity wantSecurity;
        const char* wantUser;
        const char* wantPassword;
    } cases[] = {
        {"general", "", 0, QVariant(), "", "", "mail.example.com", 587, MailSecurity::StartTls, "office", "general-pw"},
        {"own login", "", 0, QVariant(), "ann", "own-pw", "mail.example.com", 587, MailSecurity::StartTls, "ann", "own-pw"},
        {"own server", "smtp.other.org", 465, 0, "", "", "smtp.other.org", 465, MailSecurity::ByPort, "", ""},
        {"own server and login", "smtp.other.org", 0, 2, "ann", "own-pw", "smtp.other.org", 587, MailSecurity::Tls, "ann",
         "own-pw"},
        {"general server by name", "MAIL.example.com", 0, QVariant(), "", "", "MAIL.example.com", 587,
         MailSecurity::StartTls, "office", "general-pw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sql(QStringLiteral("UPDATE users SET SMTPServer = ?, SMTPPort = ?, SMTPSecurity = ?, SMTPUserName = ?, "
                           "SMTPPassword = ? WHERE UserID = 'SUPERVISOR'"),
            {QLatin1String(c.server), c.port, c.security.isNull() ? QVariant(QMetaType(QMetaType::Int)) : c.security,
             QLatin1String(c.user), QLatin1String(c.password)});
        data->ReadSettings();
        ASSERT_TRUE(data->CheckUser(QStringLiteral("SUPERVISOR"), QString(), true));
        data->ReadSettings();
        const MailServer s = mailServerOf(*data);
        EXPECT_EQ(s.host, QLatin1String(c.wantHost));
        EXPECT_EQ(s.port, c.wantPort);
        EXPECT_EQ(s.security, c.wantSecurity);
        EXPECT_EQ(s.user, QLatin1String(c.wantUser));
        EXPECT_EQ(s.password, QLatin1String(c.wantPassword));
        EXPECT_EQ(s.timeoutSeconds, 20);
    }
}

TEST_P(MailSettingsTest, TheCheckBeforeASendNamesWhatIsMissing)
{
    const struct
    {
        const char* address;
        const char* server;
        int port;
        bool ok;
        QStringList said;
    } cases[] = {
        {"hr@example.com", "mail.example.com", 25, true, {}},
        {"", "mail.example.com", 25, false, {QStringLiteral("Your E-Mail Address Has Not Been Setup!")}},
        {"hr@example.com", "", 25, false, {QStringLiteral("Your E-Mail Server And Port Have Not Been Setup.")}},
        {"", "mail.example.com", 0, false,
         {QStringLiteral("Your E-Mail Address Has Not Been Setup!"),
          QStringLiteral("Your E-Mail Server And Port Have Not Been Setup.")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.address << " " << c.server << ":" << c.port);
        data->LoginData.EMailAddress = QLatin1String(c.address);
        data->LoginData.SMTPServer = QLatin1String(c.server);
        data->LoginData.SMTPPort = c.port;
        mwtest::ScriptedTalk talk;
        EXPECT_EQ(CheckMailSetup(*data, talk), c.ok);
        EXPECT_EQ(talk.errors(), c.said);
    }
}

MW_INSTANTIATE_BACKENDS(MailSettingsTest);
