// The commands that delete, on both backends, against a real document directory,
// a real mail server and a real FTP server: who and what goes, who and what stays,
// what the user is told, and that a second run finds nothing more to do.

#include "dbfixture.h"
#include "ftpserver.h"
#include "scriptedtalk.h"
#include "smtpserver.h"
#include "tmpdirscope.h"

#include "maintenance/purge.h"
#include "shared/clock.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

const QDate kToday(2026, 6, 15);

QString iso(const QDate& d) { return d.toString(Qt::ISODate); }

const QVariant kNull = QVariant(QMetaType(QMetaType::QString));

void writeFile(const QString& path, int ageDays)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("%PDF-1.4 scanned application");
    f.close();
    const time_t when = QDateTime(QDate::currentDate().addDays(-ageDays), QTime(12, 0)).toSecsSinceEpoch();
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

} // namespace

class PurgeTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_scans.isValid());
        ASSERT_TRUE(m_tmp.isValid());
        m_tmpdir = std::make_unique<mwtest::TmpDirScope>(m_tmp.path());
        // The file dates are real, so "today" is the real day here.
        Clock::setToday(QDate::currentDate());
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf', PurgeDays = 180, DeleteInvalid = 0"),
            {m_scans.path() + QLatin1Char('/')});
        data->ReadSettings();
    }
    void TearDown() override
    {
        m_tmpdir.reset();
        StoreTest::TearDown();
    }

    void applicant(const QString& id, const QVariant& purgeDate, const QVariant& doNotPurge = {},
                   const QString& name = QStringLiteral("Name"))
    {
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, PurgeDate, DoNotPurge) VALUES (?, ?, ?, ?)"),
            {id, name, purgeDate, doNotPurge});
    }
    void application(const QString& req, const QString& id)
    {
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES (?, ?)"), {req, id});
    }
    QStringList column(const QString& select)
    {
        QStringList out;
        QSqlQuery q = data->database().exec(select);
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    QStringList applicants() { return column(QStringLiteral("SELECT ApplicantID FROM applicants ORDER BY ApplicantID")); }
    QStringList applications()
    {
        return column(QStringLiteral("SELECT ReqNumber || '/' || ApplicantID FROM applications ORDER BY 1"));
    }
    QStringList documents() const
    {
        return QDir(m_scans.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                              QDir::Name);
    }
    QDate day(int offset) const { return QDate::currentDate().addDays(offset); }

    ScriptedTalk talk;
    QTemporaryDir m_scans;
    QTemporaryDir m_tmp;
    std::unique_ptr<mwtest::TmpDirScope> m_tmpdir;
};

