// New-application notices to the followers of job posting groups, sent to a real
// SMTP server and read back as they arrived.

#include "dbfixture.h"
#include "import/notices.h"
#include "scriptedtalk.h"
#include "smtpserver.h"

#include <QJsonArray>

using namespace mw;
using mwtest::ScriptedTalk;
using mwtest::SmtpServer;

namespace {

QStringList lines(const QJsonObject& message)
{
    QString body = message.value(QStringLiteral("body_text")).toString();
    if (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    return body.split(QLatin1Char('\n'));
}

QStringList envelope(const QJsonObject& message)
{
    QStringList to;
    for (const QJsonValue& v : message.value(QStringLiteral("rcpt_tos")).toArray())
        to << v.toString();
    return to;
}

} // namespace

class NoticesTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        mwtest::StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        sql(QStringLiteral("UPDATE settings SET SMTPServer = ?, Port = ?, InformUsers = 1, SMTPTimeout = 3"),
            {server.host(), server.port()});
        sql(QStringLiteral("UPDATE users SET EMailAddress = ?, UserName = ? WHERE UserID = ?"),
            {QStringLiteral("hr@example.com"), QStringLiteral("Human Resources"), QStringLiteral("SUPERVISOR")});
        const struct
        {
            const char* id;
            const char* mail;
            const char* forward;
            bool all;
        } users[] = {
            {"ANN", "ann@example.com", "ann.desk@example.com", false},
            {"BOB", "bob@example.com", "", false},
            {"CAROL", "", "", false},         // follows, but has no address
            {"EVE", "BOB@example.com", "", false}, // the same address as BOB
            {"DAVE", "dave@example.com", "", true},
        };
        for (const auto& u : users)
            sql(QStringLiteral("INSERT INTO users (UserID, UserName, EMailAddress, ForwardJobTo, NotifyAll, SecurityID) "
                               "VALUES (?, ?, ?, ?, ?, 1)"),
                {QLatin1String(u.id), QLatin1String(u.id), QLatin1String(u.mail), QLatin1String(u.forward), u.all});
        sql(QStringLiteral("INSERT INTO job_postings (JobPostingID, Description) VALUES (?, ?), (?, ?), (?, ?)"),
            {QStringLiteral("NUR"), QStringLiteral("Nursing"), QStringLiteral("IT"), QStringLiteral("Information Technology"),
             QStringLiteral("PARKS"), QStringLiteral("Parks")});
        sql(QStringLiteral("INSERT INTO notify_list (UserID, JobPostingID) VALUES ('ANN', 'NUR'), ('bob', 'NUR'), "
                           "('CAROL', 'NUR'), ('EVE', 'NUR'), ('ANN', 'IT'), ('BOB', 'PARKS'), ('DAVE', 'IT')"));
        const struct
        {
            const char* req;
            const char* group; // null: none
            const char* dept;
            bool filled;
            int unreviewed, reviewed;
        } reqs[] = {
            {"004411", "NUR", "6 West", false, 3, 1},
            {"004412", "NUR", "ICU", true, 2, 0}, // filled: not told
            {"005000", "IT", "Help Desk", false, 1, 1},
            {"006000", "PARKS", "Grounds", false, 0, 2},
            {"007000", nullptr, "Lost", false, 1, 0},
        };
        int applicant = 0;
        for (const auto& r : reqs) {
            sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, Department, PositionFilled) "
                               "VALUES (?, ?, ?, ?)"),
                {QLatin1String(r.req), r.group ? QVariant(QLatin1String(r.group)) : QVariant(QMetaType(QMetaType::QString)),
                 QLatin1String(r.dept), r.filled});
            for (int i = 0; i < r.unreviewed + r.reviewed; ++i)
                sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed) VALUES (?, ?, ?)"),
                    {QLatin1String(r.req), QString::number(++applicant), i >= r.unreviewed ? QVariant(1)
                                                                   : i == 0 ? QVariant(QMetaType(QMetaType::Int))
                                                                            : QVariant(0)});
        }
        data->ReadSettings();
        ASSERT_TRUE(data->CheckUser(QStringLiteral("supervisor"), QString(), true));
    }

    SmtpServer server;
    ScriptedTalk talk;
};

const QString kFirst = QStringLiteral("New Applicants Have Been Added To the following Job Requisitions");

