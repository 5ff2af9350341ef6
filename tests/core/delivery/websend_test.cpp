// The web site reloaded from the database to a real FTP server, and read back over
// HTTP the way a department reads it: every link of every index page serves the
// right document, nothing else is published, and a second run changes nothing.

#include "dbfixture.h"
#include "delivery/deptfiles.h"
#include "delivery/websend.h"
#include "demo/demotemplates.h"
#include "ftpserver.h"
#include "scriptedtalk.h"
#include "web/ftppublisher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace mw;
using TestFtp = mwtest::FtpServer;
using mwtest::ScriptedTalk;

class WebSendTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        mwtest::StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        ASSERT_TRUE(m_work.isValid());
        // The templates are read from the working directory, as in the program.
        m_oldDir = QDir::currentPath();
        writeDemoTemplates(m_work.path());
        QDir::setCurrent(m_work.path());
        QDir(m_work.path()).mkpath(QStringLiteral("scans"));
        m_base = QStringLiteral("http://127.0.0.1:%1/jobs/").arg(server.httpPort());
        sql(QStringLiteral("UPDATE settings SET FTPHost = ?, FTPPort = ?, FTPUserName = ?, FTPPassword = ?, "
                           "FTPUploadDir = '/jobs/', FTPPassive = 1, FTPTimeout = 5, HTTPWebAddress = ?, "
                           "HTTPIndexName = 'index.htm', FileLocation = ?, FileExt = 'pdf', HTTPAllowSendAsWeb = 1, HTTPAllowHTTP = 1"),
            {server.host(), server.port(), server.user(), server.password(), m_base,
             m_work.filePath(QStringLiteral("scans"))});
        data->ReadSettings();

        // Requisitions: two to publish, one whose first forms were never sent, one by
        // e-mail, one whose address climbs out of its directory.
        requisition(QStringLiteral("000001"), QStringLiteral("NUR"), QStringLiteral("aaaaaaaa"));
        requisition(QStringLiteral("000002"), QStringLiteral("IT"), QStringLiteral("bbbbbbbb"));
        requisition(QStringLiteral("000003"), QStringLiteral("IT"), QStringLiteral("cccccccc"), false);
        requisition(QStringLiteral("000004"), QStringLiteral("IT"), QStringLiteral("dddddddd"), true, true);
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, EMailAddress, WebAddress, SendFirstData, "
                           "SendAsEMail, PositionFilled, CloseDate) VALUES ('000005', 'NUR', 'd@example.com', "
                           "'http://x/../index.htm', 1, 0, 0, '2026-12-31')"));
        // Applications: sent and approved with a document (published), and the ones
        // that must not be: not approved, sent after the close date, no document.
        application(QStringLiteral("000001"), QStringLiteral("00000001"), true, true, 70000);
        application(QStringLiteral("000001"), QStringLiteral("00000002"), true, true, 3);
        application(QStringLiteral("000001"), QStringLiteral("00000003"), false, false, 500);
        application(QStringLiteral("000001"), QStringLiteral("00000004"), true, true, 500, QStringLiteral("2027-02-01"));
        application(QStringLiteral("000001"), QStringLiteral("00000005"), true, true, -1);
        application(QStringLiteral("000002"), QStringLiteral("00000006"), true, true, 40000);
        application(QStringLiteral("000003"), QStringLiteral("00000007"), true, true, 100);
        application(QStringLiteral("000004"), QStringLiteral("00000008"), true, true, 100);
        application(QStringLiteral("000005"), QStringLiteral("00000009"), true, true, 100);
    }
    void TearDown() override
    {
        if (!m_oldDir.isEmpty())
            QDir::setCurrent(m_oldDir);
        mwtest::StoreTest::TearDown();
    }
    void requisition(const QString& number, const QString& group, const QString& dir, bool firstSent = true,
                     bool byMail = false)
    {
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, Department, PositionTitle, EMailAddress, "
                           "WebAddress, SendFirstData, SendAsEMail, SendAsHTML, PositionFilled, CloseDate) "
                           "VALUES (?, ?, 'Ward 6', 'Nurse', 'dept@example.com', ?, ?, ?, 1, 0, '2026-12-31')"),
            {number, group, m_base + dir + QStringLiteral("/index.htm"), firstSent, byMail});
    }
    // size -1: no document on disk.
    void application(const QString& req, const QString& applicant, bool approved, bool sent, int size,
                     const QString& dispDate = QStringLiteral("2026-11-01"))
    {
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned) VALUES (?, ?, ?)"),
            {applicant, QStringLiteral("Applicant ") + applicant, size >= 0});
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate, DispDate) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {req, applicant, approved, sent ? QVariant(QStringLiteral("2026-11-05")) : QVariant(QMetaType(QMetaType::QString)),
             dispDate});
        if (size < 0)
            return;
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 31 + applicant.toInt()) % 256);
        QFile f(document(applicant));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString document(const QString& applicant) const
    {
        return m_work.filePath(QStringLiteral("scans/") + applicant + QStringLiteral(".pdf"));
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The links of a published index page, as paths on the web server.
    QStringList links(const QString& dir)
    {
        int status = 0;
        const QString page = QString::fromUtf8(server.httpGet(QStringLiteral("jobs/") + dir + QStringLiteral("/index.htm"), &status));
        EXPECT_EQ(status, 200) << dir.toStdString();
        QStringList out;
        const QRegularExpression href(QStringLiteral("HREF=\"([^\"]+)\""), QRegularExpression::CaseInsensitiveOption);
        for (auto m = href.globalMatch(page); m.hasNext();) {
            const QString link = m.next().captured(1);
            if (link.startsWith(m_base)) // the page's own links, not the program's credit line
                out << link;
        }
        return out;
    }

    TestFtp server{{mwtest::FtpServerOptions::Tls::None, true}};
    ScriptedTalk talk;
    QTemporaryDir m_work;
    QString m_oldDir;
    QString m_base;
};

