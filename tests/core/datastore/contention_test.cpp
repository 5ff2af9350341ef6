// Several running copies working on the same records: whatever one copy does while
// another edits, no saved edit is lost and every failure is told.

#include "dbfixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

#include <cerrno>
#include <csignal>

using namespace mw;

namespace {

// Short enough to keep the tests quick, long enough for a loaded machine's heartbeat.
constexpr int StaleMs = 800;

// A second running copy driven through the probe's serve mode, one command a line.
class Copy
{
public:
    struct Shape
    {
        QString machine;              // registers as this workstation; empty: this one
        int clockSkew = 0;            // seconds its clock is off
        bool ownPidNamespace = false; // runs under unshare --pid --fork
    };

    Copy(const QString& location, const Shape& shape)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MW_PROBE_STALE_MS"), QString::number(StaleMs));
        if (!shape.machine.isEmpty())
            env.insert(QStringLiteral("MW_PROBE_MACHINE"), shape.machine);
        if (shape.clockSkew != 0)
            env.insert(QStringLiteral("MW_PROBE_CLOCK_SKEW"), QString::number(shape.clockSkew));
        m_p.setProcessEnvironment(env);
        const QStringList probe{QStringLiteral(MW_STOREPROBE), location, QStringLiteral("serve")};
        if (shape.ownPidNamespace) {
            // Inside, the copy gets a process number that names no process out here,
            // so that a look at this side's process table finds it "gone".
            const QString script = QStringLiteral("echo \"$1\" > /proc/sys/kernel/ns_last_pid; shift; \"$0\" \"$@\"; exit");
            m_p.start(QStringLiteral("unshare"), QStringList{QStringLiteral("--pid"), QStringLiteral("--fork"),
                                                             QStringLiteral("--mount-proc"),
                                                             QStringLiteral("--kill-child"), QStringLiteral("sh"),
                                                             QStringLiteral("-c"), script, probe[0],
                                                             QString::number(freePid())} +
                                                     probe.mid(1));
        } else {
            m_p.start(probe[0], probe.mid(1));
        }
        m_ready = m_p.waitForStarted(30000) && answer() == "READY";
    }
    ~Copy()
    {
        m_p.closeWriteChannel(); // the copy ends as a window closes
        if (!m_p.waitForFinished(30000)) {
            m_p.kill();
            m_p.waitForFinished(30000);
        }
        EXPECT_TRUE(m_p.exitStatus() == QProcess::NormalExit && m_p.exitCode() == 0)
            << "the other copy did not end cleanly: " << error();
    }
    bool ready() const { return m_ready; }
    std::string error() { return m_p.readAllStandardError().toStdString(); }

    void send(const QStringList& command) { m_p.write((command.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8()); }
    // The next line the copy answers; empty when none came in time.
    std::string answer(int ms = 30000)
    {
        const QDeadlineTimer deadline(ms);
        while (!m_p.canReadLine()) {
            if (deadline.hasExpired() || m_p.state() == QProcess::NotRunning)
                return std::string();
            m_p.waitForReadyRead(50);
        }
        return m_p.readLine().trimmed().toStdString();
    }
    bool answered() { return m_p.canReadLine() || (m_p.waitForReadyRead(0), m_p.canReadLine()); }
    std::string ask(const QStringList& command)
    {
        send(command);
        return answer();
    }

    // Whether copies can be started in process-id namespaces of their own here.
    static QString cannotUnshare()
    {
        if (::geteuid() != 0)
            return QStringLiteral("not root");
        if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
            return QStringLiteral("no unshare");
        if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("--pid"), QStringLiteral("--fork"),
                                                          QStringLiteral("--mount-proc"), QStringLiteral("--kill-child"),
                                                          QStringLiteral("true")}) != 0)
            return QStringLiteral("unshare --pid refused");
        return QString();
    }

private:
    static int freePid()
    {
        for (int pid = 20000; pid < 30000; ++pid)
            if (::kill(pid, 0) != 0 && errno == ESRCH && ::kill(pid + 1, 0) != 0 && errno == ESRCH)
                return pid;
        return 20000;
    }

    QProcess m_p;
    bool m_ready = false;
};

} // namespace

class ContentionTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        data->sessions().setStaleAfter(StaleMs);
        data->sessions().setUser(QStringLiteral("SUPERVISOR"));
    }
    QString location() const
    {
        const DatabaseLocation& l = m_testDb->location();
        return l.dialect == Dialect::SQLite ? l.directory : l.url;
    }
    int count(const QString& table, const QString& where, const QVariantList& binds)
    {
        return scalar(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(table, where), binds).toInt();
    }
    std::string applicant(const QString& field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM applicants WHERE ApplicantID = ?").arg(field),
                      {QStringLiteral("00000001")})
            .toString()
            .toStdString();
    }
};

// A copy edits an applicant and then goes quiet in one of the ways that made
// others take it for closed. While it still runs, its lock holds and its post
// saves; when it really stood still, another copy may take the record over, and
// then its post is refused, keeps the typing and saves on a second try without
// undoing the other copy's work.
TEST_P(ContentionTest, AnEditSurvivesHowEverItsCopyGoesQuiet)
{
    const struct
    {
        const char* how;
        Copy::Shape shape;
        const char* pause; // what it does meanwhile, for three times the stale time
        bool running;      // whether it still counts as running
    } cases[] = {
        {"a long operation holds its window thread", {QStringLiteral("ELSEWHERE")}, "block", true},
        {"its clock is five minutes behind", {QStringLiteral("ELSEWHERE"), -300}, nullptr, true},
        {"it has a process-id namespace of its own", {QString(), 0, true}, nullptr, true},
        {"its machine sleeps", {QStringLiteral("ELSEWHERE")}, "sleep", false},
    };
    const QString unshareProblem = Copy::cannotUnshare();
    TTable& t = data->ApplicantTable;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        if (c.shape.ownPidNamespace && !unshareProblem.isEmpty()) {
            std::printf("[ SKIPPED  ] %s: %s\n", c.how, qPrintable(unshareProblem));
            continue;
        }
        sql(QStringLiteral("DELETE FROM applicants"));
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, City) VALUES (?, ?, ?)"),
            {QStringLiteral("00000001"), QStringLiteral("ANN LEE"), QStringLiteral("OLDTOWN")});
        t.refresh();

        Copy holder(location(), c.shape);
        ASSERT_TRUE(holder.ready()) << holder.error();
        ASSERT_EQ(holder.ask({QStringLiteral("edit"), QStringLiteral("applicants"), QStringLiteral("ApplicantID"),
                              QStringLiteral("00000001")}), "OK");
        ASSERT_EQ(holder.ask({QStringLiteral("set"), QStringLiteral("Name"), QStringLiteral("HOLDER")}), "OK");
        if (c.pause)
            holder.send({QLatin1String(c.pause), QString::number(3 * StaleMs)});

        // This copy keeps trying to edit the record meanwhile.
        bool taken = false;
        const QDeadlineTimer deadline(5 * StaleMs / 2);
        while (!taken && !(c.pause ? holder.answered() : deadline.hasExpired())) {
            ASSERT_TRUE(t.findKey({QStringLiteral("00000001")}));
            try {
                t.edit();
                taken = true;
            } catch (const DbError& e) {
                ASSERT_TRUE(e.message().startsWith(QStringLiteral("Record locked by another user.")))
                    << e.message().toStdString();
                QThread::msleep(50);
                continue;
            }
            t.setValue(QStringLiteral("Name"), QStringLiteral("OTHER"));
            t.setValue(QStringLiteral("City"), QStringLiteral("NEWTOWN"));
            t.post();
        }
        if (c.pause) {
            ASSERT_EQ(holder.answer(), "OK");
        }
        EXPECT_EQ(taken, !c.running) << "the record was taken from a copy that still runs";

        const std::string posted = holder.ask({QStringLiteral("post")});
        if (!taken) {
            EXPECT_EQ(posted, "OK");
            EXPECT_EQ(applicant(QStringLiteral("Name")), "HOLDER");
            continue;
        }
        // The other copy's save stands; the holder is told and keeps its typing.
        EXPECT_EQ(posted, "ERROR: Record lock taken over by another user meanwhile; "
                          "the record was not saved. | Table: Applican.db");
        EXPECT_EQ(applicant(QStringLiteral("Name")), "OTHER");
        // Its next heartbeat tells the holder it was taken for closed.
        std::string cleared;
        for (const QDeadlineTimer wait(10000); cleared != "CLEARED" && !wait.hasExpired(); QThread::msleep(50))
            cleared = holder.ask({QStringLiteral("cleared")});
        EXPECT_EQ(cleared, "CLEARED");
        EXPECT_EQ(holder.ask({QStringLiteral("get"), QStringLiteral("Name")}), "HOLDER");
        EXPECT_EQ(holder.ask({QStringLiteral("get"), QStringLiteral("City")}), "NEWTOWN")
            << "the record being edited shows what the other copy saved";
        // Trying again while this copy has the record again is refused ...
        t.edit();
        EXPECT_EQ(holder.ask({QStringLiteral("post")}),
                  "ERROR: Record locked by another user. | Table: Applican.db | User: SUPERVISOR");
        t.setValue(QStringLiteral("City"), QStringLiteral("THIRDTOWN"));
        t.post();
        // ... and once it is free, the change made meanwhile is shown before anything is written over it.
        EXPECT_EQ(holder.ask({QStringLiteral("post")}), "ERROR: Record changed by another user meanwhile; "
                                                        "the record was not saved. | Table: Applican.db");
        EXPECT_EQ(holder.ask({QStringLiteral("get"), QStringLiteral("City")}), "THIRDTOWN");
        EXPECT_EQ(holder.ask({QStringLiteral("get"), QStringLiteral("Name")}), "HOLDER");
        EXPECT_EQ(holder.ask({QStringLiteral("post")}), "OK");
        EXPECT_EQ(applicant(QStringLiteral("Name")), "HOLDER");
        EXPECT_EQ(applicant(QStringLiteral("City")), "THIRDTOWN");
    }
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM mw_locks")).toInt(), 0);
}

