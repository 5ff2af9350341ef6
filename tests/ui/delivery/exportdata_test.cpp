// The Export Data window: its boxes follow one another as the user ticks them, the
// browse button starts the save dialog where the field points, and Export saves the
// file, shows its path and closes the window.

#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "delivery/exportdata.h"
#include "findchild.h"
#include "scriptedtalk.h"
#include "shell/helpviewer.h"
#include "smtpserver.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace mw;
using mwtest::child;

class ExportDataFormTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        sql(QStringLiteral("UPDATE settings SET DefaultContinueMessage = 'Open until filled.', DefaultDirForFiles = ?"),
            {m_testDb->scratchDir()});
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, PositionTitle) VALUES ('R5', 'PARKS', 'Ranger')"));
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES ('000001', 'Abbott, Bo')"));
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES ('R5', '000001')"));
        data->ReadSettings();
        QFile t(m_testDb->scratchDir() + QStringLiteral("/ExportList.txt"));
        ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        t.write("List %JOBNUMBER%\r\n%DETAIL%\r\n%APPID%,%APPNAME%\r\n");
        t.close();
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_testDb->scratchDir()); // the templates are in the working directory
    }
    void TearDown() override
    {
        if (!m_oldDir.isEmpty())
            QDir::setCurrent(m_oldDir);
        StoreTest::TearDown();
    }

    mwtest::ScriptedTalk talk;
    HelpSystem help{QString()};
    QString m_oldDir;
};

TEST_P(ExportDataFormTest, TheBoxesFollowOneAnother)
{
    TExportData form(*data, help, talk);
    form.Setup(QStringLiteral("PARKS"), QStringLiteral("PARKS"), QStringLiteral("R5"));
    auto* send = child<QCheckBox>(&form, "SendToDeptCheck");
    auto* all = child<QCheckBox>(&form, "ExportAll");
    auto* allJobs = child<QCheckBox>(&form, "ExportAllJobs");
    auto* path = child<QLineEdit>(&form, "SaveFileEdit");
    auto* browse = child<QToolButton>(&form, "BrowseBtn");
    EXPECT_EQ(all->text(), QStringLiteral("Export All Continuous Recruitment Jobs For Job Posting ID: PARKS"));
    EXPECT_EQ(allJobs->text(), QStringLiteral("Export All Jobs For Job Posting ID: PARKS"));
    EXPECT_EQ(child<QPlainTextEdit>(&form, "MessageMemo")->toPlainText(), QStringLiteral("Open until filled."));
    EXPECT_EQ(path->text(), QDir::toNativeSeparators(m_testDb->scratchDir() + QStringLiteral("/R5.csv")));
    EXPECT_EQ(child<QDateEdit>(&form, "EndDate")->date(), child<QDateEdit>(&form, "StartDate")->date().addDays(30));

    all->setChecked(true);
    EXPECT_TRUE(send->isChecked());
    EXPECT_FALSE(path->isEnabled());
    EXPECT_FALSE(browse->isEnabled());
    allJobs->setChecked(true);
    EXPECT_FALSE(all->isChecked());
    allJobs->setChecked(false);
    EXPECT_TRUE(send->isChecked()) << "clearing a group box changes nothing else";
    all->setChecked(true);
    send->setChecked(false);
    EXPECT_FALSE(all->isChecked());
    EXPECT_TRUE(path->isEnabled());
    EXPECT_TRUE(browse->isEnabled());

    auto* useDates = child<QCheckBox>(&form, "UseDatesCheck");
    EXPECT_FALSE(child<QDateEdit>(&form, "StartDate")->isEnabled());
    useDates->setChecked(true);
    EXPECT_TRUE(child<QDateEdit>(&form, "StartDate")->isEnabled());
    EXPECT_TRUE(child<QDateEdit>(&form, "EndDate")->isEnabled());

    QStringList started;
    form.pickSaveFile = [&started](const QString& start) {
        started << start;
        return start == QLatin1String("Applicant.csv") ? QString() : QStringLiteral("/tmp/chosen.csv");
    };
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(path->text(), QStringLiteral("/tmp/chosen.csv"));
    path->clear();
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(started, (QStringList{QDir::toNativeSeparators(m_testDb->scratchDir() + QStringLiteral("/R5.csv")),
                                    QStringLiteral("Applicant.csv")}));
    EXPECT_TRUE(path->text().isEmpty()) << "a cancelled dialog changes nothing";
}

TEST_P(ExportDataFormTest, ExportSavesOpensAndCloses)
{
    TExportData form(*data, help, talk);
    form.Setup(QStringLiteral("PARKS"), QStringLiteral("PARKS"), QStringLiteral("R5"));
    QStringList opened;
    form.openFile = [&opened](const QString& p) { opened << p; };
    auto* path = child<QLineEdit>(&form, "SaveFileEdit");
    path->setText(m_testDb->scratchDir() + QStringLiteral("/list.xls"));
    form.show();
    QTest::mouseClick(child<QPushButton>(&form, "ExportBtn"), Qt::LeftButton);
    const QString saved = m_testDb->scratchDir() + QStringLiteral("/list.csv");
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(path->text(), saved);
    EXPECT_EQ(opened, QStringList{saved});
    QFile f(saved);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("List R5\r\n000001,Abbott, Bo\r\n"));
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
}

// Mailed under the Send E-Mail window, to a real SMTP server.
TEST_P(ExportDataFormTest, ExportMailsTheFileToTheDepartment)
{
    mwtest::SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    sql(QStringLiteral("UPDATE settings SET SMTPServer = ?, Port = ?, SMTPTimeout = 3"), {server.host(), server.port()});
    sql(QStringLiteral("UPDATE users SET EMailAddress = 'hr@example.com' WHERE UserID = 'SUPERVISOR'"));
    sql(QStringLiteral("UPDATE requisitions SET EMailAddress = 'parks@example.com'"));
    data->ReadSettings();
    ASSERT_TRUE(data->CheckUser(QStringLiteral("supervisor"), QString(), true));

    TExportData form(*data, help, talk);
    form.Setup(QStringLiteral("PARKS"), QStringLiteral("PARKS"), QStringLiteral("R5"));
    QStringList opened;
    form.openFile = [&opened](const QString& p) { opened << p; };
    child<QCheckBox>(&form, "SendToDeptCheck")->setChecked(true);
    form.show();
    QTest::mouseClick(child<QPushButton>(&form, "ExportBtn"), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(server.waitForMessages(1));
    const QJsonObject m = server.message(1);
    EXPECT_EQ(m.value(QStringLiteral("subject")).toString(), QStringLiteral("Export Data For Req#: PARKSR5 Ranger"));
    EXPECT_EQ(m.value(QStringLiteral("rcpt_tos")).toArray().first().toString(), QStringLiteral("parks@example.com"));
    EXPECT_EQ(m.value(QStringLiteral("attachments")).toArray().first().toObject().value(QStringLiteral("filename")).toString(),
              QStringLiteral("Applican.csv"));
    EXPECT_TRUE(opened.isEmpty());
}

MW_INSTANTIATE_BACKENDS(ExportDataFormTest);
