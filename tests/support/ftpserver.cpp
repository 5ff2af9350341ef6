#include "ftpserver.h"

#include "testcerts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <utility>

#ifndef MW_FTPSERVER_SCRIPT
#error "MW_FTPSERVER_SCRIPT must name tests/support/ftpserver.py"
#endif

namespace mwtest {
namespace {

const QString kPython = QStringLiteral("/usr/bin/python3"); // the one with python3-pyftpdlib
constexpr int kStartMs = 30000;
constexpr int kCommandMs = 10000;
constexpr int kHttpMs = 30000;

// Waits until done() holds or ms pass, letting the caller's events run meanwhile (a client under
// test may be working in this very thread).
template <typename Done>
bool waitUntil(Done done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

QString tailOf(const QString& path, int maxLines = 20)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).trimmed().split(QLatin1Char('\n'));
    return lines.mid(std::max<qsizetype>(0, lines.size() - maxLines)).join(QLatin1Char('\n'));
}

} // namespace

struct FtpServer::Impl
{
    Options options;
    // Holds the served root and, beside it, the server's log.
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/merrowind-ftp-XXXXXX")};
    QProcess process;
    quint16 port = 0;
    quint16 httpPort = 0;
    bool started = false;
    QString error;

    QString rootPath() const { return dir.filePath(QStringLiteral("root")); }
    QString logPath() const { return dir.filePath(QStringLiteral("server.log")); }
    QString pathOf(const QString& relative) const { return QDir(rootPath()).filePath(relative); }

    bool running() const { return process.state() == QProcess::Running; }

    void fail(const QString& why)
    {
        error = why;
        const QString log = tailOf(logPath());
        if (!log.isEmpty())
            error += QStringLiteral("\nserver log:\n") + log;
    }

    // One line of the server's stdout, without its newline.
    bool readLine(QByteArray& line, int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (!process.canReadLine()) {
            if (!running() || deadline.hasExpired())
                return false;
            process.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        }
        line = process.readLine().trimmed();
        return true;
    }

    // A line "<word> <port>" of the start-up.
    bool readPort(const char* word, quint16& value)
    {
        QByteArray line;
        const QByteArray prefix = QByteArray(word) + ' ';
        if (!readLine(line, kStartMs) || !line.startsWith(prefix)) {
            fail(QStringLiteral("the test FTP server did not report its %1 port").arg(QLatin1String(word)));
            return false;
        }
        bool isNumber = false;
        value = line.mid(prefix.size()).toUShort(&isNumber);
        if (!isNumber || value == 0) {
            fail(QStringLiteral("the test FTP server reported \"%1\"").arg(QString::fromUtf8(line)));
            return false;
        }
        return true;
    }

    // Sends a control line and waits for its OK; rest gets what follows the OK.
    bool ask(const QString& line, QByteArray* rest = nullptr)
    {
        if (!started || !running()) {
            fail(QStringLiteral("the test FTP server is not running"));
            return false;
        }
        process.readAll(); // nothing else is expected on stdout; a late answer must not be taken for this one
        process.write(line.toUtf8() + '\n');
        QByteArray answer;
        if (!readLine(answer, kCommandMs)) {
            fail(QStringLiteral("no answer from the test FTP server to \"%1\"").arg(line));
            return false;
        }
        if (answer != "OK" && !answer.startsWith("OK ")) {
            fail(QStringLiteral("\"%1\": %2").arg(line, QString::fromUtf8(answer)));
            return false;
        }
        if (rest)
            *rest = answer.mid(3);
        return true;
    }

    bool start();
    void stop();
};

bool FtpServer::Impl::start()
{
    if (!dir.isValid()) {
        error = QStringLiteral("cannot make a directory for the test FTP server: ") + dir.errorString();
        return false;
    }
    if (!QDir(dir.path()).mkdir(QStringLiteral("root"))) {
        error = QStringLiteral("cannot make ") + rootPath();
        return false;
    }
    const QString script = QStringLiteral(MW_FTPSERVER_SCRIPT);
    if (!QFileInfo(kPython).isExecutable() || !QFileInfo::exists(script)) {
        error = QStringLiteral("the test FTP server needs %1 (with python3-pyftpdlib) and %2")
                    .arg(kPython, script);
        return false;
    }

    // -I: the system Python as installed, whatever PYTHONPATH or a user site says.
    QStringList args = {
        QStringLiteral("-I"),        script,       QStringLiteral("--root"),     rootPath(),
        QStringLiteral("--user"),    options.user, QStringLiteral("--password"), options.password,
        QStringLiteral("--cleanup"), dir.path()};
    if (options.tls != Options::Tls::None) {
        const TestCertificates& certs = testCertificates();
        if (!certs.error.isEmpty()) {
            error = certs.error;
            return false;
        }
        args << QStringLiteral("--tls")
             << (options.tls == Options::Tls::Implicit ? QStringLiteral("implicit")
                                                       : QStringLiteral("explicit"))
             << QStringLiteral("--cert") << certs.cert << QStringLiteral("--key") << certs.key;
    }
    if (options.http)
        args << QStringLiteral("--http");

    process.setStandardErrorFile(logPath());
    process.setReadChannel(QProcess::StandardOutput);
    process.start(kPython, args);
    if (!process.waitForStarted(kStartMs)) {
        fail(QStringLiteral("cannot start %1: %2").arg(kPython, process.errorString()));
        return false;
    }
    if (!readPort("PORT", port) || (options.http && !readPort("HTTP", httpPort)))
        return false;
    started = true;
    return true;
}