TEST_P(WebSendTest, TheSiteServesExactlyTheSentDocumentsAndASecondRunChangesNothing)
{
    talk.answer({true});
    const OperationResult r = reloadWebSiteCommand(*data, talk);
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Reload The Web Site?")});
    EXPECT_TRUE(r.isFailed()) << "a requisition failed" << talk.errors().join(QLatin1Char('|')).toStdString()
                              << talk.informations().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(r.error, QStringLiteral("Web Site Reloaded, but 1 of 3 requisition(s) failed: 000005"));
    EXPECT_EQ(server.logins(), 1) << "one login for the whole run";

    // Only the published requisitions' directories, and in them only what was sent.
    EXPECT_EQ(server.entries(QStringLiteral("jobs")), (QStringList{QStringLiteral("aaaaaaaa"), QStringLiteral("bbbbbbbb")}));
    EXPECT_EQ(server.entries(QStringLiteral("jobs/aaaaaaaa")),
              (QStringList{QStringLiteral("00000001.pdf"), QStringLiteral("00000002.pdf"), QStringLiteral("index.htm")}));
    EXPECT_FALSE(server.exists(QStringLiteral("index.htm"))) << "written above its directory";

    // Every link answers with the document it names, but one: the application sent
    // after the requisition closed is linked on the page (it was sent) and, by the
    // reload's rule, not uploaded again.
    const QStringList published = links(QStringLiteral("aaaaaaaa")) + links(QStringLiteral("bbbbbbbb"));
    QStringList linked;
    for (const QString& link : published) {
        SCOPED_TRACE(link.toStdString());
        const QString applicant = QFileInfo(link).completeBaseName();
        linked << applicant;
        int status = 0;
        const QByteArray served = server.httpGet(link.mid(m_base.size() - 5), &status);
        if (applicant == QLatin1String("00000004")) {
            EXPECT_EQ(status, 404);
            continue;
        }
        EXPECT_EQ(status, 200);
        EXPECT_EQ(served, contents(document(applicant)));
    }
    EXPECT_EQ(linked, (QStringList{QStringLiteral("00000001"), QStringLiteral("00000002"), QStringLiteral("00000004"),
                                   QStringLiteral("00000006")}));

    // Again: what was right stays as it was.
    const QString stored = server.root() + QStringLiteral("/jobs/aaaaaaaa/00000001.pdf");
    const QDateTime before = QFileInfo(stored).lastModified().toUTC();
    talk.answer({true});
    reloadWebSiteCommand(*data, talk);
    EXPECT_EQ(QFileInfo(stored).lastModified().toUTC(), before) << "uploaded again";
    EXPECT_EQ(server.entries(QStringLiteral("jobs/aaaaaaaa")).size(), 3);
}

