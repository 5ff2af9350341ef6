// `merrowind run` as a scheduler runs it: a real process, no display, on a real
// database; the exit status, what it prints, and what it changed.

#include "datastore/passwords.h"
#include "dbfixture.h"
#include "programrun.h"

#include "demo/demotemplates.h"
#include "ftpserver.h"
#include "smtpserver.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QProcess>
#include <QThread>
#include <QProcessEnvironment>
#include <QSqlQuery>
#include <QSqlRecord>

#include <csignal>

using namespace mw;

namespace {

using mwtest::Ran;

} // namespace

class RunCommandTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const int admin = profile(QStringLiteral("Process"), {"CanMarkOldApplicants", "CanProcessRIF", "CanPackDatabase"});
        const int none = profile(QStringLiteral("Viewer"), {});
        user(QStringLiteral("ADMIN"), QStringLiteral("admin"), admin);
        user(QStringLiteral("VIEWER"), QStringLiteral("view"), none);
        const QDate today = QDate::currentDate();
        application(QStringLiteral("OLD"), today.addDays(-60));
        application(QStringLiteral("NEW"), today.addDays(-3));
    }

    int profile(const QString& name, std::initializer_list<const char*> rights)
    {
        sql(QStringLiteral("INSERT INTO security_profiles (Security) VALUES (?)"), {name});
        const int id = scalar(QStringLiteral("SELECT MAX(SecurityID) FROM security_profiles")).toInt();
        for (const char* r : rights)
            sql(QStringLiteral("UPDATE security_profiles SET %1 = ? WHERE SecurityID = ?").arg(QLatin1String(r)),
                {true, id});
        return id;
    }
    void user(const QString& id, const QString& password, int profileId)
    {
        sql(QStringLiteral("INSERT INTO users (UserID, UserPassword, SecurityID) VALUES (?, ?, ?)"),
            {id, passwords::hash(password), profileId});
    }
    void application(const QString& applicant, const QDate& dispDate)
    {
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, DispDate, Reviewed, Approved) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {QStringLiteral("R1"), applicant, dispDate, false, false});
    }
    bool reviewed(const QString& applicant)
    {
        return scalar(QStringLiteral("SELECT Reviewed FROM applications WHERE ApplicantID = ?"), {applicant}).toBool();
    }

    QString location() const { return mwtest::databaseArgument(m_testDb->location()); }

    // Runs the program without a display, password from the environment.
    Ran run(const QStringList& args, const QString& password = QString())
    {
        return mwtest::runProgram(args, m_testDb->scratchDir(), mwtest::programEnvironment(password));
    }
    QStringList markOld(std::initializer_list<const char*> extra)
    {
        QStringList a{QStringLiteral("run"), QStringLiteral("mark-old-reviewed"), QStringLiteral("--database"),
                      location()};
        for (const char* e : extra)
            a << QLatin1String(e);
        return a;
    }
};

TEST_P(RunCommandTest, DoesWhatTheMenuCommandDoesOnlyWhenConfirmed)
{
    // Without --yes: the question is shown, nothing changes, status 2.
    const Ran asked = run(markOld({"--user", "admin"}), QStringLiteral("admin"));
    EXPECT_EQ(asked.status, 2) << asked.err.toStdString();
    EXPECT_TRUE(asked.err.contains(QStringLiteral("Are You Sure You Want To Mark Old Applicants As Reviewed?")));
    EXPECT_TRUE(asked.out.isEmpty());
    EXPECT_FALSE(reviewed(QStringLiteral("OLD")));

    const Ran done = run(markOld({"--user", "admin", "--yes"}), QStringLiteral("admin"));
    ASSERT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_EQ(done.out, QStringLiteral("Results From mark Old Applicants As Reviewed:\n\nApplicants Marked As Reviewed: 1\n"));
    EXPECT_TRUE(done.err.contains(QStringLiteral("Please Wait, Marking Applicaions As Reviewed")));
    EXPECT_TRUE(reviewed(QStringLiteral("OLD")));
    EXPECT_FALSE(reviewed(QStringLiteral("NEW")));
    EXPECT_EQ(scalar(QStringLiteral("SELECT ApprovedBy FROM applications WHERE ApplicantID = ?"), {QStringLiteral("OLD")})
                  .toString(),
              QStringLiteral("ADMIN"))
        << "the change carries the user of the run";
    // The run was a registered copy while it ran, and is gone now.
    EXPECT_EQ(data->sessions().otherSessionCount(), 0);
}