void FtpServer::Impl::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel(); // the server stops at the end of its control input
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

FtpServer::FtpServer(Options options) : d(std::make_unique<Impl>())
{
    d->options = std::move(options);
    if (!d->start())
        d->stop();
}

FtpServer::~FtpServer()
{
    d->stop();
}

bool FtpServer::ok() const
{
    return d->started && d->running();
}

QString FtpServer::error() const
{
    return d->error;
}

quint16 FtpServer::port() const
{
    return d->port;
}

quint16 FtpServer::httpPort() const
{
    return d->httpPort;
}

QString FtpServer::host() const
{
    return QStringLiteral("127.0.0.1");
}

QString FtpServer::root() const
{
    return d->rootPath();
}

QString FtpServer::user() const
{
    return d->options.user;
}

QString FtpServer::password() const
{
    return d->options.password;
}

QString FtpServer::caFile() const
{
    return d->options.tls == Options::Tls::None ? QString() : testCertificates().ca;
}

QString FtpServer::otherCaFile() const
{
    return d->options.tls == Options::Tls::None ? QString() : testCertificates().otherCa;
}

bool FtpServer::command(const QString& line)
{
    return d->ask(line);
}

bool FtpServer::refuseConnections()
{
    return command(QStringLiteral("refuse-connections"));
}

bool FtpServer::refuseLogin()
{
    return command(QStringLiteral("refuse-login"));
}

bool FtpServer::refuseMkd(int n)
{
    return command(QStringLiteral("refuse-mkd %1").arg(n));
}

bool FtpServer::refuseStor(int n)
{
    return command(QStringLiteral("refuse-stor %1").arg(n));
}

bool FtpServer::refuseStorName(const QString& name)
{
    return command(QStringLiteral("refuse-stor-name ") + name);
}

bool FtpServer::dropStor(int n)
{
    return command(QStringLiteral("drop-stor %1").arg(n));
}

bool FtpServer::truncateStor(int n)
{
    return command(QStringLiteral("truncate-stor %1").arg(n));
}

bool FtpServer::diskFull(int n)
{
    return command(QStringLiteral("disk-full %1").arg(n));
}

bool FtpServer::reset()
{
    return command(QStringLiteral("reset"));
}

int FtpServer::logins()
{
    QByteArray count;
    if (!d->ask(QStringLiteral("count-logins"), &count))
        return -1;
    bool isNumber = false;
    const int n = count.toInt(&isNumber);
    return isNumber ? n : -1;
}

QByteArray FtpServer::file(const QString& relativePath) const
{
    QFile f(d->pathOf(relativePath));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QStringList FtpServer::entries(const QString& relativeDir) const
{
    return QDir(d->pathOf(relativeDir))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool FtpServer::exists(const QString& relativePath) const
{
    return QFileInfo::exists(d->pathOf(relativePath));
}

QByteArray FtpServer::httpGet(const QString& path, int* status)
{
    if (status)
        *status = 0;
    if (d->httpPort == 0) {
        d->fail(QStringLiteral("the test FTP server was started without HTTP"));
        return {};
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host());
    url.setPort(d->httpPort);
    url.setPath(path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path);

    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(kHttpMs);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    if (!waitUntil([&] { return reply->isFinished(); }, kHttpMs)) {
        reply->abort();
        d->fail(QStringLiteral("no answer to GET %1").arg(url.toString()));
        return {};
    }
    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status)
        *status = code;
    if (reply->error() != QNetworkReply::NoError)
        d->fail(QStringLiteral("GET %1: %2").arg(url.toString(), reply->errorString()));
    return reply->readAll();
}

} // namespace mwtest
