#include "smtpserver.h"

#include "testcerts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <utility>

#ifndef MW_SMTPSERVER_SCRIPT
#error "MW_SMTPSERVER_SCRIPT must name tests/support/smtpserver.py"
#endif

namespace mwtest {
namespace {

const QString kPython = QStringLiteral("/usr/bin/python3"); // the one with python3-aiosmtpd
constexpr int kStartMs = 30000;
constexpr int kCommandMs = 10000;
constexpr int kMessageMs = 10000;

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
        QThread::msleep(5);
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

struct SmtpServer::Impl
{
    Options options;
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/merrowind-smtp-XXXXXX")};
    QProcess process;
    quint16 port = 0;
    bool started = false;
    QString error;

    QString messagePath(int n, const char* suffix) const
    {
        return dir.filePath(QString::number(n) + QLatin1String(suffix));
    }
    QString logPath() const { return dir.filePath(QStringLiteral("server.log")); }

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

    // Sends a control line and waits for its OK; rest gets what follows the OK.
    bool ask(const QString& line, QByteArray* rest = nullptr)
    {
        if (!started || !running()) {
            fail(QStringLiteral("the test SMTP server is not running"));
            return false;
        }
        process.readAll(); // nothing else is expected on stdout; a late answer must not be taken for this one
        process.write(line.toUtf8() + '\n');
        QByteArray answer;
        if (!readLine(answer, kCommandMs)) {
            fail(QStringLiteral("no answer from the test SMTP server to \"%1\"").arg(line));
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

    bool waitForFile(const QString& path, int ms)
    {
        if (waitUntil([&] { return QFileInfo::exists(path) || !running(); }, ms) && QFileInfo::exists(path))
            return true;
        fail(QStringLiteral("the test SMTP server stored no %1").arg(QFileInfo(path).fileName()));
        return false;
    }

    bool start();
    void stop();
};

bool SmtpServer::Impl::start()
{
    if (!dir.isValid()) {
        error = QStringLiteral("cannot make a directory for the test SMTP server: ") + dir.errorString();
        return false;
    }
    const QString script = QStringLiteral(MW_SMTPSERVER_SCRIPT);
    if (!QFileInfo(kPython).isExecutable() || !QFileInfo::exists(script)) {
        error = QStringLiteral("the test SMTP server needs %1 (with python3-aiosmtpd) and %2").arg(kPython, script);
        return false;
    }

    // -I: the system Python as installed, whatever PYTHONPATH or a user site says.
    QStringList args = {QStringLiteral("-I"), script, QStringLiteral("--dir"), dir.path(),
                        QStringLiteral("--remove-dir")};
    if (options.tls != Options::Tls::None) {
        const TestCertificates& certs = testCertificates();
        if (!certs.error.isEmpty()) {
            error = certs.error;
            return false;
        }
        args << QStringLiteral("--tls")
             << (options.tls == Options::Tls::Implicit ? QStringLiteral("implicit") : QStringLiteral("starttls"))
             << QStringLiteral("--cert") << certs.cert << QStringLiteral("--key") << certs.key;
    }
    if (options.requireTls)
        args << QStringLiteral("--require-tls");
    if (!options.authUser.isEmpty())
        args << QStringLiteral("--auth") << options.authUser + QLatin1Char(':') + options.authPassword;

    process.setStandardErrorFile(logPath());
    process.setReadChannel(QProcess::StandardOutput);
    process.start(kPython, args);
    if (!process.waitForStarted(kStartMs)) {
        fail(QStringLiteral("cannot start %1: %2").arg(kPython, process.errorString()));
        return false;
    }
    QByteArray line;
    if (!readLine(line, kStartMs) || !line.startsWith("PORT ")) {
        fail(QStringLiteral("the test SMTP server did not report its port"));
        return false;
    }
    bool isNumber = false;
    port = line.mid(5).toUShort(&isNumber);
    if (!isNumber || port == 0) {
        fail(QStringLiteral("the test SMTP server reported \"%1\"").arg(QString::fromUtf8(line)));
        return false;
    }
    started = true;
    return true;
}

void SmtpServer::Impl::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel(); // the server stops at the end of its control input
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

SmtpServer::SmtpServer(Options options) : d(std::make_unique<Impl>())
{
    d->options = std::move(options);
    if (!d->start())
        d->stop();
}

SmtpServer::~SmtpServer()
{
    d->stop();
}

bool SmtpServer::ok() const
{
    return d->started && d->running();
}

QString SmtpServer::error() const
{
    return d->error;
}

quint16 SmtpServer::port() const
{
    return d->port;
}

QString SmtpServer::host() const
{
    return QStringLiteral("127.0.0.1");
}

QString SmtpServer::caFile() const
{
    return d->options.tls == Options::Tls::None ? QString() : testCertificates().ca;
}

QString SmtpServer::otherCaFile() const
{
    return d->options.tls == Options::Tls::None ? QString() : testCertificates().otherCa;
}

bool SmtpServer::command(const QString& line)
{
    return d->ask(line);
}

bool SmtpServer::silentGreeting()
{
    return command(QStringLiteral("greeting-silent"));
}

bool SmtpServer::refuseConnections()
{
    return command(QStringLiteral("refuse-connections"));
}

bool SmtpServer::refuseSender(int code)
{
    return command(QStringLiteral("sender %1").arg(code));
}

bool SmtpServer::refuseRecipient(const QString& address)
{
    return command(QStringLiteral("refuse-rcpt ") + address);
}

bool SmtpServer::dropDuringData(qint64 bytes)
{
    return command(QStringLiteral("drop-during-data %1").arg(bytes));
}

bool SmtpServer::sizeLimit(qint64 bytes)
{
    return command(QStringLiteral("size-limit %1").arg(bytes));
}

bool SmtpServer::reset()
{
    return command(QStringLiteral("reset"));
}

int SmtpServer::messageCount()
{
    QByteArray count;
    if (!d->ask(QStringLiteral("count"), &count))
        return -1;
    bool isNumber = false;
    const int n = count.toInt(&isNumber);
    return isNumber ? n : -1;
}

QJsonObject SmtpServer::message(int n)
{
    const QString path = d->messagePath(n, ".json");
    if (n < 1 || !d->waitForFile(path, kMessageMs))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        d->fail(QStringLiteral("cannot read ") + path);
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject())
        d->fail(QStringLiteral("%1: %2").arg(path, parseError.errorString()));
    return doc.object();
}

QByteArray SmtpServer::raw(int n)
{
    // The .json is written after the .eml: once it is there, the message is whole.
    if (n < 1 || !d->waitForFile(d->messagePath(n, ".json"), kMessageMs))
        return {};
    QFile file(d->messagePath(n, ".eml"));
    if (!file.open(QIODevice::ReadOnly)) {
        d->fail(QStringLiteral("cannot read ") + file.fileName());
        return {};
    }
    return file.readAll();
}

QList<QJsonObject> SmtpServer::messages()
{
    QList<QJsonObject> all;
    const int count = messageCount();
    for (int n = 1; n <= count; ++n)
        all.append(message(n));
    return all;
}

bool SmtpServer::waitForMessages(int count, int ms)
{
    if (count < 1)
        return true;
    return d->waitForFile(d->messagePath(count, ".json"), ms);
}

} // namespace mwtest