// Who goes: a purge date that has come, unless he may not be purged; a RIF or not
// rehirable flag holds him until it expires; an empty date has not come.
TEST_P(PurgeTest, PurgeDeletesExactlyTheApplicantsWhoseDateHasComeAndASecondRunNothing)
{
    const struct
    {
        const char* id;
        QVariant purgeDate;
        QVariant doNotPurge;
        const char* flag;    // "", "RIF" or "NotRehire"
        int expiresIn;       // days from today for the flag's expiry
        bool kept;
    } cases[] = {
        {"A-YESTERDAY", day(-1), {}, "", 0, false},
        {"A-TODAY", day(0), kNull, "", 0, false},
        {"A-TODAY-DNP0", day(0), false, "", 0, false},
        {"A-TOMORROW", day(1), {}, "", 0, true},
        {"A-EMPTY", QStringLiteral(""), {}, "", 0, true},
        {"A-NULL", kNull, {}, "", 0, true},
        {"A-DONOTPURGE", day(-30), true, "", 0, true},
        {"A-RIF-LATER", day(-7), {}, "RIF", 30, true},
        {"A-RIF-GONE", day(-7), {}, "RIF", -3, false},
        {"A-NR-LATER", day(-7), {}, "NotRehire", 30, true},
    };
    for (const auto& c : cases) {
        applicant(QLatin1String(c.id), c.purgeDate, c.doNotPurge);
        if (*c.flag)
            sql(QStringLiteral("UPDATE applicants SET %1 = 1, %1Expires = ? WHERE ApplicantID = ?").arg(QLatin1String(c.flag)),
                {day(c.expiresIn), QLatin1String(c.id)});
        application(QStringLiteral("R1"), QLatin1String(c.id));
    }
    // A flag that is off raises nothing.
    sql(QStringLiteral("UPDATE applicants SET NotRehire = 0, NotRehireExpires = ? WHERE ApplicantID = 'A-YESTERDAY'"),
        {day(30)});
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber) VALUES ('R1')"));

    talk.answer({true});
    const OperationResult r = PurgeFilesCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    QStringList kept;
    for (const auto& c : cases)
        if (c.kept)
            kept << QLatin1String(c.id);
    kept.sort();
    EXPECT_EQ(applicants(), kept);
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Purge Files?")});
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From Purge of Database:\n\nRecords Deleted: 4\nFiles Deleted: 0")});
    EXPECT_EQ(talk.waits().mid(0, 2), (QStringList{QStringLiteral("Please Wait Purging/Deleting Information"),
                                                   QStringLiteral("Please Wait, Updating Purge Date of Applicants")}));
    EXPECT_TRUE(talk.waits().contains(QStringLiteral("Deleting Old Applicants")));
    EXPECT_EQ(talk.openWaits(), 0);
    EXPECT_EQ(scalar(QStringLiteral("SELECT PurgeDate FROM applicants WHERE ApplicantID = 'A-RIF-LATER'")).toString(),
              iso(day(30)));
    // Without Delete Invalid the applications of the purged stay.
    EXPECT_EQ(applications().size(), int(std::size(cases)));

    // Again, now with Delete Invalid: no applicant more, their applications go.
    sql(QStringLiteral("UPDATE settings SET DeleteInvalid = 1"));
    data->ReadSettings();
    talk.clear();
    talk.answer({true});
    const OperationResult again = PurgeFilesCommand(*data, talk);
    EXPECT_EQ(again.countOf(QStringLiteral("Records Deleted")), 0);
    EXPECT_EQ(again.countOf(QStringLiteral("Applications Deleted")), 4);
    EXPECT_EQ(applicants(), kept);
    EXPECT_EQ(applications().size(), kept.size());
}

// A document goes only when it is a regular file named after an applicant
// identifier that no applicant has any more, and it is old enough.
TEST_P(PurgeTest, OnlyOldDocumentsOfApplicantsNoLongerThereAreDeleted)
{
    applicant(QStringLiteral("00000001"), day(1));               // stays
    applicant(QStringLiteral("00000002"), day(1), {}, QString()); // stays, nameless
    applicant(QStringLiteral("00000003"), day(-1));              // purged now
    applicant(QStringLiteral("Ab12"), day(1));                   // stays, letters
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    writeFile(elsewhere.filePath(QStringLiteral("target.pdf")), 400);
    const QString s = m_scans.path() + QLatin1Char('/');
    writeFile(s + QStringLiteral("00000001.pdf"), 400);
    writeFile(s + QStringLiteral("00000002.pdf"), 400);
    writeFile(s + QStringLiteral("00000003.pdf"), 400);
    writeFile(s + QStringLiteral("aB12.pdf"), 400);
    writeFile(s + QStringLiteral("00000009.pdf"), 400);  // orphan, old: goes
    writeFile(s + QStringLiteral("00000008.PDF"), 181);  // orphan, old, capitals: goes
    writeFile(s + QStringLiteral("00000007.pdf"), 179);  // orphan, too young
    writeFile(s + QStringLiteral("00000006.txt"), 400);  // another extension
    writeFile(s + QStringLiteral("0000.0005.pdf"), 400); // not a document name
    writeFile(s + QStringLiteral(".pdf"), 400);          // no identifier
    ASSERT_TRUE(QDir().mkdir(s + QStringLiteral("00000004.pdf")));
    ASSERT_TRUE(QFile::link(elsewhere.filePath(QStringLiteral("target.pdf")), s + QStringLiteral("00000010.pdf")));

    talk.answer({true});
    const OperationResult r = PurgeFilesCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(documents(), (QStringList{QStringLiteral(".pdf"), QStringLiteral("0000.0005.pdf"),
                                        QStringLiteral("00000001.pdf"), QStringLiteral("00000002.pdf"),
                                        QStringLiteral("00000004.pdf"), QStringLiteral("00000006.txt"),
                                        QStringLiteral("00000007.pdf"), QStringLiteral("00000010.pdf"),
                                        QStringLiteral("aB12.pdf")}));
    EXPECT_TRUE(QFile::exists(elsewhere.filePath(QStringLiteral("target.pdf"))));
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From Purge of Database:\n\nRecords Deleted: 1\nFiles Deleted: 3")});

    talk.clear();
    talk.answer({true});
    EXPECT_EQ(PurgeFilesCommand(*data, talk).countOf(QStringLiteral("Files Deleted")), 0);
}

