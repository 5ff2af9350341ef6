// Sending to the departments at size: "Send All Applications" of one requisition
// with thousands of approved, scanned applications, mailed in attachment sets, and
// the data export of a job posting group mailed requisition by requisition. Both go
// to a local mail server that throws the mail away (python3-aiosmtpd's Sink). The
// program makes its own database, documents and templates in a temporary directory
// and prints one line per figure: times, messages, applications dated, peak memory.
//
//   mw_benchsend [--applications N (5000)] [--kilobytes N per document (100)]
//                [--set N megabytes of attachments per message (10)] [--requisitions N (200)]
//                [--per-requisition N applications (50)] [--only send|export]
//                [--server-limit N megabytes the server takes in a message (32, or twice the set)]
//                [--postgres private]

#include "datastore/createdatabase.h"
#include "datastore/merrowinddata.h"
#include "delivery/dataexport.h"
#include "delivery/sendops.h"
#include "demo/demotemplates.h"
#include "mail/mailsend.h"
#include "yestalk.h"

#ifdef MW_BENCH_PRIVATE_POSTGRES
#include "pgcluster.h"
#endif

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

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kSendReq = QStringLiteral("900001");
const QString kExportGroup = QStringLiteral("EXPORT");

struct Options
{
    int applications = 5000;
    int kilobytes = 100;
    int setMegabytes = 10;
    int requisitions = 200;
    int perRequisition = 50;
    int serverLimit = 0; // megabytes the mail server takes in one message; 0: 32 or twice the set
    QString only;        // "send", "export" or empty: both
    QString postgres;    // "private" or empty: SQLite
};

long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The processor time another process has used so far (user and system), from /proc.
double processCpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString applicantId(int n)
{
    return QStringLiteral("%1").arg(n, 8, 10, QLatin1Char('0'));
}

// Applicants with the fields the export lists, and their applications to a requisition.
void addApplications(mw::Database& db, const QString& req, int first, int count, bool scanned)
{
    QSqlQuery& applicant = db.prepareCached(QStringLiteral(
        "INSERT INTO applicants (ApplicantID, Name, Phone, Address1, City, State, Zip, Scanned, "
        "VeteranPreference) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QSqlQuery& application = db.prepareCached(QStringLiteral(
        "INSERT INTO applications (ReqNumber, ApplicantID, Approved, DateLoaded, Reviewed, DispDate, "
        "ApprovedBy, ApprovedDate) VALUES (?, ?, 1, '2026-10-15', 1, '2026-10-20', 'SUPERVISOR', "
        "'2026-10-25')"));
    for (int n = first; n < first + count; ++n) {
        const QString id = applicantId(n);
        db.execPrepared(applicant, {id, QStringLiteral("Lastname%1, Firstname M").arg(n),
                                    QStringLiteral("(352) 555-%1").arg(n % 10000, 4, 10, QLatin1Char('0')),
                                    QStringLiteral("%1 Southwest Archer Road").arg(n % 9000 + 100),
                                    QStringLiteral("Gainesville"), QStringLiteral("FL"),
                                    QStringLiteral("32608"), scanned, n % 7 == 0});
        db.execPrepared(application, {req, id});
    }
}

void addRequisition(mw::Database& db, const QString& number, const QString& group, const QString& address,
                    int maxBytes)
{
    db.exec(QStringLiteral(
                "INSERT INTO requisitions (ReqNumber, JobPostingID, Department, PositionTitle, Contact, "
                "EMailAddress, SendFirstData, FinalSent, SelectionCriteria, SendAsEMail, SendAsHTML, "
                "PositionFilled, ExemptPosition, Continue, MaxFiles, MessageToDept) "
                "VALUES (?, ?, 'Ward 6', 'Nurse', 'Pat Lee', ?, 1, 0, 1, 1, 0, 0, 0, 0, ?, "
                "'Dear %CONTACT%,\nhere are the applicants for %JOBTITLE%.')"),
            {number, group, address, maxBytes});
}

