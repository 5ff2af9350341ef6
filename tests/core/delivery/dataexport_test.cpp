// The data export: a requisition's applications saved as a text file or a workbook
// (read back, the workbook through LibreOffice), mailed to the department through a
// real SMTP server, and a job posting group's requisitions mailed one by one; what
// the user is told when a template is missing, the disk is full or the mail server
// is down, and that no temporary copy stays behind.

#include "dbfixture.h"
#include "scriptedtalk.h"
#include "tmpdirscope.h"
#include "smtpserver.h"

#include "delivery/dataexport.h"
#include "delivery/deptfiles.h"
#include "shared/platform.h"
#include "workbook.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/mount.h>

using namespace mw;
using mwtest::ScriptedTalk;
using mwtest::TmpDirScope;
using mwtest::SmtpServer;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QStringList fileLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("<cannot open %1>").arg(path)};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList bodyLines(const QJsonObject& message)
{
    QString body = message.value(QStringLiteral("body_text")).toString();
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    return body.split(QLatin1Char('\n'));
}

// The workbook's first sheet as comma-separated lines, as LibreOffice reads it.
QStringList officeRows(const QString& workbook, const QString& scratch)
{
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty()) {
        ADD_FAILURE() << "LibreOffice (soffice) is needed: install libreoffice-calc-nogui";
        return {};
    }
    QProcess p;
    p.start(office, {QStringLiteral("-env:UserInstallation=file://") + scratch + QStringLiteral("/lo-profile"),
                     QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                     QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"),
                     scratch + QStringLiteral("/csv"), workbook});
    if (!p.waitForFinished(120000)) {
        ADD_FAILURE() << "LibreOffice did not end";
        return {};
    }
    QFile csv(scratch + QStringLiteral("/csv/") + QFileInfo(workbook).completeBaseName() + QStringLiteral(".csv"));
    if (!csv.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "LibreOffice could not convert the workbook";
        return {};
    }
    QStringList rows = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'));
    if (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

const QString kNotCreated = QStringLiteral("Error:  Could Not Create Export File");
const QString kNotSent = QStringLiteral("Error:  Could Not Create Export File, Export File Not Sent To Department");

} // namespace

class DataExportTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        tmp = std::make_unique<TmpDirScope>(m_testDb->scratchDir());
        templates = m_testDb->scratchDir() + QStringLiteral("/templates");
        out = m_testDb->scratchDir() + QStringLiteral("/out");
        QDir().mkpath(templates);
        QDir().mkpath(out);
        writeFile(templates + QStringLiteral("/ExportList.txt"),
                  "Applicants of %JOBNUMBER% %JOBTITLE%\r\n\"ID\",\"Name\",\"Approved\"\r\n%DETAIL%\r\n"
                  "\"%APPID%\",\"%APPNAME%\",%APPAPPROVED%\r\nEnd of list for %CONTACT%\r\n");
        writeFile(templates + QStringLiteral("/Export.txt"),
                  "Continuous %JOBNUMBER%\r\n%DETAIL%\r\n%APPID%;%APPNAME%\r\n");

        sql(QStringLiteral("UPDATE settings SET SMTPServer = ?, Port = ?, SMTPTimeout = 3, HTTPAllowHTTP = 1, "
                           "DefaultContinueMessage = ?"),
            {server.host(), server.port(), QStringLiteral("Dear %CONTACT%,\r\nthe list for %JOBNUMBER% is attached.\r\n"
                                                          "See http://example.com/jobs for more.")});
        sql(QStringLiteral("UPDATE users SET EMailAddress = ?, UserName = ? WHERE UserID = ?"),
            {QStringLiteral("hr@example.com"), QStringLiteral("Human Resources"), QStringLiteral("SUPERVISOR")});
        const struct
        {
            const char* req;
            const char* group;
            bool continuous;
            bool html;
        } reqs[] = {
            {"100", "admin", true, true}, {"20", "ADMIN", false, false}, {"3", "Admin", true, false},
            {"0050", "ADMIN", false, false}, {"7", "OTHER", true, false}, {"8", "ADMINS", true, false},
            {"A9", "ADMIN", false, false}, {"A10", "ADMIN", false, false},
        };
        for (const auto& r : reqs)
            sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, PositionTitle, Contact, EMailAddress, "
                               "Continue, SendAsEMail, SendAsHTML) VALUES (?, ?, ?, ?, ?, ?, 1, ?)"),
                {QLatin1String(r.req), QLatin1String(r.group), QStringLiteral("Gardener"), QStringLiteral("Pat Lee"),
                 QStringLiteral("dept%1@example.com").arg(QLatin1String(r.req)), r.continuous, r.html});
        const struct
        {
            const char* id;
            const char* name;
            bool approved;
        } apps[] = {{"000002", "Zeller, Ann", false}, {"000001", "Abbott, Bo", true}};
        for (const auto& a : apps) {
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"),
                {QLatin1String(a.id), QLatin1String(a.name)});
            sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved) VALUES (?, ?, ?)"),
                {QStringLiteral("100"), QLatin1String(a.id), a.approved});
        }
        data->ReadSettings();
        ASSERT_TRUE(data->CheckUser(QStringLiteral("supervisor"), QString(), true));
    }
    void TearDown() override
    {
        tmp.reset();
        StoreTest::TearDown();
    }

    std::unique_ptr<DataExport> exporter(bool excel = false)
    {
        data->SystemInfo.ExportAsExcel = excel;
        auto e = std::make_unique<DataExport>(*data, talk);
        e->TemplateDir = templates;
        e->OpenFile = [this](const QString& path) { opened << path; };
        e->Setup(QStringLiteral("ADMIN"), QStringLiteral("ADMIN"), QStringLiteral("100"));
        return e;
    }
    // What the exports left in the temporary directory.
    QStringList leftInTemp() const
    {
        return QDir(TempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    SmtpServer server;
    ScriptedTalk talk;
    std::unique_ptr<TmpDirScope> tmp;
    QString templates;
    QString out;
    QStringList opened;
};

TEST_P(DataExportTest, SetupFillsTheCaptionsTheMessageAndTheSavePath)
{
    const struct
    {
        const char* dir;
        bool excel;
        const char* path;
    } cases[] = {
        {"/srv/exports", false, "/srv/exports/100.csv"}, // joined with a separator
        {"/srv/exports/", true, "/srv/exports/100.xls"},
        {"", true, "100.xls"},
    };
    for (const auto& c : cases) {
        data->SystemInfo.DefaultDirForFiles = QLatin1String(c.dir);
        const auto e = exporter(c.excel);
        EXPECT_EQ(e->SaveFileTo, QLatin1String(c.path)) << c.dir;
        EXPECT_EQ(e->ExportAllCaption, QStringLiteral("Export All Continuous Recruitment Jobs For Job Posting ID: ADMIN"));
        EXPECT_EQ(e->ExportAllJobsCaption, QStringLiteral("Export All Jobs For Job Posting ID: ADMIN"));
        EXPECT_EQ(e->Message.size(), 3);
        EXPECT_EQ(e->Message.value(0), QStringLiteral("Dear %CONTACT%,"));
        EXPECT_EQ(e->Group(), QStringLiteral("ADMIN"));
        EXPECT_EQ(e->ReqNumber(), QStringLiteral("100"));
    }
    sql(QStringLiteral("UPDATE settings SET DefaultContinueMessage = NULL"));
    auto e = exporter();
    EXPECT_TRUE(e->Message.isEmpty());
    EXPECT_EQ(e->StartDate, data->today());
    EXPECT_EQ(e->EndDate, data->today().addDays(30));
}

TEST_P(DataExportTest, TheSaveDialogFiltersCommaDelimitedFiles)
{
    EXPECT_EQ(ExportFileFilter(), QStringLiteral("Comma Delimited (*.csv);;All Files (*)"));
    EXPECT_EQ(ExportProposedFileName(), QStringLiteral("Applicant.csv"));
}

// Text exports: the path takes the extension of the file made, the file is the
// template filled in name order, and it is opened; one with no application is
// written and opened just the same.
TEST_P(DataExportTest, SavesATextFileAndOpensIt)
{
    const struct
    {
        const char* name;
        bool approvedOnly;
        bool continuous;
        QStringList lines;
    } cases[] = {
        {"all", false, false,
         {"Applicants of 100 Gardener", "\"ID\",\"Name\",\"Approved\"", "\"000001\",\"Abbott, Bo\",Yes",
          "\"000002\",\"Zeller, Ann\",No", "End of list for Pat Lee"}},
        {"approved", true, false,
         {"Applicants of 100 Gardener", "\"ID\",\"Name\",\"Approved\"", "\"000001\",\"Abbott, Bo\",Yes",
          "End of list for Pat Lee"}},
        {"continuous", false, true, {"Continuous 100", "000001;Abbott, Bo", "000002;Zeller, Ann"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto e = exporter();
        e->ApprovedOnly = c.approvedOnly;
        e->Continuous = c.continuous;
        e->SaveFileTo = out + QStringLiteral("/") + QLatin1String(c.name) + QStringLiteral(".xls");
        const OperationResult r = e->Export();
        ASSERT_TRUE(r.isDone()) << r.error.toStdString();
        const QString path = out + QStringLiteral("/") + QLatin1String(c.name) + QStringLiteral(".csv");
        EXPECT_EQ(e->SaveFileTo, path);
        EXPECT_EQ(opened.value(opened.size() - 1), path);
        EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/") + QLatin1String(c.name) + QStringLiteral(".xls")));
        QStringList expected = c.lines;
        expected << QString() << CreditLines();
        EXPECT_EQ(fileLines(path), expected);
    }
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(talk.waits().value(0), QStringLiteral("Please Wait, Creating Export File"));
    EXPECT_TRUE(leftInTemp().isEmpty()) << leftInTemp().join(QLatin1Char(' ')).toStdString();

    // No application matches: the header and the trailer are written and opened.
    auto e = exporter();
    e->ApprovedOnly = true;
    e->SaveFileTo = out + QStringLiteral("/none.csv");
    sql(QStringLiteral("UPDATE applications SET Approved = 0"));
    const OperationResult r = e->Export();
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(opened.last(), out + QStringLiteral("/none.csv"));
    EXPECT_EQ(fileLines(out + QStringLiteral("/none.csv")).mid(0, 3),
              (QStringList{QStringLiteral("Applicants of 100 Gardener"), QStringLiteral("\"ID\",\"Name\",\"Approved\""),
                           QStringLiteral("End of list for Pat Lee")}));
}

TEST_P(DataExportTest, SavesAWorkbookThatLibreOfficeReads)
{
    xls::Workbook book;
    xls::Sheet& s = book.firstSheet();
    s.setText(0, 0, QStringLiteral("Applicants of %JOBNUMBER%"));
    s.setText(1, 0, QStringLiteral("%DETAIL%"));
    s.setText(2, 0, QStringLiteral("%APPID%"));
    s.setText(2, 1, QStringLiteral("%APPNAME%"));
    s.setText(2, 2, QStringLiteral("%APPAPPROVED%"));
    s.setText(3, 0, QStringLiteral("Contact %CONTACT%"));
    book.save(templates + QStringLiteral("/ExportList.xls"));

    auto e = exporter(true);
    e->SaveFileTo = out + QStringLiteral("/list.csv");
    const OperationResult r = e->Export();
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    const QString path = out + QStringLiteral("/list.xls");
    EXPECT_EQ(opened, QStringList{path});
    const QStringList rows = officeRows(path, m_testDb->scratchDir());
    ASSERT_GE(rows.size(), 5);
    EXPECT_EQ(rows.mid(0, 5), (QStringList{QStringLiteral("Applicants of 100,,"), QStringLiteral("000001,\"Abbott, Bo\",Yes"),
                                           QStringLiteral("000002,\"Zeller, Ann\",No"),
                                           QStringLiteral("Contact Pat Lee,,"), QStringLiteral(",,")}));
    EXPECT_EQ(rows.value(5), CreditLines().first() + QStringLiteral(",,"));
    EXPECT_TRUE(leftInTemp().isEmpty()) << leftInTemp().join(QLatin1Char(' ')).toStdString();
}

// Mailed to the department: the message's placeholders filled, plain text for a
// department that takes HTML too (the message carries a file), the file attached
// under its fixed name, and no copy left.
TEST_P(DataExportTest, MailsTheFileToTheDepartment)
{
    auto e = exporter();
    e->SendToDept = true;
    const OperationResult r = e->Export();
    ASSERT_TRUE(r.isDone()) << r.error.toStdString() << talk.errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(r.countOf(QStringLiteral("Files Sent")), 1);
    ASSERT_TRUE(server.waitForMessages(1));
    const QJsonObject m = server.message(1);
    EXPECT_EQ(m.value(QStringLiteral("subject")).toString(), QStringLiteral("Export Data For Req#: ADMIN100 Gardener"));
    EXPECT_EQ(m.value(QStringLiteral("from")).toString(), QStringLiteral("Human Resources <hr@example.com>"));
    EXPECT_EQ(m.value(QStringLiteral("rcpt_tos")).toArray().first().toString(), QStringLiteral("dept100@example.com"));
    EXPECT_EQ(bodyLines(m), (QStringList{QStringLiteral("Dear Pat Lee,"), QStringLiteral("the list for 100 is attached."),
                                        QStringLiteral("See http://example.com/jobs for more.")}));
    const QJsonArray attachments = m.value(QStringLiteral("attachments")).toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(attachments.first().toObject().value(QStringLiteral("filename")).toString(), QStringLiteral("Applican.csv"));
    EXPECT_GT(attachments.first().toObject().value(QStringLiteral("size")).toInt(), 100);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(leftInTemp().isEmpty()) << leftInTemp().join(QLatin1Char(' ')).toStdString();
}

// A group's requisitions, whatever the letter case of their group, each to its own
// department, in number order; the continuous-recruitment box takes only those.
TEST_P(DataExportTest, MailsAGroupsRequisitionsInNumberOrder)
{
    const struct
    {
        bool all;
        bool allJobs;
        QStringList reqs;
    } cases[] = {
        {false, true, {"3", "20", "0050", "100", "A9", "A10"}},
        {true, false, {"3", "100"}},
    };
    int seen = 0;
    for (const auto& c : cases) {
        auto e = exporter();
        e->ExportAll = c.all;
        e->ExportAllJobs = c.allJobs;
        EXPECT_EQ(e->PostingGroupRequisitions(), c.reqs);
        const OperationResult r = e->Export();
        ASSERT_TRUE(r.isDone()) << r.error.toStdString() << talk.errors().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(r.countOf(QStringLiteral("Files Sent")), c.reqs.size());
        ASSERT_TRUE(server.waitForMessages(seen + int(c.reqs.size())));
        for (const QString& req : c.reqs) {
            const QJsonObject m = server.message(++seen);
            EXPECT_EQ(m.value(QStringLiteral("rcpt_tos")).toArray().first().toString(),
                      QStringLiteral("dept%1@example.com").arg(req));
            EXPECT_TRUE(m.value(QStringLiteral("subject")).toString().endsWith(req + QStringLiteral(" Gardener")));
        }
    }
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(leftInTemp().isEmpty()) << leftInTemp().join(QLatin1Char(' ')).toStdString();
}

// What goes wrong is told with its cause; nothing is opened, sent or left behind.
TEST_P(DataExportTest, FailuresAreToldWithTheirCause)
{
    const struct
    {
        const char* name;
        bool send;
        bool removeTemplate;
        bool serverDown;
        QString told;
        QString cause;
    } cases[] = {
        {"template missing, save", false, true, false, kNotCreated, QStringLiteral("ExportList.txt is missing")},
        {"template missing, send", true, true, false, kNotSent, QStringLiteral("ExportList.txt is missing")},
        {"server down", true, false, true, QStringLiteral("Error: E-Mail Not Sent"), QString()},
        {"no such folder", false, false, false, kNotCreated, QStringLiteral("/nowhere/at/all/x.csv")},
        {"no file name", false, false, false, kNotCreated, QStringLiteral("No file name was given.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        talk.clear();
        writeFile(templates + QStringLiteral("/ExportList.txt"), "%DETAIL%\r\n%APPID%\r\n");
        if (c.removeTemplate)
            QFile::remove(templates + QStringLiteral("/ExportList.txt"));
        if (c.serverDown) {
            ASSERT_TRUE(server.refuseConnections());
        }
        auto e = exporter();
        e->SendToDept = c.send;
        e->SaveFileTo = QLatin1String(c.name).startsWith(QLatin1String("no such")) ? QStringLiteral("/nowhere/at/all/x.csv")
                        : QLatin1String(c.name).startsWith(QLatin1String("no file")) ? out + QStringLiteral("/")
                                                                                     : out + QStringLiteral("/x.csv");
        const OperationResult r = e->Export();
        EXPECT_TRUE(r.isFailed());
        ASSERT_EQ(talk.errors().size(), 1) << talk.errors().join(QLatin1Char('|')).toStdString();
        const QString told = talk.errors().first();
        EXPECT_TRUE(told.startsWith(c.told + QStringLiteral("\n\n"))) << told.toStdString();
        EXPECT_TRUE(told.contains(c.cause)) << told.toStdString();
        EXPECT_GT(told.size(), c.told.size() + 2) << "the cause is told";
        EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/x.csv")));
        EXPECT_TRUE(opened.isEmpty());
        EXPECT_TRUE(leftInTemp().isEmpty()) << leftInTemp().join(QLatin1Char(' ')).toStdString();
        ASSERT_TRUE(server.reset());
    }
    EXPECT_EQ(server.messageCount(), 0);
}

// A full disk, where the file is saved and where a mailed file is made.
TEST_P(DataExportTest, AFullDiskIsToldAndLeavesNothing)
{
    QTemporaryDir small;
    if (::mount("tmpfs", QFile::encodeName(small.path()).constData(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "a small file system needs mount rights";
    // Enough applications for a file larger than the file system.
    writeFile(templates + QStringLiteral("/ExportList.txt"),
              "%DETAIL%\r\n%APPID%,%APPNAME%,%APPADDRESS1%,%APPCITY%,%APPSTATE%,%APPZIP%,%APPPHONE%,padding to make "
              "each line long\r\n");
    for (int i = 0; i < 300; ++i) {
        const QString id = QStringLiteral("A%1").arg(i, 5, 10, QLatin1Char('0'));
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"), {id, QStringLiteral("Name ") + id});
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES ('100', ?)"), {id});
    }
    {
        auto e = exporter();
        e->SaveFileTo = small.path() + QStringLiteral("/big.csv");
        EXPECT_TRUE(e->Export().isFailed());
        ASSERT_EQ(talk.errors().size(), 1);
        EXPECT_TRUE(talk.errors().first().startsWith(kNotCreated + QStringLiteral("\n\n")));
        EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("No space left on device"))) << talk.errors().first().toStdString();
        EXPECT_TRUE(QDir(small.path()).isEmpty()) << "neither the file nor a part of it";
        EXPECT_TRUE(leftInTemp().isEmpty());
    }
    talk.clear();
    {
        TmpDirScope full(small.path());
        auto e = exporter();
        e->SendToDept = true;
        EXPECT_TRUE(e->Export().isFailed());
        ASSERT_EQ(talk.errors().size(), 1);
        EXPECT_TRUE(talk.errors().first().startsWith(kNotSent + QStringLiteral("\n\n")));
        EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("No space left on device"))) << talk.errors().first().toStdString();
        EXPECT_TRUE(leftInTemp().isEmpty()) << leftInTemp().join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(::umount2(QFile::encodeName(small.path()).constData(), MNT_DETACH), 0);
    EXPECT_EQ(server.messageCount(), 0);
}

// More rows than a workbook sheet holds: told, nothing written.
TEST_P(DataExportTest, MoreRowsThanASheetHoldsAreToldNotRaised)
{
    // The applications fill the sheet's last two rows: the credit lines have no room.
    xls::Workbook rows;
    rows.firstSheet().setText(0, 0, QStringLiteral("Applicants"));
    rows.firstSheet().setText(65534, 0, QStringLiteral("%DETAIL%"));
    rows.firstSheet().setText(65535, 0, QStringLiteral("%APPID%"));
    rows.save(templates + QStringLiteral("/ExportList.xls"));

    auto e = exporter(true);
    e->SaveFileTo = out + QStringLiteral("/big.xls");
    const OperationResult r = e->Export();
    ASSERT_TRUE(r.isFailed());
    ASSERT_EQ(talk.errors().size(), 1);
    EXPECT_TRUE(talk.errors().first().startsWith(kNotCreated + QStringLiteral("\n\n")));
    EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("65536 rows"))) << talk.errors().first().toStdString();
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/big.xls")));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(leftInTemp().isEmpty());
}

MW_INSTANTIATE_BACKENDS(DataExportTest);
