// `merrowind run send` as a real process on a real database: the modes, the
// refusals, and a run killed in the middle of its mail, after which no
// application carries a sent date for a message that did not leave.

#include "datastore/passwords.h"
#include "dbfixture.h"
#include "programrun.h"
#include "smtpserver.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <csignal>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace mw;

namespace {

using mwtest::Ran;

// A mail server that takes a message and never answers it: it greets, accepts the
// sender and the recipients, and then holds the connection, once it has stallAfter
// bytes of the message (or, with -1, the whole message up to its final dot).
class StallingSmtp
{
public:
    explicit StallingSmtp(qint64 stallAfter)
        : m_stallAfter(stallAfter)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(m_listen, 4) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~StallingSmtp()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen >= 0)
            ::close(m_listen);
    }
    StallingSmtp(const StallingSmtp&) = delete;
    StallingSmtp& operator=(const StallingSmtp&) = delete;

    quint16 port() const { return m_port; }
    // The message (or its part) is in and the client waits for the reply.
    bool stalled() const { return m_stalled; }
    qint64 received() const { return m_received; }

private:
    // Waits for the descriptor to be readable; false once asked to stop.
    bool readable(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        while (!m_stop)
            if (::poll(&p, 1, 50) > 0)
                return true;
        return false;
    }
    void serve()
    {
        if (!readable(m_listen))
            return;
        const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        auto say = [c](const char* line) { return ::write(c, line, std::strlen(line)) > 0; };
        say("220 stalling test server\r\n");
        QByteArray pending;
        bool inData = false;
        while (readable(c)) {
            char buffer[4096];
            const ssize_t n = ::read(c, buffer, sizeof buffer);
            if (n <= 0)
                break;
            if (m_stalled)
                continue; // read and never answered
            pending.append(buffer, n);
            if (inData) {
                m_received = pending.size();
                if ((m_stallAfter >= 0 && pending.size() >= m_stallAfter) || pending.contains("\r\n.\r\n"))
                    m_stalled = true;
                continue;
            }
            qsizetype end;
            while (!inData && (end = pending.indexOf("\r\n")) >= 0) {
                const QByteArray line = pending.left(end).toUpper();
                pending.remove(0, end + 2);
                if (line.startsWith("EHLO") || line.startsWith("HELO"))
                    say("250 localhost\r\n");
                else if (line.startsWith("DATA")) {
                    say("354 End data with <CR><LF>.<CR><LF>\r\n");
                    inData = true;
                } else if (line.startsWith("QUIT"))
                    say("221 Bye\r\n");
                else
                    say("250 OK\r\n");
            }
        }
        ::close(c);
    }

    qint64 m_stallAfter;
    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_stalled{false};
    std::atomic<qint64> m_received{0};
};

} // namespace

class SendCommandTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(smtp.ok()) << smtp.error().toStdString();
        ASSERT_TRUE(m_scans.isValid());
        ASSERT_TRUE(m_tmp.isValid());
        sql(QStringLiteral("INSERT INTO security_profiles (Security, CanSendAllJobs) VALUES ('Sender', 1), ('Clerk', 0)"));
        const int sender = scalar(QStringLiteral("SELECT SecurityID FROM security_profiles WHERE Security = 'Sender'")).toInt();
        const int clerk = scalar(QStringLiteral("SELECT SecurityID FROM security_profiles WHERE Security = 'Clerk'")).toInt();
        sql(QStringLiteral("INSERT INTO users (UserID, UserPassword, UserName, EMailAddress, SecurityID) VALUES "
                           "('ADMIN', ?, 'Ann Admin', 'admin@example.com', ?), ('CLERK', ?, 'Carl Clerk', "
                           "'clerk@example.com', ?)"),
            {passwords::hash(QStringLiteral("admin")), sender, passwords::hash(QStringLiteral("clerk")), clerk});
        mailServer(smtp.port());
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf', SubjectSend = 'Applications', "
                           "HTTPAllowSendAsWeb = 0"),
            {m_scans.path() + QLatin1Char('/')});
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, Department, PositionTitle, EMailAddress, "
                           "SendFirstData, SelectionCriteria, SendAsEMail, PositionFilled, CloseDate) VALUES "
                           "('R1', 'NUR', 'Ward 6', 'Nurse', 'dept@example.com', 1, 1, 1, 0, '2099-12-31')"));
        for (const char* a : {"00000001", "00000002"})
            application(QLatin1String(a), 400000);
    }

    void mailServer(quint16 port)
    {
        sql(QStringLiteral("UPDATE settings SET SMTPServer = '127.0.0.1', Port = ?, SMTPTimeout = 60"), {port});
    }
    void application(const QString& applicant, int size)
    {
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned) VALUES (?, ?, 1)"),
            {applicant, QStringLiteral("Name of ") + applicant});
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved) VALUES ('R1', ?, 1)"), {applicant});
        QFile f(m_scans.filePath(applicant + QStringLiteral(".pdf")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, char('a' + applicant.back().digitValue())));
    }
    QString sentOn(const QString& applicant)
    {
        return scalar(QStringLiteral("SELECT SemtDate FROM applications WHERE ApplicantID = ?"), {applicant}).toString();
    }
    QString location() const { return mwtest::databaseArgument(m_testDb->location()); }
    QStringList send(const QStringList& arguments, const QString& user = QStringLiteral("admin")) const
    {
        return QStringList{QStringLiteral("run"), QStringLiteral("send")} + arguments +
               QStringList{QStringLiteral("--database"), location(), QStringLiteral("--user"), user};
    }
    QProcessEnvironment environment(const QString& password) const
    {
        return mwtest::programEnvironment(password, m_tmp.path());
    }
    Ran run(const QStringList& args, const QString& password = QStringLiteral("admin"))
    {
        return mwtest::runProgram(args, m_testDb->scratchDir(), environment(password));
    }

    mwtest::SmtpServer smtp;
    QTemporaryDir m_scans;
    QTemporaryDir m_tmp;
};

