// mw_benchpurge: "Purge Files" on a copy of the benchmark database (mw_benchgen's
// million applicants), against the database's own shell doing the same deletions.
//
//   mw_benchpurge WORKDIR [--source DB] [--no-saver] [--no-floor] [--keep]
//
// Contract: the source database is never written; every run works on its own cp
// copy under WORKDIR, prepared with plain SQL (every purge date ahead, one
// applicant in ten, rid % 10 = 0, past it with its RIF and not-rehirable flags off),
// with 200,000 documents 400 days old (the purged applicants' and as many of
// applicants who stay). Runs, each on a fresh copy:
//   1. PurgeFilesCommand alone, in a child process of its own under GNU time
//      (--purge-only DIR): wall time, its stages, the counts, its peak memory;
//   2. the same with another running copy (--saver DIR STOPFILE) that edits and
//      posts an applicant who stays every 200 ms through the applicant table:
//      the saves that overlapped the purge, their median and longest wait;
//   3. the floor: the sqlite3 shell's set-based statements (the two purge-date
//      raises, the applicants' delete, the two orphan deletes, each committing on
//      its own) and `xargs rm -f` of the purged applicants' documents from a list
//      made while preparing.
// Each run is checked (applicants and applications left, documents left, the
// saver's edits kept). Prints one line per figure with its target. Copies are
// deleted at the end unless --keep. Needs sqlite3 and GNU time.

#include "datastore/merrowinddata.h"
#include "datastore/migrations.h"
#include "maintenance/purge.h"
#include "shared/operation.h"

#include "yestalk.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch()).count();
}

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "mw_benchpurge: %s\n", qPrintable(why));
    std::exit(1);
}

// User and system time of this process so far.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

const QString kUser = QStringLiteral("SUPERVISOR");

void logOn(mw::TMerrowindData& data, const QString& dir)
{
    data.open(mw::DatabaseLocation::parse(dir));
    data.ReadSettings();
    if (!data.CheckUser(kUser, QString(), false))
        fail(QStringLiteral("no user %1 in %2").arg(kUser, dir));
    data.LoginData.UserID = kUser;
    data.sessions().setUser(kUser);
}

// ---------------------------------------------------------------------------
// --purge-only DIR: the program's purge, the only work of this process.

// Says Yes like YesTalk, and notes when each step starts and when a statement's
// last slice is done.
class StepTalk : public YesTalk
{
public:
    struct Mark
    {
        qint64 ns;
        QString label;
        double cpu = cpuSeconds();
        int slices = 0; // progress calls, one per slice, while this mark is the last
    };
    std::vector<Mark> marks;
    void beginWait(const QString& text, bool) override { marks.push_back({nowNs(), text}); }
    void wait(const QString& text) override { marks.push_back({nowNs(), text}); }
    // The end of a sliced statement. What follows the applicants' delete, before the
    // next step line, is the old scanned documents, which have no step line.
    void progress(qint64 done, qint64 total) override
    {
        if (!marks.empty())
            ++marks.back().slices;
        if (done < total || total <= 0)
            return;
        const bool documents = !marks.empty() && marks.back().label == QLatin1String("Deleting Old Applicants");
        marks.push_back({nowNs(), documents ? QStringLiteral("Old scanned documents (list, look up, delete)")
                                            : QStringLiteral("(after the statement's last slice)")});
    }
};