TEST_P(WebSendTest, AGroupAtATimeAndTheRefusals)
{
    EXPECT_TRUE(reloadWebSiteForGroupCommand(*data, talk, QStringLiteral("IT")).isDone());
    EXPECT_EQ(server.entries(QStringLiteral("jobs")), QStringList{QStringLiteral("bbbbbbbb")});
    EXPECT_TRUE(talk.questions().isEmpty()) << "the picker asked already";

    EXPECT_TRUE(reloadWebSiteForGroupCommand(*data, talk, QString()).isDeclined());
    EXPECT_EQ(talk.errors().last(), QStringLiteral("Error, Cannot Load A Reload The With With A Null Posting ID Number!"));

    talk.clear();
    reloadWebSiteForGroupCommand(*data, talk, QStringLiteral("NU")); // not a prefix match
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("No Requistion Avaliable To Send To The Web Send")});
}

// A document the server will not keep: the requisition is reported with the
// server's refusal, its index page still goes up, the next requisition follows.
TEST_P(WebSendTest, ARefusedDocumentIsToldAndTheRestGoesOn)
{
    ASSERT_TRUE(server.refuseStorName(QStringLiteral("00000002.pdf")));
    FtpPublisher ftp(*data, talk);
    ReloadReport report;
    ASSERT_TRUE(ReloadWebSite(*data, talk, ftp, report));
    EXPECT_EQ(report.failed, (QStringList{QStringLiteral("000001"), QStringLiteral("000005")}));
    ASSERT_FALSE(talk.informations().isEmpty());
    const QString told = talk.informations().first();
    EXPECT_TRUE(told.startsWith(QStringLiteral("An Error Occured During The Upload Of File To The Web, Not All The "
                                               "Files Where Uploaded.\nAn E-Mail Was Not Sent to The Department\n"
                                               "Requisition: 000001 Nurse\nDepartment: Ward 6\n")))
        << told.toStdString();
    EXPECT_TRUE(told.contains(QStringLiteral("553"))) << told.toStdString();
    EXPECT_TRUE(server.exists(QStringLiteral("jobs/aaaaaaaa/index.htm")));
    EXPECT_FALSE(server.exists(QStringLiteral("jobs/aaaaaaaa/00000002.pdf")));
    EXPECT_TRUE(server.exists(QStringLiteral("jobs/bbbbbbbb/00000006.pdf")));
    ASSERT_FALSE(talk.errors().isEmpty());
    EXPECT_TRUE(talk.errors().last().startsWith(QStringLiteral("The web address \"http://x/../index.htm\" does not name")));
}

// Nothing to publish when web delivery is switched off; a stop asked for before a
// request counts however fast the server is.
TEST_P(WebSendTest, NothingGoesUpWithWebDeliveryOffOrAfterAStop)
{
    sql(QStringLiteral("UPDATE settings SET HTTPAllowSendAsWeb = 0"));
    data->ReadSettings();
    talk.answer({true});
    reloadWebSiteCommand(*data, talk);
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("No Requistion Avaliable To Send To The Web Send")});

    sql(QStringLiteral("UPDATE settings SET HTTPAllowSendAsWeb = 1"));
    data->ReadSettings();
    FtpPublisher ftp(*data, talk);
    ftp.StopRequested = [] { return true; };
    talk.answer({true});
    const OperationResult r = reloadWebSiteCommand(*data, talk, &ftp);
    EXPECT_TRUE(r.isCancelled());
    EXPECT_TRUE(r.text.startsWith(QStringLiteral("Web Site Reload Cancelled: 0 of"))) << r.text.toStdString();
    EXPECT_TRUE(server.entries(QStringLiteral("jobs")).isEmpty());
    EXPECT_EQ(server.logins(), 0);
}

MW_INSTANTIATE_BACKENDS(WebSendTest);