TEST_P(RunCommandTest, RefusesWhoeverTheLogonWindowOrTheMenuWouldRefuse)
{
    const struct
    {
        const char* name;
        QStringList extra;
        const char* password;
        const char* says;
    } cases[] = {
        {"no rights", {QStringLiteral("--user"), QStringLiteral("VIEWER"), QStringLiteral("--yes")}, "view",
         "may not use Process > Mark Old Applicants As Reviewed"},
        {"wrong password", {QStringLiteral("--user"), QStringLiteral("ADMIN"), QStringLiteral("--yes")}, "nimda",
         "Access Denied To Merrowind, Invalid Login"},
        {"unknown user", {QStringLiteral("--user"), QStringLiteral("NOBODY"), QStringLiteral("--yes")}, "",
         "Access Denied To Merrowind, Invalid Login"},
        {"no user on a database with users", {QStringLiteral("--yes")}, nullptr, "give one with --user"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList args = markOld({});
        args << c.extra;
        const Ran r = run(args, c.password ? QLatin1String(c.password) : QString());
        EXPECT_EQ(r.status, 3) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(reviewed(QStringLiteral("OLD")));

    // Logins denied: an ordinary user is refused, one who may change the settings is not.
    sql(QStringLiteral("UPDATE settings SET AllowLogin = ?"), {true});
    const Ran denied = run(markOld({"--user", "ADMIN", "--yes"}), QStringLiteral("admin"));
    EXPECT_EQ(denied.status, 3);
    EXPECT_TRUE(denied.err.contains(QStringLiteral("Logins Disabled")));
}

TEST_P(RunCommandTest, TheFirstRunSupervisorNeedsNoUserAndPackingNeedsTheDatabaseAlone)
{
    sql(QStringLiteral("DELETE FROM users WHERE UserID <> ?"), {QStringLiteral("SUPERVISOR")});
    data->close(); // no other running copy: packing may take the database
    const Ran packed = run({QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("--yes"),
                            QStringLiteral("--database"), location()});
    EXPECT_EQ(packed.status, 0) << packed.err.toStdString();
    EXPECT_EQ(packed.out, QStringLiteral("Database Packed\n"));
}

// Packing waits for the other running copies; the waiting run is itself a running
// copy, under its user, and Ctrl-C ends its wait as a cancel.
TEST_P(RunCommandTest, PackingWaitsForOtherCopiesAndCtrlCEndsTheWait)
{
    const QProcessEnvironment env = mwtest::programEnvironment(QStringLiteral("admin"));
    const QStringList args{QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("--user"),
                           QStringLiteral("ADMIN"), QStringLiteral("--yes"), QStringLiteral("--database"), location()};
    // The run shows up among the running copies while it waits for this one.
    const auto waitForRun = [this] {
        for (int i = 0; i < 200; ++i) {
            for (const SessionInfo& s : data->sessions().sessions())
                if (s.userId == QLatin1String("ADMIN"))
                    return true;
            QThread::msleep(50);
        }
        return false;
    };

    for (const bool interrupt : {true, false}) {
        SCOPED_TRACE(interrupt ? "Ctrl-C" : "the other copy closes");
        if (!data->isOpen())
            data->open(m_testDb->location());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MW_PROGRAM), args);
        ASSERT_TRUE(p.waitForStarted());
        ASSERT_TRUE(waitForRun()) << "the run never registered";
        // The run has found this copy in its way and asks to try again.
        QByteArray said;
        for (int i = 0; i < 400 && !said.contains("exclusively - Try again?"); ++i) {
            p.waitForReadyRead(50);
            said += p.readAllStandardError();
        }
        if (interrupt)
            ::kill(pid_t(p.processId()), SIGINT);
        else
            data->close(); // the last other copy goes: the next try succeeds
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(said + p.readAllStandardError());
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        EXPECT_TRUE(err.contains(QStringLiteral("Could not open Table1 exclusively - Try again?"))) << err.toStdString();
        EXPECT_EQ(p.exitCode(), interrupt ? 4 : 0) << err.toStdString();
        EXPECT_EQ(out, interrupt ? QString() : QStringLiteral("Database Packed\n"));
    }
}