// Without a usable document directory nothing is purged and no file anywhere goes.
TEST_P(PurgeTest, WithoutAUsableDocumentDirectoryThePurgeRefuses)
{
    applicant(QStringLiteral("00000003"), day(-1));
    writeFile(m_scans.filePath(QStringLiteral("00000009.pdf")), 400);
    // An empty location would mean the working directory: put an orphan there too.
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(m_scans.path());
    const struct
    {
        const char* location;
        const char* ext;
        const char* says;
    } cases[] = {
        {"", "pdf", "The directory of the scanned applications is not set"},
        {"/nonexistent/scans/", "pdf", "The directory of the scanned applications, /nonexistent/scans/, does not exist."},
        {"@", "", "The extension of the scanned applications is not set"},
        {"/", "pdf", "The directory of the scanned applications is not set, or is the root directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        const QString location =
            QLatin1String(c.location) == QLatin1String("@") ? m_scans.path() + QLatin1Char('/') : QLatin1String(c.location);
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = ?"), {location, QLatin1String(c.ext)});
        data->ReadSettings();
        talk.clear();
        talk.answer({true});
        const OperationResult r = PurgeFilesCommand(*data, talk);
        EXPECT_TRUE(r.isFailed());
        ASSERT_EQ(talk.errors().size(), 1);
        EXPECT_TRUE(talk.errors().first().startsWith(QLatin1String(c.says))) << talk.errors().first().toStdString();
        EXPECT_TRUE(talk.errors().first().endsWith(QLatin1String("Nothing was purged or deleted.")));
        EXPECT_TRUE(talk.questions().isEmpty());
    }
    QDir::setCurrent(oldDir);
    EXPECT_EQ(applicants(), QStringList{QStringLiteral("00000003")});
    EXPECT_EQ(documents(), QStringList{QStringLiteral("00000009.pdf")});
}

// A document the file system will not let go is named, and not counted.
TEST_P(PurgeTest, ADocumentThatCannotBeDeletedIsNamedNotCounted)
{
    const QByteArray dir = QFile::encodeName(m_scans.path());
    if (::mount("tmpfs", dir.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a read-only file system needs mount rights";
    writeFile(m_scans.filePath(QStringLiteral("00000009.pdf")), 400);
    ASSERT_EQ(::mount(nullptr, dir.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    talk.answer({true});
    const OperationResult r = PurgeFilesCommand(*data, talk);
    EXPECT_EQ(::umount2(dir.constData(), MNT_DETACH), 0);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(r.countOf(QStringLiteral("Files Deleted")), 0);
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From Purge of Database:\n\nRecords Deleted: 0\nFiles Deleted: 0\n\n"
                                         "Files Not Deleted: 1\n00000009.pdf: Read-only file system")});
}

// Applications without a requisition or without an applicant go, the others stay;
// no results box, the count is for the command line.
TEST_P(PurgeTest, InvalidApplicationsAreThoseWithoutRequisitionOrApplicant)
{
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber) VALUES ('R1')"));
    applicant(QStringLiteral("A1"), day(30));
    application(QStringLiteral("R1"), QStringLiteral("A1"));   // valid
    application(QStringLiteral("R9"), QStringLiteral("A1"));   // no requisition
    application(QStringLiteral("R1"), QStringLiteral("A9"));   // no applicant
    application(QStringLiteral(""), QStringLiteral("A1"));     // no requisition at all
    application(QStringLiteral("r1"), QStringLiteral("A1"));   // another requisition's letter case
    talk.answer({true});
    const OperationResult r = DeleteInvalidApplicationsCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(r.countOf(QStringLiteral("Applications Deleted")), 4);
    EXPECT_EQ(applications(), QStringList{QStringLiteral("R1/A1")});
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Delete Invalid Applications?")});
    EXPECT_TRUE(talk.informations().isEmpty());
    EXPECT_TRUE(talk.waits().contains(QStringLiteral("Deleting Applications With No Valid Applicants")));
}

// Cancel in the purge window stops before the next slice: what is done stays, the
// rest is left for the next run, and the results say how far it came.
TEST_P(PurgeTest, CancelInThePurgeWindowStopsAndTheNextRunFinishes)
{
    applicant(QStringLiteral("00000003"), day(-1));
    writeFile(m_scans.filePath(QStringLiteral("00000009.pdf")), 400);
    PurgeView view;
    view.step = [](const QString&) {};
    view.cancelled = [] { return true; };
    talk.answer({true});
    const OperationResult r = PurgeFilesCommand(*data, talk, view);
    EXPECT_TRUE(r.isCancelled());
    EXPECT_EQ(applicants(), QStringList{QStringLiteral("00000003")});
    EXPECT_EQ(documents(), QStringList{QStringLiteral("00000009.pdf")});
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From Purge of Database:\n\nRecords Deleted: 0\nFiles Deleted: 0")});

    talk.clear();
    talk.answer({true});
    EXPECT_TRUE(PurgeFilesCommand(*data, talk).isDone());
    EXPECT_TRUE(applicants().isEmpty());
    EXPECT_TRUE(documents().isEmpty());
}

// A record another copy is editing when the purge deletes it: that copy's save
// fails with "Record/Key deleted", it does not vanish.
TEST_P(PurgeTest, AnotherCopysEditOfAPurgedApplicantFailsAtItsSave)
{
    applicant(QStringLiteral("00000003"), day(-1));
    const DatabaseLocation& l = m_testDb->location();
    QProcess probe;
    probe.start(QStringLiteral(MW_STOREPROBE),
                {l.dialect == Dialect::SQLite ? l.directory : l.url, QStringLiteral("serve")});
    ASSERT_TRUE(probe.waitForStarted());
    const auto say = [&probe](const QString& line) {
        probe.write(line.toUtf8() + '\n');
        if (!probe.waitForReadyRead(20000))
            return QStringLiteral("<no answer>");
        while (!probe.canReadLine() && probe.waitForReadyRead(5000)) {
        }
        return QString::fromUtf8(probe.readLine()).trimmed();
    };
    ASSERT_TRUE(probe.waitForReadyRead(20000));
    EXPECT_EQ(QString::fromUtf8(probe.readLine()).trimmed(), QStringLiteral("READY"));
    EXPECT_EQ(say(QStringLiteral("edit\tapplicants\tApplicantID\t00000003")), QStringLiteral("OK"));
    EXPECT_EQ(say(QStringLiteral("set\tName\tChanged Meanwhile")), QStringLiteral("OK"));

    talk.answer({true});
    ASSERT_TRUE(PurgeFilesCommand(*data, talk).isDone());
    EXPECT_TRUE(applicants().isEmpty());

    EXPECT_TRUE(say(QStringLiteral("post")).startsWith(QLatin1String("ERROR: Record/Key deleted.")));
    EXPECT_TRUE(applicants().isEmpty());
    probe.closeWriteChannel();
    EXPECT_TRUE(probe.waitForFinished(20000));
}

MW_INSTANTIATE_BACKENDS(PurgeTest);

// ---------------------------------------------------------------- requisitions

class RequisitionCleanUpTest : public PurgeTest
{
protected:
    void SetUp() override
    {
        PurgeTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(smtp.ok()) << smtp.error().toStdString();
        ASSERT_TRUE(ftp.ok()) << ftp.error().toStdString();
        m_base = QStringLiteral("http://127.0.0.1:%1/jobs/").arg(ftp.httpPort());
        sql(QStringLiteral("UPDATE settings SET SMTPServer = ?, Port = ?, SMTPTimeout = 5, FTPHost = ?, FTPPort = ?, "
                           "FTPUserName = ?, FTPPassword = ?, FTPUploadDir = '/jobs/', FTPPassive = 1, FTPTimeout = 5, "
                           "HTTPWebAddress = ?"),
            {smtp.host(), smtp.port(), ftp.host(), ftp.port(), ftp.user(), ftp.password(), m_base});
        data->ReadSettings();
        data->LoginData.UserID = QStringLiteral("PAT");
        data->LoginData.EMailAddress = QStringLiteral("hr@example.com");
        data->LoginData.SMTPServer = smtp.host();
        data->LoginData.SMTPPort = smtp.port();
    }

    void requisition(const QString& number, const QString& group, const QVariant& posted, bool filled, bool marked,
                     const QString& webDir = QString())
    {
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, Department, PositionTitle, DatePosted, "
                           "PositionFilled, PurgeReq, WebAddress) VALUES (?, ?, ?, 'Clerk', ?, ?, ?, ?)"),
            {number, group, QStringLiteral("Dept of ") + number, posted, filled, marked,
             webDir.isEmpty() ? QVariant(QString()) : QVariant(m_base + webDir + QStringLiteral("/index.htm"))});
    }
    // A requisition's directory on the web server, with its pages.
    void published(const QString& dir)
    {
        const QString path = ftp.root() + QStringLiteral("/jobs/") + dir;
        ASSERT_TRUE(QDir().mkpath(path));
        for (const char* f : {"index.htm", "00000001.pdf"}) {
            QFile file(path + QLatin1Char('/') + QLatin1String(f));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("page");
        }
    }
    void user(const QString& id, const QString& group, bool mainUser, const QString& email, const QString& forward = {})
    {
        sql(QStringLiteral("INSERT INTO users (UserID, JobPostingID, MainUser, EMailAddress, ForwardJobTo) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {id, group, mainUser, email, forward});
    }
    QStringList requisitions()
    {
        return column(QStringLiteral("SELECT ReqNumber || ':' || COALESCE(PurgeReq, 0) || COALESCE(PositionFilled, 0) "
                                     "FROM requisitions ORDER BY ReqNumber"));
    }

    mwtest::SmtpServer smtp;
    mwtest::FtpServer ftp{{mwtest::FtpServerOptions::Tls::None, true}};
    QString m_base;
};

// Marked: every filled requisition and every one posted PurgeDays or more days ago;
// each group's main user is told of his group's, none of another's.
TEST_P(RequisitionCleanUpTest, MarkingMarksOldAndFilledRequisitionsAndTellsEachGroupOnce)
{
    requisition(QStringLiteral("R1"), QStringLiteral("NUR"), day(-180), false, false); // exactly PurgeDays: marked
    requisition(QStringLiteral("R2"), QStringLiteral("NUR"), day(-179), false, false); // a day later: not
    requisition(QStringLiteral("R3"), QStringLiteral("PARKS"), day(-2), true, false);  // filled
    requisition(QStringLiteral("R4"), QStringLiteral("PARKS"), QString(), false, false); // no date: not
    requisition(QStringLiteral("R5"), QString(), day(-400), false, false);             // no group: in no notice
    requisition(QStringLiteral("R6"), QStringLiteral("IT"), day(-1), true, true);       // marked before: again
    user(QStringLiteral("NURMAIN"), QStringLiteral("NUR"), true, QStringLiteral("nur@example.com"));
    user(QStringLiteral("NUROTHER"), QStringLiteral("NUR"), false, QStringLiteral("other@example.com"));
    user(QStringLiteral("PARKSMAIN"), QStringLiteral("PARKS"), true, QStringLiteral("parks@example.com"),
         QStringLiteral("parks-desk@example.com"));
    user(QStringLiteral("ITMAIN"), QStringLiteral("IT"), true, QString()); // no address: not told

    talk.answer({true});
    const OperationResult r = MarkOldRequisitionsCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(requisitions(), (QStringList{QStringLiteral("R1:11"), QStringLiteral("R2:00"), QStringLiteral("R3:11"),
                                           QStringLiteral("R4:00"), QStringLiteral("R5:11"), QStringLiteral("R6:11")}));
    EXPECT_EQ(column(QStringLiteral("SELECT ModifiedBy || ' ' || ModifiedDate FROM requisitions WHERE PurgeReq = 1 "
                                    "ORDER BY ReqNumber")),
              QStringList(4, QStringLiteral("PAT ") + iso(day(0))));
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From Mark Old Requisitions:\n\nRecords Marked For Deletions: 4")});
    EXPECT_EQ(talk.waits().first(), QStringLiteral("Please Wait, Marking Old Requisitions"));

    ASSERT_TRUE(smtp.waitForMessages(2));
    EXPECT_EQ(smtp.messageCount(), 2);
    const QString head = QStringLiteral(
        "The Following Requisition Have Been Marked To Be Delete.\nTo Keep The Requisition From Being Delete, Go To "
        "The.\nJob Requisition and Uncheck The Delete Req Box\nThe Requisition Will Be Deleted In 10 Days If you "
        "Do Not\nTake Any Action.\n\n");
    // Groups in order: NUR, PARKS.
    const QJsonObject nur = smtp.message(1);
    const QJsonObject parks = smtp.message(2);
    EXPECT_EQ(nur.value(QStringLiteral("rcpt_tos")).toArray().toVariantList(), QVariantList{QStringLiteral("nur@example.com")});
    EXPECT_EQ(parks.value(QStringLiteral("rcpt_tos")).toArray().toVariantList(),
              QVariantList{QStringLiteral("parks-desk@example.com")});
    EXPECT_EQ(nur.value(QStringLiteral("subject")).toString(), QStringLiteral("Requisition(s) Marked For Deletion"));
    EXPECT_EQ(nur.value(QStringLiteral("from")).toString(), QStringLiteral("Merrowind <hr@example.com>"));
    EXPECT_TRUE(nur.value(QStringLiteral("body_text")).toString().startsWith(head))
        << nur.value(QStringLiteral("body_text")).toString().toStdString();
    EXPECT_TRUE(nur.value(QStringLiteral("body_text")).toString().contains(QStringLiteral("Requisition: R1 Department: Dept of R1")));
    EXPECT_FALSE(nur.value(QStringLiteral("body_text")).toString().contains(QStringLiteral("R3")));
    EXPECT_TRUE(parks.value(QStringLiteral("body_text")).toString().contains(QStringLiteral("Requisition: R3 Department: Dept of R3")));
    EXPECT_FALSE(parks.value(QStringLiteral("body_text")).toString().contains(QStringLiteral("R1 ")));
}

// The mail server down: the requisitions stay marked, the command says which groups
// were not told; without his own address the user marks nothing.
TEST_P(RequisitionCleanUpTest, MarkingWithoutMailStillMarksAndSaysWhoWasNotTold)
{
    requisition(QStringLiteral("R1"), QStringLiteral("NUR"), day(-200), false, false);
    requisition(QStringLiteral("R3"), QStringLiteral("PARKS"), day(-2), true, false);
    user(QStringLiteral("NURMAIN"), QStringLiteral("NUR"), true, QStringLiteral("nur@example.com"));
    user(QStringLiteral("PARKSMAIN"), QStringLiteral("PARKS"), true, QStringLiteral("parks@example.com"));

    data->LoginData.EMailAddress.clear();
    talk.answer({true});
    EXPECT_TRUE(MarkOldRequisitionsCommand(*data, talk).isFailed());
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Your E-Mail Address Has Not Been Setup")});
    EXPECT_EQ(requisitions(), (QStringList{QStringLiteral("R1:00"), QStringLiteral("R3:01")}));

    data->LoginData.EMailAddress = QStringLiteral("hr@example.com");
    ASSERT_TRUE(smtp.refuseConnections());
    talk.clear();
    talk.answer({true});
    const OperationResult r = MarkOldRequisitionsCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(requisitions(), (QStringList{QStringLiteral("R1:11"), QStringLiteral("R3:11")}));
    EXPECT_EQ(r.countOf(QStringLiteral("Groups Not Told")), 2);
    ASSERT_EQ(talk.informations().size(), 1);
    const QString results = talk.informations().first();
    EXPECT_TRUE(results.startsWith(QStringLiteral(
        "Results From Mark Old Requisitions:\n\nRecords Marked For Deletions: 2\n\nGroups Not Told: 2\nNUR: ")))
        << results.toStdString();
    EXPECT_TRUE(results.contains(QStringLiteral("\nPARKS: the mail server could not be reached"))) << results.toStdString();
    // The mail failure was shown once, not once per group.
    EXPECT_EQ(talk.errors().size(), 1);
}

// Deleted: a marked requisition with its applications, once its web directory is
// gone; kept with its applications when the directory stays, its address is not
// safe, or it was unmarked meanwhile. Contacts not updated for a year go.
TEST_P(RequisitionCleanUpTest, DeletingTakesARequisitionWithItsApplicationsOnlyOnceItsWebPagesAreGone)
{
    requisition(QStringLiteral("R1"), QStringLiteral("NUR"), day(-200), true, true);                   // no web
    requisition(QStringLiteral("R2"), QStringLiteral("NUR"), day(-200), true, true, QStringLiteral("aaaaaaaa"));
    requisition(QStringLiteral("R3"), QStringLiteral("NUR"), day(-200), true, true, QStringLiteral(".."));  // unsafe
    requisition(QStringLiteral("R4"), QStringLiteral("NUR"), day(-200), true, false, QStringLiteral("bbbbbbbb"));
    requisition(QStringLiteral("R5"), QStringLiteral("NUR"), day(-200), true, true);                   // unmarked meanwhile
    published(QStringLiteral("aaaaaaaa"));
    published(QStringLiteral("bbbbbbbb"));
    published(QStringLiteral("cccccccc"));
    for (const char* req : {"R1", "R2", "R3", "R4", "R5"})
        application(QLatin1String(req), QStringLiteral("A1"));
    application(QStringLiteral("R9"), QStringLiteral("A1")); // no requisition: stays without Delete Invalid
    sql(QStringLiteral("INSERT INTO dept_contacts (Contact, EMailAddress, Updated) VALUES "
                       "('Old', 'old@example.com', ?), ('Recent', 'r@example.com', ?), ('Undated', 'u@example.com', '')"),
        {day(-365), day(-364)});

    PurgeView view;
    QStringList steps;
    bool shown = false;
    view.show = [&] { shown = true; };
    view.hide = [&] { shown = false; };
    view.step = [&](const QString& text) {
        steps << text;
        if (text == QLatin1String("Deleting All Applications For Requisition: R5"))
            sql(QStringLiteral("UPDATE requisitions SET PurgeReq = 0 WHERE ReqNumber = 'R5'"));
    };
    talk.answer({true});
    const OperationResult r = DeleteOldRequisitionsCommand(*data, talk, view);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_FALSE(shown);
    EXPECT_EQ(requisitions(), (QStringList{QStringLiteral("R3:11"), QStringLiteral("R4:01"), QStringLiteral("R5:01")}));
    EXPECT_EQ(applications(), (QStringList{QStringLiteral("R3/A1"), QStringLiteral("R4/A1"), QStringLiteral("R5/A1"),
                                           QStringLiteral("R9/A1")}));
    EXPECT_EQ(ftp.entries(QStringLiteral("jobs")), (QStringList{QStringLiteral("bbbbbbbb"), QStringLiteral("cccccccc")}));
    EXPECT_EQ(column(QStringLiteral("SELECT Contact FROM dept_contacts ORDER BY Contact")),
              (QStringList{QStringLiteral("Recent"), QStringLiteral("Undated")}));
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From Delete Requistions:\n\nRecords Deleted: 2\n\n"
                                         "Requisitions Kept: 1\nR3: its web directory could not be removed")});
    EXPECT_EQ(talk.errors().size(), 1); // the unsafe address, told by the web removal
    EXPECT_EQ(steps.first(), QStringLiteral("Preparing Records to be deleted"));
    EXPECT_TRUE(steps.contains(QStringLiteral("Removing Web Site Data For Requisition: R2")));
    EXPECT_EQ(steps.last(), QStringLiteral("Deleting Old E-Mail Address"));
    EXPECT_TRUE(talk.waits().isEmpty()) << "the purge window shows the steps";
}

