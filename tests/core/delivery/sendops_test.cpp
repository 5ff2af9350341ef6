// The send operations against a real mail server and a real FTP server with its
// HTTP view, on both backends: what the department received (messages, attachment
// sets byte for byte, links that serve the documents) and what the database says
// it received (sent dates, forms flags), before and after, when everything works
// and when anything fails, is cancelled or runs into a full disk.

#include "dbfixture.h"
#include "delivery/sendops.h"
#include "demo/demotemplates.h"
#include "ftpserver.h"
#include "mail/mailsend.h"
#include "scriptedtalk.h"
#include "tmpdirscope.h"
#include "shared/clock.h"
#include "shared/platform.h"
#include "smtpserver.h"
#include "web/ftppublisher.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

#include <sys/mount.h>

using namespace mw;
using mwtest::ScriptedTalk;
using mwtest::TmpDirScope;

namespace {

const QDate kToday(2026, 11, 20);
const QString kTodayStored = QStringLiteral("2026-11-20");

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QStringList attachmentNames(const QJsonObject& message)
{
    QStringList names;
    for (const QJsonValue& a : message.value(QStringLiteral("attachments")).toArray())
        names << a.toObject().value(QStringLiteral("filename")).toString();
    return names;
}

QStringList hrefs(const QString& text)
{
    QStringList out;
    static const QRegularExpression href(QStringLiteral("HREF=\"([^\"]+)\""), QRegularExpression::CaseInsensitiveOption);
    for (auto m = href.globalMatch(text); m.hasNext();)
        out << m.next().captured(1);
    return out;
}

} // namespace

class SendOpsTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        mwtest::StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(smtp.ok()) << smtp.error().toStdString();
        ASSERT_TRUE(ftp.ok()) << ftp.error().toStdString();
        ASSERT_TRUE(m_work.isValid());
        ASSERT_TRUE(m_tmp.isValid());
        m_tmpdir = std::make_unique<TmpDirScope>(m_tmp.path());
        // The templates are read from the working directory, as in the program.
        m_oldDir = QDir::currentPath();
        writeDemoTemplates(m_work.path());
        QDir::setCurrent(m_work.path());
        QDir(m_work.path()).mkpath(QStringLiteral("scans"));
        m_base = QStringLiteral("http://127.0.0.1:%1/jobs/").arg(ftp.httpPort());
        const QString dir = m_work.path();
        sql(QStringLiteral(
                "UPDATE settings SET SMTPServer = ?, Port = ?, SMTPTimeout = 5, FTPHost = ?, FTPPort = ?, "
                "FTPUserName = ?, FTPPassword = ?, FTPUploadDir = '/jobs/', FTPPassive = 1, FTPTimeout = 5, "
                "HTTPWebAddress = ?, HTTPIndexName = 'index.htm', FileLocation = ?, FileExt = 'pdf', "
                "HTTPAllowSendAsWeb = 1, HTTPAllowHTTP = 1, SubjectSend = 'Applications', "
                "SubjectFirst = 'Initial Forms', SubjectLast = 'Final Forms', FilesSendFirst = ?, FilesSendLast = ?, "
                "ExemptFiles = ?, NonExemptFiles = ?, CustomMemo = 'Memo.txt', MakeAppFlow = 1, ExportAsExcel = 0"),
            {smtp.host(), smtp.port(), ftp.host(), ftp.port(), ftp.user(), ftp.password(), m_base,
             m_work.filePath(QStringLiteral("scans")), demoFormDirectory(dir, QStringLiteral("FilesSendFirst")),
             demoFormDirectory(dir, QStringLiteral("FilesSendLast")), demoFormDirectory(dir, QStringLiteral("ExemptFiles")),
             demoFormDirectory(dir, QStringLiteral("NonExemptFiles"))});
        data->ReadSettings();
        data->LoginData.EMailAddress = QStringLiteral("hr@example.com");
        data->LoginData.UserName = QStringLiteral("Pat Hill");
        data->LoginData.SMTPServer = smtp.host();
        data->LoginData.SMTPPort = smtp.port();
        Clock::setToday(kToday);

        requisition(QStringLiteral("MAIL1"), QStringLiteral("NUR"), true, false, QStringLiteral("dept@example.com"),
                    QString());
        requisition(QStringLiteral("WEB1"), QStringLiteral("NUR"), false, true, QStringLiteral("web@example.com"),
                    m_base + QStringLiteral("aaaaaaaa/index.htm"));
        requisition(QStringLiteral("WEB2"), QStringLiteral("NUR"), false, false, QStringLiteral("web@example.com"),
                    m_base + QStringLiteral("bbbbbbbb/index.htm"));
    }
    void TearDown() override
    {
        if (!m_oldDir.isEmpty())
            QDir::setCurrent(m_oldDir);
        m_tmpdir.reset();
        mwtest::StoreTest::TearDown();
    }

    void requisition(const QString& number, const QString& group, bool byMail, bool html, const QString& address,
                     const QString& web, bool firstSent = true, bool criteria = true)
    {
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, Department, PositionTitle, EMailAddress, "
                           "WebAddress, SendFirstData, FinalSent, SelectionCriteria, SendAsEMail, SendAsHTML, "
                           "PositionFilled, ExemptPosition, CloseDate, MessageToDept) "
                           "VALUES (?, ?, 'Ward 6', 'Nurse', ?, ?, ?, 0, ?, ?, ?, 0, 0, '2026-12-31', "
                           "'Dear %CONTACT%,\nhere are the applicants for %JOBTITLE%.')"),
            {number, group, address.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(address),
             web.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(web), firstSent, criteria, byMail, html});
    }
    // size -1: no document on disk. sent: an invalid date for none.
    void application(const QString& req, const QString& applicant, bool approved, const QDate& sent, int size,
                     const QVariant& dispDate = QDate(2026, 11, 1), bool veteran = false)
    {
        if (scalar(QStringLiteral("SELECT COUNT(*) FROM applicants WHERE ApplicantID = ?"), {applicant}).toInt() == 0)
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned, VeteranPreference) VALUES (?, ?, ?, ?)"),
                {applicant, QStringLiteral("Name of ") + applicant, size >= 0, veteran});
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate, DispDate) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {req, applicant, approved, sent, dispDate});
        if (size < 0)
            return;
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 31 + applicant.size() * 7 + applicant.back().unicode()) % 256);
        QFile f(document(applicant));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString document(const QString& applicant) const
    {
        return m_work.filePath(QStringLiteral("scans/") + applicant + QStringLiteral(".pdf"));
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Every application's sent date of a requisition, "" for none.
    QMap<QString, QString> dates(const QString& req)
    {
        QMap<QString, QString> out;
        QSqlQuery q = data->database().exec(
            QStringLiteral("SELECT ApplicantID, SemtDate FROM applications WHERE ReqNumber = ?"), {req});
        while (q.next())
            out.insert(q.value(0).toString(), q.value(1).toString());
        return out;
    }
    bool flag(const QString& req, const char* field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM requisitions WHERE ReqNumber = ?").arg(QLatin1String(field)), {req})
                   .toInt() != 0;
    }
    // What lies in the program's temporary directory: nothing after an operation.
    QStringList leftovers() const
    {
        return QDir(TempPath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // The attachments of a message checked against the documents: names in order.
    void expectDocuments(const QJsonObject& message, const QStringList& applicants)
    {
        QStringList names;
        for (const QString& a : applicants)
            names << a + QStringLiteral(".pdf");
        EXPECT_EQ(attachmentNames(message), names);
        const QJsonArray list = message.value(QStringLiteral("attachments")).toArray();
        for (int i = 0; i < list.size() && i < applicants.size(); ++i)
            EXPECT_EQ(list.at(i).toObject().value(QStringLiteral("sha256")).toString(),
                      sha256(contents(document(applicants.at(i)))))
                << applicants.at(i).toStdString();
    }
    // A web path on the server, as the department's browser gets it.
    QByteArray served(const QString& link, int* status)
    {
        EXPECT_TRUE(link.startsWith(m_base)) << link.toStdString();
        return ftp.httpGet(link.mid(m_base.size() - 5), status);
    }

    // The standard applications of MAIL1: every kind a selection must tell apart.
    void mailApplications()
    {
        sql(QStringLiteral("DELETE FROM applications"));
        application(QStringLiteral("MAIL1"), QStringLiteral("A1"), true, QDate(), 3000);
        application(QStringLiteral("MAIL1"), QStringLiteral("A2"), true, QDate(2026, 11, 5), 2500, QDate(2026, 11, 1),
                    true);
        application(QStringLiteral("MAIL1"), QStringLiteral("A3"), false, QDate(), 2000);
        application(QStringLiteral("MAIL1"), QStringLiteral("A4"), true, QDate(), 1000, QDate(2027, 1, 15));
        application(QStringLiteral("MAIL1"), QStringLiteral("A5"), true, QDate(), 1500, QVariant(QMetaType(QMetaType::QDate)));
        application(QStringLiteral("MAIL1"), QStringLiteral("A6"), false, QDate(2026, 11, 5), 1200);
        application(QStringLiteral("MAIL1"), QStringLiteral("A7"), true, kToday, 1800);
    }
    QMap<QString, QString> mailDatesBefore() const
    {
        return {{QStringLiteral("A1"), QString()},
                {QStringLiteral("A2"), QStringLiteral("2026-11-05")},
                {QStringLiteral("A3"), QString()},
                {QStringLiteral("A4"), QString()},
                {QStringLiteral("A5"), QString()},
                {QStringLiteral("A6"), QStringLiteral("2026-11-05")},
                {QStringLiteral("A7"), kTodayStored}};
    }

    mwtest::SmtpServer smtp;
    mwtest::FtpServer ftp{{mwtest::FtpServerOptions::Tls::None, true}};
    ScriptedTalk talk;
    QTemporaryDir m_work;
    QTemporaryDir m_tmp;
    std::unique_ptr<TmpDirScope> m_tmpdir;
    QString m_oldDir;
    QString m_base;
};

// ---------------------------------------------------------------- the sent dates

// A stamp is given back exactly: no date, an earlier date, the very day of the
// stamp; also on the next day, and never over a date changed since.
TEST_P(SendOpsTest, AStampIsGivenBackExactlyAlsoAfterMidnight)
{
    mailApplications();
    const SentStamp stamp = SetSentDate(*data, {QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A7"),
                                                QStringLiteral("A3"), QStringLiteral("NOT-THERE")},
                                        QStringLiteral("MAIL1"));
    EXPECT_EQ(stamp.day, kToday);
    EXPECT_EQ(stamp.previous.size(), 4);
    QMap<QString, QString> stamped = mailDatesBefore();
    for (const char* a : {"A1", "A2", "A7", "A3"})
        stamped[QLatin1String(a)] = kTodayStored;
    EXPECT_EQ(dates(QStringLiteral("MAIL1")), stamped);
    EXPECT_TRUE(SetSentDate(*data, {}, QStringLiteral("MAIL1")).isEmpty());

    // Someone dates A3 otherwise meanwhile; the clock passes midnight.
    sql(QStringLiteral("UPDATE applications SET SemtDate = '2026-11-25' WHERE ApplicantID = 'A3'"));
    Clock::setToday(kToday.addDays(1));
    EXPECT_EQ(ClearSentDate(*data, stamp), 2) << "A7 had the stamp's day already";
    QMap<QString, QString> back = mailDatesBefore();
    back[QStringLiteral("A3")] = QStringLiteral("2026-11-25");
    EXPECT_EQ(dates(QStringLiteral("MAIL1")), back);
    EXPECT_EQ(ClearSentDate(*data, stamp), 0) << "given back once";
}

// ---------------------------------------------------------------- by e-mail

// Each application operation on an e-mail requisition: the documents it attaches,
// byte for byte, and the dates it records.
TEST_P(SendOpsTest, EachApplicationOperationSendsItsSelectionAndDatesExactlyThat)
{
    using Op = std::function<OperationResult(SendOperations&)>;
    const struct
    {
        const char* name;
        Op run;
        QStringList attached; // empty: no message
        QStringList stamped;  // today's date afterwards
        const char* error;    // the error told, when it fails
    } cases[] = {
        {"unsent", [](SendOperations& s) { return s.SendUnsentApplications(QStringLiteral("MAIL1")); },
         {QStringLiteral("A1"), QStringLiteral("A5")}, {QStringLiteral("A1"), QStringLiteral("A5")}, nullptr},
        {"all", [](SendOperations& s) { return s.SendAllApplications(QStringLiteral("MAIL1")); },
         {QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A5"), QStringLiteral("A7")},
         {QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A5"), QStringLiteral("A7")}, nullptr},
        {"one applicant", [](SendOperations& s) { return s.SendApplication(QStringLiteral("MAIL1"), QStringLiteral("A1")); },
         {QStringLiteral("A1")}, {QStringLiteral("A1")}, nullptr},
        {"one not approved",
         [](SendOperations& s) { return s.SendApplication(QStringLiteral("MAIL1"), QStringLiteral("A3")); }, {}, {},
         "Application Not Approved for Sending"},
        {"resend a day", [](SendOperations& s) { return s.ResendApplications(QStringLiteral("MAIL1"), QStringLiteral("11/05/2026")); },
         {QStringLiteral("A2"), QStringLiteral("A6")}, {}, nullptr},
        {"resend a day without sends",
         [](SendOperations& s) { return s.ResendApplications(QStringLiteral("MAIL1"), QStringLiteral("01/02/2020")); }, {}, {},
         "No Applications Are Available For Sending\nRequisition: MAIL1 Nurse\nDepartment: Ward 6"},
    };
    int messages = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mailApplications();
        talk.clear();
        talk.answer({true});
        SendOperations send(*data, talk);
        const OperationResult r = c.run(send);
        QMap<QString, QString> expected = mailDatesBefore();
        for (const QString& a : c.stamped)
            expected[a] = kTodayStored;
        EXPECT_EQ(dates(QStringLiteral("MAIL1")), expected);
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
        if (c.error) {
            EXPECT_TRUE(r.isFailed());
            EXPECT_EQ(talk.errors(), QStringList{QLatin1String(c.error)});
            EXPECT_EQ(smtp.messageCount(), messages);
            continue;
        }
        ASSERT_TRUE(r.isDone()) << r.error.toStdString() << talk.errors().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(r.countOf(QStringLiteral("Applications Sent")), c.attached.size());
        ASSERT_TRUE(smtp.waitForMessages(++messages));
        const QJsonObject m = smtp.message(messages);
        EXPECT_EQ(m.value(QStringLiteral("subject")).toString(), QStringLiteral("Applications Req#: NURMAIL1 Nurse"));
        EXPECT_EQ(m.value(QStringLiteral("rcpt_tos")).toArray().size(), 1);
        expectDocuments(m, c.attached);
        const QString body = m.value(QStringLiteral("body_text")).toString();
        EXPECT_TRUE(body.contains(QStringLiteral("here are the applicants for Nurse."))) << body.toStdString();
        for (const QString& a : c.attached)
            EXPECT_TRUE(body.contains(a + QStringLiteral(" Name of ") + a)) << body.toStdString();
        EXPECT_EQ(body.contains(QStringLiteral(" Veteran")), c.attached.contains(QStringLiteral("A2")));
    }
    EXPECT_EQ(smtp.messageCount(), messages);
}

// Every way the mail can fail after the list was made: the user hears the failure
// with its cause, no application keeps a date it did not earn (the earlier dates
// of "All Applicants", today's included, stay as they were), nothing is left in
// the temporary directory, and the same run afterwards goes through.
TEST_P(SendOpsTest, AFailedMailLeavesEveryDateAsItWasAndTheRunCanBeRepeated)
{
    const struct
    {
        const char* name;
        std::function<bool(mwtest::SmtpServer&)> fault;
        bool removeDocument; // A5's document disappears while the attachments are copied
        int cancelAfter;
        const char* told; // the error's first lines
        bool cancelled;
    } cases[] = {
        {"mail server down", [](mwtest::SmtpServer& s) { return s.refuseConnections(); }, false, -1,
         "Error: E-Mail Not Sent\n\nCould Not Connect To Mail Server.", false},
        {"recipient refused", [](mwtest::SmtpServer& s) { return s.refuseRecipient(QStringLiteral("dept@example.com")); },
         false, -1, "Error: E-Mail Not Sent\n\nCould Not Find Recipent dept@example.com On Mail Server.", false},
        {"sender refused", [](mwtest::SmtpServer& s) { return s.refuseSender(550); }, false, -1,
         "Error: E-Mail Not Sent\n\nThe E-Mail Could Not Be Sent to The Mail Server.", false},
        {"connection lost in the data", [](mwtest::SmtpServer& s) { return s.dropDuringData(4000); }, false, -1,
         "Error: E-Mail Not Sent\n\nThe E-Mail Could Not Be Sent to The Mail Server.", false},
        {"document gone since the list was made", [](mwtest::SmtpServer&) { return true; }, true, -1,
         "Error: E-Mail Not Sent\n\nCould Not Find File Attachment:A5.pdf", false},
        {"cancelled while the server keeps us waiting", [](mwtest::SmtpServer& s) { return s.silentGreeting(); }, false, 3,
         "Error: E-Mail Not Sent\n\nSending Was Cancelled.", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mailApplications();
        ASSERT_TRUE(c.fault(smtp));
        const int before = smtp.messageCount();
        ScriptedTalk told;
        told.answer({true});
        if (c.cancelAfter >= 0)
            told.cancelAfter(c.cancelAfter);
        SendOperations send(*data, told);
        const QString gone = document(QStringLiteral("A5"));
        if (c.removeDocument)
            send.ShowMail = [gone](MailSend& m) {
                m.ShowStep = [gone](const QString& step) {
                    if (step == QStringLiteral("Copying File: ") + gone)
                        QFile::remove(gone);
                };
            };
        const OperationResult r = send.SendAllApplications(QStringLiteral("MAIL1"));
        EXPECT_EQ(c.cancelled ? r.isCancelled() : r.isFailed(), true) << r.outcomeName().toStdString();
        ASSERT_FALSE(told.errors().isEmpty());
        EXPECT_TRUE(told.errors().first().startsWith(QLatin1String(c.told))) << told.errors().first().toStdString();
        EXPECT_EQ(r.countOf(QStringLiteral("Applications Sent")), 0);
        EXPECT_EQ(dates(QStringLiteral("MAIL1")), mailDatesBefore());
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
        ASSERT_TRUE(smtp.reset());
        EXPECT_EQ(smtp.messageCount(), before) << "a message went out";

        // Repeated as it is, the run goes through.
        if (c.removeDocument)
            application(QStringLiteral("NONE"), QStringLiteral("A5"), false, QDate(), 1500);
        ScriptedTalk again;
        again.answer({true});
        const OperationResult ok = SendOperations(*data, again).SendAllApplications(QStringLiteral("MAIL1"));
        EXPECT_TRUE(ok.isDone()) << again.errors().join(QLatin1Char('|')).toStdString();
        ASSERT_TRUE(smtp.waitForMessages(before + 1));
        expectDocuments(smtp.message(before + 1),
                        {QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A5"), QStringLiteral("A7")});
        EXPECT_EQ(dates(QStringLiteral("MAIL1")).value(QStringLiteral("A2")), kTodayStored);
    }
}

// A message that reached only some of its recipients, or a split run whose last
// set was refused: what reached the department is recorded, nothing else.
TEST_P(SendOpsTest, WhatReachedTheDepartmentIsRecordedAndNothingElse)
{
    // Sets of at most 4000 bytes: P1, P2, then P3 alone; the server takes no message
    // over 8000 bytes, so the third set is refused.
    sql(QStringLiteral("UPDATE requisitions SET MaxFiles = 4000 WHERE ReqNumber = 'MAIL1'"));
    application(QStringLiteral("MAIL1"), QStringLiteral("P1"), true, QDate(), 3000);
    application(QStringLiteral("MAIL1"), QStringLiteral("P2"), true, QDate(), 3000);
    application(QStringLiteral("MAIL1"), QStringLiteral("P3"), true, QDate(), 9000);
    ASSERT_TRUE(smtp.sizeLimit(8000));
    talk.answer({true});
    OperationResult r = SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("MAIL1"));
    EXPECT_TRUE(r.isFailed());
    EXPECT_EQ(r.countOf(QStringLiteral("Applications Sent")), 2);
    EXPECT_EQ(r.countOf(QStringLiteral("Messages Sent")), 2);
    ASSERT_TRUE(smtp.waitForMessages(2));
    expectDocuments(smtp.message(1), {QStringLiteral("P1")});
    expectDocuments(smtp.message(2), {QStringLiteral("P2")});
    EXPECT_TRUE(smtp.message(2).value(QStringLiteral("subject")).toString().endsWith(QStringLiteral(" Attachment Set: 1")));
    EXPECT_EQ(dates(QStringLiteral("MAIL1")),
              (QMap<QString, QString>{{QStringLiteral("P1"), kTodayStored}, {QStringLiteral("P2"), kTodayStored},
                                      {QStringLiteral("P3"), QString()}}));
    EXPECT_TRUE(talk.informations().contains(QStringLiteral(
        "2 of 3 Application(s) Reached The Department Before The Failure And Are Recorded As Sent: P1, P2")));

    // Two addresses, one refused: the department has the message at the other.
    ASSERT_TRUE(smtp.reset());
    ASSERT_TRUE(smtp.refuseRecipient(QStringLiteral("gone@example.com")));
    sql(QStringLiteral("UPDATE requisitions SET MaxFiles = 0, EMailAddress = 'dept@example.com, gone@example.com' "
                       "WHERE ReqNumber = 'MAIL1'"));
    talk.clear();
    talk.answer({true});
    r = SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("MAIL1"));
    EXPECT_TRUE(r.isFailed());
    EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("Could Not Find Recipent gone@example.com")));
    ASSERT_TRUE(smtp.waitForMessages(3));
    expectDocuments(smtp.message(3), {QStringLiteral("P3")});
    EXPECT_EQ(dates(QStringLiteral("MAIL1")).value(QStringLiteral("P3")), kTodayStored);
}

// The temporary directory's disk is full: the cause is told, nothing is sent, no
// date is recorded, nothing partial stays.
TEST_P(SendOpsTest, AFullDiskStopsTheSendWithItsCause)
{
    QTemporaryDir small;
    if (::mount("tmpfs", QFile::encodeName(small.path()).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small file system needs mount rights";
    application(QStringLiteral("MAIL1"), QStringLiteral("F1"), true, QDate(), 1000);
    application(QStringLiteral("MAIL1"), QStringLiteral("F2"), true, QDate(), 200000);
    {
        TmpDirScope full(small.path());
        talk.answer({true});
        const OperationResult r = SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("MAIL1"));
        EXPECT_TRUE(r.isFailed());
        ASSERT_FALSE(talk.errors().isEmpty());
        EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("No space left on device")))
            << talk.errors().first().toStdString();
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(::umount2(QFile::encodeName(small.path()).constData(), MNT_DETACH), 0);
    EXPECT_EQ(smtp.messageCount(), 0);
    EXPECT_EQ(dates(QStringLiteral("MAIL1")),
              (QMap<QString, QString>{{QStringLiteral("F1"), QString()}, {QStringLiteral("F2"), QString()}}));
}

// ---------------------------------------------------------------- on the web

// A web requisition, HTML and plain: the documents are on the server under small
// letters, every link of the message and of the index page serves its document
// (identifiers in capitals included), and only what went out is dated and linked.
TEST_P(SendOpsTest, WebLinksServeTheirDocumentsAndTheIndexLinksWhatWasSent)
{
    for (const QString& req : {QStringLiteral("WEB1"), QStringLiteral("WEB2")}) {
        SCOPED_TRACE(req.toStdString());
        const bool html = req == QLatin1String("WEB1");
        const QString dir = html ? QStringLiteral("aaaaaaaa") : QStringLiteral("bbbbbbbb");
        const QString upper = html ? QStringLiteral("Ab0042") : QStringLiteral("Cd0099");
        const QString digits = html ? QStringLiteral("00000007") : QStringLiteral("00000017");
        const QString absent = html ? QStringLiteral("00000008") : QStringLiteral("00000018");
        const QString old = html ? QStringLiteral("00000009") : QStringLiteral("00000019");
        application(req, upper, true, QDate(), 5000);
        application(req, digits, true, QDate(), 70000);
        application(req, absent, true, QDate(), -1);   // no document: named in the warning
        application(req, old, false, QDate(), 100);     // not approved: neither sent nor linked
        talk.clear();
        talk.answer({true, true});
        const int before = smtp.messageCount();
        const OperationResult r = SendOperations(*data, talk).SendUnsentApplications(req);
        ASSERT_TRUE(r.isDone()) << talk.errors().join(QLatin1Char('|')).toStdString()
                                << talk.informations().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(talk.questions().value(1), QStringLiteral("Warning\n\nCould Not Find Applications For The  Following "
                                                            "Applicants\nName of ") +
                                                 absent + QStringLiteral("\n\nDo You Still Want To Send ?"));
        EXPECT_EQ(r.countOf(QStringLiteral("Documents Missing")), 1);
        EXPECT_EQ(ftp.entries(QStringLiteral("jobs/") + dir),
                  (QStringList{digits + QStringLiteral(".pdf"), upper.toLower() + QStringLiteral(".pdf"),
                               QStringLiteral("index.htm")}));
        EXPECT_EQ(dates(req), (QMap<QString, QString>{{upper, kTodayStored}, {digits, kTodayStored},
                                                      {absent, QString()}, {old, QString()}}));

        // The message: no attachment, a link to each document that serves it.
        ASSERT_TRUE(smtp.waitForMessages(before + 1));
        const QJsonObject m = smtp.message(before + 1);
        EXPECT_TRUE(attachmentNames(m).isEmpty());
        const QString body = m.value(QStringLiteral("body_text")).toString();
        QStringList links;
        if (html) {
            links = hrefs(body).filter(m_base); // the footing's own links aside
        } else {
            static const QRegularExpression url(QStringLiteral("(http://\\S+\\.pdf)"));
            for (auto it = url.globalMatch(body); it.hasNext();)
                links << it.next().captured(1);
            EXPECT_TRUE(body.contains(upper + QStringLiteral(" Name of ") + upper)) << "the line shows the identifier";
        }
        ASSERT_EQ(links.size(), 2) << body.toStdString();
        for (const QString& link : std::as_const(links)) {
            int status = 0;
            const QByteArray bytes = served(link, &status);
            EXPECT_EQ(status, 200) << link.toStdString();
            const QString applicant = link.contains(digits) ? digits : upper;
            EXPECT_EQ(bytes, contents(document(applicant))) << link.toStdString();
        }

        // The index page links exactly the sent documents, and they serve too.
        int status = 0;
        const QString page = QString::fromUtf8(ftp.httpGet(QStringLiteral("jobs/") + dir + QStringLiteral("/index.htm"), &status));
        EXPECT_EQ(status, 200);
        QStringList linked;
        for (const QString& link : hrefs(page))
            if (link.startsWith(m_base)) {
                linked << link;
                int s = 0;
                served(link, &s);
                EXPECT_EQ(s, 200) << link.toStdString();
            }
        EXPECT_EQ(linked.size(), 2) << page.toStdString();
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
    }
}

// On the web, a failure anywhere: told with its cause, no mail unless the
// documents are all up, no date, and an index page that links nothing unsent;
// repeated, the run goes through.
TEST_P(SendOpsTest, AFailedWebSendLeavesNoDateAndNoLinkToWhatWasNotSent)
{
    // One application went out before: the index page links it.
    application(QStringLiteral("WEB1"), QStringLiteral("00000001"), true, QDate(), 4000);
    talk.answer({true});
    ASSERT_TRUE(SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("WEB1")).isDone())
        << talk.errors().join(QLatin1Char('|')).toStdString() << talk.informations().join(QLatin1Char('|')).toStdString();
    const QByteArray firstIndex = ftp.file(QStringLiteral("jobs/aaaaaaaa/index.htm"));
    ASSERT_EQ(hrefs(QString::fromUtf8(firstIndex)).filter(QStringLiteral("00000001.pdf")).size(), 1);
    application(QStringLiteral("WEB1"), QStringLiteral("00000002"), true, QDate(), 6000);

    const struct
    {
        const char* name;
        std::function<bool()> fault;
        std::function<void(SendOperations&)> prepare;
        bool mailExpected;      // the documents were up: the failure is the mail's
        const char* told;       // part of what the user is told
        bool cancelled;
    } cases[] = {
        {"the server keeps no file", [this] { return ftp.diskFull(-1); }, {}, false, "452", false},
        {"no FTP connection", [this] { return ftp.refuseConnections(); }, {}, false, "Connection Failed", false},
        {"the connection is cut in the upload", [this] { return ftp.dropStor(-1); }, {}, false,
         "Not All The Files Where Uploaded", false},
        {"document gone since the list was made", [] { return true; },
         [this](SendOperations& s) {
             const QString gone = document(QStringLiteral("00000002"));
             s.ShowFtp = [gone](FtpPublisher& p) {
                 p.ShowStatus = [gone](const QString& status) {
                     if (status == QStringLiteral("Uploading File: ") + gone)
                         QFile::remove(gone);
                 };
             };
         },
         false, "Not on the server whole", false},
        {"no index template", [this] { return QFile::rename(m_work.filePath(QStringLiteral("deptindex.htm")),
                                                            m_work.filePath(QStringLiteral("deptindex.old"))); },
         {}, false, "no template \"deptindex.htm\"", false},
        {"cancelled in the upload", [] { return true; },
         [](SendOperations& s) { s.ShowFtp = [](FtpPublisher& p) { p.StopRequested = [] { return true; }; }; }, false,
         nullptr, true},
        {"mail server down after the upload", [this] { return smtp.refuseConnections(); }, {}, true,
         "Could Not Connect To Mail Server.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.fault());
        const int before = smtp.messageCount();
        ScriptedTalk told;
        told.answer({true});
        SendOperations send(*data, told);
        if (c.prepare)
            c.prepare(send);
        const OperationResult r = send.SendUnsentApplications(QStringLiteral("WEB1"));
        EXPECT_EQ(c.cancelled ? r.isCancelled() : r.isFailed(), true) << r.outcomeName().toStdString();
        if (c.told) {
            const QString all = (told.errors() + told.informations()).join(QLatin1Char('|'));
            EXPECT_TRUE(all.contains(QLatin1String(c.told))) << all.toStdString();
        }
        EXPECT_EQ(dates(QStringLiteral("WEB1")).value(QStringLiteral("00000002")), QString());
        EXPECT_EQ(ftp.file(QStringLiteral("jobs/aaaaaaaa/index.htm")), firstIndex) << "the page changed";
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
        ASSERT_TRUE(ftp.reset());
        ASSERT_TRUE(smtp.reset());
        QFile::rename(m_work.filePath(QStringLiteral("deptindex.old")), m_work.filePath(QStringLiteral("deptindex.htm")));
        if (!QFile::exists(document(QStringLiteral("00000002"))))
            application(QStringLiteral("NONE"), QStringLiteral("00000002"), false, QDate(), 6000);
        EXPECT_EQ(smtp.messageCount(), before) << (c.mailExpected ? "the mail was refused" : "a mail went out");
        QFile::remove(ftp.root() + QStringLiteral("/jobs/aaaaaaaa/00000002.pdf"));
    }

    // Repeated: the document goes up, the mail goes out, the date and the link follow.
    ScriptedTalk again;
    again.answer({true});
    ASSERT_TRUE(SendOperations(*data, again).SendUnsentApplications(QStringLiteral("WEB1")).isDone())
        << again.errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(dates(QStringLiteral("WEB1")).value(QStringLiteral("00000002")), kTodayStored);
    const QString page = QString::fromUtf8(ftp.file(QStringLiteral("jobs/aaaaaaaa/index.htm")));
    EXPECT_EQ(hrefs(page).filter(QStringLiteral(".pdf")).size(), 2) << page.toStdString();
}

// ---------------------------------------------------------------- forms

// The forms: what each message carries, and the flag set only when every form
// reached the department.
TEST_P(SendOpsTest, FormsAreFlaggedOnlyWhenTheyReachedTheDepartment)
{
    const struct
    {
        const char* name;
        bool initial;
        std::function<bool()> fault;
        QStringList attached; // empty: nothing arrives
        const char* told;
    } cases[] = {
        {"initial forms", true, [] { return true; },
         {QStringLiteral("Interview guide.txt"), QStringLiteral("Selection criteria.txt"), QStringLiteral("Memo.txt"),
          QStringLiteral("Non-exempt position checklist.txt")},
         nullptr},
        {"final forms with the flow files", false, [] { return true; },
         {QStringLiteral("Hiring decision.txt"), QStringLiteral("Reference check.txt"), QStringLiteral("Flow.txt"),
          QStringLiteral("Report.txt"), QStringLiteral("Applican.csv")},
         nullptr},
        {"initial forms, mail server down", true, [this] { return smtp.refuseConnections(); }, {},
         "Error: E-Mail Not Sent\n\nCould Not Connect To Mail Server."},
        {"final forms, the only recipient refused", false,
         [this] { return smtp.refuseRecipient(QStringLiteral("dept@example.com")); }, {},
         "Error: E-Mail Not Sent\n\nCould Not Find Recipent dept@example.com On Mail Server."},
        {"initial forms, no address", true,
         [this] {
             sql(QStringLiteral("UPDATE requisitions SET EMailAddress = NULL WHERE ReqNumber = 'MAIL1'"));
             return true;
         },
         {}, "Error: E-Mail Not Sent\n\nThe E-Mail Has No Valid Recipient."},
        {"initial forms, memo template missing", true,
         [this] {
             sql(QStringLiteral("UPDATE settings SET CustomMemo = 'Gone.txt'"));
             data->ReadSettings();
             return true;
         },
         {}, "Cannot open file"},
        {"final forms, flow template missing", false,
         [this] { return QFile::remove(m_work.filePath(QStringLiteral("Flow.txt"))); }, {},
         "Error: E-Mail Not Sent\n\nCould Not Find File Attachment:Flow.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sql(QStringLiteral("UPDATE requisitions SET SendFirstData = 0, FinalSent = 0, EMailAddress = 'dept@example.com' "
                           "WHERE ReqNumber = 'MAIL1'"));
        ASSERT_TRUE(c.fault());
        const int before = smtp.messageCount();
        talk.clear();
        SendOperations send(*data, talk);
        const OperationResult r = c.initial ? send.SendInitialForms(QStringLiteral("MAIL1"))
                                            : send.SendFinalForms(QStringLiteral("MAIL1"));
        const char* field = c.initial ? "SendFirstData" : "FinalSent";
        EXPECT_EQ(flag(QStringLiteral("MAIL1"), field), !c.attached.isEmpty());
        EXPECT_FALSE(flag(QStringLiteral("MAIL1"), c.initial ? "FinalSent" : "SendFirstData"));
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
        if (c.told) {
            EXPECT_TRUE(r.isFailed());
            ASSERT_FALSE(talk.errors().isEmpty());
            EXPECT_TRUE(talk.errors().first().startsWith(QLatin1String(c.told))) << talk.errors().first().toStdString();
        } else {
            EXPECT_TRUE(r.isDone()) << talk.errors().join(QLatin1Char('|')).toStdString();
            ASSERT_TRUE(smtp.waitForMessages(before + 1));
            const QJsonObject m = smtp.message(before + 1);
            EXPECT_EQ(attachmentNames(m), c.attached);
            EXPECT_EQ(m.value(QStringLiteral("subject")).toString(),
                      (c.initial ? QStringLiteral("Initial Forms") : QStringLiteral("Final Forms")) +
                          QStringLiteral(" Req#: NURMAIL1 Nurse"));
        }
        ASSERT_TRUE(smtp.reset());
        EXPECT_EQ(smtp.messageCount(), before + (c.attached.isEmpty() ? 0 : 1));
        sql(QStringLiteral("UPDATE settings SET CustomMemo = 'Memo.txt'"));
        data->ReadSettings();
        writeDemoTemplates(m_work.path());
    }
}

// Initial forms of a web requisition rewrite its index page.
TEST_P(SendOpsTest, InitialFormsOfAWebRequisitionUploadItsIndexPage)
{
    const OperationResult r = SendOperations(*data, talk).SendInitialForms(QStringLiteral("WEB1"));
    EXPECT_TRUE(r.isDone()) << talk.errors().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(flag(QStringLiteral("WEB1"), "SendFirstData"));
    EXPECT_TRUE(ftp.exists(QStringLiteral("jobs/aaaaaaaa/index.htm")));
    EXPECT_TRUE(leftovers().isEmpty());
}

// ---------------------------------------------------------------- questions

TEST_P(SendOpsTest, TheQuestionsAndRefusalsBeforeAnythingGoes)
{
    const QString lines = QStringLiteral("\nRequisition: MAIL1 Nurse\nDepartment: Ward 6");
    mailApplications();
    // Selection criteria not submitted: told, nothing asked.
    sql(QStringLiteral("UPDATE requisitions SET SelectionCriteria = 0 WHERE ReqNumber = 'MAIL1'"));
    OperationResult r = SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("MAIL1"));
    EXPECT_TRUE(r.isFailed());
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Selection Criteria Has Not Been Submited For This Requisition.") + lines});
    EXPECT_TRUE(talk.questions().isEmpty());
    sql(QStringLiteral("UPDATE requisitions SET SelectionCriteria = 1 WHERE ReqNumber = 'MAIL1'"));

    // No to the confirmation.
    talk.clear();
    r = SendOperations(*data, talk).SendAllApplications(QStringLiteral("MAIL1"));
    EXPECT_TRUE(r.isDeclined());
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Send All Applications?") + lines});
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Operation Aborted")});

    // A requisition that is not there.
    talk.clear();
    EXPECT_TRUE(SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("NOPE")).isFailed());
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Requisition NOPE Was Not Found.")});

    // Initial forms never sent: offered first; No goes on without them, Yes sends
    // them as a message of their own before the applications.
    sql(QStringLiteral("UPDATE requisitions SET SendFirstData = 0 WHERE ReqNumber = 'MAIL1'"));
    talk.clear();
    talk.answer({false, true});
    EXPECT_TRUE(SendOperations(*data, talk).SendApplication(QStringLiteral("MAIL1"), QStringLiteral("A1")).isDone());
    EXPECT_EQ(talk.questions().first(),
              QStringLiteral("Initial Forms Have Not Been Sent To The Department, Do You Wish To Send Them?") + lines);
    EXPECT_EQ(talk.questions().last(), QStringLiteral("Are You Sure You Want To Send This Application?"));
    ASSERT_TRUE(smtp.waitForMessages(1));
    EXPECT_FALSE(flag(QStringLiteral("MAIL1"), "SendFirstData"));
    talk.clear();
    talk.answer({true, true});
    EXPECT_TRUE(SendOperations(*data, talk).SendApplication(QStringLiteral("MAIL1"), QStringLiteral("A5")).isDone());
    ASSERT_TRUE(smtp.waitForMessages(3));
    EXPECT_TRUE(smtp.message(2).value(QStringLiteral("subject")).toString().startsWith(QStringLiteral("Initial Forms")));
    expectDocuments(smtp.message(3), {QStringLiteral("A5")});
    EXPECT_TRUE(flag(QStringLiteral("MAIL1"), "SendFirstData"));

    // A document missing: named; Yes sends the others and dates only them, No sends
    // nothing; for one applicant the warning ends it.
    mailApplications();
    QFile::remove(document(QStringLiteral("A5")));
    const QString warning =
        QStringLiteral("Warning\n\nCould Not Find Applications For The  Following Applicants\nName of A5");
    talk.clear();
    talk.answer({true, false});
    EXPECT_TRUE(SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("MAIL1")).isDeclined());
    EXPECT_EQ(talk.questions().last(), warning + QStringLiteral("\n\nDo You Still Want To Send ?"));
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Operation Aborted")});
    EXPECT_EQ(dates(QStringLiteral("MAIL1")), mailDatesBefore());
    talk.clear();
    talk.answer({true, true});
    r = SendOperations(*data, talk).SendUnsentApplications(QStringLiteral("MAIL1"));
    EXPECT_TRUE(r.isDone());
    EXPECT_EQ(r.countOf(QStringLiteral("Documents Missing")), 1);
    ASSERT_TRUE(smtp.waitForMessages(4));
    expectDocuments(smtp.message(4), {QStringLiteral("A1")});
    QMap<QString, QString> expected = mailDatesBefore();
    expected[QStringLiteral("A1")] = kTodayStored;
    EXPECT_EQ(dates(QStringLiteral("MAIL1")), expected);
    talk.clear();
    talk.answer({true});
    EXPECT_TRUE(SendOperations(*data, talk).SendApplication(QStringLiteral("MAIL1"), QStringLiteral("A5")).isFailed());
    EXPECT_EQ(talk.errors(), QStringList{warning});
    EXPECT_EQ(talk.questions().size(), 1);

    // No e-mail address: nothing goes, whatever the answer.
    sql(QStringLiteral("UPDATE requisitions SET EMailAddress = NULL WHERE ReqNumber = 'MAIL1'"));
    for (bool yes : {true, false}) {
        talk.clear();
        talk.answer({true, true, yes});
        r = SendOperations(*data, talk).SendAllApplications(QStringLiteral("MAIL1"));
        EXPECT_EQ(talk.questions().last(), QStringLiteral("No E-Mail Address Has Been Defined For This Requisition, "
                                                          "Send Information To Printer?") +
                                               lines);
        EXPECT_EQ(talk.errors().last(), yes ? QStringLiteral("Warning, Applications Not Sent") : QStringLiteral("Operation Aborted"));
        EXPECT_EQ(yes ? r.isFailed() : r.isDeclined(), true);
    }
    EXPECT_EQ(dates(QStringLiteral("MAIL1")), expected);
    EXPECT_EQ(smtp.messageCount(), 4);
    EXPECT_TRUE(SendOperations(*data, talk).ResendApplications(QStringLiteral("MAIL1"), QStringLiteral("2026-11-05")).isFailed());
    EXPECT_EQ(talk.errors().last(), QStringLiteral("\"2026-11-05\" Is Not A Date (mm/dd/yyyy)."));
}