// The copy taken for closed may be this one, its machine asleep: on waking it
// hears so, and its post is refused with what was typed kept.
TEST_P(ContentionTest, ACopyTakenForClosedIsToldAndKeepsItsTyping)
{
    sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"),
        {QStringLiteral("00000001"), QStringLiteral("ANN LEE")});
    TTable& t = data->ApplicantTable;
    t.refresh();
    ASSERT_TRUE(t.findKey({QStringLiteral("00000001")}));
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("MINE"));
    bool told = false;
    QObject::connect(data.get(), &TMerrowindData::takenForClosed, data.get(), [&told] { told = true; });

    data->sessions().stopHeartbeat(); // the machine sleeps
    Copy other(location(), {QStringLiteral("ELSEWHERE")});
    ASSERT_TRUE(other.ready()) << other.error();
    std::string took;
    for (const QDeadlineTimer wait(10 * StaleMs); took != "OK" && !wait.hasExpired(); QThread::msleep(50))
        took = other.ask({QStringLiteral("edit"), QStringLiteral("applicants"), QStringLiteral("ApplicantID"),
                          QStringLiteral("00000001")});
    ASSERT_EQ(took, "OK");
    ASSERT_EQ(other.ask({QStringLiteral("set"), QStringLiteral("Name"), QStringLiteral("THEIRS")}), "OK");
    ASSERT_EQ(other.ask({QStringLiteral("post")}), "OK");
    data->sessions().startHeartbeat(); // and wakes

    for (const QDeadlineTimer wait(10000); !told && !wait.hasExpired(); QThread::msleep(20))
        QCoreApplication::processEvents();
    EXPECT_TRUE(told);
    EXPECT_TRUE(data->sessions().wasTakenForClosed());
    try {
        t.post();
        ADD_FAILURE() << "posted over a lock another copy had taken";
    } catch (const DbError& e) {
        EXPECT_EQ(e.message().toStdString(), "Record lock taken over by another user meanwhile; the record was not "
                                             "saved.\nTable: Applican.db");
    }
    EXPECT_EQ(t.state(), DataSetState::Edit);
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString().toStdString(), "MINE");
    EXPECT_EQ(applicant(QStringLiteral("Name")), "THEIRS");
}

