// Mail: how long the new-application notices take to build on a large database,
// and a large delivery sent in attachment sets to a local mail server, with the
// memory the program needs meanwhile.
//
//   mw_benchmail notices DIRECTORY     the benchmark database (mw_benchgen)
//   mw_benchmail delivery [--megabytes N] [--set N]
//       N megabytes of attachments (200) in sets of at most N megabytes (10), sent
//       to a server on 127.0.0.1 that throws the mail away (python3-aiosmtpd)

#include "yestalk.h"
#include "datastore/merrowinddata.h"
#include "import/notices.h"
#include "mail/mailsend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int notices(const QString& dir)
{
    mw::TMerrowindData data;
    data.open(mw::DatabaseLocation::parse(dir));
    data.ReadSettings();
    if (!data.CheckUser(QStringLiteral("SUPERVISOR"), QString(), false)) {
        std::fprintf(stderr, "no SUPERVISOR in %s\n", qPrintable(dir));
        return 1;
    }
    YesTalk talk;
    std::vector<double> times;
    qsizetype lines = 0;
    for (int run = 0; run < 5; ++run) {
        mw::Notices n(data, talk);
        QElapsedTimer t;
        t.start();
        lines = n.noticeLines(QString()).size();
        times.push_back(double(t.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    std::printf("notice lines of every group: %lld requisitions, median %.3f s (best %.3f s, worst %.3f s; "
                "target under 2 s)\n",
                static_cast<long long>(lines), times[times.size() / 2], times.front(), times.back());
    std::printf("peak memory: %ld MB\n", peakKilobytes() / 1024);
    return 0;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

int delivery(qint64 megabytes, qint64 setMegabytes)
{
    QTemporaryDir dir;
    // Files of half a set each, so every set holds two.
    const qint64 fileBytes = setMegabytes * 1024 * 1024 / 2;
    const qint64 files = std::max<qint64>(1, megabytes * 1024 * 1024 / fileBytes);
    QStringList paths;
    {
        QByteArray block(1024 * 1024, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((i * 131 + 7) % 251);
        for (qint64 f = 0; f < files; ++f) {
            QFile out(dir.filePath(QStringLiteral("part%1.bin").arg(f)));
            if (!out.open(QIODevice::WriteOnly))
                return 1;
            for (qint64 written = 0; written < fileBytes; written += block.size())
                out.write(block.constData(), std::min<qint64>(block.size(), fileBytes - written));
            paths << out.fileName();
        }
    }
    const long before = peakKilobytes();

    const quint16 port = freePort();
    QProcess server;
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"), QStringLiteral("-l"),
                  QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("-c"),
                  QStringLiteral("aiosmtpd.handlers.Sink")});
    if (!server.waitForStarted()) {
        std::fprintf(stderr, "the mail server did not start (python3-aiosmtpd)\n");
        return 1;
    }
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            break;
        QThread::msleep(100);
    }

    mw::MailServer where;
    where.host = QStringLiteral("127.0.0.1");
    where.port = port;
    YesTalk talk;
    mw::MailSend mail(where, talk);
    mail.Message.Subject = QStringLiteral("Requisition 000001");
    mail.Message.FromAddress = QStringLiteral("hr@example.com");
    mail.Message.ToAddresses = QStringLiteral("dept@example.com");
    mail.Message.MaxBytes = setMegabytes * 1024 * 1024;
    mail.Message.addLine(QStringLiteral("The applications."));
    mail.Message.Attachments = paths;
    QElapsedTimer t;
    t.start();
    const bool sent = mail.Send();
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    server.terminate();
    server.waitForFinished();
    if (!sent) {
        std::fprintf(stderr, "not sent: %s\n", qPrintable(mail.ErrorText));
        return 1;
    }
    std::printf("delivery of %lld MB in %lld files, sets of at most %lld MB: %d messages in %.2f s (%.1f MB/s)\n",
                static_cast<long long>(files * fileBytes / (1024 * 1024)), static_cast<long long>(files),
                static_cast<long long>(setMegabytes), mail.messagesSent(), seconds,
                double(files * fileBytes) / (1024.0 * 1024.0) / seconds);
    std::printf("peak memory: %ld MB (%ld MB before sending; target under 100 MB)\n", peakKilobytes() / 1024,
                before / 1024);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("notices") && args.size() == 2)
        return notices(args.at(1));
    if (args.value(0) == QLatin1String("delivery")) {
        qint64 megabytes = 200, set = 10;
        for (int i = 1; i + 1 < args.size(); i += 2) {
            if (args.at(i) == QLatin1String("--megabytes"))
                megabytes = args.at(i + 1).toLongLong();
            else if (args.at(i) == QLatin1String("--set"))
                set = args.at(i + 1).toLongLong();
        }
        return delivery(megabytes, std::max<qint64>(1, set));
    }
    std::fprintf(stderr, "usage: mw_benchmail notices DIRECTORY | delivery [--megabytes N] [--set N]\n");
    return 2;
}
