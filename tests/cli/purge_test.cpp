// `merrowind run purge` and the other deleting commands as a real process: what a
// nightly run prints, that a second run has nothing left to do, and that a purge
// without a usable document directory deletes nothing anywhere.

#include "dbfixture.h"
#include "programrun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>

using namespace mw;
using mwtest::Ran;

class PurgeCommandTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_scans.isValid());
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf', PurgeDays = 180, DeleteInvalid = 1"),
            {m_scans.path() + QLatin1Char('/')});
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber) VALUES ('R1')"));
        const QDate today = QDate::currentDate();
        const struct
        {
            const char* id;
            QDate purgeDate;
        } applicants[] = {{"00000001", today.addDays(-1)}, {"00000002", today.addDays(1)}};
        for (const auto& a : applicants) {
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, PurgeDate) VALUES (?, 'Name', ?)"),
                {QLatin1String(a.id), a.purgeDate});
            sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES ('R1', ?)"), {QLatin1String(a.id)});
            document(QLatin1String(a.id));
        }
    }
    void document(const QString& id)
    {
        const QString path = m_scans.filePath(id + QStringLiteral(".pdf"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("scan");
        f.close();
        const time_t old = QDateTime::currentDateTime().addDays(-400).toSecsSinceEpoch();
        const timespec times[2] = {{old, 0}, {old, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    Ran run(const QString& command)
    {
        return mwtest::runProgram({QStringLiteral("run"), command, QStringLiteral("--yes"), QStringLiteral("--database"),
                                   mwtest::databaseArgument(m_testDb->location())},
                                  m_testDb->scratchDir(), mwtest::programEnvironment());
    }
    int count(const char* table) { return scalar(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table)).toInt(); }

    QTemporaryDir m_scans;
};

TEST_P(PurgeCommandTest, PurgePrintsWhatItDeletedAndASecondRunDeletesNothing)
{
    const Ran first = run(QStringLiteral("purge"));
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_EQ(first.out, QStringLiteral("Results From Purge of Database:\n\nRecords Deleted: 1\nFiles Deleted: 1\n"));
    EXPECT_EQ(count("applicants"), 1);
    EXPECT_EQ(count("applications"), 1);
    EXPECT_EQ(QDir(m_scans.path()).entryList(QDir::Files), QStringList{QStringLiteral("00000002.pdf")});

    const Ran second = run(QStringLiteral("purge"));
    ASSERT_EQ(second.status, 0) << second.err.toStdString();
    EXPECT_EQ(second.out, QStringLiteral("Results From Purge of Database:\n\nRecords Deleted: 0\nFiles Deleted: 0\n"));

    // The other deleting commands have nothing to do here either.
    for (const char* command : {"delete-invalid-applications", "delete-old-requisitions", "remove-filled-from-web"}) {
        SCOPED_TRACE(command);
        const Ran r = run(QLatin1String(command));
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
    }
    EXPECT_EQ(count("applications"), 1);
    EXPECT_EQ(count("requisitions"), 1);
}

TEST_P(PurgeCommandTest, PurgeWithoutADocumentDirectoryDeletesNothingAnywhere)
{
    sql(QStringLiteral("UPDATE settings SET FileLocation = ''"));
    // The working directory would be the documents' directory: an orphan lies there.
    QFile orphan(m_testDb->scratchDir() + QStringLiteral("/00000009.pdf"));
    ASSERT_TRUE(orphan.open(QIODevice::WriteOnly));
    orphan.close();
    const Ran r = run(QStringLiteral("purge"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Nothing was purged or deleted."))) << r.err.toStdString();
    EXPECT_EQ(count("applicants"), 2);
    EXPECT_EQ(QDir(m_scans.path()).entryList(QDir::Files).size(), 2);
    EXPECT_TRUE(orphan.exists());
}

// Killed anywhere in its work, the purge leaves consistent data, and the next run
// finishes the job: exactly those whose date has come are gone, with their documents.
TEST_P(PurgeCommandTest, APurgeKilledMidwayIsFinishedByTheNextRun)
{
    constexpr int count = 20000;
    const QDate today = QDate::currentDate();
    {
        Database& db = data->database();
        Transaction tx(db);
        for (int i = 0; i < count; ++i) {
            const QString id = QStringLiteral("1%1").arg(i, 7, 10, QLatin1Char('0'));
            db.execCached(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, PurgeDate) VALUES (?, 'Name', ?)"),
                          {id, today.addDays(i % 2 ? 1 : -1)})
                .finish();
        }
        tx.commit();
    }
    for (int i = 0; i < count; i += 2)
        document(QStringLiteral("1%1").arg(i, 7, 10, QLatin1Char('0')));
    const int before = this->count("applicants");

    QProcess p;
    p.setProcessEnvironment(mwtest::programEnvironment());
    p.setWorkingDirectory(m_testDb->scratchDir());
    p.start(QStringLiteral(MW_PROGRAM), {QStringLiteral("run"), QStringLiteral("purge"), QStringLiteral("--yes"),
                                         QStringLiteral("--database"), mwtest::databaseArgument(m_testDb->location())});
    ASSERT_TRUE(p.waitForStarted());
    // Killed once the first applicants or documents are gone (here: the applicants
    // are gone, their documents are not yet).
    const int documentsBefore = int(QDir(m_scans.path()).entryList(QDir::Files).size());
    for (int i = 0; i < 4000 && p.state() == QProcess::Running; ++i) {
        if (this->count("applicants") < before ||
            QDir(m_scans.path()).entryList(QDir::Files).size() < documentsBefore)
            break;
        QThread::msleep(2);
    }
    ::kill(pid_t(p.processId()), SIGKILL);
    p.waitForFinished();

    const Ran again = run(QStringLiteral("purge"));
    ASSERT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(this->count("applicants"), count / 2 + 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants WHERE PurgeDate <= ?"), {today}).toInt(), 0);
    EXPECT_EQ(QDir(m_scans.path()).entryList(QDir::Files), QStringList{QStringLiteral("00000002.pdf")});
}

MW_INSTANTIATE_BACKENDS(PurgeCommandTest);