TEST_P(RunCommandTest, UpgradingADatabaseOfAnOlderLayout)
{
    mwtest::TestDatabase older(GetParam(), 1);
    ASSERT_TRUE(older.ok()) << older.error().toStdString();
    const QString where = older.location().dialect == Dialect::SQLite ? older.location().directory : older.location().url;

    const Ran refused = run({QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("--yes"),
                             QStringLiteral("--database"), where});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("merrowind --upgrade-database"))) << refused.err.toStdString();

    const Ran asked = run({QStringLiteral("--upgrade-database"), where});
    EXPECT_EQ(asked.status, 2) << asked.err.toStdString();
    EXPECT_TRUE(asked.err.contains(QStringLiteral("run again with --yes")));

    const Ran done = run({QStringLiteral("--upgrade-database"), where, QStringLiteral("--yes")});
    EXPECT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_TRUE(done.out.contains(QStringLiteral("from layout 1 to layout %1").arg(Schema::Version))) << done.out.toStdString();

    const Ran again = run({QStringLiteral("--upgrade-database"), where, QStringLiteral("--yes")});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.out.contains(QStringLiteral("nothing to do")));

    // This test's own database is current; with its data module open the upgrade
    // would be refused, but there is nothing to upgrade.
    const Ran current = run({QStringLiteral("--upgrade-database"), location(), QStringLiteral("--yes")});
    EXPECT_EQ(current.status, 0);
}

// Notices from the command line reach the followers through a real mail server.
TEST_P(RunCommandTest, NotifySendsEachFollowedGroupItsNotice)
{
    mwtest::SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    sql(QStringLiteral("UPDATE security_profiles SET CanImport = ? WHERE Security = ?"), {true, QStringLiteral("Process")});
    sql(QStringLiteral("UPDATE settings SET SMTPServer = ?, Port = ?, InformUsers = 1"), {server.host(), server.port()});
    sql(QStringLiteral("UPDATE users SET EMailAddress = ? WHERE UserID = ?"),
        {QStringLiteral("admin@example.com"), QStringLiteral("ADMIN")});
    sql(QStringLiteral("INSERT INTO users (UserID, UserName, EMailAddress, SecurityID) VALUES ('ANN', 'Ann', 'ann@example.com', 1)"));
    sql(QStringLiteral("INSERT INTO job_postings (JobPostingID, Description) VALUES ('NUR', 'Nursing'), ('IT', 'Computing')"));
    sql(QStringLiteral("INSERT INTO notify_list (UserID, JobPostingID) VALUES ('ANN', 'NUR'), ('ANN', 'IT')"));
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, Department) VALUES ('R1', 'NUR', 'Ward 6'), "
                       "('R2', 'IT', 'Desk')"));
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed) VALUES ('R2', 'X', 1)"));

    const QStringList base{QStringLiteral("run"), QStringLiteral("notify"), QStringLiteral("--database"), location(),
                           QStringLiteral("--user"), QStringLiteral("admin"), QStringLiteral("--yes")};
    const Ran one = run(base + QStringList{QStringLiteral("--group"), QStringLiteral("NUR")}, QStringLiteral("admin"));
    ASSERT_EQ(one.status, 0) << one.err.toStdString();
    EXPECT_EQ(one.out, QStringLiteral("Notices Sent: 1\nNotices Not Sent: 0\n"));
    const Ran all = run(base, QStringLiteral("admin"));
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    ASSERT_TRUE(server.waitForMessages(2));
    EXPECT_EQ(server.messageCount(), 2) << "IT has nothing unreviewed";
    for (int i : {1, 2}) {
        EXPECT_EQ(server.message(i).value(QStringLiteral("subject")).toString(), QStringLiteral("New Applicants Loaded For Nursing"));
        EXPECT_TRUE(server.message(i).value(QStringLiteral("body_text")).toString().contains(QStringLiteral("NUR R1 Ward 6   (Unreviewed = 2)")));
    }
    const Ran wrong = run({QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("--group"), QStringLiteral("NUR")});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("pack does not take --group")));
}

