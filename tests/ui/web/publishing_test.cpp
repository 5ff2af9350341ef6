// The web reloads run from the windows against a real FTP server on 127.0.0.1 and
// read back from the server's directory: the upload window follows a reload and its
// close box stops one; the Process menu's two reload commands publish what they
// were asked to, under the upload window.

#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "delivery/websend.h"
#include "demo/demotemplates.h"
#include "findchild.h"
#include "ftpserver.h"
#include "scriptedtalk.h"
#include "shell/helpviewer.h"
#include "shell/mainform.h"
#include "web/ftpform.h"
#include "web/ftppublisher.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace mw;
using mwtest::child;

namespace {

QStringList strings(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* s : items)
        out << QLatin1String(s);
    return out;
}

// The user, who also looks around when the please-wait window opens.
class WatchingTalk : public mwtest::ScriptedTalk
{
public:
    std::function<void()> onWait;
    void beginWait(const QString& text, bool cancellable) override
    {
        ScriptedTalk::beginWait(text, cancellable);
        if (onWait)
            onWait();
    }
};

} // namespace

// Three requisitions with their documents: 000001 (Nursing) and 000002 (Information
// Technology) are on the web, 000003 (Information Technology) is filled.
class PublishingTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        // The index page's template is read from the working directory, as in the program.
        const QString work = m_testDb->scratchDir();
        writeDemoTemplates(work);
        ASSERT_TRUE(QDir(work).mkpath(QStringLiteral("scans")));
        m_oldDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work));
        m_scans = work + QStringLiteral("/scans/");
        sql(QStringLiteral("UPDATE settings SET FTPUserName = ?, FTPPassword = ?, FTPUploadDir = '/jobs/', "
                           "HTTPWebAddress = 'http://web.example.org/jobs/', HTTPIndexName = 'index.htm', "
                           "HTTPAllowSendAsWeb = 1, FileLocation = ?, FileExt = 'pdf'"),
            {server.user(), server.password(), m_scans});
        useServer(server.host(), server.port(), 10);
        sql(QStringLiteral("INSERT INTO job_postings (JobPostingID, Description) VALUES ('NUR', 'Nursing'), "
                           "('IT', 'Information Technology')"));

        requisition("000001", "NUR", "6 West", "Staff Nurse", "aaaaaaaa", false);
        requisition("000002", "IT", "Help Desk", "Analyst", "bbbbbbbb", false);
        requisition("000003", "IT", "Help Desk", "Manager", "cccccccc", true);
        application("000001", "00000001", 70000);
        application("000001", "00000002", 3);
        application("000002", "00000003", 40000);
        application("000003", "00000004", 100);
    }
    void TearDown() override
    {
        if (!m_oldDir.isEmpty())
            QDir::setCurrent(m_oldDir);
        StoreTest::TearDown();
    }

    void useServer(const QString& host, quint16 port, int timeout)
    {
        sql(QStringLiteral("UPDATE settings SET FTPHost = ?, FTPPort = ?, FTPTimeout = ?"), {host, port, timeout});
        data->ReadSettings();
    }
    void requisition(const char* number, const char* group, const char* department, const char* title,
                     const char* dir, bool filled)
    {
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, Department, PositionTitle, "
                           "EMailAddress, WebAddress, SendFirstData, SendAsEMail, SendAsHTML, PositionFilled) "
                           "VALUES (?, ?, ?, ?, 'dept@example.com', ?, 1, 0, 1, ?)"),
            {QLatin1String(number), QLatin1String(group), QLatin1String(department), QLatin1String(title),
             QStringLiteral("http://web.example.org/jobs/%1/index.htm").arg(QLatin1String(dir)), filled});
    }
    // An approved and sent application whose document is on disk.
    void application(const char* req, const char* applicant, int size)
    {
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate) VALUES (?, ?, 1, ?)"),
            {QLatin1String(req), QLatin1String(applicant), QDate(2026, 3, 2)});
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 31 + size) % 256); // line ends and every byte among them
        QFile f(document(applicant));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString document(const char* applicant) const { return m_scans + QLatin1String(applicant) + QStringLiteral(".pdf"); }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The requisition's directory on the server holds its documents, byte for byte, and its index page.
    void expectPublished(const char* dir, std::initializer_list<const char*> applicants)
    {
        SCOPED_TRACE(dir);
        const QString at = QStringLiteral("jobs/") + QLatin1String(dir) + QLatin1Char('/');
        QStringList names{QStringLiteral("index.htm")};
        for (const char* a : applicants) {
            names << QLatin1String(a) + QStringLiteral(".pdf");
            EXPECT_EQ(server.file(at + names.last()), contents(document(a))) << a;
        }
        names.sort();
        EXPECT_EQ(server.entries(at), names);
    }

    mwtest::FtpServer server;
    WatchingTalk talk;
    QString m_oldDir;
    QString m_scans;
};

MW_INSTANTIATE_BACKENDS(PublishingTest);