int purgeOnly(const QString& dir)
{
    try {
        const qint64 openStart = nowNs();
        mw::TMerrowindData data;
        logOn(data, dir);
        const qint64 start = nowNs();
        StepTalk talk;
        const mw::OperationResult r = mw::PurgeFilesCommand(data, talk);
        const qint64 end = nowNs();
        const double endCpu = cpuSeconds();
        std::printf("OPEN %.3f\n", double(start - openStart) / 1e9);
        std::printf("START %lld\nEND %lld\n", static_cast<long long>(start), static_cast<long long>(end));
        std::printf("OUTCOME %s\n", qPrintable(r.outcomeName()));
        for (const auto& c : r.counts)
            std::printf("COUNT %lld %s\n", static_cast<long long>(c.value), qPrintable(c.label));
        for (std::size_t i = 0; i < talk.marks.size(); ++i) {
            const qint64 next = i + 1 < talk.marks.size() ? talk.marks[i + 1].ns : end;
            const double nextCpu = i + 1 < talk.marks.size() ? talk.marks[i + 1].cpu : endCpu;
            std::printf("STEP %lld %lld %d %.3f %s\n", static_cast<long long>(talk.marks[i].ns),
                        static_cast<long long>(next), talk.marks[i].slices, nextCpu - talk.marks[i].cpu,
                        qPrintable(talk.marks[i].label));
        }
        if (r.isFailed())
            std::printf("ERROR %s\n", qPrintable(QString(r.error).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        std::printf("RSS %ld\n", peakKilobytes());
        data.close();
        return r.isDone() ? 0 : 1;
    } catch (const mw::DbError& e) {
        std::printf("ERROR %s\n", qPrintable(e.message()));
        return 1;
    }
}

// ---------------------------------------------------------------------------
// --saver DIR STOPFILE: another workstation editing applicants who stay.

int saver(QCoreApplication& app, const QString& dir, const QString& stopFile)
{
    try {
        mw::TMerrowindData data;
        data.sessions().setMachineName(QStringLiteral("BENCH-SAVER"));
        logOn(data, dir);
        QStringList ids;
        {
            QSqlQuery q = data.database().exec(
                QStringLiteral("SELECT ApplicantID FROM applicants WHERE rid % 10 = 3 ORDER BY rid LIMIT 2000"));
            while (q.next())
                ids << q.value(0).toString();
        }
        if (ids.isEmpty())
            fail(QStringLiteral("no applicants to edit"));
        mw::TTable& t = data.ApplicantTable;
        int n = 0;
        QTimer tick;
        tick.setSingleShot(true);
        QObject::connect(&tick, &QTimer::timeout, &app, [&] {
            if (QFileInfo::exists(stopFile)) {
                QCoreApplication::quit();
                return;
            }
            const QString id = ids.at(n % ids.size());
            const QString phone = QStringLiteral("(555) 7%1-%2")
                                      .arg(n / 10000 % 100, 2, 10, QLatin1Char('0'))
                                      .arg(n % 10000, 4, 10, QLatin1Char('0'));
            ++n;
            const qint64 t0 = nowNs();
            QString error;
            try {
                if (!t.findKey({id}))
                    error = QStringLiteral("not found");
                else {
                    t.edit();
                    t.fieldByName(QStringLiteral("Phone")).setValue(phone);
                    t.post();
                }
            } catch (const mw::DbError& e) {
                error = e.message();
                try {
                    if (t.state() == mw::DataSetState::Edit)
                        t.cancel();
                } catch (const mw::DbError&) {
                }
            }
            const double ms = double(nowNs() - t0) / 1e6;
            if (error.isEmpty())
                std::printf("SAVE %lld %.3f %s %s\n", static_cast<long long>(t0), ms, qPrintable(id),
                            qPrintable(phone));
            else
                std::printf("FAIL %lld %.3f %s\n", static_cast<long long>(t0), ms,
                            qPrintable(error.replace(QLatin1Char('\n'), QLatin1Char(' '))));
            std::fflush(stdout);
            tick.start(200);
        });
        std::printf("READY\n");
        std::fflush(stdout);
        tick.start(0);
        const int rc = QCoreApplication::exec();
        data.close();
        return rc;
    } catch (const mw::DbError& e) {
        std::printf("ERROR %s\n", qPrintable(e.message()));
        return 1;
    }
}

// ---------------------------------------------------------------------------
// The driver

struct Timed
{
    int status = -1;
    double seconds = 0;
    double peakMb = 0;
    double cpuSeconds = 0; // user and system time of the child and its children
    QString out;
};

QString findProgram(const QString& name)
{
    for (const QString& d : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QFileInfo f(d + QLatin1Char('/') + name);
        if (f.isFile() && f.isExecutable())
            return f.absoluteFilePath();
    }
    return {};
}

// Runs program with args under GNU time (its own peak resident memory), stdin from
// inPath when given, in workDir; stdout and stderr into logBase.out / .err.
Timed runTimed(const QString& program, const QStringList& args, const QString& logBase, const QString& inPath = {},
               const QString& workDir = {})
{
    const QString memory = logBase + QStringLiteral(".maxrss");
    QProcess p;
    if (!inPath.isEmpty())
        p.setStandardInputFile(inPath);
    else
        p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(logBase + QStringLiteral(".out"));
    p.setStandardErrorFile(logBase + QStringLiteral(".err"));
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    Timed t;
    const qint64 t0 = nowNs();
    p.start(QStringLiteral("/usr/bin/time"),
            QStringList{QStringLiteral("-f"), QStringLiteral("%M %U %S"), QStringLiteral("-o"), memory, program} + args);
    if (!p.waitForStarted(-1))
        fail(QStringLiteral("cannot run %1").arg(program));
    p.waitForFinished(-1);
    t.seconds = double(nowNs() - t0) / 1e9;
    t.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    QFile m(memory);
    if (m.open(QIODevice::ReadOnly)) {
        // The last line is the figures; a line before it tells of a signal or a status.
        const QList<QByteArray> f = m.readAll().trimmed().split('\n').last().trimmed().split(' ');
        t.peakMb = f.value(0).toDouble() / 1024.0;
        t.cpuSeconds = f.value(1).toDouble() + f.value(2).toDouble();
    }
    QFile o(logBase + QStringLiteral(".out"));
    if (o.open(QIODevice::ReadOnly))
        t.out = QString::fromUtf8(o.readAll());
    return t;
}

QString g_sqlite3;

// The sqlite3 shell on db with a script; gives its output, fails on an error.
QString shell(const QString& db, const QString& script)
{
    QProcess p;
    p.start(g_sqlite3, {QStringLiteral("-bail"), db});
    if (!p.waitForStarted(-1))
        fail(QStringLiteral("cannot run sqlite3"));
    p.write(script.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 || !err.trimmed().isEmpty())
        fail(QStringLiteral("sqlite3 on %1: %2").arg(db, err.trimmed()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

void writeFile(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0)
        fail(QStringLiteral("cannot write %1").arg(path));
}

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(path));
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

qint64 filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden).size(); }

QString iso(const QDate& d) { return d.toString(Qt::ISODate); }

// A fresh copy in dir, prepared; gives the seconds it took.
double prepare(const QString& source, const QString& dir)
{
    const qint64 t0 = nowNs();
    QDir(dir).removeRecursively();
    const QString docs = dir + QStringLiteral("/documents");
    if (!QDir().mkpath(docs))
        fail(QStringLiteral("cannot make %1").arg(docs));
    const QString db = dir + QStringLiteral("/merrowind.db");
    if (QProcess::execute(QStringLiteral("cp"), {source, db}) != 0)
        fail(QStringLiteral("cannot copy %1").arg(source));
    // A database made by an older mw_benchgen: the copy is brought to the current layout.
    try {
        const mw::UpgradeReport up = mw::upgradeDatabase(mw::DatabaseLocation::parse(dir));
        if (up.from != up.to)
            std::printf("  copy upgraded from layout %d to %d\n", up.from, up.to);
    } catch (const mw::DbError& e) {
        fail(QStringLiteral("cannot upgrade the copy: ") + e.message());
    }
    const QDate today = QDate::currentDate();
    shell(db, QStringLiteral("BEGIN;\n"
                             "UPDATE applicants SET PurgeDate = '%1', DoNotPurge = 0;\n"
                             "UPDATE applicants SET PurgeDate = '%2', RIF = 0, NotRehire = 0 WHERE rid % 10 = 0;\n"
                             "UPDATE settings SET FileLocation = '%3/', FileExt = 'pdf', PurgeDays = 180, "
                             "DeleteInvalid = 1;\n"
                             "COMMIT;\n"
                             ".headers off\n.mode list\n"
                             ".output %4/purged.txt\n"
                             "SELECT ApplicantID || '.pdf' FROM applicants WHERE rid % 10 = 0 ORDER BY rid;\n"
                             ".output %4/kept.txt\n"
                             "SELECT ApplicantID || '.pdf' FROM applicants WHERE rid % 10 = 5 ORDER BY rid;\n"
                             ".output stdout\n")
                  .arg(iso(today.addDays(180)), iso(today.addDays(-30)), docs, dir));
    // The documents: 1 KB each, last changed 400 days ago.
    const QByteArray body(1024, 'x');
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 400L * 24 * 3600;
    times[1] = times[0];
    const QByteArray docsName = QFile::encodeName(docs);
    const int dfd = ::open(docsName.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd < 0)
        fail(QStringLiteral("cannot open %1").arg(docs));
    for (const QString& list : {QStringLiteral("purged.txt"), QStringLiteral("kept.txt")})
        for (const QString& name : readLines(dir + QLatin1Char('/') + list)) {
            const QByteArray n = QFile::encodeName(name);
            const int fd = ::openat(dfd, n.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::write(fd, body.constData(), size_t(body.size())) != body.size() ||
                ::futimens(fd, times) != 0)
                fail(QStringLiteral("cannot write %1").arg(name));
            ::close(fd);
        }
    ::close(dfd);
    ::sync(); // what preparing wrote is on the disk before anything is timed
    return double(nowNs() - t0) / 1e9;
}

struct Counts
{
    qint64 applicants = 0;
    qint64 applications = 0;
    qint64 documents = 0;
};

Counts countsOf(const QString& dir)
{
    const QStringList v = shell(dir + QStringLiteral("/merrowind.db"),
                                QStringLiteral("SELECT COUNT(*) FROM applicants;\nSELECT COUNT(*) FROM applications;\n"))
                              .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return {v.value(0).toLongLong(), v.value(1).toLongLong(), filesIn(dir + QStringLiteral("/documents"))};
}

int g_missed = 0;

void line(const char* what, const QString& value, const QString& target = {}, bool ok = true)
{
    if (!ok)
        ++g_missed;
    std::printf("%-58s %16s", what, qPrintable(value));
    if (!target.isEmpty())
        std::printf("   target %s  %s", qPrintable(target), ok ? "ok" : "MISSED");
    std::printf("\n");
    std::fflush(stdout);
}

QString secs(double s) { return QString::asprintf("%.2f s", s); }
QString mb(double m) { return QString::asprintf("%.1f MB", m); }
QString num(qint64 n) { return QString::number(n); }

struct PurgeRun
{
    Timed child;
    double commandSeconds = 0;
    double openSeconds = 0;
    qint64 startNs = 0, endNs = 0;
    QString outcome;
    QMap<QString, qint64> counts;
    struct Step
    {
        qint64 startNs, endNs;
        int slices;
        double cpu; // user and system time
        QString label;
        double seconds() const { return double(endNs - startNs) / 1e9; }
    };
    QList<Step> steps;
    QString error;
};

PurgeRun runPurge(const QString& self, const QString& dir)
{
    PurgeRun r;
    r.child = runTimed(self, {QStringLiteral("--purge-only"), dir}, dir + QStringLiteral("/purge"));
    for (const QString& l : r.child.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString head = l.section(QLatin1Char(' '), 0, 0);
        const QString rest = l.section(QLatin1Char(' '), 1);
        if (head == QLatin1String("START"))
            r.startNs = rest.toLongLong();
        else if (head == QLatin1String("END"))
            r.endNs = rest.toLongLong();
        else if (head == QLatin1String("OPEN"))
            r.openSeconds = rest.toDouble();
        else if (head == QLatin1String("OUTCOME"))
            r.outcome = rest;
        else if (head == QLatin1String("COUNT"))
            r.counts.insert(rest.section(QLatin1Char(' '), 1), rest.section(QLatin1Char(' '), 0, 0).toLongLong());
        else if (head == QLatin1String("STEP"))
            r.steps.append({rest.section(QLatin1Char(' '), 0, 0).toLongLong(),
                            rest.section(QLatin1Char(' '), 1, 1).toLongLong(), rest.section(QLatin1Char(' '), 2, 2).toInt(),
                            rest.section(QLatin1Char(' '), 3, 3).toDouble(), rest.section(QLatin1Char(' '), 4)});
        else if (head == QLatin1String("ERROR"))
            r.error = rest;
    }
    r.commandSeconds = double(r.endNs - r.startNs) / 1e9;
    if (r.child.status != 0 || r.outcome != QLatin1String("done"))
        fail(QStringLiteral("the purge in %1 ended %2 (status %3): %4").arg(dir, r.outcome).arg(r.child.status).arg(r.error));
    return r;
}

double documentSeconds(const PurgeRun& r)
{
    for (const auto& st : r.steps)
        if (st.label.startsWith(QLatin1String("Old scanned documents")))
            return st.seconds();
    return 0;
}

void printPurge(const char* title, const PurgeRun& r)
{
    std::printf("\n%s\n", title);
    line("  child process, wall (start, open, log on, purge, exit)", secs(r.child.seconds));
    line("    processor time (user + system)", secs(r.child.cpuSeconds));
    line("    open and log on", secs(r.openSeconds));
    line("    PurgeFilesCommand", secs(r.commandSeconds));
    for (const auto& st : r.steps)
        if (st.seconds() >= 0.005)
            line(qPrintable(QStringLiteral("      ") + st.label.left(50)),
                 // The documents report progress per file, the statements per slice.
                 (st.slices > 0 && !st.label.startsWith(QLatin1String("Old scanned documents"))
                      ? QStringLiteral("%1 slices, ").arg(st.slices)
                      : QString()) +
                     secs(st.seconds()) + QString::asprintf(" (cpu %.1f)", st.cpu));
    for (auto it = r.counts.cbegin(); it != r.counts.cend(); ++it)
        line(qPrintable(QStringLiteral("    ") + it.key()), num(it.value()));
    line("  peak memory (GNU time, the child's own)", mb(r.child.peakMb), QStringLiteral("< 200 MB"),
         r.child.peakMb < 200);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// What every run must leave: the purged applicants gone with their documents and
// applications, everyone else and their documents there.
void check(const char* what, const QString& dir, const Counts& before, const Counts& after, qint64 purged,
           qint64 applicationsGone)
{
    const bool ok = after.applicants == before.applicants - purged && after.documents == before.documents - purged &&
                    after.applications == before.applications - applicationsGone;
    line(what,
         QStringLiteral("%1 / %2 / %3").arg(num(after.applicants), num(after.applications), num(after.documents)),
         QStringLiteral("applicants / applications / documents left as expected"), ok);
    for (const QString& name : readLines(dir + QStringLiteral("/kept.txt")).mid(0, 1000))
        if (!QFileInfo::exists(dir + QStringLiteral("/documents/") + name))
            fail(QStringLiteral("%1: the document of an applicant who stays is gone: %2").arg(dir, name));
}

int driver(const QString& self, const QString& workDir, const QString& source, bool withSaver, bool withFloor,
           bool keep)
{
    g_sqlite3 = findProgram(QStringLiteral("sqlite3"));
    if (g_sqlite3.isEmpty())
        fail(QStringLiteral("the sqlite3 shell is not installed"));
    if (!QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable())
        fail(QStringLiteral("GNU time is not installed (Debian package time)"));
    if (!QFileInfo(source).isFile())
        fail(QStringLiteral("no database %1 (make it with mw_benchgen)").arg(source));
    QDir().mkpath(workDir);

    std::printf("source %s (read only; each run on its own copy in %s)\n", qPrintable(source), qPrintable(workDir));
    const QString aloneDir = workDir + QStringLiteral("/alone");
    line("prepare a copy (cp, SQL, 200,000 documents, sync)", secs(prepare(source, aloneDir)));
    const Counts before = countsOf(aloneDir);
    const qint64 purgedExpected = readLines(aloneDir + QStringLiteral("/purged.txt")).size();
    line("  applicants / applications / documents",
         QStringLiteral("%1 / %2 / %3").arg(num(before.applicants), num(before.applications), num(before.documents)));
    line("  applicants past their purge date", num(purgedExpected));

    // ---- 1. the program alone
    const PurgeRun alone = runPurge(self, aloneDir);
    printPurge("1. Purge Files, the program alone", alone);
    const qint64 appsGone = alone.counts.value(QStringLiteral("Applications Deleted"));
    check("  left in the database", aloneDir, before, countsOf(aloneDir), purgedExpected, appsGone);
    line("  records deleted", num(alone.counts.value(QStringLiteral("Records Deleted"))),
         QStringLiteral("= ") + num(purgedExpected),
         alone.counts.value(QStringLiteral("Records Deleted")) == purgedExpected);
    line("  files deleted", num(alone.counts.value(QStringLiteral("Files Deleted"))),
         QStringLiteral("= ") + num(purgedExpected), alone.counts.value(QStringLiteral("Files Deleted")) == purgedExpected);
    if (!keep)
        QDir(aloneDir).removeRecursively();

    // ---- 2. the program while another workstation saves
    if (withSaver) {
        const QString dir = workDir + QStringLiteral("/saver");
        std::printf("\n");
        line("prepare a copy", secs(prepare(source, dir)));
        const QString stop = dir + QStringLiteral("/stop");
        QProcess s;
        s.setStandardErrorFile(dir + QStringLiteral("/saver.err"));
        s.start(self, {QStringLiteral("--saver"), dir, stop});
        if (!s.waitForStarted(-1))
            fail(QStringLiteral("cannot start the saver"));
        QByteArray saverOut;
        while (!saverOut.contains("READY\n")) {
            if (!s.waitForReadyRead(120000))
                fail(QStringLiteral("the saver did not start: ") + QString::fromUtf8(saverOut));
            saverOut += s.readAllStandardOutput();
        }
        QThread::msleep(1000); // a few saves before the purge, for reference
        const PurgeRun withSaves = runPurge(self, dir);
        QThread::msleep(1000);
        writeFile(stop, QStringLiteral("stop\n"));
        if (!s.waitForFinished(60000))
            fail(QStringLiteral("the saver did not stop"));
        saverOut += s.readAllStandardOutput();
        printPurge("2. Purge Files while another workstation saves every 200 ms", withSaves);
        check("  left in the database", dir, before, countsOf(dir), purgedExpected, appsGone);

        std::vector<double> during, outside;
        int failures = 0;
        QMap<QString, QString> lastPhone;
        QStringList failLines;
        for (const QString& l : QString::fromUtf8(saverOut).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = l.split(QLatin1Char(' '));
            if (f.value(0) != QLatin1String("SAVE") && f.value(0) != QLatin1String("FAIL"))
                continue;
            const qint64 t0 = f.value(1).toLongLong();
            const double ms = f.value(2).toDouble();
            const qint64 t1 = t0 + qint64(ms * 1e6);
            const bool overlaps = t1 >= withSaves.startNs && t0 <= withSaves.endNs;
            if (f[0] == QLatin1String("FAIL")) {
                ++failures;
                failLines << l;
                continue;
            }
            (overlaps ? during : outside).push_back(ms);
            lastPhone.insert(f.value(3), l.section(QLatin1Char(' '), 4));
        }
        // The saves by the purge's step they started in.
        for (const auto& st : withSaves.steps) {
            std::vector<double> in;
            for (const QString& l : QString::fromUtf8(saverOut).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QStringList f = l.split(QLatin1Char(' '));
                if ((f.value(0) == QLatin1String("SAVE") || f.value(0) == QLatin1String("FAIL")) &&
                    f.value(1).toLongLong() >= st.startNs && f.value(1).toLongLong() < st.endNs)
                    in.push_back(f.value(2).toDouble());
            }
            if (!in.empty())
                line(qPrintable(QStringLiteral("    saves in: ") + st.label.left(44)),
                     QString::asprintf("%zu, med %.0f, max %.0f ms", in.size(), median(in),
                                       *std::max_element(in.begin(), in.end())));
        }
        const double longest = during.empty() ? 0 : *std::max_element(during.begin(), during.end());
        line("  saves during the purge", num(qint64(during.size())), QStringLiteral("> 0"), !during.empty());
        line("  save wait during the purge, median", QString::asprintf("%.1f ms", median(during)));
        line("  save wait during the purge, longest", QString::asprintf("%.1f ms", longest), QStringLiteral("< 2000 ms"),
             longest < 2000);
        line("  saves before and after it (median)",
             QStringLiteral("%1 (%2 ms)").arg(outside.size()).arg(median(outside), 0, 'f', 1));
        line("  saves that failed", num(failures), QStringLiteral("none"), failures == 0);
        for (const QString& l : failLines.mid(0, 5))
            std::printf("    %s\n", qPrintable(l));
        // Every save is in the database.
        QString sql;
        for (auto it = lastPhone.cbegin(); it != lastPhone.cend(); ++it)
            sql += QStringLiteral("SELECT COUNT(*) FROM applicants WHERE ApplicantID = '%1' AND Phone = '%2';\n")
                       .arg(it.key(), it.value());
        qint64 kept = 0;
        if (!sql.isEmpty())
            for (const QString& v : shell(dir + QStringLiteral("/merrowind.db"), sql).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                kept += v.toLongLong();
        line("  saved applicants whose last save is in the database",
             QStringLiteral("%1 of %2").arg(kept).arg(lastPhone.size()), QStringLiteral("all"), kept == lastPhone.size());
        if (!keep)
            QDir(dir).removeRecursively();
    }

    // ---- 3. the floor
    if (withFloor) {
        const QString dir = workDir + QStringLiteral("/floor");
        std::printf("\n");
        line("prepare a copy", secs(prepare(source, dir)));
        const QString today = iso(QDate::currentDate());
        // The program's cache and temporary store; each statement commits by itself.
        writeFile(dir + QStringLiteral("/floor.sql"),
                  QStringLiteral("PRAGMA journal_mode=DELETE;\nPRAGMA cache_size=-32768;\nPRAGMA temp_store=MEMORY;\n"
                                 ".timer on\n"
                                 "UPDATE applicants SET PurgeDate = NotRehireExpires WHERE NotRehire = 1 AND "
                                 "PurgeDate <> '' AND PurgeDate < NotRehireExpires;\n"
                                 "UPDATE applicants SET PurgeDate = RIFExpires WHERE RIF = 1 AND PurgeDate <> '' AND "
                                 "PurgeDate < RIFExpires;\n"
                                 "DELETE FROM applicants WHERE PurgeDate <> '' AND PurgeDate <= '%1' AND "
                                 "(DoNotPurge = 0 OR DoNotPurge IS NULL);\n"
                                 "SELECT changes();\n"
                                 "DELETE FROM applications WHERE NOT EXISTS (SELECT 1 FROM requisitions r WHERE "
                                 "r.ReqNumber = applications.ReqNumber);\n"
                                 "SELECT changes();\n"
                                 "DELETE FROM applications WHERE NOT EXISTS (SELECT 1 FROM applicants a WHERE "
                                 "a.ApplicantID = applications.ApplicantID);\n"
                                 "SELECT changes();\n")
                      .arg(today));
        const Timed sql = runTimed(g_sqlite3, {QStringLiteral("-bail"), dir + QStringLiteral("/merrowind.db")},
                                   dir + QStringLiteral("/floor-sql"), dir + QStringLiteral("/floor.sql"));
        if (sql.status != 0)
            fail(QStringLiteral("the floor's SQL failed; see %1/floor-sql.err").arg(dir));
        const Timed rm = runTimed(QStringLiteral("/bin/sh"),
                                  {QStringLiteral("-c"), QStringLiteral("xargs rm -f < ../purged.txt")},
                                  dir + QStringLiteral("/floor-rm"), {}, dir + QStringLiteral("/documents"));
        if (rm.status != 0)
            fail(QStringLiteral("the floor's rm failed"));
        const QStringList out = sql.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList times, changes;
        for (const QString& l : out)
            (l.startsWith(QLatin1String("Run Time:")) ? times : changes) << l;
        changes.removeAll(QStringLiteral("delete")); // the journal_mode answer
        const double floorSeconds = sql.seconds + rm.seconds;
        std::printf("\n3. The floor: the sqlite3 shell's set-based statements, then xargs rm -f of the list\n");
        line("  sqlite3 shell, wall", secs(sql.seconds));
        // One "Run Time" line per statement after .timer on, the changes() queries included.
        const char* names[] = {"raise to NotRehireExpires",         "raise to RIFExpires",
                               "delete applicants",                 nullptr,
                               "delete applications, no requisition", nullptr,
                               "delete applications, no applicant", nullptr};
        for (int i = 0; i < times.size() && i < int(std::size(names)); ++i) {
            const QString real = times[i].section(QStringLiteral("real "), 1).section(QLatin1Char(' '), 0, 0);
            if (names[i])
                line(qPrintable(QStringLiteral("    ") + QLatin1String(names[i])), secs(real.toDouble()));
        }
        line("    applicants / applications deleted (changes())",
             QStringLiteral("%1 / %2 + %3").arg(changes.value(0), changes.value(1), changes.value(2)));
        line("    processor time (user + system)", secs(sql.cpuSeconds));
        line("  xargs rm -f, wall", secs(rm.seconds));
        line("    processor time (user + system)", secs(rm.cpuSeconds));
        line("  floor, total", secs(floorSeconds));
        line("  peak memory (sqlite3 / rm)", mb(sql.peakMb) + QStringLiteral(" / ") + mb(rm.peakMb));
        const qint64 floorApps = changes.value(1).toLongLong() + changes.value(2).toLongLong();
        check("  left in the database", dir, before, countsOf(dir), purgedExpected, floorApps);
        line("  same applications deleted as the program", num(floorApps), QStringLiteral("= ") + num(appsGone),
             floorApps == appsGone);

        std::printf("\nsummary\n");
        line("program / floor, PurgeFilesCommand", QString::asprintf("%.2f", alone.commandSeconds / floorSeconds),
             QStringLiteral("<= 2"), alone.commandSeconds <= 2 * floorSeconds);
        line("program / floor, whole child process", QString::asprintf("%.2f", alone.child.seconds / floorSeconds));
        const double programDb = alone.commandSeconds - documentSeconds(alone);
        double documentCpu = 0;
        for (const auto& st : alone.steps)
            if (st.label.startsWith(QLatin1String("Old scanned documents")))
                documentCpu = st.cpu;
        line("processor time, documents part: program / xargs rm",
             QString::asprintf("%.1f s / %.1f s", documentCpu, rm.cpuSeconds));
        line("processor time, database part: program / sqlite3",
             QString::asprintf("%.1f s / %.1f s", alone.child.cpuSeconds - documentCpu, sql.cpuSeconds));
        line("program / floor, database part (all but the documents)",
             QString::asprintf("%.2f  (%.2f s / %.2f s)", programDb / sql.seconds, programDb, sql.seconds));
        line("program / floor, documents part",
             QString::asprintf("%.2f  (%.2f s / %.2f s)", documentSeconds(alone) / rm.seconds, documentSeconds(alone),
                               rm.seconds));
        if (!keep)
            QDir(dir).removeRecursively();
    }
    line("peak memory of the program's purge", mb(alone.child.peakMb), QStringLiteral("< 200 MB"),
         alone.child.peakMb < 200);
    std::printf("%s\n", g_missed == 0 ? "all targets met" : qPrintable(QStringLiteral("%1 target(s) missed").arg(g_missed)));
    return g_missed == 0 ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--purge-only"))
        return purgeOnly(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--saver"))
        return saver(app, args[2], args[3]);

    QString workDir;
    QString source = QStringLiteral("/tmp/mwbench/merrowind.db");
    bool withSaver = true, withFloor = true, keep = false, bad = false;
    for (int i = 1; i < args.size() && !bad; ++i) {
        if (args[i] == QLatin1String("--source") && i + 1 < args.size())
            source = args[++i];
        else if (args[i] == QLatin1String("--no-saver"))
            withSaver = false;
        else if (args[i] == QLatin1String("--no-floor"))
            withFloor = false;
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else if (!args[i].startsWith(QLatin1String("--")) && workDir.isEmpty())
            workDir = args[i];
        else
            bad = true;
    }
    if (bad || workDir.isEmpty()) {
        std::fprintf(stderr, "usage: mw_benchpurge WORKDIR [--source DB] [--no-saver] [--no-floor] [--keep]\n");
        return 2;
    }
    return driver(QCoreApplication::applicationFilePath(), QDir(workDir).absolutePath(), QFileInfo(source).absoluteFilePath(),
                  withSaver, withFloor, keep);
}