TEST_P(NoticesTest, EachGroupsFollowersAndTheAllJobsUsersHearOfUnreviewedApplications)
{
    Notices n(*data, talk);
    n.NotifyPostingGroups();
    EXPECT_TRUE(talk.said().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(server.waitForMessages(3));
    ASSERT_EQ(server.messageCount(), 3) << "PARKS has nothing unreviewed";
    const QJsonObject nur = server.message(1), it = server.message(2), all = server.message(3);

    EXPECT_EQ(nur.value(QStringLiteral("subject")).toString(), QStringLiteral("New Applicants Loaded For Nursing"));
    EXPECT_EQ(envelope(nur), (QStringList{QStringLiteral("ann.desk@example.com"), QStringLiteral("bob@example.com")}))
        << "forwarding, one address once, nobody without one";
    EXPECT_EQ(lines(nur), (QStringList{kFirst, QStringLiteral(" "), QStringLiteral("NUR 004411 6 West   (Unreviewed = 3)")}));
    EXPECT_EQ(nur.value(QStringLiteral("from")).toString(), QStringLiteral("Human Resources <hr@example.com>"));

    EXPECT_EQ(it.value(QStringLiteral("subject")).toString(), QStringLiteral("New Applicants Loaded For Information Technology"));
    EXPECT_EQ(envelope(it), (QStringList{QStringLiteral("ann.desk@example.com"), QStringLiteral("dave@example.com")}));
    EXPECT_EQ(lines(it), (QStringList{kFirst, QStringLiteral(" "), QStringLiteral("IT 005000 Help Desk   (Unreviewed = 1)")}));

    EXPECT_EQ(all.value(QStringLiteral("subject")).toString(), QStringLiteral("New Applicants Loaded For All Know Jobs"));
    EXPECT_EQ(envelope(all), QStringList{QStringLiteral("dave@example.com")});
    EXPECT_EQ(lines(all), (QStringList{kFirst, QStringLiteral(" "), QStringLiteral("      (Unreviewed = 1)"),
                                       QStringLiteral("IT 005000 Help Desk   (Unreviewed = 1)"),
                                       QStringLiteral("NUR 004411 6 West   (Unreviewed = 3)")}));
    EXPECT_TRUE(n.result().isDone());
    EXPECT_EQ(n.result().countOf(QStringLiteral("Notices Sent")), 3);
}

TEST_P(NoticesTest, OneUserHearsAtHisOwnAddressUnlessHeFollowsAllJobs)
{
    {
        Notices n(*data, talk);
        n.NotifyUser(QStringLiteral("ann"));
    }
    ASSERT_TRUE(server.waitForMessages(2));
    for (int i : {1, 2})
        EXPECT_EQ(envelope(server.message(i)), QStringList{QStringLiteral("ann@example.com")});
    EXPECT_EQ(server.message(1).value(QStringLiteral("subject")).toString(), QStringLiteral("New Applicants Loaded For Nursing"));

    sql(QStringLiteral("INSERT INTO notify_list (UserID, JobPostingID) VALUES ('DAVE', 'NUR')"));
    Notices n(*data, talk);
    n.NotifyUser(QStringLiteral("DAVE"));
    ASSERT_TRUE(server.waitForMessages(3));
    EXPECT_EQ(server.messageCount(), 3) << "a user who follows all jobs gets the all-jobs notice only";
    EXPECT_EQ(server.message(3).value(QStringLiteral("subject")).toString(), QStringLiteral("New Applicants Loaded For All Know Jobs"));

    EXPECT_TRUE(notifyOneUser(*data, talk, QStringLiteral("CAROL")).isFailed());
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Error: This Employee Does Not Have An E-Mail Address!")});
}

TEST_P(NoticesTest, NothingWithoutTheSettingOrTheSendersAddress)
{
    sql(QStringLiteral("UPDATE settings SET InformUsers = 0"));
    data->ReadSettings();
    Notices off(*data, talk);
    off.NotifyPostingGroups();
    off.NotifyUser(QStringLiteral("ANN"));
    EXPECT_TRUE(talk.said().isEmpty());
    EXPECT_TRUE(notifyAll(*data, talk).isDeclined());

    sql(QStringLiteral("UPDATE settings SET InformUsers = 1"));
    data->ReadSettings();
    data->LoginData.EMailAddress.clear();
    Notices n(*data, talk);
    n.NotifyPostingGroups();
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Your E-Mail Address Has Not Been Setup")});
    EXPECT_EQ(server.messageCount(), 0);
}

// With the mail server down the run does not wait out a time-out per group: the
// first failure is told, the rest are skipped and the result says so once.
TEST_P(NoticesTest, AServerThatIsDownIsTriedOnce)
{
    ASSERT_TRUE(server.refuseConnections());
    talk.answer({true});
    const OperationResult r = notifyAll(*data, talk);
    EXPECT_TRUE(r.isFailed());
    EXPECT_EQ(r.countOf(QStringLiteral("Notices Sent")), 0);
    EXPECT_EQ(r.countOf(QStringLiteral("Notices Not Sent")), 3);
    EXPECT_TRUE(r.error.startsWith(QStringLiteral("The mail server could not be reached: 3 notice(s)"))) << r.error.toStdString();
    QStringList notSent;
    for (const QString& e : talk.errors())
        if (e.startsWith(QStringLiteral("Error: E-Mail Not Sent")))
            notSent << e;
    EXPECT_EQ(notSent.size(), 1);
}

MW_INSTANTIATE_BACKENDS(NoticesTest);
