// Sending from the windows to a real SMTP server on 127.0.0.1: the e-mail window
// (a message with attachments; its close box stops a send that hangs) and the
// Import menu's notify commands, read back as the server received them.

#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "findchild.h"
#include "import/notices.h"
#include "mail/emailform.h"
#include "mail/mailsend.h"
#include "scriptedtalk.h"
#include "shell/helpviewer.h"
#include "shell/mainform.h"
#include "smtpserver.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace mw;
using mwtest::child;

namespace {

QStringList listOf(const QJsonValue& array, const char* field = nullptr)
{
    QStringList out;
    for (const QJsonValue& v : array.toArray())
        out << (field ? v.toObject().value(QLatin1String(field)).toString() : v.toString());
    return out;
}

} // namespace

// The logged-on supervisor sends through the test's server.
class SendingTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        sql(QStringLiteral("UPDATE settings SET SMTPServer = ?, Port = ?, InformUsers = 1, SMTPTimeout = 60"),
            {server.host(), server.port()});
        sql(QStringLiteral("UPDATE users SET EMailAddress = ? WHERE UserID = ?"),
            {QStringLiteral("hr@example.com"), QStringLiteral("SUPERVISOR")});
        data->ReadSettings();
        ASSERT_TRUE(data->CheckUser(QStringLiteral("supervisor"), QString(), true));
    }

    QString file(const QString& name, const QByteArray& contents)
    {
        QFile f(m_testDb->scratchDir() + QLatin1Char('/') + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(contents);
        return f.fileName();
    }

    static void address(MailSend& m, const QString& subject)
    {
        m.Message.Subject = subject;
        m.Message.FromAddress = QStringLiteral("hr@example.com");
        m.Message.FromName = QStringLiteral("Human Resources");
        m.Message.ToAddresses = QStringLiteral("dept@example.com");
        m.Message.addLine(QStringLiteral("The files of this week."));
    }

    mwtest::SmtpServer server;
    mwtest::ScriptedTalk talk;
};

MW_INSTANTIATE_BACKENDS(SendingTest);

TEST_P(SendingTest, TheEMailWindowSendsTheMessageWithItsAttachmentAndTheExtraFiles)
{
    const QByteArray report = QByteArray("Requisition,Applicants\n004411,3\n").repeated(200);
    ExtraFiles extra{{file(QStringLiteral("extra.doc"), QByteArray("extra file"))}};
    TEMailForm form(*data, talk, &extra);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Send E-Mail"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto* status = child<QLabel>(&form, "Label1");
    auto* busy = child<QProgressBar>(&form, "Animate1");
    EXPECT_FALSE(status->isVisible());
    EXPECT_FALSE(busy->isVisible());

    address(form.mail(), QStringLiteral("Weekly Files"));
    form.mail().Message.attach(file(QStringLiteral("report.csv"), report));
    talk.answer({true}); // send the extra files too
    EXPECT_TRUE(form.Send()) << form.mail().ErrorText.toStdString();
    EXPECT_TRUE(form.mail().Sent);
    EXPECT_EQ(talk.questions(),
              QStringList{QStringLiteral("You Have Added Extra Files, Do You Wish To Send Them?.")});
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();

    ASSERT_TRUE(server.waitForMessages(1));
    const QJsonObject got = server.message(1);
    EXPECT_EQ(got.value(QStringLiteral("subject")).toString(), QStringLiteral("Weekly Files"));
    EXPECT_EQ(listOf(got.value(QStringLiteral("rcpt_tos"))), QStringList{QStringLiteral("dept@example.com")});
    const QJsonArray attachments = got.value(QStringLiteral("attachments")).toArray();
    EXPECT_EQ(listOf(attachments, "filename"),
              (QStringList{QStringLiteral("report.csv"), QStringLiteral("extra.doc")}));
    ASSERT_FALSE(attachments.isEmpty());
    EXPECT_EQ(attachments.first().toObject().value(QStringLiteral("sha256")).toString().toLatin1(),
              QCryptographicHash::hash(report, QCryptographicHash::Sha256).toHex());

    EXPECT_FALSE(status->isVisible()) << "the busy signs go when the send has ended";
    EXPECT_FALSE(busy->isVisible());
    EXPECT_TRUE(form.isVisible()) << "the caller closes the window";
}