qint64 datedToday(mw::TMerrowindData& data)
{
    QSqlQuery q = data.database().exec(
        QStringLiteral("SELECT COUNT(*) FROM applications WHERE ReqNumber = ? AND SemtDate = ?"),
        {kSendReq, data.today()});
    return q.next() ? q.value(0).toLongLong() : -1;
}

QString outcomeText(const mw::OperationResult& r, const YesTalk& talk)
{
    if (r.isDone())
        return QStringLiteral("done");
    return r.outcomeName() + QStringLiteral(": ") +
           (r.error.isEmpty() ? talk.last : r.error).simplified().left(300);
}

int sendRuns(mw::TMerrowindData& data, const Options& o, qint64 serverPid)
{
    for (const char* run : {"send all, first run", "send all, second run (all sent again)"}) {
        YesTalk talk;
        mw::SendOperations send(data, talk);
        // The stages, from the mail's own signals: the message is filled in (the
        // list made), the attachments are copied, the transfer has ended.
        QElapsedTimer t;
        qint64 filled = -1, copied = -1, transferred = -1;
        bool copying = false;
        send.ShowMail = [&](mw::MailSend& mail) {
            filled = t.nsecsElapsed();
            mail.ShowStep = [&](const QString& step) {
                if (step.startsWith(QLatin1String("Copying File: ")))
                    copying = true;
                else if (copying && step.isEmpty() && copied < 0)
                    copied = t.nsecsElapsed();
            };
            mail.ShowStatus = [&](const QString& status) {
                if (status.isEmpty())
                    transferred = t.nsecsElapsed();
            };
        };
        const double cpuBefore = cpuSeconds();
        const double serverBefore = processCpuSeconds(serverPid);
        t.start();
        const mw::OperationResult r = send.SendAllApplications(kSendReq);
        const qint64 total = t.nsecsElapsed();
        const double seconds = double(total) / 1e9;
        const double megabytes = double(o.applications) * o.kilobytes / 1024.0;
        std::printf(
            "%s: %.2f s, %lld applications in %lld messages (sets of at most %d MB), %.1f MB/s, result: %s\n",
            run, seconds, static_cast<long long>(r.countOf(QStringLiteral("Applications Sent"))),
            static_cast<long long>(r.countOf(QStringLiteral("Messages Sent"))), o.setMegabytes,
            megabytes / seconds, qPrintable(outcomeText(r, talk)));
        if (filled >= 0 && copied >= filled && transferred >= copied)
            std::printf("%s: list and message %.2f s, attachments copied %.2f s, transfer %.2f s, sent dates "
                        "%.2f s\n",
                        run, double(filled) / 1e9, double(copied - filled) / 1e9,
                        double(transferred - copied) / 1e9, double(total - transferred) / 1e9);
        std::printf("%s: processor time %.2f s in the program, %.2f s in the mail server\n", run,
                    cpuSeconds() - cpuBefore, processCpuSeconds(serverPid) - serverBefore);
        std::printf("%s: %lld applications dated today\n", run, static_cast<long long>(datedToday(data)));
        std::printf("%s: peak memory so far %ld MB\n", run, peakMegabytes());
        if (!r.isDone())
            return 1;
    }
    return 0;
}