// A copy given a shorter stale time beats at the new pace at once, not only after
// the wait it was in.
TEST_P(ContentionTest, TheHeartbeatKeepsToANewStaleTimeAtOnce)
{
    TMerrowindData copy; // beats every 30 s by default
    copy.open(m_testDb->location());
    const auto lastSeen = [&] {
        return scalar(QStringLiteral("SELECT last_seen FROM mw_sessions WHERE session_id = ?"),
                      {copy.sessions().sessionId()})
            .toString();
    };
    // Past its first beat: the value stands still.
    QString before = lastSeen();
    for (const QDeadlineTimer wait(10000); !wait.hasExpired();) {
        QThread::msleep(200);
        const QString now = lastSeen();
        if (now == before)
            break;
        before = now;
    }
    copy.sessions().setStaleAfter(400);
    bool beaten = false;
    for (const QDeadlineTimer wait(5000); !beaten && !wait.hasExpired(); QThread::msleep(20))
        beaten = lastSeen() != before;
    EXPECT_TRUE(beaten) << "no heartbeat in five seconds";
}

// A delete refused because another copy has the record in editing leaves the
// record and everything its rules would have deleted with it.
TEST_P(ContentionTest, ADeleteRefusedByAnotherCopysLockChangesNothing)
{
    const struct
    {
        const char* table;
        const char* field;
        const char* value;
        TTable& (*component)(TMerrowindData&);
    } cases[] = {
        {"users", "UserID", "JOE", [](TMerrowindData& d) -> TTable& { return d.UserSettingsTable; }},
        {"job_postings", "JobPostingID", "IT", [](TMerrowindData& d) -> TTable& { return d.JobPostingIDTable; }},
    };
    sql(QStringLiteral("INSERT INTO users (UserID, UserName, SecurityID) VALUES (?, ?, ?)"),
        {QStringLiteral("JOE"), QStringLiteral("Joe"), 1});
    sql(QStringLiteral("INSERT INTO job_postings (JobPostingID) VALUES (?)"), {QStringLiteral("IT")});
    for (const char* list : {"notify_list", "restrict_list"})
        sql(QStringLiteral("INSERT INTO %1 (UserID, JobPostingID) VALUES (?, ?), (?, ?)").arg(QLatin1String(list)),
            {QStringLiteral("JOE"), QStringLiteral("IT"), QStringLiteral("JOE"), QStringLiteral("PARKS")});
    Copy holder(location(), {});
    ASSERT_TRUE(holder.ready()) << holder.error();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        const QString table = QLatin1String(c.table), field = QLatin1String(c.field), value = QLatin1String(c.value);
        ASSERT_EQ(holder.ask({QStringLiteral("edit"), table, field, value}), "OK");
        TTable& t = c.component(*data);
        t.refresh();
        ASSERT_TRUE(t.locate({field}, {value}));
        try {
            t.deleteRecord();
            ADD_FAILURE() << "deleted a record another copy has in editing";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Record locked by another user."))) << e.message().toStdString();
        }
        EXPECT_EQ(count(table, field + QStringLiteral(" = ?"), {value}), 1);
        for (const QString& list : {QStringLiteral("notify_list"), QStringLiteral("restrict_list")})
            EXPECT_EQ(count(list, QStringLiteral("UserID = ? AND JobPostingID = ?"),
                            {QStringLiteral("JOE"), QStringLiteral("IT")}),
                      1)
                << list.toStdString() << " lost its entry";
        EXPECT_EQ(count(QStringLiteral("mw_locks"), QStringLiteral("session_id = ?"), {data->sessions().sessionId()}), 0);
        ASSERT_EQ(holder.ask({QStringLiteral("cancel")}), "OK");
    }
    // Once free, the delete goes through with its rules.
    ASSERT_TRUE(data->JobPostingIDTable.locate({QStringLiteral("JobPostingID")}, {QStringLiteral("IT")}));
    data->JobPostingIDTable.deleteRecord();
    EXPECT_EQ(count(QStringLiteral("notify_list"), QStringLiteral("JobPostingID = ?"), {QStringLiteral("IT")}), 0);
    EXPECT_EQ(count(QStringLiteral("notify_list"), QStringLiteral("JobPostingID = ?"), {QStringLiteral("PARKS")}), 1);
}

