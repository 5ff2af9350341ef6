// The test SMTP server, spoken to by hand over QSslSocket: what it stores, the faults it
// plays, TLS and AUTH.
#include "smtpserver.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <memory>
#include <optional>
#include <vector>

namespace {

using mwtest::SmtpServer;
using Tls = SmtpServer::Options::Tls;

// gtest_main makes no QCoreApplication; the process and the sockets want one.
class QtApplication : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (!QCoreApplication::instance())
            app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

private:
    int argc = 1;
    char name[20] = "smtpserver_selftest";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
};
[[maybe_unused]] ::testing::Environment* const qtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

constexpr int kNoReply = -1; // nothing came within the wait
constexpr int kClosed = -2;  // the server closed the connection without a reply
constexpr int kReplyMs = 10000;

// One SMTP session typed by hand.
class Client
{
public:
    // Connects, with TLS from the first byte when tlsCa is set (trusting that CA only).
    bool connect(const SmtpServer& server, const QString& tlsCa = {})
    {
        if (tlsCa.isEmpty()) {
            socket.connectToHost(server.host(), server.port());
            return socket.waitForConnected(kReplyMs);
        }
        trust(tlsCa);
        socket.connectToHostEncrypted(server.host(), server.port());
        return socket.waitForEncrypted(kReplyMs);
    }

    bool startTls(const QString& ca)
    {
        trust(ca);
        socket.startClientEncryption();
        return socket.waitForEncrypted(kReplyMs);
    }

    // Reads one whole reply (all its lines into text); gives its code, kNoReply or kClosed.
    int reply(int ms = kReplyMs)
    {
        text.clear();
        for (;;) {
            while (socket.canReadLine()) {
                const QByteArray line = socket.readLine();
                text += line;
                if (line.size() < 4 || line.at(3) != '-')
                    return line.left(3).toInt();
            }
            if (socket.state() != QAbstractSocket::ConnectedState)
                return text.isEmpty() ? kClosed : kNoReply;
            if (!socket.waitForReadyRead(ms) && socket.state() == QAbstractSocket::ConnectedState)
                return kNoReply;
        }
    }

    int send(const QByteArray& line, int ms = kReplyMs)
    {
        socket.write(line + "\r\n");
        return reply(ms);
    }

    QSslSocket socket;
    QByteArray text;

private:
    void trust(const QString& ca)
    {
        QSslConfiguration config = socket.sslConfiguration();
        config.setCaCertificates(QSslCertificate::fromPath(ca));
        socket.setSslConfiguration(config);
    }
};

// A JSON value as compact text, for readable comparisons.
std::string compact(const QJsonValue& value)
{
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1).toStdString();
}

const QByteArray kSimpleMessage = "From: <a@example.org>\r\nTo: <b@example.org>\r\nSubject: simple\r\n\r\nHello\r\n.";

// A whole transaction after the greeting; gives the code of the last step that did not go as
// expected, or 250 when the message was taken.
int deliver(Client& client, const QByteArray& message = kSimpleMessage)
{
    for (const auto& [line, expected] : std::vector<std::pair<QByteArray, int>>{
             {"EHLO client.test", 250},
             {"MAIL FROM:<a@example.org>", 250},
             {"RCPT TO:<b@example.org>", 250},
             {"DATA", 354},
             {message, 250}}) {
        const int code = client.send(line);
        if (code != expected)
            return code;
    }
    return 250;
}

