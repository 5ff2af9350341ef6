// Requisitions' web addresses: which directory an address names and whether it
// may be written to, addresses nobody can guess or share, and the FTP settings
// each taken on its own.

#include "dbfixture.h"
#include "web/ftppublisher.h"
#include "web/webaddress.h"

#include <QRegularExpression>
#include <QSet>

using namespace mw;

TEST(WebAddress, OnlyAPlainDirectoryNameMayBeWrittenTo)
{
    const struct
    {
        const char* address;
        const char* dir;
        bool plain;
    } cases[] = {
        {"http://jobs.example.org/postings/abcdefgh/index.htm", "abcdefgh", true},
        {"http://x/abc/index.htm", "abc", true},
        {"http://x/Req-2026_01.v2/index.htm", "Req-2026_01.v2", true},
        {"http://x/../index.htm", "..", false},
        {"http://x/./index.htm", ".", false},
        {"http://x//index.htm", "", false},
        {"index.htm", "", false},
        {"/index.htm", "", false},
        {"http://x/.hidden/index.htm", ".hidden", false},
        {"http://x/a b/index.htm", "a b", false},
        {"http://x/a\\..\\b/index.htm", "a\\..\\b", false},
        {"http://x/a%2F..%2F/index.htm", "a%2F..%2F", false},
        {"http://x/abc\r\nDELE x/index.htm", "abc\r\nDELE x", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(WebDirName(QLatin1String(c.address)), QLatin1String(c.dir));
        EXPECT_EQ(webDirProblem(QLatin1String(c.address)).isEmpty(), c.plain);
    }
}

class WebAddressTest : public mwtest::StoreTest
{
};

TEST_P(WebAddressTest, NewAddressesAreRandomUnusedAndNeverShared)
{
    sql(QStringLiteral("UPDATE settings SET HTTPWebAddress = ?, HTTPIndexName = ?"),
        {QStringLiteral("http://Jobs.Example.org/Postings/"), QStringLiteral("Index.htm")});
    data->ReadSettings();
    const QRegularExpression form(QStringLiteral("^http://jobs\\.example\\.org/postings/[a-z]{8}/index\\.htm$"));
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString a = RandomWebAddress(*data);
        EXPECT_TRUE(form.match(a).hasMatch()) << a.toStdString();
        seen.insert(a);
    }
    EXPECT_GT(seen.size(), 195) << "the letters repeat";

    // A stored address is in use, whatever its case, and not offered again.
    const QString taken = NewWebAddress(*data);
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, WebAddress) VALUES (?, ?)"),
        {QStringLiteral("000001"), taken.toUpper()});
    EXPECT_TRUE(WebAddressInUse(*data, taken));
    EXPECT_NE(NewWebAddress(*data), taken);

    // Storing a second requisition under the same address is refused.
    TTable& reqs = data->RequestionTable;
    reqs.refresh();
    reqs.append();
    reqs.setValue(QStringLiteral("ReqNumber"), QStringLiteral("000002"));
    reqs.setValue(QStringLiteral("WebAddress"), taken);
    try {
        reqs.post();
        ADD_FAILURE() << "two requisitions share a web address";
    } catch (const DbError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("The web address %1 is already used by requisition 000001.").arg(taken));
    }
    reqs.cancel();
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM requisitions")).toInt(), 1);
    // Its own address again is no conflict.
    ASSERT_TRUE(reqs.locate({QStringLiteral("ReqNumber")}, {QStringLiteral("000001")}));
    reqs.edit();
    reqs.setValue(QStringLiteral("Department"), QStringLiteral("Finance"));
    EXPECT_NO_THROW(reqs.post());
}

TEST_P(WebAddressTest, EachFtpSettingCountsOnItsOwn)
{
    const struct
    {
        QVariant port;
        const char* user;
        const char* password;
        int wantPort;
        const char* wantUser;
    } cases[] = {
        {QVariant(QMetaType(QMetaType::Int)), "web", "pw", 21, "web"}, // an empty port is 21, the login stays
        {2121, "", "pw", 2121, ""},
        {0, "web", "", 21, "web"},
    };
    for (const auto& c : cases) {
        sql(QStringLiteral("UPDATE settings SET FTPHost = 'ftp.example.org', FTPPort = ?, FTPUserName = ?, "
                           "FTPPassword = ?"),
            {c.port, QLatin1String(c.user), QLatin1String(c.password)});
        const FtpServer s = ftpServerOf(*data);
        EXPECT_EQ(s.host, QStringLiteral("ftp.example.org"));
        EXPECT_EQ(s.port, c.wantPort);
        EXPECT_EQ(s.user, QLatin1String(c.wantUser));
        EXPECT_EQ(s.password, QLatin1String(c.password));
        EXPECT_EQ(s.security, FtpSecurity::None) << "a database without the new settings keeps plain FTP";
        EXPECT_FALSE(s.passive);
        EXPECT_EQ(s.timeoutSeconds, 10);
    }
}

MW_INSTANTIATE_BACKENDS(WebAddressTest);
