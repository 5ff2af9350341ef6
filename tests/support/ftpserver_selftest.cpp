// The test FTP server, spoken to with the curl command-line tool: uploads in every data mode and
// their HTTP view, the faults it plays, explicit and implicit TLS.
#include "ftpserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>

namespace {

using mwtest::FtpServer;
using Tls = FtpServer::Options::Tls;

// gtest_main makes no QCoreApplication; the processes and the HTTP client want one.
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
    char name[20] = "ftpserver_selftest";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
};
[[maybe_unused]] ::testing::Environment* const qtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

// curl's exit codes.
constexpr int kCurlOk = 0;
constexpr int kCurlCannotConnect = 7;
constexpr int kCurlMkdRefused = 9;
constexpr int kCurlBadDataConnection = 13;
constexpr int kCurlPartialFile = 18; // also: the reply after the data was not 226
constexpr int kCurlUploadRefused = 25;
constexpr int kCurlSendFailed = 55;
constexpr int kCurlReceiveFailed = 56;
constexpr int kCurlBadCertificate = 60;
constexpr int kCurlLoginDenied = 67;
constexpr int kAnyReply = -1;

struct Curl
{
    int exit = -1; // curl's exit code, -1 when it did not run to its end
    int reply = 0; // the last FTP reply code it received, 0 for none
    QString log;   // its error messages

    friend std::ostream& operator<<(std::ostream& out, const Curl& curl)
    {
        return out << "curl exit " << curl.exit << ", reply " << curl.reply << ": " << curl.log.toStdString();
    }
};

// Uploads the payload to path (relative to the server's root, directories made as needed).
class Uploader
{
public:
    Uploader()
    {
        for (int i = 0; i < 300000; ++i)
            payload += static_cast<char>((i * 7919LL + i / 251) % 256);
        QFile file(dir.filePath(QStringLiteral("payload.bin")));
        if (file.open(QIODevice::WriteOnly))
            file.write(payload);
    }

    Curl upload(const FtpServer& server, const QString& path, const QStringList& flags = {},
                const char* scheme = "ftp") const
    {
        const QString url = QStringLiteral("%1://%2:%3/%4")
                                .arg(QLatin1String(scheme), server.host())
                                .arg(server.port())
                                .arg(path);
        QProcess curl;
        curl.start(QStringLiteral("/usr/bin/curl"),
                   QStringList{QStringLiteral("-q"), QStringLiteral("--silent"),
                               QStringLiteral("--show-error"), QStringLiteral("--noproxy"),
                               QStringLiteral("*"), QStringLiteral("--max-time"), QStringLiteral("60"),
                               QStringLiteral("--user"), server.user() + QLatin1Char(':') + server.password(),
                               QStringLiteral("--write-out"), QStringLiteral("%{response_code}"),
                               QStringLiteral("--ftp-create-dirs"), QStringLiteral("--upload-file"),
                               dir.filePath(QStringLiteral("payload.bin"))} +
                       flags + QStringList{url});
        Curl result;
        if (!curl.waitForStarted(10000) || !curl.waitForFinished(90000)) {
            result.log = QStringLiteral("curl did not run to its end: ") + curl.errorString();
            curl.kill();
            curl.waitForFinished(5000);
            return result;
        }
        if (curl.exitStatus() == QProcess::NormalExit)
            result.exit = curl.exitCode();
        result.reply = curl.readAllStandardOutput().trimmed().toInt();
        result.log = QString::fromLocal8Bit(curl.readAllStandardError()).trimmed();
        return result;
    }

    QTemporaryDir dir;
    QByteArray payload;
};