TEST(SmtpServer, storesWhatItReceivesWithASummary)
{
    std::optional<SmtpServer> server(std::in_place);
    ASSERT_TRUE(server->ok()) << server->error().toStdString();
    EXPECT_FALSE(server->command(QStringLiteral("no-such-fault")));

    QByteArray payload;
    for (int i = 0; i < 256; ++i)
        payload += static_cast<char>(i);
    const QByteArray encoded = payload.toBase64();
    QByteArray base64;
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        base64 += encoded.mid(i, 76) + "\r\n";
    const QByteArray message = "From: Sender <sender@example.org>\r\n"
                               "To: Receiver <receiver@example.org>\r\n"
                               "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n"
                               "Date: Mon, 01 Jan 2024 10:00:00 +0000\r\n"
                               "MIME-Version: 1.0\r\n"
                               "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
                               "\r\n"
                               "--b1\r\n"
                               "Content-Type: text/plain; charset=utf-8\r\n"
                               "\r\n"
                               "Hello\r\n"
                               ".a line that starts with a dot\r\n"
                               "--b1\r\n"
                               "Content-Type: application/octet-stream\r\n"
                               "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
                               "Content-Transfer-Encoding: base64\r\n"
                               "\r\n" +
                               base64 + "--b1--\r\n";
    QByteArray onTheWire = message;
    onTheWire.replace("\r\n.", "\r\n..");

    Client client;
    ASSERT_TRUE(client.connect(*server));
    ASSERT_EQ(client.reply(), 220);
    ASSERT_EQ(client.send("EHLO client.test"), 250);
    EXPECT_FALSE(client.text.contains("AUTH") || client.text.contains("STARTTLS")) << client.text.constData();
    for (const auto& [line, expected] : std::vector<std::pair<QByteArray, int>>{
             {"MAIL FROM:<sender@example.org>", 250},
             {"RCPT TO:<receiver@example.org>", 250},
             {"RCPT TO:<copy@example.org>", 250},
             {"DATA", 354},
             {onTheWire + ".", 250}})
        ASSERT_EQ(client.send(line), expected) << line.constData() << "\n" << client.text.constData();

    ASSERT_TRUE(server->waitForMessages(1));
    EXPECT_EQ(server->messageCount(), 1);
    EXPECT_EQ(server->raw(1), message);
    const QJsonObject summary = server->message(1);
    const std::string sha256 = QCryptographicHash::hash(payload, QCryptographicHash::Sha256).toHex().toStdString();
    for (const auto& [field, expected] : std::vector<std::pair<const char*, std::string>>{
             {"subject", R"("Grüße")"},
             {"from", R"("Sender <sender@example.org>")"},
             {"mail_from", R"("sender@example.org")"},
             {"rcpt_tos", R"(["receiver@example.org","copy@example.org"])"},
             {"body_text", R"("Hello\n.a line that starts with a dot")"},
             {"body_type", R"("plain")"},
             {"attachments", R"([{"filename":"data.bin","sha256":")" + sha256 + R"(","size":256}])"},
             {"defects", "[]"},
             {"max_line_length", "76"},
             {"tls", "false"},
             {"auth_user", "null"}})
        EXPECT_EQ(compact(summary.value(QLatin1String(field))), expected) << field;
    EXPECT_TRUE(server->messages() == QList<QJsonObject>{summary});

    // Gone with its object.
    const quint16 port = server->port();
    server.reset();
    QTcpSocket late;
    late.connectToHost(QStringLiteral("127.0.0.1"), port);
    EXPECT_FALSE(late.waitForConnected(kReplyMs));
}

struct Step
{
    QByteArray send; // empty: only read
    int expected;
    QByteArray replyHas = {};
};

struct FaultCase
{
    const char* name;
    std::function<bool(SmtpServer&)> arm;
    bool refused; // connections are refused while the fault holds
    std::vector<Step> steps;
};

void PrintTo(const FaultCase& fault, std::ostream* out)
{
    *out << fault.name;
}

const QByteArray kBigMessage = "Subject: big\r\n\r\n" + QByteArray(200, 'x') + "\r\n.";

const std::vector<Step> kUpToData = {{"", 220},
                                     {"EHLO client.test", 250},
                                     {"MAIL FROM:<a@example.org>", 250},
                                     {"RCPT TO:<b@example.org>", 250},
                                     {"DATA", 354}};