TEST_P(SendCommandTest, SendsTheUnsentApplicationsOnlyWhenConfirmed)
{
    const Ran asked = run(send({QStringLiteral("R1"), QStringLiteral("--unsent")}));
    EXPECT_EQ(asked.status, 2) << asked.err.toStdString();
    EXPECT_TRUE(asked.err.contains(QStringLiteral("Are You Sure You Want To Send All Unsent Applications?")));
    EXPECT_EQ(sentOn(QStringLiteral("00000001")), QString());

    const Ran done = run(send({QStringLiteral("R1"), QStringLiteral("--unsent"), QStringLiteral("--yes")}));
    ASSERT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_EQ(done.out, QStringLiteral("Applications Sent: 2\nApplications Not Sent: 0\nDocuments Missing: 0\n"
                                       "Messages Sent: 1\n"));
    ASSERT_TRUE(smtp.waitForMessages(1));
    EXPECT_EQ(smtp.message(1).value(QStringLiteral("attachments")).toArray().size(), 2);
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    EXPECT_EQ(sentOn(QStringLiteral("00000001")), today);
    EXPECT_EQ(sentOn(QStringLiteral("00000002")), today);

    // Again (the mode may be written as a word): nothing left to send, said as an error.
    const Ran again = run(send({QStringLiteral("R1"), QStringLiteral("unsent"), QStringLiteral("--yes")}));
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("No Applications Are Available For Sending"))) << again.err.toStdString();

    // One applicant, and a resend of the day: the dates stay.
    const QString day = QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy"));
    EXPECT_EQ(run(send({QStringLiteral("R1"), QStringLiteral("--resend"), day, QStringLiteral("--yes")})).status, 0);
    EXPECT_EQ(run(send({QStringLiteral("R1"), QStringLiteral("--applicant=00000002"), QStringLiteral("--yes")}))
                  .status,
              0);
    ASSERT_TRUE(smtp.waitForMessages(3));
    EXPECT_EQ(smtp.message(3).value(QStringLiteral("attachments")).toArray().size(), 1);
    EXPECT_EQ(sentOn(QStringLiteral("00000001")), today);

    // All Jobs of a group typed in small letters.
    sql(QStringLiteral("UPDATE applications SET SemtDate = NULL"));
    const Ran group = run(send({QStringLiteral("--group"), QStringLiteral("nu"), QStringLiteral("--yes")}));
    ASSERT_EQ(group.status, 0) << group.err.toStdString();
    EXPECT_TRUE(group.out.contains(QStringLiteral("Requisitions Sent: 1"))) << group.out.toStdString();
    EXPECT_EQ(sentOn(QStringLiteral("00000002")), today);
}