TEST(FtpServer, uploadsLandWholeInEveryDataModeAndShowOverHttp)
{
    std::optional<FtpServer> server(FtpServer::Options{.http = true});
    ASSERT_TRUE(server->ok()) << server->error().toStdString();
    EXPECT_FALSE(server->command(QStringLiteral("no-such-fault")));
    EXPECT_EQ(server->logins(), 0);

    const Uploader uploader;
    const struct
    {
        const char* name;
        QStringList flags;
    } modes[] = {
        {"epsv", {}},
        {"pasv", {QStringLiteral("--disable-epsv")}},
        {"eprt", {QStringLiteral("--ftp-port"), QStringLiteral("127.0.0.1")}},
        {"port",
         {QStringLiteral("--ftp-port"), QStringLiteral("127.0.0.1"), QStringLiteral("--disable-eprt")}},
    };
    QStringList names;
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.name);
        const QString name = QLatin1String(mode.name) + QStringLiteral(".bin");
        names << name;
        const Curl curl = uploader.upload(*server, QStringLiteral("in/") + name, mode.flags);
        EXPECT_EQ(curl.exit, kCurlOk) << curl;
        EXPECT_EQ(curl.reply, 226) << curl;
        EXPECT_TRUE(server->file(QStringLiteral("in/") + name) == uploader.payload);
        int status = 0;
        EXPECT_TRUE(server->httpGet(QStringLiteral("in/") + name, &status) == uploader.payload);
        EXPECT_EQ(status, 200) << server->error().toStdString();
    }
    names.sort();
    EXPECT_EQ(server->entries(QStringLiteral("in")), names);
    EXPECT_EQ(server->entries(), QStringList{QStringLiteral("in")});
    EXPECT_TRUE(server->exists(QStringLiteral("in")));
    EXPECT_EQ(server->logins(), 4);
    int status = 0;
    server->httpGet(QStringLiteral("in/missing.bin"), &status);
    EXPECT_EQ(status, 404);

    // Gone with its object, files and all.
    const quint16 port = server->port();
    const QString root = server->root();
    server.reset();
    EXPECT_FALSE(QDir(root).exists());
    QTcpSocket late;
    late.connectToHost(QStringLiteral("127.0.0.1"), port);
    EXPECT_FALSE(late.waitForConnected(10000));
}

enum class Stored
{
    Nothing,
    FirstHalf,
    Part
};

struct FaultCase
{
    const char* name;
    std::function<bool(FtpServer&)> arm;
    QString path;
    QList<int> exits; // curl's exit code for the first upload, one of these
    int reply;        // the last reply it saw
    Stored stored;
    bool spent; // a second upload goes through
};

void PrintTo(const FaultCase& fault, std::ostream* out)
{
    *out << fault.name;
}

const FaultCase kFaults[] = {
    {"RefuseLogin",
     &FtpServer::refuseLogin,
     QStringLiteral("a.bin"),
     {kCurlLoginDenied},
     530,
     Stored::Nothing,
     false},
    {"RefuseMkd",
     [](FtpServer& s) { return s.refuseMkd(1); },
     QStringLiteral("new/a.bin"),
     {kCurlMkdRefused},
     550,
     Stored::Nothing,
     true},
    {"RefuseStor",
     [](FtpServer& s) { return s.refuseStor(1); },
     QStringLiteral("a.bin"),
     {kCurlUploadRefused},
     553,
     Stored::Nothing,
     true},
    {"RefuseEveryStor",
     [](FtpServer& s) { return s.refuseStor(-1); },
     QStringLiteral("a.bin"),
     {kCurlUploadRefused},
     553,
     Stored::Nothing,
     false},
    {"RefuseStorName",
     [](FtpServer& s) { return s.refuseStorName(QStringLiteral("a.bin")); },
     QStringLiteral("dir/a.bin"),
     {kCurlUploadRefused},
     553,
     Stored::Nothing,
     false},
    // Cut in the middle of the data: whichever way curl notices first.
    {"DropStor",
     [](FtpServer& s) { return s.dropStor(1); },
     QStringLiteral("a.bin"),
     {kCurlSendFailed, kCurlReceiveFailed},
     kAnyReply,
     Stored::Part,
     true},
    {"TruncateStor",
     [](FtpServer& s) { return s.truncateStor(1); },
     QStringLiteral("a.bin"),
     {kCurlOk},
     226,
     Stored::FirstHalf,
     true},
    {"DiskFull",
     [](FtpServer& s) { return s.diskFull(1); },
     QStringLiteral("a.bin"),
     {kCurlPartialFile},
     452,
     Stored::Nothing,
     true},
    {"RefuseConnections",
     &FtpServer::refuseConnections,
     QStringLiteral("a.bin"),
     {kCurlCannotConnect},
     0,
     Stored::Nothing,
     false},
};

