// Publishing to a real FTP server on 127.0.0.1 (pyftpdlib), checked by reading back
// what the server stored: verified uploads, every way the server can fail, FTPS,
// and removing a requisition's directory.

#include "dbfixture.h"
#include "ftpserver.h"
#include "scriptedtalk.h"
#include "web/ftppublisher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace mw;
using TestFtp = mwtest::FtpServer;
using mwtest::ScriptedTalk;

class FtpPublisherTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        mwtest::StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_files.isValid());
    }
    // Points the settings at the server.
    void useServer(const TestFtp& s, int security = 0, bool passive = false, const QString& caFile = QString())
    {
        sql(QStringLiteral("UPDATE settings SET FTPHost = ?, FTPPort = ?, FTPUserName = ?, FTPPassword = ?, "
                           "FTPUploadDir = ?, FTPSecurity = ?, FTPPassive = ?, FTPTimeout = 5, FTPCAFile = ?"),
            {s.host(), s.port(), s.user(), s.password(), QStringLiteral("/jobs/"), security, passive, caFile});
        data->ReadSettings();
    }
    QString file(const QString& name, qint64 size)
    {
        QByteArray bytes(size, '\0');
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 13 + size) % 256); // line ends and every byte among them
        QFile f(m_files.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_files;
    ScriptedTalk talk;
};

// Documents arrive byte for byte under their lower-cased names, in binary whatever
// the text setting; what is whole already is not sent again; one login serves it all.
TEST_P(FtpPublisherTest, UploadsArriveWholeAndAreVerified)
{
    TestFtp server({mwtest::FtpServerOptions::Tls::None, false});
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        useServer(server, 0, passive);
        sql(QStringLiteral("UPDATE settings SET FTPUploadAsBinary = 0"));
        const QStringList docs{file(QStringLiteral("00000001.PDF"), 300000), file(QStringLiteral("00000002.pdf"), 1),
                               file(QStringLiteral("00000003.pdf"), 0)};
        FtpPublisher ftp(*data, talk);
        const QString dir = passive ? QStringLiteral("/jobs/passive") : QStringLiteral("/jobs/active");
        ftp.UploadFiles(docs, dir);
        EXPECT_TRUE(ftp.AllUploaded) << ftp.failureText().toStdString();
        const QString sub = dir.mid(1);
        EXPECT_EQ(server.entries(sub), (QStringList{QStringLiteral("00000001.pdf"), QStringLiteral("00000002.pdf"),
                                                    QStringLiteral("00000003.pdf")}));
        for (const QString& d : docs)
            EXPECT_EQ(server.file(sub + QLatin1Char('/') + QFileInfo(d).fileName().toLower()), contents(d));
        const int logins = server.logins();
        ftp.UploadFiles(docs, dir); // again: all there, nothing sent
        EXPECT_TRUE(ftp.AllUploaded);
        EXPECT_EQ(server.logins(), logins) << "logged in again";
        EXPECT_EQ(ftp.logins(), 1);
    }
}