int exportRuns(mw::TMerrowindData& data, const Options& o, qint64 serverPid)
{
    int status = 0;
    for (const bool excel : {false, true}) {
        const char* kind = excel ? "workbook" : "text";
        data.SystemInfo.ExportAsExcel = excel;
        YesTalk talk;
        mw::DataExport e(data, talk);
        e.Setup(kExportGroup, kExportGroup, QString());
        e.ExportAllJobs = true;
        const double cpuBefore = cpuSeconds();
        const double serverBefore = processCpuSeconds(serverPid);
        QElapsedTimer t;
        t.start();
        const mw::OperationResult r = e.ExportPostingGroup();
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        const qint64 sent = r.countOf(QStringLiteral("Files Sent"));
        std::printf("export of group %s (%s template): %.2f s, %lld of %d requisitions mailed (%d "
                    "applications each), "
                    "%.1f ms a requisition, result: %s\n",
                    qPrintable(kExportGroup), kind, seconds, static_cast<long long>(sent), o.requisitions,
                    o.perRequisition, sent > 0 ? seconds * 1000.0 / double(sent) : 0.0,
                    qPrintable(outcomeText(r, talk)));
        std::printf("export (%s template): processor time %.2f s in the program, %.2f s in the mail server\n",
                    kind, cpuSeconds() - cpuBefore, processCpuSeconds(serverPid) - serverBefore);
        std::printf("export (%s template): peak memory so far %ld MB\n", kind, peakMegabytes());
        if (!r.isDone())
            status = 1;
    }
    return status;
}