class FtpServerFault : public ::testing::TestWithParam<FaultCase>
{
};

TEST_P(FtpServerFault, isPlayedUntilSpentOrReset)
{
    const FaultCase& fault = GetParam();
    FtpServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    const quint16 port = server.port();
    ASSERT_TRUE(fault.arm(server)) << server.error().toStdString();
    const Uploader uploader;

    const Curl first = uploader.upload(server, fault.path);
    EXPECT_TRUE(fault.exits.contains(first.exit)) << first;
    if (fault.reply != kAnyReply) {
        EXPECT_EQ(first.reply, fault.reply) << first;
    }
    const QByteArray stored = server.file(fault.path);
    switch (fault.stored) {
    case Stored::Nothing:
        EXPECT_FALSE(server.exists(fault.path));
        break;
    case Stored::FirstHalf:
        EXPECT_TRUE(stored == uploader.payload.left(uploader.payload.size() / 2)) << stored.size();
        break;
    case Stored::Part:
        EXPECT_TRUE(!stored.isEmpty() && stored.size() < uploader.payload.size() &&
                    uploader.payload.startsWith(stored))
            << stored.size();
        break;
    }

    const Curl second = uploader.upload(server, fault.path);
    EXPECT_EQ(second.exit == kCurlOk, fault.spent) << second;

    // Everything as usual again, on the same port.
    ASSERT_TRUE(server.reset()) << server.error().toStdString();
    EXPECT_EQ(server.port(), port);
    const Curl after = uploader.upload(server, fault.path);
    EXPECT_EQ(after.exit, kCurlOk) << after;
    EXPECT_TRUE(server.file(fault.path) == uploader.payload);
}

std::string faultName(const ::testing::TestParamInfo<FaultCase>& fault)
{
    return fault.param.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, FtpServerFault, ::testing::ValuesIn(kFaults), faultName);

TEST(FtpServerTls, isTrustedThroughItsOwnCaOnlyAndRequired)
{
    const struct
    {
        const char* name;
        Tls tls;
        const char* scheme;
        QStringList flags;
        bool ownCa;
        int exit;
        int reply;
        bool loggedIn;
    } cases[] = {
        {"explicit", Tls::Explicit, "ftp", {QStringLiteral("--ssl-reqd")}, true, kCurlOk, 226, true},
        {"explicit, unrelated CA",
         Tls::Explicit,
         "ftp",
         {QStringLiteral("--ssl-reqd")},
         false,
         kCurlBadCertificate,
         234,
         false},
        {"explicit, login in the clear", Tls::Explicit, "ftp", {}, true, kCurlLoginDenied, 550, false},
        {"explicit, data in the clear",
         Tls::Explicit,
         "ftp",
         {QStringLiteral("--ftp-ssl-control")},
         true,
         kCurlBadDataConnection,
         550,
         true},
        {"implicit", Tls::Implicit, "ftps", {}, true, kCurlOk, 226, true},
        {"implicit, unrelated CA", Tls::Implicit, "ftps", {}, false, kCurlBadCertificate, 0, false},
    };
    const Uploader uploader;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpServer server({.tls = c.tls});
        ASSERT_TRUE(server.ok()) << server.error().toStdString();
        const Curl curl =
            uploader.upload(server, QStringLiteral("tls.bin"),
                            c.flags + QStringList{QStringLiteral("--cacert"),
                                                  c.ownCa ? server.caFile() : server.otherCaFile()},
                            c.scheme);
        EXPECT_EQ(curl.exit, c.exit) << curl;
        EXPECT_EQ(curl.reply, c.reply) << curl;
        EXPECT_EQ(server.file(QStringLiteral("tls.bin")) == uploader.payload, c.exit == kCurlOk);
        EXPECT_EQ(server.logins(), c.loggedIn ? 1 : 0);
    }
}

} // namespace