// All Jobs: the open requisitions of the groups that begin with the letters given,
// in any case, that have approved, scanned, unsent applications.
TEST_P(SendOpsTest, AllJobsSendsTheGroupsOpenRequisitionsWithNewApplications)
{
    requisition(QStringLiteral("NURS2"), QStringLiteral("NURS"), true, false, QStringLiteral("nurs@example.com"), QString());
    requisition(QStringLiteral("FILLED"), QStringLiteral("NUR"), true, false, QStringLiteral("f@example.com"), QString());
    sql(QStringLiteral("UPDATE requisitions SET PositionFilled = 1 WHERE ReqNumber = 'FILLED'"));
    requisition(QStringLiteral("IT1"), QStringLiteral("IT"), true, false, QStringLiteral("it@example.com"), QString());
    application(QStringLiteral("MAIL1"), QStringLiteral("G1"), true, QDate(), 100);
    application(QStringLiteral("MAIL1"), QStringLiteral("G2"), true, QDate(2026, 11, 1), 100);
    application(QStringLiteral("NURS2"), QStringLiteral("G3"), true, QDate(), 100);
    application(QStringLiteral("FILLED"), QStringLiteral("G4"), true, QDate(), 100);
    application(QStringLiteral("IT1"), QStringLiteral("G5"), true, QDate(), 100);

    talk.answer({true, true});
    const OperationResult r = SendOperations(*data, talk).SendNewApplicationsForGroup(QStringLiteral("nu"));
    EXPECT_TRUE(r.isDone()) << talk.errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(r.countOf(QStringLiteral("Requisitions Sent")), 2);
    EXPECT_EQ(r.countOf(QStringLiteral("Applications Sent")), 2);
    EXPECT_EQ(talk.questions().size(), 2) << "each requisition asks its own";
    ASSERT_TRUE(smtp.waitForMessages(2));
    EXPECT_EQ(smtp.messageCount(), 2);
    expectDocuments(smtp.message(1), {QStringLiteral("G1")});
    expectDocuments(smtp.message(2), {QStringLiteral("G3")});
    EXPECT_EQ(dates(QStringLiteral("FILLED")).value(QStringLiteral("G4")), QString());
    EXPECT_EQ(dates(QStringLiteral("IT1")).value(QStringLiteral("G5")), QString());

    talk.clear();
    EXPECT_TRUE(SendOperations(*data, talk).SendNewApplicationsForGroup(QStringLiteral("nu")).isDone());
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("No New Applications To Send")});
    EXPECT_TRUE(talk.questions().isEmpty());
}

MW_INSTANTIATE_BACKENDS(SendOpsTest);
