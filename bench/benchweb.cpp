// Reloading a web site: requisitions with their documents uploaded by FTP to a
// local server (python3-pyftpdlib) and verified, then a second run that finds
// everything in place. Prints the times, the log-ins and the peak memory.
//
//   mw_benchweb [--requisitions N (200)] [--documents N per requisition (25)] [--kilobytes N (100)]

#include "yestalk.h"
#include "datastore/createdatabase.h"
#include "datastore/merrowinddata.h"
#include "delivery/websend.h"
#include "demo/demotemplates.h"
#include "web/ftppublisher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include <sys/resource.h>

namespace {

long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int requisitions = 200, perRequisition = 25, kilobytes = 100;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--requisitions"))
            requisitions = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--documents"))
            perRequisition = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--kilobytes"))
            kilobytes = args.at(i + 1).toInt();
    }

    QTemporaryDir work;
    const QString dbDir = work.filePath(QStringLiteral("db"));
    const QString scans = work.filePath(QStringLiteral("scans/"));
    const QString site = work.filePath(QStringLiteral("site"));
    QDir().mkpath(dbDir);
    QDir().mkpath(scans);
    QDir().mkpath(site);
    mw::writeDemoTemplates(work.path());
    QDir::setCurrent(work.path());

    const quint16 port = freePort();
    QProcess server;
    // Its log goes nowhere: a pipe nobody reads would stall it.
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                  QStringLiteral("-p"), QString::number(port), QStringLiteral("-w"), QStringLiteral("-d"), site,
                  QStringLiteral("-u"), QStringLiteral("bench"), QStringLiteral("-P"), QStringLiteral("bench-pw")});
    if (!server.waitForStarted()) {
        std::fprintf(stderr, "the FTP server did not start (python3-pyftpdlib)\n");
        return 1;
    }
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            break;
        QThread::msleep(100);
    }

    try {
        mw::createDatabase(mw::DatabaseLocation::parse(dbDir));
        mw::TMerrowindData data;
        data.open(mw::DatabaseLocation::parse(dbDir));
        mw::Database& db = data.database();
        db.exec(QStringLiteral("UPDATE settings SET FTPHost = '127.0.0.1', FTPPort = ?, FTPUserName = 'bench', "
                               "FTPPassword = 'bench-pw', FTPUploadDir = '/jobs/', FTPPassive = 1, "
                               "HTTPWebAddress = 'http://web.example.org/jobs/', HTTPIndexName = 'index.htm', "
                               "FileLocation = ?, FileExt = 'pdf', HTTPAllowSendAsWeb = 1, HTTPAllowHTTP = 1"),
                {port, scans});
        QByteArray document(kilobytes * 1024, '\0');
        for (int i = 0; i < document.size(); ++i)
            document[i] = char((i * 7 + 3) % 256);
        {
            mw::Transaction tx(db);
            int applicant = 0;
            for (int r = 1; r <= requisitions; ++r) {
                const QString number = QStringLiteral("%1").arg(r, 6, 10, QLatin1Char('0'));
                QString letters;
                for (int k = 0, v = r; k < 8; ++k, v /= 26)
                    letters += QChar(char16_t(u'a' + v % 26));
                db.exec(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, EMailAddress, WebAddress, "
                                       "SendFirstData, SendAsEMail, SendAsHTML, PositionFilled) VALUES (?, 'BENCH', "
                                       "'dept@example.com', ?, 1, 0, 1, 0)"),
                        {number, QStringLiteral("http://web.example.org/jobs/%1/index.htm").arg(letters)});
                for (int d = 0; d < perRequisition; ++d) {
                    const QString id = QStringLiteral("%1").arg(++applicant, 8, 10, QLatin1Char('0'));
                    db.exec(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned) VALUES (?, ?, 1)"),
                            {id, QStringLiteral("Applicant ") + id});
                    db.exec(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate) "
                                           "VALUES (?, ?, 1, '2026-11-02')"),
                            {number, id});
                    QFile f(scans + id + QStringLiteral(".pdf"));
                    if (!f.open(QIODevice::WriteOnly) || f.write(document) != document.size())
                        throw std::runtime_error("cannot write the documents");
                }
            }
            tx.commit();
        }
        data.ReadSettings();
        if (!data.CheckUser(QStringLiteral("SUPERVISOR"), QString(), false))
            throw std::runtime_error("no SUPERVISOR");

        YesTalk talk;
        const long before = peakMegabytes();
        for (const char* run : {"first run", "second run"}) {
            mw::FtpPublisher ftp(data, talk);
            QElapsedTimer t;
            t.start();
            const mw::OperationResult r = mw::reloadWebSiteCommand(data, talk, &ftp);
            const double seconds = double(t.nsecsElapsed()) / 1e9;
            std::printf("%s: %lld requisitions, %lld documents of %d KB in %.2f s (%.1f documents/s), %d log-in(s), "
                        "result: %s\n",
                        run, static_cast<long long>(r.countOf(QStringLiteral("Requisitions Reloaded"))),
                        static_cast<long long>(r.countOf(QStringLiteral("Documents"))), kilobytes, seconds,
                        double(r.countOf(QStringLiteral("Documents"))) / seconds, ftp.logins(),
                        qPrintable(r.isDone() ? QStringLiteral("done") : r.error + r.text));
        }
        std::printf("peak memory: %ld MB (%ld MB before the runs)\n", peakMegabytes(), before);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        server.terminate();
        server.waitForFinished();
        return 1;
    }
    server.terminate();
    server.waitForFinished();
    return 0;
}