TEST_P(SendCommandTest, CommandLinesThatMakeNoSenseOrAreNotPermittedSendNothing)
{
    const struct
    {
        QStringList args;
        const char* user;
        const char* says;
    } cases[] = {
        {{QStringLiteral("R1")}, "admin", "give what to send\nusage: merrowind run send REQ --unsent|--all|--resend"},
        {{QStringLiteral("R1"), QStringLiteral("--unsent"), QStringLiteral("--all")}, "admin", "give one thing to send"},
        {{QStringLiteral("R1"), QStringLiteral("--later")}, "admin", "unknown option --later"},
        {{QStringLiteral("R1"), QStringLiteral("later")}, "admin", "unknown mode \"later\""},
        {{QStringLiteral("R1"), QStringLiteral("--resend")}, "admin", "--resend needs a value"},
        {{QStringLiteral("R1"), QStringLiteral("all"), QStringLiteral("x")}, "admin", "--all takes no value"},
        {{QStringLiteral("R1"), QStringLiteral("--resend"), QStringLiteral("2026-11-05")}, "admin",
         "\"2026-11-05\" Is Not A Date (mm/dd/yyyy)."},
        {{QStringLiteral("NOPE"), QStringLiteral("--unsent")}, "admin", "Requisition NOPE Was Not Found."},
        {{QStringLiteral("--group"), QStringLiteral("NUR"), QStringLiteral("R1")}, "admin",
         "--group takes no requisition or mode"},
        {{QStringLiteral("--group"), QStringLiteral("NUR")}, "clerk",
         "CLERK may not use Requisition > Job Data > All Jobs (the profile Clerk does not allow it)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Ran r = run(send(c.args + QStringList{QStringLiteral("--yes")}, QLatin1String(c.user)), QLatin1String(c.user));
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
    }
    // Anyone who may open the requisition window may send its requisition.
    const Ran clerk = run(send({QStringLiteral("R1"), QStringLiteral("all"), QStringLiteral("--yes")}, QStringLiteral("clerk")),
                          QStringLiteral("clerk"));
    EXPECT_EQ(clerk.status, 0) << clerk.err.toStdString();
    ASSERT_TRUE(smtp.waitForMessages(1));
    EXPECT_EQ(smtp.messageCount(), 1);
    EXPECT_EQ(smtp.message(1).value(QStringLiteral("from")).toString(), QStringLiteral("Carl Clerk <clerk@example.com>"));
}

// Killed while its message is on the way, or complete at the server that has not
// answered yet: the message did not leave, and no application says it did. The
// same command afterwards sends them and dates them.
TEST_P(SendCommandTest, ARunKilledInTheMiddleOfItsMailLeavesNoSentDate)
{
    for (const qint64 stallAfter : {qint64(200000), qint64(-1)}) {
        SCOPED_TRACE(stallAfter);
        StallingSmtp stalling(stallAfter);
        ASSERT_NE(stalling.port(), 0);
        mailServer(stalling.port());
        QProcess p;
        p.setProcessEnvironment(environment(QStringLiteral("admin")));
        p.setWorkingDirectory(m_testDb->scratchDir());
        p.start(QStringLiteral(MW_PROGRAM), send({QStringLiteral("R1"), QStringLiteral("all"), QStringLiteral("--yes")}));
        ASSERT_TRUE(p.waitForStarted());
        for (int i = 0; i < 600 && !stalling.stalled() && p.state() == QProcess::Running; ++i)
            QThread::msleep(50);
        ASSERT_TRUE(stalling.stalled()) << "the message never reached the server: "
                                        << QString::fromLocal8Bit(p.readAllStandardError()).toStdString();
        ASSERT_EQ(p.state(), QProcess::Running);
        EXPECT_GT(stalling.received(), 0);
        ::kill(pid_t(p.processId()), SIGKILL);
        ASSERT_TRUE(p.waitForFinished());
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(sentOn(QStringLiteral("00000001")), QString());
        EXPECT_EQ(sentOn(QStringLiteral("00000002")), QString());
    }

    mailServer(smtp.port());
    const Ran again = run(send({QStringLiteral("R1"), QStringLiteral("all"), QStringLiteral("--yes")}));
    ASSERT_EQ(again.status, 0) << again.err.toStdString();
    ASSERT_TRUE(smtp.waitForMessages(1));
    EXPECT_EQ(sentOn(QStringLiteral("00000001")), QDate::currentDate().toString(Qt::ISODate));
}

MW_INSTANTIATE_BACKENDS(SendCommandTest);