// The web site reloaded from the command line to a real FTP server.
TEST_P(RunCommandTest, ReloadWebSitePublishesTheEligibleRequisitions)
{
    mwtest::FtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    QTemporaryDir scans;
    QFile doc(scans.filePath(QStringLiteral("00000042.pdf")));
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.write(QByteArray(5000, 'x') + "\r\n\n%%EOF");
    doc.close();
    sql(QStringLiteral("UPDATE security_profiles SET CanReloadWeb = ? WHERE Security = ?"), {true, QStringLiteral("Process")});
    sql(QStringLiteral("UPDATE settings SET FTPHost = ?, FTPPort = ?, FTPUserName = ?, FTPPassword = ?, FTPUploadDir = '/jobs/', "
                       "FTPPassive = 1, HTTPWebAddress = 'http://web.example.org/jobs/', HTTPIndexName = 'index.htm', "
                       "FileLocation = ?, FileExt = 'pdf', HTTPAllowSendAsWeb = 1, HTTPAllowHTTP = 1"),
        {server.host(), server.port(), server.user(), server.password(), scans.path() + QLatin1Char('/')});
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, EMailAddress, WebAddress, SendFirstData, SendAsEMail, "
                       "PositionFilled) VALUES ('R9', 'NUR', 'd@example.com', "
                       "'http://web.example.org/jobs/qwertyui/index.htm', 1, 0, 0)"));
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate) VALUES ('R9', '00000042', 1, "
                       "'2026-11-02')"));

    const QStringList base{QStringLiteral("run"), QStringLiteral("reload-web-site"), QStringLiteral("--database"),
                           location(), QStringLiteral("--user"), QStringLiteral("admin"), QStringLiteral("--yes")};
    const Ran other = run(base + QStringList{QStringLiteral("--group"), QStringLiteral("IT")}, QStringLiteral("admin"));
    EXPECT_EQ(other.status, 0) << other.err.toStdString();
    EXPECT_TRUE(other.out.contains(QStringLiteral("No Requistion Avaliable To Send To The Web Send"))) << other.out.toStdString();
    EXPECT_FALSE(server.exists(QStringLiteral("jobs")));

    // Without the index page's template in the working directory the run fails.
    const Ran noTemplate = run(base, QStringLiteral("admin"));
    EXPECT_EQ(noTemplate.status, 1);
    EXPECT_TRUE((noTemplate.out + noTemplate.err).contains(QStringLiteral("no template \"deptindex.htm\"")))
        << noTemplate.out.toStdString() << noTemplate.err.toStdString();
    mw::writeDemoTemplates(m_testDb->scratchDir());
    const Ran all = run(base, QStringLiteral("admin"));
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    EXPECT_TRUE(all.out.startsWith(QStringLiteral("Web Site Reloaded"))) << all.out.toStdString();
    QFile original(doc.fileName());
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(server.file(QStringLiteral("jobs/qwertyui/00000042.pdf")), original.readAll());
    EXPECT_TRUE(server.exists(QStringLiteral("jobs/qwertyui/index.htm")));
}