std::vector<Step> upToData(std::vector<Step> more)
{
    std::vector<Step> steps = kUpToData;
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

const FaultCase kFaults[] = {
    {"GreetingSilent", &SmtpServer::silentGreeting, false, {{"", kNoReply}}},
    {"RefuseConnections", &SmtpServer::refuseConnections, true, {}},
    {"Sender451",
     [](SmtpServer& s) { return s.refuseSender(451); },
     false,
     {{"", 220}, {"EHLO client.test", 250}, {"MAIL FROM:<a@example.org>", 451}}},
    {"Sender550",
     [](SmtpServer& s) { return s.refuseSender(550); },
     false,
     {{"", 220}, {"EHLO client.test", 250}, {"MAIL FROM:<a@example.org>", 550}}},
    {"RefuseRecipient",
     [](SmtpServer& s) { return s.refuseRecipient(QStringLiteral("no@example.org")); },
     false,
     {{"", 220},
      {"EHLO client.test", 250},
      {"MAIL FROM:<a@example.org>", 250},
      {"RCPT TO:<no@example.org>", 550, "no@example.org"},
      {"RCPT TO:<yes@example.org>", 250}}},
    {"SizeLimit",
     [](SmtpServer& s) { return s.sizeLimit(100); },
     false,
     {{"", 220},
      {"EHLO client.test", 250, "SIZE 100"},
      {"MAIL FROM:<a@example.org> SIZE=101", 552},
      {"MAIL FROM:<a@example.org> SIZE=100", 250},
      {"RCPT TO:<b@example.org>", 250},
      {"DATA", 354},
      {kBigMessage, 552}}},
    {"DropDuringData",
     [](SmtpServer& s) { return s.dropDuringData(64); },
     false,
     upToData({{kBigMessage, kClosed}})},
};

class SmtpServerFault : public ::testing::TestWithParam<FaultCase>
{
};

TEST_P(SmtpServerFault, isPlayedUntilReset)
{
    const FaultCase& fault = GetParam();
    SmtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    ASSERT_TRUE(fault.arm(server)) << server.error().toStdString();

    {
        Client client;
        const bool connected = client.connect(server);
        ASSERT_EQ(connected, !fault.refused) << client.socket.errorString().toStdString();
        for (const Step& step : fault.steps) {
            const int wait = step.expected == kNoReply ? 2000 : kReplyMs;
            const int code = step.send.isEmpty() ? client.reply(wait) : client.send(step.send, wait);
            EXPECT_EQ(code, step.expected) << step.send.left(40).constData() << "\n" << client.text.constData();
            EXPECT_TRUE(client.text.contains(step.replyHas)) << client.text.constData();
        }
    }
    EXPECT_EQ(server.messageCount(), 0);

    // Everything as usual again, on the same port.
    ASSERT_TRUE(server.reset()) << server.error().toStdString();
    Client client;
    ASSERT_TRUE(client.connect(server)) << client.socket.errorString().toStdString();
    ASSERT_EQ(client.reply(), 220);
    EXPECT_EQ(deliver(client, kBigMessage), 250) << client.text.constData();
    EXPECT_EQ(server.messageCount(), 1);
}

std::string faultName(const ::testing::TestParamInfo<FaultCase>& fault)
{
    return fault.param.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, SmtpServerFault, ::testing::ValuesIn(kFaults), faultName);

TEST(SmtpServerTls, implicitTlsIsTrustedThroughItsOwnCaOnly)
{
    SmtpServer server({.tls = Tls::Implicit});
    ASSERT_TRUE(server.ok()) << server.error().toStdString();

    Client stranger;
    EXPECT_FALSE(stranger.connect(server, server.otherCaFile()));
    EXPECT_FALSE(stranger.socket.sslHandshakeErrors().isEmpty());

    Client client;
    ASSERT_TRUE(client.connect(server, server.caFile())) << client.socket.errorString().toStdString();
    ASSERT_EQ(client.reply(), 220);
    ASSERT_EQ(deliver(client), 250) << client.text.constData();
    EXPECT_TRUE(server.message(1).value(QStringLiteral("tls")).toBool());
}

TEST(SmtpServerTls, startTlsIsOfferedAndRequired)
{
    SmtpServer server({.tls = Tls::StartTls, .requireTls = true});
    ASSERT_TRUE(server.ok()) << server.error().toStdString();

    Client client;
    ASSERT_TRUE(client.connect(server));
    ASSERT_EQ(client.reply(), 220);
    ASSERT_EQ(client.send("EHLO client.test"), 250);
    EXPECT_TRUE(client.text.contains("STARTTLS")) << client.text.constData();
    EXPECT_EQ(client.send("MAIL FROM:<a@example.org>"), 530);
    ASSERT_EQ(client.send("STARTTLS"), 220);
    ASSERT_TRUE(client.startTls(server.caFile())) << client.socket.errorString().toStdString();
    ASSERT_EQ(deliver(client), 250) << client.text.constData();
    EXPECT_TRUE(server.message(1).value(QStringLiteral("tls")).toBool());
}

TEST(SmtpServerAuth, acceptsOnlyItsCredentials)
{
    const QByteArray user = "mailer";
    const QByteArray password = "s3cret pass";
    SmtpServer server({.authUser = QString::fromLatin1(user), .authPassword = QString::fromLatin1(password)});
    ASSERT_TRUE(server.ok()) << server.error().toStdString();

    const struct
    {
        QByteArray mechanism;
        QByteArray password;
        int expected;
    } cases[] = {
        {"PLAIN", "wrong", 535},
        {"PLAIN", password, 235},
        {"LOGIN", "wrong", 535},
        {"LOGIN", password, 235},
    };
    int delivered = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mechanism.constData() + std::string(" ") + c.password.constData());
        Client client;
        ASSERT_TRUE(client.connect(server));
        ASSERT_EQ(client.reply(), 220);
        ASSERT_EQ(client.send("EHLO client.test"), 250);
        EXPECT_TRUE(client.text.contains("250-AUTH LOGIN PLAIN\r\n")) << client.text.constData();
        EXPECT_EQ(client.send("MAIL FROM:<a@example.org>"), 530);
        int code = 0;
        if (c.mechanism == "PLAIN") {
            code = client.send("AUTH PLAIN " + ('\0' + user + '\0' + c.password).toBase64());
        } else {
            EXPECT_EQ(client.send("AUTH LOGIN"), 334);
            EXPECT_EQ(client.send(user.toBase64()), 334);
            code = client.send(c.password.toBase64());
        }
        EXPECT_EQ(code, c.expected) << client.text.constData();
        if (code == 235) {
            ASSERT_EQ(deliver(client), 250) << client.text.constData();
            EXPECT_EQ(server.message(++delivered).value(QStringLiteral("auth_user")).toString(),
                      QString::fromLatin1(user));
        }
    }
    EXPECT_EQ(server.messageCount(), 2);
}

} // namespace