// The web server down: every web requisition stays with its applications, tried
// once; the others go.
TEST_P(RequisitionCleanUpTest, DeletingWithTheWebServerDownKeepsTheWebRequisitions)
{
    requisition(QStringLiteral("R1"), QStringLiteral("NUR"), day(-200), true, true);
    requisition(QStringLiteral("R2"), QStringLiteral("NUR"), day(-200), true, true, QStringLiteral("aaaaaaaa"));
    requisition(QStringLiteral("R3"), QStringLiteral("NUR"), day(-200), true, true, QStringLiteral("bbbbbbbb"));
    for (const char* req : {"R1", "R2", "R3"})
        application(QLatin1String(req), QStringLiteral("A1"));
    applicant(QStringLiteral("A1"), day(30));
    sql(QStringLiteral("UPDATE settings SET DeleteInvalid = 1"));
    data->ReadSettings();
    ASSERT_TRUE(ftp.refuseConnections());
    talk.answer({true});
    const OperationResult r = DeleteOldRequisitionsCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(requisitions(), (QStringList{QStringLiteral("R2:11"), QStringLiteral("R3:11")}));
    EXPECT_EQ(applications(), (QStringList{QStringLiteral("R2/A1"), QStringLiteral("R3/A1")}));
    EXPECT_EQ(r.countOf(QStringLiteral("Requisitions Kept")), 2);
    EXPECT_TRUE(talk.informations().value(0).endsWith(QStringLiteral(
        "R2: its web directory could not be removed\nR3: the web server could not be reached")))
        << talk.informations().value(0).toStdString();

    // Back up: the next run finishes the job.
    ASSERT_TRUE(ftp.reset());
    talk.clear();
    talk.answer({true});
    EXPECT_EQ(DeleteOldRequisitionsCommand(*data, talk).countOf(QStringLiteral("Records Deleted")), 2);
    EXPECT_TRUE(requisitions().isEmpty());
    EXPECT_TRUE(applications().isEmpty());
}

