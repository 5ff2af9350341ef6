// `merrowind run export` as a real process: a requisition's workbook saved where
// --file says and read back by LibreOffice, a job posting group's lists mailed to a
// real SMTP server, and the command lines it refuses.

#include "dbfixture.h"
#include "programrun.h"
#include "smtpserver.h"

#include "delivery/deptfiles.h"
#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

using namespace mw;

namespace {

using mwtest::Ran;

} // namespace

class ExportCommandTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        sql(QStringLiteral("UPDATE settings SET ExportAsExcel = 1, SMTPServer = ?, Port = ?, SMTPTimeout = 3"),
            {server.host(), server.port()});
        sql(QStringLiteral("UPDATE users SET EMailAddress = 'hr@example.com' WHERE UserID = 'SUPERVISOR'"));
        for (const char* req : {"R2", "R10"})
            sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, PositionTitle, EMailAddress, Continue) "
                               "VALUES (?, 'parks', 'Ranger', ?, ?)"),
                {QLatin1String(req), QStringLiteral("%1@example.com").arg(QLatin1String(req)),
                 QLatin1String(req) == QLatin1String("R10")});
        const char* apps[][2] = {{"000002", "Zeller, Ann"}, {"000001", "Abbott, Bo"}};
        for (auto& a : apps) {
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"),
                {QLatin1String(a[0]), QLatin1String(a[1])});
            sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved) VALUES ('R2', ?, 1)"),
                {QLatin1String(a[0])});
        }
        xls::Workbook book;
        xls::Sheet& s = book.firstSheet();
        s.setText(0, 0, QStringLiteral("Requisition %JOBNUMBER% %JOBTITLE%"));
        s.setText(1, 0, QStringLiteral("%DETAIL%"));
        s.setText(2, 0, QStringLiteral("%APPID%"));
        s.setText(2, 1, QStringLiteral("%APPNAME%"));
        for (const char* name : {"/ExportList.xls", "/Export.xls"})
            book.save(m_testDb->scratchDir() + QLatin1String(name));
    }

    QString location() const { return mwtest::databaseArgument(m_testDb->location()); }

    // The program in the directory of the templates, as the first-run supervisor.
    Ran run(QStringList args)
    {
        args = QStringList{QStringLiteral("run"), QStringLiteral("export")} + args +
               QStringList{QStringLiteral("--database"), location()};
        return mwtest::runProgram(args, m_testDb->scratchDir(),
                                  mwtest::programEnvironment(QString(), m_testDb->scratchDir()));
    }

    mwtest::SmtpServer server;
};

TEST_P(ExportCommandTest, SavesARequisitionsWorkbookThatLibreOfficeReads)
{
    const Ran r = run({QStringLiteral("R2"), QStringLiteral("--file"), QStringLiteral("out.xls")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString path = m_testDb->scratchDir() + QStringLiteral("/out.xls");
    EXPECT_EQ(r.out, QStringLiteral("Export File Saved: out.xls\n"));
    ASSERT_TRUE(QFileInfo::exists(path));

    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    ASSERT_FALSE(office.isEmpty()) << "LibreOffice (soffice) is needed: install libreoffice-calc-nogui";
    QProcess p;
    p.start(office, {QStringLiteral("-env:UserInstallation=file://") + m_testDb->scratchDir() + QStringLiteral("/lo"),
                     QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                     QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"),
                     m_testDb->scratchDir() + QStringLiteral("/csv"), path});
    ASSERT_TRUE(p.waitForFinished(120000));
    QFile csv(m_testDb->scratchDir() + QStringLiteral("/csv/out.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << "LibreOffice could not convert the workbook";
    const QStringList rows = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'));
    ASSERT_GE(rows.size(), 5);
    EXPECT_EQ(rows.mid(0, 5), (QStringList{QStringLiteral("Requisition R2 Ranger,"), QStringLiteral("000001,\"Abbott, Bo\""),
                                           QStringLiteral("000002,\"Zeller, Ann\""), QStringLiteral(","),
                                           CreditLines().first() + QLatin1Char(',')}));
}

TEST_P(ExportCommandTest, MailsAGroupsLists)
{
    const struct
    {
        QStringList args;
        QStringList to;
    } cases[] = {
        {{"--group", "PARKS", "--send"}, {"R2@example.com", "R10@example.com"}},
        {{"--group", "PARKS", "--continuous", "--send"}, {"R10@example.com"}},
    };
    int seen = 0;
    for (const auto& c : cases) {
        const Ran r = run(c.args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("Files Sent: %1").arg(c.to.size()))) << r.out.toStdString();
        ASSERT_TRUE(server.waitForMessages(seen + int(c.to.size())));
        for (const QString& to : c.to) {
            const QJsonObject m = server.message(++seen);
            EXPECT_EQ(m.value(QStringLiteral("rcpt_tos")).toArray().first().toString(), to);
            EXPECT_EQ(m.value(QStringLiteral("attachments")).toArray().first().toObject().value(QStringLiteral("filename")).toString(),
                      QStringLiteral("Applican.xls"));
        }
    }
    EXPECT_EQ(server.messageCount(), seen);
}

TEST_P(ExportCommandTest, RefusesCommandLinesThatMakeNoSense)
{
    const struct
    {
        QStringList args;
        const char* said;
    } cases[] = {
        {{"R2"}, "give either --file PATH or --send"},
        {{"R2", "--file", "a.xls", "--send"}, "give either --file PATH or --send"},
        {{"--send"}, "give either a requisition number or --group"},
        {{"--group", "PARKS", "--file", "a.xls"}, "a group's lists are mailed (--send), not saved"},
        {{"NOPE", "--send"}, "there is no requisition NOPE"},
        {{"R2", "--dry-run", "--send"}, "export does not take --dry-run"},
    };
    for (const auto& c : cases) {
        const Ran r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.said))) << r.err.toStdString();
    }
    EXPECT_EQ(server.messageCount(), 0);
    EXPECT_FALSE(QFileInfo::exists(m_testDb->scratchDir() + QStringLiteral("/a.xls")));
}

MW_INSTANTIATE_BACKENDS(ExportCommandTest);