TEST_P(PublishingTest, TheUploadWindowFollowsAReloadOfTheWholeSite)
{
    TFTPForm form(*data, talk);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Upload Files To Server"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(child<QLabel>(&form, "StatusLabel")->text(), QStringLiteral("Please Wait Connecting To Server"));

    talk.answer({true});
    const OperationResult result = reloadWebSiteCommand(*data, talk, &form.publisher());
    EXPECT_TRUE(result.isDone()) << result.error.toStdString();
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Reload The Web Site?")});
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("Web Site Reloaded")});
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();

    EXPECT_EQ(server.entries(QStringLiteral("jobs")), strings({"aaaaaaaa", "bbbbbbbb"}));
    expectPublished("aaaaaaaa", {"00000001", "00000002"});
    expectPublished("bbbbbbbb", {"00000003"});

    // The last requisition published, and the end of its last transfer.
    EXPECT_EQ(child<QLabel>(&form, "DeptLabel")->text(), QStringLiteral("Help Desk"));
    EXPECT_EQ(child<QLabel>(&form, "ReqLabel")->text(), QStringLiteral("000002"));
    EXPECT_EQ(child<QLabel>(&form, "TitleLabel")->text(), QStringLiteral("Analyst"));
    EXPECT_EQ(child<QLabel>(&form, "StatusLabel")->text(), QStringLiteral("File Uploaded"));
    const auto* bar = child<QProgressBar>(&form, "ProgressBar1");
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(form.isVisible()) << "the caller releases the window";
}

// The server takes the connection and never greets: only the close box ends the
// wait, so the window must pass it on while the transfer runs.
TEST_P(PublishingTest, TheCloseBoxStopsAReload)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    useServer(QStringLiteral("127.0.0.1"), silent.serverPort(), 60);
    TFTPForm form(*data, talk);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    bool openAfterClose = false;
    // Events are heard only while a transfer runs.
    QTimer::singleShot(0, &form, [&] {
        form.close();
        openAfterClose = form.isVisible();
    });

    talk.answer({true});
    const OperationResult result = reloadWebSiteCommand(*data, talk, &form.publisher());
    EXPECT_TRUE(result.isCancelled()) << result.outcomeName().toStdString();
    EXPECT_TRUE(form.publisher().cancelled());
    EXPECT_TRUE(openAfterClose) << "the close box closed the window during the work";
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(child<QLabel>(&form, "StatusLabel")->text(), QStringLiteral("Cancelled"));

    form.close(); // no work runs: the window closes
    EXPECT_FALSE(form.isVisible());
}

// Process > Reload Web Site For Posting ID and Reload Web Site, one after the other
// on the same server.
TEST_P(PublishingTest, TheReloadCommandsPublishWhatTheyWereAskedTo)
{
    HelpSystem help{QString()};
    TMainForm m(*data, help, talk);
    m.pdfViewerAvailable = [] { return false; };
    m.FormActivate();

    const struct
    {
        const char* command;
        bool picker;        // the group picker is shown
        const char* choice; // chosen there; null: Cancel
        QStringList questions;
        QStringList onServer; // the requisitions' directories afterwards
    } cases[] = {
        {"ReloadWebSiteForPostingID1", true, nullptr, {}, {}},
        {"ReloadWebSiteForPostingID1", true, "Information Technology", {}, strings({"bbbbbbbb"})},
        {"ReloadWebSite1", false, nullptr, strings({"Are You Sure You Want To Reload The Web Site?"}),
         strings({"aaaaaaaa", "bbbbbbbb"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + (c.choice ? c.choice : "-"));
        talk.clear();
        if (!c.questions.isEmpty())
            talk.answer({true});
        int pickers = 0;
        m.showModal = [&](QDialog& dialog) {
            ++pickers;
            EXPECT_EQ(dialog.objectName(), QStringLiteral("GetPostingIDForm"));
            dialog.show();
            if (!c.choice) {
                QTest::mouseClick(child<QPushButton>(&dialog, "CancelBtn"), Qt::LeftButton);
                return dialog.result();
            }
            auto* box = child<QComboBox>(&dialog, "PostingCombo");
            box->setCurrentIndex(box->findText(QLatin1String(c.choice)));
            QTest::mouseClick(child<QPushButton>(&dialog, "LoadWebBtn"), Qt::LeftButton);
            return dialog.result();
        };
        int waits = 0;
        talk.onWait = [&] {
            ++waits;
            const QWidget* upload = TMainForm::findWindow(QStringLiteral("FTPForm"));
            EXPECT_TRUE(upload && upload->isVisible() && upload->parentWidget() == &m)
                << "the upload window is shown over the main window while the reload runs";
        };
        auto* command = child<QAction>(&m, c.command);
        ASSERT_TRUE(command->isEnabled());
        command->trigger();

        EXPECT_EQ(pickers, c.picker ? 1 : 0);
        EXPECT_EQ(waits, c.choice || !c.picker ? 1 : 0);
        EXPECT_EQ(talk.questions(), c.questions);
        EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(TMainForm::findWindow(QStringLiteral("FTPForm")), nullptr) << "released afterwards";
        EXPECT_EQ(server.entries(QStringLiteral("jobs")), c.onServer);
    }
    expectPublished("aaaaaaaa", {"00000001", "00000002"});
    expectPublished("bbbbbbbb", {"00000003"});
}