TEST_P(RunCommandTest, CommandLinesThatMakeNoSenseFailWithoutTouchingAnything)
{
    const struct
    {
        QStringList args;
        const char* says;
    } cases[] = {
        {{QStringLiteral("run")}, "no command given"},
        {{QStringLiteral("run"), QStringLiteral("launch-rockets")}, "unknown command launch-rockets"},
        {{QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("extra")}, "pack takes no arguments"},
        {{QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("--force")}, "unknown option --force"},
        {{QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("--user")}, "--user needs a value"},
        {{QStringLiteral("run"), QStringLiteral("pack"), QStringLiteral("--database"), QStringLiteral("/nonexistent/db")},
         "/nonexistent/db"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Ran r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
    }
}

MW_INSTANTIATE_BACKENDS(RunCommandTest);

// ---- import

namespace {

// An all-data export in the tab-separated layout importLayout() sets: applicant
// i % applicants applies for requisition i % requisitions.
QByteArray exportFile(int lines, int applicants, int requisitions)
{
    QByteArray out = "header line\n";
    out.reserve(lines * 160);
    for (int i = 0; i < lines; ++i) {
        const QByteArray a = QByteArray::number(200000 + i % applicants);
        const QByteArray r = QByteArray::number(i % requisitions);
        out += a + "\tName " + a + ", \"Q\" O'Hara\t\t\t1 Caf\xE9 Road\t\t\t\tTown\tST\t12345\t2099-01-0" +
               QByteArray::number(1 + i % 9) + "\tV\t11/0" + QByteArray::number(1 + i % 9) + "/2026\t\t\tR" + r +
               "\tBoss " + r + "\tG" + QByteArray::number(i % 3) + "\tJob " + r + "\t1.0\tJC\tDept\t555\tboss" + r +
               "@example.org\tHall\t2026-10-01\n";
    }
    return out;
}

} // namespace

class ImportCommandTest : public RunCommandTest
{
protected:
    void SetUp() override
    {
        RunCommandTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(work.isValid());
        sql(QStringLiteral("DELETE FROM applications"));
        sql(QStringLiteral("UPDATE security_profiles SET CanImport = ? WHERE Security = ?"), {true, QStringLiteral("Process")});
        const char* pairs[] = {"AppID", "AppName", "AppSoc", "AppPhone", "AppAddress1", "AppAddress2", "AppAddress3",
                               "AppAddress4", "AppCity", "AppState", "AppZip", "AppPurgeDate", "AppVetPref",
                               "AppDispDate", "AppRIF", "AppRIFExpire", "ReqNumber", "ReqContact", "ReqPostingID",
                               "ReqPositionTitle", "ReqFTE", "ReqJobCode", "ReqDepartment", "ReqPhone", "ReqEMail",
                               "ReqMail", "ReqPosted"};
        for (int i = 0; i < 27; ++i)
            sql(QStringLiteral("UPDATE settings SET %1Start = ?, %1Length = 0").arg(QLatin1String(pairs[i])), {i + 1});
        sql(QStringLiteral("UPDATE settings SET LinesToSkip = 1, VetCodes = 'V', InformUsers = 0, HTTPAllowSendAsWeb = 0, "
                           "FileLocation = ?, FileExt = 'pdf'"),
            {work.path() + QLatin1Char('/')});
    }

    QString writeExport(const QByteArray& content)
    {
        const QString name = work.filePath(QStringLiteral("export.txt"));
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        return name;
    }
    QStringList importArgs(const QString& file, std::initializer_list<const char*> extra = {})
    {
        QStringList a{QStringLiteral("run"), QStringLiteral("import"), QStringLiteral("all"), file,
                      QStringLiteral("--database"), location(), QStringLiteral("--user"), QStringLiteral("admin")};
        for (const char* e : extra)
            a << QLatin1String(e);
        return a;
    }
    // Every row an import writes, in key order, without the row numbers.
    QStringList tables()
    {
        QStringList rows;
        for (const char* select :
             {"SELECT * FROM applicants ORDER BY ApplicantID", "SELECT * FROM requisitions ORDER BY ReqNumber",
              "SELECT * FROM applications ORDER BY ReqNumber, ApplicantID", "SELECT * FROM dept_contacts ORDER BY Contact"}) {
            QSqlQuery q = data->database().exec(QLatin1String(select));
            while (q.next()) {
                QStringList v;
                const QSqlRecord rec = q.record();
                for (int i = 0; i < rec.count(); ++i)
                    if (rec.fieldName(i).compare(QLatin1String("rid"), Qt::CaseInsensitive) != 0)
                        v << rec.fieldName(i) + QLatin1Char('=') + q.value(i).toString();
                rows << v.join(QLatin1Char('|'));
            }
        }
        return rows;
    }
    void clearImported()
    {
        for (const char* t : {"applicants", "requisitions", "applications", "dept_contacts"})
            sql(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
    }

    QTemporaryDir work;
};

TEST_P(ImportCommandTest, ImportsTheFileRunsTheFollowUpStepsAndPrintsTheCounts)
{
    mwtest::SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    sql(QStringLiteral("UPDATE settings SET SMTPServer = ?, Port = ?, InformUsers = 1"), {server.host(), server.port()});
    sql(QStringLiteral("UPDATE users SET EMailAddress = 'admin@example.com' WHERE UserID = 'ADMIN'"));
    sql(QStringLiteral("INSERT INTO users (UserID, EMailAddress, SecurityID, NotifyAll) VALUES ('ANN', 'ann@example.com', 1, 1)"));
    const QString file = writeExport(exportFile(12, 6, 4));

    // A dry run first: it tells, and changes nothing.
    const Ran dry = run(importArgs(file, {"--dry-run"}), QStringLiteral("admin"));
    ASSERT_EQ(dry.status, 0) << dry.err.toStdString();
    EXPECT_TRUE(dry.out.contains(QStringLiteral("insert 6 and update 0 applicants"))) << dry.out.toStdString();
    EXPECT_TRUE(dry.out.contains(QStringLiteral("insert 12 applications"))) << dry.out.toStdString();
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants")).toInt(), 0);

    const Ran asked = run(importArgs(file), QStringLiteral("admin"));
    EXPECT_EQ(asked.status, 2) << "not confirmed";
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants")).toInt(), 0);

    const Ran done = run(importArgs(file, {"--yes"}), QStringLiteral("admin"));
    ASSERT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_TRUE(done.out.startsWith(QStringLiteral("Lines Read: 12\nApplicants Inserted: 6\nApplicants Updated: 0\n"
                                                   "Requisitions Inserted: 4\nRequisitions Updated: 0\n"
                                                   "Applications Inserted: 12\n")))
        << done.out.toStdString();
    EXPECT_TRUE(done.err.contains(QStringLiteral("Notifing Users Of New Scanned Applications")));
    EXPECT_EQ(scalar(QStringLiteral("SELECT Name FROM applicants WHERE ApplicantID = '200001'")).toString(),
              QStringLiteral("Name 200001, \"Q\" O'Hara"));
    ASSERT_TRUE(server.waitForMessages(1)) << done.err.toStdString();
    EXPECT_TRUE(server.message(1).value(QStringLiteral("body_text")).toString().contains(QStringLiteral("G0 R1 Dept   (Unreviewed = 3)")))
        << server.message(1).value(QStringLiteral("body_text")).toString().toStdString();

    const Ran wrongKind = run({QStringLiteral("run"), QStringLiteral("import"), QStringLiteral("everything"),
                               QStringLiteral("--database"), location(), QStringLiteral("--user"), QStringLiteral("admin")},
                              QStringLiteral("admin"));
    EXPECT_EQ(wrongKind.status, 1);
    EXPECT_TRUE(wrongKind.err.contains(QStringLiteral("the kind is all, applicants or requisitions")));
}

// A run killed at any moment loses its open batch at most: running the file again
// gives the tables one uninterrupted run gives.
TEST_P(ImportCommandTest, AnImportKilledAnywhereCompletesWhenRunAgain)
{
    const QString file = writeExport(exportFile(30000, 6001, 300));
    const Ran whole = run(importArgs(file, {"--yes"}), QStringLiteral("admin"));
    ASSERT_EQ(whole.status, 0) << whole.err.toStdString();
    const QStringList expected = tables();
    ASSERT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applications")).toInt(), 30000);

    const QProcessEnvironment env = mwtest::programEnvironment(QStringLiteral("admin"));
    // Killed once some applications are in, and again in the next run further on.
    for (const QList<int>& killsAt : {QList<int>{1}, QList<int>{8000, 20000}, QList<int>{29000}}) {
        clearImported();
        for (int at : killsAt) {
            SCOPED_TRACE(at);
            QProcess p;
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(m_testDb->scratchDir());
            p.start(QStringLiteral(MW_PROGRAM), importArgs(file, {"--yes"}));
            ASSERT_TRUE(p.waitForStarted());
            int stored = 0;
            while (p.state() == QProcess::Running) {
                stored = scalar(QStringLiteral("SELECT COUNT(*) FROM applications")).toInt();
                if (stored >= at)
                    break;
                QThread::msleep(5);
            }
            ASSERT_EQ(p.state(), QProcess::Running) << "the import ended before it could be killed at " << at;
            ::kill(pid_t(p.processId()), SIGKILL);
            p.waitForFinished();
            const int left = scalar(QStringLiteral("SELECT COUNT(*) FROM applications")).toInt();
            EXPECT_GE(left, stored) << "what was committed stays";
        }
        const Ran again = run(importArgs(file, {"--yes"}), QStringLiteral("admin"));
        ASSERT_EQ(again.status, 0) << again.err.toStdString();
        const QStringList now = tables();
        EXPECT_EQ(now.size(), expected.size());
        EXPECT_TRUE(now == expected) << "the first difference: "
                                     << [&] {
                                            for (qsizetype i = 0; i < std::min(now.size(), expected.size()); ++i)
                                                if (now[i] != expected[i])
                                                    return (now[i] + QStringLiteral("\n   not ") + expected[i]).toStdString();
                                            return std::string("(sizes)");
                                        }();
    }
}

MW_INSTANTIATE_BACKENDS(ImportCommandTest);

TEST(RunHelp, ListsEveryCommandWithoutADisplay)
{
    const QProcessEnvironment env = mwtest::programEnvironment();
    for (const QStringList& args : {QStringList{QStringLiteral("--help")},
                                    QStringList{QStringLiteral("run"), QStringLiteral("--help")}}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MW_PROGRAM), args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        for (const char* command : {"expire-rif", "expire-not-rehirable", "process-not-rehirable", "mark-old-reviewed", "pack"})
            EXPECT_TRUE(out.contains(QLatin1String(command))) << command;
        EXPECT_TRUE(out.contains(QStringLiteral("Exit status: 0 done, 1 failed, 2 declined")));
    }
}