int run(const Options& o)
{
    QTemporaryDir work;
    if (!work.isValid())
        throw std::runtime_error("cannot make a temporary directory");
    const QString scans = work.filePath(QStringLiteral("scans/"));
    QDir().mkpath(scans);
    QDir().mkpath(work.filePath(QStringLiteral("tmp")));
    // The program's temporary copies (attachments, export files) go into the work directory.
    qputenv("TMPDIR", work.filePath(QStringLiteral("tmp")).toLocal8Bit());
    // The templates are read from the working directory, as in the program.
    mw::writeDemoTemplates(work.path());
    QDir::setCurrent(work.path());

    mw::DatabaseLocation location;
    if (o.postgres == QLatin1String("private")) {
#ifdef MW_BENCH_PRIVATE_POSTGRES
        mwtest::PgCluster& pg = mwtest::PgCluster::instance();
        const QString url = pg.available() ? pg.createDatabase() : QString();
        if (url.isEmpty())
            throw std::runtime_error(("PostgreSQL could not be started: " + pg.error()).toStdString());
        location = mw::DatabaseLocation::parse(url);
        std::printf(
            "database: private PostgreSQL server (fsync, full_page_writes and synchronous_commit off)\n");
#else
        throw std::runtime_error("built without the test support: no private PostgreSQL server");
#endif
    } else if (!o.postgres.isEmpty()) {
        throw std::runtime_error("--postgres takes only \"private\"");
    } else {
        QDir().mkpath(work.filePath(QStringLiteral("db")));
        location = mw::DatabaseLocation::parse(work.filePath(QStringLiteral("db")));
        std::printf("database: SQLite in %s\n", qPrintable(work.path()));
    }

    const quint16 port = freePort();
    QProcess server;
    // Its log goes nowhere: a pipe nobody reads would stall it.
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    const qint64 sizeLimit =
        o.serverLimit > 0 ? qint64(o.serverLimit) * 1024 * 1024
                          : std::max<qint64>(32LL * 1024 * 1024, qint64(o.setMegabytes) * 2 * 1024 * 1024);
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"),
                  QStringLiteral("-l"), QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("-s"),
                  QString::number(sizeLimit), QStringLiteral("-c"),
                  QStringLiteral("aiosmtpd.handlers.Sink")});
    if (!server.waitForStarted())
        throw std::runtime_error("the mail server did not start (python3-aiosmtpd)");
    const auto stopServer = [&server] {
        server.terminate();
        server.waitForFinished();
    };
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            break;
        QThread::msleep(100);
    }

    int status = 0;
    try {
        QElapsedTimer setup;
        setup.start();
        mw::createDatabase(location);
        mw::TMerrowindData data;
        data.open(location);
        mw::Database& db = data.database();
        db.exec(
            QStringLiteral("UPDATE settings SET SMTPServer = '127.0.0.1', Port = ?, SMTPTimeout = 60, "
                           "FileLocation = ?, FileExt = 'pdf', HTTPAllowSendAsWeb = 0, HTTPAllowHTTP = 1, "
                           "SubjectSend = 'Applications', ExportAsExcel = 0, DefaultContinueMessage = ?"),
            {port, scans,
             QStringLiteral("Dear %CONTACT%,\r\nthe list for %JOBNUMBER% is attached.\r\nHuman Resources")});
        db.exec(QStringLiteral("UPDATE users SET EMailAddress = 'hr@example.com', UserName = 'Pat Hill' "
                               "WHERE UserID = 'SUPERVISOR'"));
        const bool doSend = o.only.isEmpty() || o.only == QLatin1String("send");
        const bool doExport = o.only.isEmpty() || o.only == QLatin1String("export");
        {
            mw::Transaction tx(db);
            if (doSend) {
                addRequisition(db, kSendReq, QStringLiteral("MAIL"), QStringLiteral("dept@example.com"),
                               o.setMegabytes * 1024 * 1024);
                addApplications(db, kSendReq, 1, o.applications, true);
            }
            if (doExport)
                for (int r = 1; r <= o.requisitions; ++r) {
                    const QString number = QStringLiteral("%1").arg(r, 6, 10, QLatin1Char('0'));
                    addRequisition(db, number, kExportGroup, QStringLiteral("dept%1@example.com").arg(number),
                                   0);
                    addApplications(db, number, 1000000 + (r - 1) * o.perRequisition, o.perRequisition,
                                    false);
                }
            tx.commit();
        }
        if (doSend) {
            QByteArray document(o.kilobytes * 1024, '\0');
            for (int n = 1; n <= o.applications; ++n) {
                for (qsizetype i = 0; i < document.size(); ++i)
                    document[i] = char((i * 31 + n * 7) % 251);
                QFile f(scans + applicantId(n) + QStringLiteral(".pdf"));
                if (!f.open(QIODevice::WriteOnly) || f.write(document) != document.size())
                    throw std::runtime_error("cannot write the documents");
            }
        }
        data.ReadSettings();
        if (!data.CheckUser(QStringLiteral("SUPERVISOR"), QString(), false))
            throw std::runtime_error("no SUPERVISOR");
        std::printf("set-up: %.1f s (%d scanned applications of %d KB; %d requisitions of %d applications)\n",
                    double(setup.nsecsElapsed()) / 1e9, doSend ? o.applications : 0, o.kilobytes,
                    doExport ? o.requisitions : 0, o.perRequisition);
        std::printf("peak memory before the runs: %ld MB\n", peakMegabytes());

        if (doSend)
            status |= sendRuns(data, o, server.processId());
        if (doExport)
            status |= exportRuns(data, o, server.processId());
        std::printf("peak memory: %ld MB\n", peakMegabytes());
    } catch (...) {
        stopServer();
        throw;
    }
    stopServer();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "%s needs a value\n", qPrintable(a));
            return 2;
        }
        const QString v = args.at(++i);
        if (a == QLatin1String("--applications"))
            o.applications = v.toInt();
        else if (a == QLatin1String("--kilobytes"))
            o.kilobytes = v.toInt();
        else if (a == QLatin1String("--set"))
            o.setMegabytes = std::max(1, v.toInt());
        else if (a == QLatin1String("--requisitions"))
            o.requisitions = v.toInt();
        else if (a == QLatin1String("--per-requisition"))
            o.perRequisition = v.toInt();
        else if (a == QLatin1String("--server-limit"))
            o.serverLimit = v.toInt();
        else if (a == QLatin1String("--only"))
            o.only = v;
        else if (a == QLatin1String("--postgres"))
            o.postgres = v;
        else {
            std::fprintf(
                stderr,
                "usage: mw_benchsend [--applications N] [--kilobytes N] [--set N] [--requisitions N]\n"
                "       [--per-requisition N] [--server-limit N] [--only send|export] [--postgres "
                "private]\n");
            return 2;
        }
    }
    try {
        return run(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mw_benchsend: %s\n", e.what());
        return 1;
    }
}
