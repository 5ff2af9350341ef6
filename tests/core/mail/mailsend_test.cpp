// Sending mail to a real SMTP server on 127.0.0.1 (aiosmtpd), parsed as it arrived:
// the message's form, the split sets, the temporary copies, secure transport and
// every way the server or the files can fail.

#include "mail/mailsend.h"
#include "mail/mime.h"
#include "scriptedtalk.h"
#include "tmpdirscope.h"
#include "shared/platform.h"
#include "smtpserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>

#include <sys/mount.h>

using namespace mw;
using mwtest::ScriptedTalk;
using mwtest::TmpDirScope;
using mwtest::SmtpServer;

namespace {

QByteArray sha256(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(); }

class MailSendTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_base.isValid()); }

    MailServer serverOf(const SmtpServer& s, int timeout = 10)
    {
        MailServer m;
        m.host = s.host();
        m.port = s.port();
        m.timeoutSeconds = timeout;
        return m;
    }
    // A file of the given size and name in a directory of its own.
    QString file(const QString& name, qint64 size, const QString& sub = QStringLiteral("files"))
    {
        const QString dir = m_base.filePath(sub);
        QDir().mkpath(dir);
        QByteArray bytes(size, '\0');
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + size) % 251);
        QFile f(dir + QLatin1Char('/') + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void fill(MailSend& m, const QString& to = QStringLiteral("dept@example.com"))
    {
        m.Message.Subject = QStringLiteral("Requisition 004411");
        m.Message.FromAddress = QStringLiteral("hr@example.com");
        m.Message.FromName = QStringLiteral("Jane Smith");
        m.Message.ToAddresses = to;
        m.Message.addLine(QStringLiteral("Applications attached."));
    }
    QStringList copiesIn(const QString& tempPath) const
    {
        return QDir(tempPath).entryList({QStringLiteral("send-*")}, QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_base;
    QTemporaryDir m_tmp;
    TmpDirScope m_tmpdir{m_tmp.path()};
    ScriptedTalk talk;
};

QStringList attachmentNames(const QJsonObject& message)
{
    QStringList names;
    for (const QJsonValue& a : message.value(QStringLiteral("attachments")).toArray())
        names << a.toObject().value(QStringLiteral("filename")).toString();
    return names;
}

} // namespace

// Imported titles and names never break the header, text that is not ASCII
// arrives as it was, the date carries the real zone and long HTML lines are kept
// under the limit of the wire.
TEST_F(MailSendTest, TheMessageIsSafeAndReadsAsWritten)
{
    // A zone of this machine that no fixed text would give.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "IST-5:30");
    ::tzset();
    SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    MailSend m(serverOf(server), talk);
    fill(m, QStringLiteral("dept@example.com, \"boss@example.com\" dept@example.com"));
    m.Message.Subject = QStringLiteral("Pflegefachkraft Zürich\r\nBcc: victim@example.com");
    m.Message.FromName = QStringLiteral("José Müller\nX-Injected: yes");
    m.Message.AsHTML = true;
    m.Message.Body = {QStringLiteral("<p>") + QString(3000, QLatin1Char('x')) + QStringLiteral("</p>"),
                      QStringLiteral("Grüße, 東京")};
    const bool sent = m.Send();
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    ::tzset();
    ASSERT_TRUE(sent) << m.ErrorText.toStdString();
    ASSERT_TRUE(server.waitForMessages(1));
    const QJsonObject got = server.message(1);

    EXPECT_EQ(got.value(QStringLiteral("subject")).toString(), QStringLiteral("Pflegefachkraft Zürich  Bcc: victim@example.com"));
    EXPECT_EQ(got.value(QStringLiteral("from")).toString(), QStringLiteral("\"José Müller X-Injected: yes\" <hr@example.com>"));
    QStringList headerNames;
    for (const QJsonValue& h : got.value(QStringLiteral("headers")).toArray())
        headerNames << h.toArray().at(0).toString().toLower();
    EXPECT_FALSE(headerNames.contains(QStringLiteral("bcc")));
    EXPECT_FALSE(headerNames.contains(QStringLiteral("x-injected")));
    EXPECT_EQ(got.value(QStringLiteral("rcpt_tos")).toArray().size(), 2) << "a duplicate went twice";
    EXPECT_EQ(got.value(QStringLiteral("defects")).toArray().size(), 0);
    EXPECT_LE(got.value(QStringLiteral("max_line_length")).toInt(), 998);
    EXPECT_EQ(got.value(QStringLiteral("body_type")).toString(), QStringLiteral("html"));
    EXPECT_TRUE(got.value(QStringLiteral("body_text")).toString().contains(QStringLiteral("Grüße, 東京")));
    EXPECT_TRUE(got.value(QStringLiteral("body_text")).toString().contains(QString(3000, QLatin1Char('x'))));
    // The raw Subject is encoded, not 8-bit.
    EXPECT_FALSE(server.raw(1).contains("Zürich"));
    EXPECT_TRUE(got.value(QStringLiteral("date")).toString().endsWith(QStringLiteral(" +0530")))
        << got.value(QStringLiteral("date")).toString().toStdString();
    EXPECT_TRUE(talk.errors().isEmpty());
}

TEST(MailAddresses, OnlyPlainAddressesPass)
{
    const struct
    {
        const char* address;
        bool valid;
    } cases[] = {
        {"dept@example.com", true}, {"a.b+c@sub.example.org", true}, {"nobody", false},
        {"@example.com", false},    {"dept@", false},                {"a@b@c", false},
        {"dept@example.com\r\nBcc: x@y", false}, {"dept @example.com", false}, {"<dept@example.com>", false},
        {"dept@exa\tmple.com", false}, {"jürgen@example.com", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mime::isValidAddress(QString::fromUtf8(c.address)), c.valid) << c.address;
}

// Attachments arrive byte for byte under their own names, from copies made for
// this send alone: a stale file of the same name is not sent, two files of one
// name stay two, and nothing but the copies is deleted.
TEST_F(MailSendTest, AttachmentsAreCopiedForThisSendAndArriveWhole)
{
    SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    const QString tempPath = mw::TempPath();
    const QString a = file(QStringLiteral("Flow.xls"), 70000, QStringLiteral("one"));
    const QString b = file(QStringLiteral("Flow.xls"), 1234, QStringLiteral("two"));
    const QString c = file(QStringLiteral("Lebenslauf Müller.pdf"), 5000);
    // A file the department writer made in the temporary directory, and a stale
    // copy of the first file left there by an earlier run.
    QFile generated(tempPath + QStringLiteral("memo.txt"));
    ASSERT_TRUE(generated.open(QIODevice::WriteOnly));
    generated.write("memo");
    generated.close();
    QFile stale(tempPath + QStringLiteral("Flow.xls"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("stale");
    stale.close();

    MailSend m(serverOf(server), talk);
    fill(m);
    m.Message.AsHTML = true;
    m.Message.Attachments = {a, b, c, generated.fileName()};
    ASSERT_TRUE(m.Send()) << m.ErrorText.toStdString();
    ASSERT_TRUE(server.waitForMessages(1));
    const QJsonObject got = server.message(1);
    EXPECT_EQ(got.value(QStringLiteral("body_type")).toString(), QStringLiteral("plain")) << "attachments go with plain text";
    EXPECT_EQ(attachmentNames(got), (QStringList{QStringLiteral("Flow.xls"), QStringLiteral("Flow.xls"),
                                                 QStringLiteral("Lebenslauf Müller.pdf"), QStringLiteral("memo.txt")}));
    const QJsonArray atts = got.value(QStringLiteral("attachments")).toArray();
    const QStringList originals{a, b, c, generated.fileName()};
    for (int i = 0; i < originals.size(); ++i)
        EXPECT_EQ(atts.at(i).toObject().value(QStringLiteral("sha256")).toString().toLatin1(), sha256(contents(originals.at(i))))
            << originals.at(i).toStdString();
    EXPECT_TRUE(QFile::exists(generated.fileName())) << "an original in the temporary directory was deleted";
    EXPECT_TRUE(QFile::exists(stale.fileName()));
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_TRUE(copiesIn(tempPath).isEmpty()) << "copies left behind";
}

// A budget per message: sets in order, a file too big for any set goes alone,
// every set carries the restriction lines, and a budget without attachments still
// sends the one message.
TEST_F(MailSendTest, AttachmentSetsFollowTheBudget)
{
    const struct
    {
        qint64 maxBytes;
        QList<qint64> sizes;
        QList<QList<int>> sets; // file indexes per message
    } cases[] = {
        {1000, {600, 300, 200, 1500}, {{0, 1}, {2}, {3}}},
        {500, {700}, {{0}}},
        {1000, {400, 600, 10}, {{0, 1}, {2}}},
        {1000, {}, {{}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "budget " << c.maxBytes << ", " << c.sizes.size() << " files");
        SmtpServer server;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        MailSend m(serverOf(server), talk);
        fill(m);
        m.Message.MaxBytes = c.maxBytes;
        QStringList paths;
        for (int i = 0; i < c.sizes.size(); ++i)
            paths << file(QStringLiteral("f%1.bin").arg(i), c.sizes.at(i));
        m.Message.Attachments = paths;
        ASSERT_TRUE(m.Send()) << m.ErrorText.toStdString();
        ASSERT_TRUE(server.waitForMessages(int(c.sets.size())));
        EXPECT_EQ(server.messageCount(), c.sets.size());
        for (int s = 0; s < c.sets.size(); ++s) {
            const QJsonObject got = server.message(s + 1);
            QStringList expected;
            for (int i : c.sets.at(s))
                expected << QStringLiteral("f%1.bin").arg(i);
            EXPECT_EQ(attachmentNames(got), expected) << "set " << s;
            if (c.sizes.isEmpty()) {
                EXPECT_EQ(got.value(QStringLiteral("subject")).toString(), QStringLiteral("Requisition 004411"));
                continue;
            }
            EXPECT_EQ(got.value(QStringLiteral("subject")).toString(),
                      QStringLiteral("Requisition 004411 Attachment Set: %1").arg(s));
            EXPECT_TRUE(got.value(QStringLiteral("body_text"))
                            .toString()
                            .startsWith(QStringLiteral("Your Site Has Restricted The Number Of Files You Can Receive "
                                                       "To: %1 Bytes\nYou Will Receive Multiple Messages Until All "
                                                       "The Files Have Been Sent.\nApplications attached.")
                                            .arg(c.maxBytes)));
        }
    }
}

// Recipients without a usable address are dropped and named; a message left with
// nobody is not sent, and the caller sees so.
TEST_F(MailSendTest, RecipientsWithoutAUsableAddressAreDropped)
{
    SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    {
        MailSend m(serverOf(server), talk);
        fill(m, QStringLiteral("dept@example.com,nobody,\"a@b\r\nRCPT TO:<x@y>\""));
        ASSERT_TRUE(m.Send()) << m.ErrorText.toStdString();
        ASSERT_EQ(talk.errors().size(), 1);
        EXPECT_TRUE(talk.errors().first().startsWith(
            QStringLiteral("The message with the subject:\nRequisition 004411 Has Failed\n\nThe following addresses "
                           "are invalid and have been removed:\n\nnobody\n")));
        ASSERT_TRUE(server.waitForMessages(1));
        EXPECT_EQ(server.message(1).value(QStringLiteral("rcpt_tos")).toArray().size(), 1);
    }
    for (const char* to : {"", "nobody, also-nobody"}) {
        MailSend m(serverOf(server), talk);
        fill(m, QString::fromLatin1(to));
        EXPECT_FALSE(m.Send()) << "a message to nobody reported as sent";
        EXPECT_EQ(m.messagesSent(), 0);
    }
    EXPECT_EQ(server.messageCount(), 1);
}

// Every way the server or the files can fail: the failure's line and the server's
// own reply, Sent false, the copies gone, nothing sent again by itself.
TEST_F(MailSendTest, FailuresAreToldWithTheServersReplyAndLeaveNothingBehind)
{
    const struct
    {
        const char* name;
        std::function<bool(SmtpServer&)> fault;
        QString to;
        bool missingAttachment;
        const char* line;      // the line the error text starts with
        const char* reply;     // part of the server's reply it names
        int delivered;         // messages the server kept
    } cases[] = {
        {"server down", [](SmtpServer& s) { return s.refuseConnections(); }, QString(), false,
         "Could Not Connect To Mail Server.", "", 0},
        {"no greeting", [](SmtpServer& s) { return s.silentGreeting(); }, QString(), false,
         "Could Not Connect To Mail Server.", "", 0},
        {"sender refused for now", [](SmtpServer& s) { return s.refuseSender(451); }, QString(), false,
         "The E-Mail Could Not Be Sent to The Mail Server.", "451", 0},
        {"sender refused", [](SmtpServer& s) { return s.refuseSender(550); }, QString(), false,
         "The E-Mail Could Not Be Sent to The Mail Server.", "550", 0},
        {"one recipient refused", [](SmtpServer& s) { return s.refuseRecipient(QStringLiteral("gone@example.com")); },
         QStringLiteral("dept@example.com,gone@example.com"), false,
         "Could Not Find Recipent gone@example.com On Mail Server.", "550 5.1.1", 1},
        {"every recipient refused", [](SmtpServer& s) { return s.refuseRecipient(QStringLiteral("dept@example.com")); },
         QString(), false, "Could Not Find Recipent dept@example.com On Mail Server.", "550 5.1.1", 0},
        {"dropped during data", [](SmtpServer& s) { return s.dropDuringData(20000); }, QString(), false,
         "The E-Mail Could Not Be Sent to The Mail Server.", "", 0},
        {"too big", [](SmtpServer& s) { return s.sizeLimit(10000); }, QString(), false,
         "The E-Mail Could Not Be Sent to The Mail Server.", "552", 0},
        {"attachment missing", [](SmtpServer&) { return true; }, QString(), true,
         "Could Not Find File Attachment:gone.pdf", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpServer server;
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        ASSERT_TRUE(c.fault(server));
        ScriptedTalk told;
        MailSend m(serverOf(server, 2), told);
        fill(m, c.to.isEmpty() ? QStringLiteral("dept@example.com") : c.to);
        m.Message.Attachments = {file(QStringLiteral("big.bin"), 60000)};
        if (c.missingAttachment)
            m.Message.Attachments << m_base.filePath(QStringLiteral("gone.pdf"));
        EXPECT_FALSE(m.Send());
        EXPECT_TRUE(m.ErrorText.startsWith(QLatin1String(c.line))) << m.ErrorText.toStdString();
        EXPECT_TRUE(m.ErrorText.contains(QLatin1String(c.reply))) << m.ErrorText.toStdString();
        ASSERT_EQ(told.errors().size(), 1);
        EXPECT_EQ(told.errors().first(), QStringLiteral("Error: E-Mail Not Sent\n\n") + m.ErrorText);
        EXPECT_TRUE(copiesIn(mw::TempPath()).isEmpty());
        server.reset();
        if (c.delivered > 0) {
            ASSERT_TRUE(server.waitForMessages(c.delivered));
        }
        EXPECT_EQ(server.messageCount(), c.delivered) << "sent again, or not at all";
    }
}

// Secure transport: STARTTLS required with AUTH, TLS from the start, a certificate
// that does not verify, a wrong password that never shows.
TEST_F(MailSendTest, SecureTransportAndLogin)
{
    using Tls = mwtest::SmtpServerOptions::Tls;
    const struct
    {
        const char* name;
        Tls tls;
        MailSecurity security;
        bool rightCa;
        const char* password;
        const char* line; // empty: delivered
    } cases[] = {
        {"STARTTLS with login", Tls::StartTls, MailSecurity::StartTls, true, "s3cret!", ""},
        {"TLS from the start", Tls::Implicit, MailSecurity::Tls, true, "s3cret!", ""},
        {"certificate of another authority", Tls::Implicit, MailSecurity::Tls, false, "s3cret!",
         "Could Not Connect To Mail Server. (the mail server's certificate could not be verified"},
        {"wrong password", Tls::StartTls, MailSecurity::StartTls, true, "guess-ME-42",
         "Could Not Authenticate Your User ID."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpServer server({c.tls, c.tls == Tls::StartTls, QStringLiteral("mailer"), QStringLiteral("s3cret!")});
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        MailServer settings = serverOf(server);
        settings.host = QStringLiteral("localhost");
        settings.security = c.security;
        settings.user = QStringLiteral("mailer");
        settings.password = QLatin1String(c.password);
        settings.caFile = c.rightCa ? server.caFile() : server.otherCaFile();
        ScriptedTalk told;
        MailSend m(settings, told);
        fill(m);
        const bool sent = m.Send();
        if (*c.line == '\0') {
            ASSERT_TRUE(sent) << m.ErrorText.toStdString();
            ASSERT_TRUE(server.waitForMessages(1));
            EXPECT_TRUE(server.message(1).value(QStringLiteral("tls")).toBool());
            EXPECT_EQ(server.message(1).value(QStringLiteral("auth_user")).toString(), QStringLiteral("mailer"));
        } else {
            EXPECT_FALSE(sent);
            EXPECT_TRUE(m.ErrorText.startsWith(QLatin1String(c.line))) << m.ErrorText.toStdString();
            EXPECT_FALSE(m.ErrorText.contains(QLatin1String(c.password)));
            EXPECT_EQ(server.messageCount(), 0);
        }
    }
}

// Cancel while the server keeps the client waiting: not sent, told as cancelled.
TEST_F(MailSendTest, CancelStopsASendThatWaits)
{
    SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    ASSERT_TRUE(server.silentGreeting());
    talk.cancelAfter(3);
    MailSend m(serverOf(server, 300), talk);
    fill(m);
    EXPECT_FALSE(m.Send());
    EXPECT_TRUE(m.ErrorText.startsWith(QStringLiteral("Sending Was Cancelled."))) << m.ErrorText.toStdString();
}

// The disk of the temporary directory fills while the attachments are copied: the
// file system's reason is told, nothing is sent and the partial copies go.
TEST_F(MailSendTest, ADiskThatFillsWhileCopyingStopsTheSend)
{
    QTemporaryDir small;
    if (::mount("tmpfs", QFile::encodeName(small.path()).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small file system needs mount rights";
    SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    {
        TmpDirScope full(small.path());
        MailSend m(serverOf(server), talk);
        fill(m);
        m.Message.Attachments = {file(QStringLiteral("small.pdf"), 1000), file(QStringLiteral("large.pdf"), 200000)};
        EXPECT_FALSE(m.Send());
        EXPECT_TRUE(m.ErrorText.contains(QStringLiteral("large.pdf"))) << m.ErrorText.toStdString();
        EXPECT_TRUE(m.ErrorText.contains(QStringLiteral("No space left on device"))) << m.ErrorText.toStdString();
        EXPECT_TRUE(copiesIn(mw::TempPath()).isEmpty());
    }
    EXPECT_EQ(::umount2(QFile::encodeName(small.path()).constData(), MNT_DETACH), 0);
    EXPECT_EQ(server.messageCount(), 0);
}