// Filled requisitions leave the web: the directory goes, then the address; one
// whose directory stays keeps its address; none filled changes nothing.
TEST_P(RequisitionCleanUpTest, FilledRequisitionsLeaveTheWebAndKeepTheirAddressWhenTheyCannot)
{
    talk.answer({true});
    EXPECT_EQ(RemoveFilledReqsFromWebCommand(*data, talk).countOf(QStringLiteral("Requestions Deleted")), 0);
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral(
                                        "Results From Remove Old Requistions From Web:\n\nRequestions Deleted: 0")});

    requisition(QStringLiteral("R1"), QStringLiteral("NUR"), day(-10), true, false, QStringLiteral("aaaaaaaa"));
    requisition(QStringLiteral("R2"), QStringLiteral("NUR"), day(-10), false, false, QStringLiteral("bbbbbbbb"));
    requisition(QStringLiteral("R3"), QStringLiteral("NUR"), day(-10), true, false, QStringLiteral("bad dir"));
    requisition(QStringLiteral("R4"), QStringLiteral("NUR"), day(-10), true, false);
    published(QStringLiteral("aaaaaaaa"));
    published(QStringLiteral("bbbbbbbb"));
    talk.clear();
    talk.answer({true});
    const OperationResult r = RemoveFilledReqsFromWebCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(r.countOf(QStringLiteral("Requestions Deleted")), 1);
    EXPECT_EQ(ftp.entries(QStringLiteral("jobs")), QStringList{QStringLiteral("bbbbbbbb")});
    EXPECT_EQ(column(QStringLiteral("SELECT ReqNumber || '=' || COALESCE(WebAddress, '') FROM requisitions ORDER BY 1")),
              (QStringList{QStringLiteral("R1="), QStringLiteral("R2=") + m_base + QStringLiteral("bbbbbbbb/index.htm"),
                           QStringLiteral("R3=") + m_base + QStringLiteral("bad dir/index.htm"), QStringLiteral("R4=")}));
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Removed Fill Requistions From The Web?")});
    EXPECT_EQ(talk.waits().value(0), QStringLiteral("Please Wait, Removing Fill Requistions From Web"));
}

MW_INSTANTIATE_BACKENDS(RequisitionCleanUpTest);