// The rules that run before an edit see the record as it is when the edit begins,
// not as this copy last showed it.
TEST_P(ContentionTest, EditRulesSeeTheRecordAsAnotherCopyLeftIt)
{
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved) VALUES (?, ?, ?)"),
        {QStringLiteral("000001"), QStringLiteral("00000001"), 0});
    sql(QStringLiteral("INSERT INTO users (UserID, UserName, SecurityID) VALUES (?, ?, ?)"),
        {QStringLiteral("JOE"), QStringLiteral("Joe"), 1});
    for (const char* list : {"notify_list", "restrict_list"})
        sql(QStringLiteral("INSERT INTO %1 (UserID, JobPostingID) VALUES (?, ?), (?, ?)").arg(QLatin1String(list)),
            {QStringLiteral("JOE"), QStringLiteral("IT"), QStringLiteral("JOE"), QStringLiteral("PARKS")});
    TTable& applications = data->ApplicationTable;
    TTable& users = data->UserSettingsTable;
    applications.refresh();
    users.refresh();
    ASSERT_TRUE(applications.locate({QStringLiteral("ApplicantID")}, {QStringLiteral("00000001")}));
    ASSERT_TRUE(users.locate({QStringLiteral("UserID")}, {QStringLiteral("JOE")}));

    // Meanwhile another copy approves the application and renames the user.
    {
        Copy other(location(), {});
        ASSERT_TRUE(other.ready()) << other.error();
        for (const QStringList& command :
             {QStringList{QStringLiteral("edit"), QStringLiteral("applications"), QStringLiteral("ApplicantID"),
                          QStringLiteral("00000001")},
              QStringList{QStringLiteral("set"), QStringLiteral("Approved"), QStringLiteral("True")},
              QStringList{QStringLiteral("post")},
              QStringList{QStringLiteral("edit"), QStringLiteral("users"), QStringLiteral("UserID"), QStringLiteral("JOE")},
              QStringList{QStringLiteral("set"), QStringLiteral("UserID"), QStringLiteral("JOEY")},
              QStringList{QStringLiteral("post")}})
            ASSERT_EQ(other.ask(command), "OK") << command.join(QLatin1Char(' ')).toStdString();
    }

    // A comment on the approved application does not make this user its approver.
    applications.edit();
    EXPECT_TRUE(applications.fieldByName(QStringLiteral("Approved")).asBoolean());
    applications.setValue(QStringLiteral("Comments"), QStringLiteral("SEEN"));
    applications.post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT ApprovedBy FROM applications")).toString().toStdString(), "PROBE");
    // Renaming the renamed user takes his list entries along.
    users.edit();
    EXPECT_EQ(users.value(QStringLiteral("UserID")).toString().toStdString(), "JOEY");
    users.setValue(QStringLiteral("UserID"), QStringLiteral("JOSEPH"));
    users.post();
    for (const QString& list : {QStringLiteral("notify_list"), QStringLiteral("restrict_list")})
        EXPECT_EQ(count(list, QStringLiteral("UserID = ?"), {QStringLiteral("JOSEPH")}), 2) << list.toStdString();
}

// A table whose records all fit in what this copy read shows the records other
// copies add: at its start again, and past its end.
TEST_P(ContentionTest, ASmallTableShowsRecordsOtherCopiesAdd)
{
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber) VALUES (?), (?)"),
        {QStringLiteral("000100"), QStringLiteral("000200")});
    TTable& t = data->RequestionTable;
    t.refresh();
    QStringList seen;
    for (t.first(); !t.eof(); t.next())
        seen << t.value(QStringLiteral("ReqNumber")).toString();
    ASSERT_EQ(seen, (QStringList{QStringLiteral("000100"), QStringLiteral("000200")}));

    Copy other(location(), {});
    ASSERT_TRUE(other.ready()) << other.error();
    ASSERT_EQ(other.ask({QStringLiteral("add"), QStringLiteral("requisitions"), QStringLiteral("ReqNumber"),
                         QStringLiteral("000300")}), "OK");
    t.next();
    ASSERT_FALSE(t.eof()) << "the record added past the end was not found";
    EXPECT_EQ(t.value(QStringLiteral("ReqNumber")).toString().toStdString(), "000300");
    t.next();
    EXPECT_TRUE(t.eof());

    ASSERT_EQ(other.ask({QStringLiteral("add"), QStringLiteral("requisitions"), QStringLiteral("ReqNumber"),
                         QStringLiteral("000050")}), "OK");
    t.first();
    EXPECT_EQ(t.value(QStringLiteral("ReqNumber")).toString().toStdString(), "000050");
    EXPECT_EQ(t.recordCount(), 4);
}

MW_INSTANTIATE_BACKENDS(ContentionTest);