// Every way the server fails an upload: never a false success, the server's reply
// in the failure, and no partial file left to be served.
TEST_P(FtpPublisherTest, FailuresAreToldAndNoPartialFileCounts)
{
    const struct
    {
        const char* name;
        std::function<bool(TestFtp&)> fault;
        bool uploaded;          // after the three rounds
        const char* failure;    // the start of the failure text
        bool fileOnServer;      // the document is on the server afterwards (whole)
    } cases[] = {
        {"one transfer cut off", [](TestFtp& s) { return s.dropStor(1); }, true, "", true},
        {"one file kept in part", [](TestFtp& s) { return s.truncateStor(1); }, true, "", true},
        {"always cut off", [](TestFtp& s) { return s.dropStor(-1); }, false, "Error", false},
        {"always kept in part", [](TestFtp& s) { return s.truncateStor(-1); }, false, "", false},
        {"store refused", [](TestFtp& s) { return s.refuseStor(-1); }, false, "Failure (553", false},
        {"disk full", [](TestFtp& s) { return s.diskFull(-1); }, false, "Failure (452", false},
        {"directory cannot be made", [](TestFtp& s) { return s.refuseMkd(-1); }, false, "Failure (550", false},
        {"login refused", [](TestFtp& s) { return s.refuseLogin(); }, false, "User Name or Password Incorrect (530",
         false},
        {"server down", [](TestFtp& s) { return s.refuseConnections(); }, false, "Connection Failed", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestFtp server;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        useServer(server);
        ASSERT_TRUE(c.fault(server));
        const QString doc = file(QStringLiteral("00000042.pdf"), 200000);
        FtpPublisher ftp(*data, talk);
        ftp.UploadFiles({doc}, QStringLiteral("/jobs/abcdefgh"));
        EXPECT_EQ(ftp.AllUploaded, c.uploaded) << ftp.failureText().toStdString();
        if (!c.uploaded) {
            if (*c.failure) {
                EXPECT_TRUE(ftp.failureText().startsWith(QLatin1String(c.failure))) << ftp.failureText().toStdString();
            }
            EXPECT_EQ(ftp.missingFiles(), QStringList{doc});
            EXPECT_FALSE(ftp.failureText().contains(server.password()));
        }
        server.reset();
        const QString stored = QStringLiteral("jobs/abcdefgh/00000042.pdf");
        EXPECT_EQ(server.exists(stored), c.fileOnServer);
        if (c.fileOnServer) {
            EXPECT_EQ(server.file(stored), contents(doc));
        }
    }
}

TEST_P(FtpPublisherTest, FtpsVerifiesTheServersCertificate)
{
    using Tls = mwtest::FtpServerOptions::Tls;
    for (const auto& [tls, security] : {std::pair{Tls::Explicit, 1}, std::pair{Tls::Implicit, 2}}) {
        SCOPED_TRACE(security);
        TestFtp server({tls, false});
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        const QString doc = file(QStringLiteral("00000007.pdf"), 50000);
        {
            useServer(server, security, false, server.caFile());
            FtpPublisher ftp(*data, talk);
            ftp.UploadFiles({doc}, QStringLiteral("/jobs/secure"));
            EXPECT_TRUE(ftp.AllUploaded) << ftp.failureText().toStdString();
            EXPECT_EQ(server.file(QStringLiteral("jobs/secure/00000007.pdf")), contents(doc));
        }
        useServer(server, security, false, server.otherCaFile());
        FtpPublisher ftp(*data, talk);
        ftp.UploadFiles({doc}, QStringLiteral("/jobs/other"));
        EXPECT_FALSE(ftp.AllUploaded);
        EXPECT_TRUE(ftp.Failed);
        EXPECT_TRUE(ftp.failureText().startsWith(
            QStringLiteral("Connection Failed (the server's certificate could not be verified")))
            << ftp.failureText().toStdString();
        EXPECT_FALSE(server.exists(QStringLiteral("jobs/other")));
    }
}

// A requisition's directory goes with every file in it, whatever their case; the
// result is true only when it is gone, and an address that names no plain
// directory is refused before anything is sent.
TEST_P(FtpPublisherTest, RemovingADirectoryIsTrueOnlyWhenItIsGone)
{
    TestFtp server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    useServer(server);
    QDir(server.root()).mkpath(QStringLiteral("jobs/abcdefgh"));
    QDir(server.root()).mkpath(QStringLiteral("jobs/keepthis"));
    for (const char* name : {"jobs/abcdefgh/Index.htm", "jobs/abcdefgh/00000001.PDF", "jobs/abcdefgh/x.pdf",
                             "jobs/keepthis/a.pdf", "jobs/top.htm"}) {
        QFile f(server.root() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    const QStringList before = server.entries(QStringLiteral("jobs"));

    for (const char* bad : {"http://x/../index.htm", "http://x/./index.htm", "http://x//index.htm"}) {
        ScriptedTalk told;
        EXPECT_FALSE(RemoveWebDirectory(*data, told, QLatin1String(bad), QStringLiteral("Finance"),
                                        QStringLiteral("000001"), QStringLiteral("Clerk")));
        EXPECT_EQ(told.errors().size(), 1);
    }
    EXPECT_EQ(server.entries(QStringLiteral("jobs")), before);
    EXPECT_EQ(server.logins(), 0) << "connected for an address it refused";

    EXPECT_TRUE(RemoveWebDirectory(*data, talk, QStringLiteral("http://web.example.org/jobs/abcdefgh/index.htm"),
                                   QStringLiteral("Finance"), QStringLiteral("000001"), QStringLiteral("Clerk")));
    EXPECT_FALSE(server.exists(QStringLiteral("jobs/abcdefgh")));
    EXPECT_EQ(server.entries(QStringLiteral("jobs")), (QStringList{QStringLiteral("keepthis"), QStringLiteral("top.htm")}));

    ASSERT_TRUE(server.refuseLogin());
    EXPECT_FALSE(RemoveWebDirectory(*data, talk, QStringLiteral("http://web.example.org/jobs/keepthis/index.htm"),
                                    QStringLiteral("Finance"), QStringLiteral("000002"), QStringLiteral("Clerk")));
    server.reset();
    EXPECT_TRUE(server.exists(QStringLiteral("jobs/keepthis/a.pdf")));
}

MW_INSTANTIATE_BACKENDS(FtpPublisherTest);