// The server takes the connection and never greets: only the close box ends the
// wait, so the window must hear it while the transfer runs.
TEST_P(SendingTest, TheCloseBoxStopsASendThatHangs)
{
    ASSERT_TRUE(server.silentGreeting());
    TEMailForm form(*data, talk);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    address(form.mail(), QStringLiteral("Never Greeted"));
    bool busyWhenClosed = false;
    QTimer::singleShot(300, &form, [&] {
        busyWhenClosed = child<QLabel>(&form, "Label1")->isVisible() &&
                         child<QProgressBar>(&form, "Animate1")->isVisible();
        form.close();
    });

    EXPECT_FALSE(form.Send());
    EXPECT_TRUE(form.mail().ErrorText.startsWith(QStringLiteral("Sending Was Cancelled.")))
        << form.mail().ErrorText.toStdString();
    EXPECT_TRUE(busyWhenClosed);
    EXPECT_FALSE(form.isVisible()) << "closed once the send has stopped";
    EXPECT_EQ(server.messageCount(), 0);
}

// The Import menu's three notify commands: ANN follows Nursing, BOB Information
// Technology; each group has an application nobody has reviewed.
TEST_P(SendingTest, TheNotifyCommandsSendTheNoticesTheirDialogsChose)
{
    sql(QStringLiteral("INSERT INTO users (UserID, UserName, EMailAddress, SecurityID) VALUES (?, ?, ?, 1), "
                       "(?, ?, ?, 1)"),
        {QStringLiteral("ANN"), QStringLiteral("Ann Archer"), QStringLiteral("ann@example.com"),
         QStringLiteral("BOB"), QStringLiteral("Bob Baker"), QStringLiteral("bob@example.com")});
    sql(QStringLiteral("INSERT INTO job_postings (JobPostingID, Description) VALUES (?, ?), (?, ?)"),
        {QStringLiteral("NUR"), QStringLiteral("Nursing"), QStringLiteral("IT"),
         QStringLiteral("Information Technology")});
    sql(QStringLiteral(
        "INSERT INTO notify_list (UserID, JobPostingID) VALUES ('ANN', 'NUR'), ('BOB', 'IT')"));
    sql(QStringLiteral(
            "INSERT INTO requisitions (ReqNumber, JobPostingID, Department) VALUES (?, ?, ?), (?, ?, ?)"),
        {QStringLiteral("004411"), QStringLiteral("NUR"), QStringLiteral("6 West"), QStringLiteral("005000"),
         QStringLiteral("IT"), QStringLiteral("Help Desk")});
    sql(QStringLiteral(
        "INSERT INTO applications (ReqNumber, ApplicantID, Reviewed) VALUES ('004411', '1', 0), "
        "('005000', '2', 0)"));

    HelpSystem help{QString()};
    TMainForm m(*data, help, talk);
    m.pdfViewerAvailable = [] { return false; };
    m.FormActivate();

    // Each notice as "subject > recipients".
    const QString nursing = QStringLiteral("New Applicants Loaded For Nursing > ann@example.com");
    const QString it = QStringLiteral("New Applicants Loaded For Information Technology > bob@example.com");
    const struct
    {
        const char* command;
        const char* combo; // the dialog's drop-down; null: the command has no dialog
        const char* choice;
        QStringList notices; // in any order
    } cases[] = {
        {"ResendNotifyList1", nullptr, nullptr, {it, nursing}},
        {"SendNotifyList1", "UserCombo", "Bob Baker", {it}},
        {"ResendNotifyListToGroup1", "GroupCombo", "Nursing", {nursing}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        talk.clear();
        talk.answer({true});
        int dialogs = 0;
        m.showModal = [&](QDialog& dialog) {
            ++dialogs;
            if (!c.combo) {
                ADD_FAILURE() << "a dialog was shown";
                return int(QDialog::Rejected);
            }
            auto* box = child<QComboBox>(&dialog, c.combo);
            box->setCurrentIndex(box->findText(QLatin1String(c.choice)));
            dialog.show();
            QTest::mouseClick(child<QPushButton>(&dialog, "OKBtn"), Qt::LeftButton);
            return dialog.result();
        };
        const int before = server.messageCount();
        auto* command = child<QAction>(&m, c.command);
        ASSERT_TRUE(command->isEnabled());
        command->trigger();

        EXPECT_EQ(dialogs, c.combo ? 1 : 0);
        EXPECT_EQ(talk.questions(), QStringList{notifyQuestion()})
            << "asked once, by the dialog or by the command";
        EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
        const int count = static_cast<int>(c.notices.size());
        ASSERT_TRUE(server.waitForMessages(before + count));
        ASSERT_EQ(server.messageCount(), before + count);
        QStringList notices;
        for (int n = before + 1; n <= before + count; ++n) {
            const QJsonObject got = server.message(n);
            notices << got.value(QStringLiteral("subject")).toString() + QStringLiteral(" > ") +
                           listOf(got.value(QStringLiteral("rcpt_tos"))).join(QLatin1Char(','));
        }
        notices.sort();
        QStringList expected = c.notices;
        expected.sort();
        EXPECT_EQ(notices, expected);
    }
}
