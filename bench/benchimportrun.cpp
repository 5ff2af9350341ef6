// mw_benchimportrun: the import of a large HR export, end to end, against the
// database's own floor.
//
//   mw_benchimportrun WORKDIR [--lines N] [--applicants N] [--requisitions N]
//                     [--scan-applicants N] [--documents N] [--no-sqlite]
//                     [--postgres URL | --postgres private] [--merrowind PATH]
//
// 1. Writes an all-data export (tab-separated, one header line, the 27 columns of
//    the demonstration's layout) into WORKDIR, or reuses the one there of the same
//    counts. Each applicant is on about lines/applicants lines with the same
//    values, each requisition on about lines/requisitions, every pair of the two
//    at most once; the lines are in a shuffled order.
// 2. Makes an empty database with the demonstration's import layout, no mail, no
//    web delivery and a documents directory of its own, and one user (BENCH,
//    password "bench", the every-right profile 0).
// 3. Times `merrowind run import all FILE --yes` as a child process (wall time,
//    the child's peak memory), then the same file again (every record an update).
// 4. The floor, on a fresh copy of the same empty database: the database's own
//    shell (sqlite3, or psql) loads the file into a raw table and stores it with
//    three set-based upserts; then the same again on the filled tables.
// 5. Scan: extra applicants are added with one statement up to --scan-applicants,
//    empty documents are made for --documents of them, and `merrowind run scan
//    --yes` is timed (twice: the second finds nothing to change).
//
// With --postgres the import, the floor and the scan also run on PostgreSQL: the
// URL names a server and a database to connect to, next to which two databases
// (mwbench_import, mwbench_floor) are made and dropped afterwards; "private"
// starts a throw-away server as the tests do.

#include "datastore/createdatabase.h"
#include "datastore/database.h"
#include "datastore/passwords.h"
#include "datastore/schema.h"

#ifdef MW_BENCH_PRIVATE_POSTGRES
#include "pgcluster.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using SteadyClock = std::chrono::steady_clock;

double secondsSince(SteadyClock::time_point t0)
{
    return std::chrono::duration<double>(SteadyClock::now() - t0).count();
}

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "mw_benchimportrun: %s\n", qPrintable(why));
    std::exit(1);
}

const char* const kUser = "BENCH";
const char* const kPassword = "bench";

// ---------------------------------------------------------------------------
// The export file

// A small generator whose sequence is the same on every platform.
class Rng
{
public:
    explicit Rng(std::uint64_t start)
        : m_s(start)
    {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_s += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[below(static_cast<int>(N))];
    }

private:
    std::uint64_t m_s;
};

// The texts are Windows-1252 bytes, as the HR system writes them.
const char* const kLast[] = {"Smith",  "Johnson", "Williams", "Brown",   "Jones",    "Garcia",  "Miller",
                             "Davis",  "Wilson",  "Anderson", "Taylor",  "Moore",    "Jackson", "Martin",
                             "Lee",    "Thompson", "White",   "Harris",  "Clark",    "Lewis",   "Walker",
                             "Young",  "Allen",   "King",     "Wright",  "Scott",    "Nguyen",  "Hill",
                             "Green",  "Adams",   "Nelson",   "Baker",   "Kowalski", "Okafor",  "Petrov",
                             "Chen",   "Patel",   "O'Connor", "D'Angelo", "O'Brien", "M\xFCller", "Pe\xF1" "a",
                             "Lef\xE8vre", "S\xF8rensen", "Ib\xE1\xF1" "ez", "Van der Berg", "Lindqvist"};
const char* const kFirst[] = {"James",   "Mary",    "Robert",  "Patricia", "Michael", "Linda",  "David",
                              "Barbara", "William", "Susan",   "Joseph",   "Maria",   "Thomas", "Karen",
                              "Daniel",  "Lisa",    "Mark",    "Nancy",    "Kevin",   "Laura",  "Wei",
                              "Aisha",   "Carlos",  "Fatima",  "Seamus",   "Jos\xE9", "Zo\xEB", "Ren\xE9" "e",
                              "Andr\xE9", "Luc\xED" "a", "Bj\xF6rn"};
const char* const kStreets[] = {"Main St", "Oak Ave", "Maple Dr", "Lakeview Rd", "Park Pl", "Cedar Ln",
                                "Washington Ave", "Elm St", "River Rd", "Hillcrest Dr", "Church St",
                                "King's Ct", "Willow Way", "Mill Pond Rd"};
const char* const kUnits[] = {"Apt 1", "Apt 2B", "Apt 3C", "Unit 12", "Apt 204", "Suite 5", "Lower", "Upper"};
struct City
{
    const char* name;
    const char* state;
    const char* zip;
};
const City kCities[] = {{"Madison", "WI", "537"},  {"Middleton", "WI", "535"}, {"Sun Prairie", "WI", "535"},
                        {"Verona", "WI", "535"},   {"Milwaukee", "WI", "532"}, {"Rockford", "IL", "611"},
                        {"Dubuque", "IA", "520"},  {"Coeur d'Alene", "ID", "838"}};
const char* const kTitles[] = {"Accountant II",     "Payroll Specialist", "Budget Analyst",  "Clerk Typist III",
                               "Electrician",       "HVAC Technician",    "Custodian",       "Public Health Nurse",
                               "Epidemiologist",    "Systems Analyst",    "Web Developer",   "Police Officer",
                               "Records Clerk",     "Park Ranger",        "Groundskeeper",   "Recreation Leader",
                               "Caf\xE9 Supervisor", "Nutritionist (WIC)", "Crime Analyst",  "Help Desk Technician"};
const char* const kDepartments[] = {"Finance",  "Human Resources", "Facilities Management", "Building Services",
                                    "Public Health", "Environmental Health", "Information Technology", "Police",
                                    "Emergency Communications", "Parks", "Recreation"};
const char* const kFte[] = {"1.0", "1.0", "1.0", "0.75", "0.5"};

QByteArray num(int width, long long value)
{
    return QByteArray::number(value).rightJustified(width, '0');
}

// A day as the HR system writes it: yyyy-mm-dd or mm/dd/yyyy.
QByteArray day(Rng& rng, int fromYear, int years)
{
    const int y = fromYear + rng.below(years);
    const int m = 1 + rng.below(12);
    const int d = 1 + rng.below(28);
    if (rng.chance(50))
        return num(4, y) + '-' + num(2, m) + '-' + num(2, d);
    return num(2, m) + '/' + num(2, d) + '/' + num(4, y);
}

QByteArray applicantId(long long n) { return num(8, n); }
QByteArray reqNumber(int n) { return 'R' + num(6, n); }

// Columns 1-13 and 15-16 of applicant a (0-based): the same on every line of his.
QByteArrayList applicantValues(int a)
{
    Rng rng(0xA11CE000ULL + std::uint64_t(a));
    QByteArrayList v;
    v << applicantId(a + 1);
    v << QByteArray(rng.pick(kLast)) + ", " + rng.pick(kFirst) + ' ' + char('A' + rng.below(26)) + '.';
    v << num(9, 100000000LL + rng.below(899999999));
    v << "(608) 555-" + num(4, rng.below(10000));
    v << QByteArray::number(1 + rng.below(9999)) + ' ' + rng.pick(kStreets);
    v << (rng.chance(30) ? QByteArray(rng.pick(kUnits)) : QByteArray());
    v << (rng.chance(2) ? QByteArray("c/o ") + rng.pick(kLast) : QByteArray());
    v << QByteArray();
    const City& c = rng.pick(kCities);
    v << c.name << c.state << QByteArray(c.zip) + num(2, rng.below(100));
    const int purge = rng.below(100); // mostly none, some later, a few past
    v << (purge < 70 ? QByteArray() : purge < 90 ? day(rng, 2027, 3) : day(rng, 2019, 4));
    const int vet = rng.below(100);
    v << (vet < 8 ? "V" : vet < 10 ? "VET" : vet < 15 ? "N" : "");
    const int rif = rng.below(100);
    v << (rif < 3 ? "R" : rif < 4 ? "RIF" : "");
    v << (rif < 3 ? day(rng, 2027, 2) : QByteArray());
    return v;
}

// Columns 17-27 of requisition r (0-based).
QByteArrayList requisitionValues(int r)
{
    Rng rng(0x5EC000ULL + std::uint64_t(r));
    Rng contactRng(0xC0C0ULL + std::uint64_t(rng.below(300)));
    const QByteArray last = contactRng.pick(kLast);
    const QByteArray first = contactRng.pick(kFirst);
    QByteArray mail = QByteArray(first).toLower().left(1) + QByteArray(last).toLower().replace('\'', "").replace(' ', "") +
                      "@example.org";
    if (contactRng.chance(20))
        mail += ";hiring@example.org";
    QByteArrayList v;
    v << reqNumber(r + 1);
    v << first + ' ' + last;
    v << "PG" + num(2, r % 40);
    v << rng.pick(kTitles);
    v << rng.pick(kFte);
    v << "JC" + num(4, rng.below(700));
    v << rng.pick(kDepartments);
    v << "(608) 555-01" + num(2, contactRng.below(100));
    v << mail;
    v << "City Hall, Room " + QByteArray::number(100 + contactRng.below(400));
    v << day(rng, 2025, 2);
    return v;
}

// The file of the counts in dir: made when missing, through a temporary name so
// that an interrupted run leaves nothing to reuse.
QString exportFile(const QString& dir, int lines, int applicants, int requisitions)
{
    const QString path =
        QStringLiteral("%1/export-%2-%3-%4.txt").arg(dir).arg(lines).arg(applicants).arg(requisitions);
    if (QFileInfo(path).size() > 0)
        return path;
    const auto t0 = SteadyClock::now();
    std::printf("writing %s ...\n", qPrintable(path));
    std::fflush(stdout);

    // Line i is the k-th line of applicant a; his requisitions are k places apart,
    // so the pairs differ. The order of the lines is shuffled.
    std::vector<int> order(static_cast<std::size_t>(lines));
    for (int i = 0; i < lines; ++i)
        order[std::size_t(i)] = i;
    Rng shuffle(20260301);
    for (std::size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[std::size_t(shuffle.below(static_cast<int>(i)))]);

    std::vector<QByteArray> applicantText(static_cast<std::size_t>(applicants));
    for (int a = 0; a < applicants; ++a)
        applicantText[std::size_t(a)] = applicantValues(a).join('\t');
    std::vector<QByteArray> reqText(static_cast<std::size_t>(requisitions));
    for (int r = 0; r < requisitions; ++r)
        reqText[std::size_t(r)] = requisitionValues(r).join('\t');

    QFile f(path + QStringLiteral(".tmp"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1: %2").arg(f.fileName(), f.errorString()));
    QByteArray block = "ID\tName\tSSN\tPhone\tAddress 1\tAddress 2\tAddress 3\tAddress 4\tCity\tState\tZip\t"
                       "Purge\tVet\tApplied\tRIF\tRIF Expires\tReq\tContact\tPosting\tTitle\tFTE\tJob Code\t"
                       "Department\tContact Phone\tE-Mail\tMail\tPosted\r\n";
    for (int i : order) {
        const int a = i % applicants;
        const int k = i / applicants;
        const int r = int((std::uint64_t(a) * 2654435761ULL + std::uint64_t(k)) % std::uint64_t(requisitions));
        Rng lineRng(0x11E000ULL + std::uint64_t(i));
        const QByteArray& app = applicantText[std::size_t(a)];
        // The applied day goes between column 13 and column 15.
        qsizetype tab = -1;
        for (int n = 0; n < 13; ++n)
            tab = app.indexOf('\t', tab + 1);
        block += QByteArrayView(app).first(tab + 1);
        block += day(lineRng, 2024, 2);
        block += '\t';
        block += QByteArrayView(app).sliced(tab + 1);
        block += '\t';
        block += reqText[std::size_t(r)];
        block += "\r\n";
        if (block.size() > (1 << 22)) {
            f.write(block);
            block.clear();
        }
    }
    f.write(block);
    if (!f.flush())
        fail(QStringLiteral("cannot write %1: %2").arg(f.fileName(), f.errorString()));
    f.close();
    QFile::remove(path);
    if (!QFile::rename(f.fileName(), path))
        fail(QStringLiteral("cannot rename %1").arg(f.fileName()));
    std::printf("written in %.1f s (%.1f MB)\n", secondsSince(t0), double(QFileInfo(path).size()) / 1e6);
    return path;
}

// ---------------------------------------------------------------------------
// Child processes

struct Timed
{
    int status = -1;     // the exit status, -1 when it did not end normally
    double seconds = 0;  // wall time
    double peakMb = 0;   // the child's peak resident memory
};

QString findProgram(const QString& name, const QStringList& extraDirs = {})
{
    QStringList dirs = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    dirs += extraDirs;
    for (const QString& d : dirs) {
        const QFileInfo f(d + QLatin1Char('/') + name);
        if (f.isFile() && f.isExecutable())
            return f.absoluteFilePath();
    }
    return {};
}

QString timeProgram()
{
    if (!QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable())
        fail(QStringLiteral("GNU time is not installed (Debian package time)"));
    return QStringLiteral("/usr/bin/time");
}

// Runs argv with stdin from inPath (or /dev/null), stdout and stderr to logBase.out
// and logBase.err, and the extra environment; times it. The peak memory comes from
// GNU time, which starts the program from its own small process: a child started
// straight from this one would count this process's memory as its own.
Timed runTimed(QStringList argv, const QString& logBase, const QStringList& env = {},
               const QString& inPath = QString())
{
    const QString memory = logBase + QStringLiteral(".maxrss");
    argv = QStringList{timeProgram(), QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("-o"), memory} + argv;
    std::vector<QByteArray> args;
    for (const QString& a : argv)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> cargs;
    for (QByteArray& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);

    std::vector<QByteArray> envs;
    for (char** e = environ; *e; ++e) {
        const QByteArray entry(*e);
        bool replaced = entry.startsWith("MERROWIND_");
        for (const QString& mine : env)
            if (entry.startsWith(mine.section(QLatin1Char('='), 0, 0).toLocal8Bit() + '='))
                replaced = true;
        if (!replaced)
            envs.push_back(entry);
    }
    for (const QString& mine : env)
        envs.push_back(mine.toLocal8Bit());
    std::vector<char*> cenv;
    for (QByteArray& e : envs)
        cenv.push_back(e.data());
    cenv.push_back(nullptr);

    const QByteArray in = inPath.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(inPath);
    const QByteArray out = QFile::encodeName(logBase + QStringLiteral(".out"));
    const QByteArray err = QFile::encodeName(logBase + QStringLiteral(".err"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    Timed t;
    const auto t0 = SteadyClock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        fail(QStringLiteral("cannot run %1").arg(argv.first()));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            fail(QStringLiteral("waitpid failed"));
    t.seconds = secondsSince(t0);
    t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile m(memory);
    if (m.open(QIODevice::ReadOnly)) {
        // The last line is the figure; a line before it tells of a signal.
        const QList<QByteArray> lines = m.readAll().trimmed().split('\n');
        t.peakMb = lines.last().trimmed().toDouble() / 1024.0;
    }
    return t;
}

QString tail(const QString& path, int lines)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QStringList all = QString::fromLocal8Bit(f.readAll()).trimmed().split(QLatin1Char('\n'));
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(QLatin1Char('\n'));
}

void mustSucceed(const Timed& t, const QString& what, const QString& logBase)
{
    if (t.status == 0)
        return;
    fail(QStringLiteral("%1 failed (exit %2):\n%3\n%4")
             .arg(what)
             .arg(t.status)
             .arg(tail(logBase + QStringLiteral(".out"), 10), tail(logBase + QStringLiteral(".err"), 10)));
}

// ---------------------------------------------------------------------------
// The databases

// A new, empty database at the location (SQLite: an empty directory; PostgreSQL:
// an empty database) with the demonstration's import layout, no mail, no web
// delivery, documents in docs and the user BENCH.
void makeDatabase(const mw::DatabaseLocation& location, const QString& docs)
{
    mw::createDatabase(location);
    mw::Database db;
    db.open(location);
    mw::Transaction tx(db);
    QStringList sets;
    QVariantList values;
    const auto set = [&](const QString& column, const QVariant& value) {
        sets << column + QStringLiteral(" = ?");
        values << value;
    };
    set(QStringLiteral("FileLocation"), docs + QLatin1Char('/'));
    set(QStringLiteral("FileExt"), QStringLiteral("pdf"));
    set(QStringLiteral("PurgeDays"), 180);
    set(QStringLiteral("InformUsers"), false);
    set(QStringLiteral("HTTPAllowSendAsWeb"), false);
    set(QStringLiteral("HTTPAllowHTTP"), false);
    set(QStringLiteral("DefaultRIFDays"), 365);
    set(QStringLiteral("NotRehireDays"), 730);
    set(QStringLiteral("DefaultMessageToDep"), QStringLiteral("Please review the attached applications."));
    set(QStringLiteral("LinesToSkip"), 1);
    set(QStringLiteral("VetCodes"), QStringLiteral("V;VET"));
    set(QStringLiteral("AppRIFCodes"), QStringLiteral("R;RIF"));
    // Tab-separated: each layout field is its column number, its length 0.
    int column = 0;
    for (const mw::FieldDef& f : mw::Schema::table(mw::TableId::Settings).fields) {
        if (!f.name.endsWith(QLatin1String("Start")))
            continue;
        set(f.name, ++column);
        set(f.name.chopped(5) + QStringLiteral("Length"), 0);
    }
    if (column != 27)
        fail(QStringLiteral("the import layout has %1 fields, not 27").arg(column));
    db.exec(QStringLiteral("UPDATE settings SET %1").arg(sets.join(QStringLiteral(", "))), values);
    db.exec(QStringLiteral("INSERT INTO users (UserID, UserPassword, UserName, SecurityID, Restricted, MainUser, "
                           "NotifyAll) VALUES (?, ?, ?, 0, 0, 0, 0)"),
            {QLatin1String(kUser), mw::passwords::hash(QLatin1String(kPassword)), QStringLiteral("Benchmark")});
    tx.commit();
}

struct Counts
{
    qint64 applicants = 0, requisitions = 0, applications = 0;
    bool operator==(const Counts&) const = default;
};

Counts countRows(const mw::DatabaseLocation& location)
{
    mw::Database db;
    db.open(location);
    const auto count = [&db](const char* table) {
        QSqlQuery q = db.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)));
        return q.next() ? q.value(0).toLongLong() : -1;
    };
    return {count("applicants"), count("requisitions"), count("applications")};
}

QString describe(const Counts& c)
{
    return QStringLiteral("%1 applicants, %2 requisitions, %3 applications")
        .arg(c.applicants)
        .arg(c.requisitions)
        .arg(c.applications);
}

// ---------------------------------------------------------------------------
// The floor: the file loaded into a raw table by the database's own shell and
// stored by three set-based upserts.

QString floorStatements(mw::Dialect dialect)
{
    const bool pg = dialect == mw::Dialect::PostgreSQL;
    const QString today = pg ? QStringLiteral("to_char(current_date, 'YYYY-MM-DD')")
                             : QStringLiteral("date('now', 'localtime')");
    const QString purgeDefault = pg ? QStringLiteral("to_char(current_date + 180, 'YYYY-MM-DD')")
                                    : QStringLiteral("date('now', 'localtime', '+180 days')");
    const auto day = [](const QString& c) {
        return QStringLiteral("(CASE WHEN %1 LIKE '____-__-__' THEN %1 WHEN %1 LIKE '__/__/____' THEN "
                              "substr(%1, 7, 4) || '-' || substr(%1, 1, 2) || '-' || substr(%1, 4, 2) END)")
            .arg(c);
    };
    const auto text = [](int c) { return QStringLiteral("NULLIF(c%1, '')").arg(c); };
    // One line per key: the lines of a record carry the same values.
    const auto oneLineEach = [pg](int key) {
        return pg ? QStringLiteral("SELECT DISTINCT ON (c%1) * FROM raw WHERE c%1 <> ''").arg(key)
                  : QStringLiteral("SELECT * FROM raw WHERE c%1 <> '' GROUP BY c%1").arg(key);
    };

    QString sql;
    sql += QStringLiteral(
               "INSERT INTO applicants (ApplicantID, Name, Soc, Phone, Address1, Address2, Address3, Address4, City, "
               "State, Zip, PurgeDate, DateLoaded, RIF, RIFExpires, DoNotPurge, VeteranPreference, Scanned, NotRehire, "
               "ModifiedBy, ModifiedDate)\n"
               "SELECT c1, %1, %2, %3, %4, %5, %6, %7, %8, %9, %10,\n"
               "  CASE WHEN rif = 1 AND rifx > purge THEN rifx ELSE purge END, %11, rif, CASE WHEN rif = 1 THEN rifx "
               "END, 0, vet, 0, 0, '%12', %11\n")
               .arg(text(2), text(3), text(4), text(5), text(6), text(7), text(8), text(9), text(10))
               .arg(text(11), today, QLatin1String(kUser));
    sql += QStringLiteral("FROM (SELECT s.*,\n"
                          "  CASE WHEN %1 > %2 THEN %1 ELSE %3 END AS purge,\n"
                          "  CASE WHEN upper(c15) IN ('R', 'RIF') THEN 1 ELSE 0 END AS rif,\n"
                          "  %4 AS rifx,\n"
                          "  CASE WHEN upper(c13) IN ('V', 'VET') THEN 1 ELSE 0 END AS vet\n"
                          "  FROM (%5) s) a\n"
                          "WHERE true\n")
               .arg(day(QStringLiteral("c12")), today, purgeDefault, day(QStringLiteral("c16")), oneLineEach(1));
    sql += QStringLiteral("ON CONFLICT (ApplicantID) DO UPDATE SET Name = excluded.Name, Soc = excluded.Soc, "
                          "Phone = excluded.Phone, Address1 = excluded.Address1, Address2 = excluded.Address2, "
                          "Address3 = excluded.Address3, Address4 = excluded.Address4, City = excluded.City, "
                          "State = excluded.State, Zip = excluded.Zip, DateLoaded = excluded.DateLoaded, "
                          "VeteranPreference = excluded.VeteranPreference, PurgeDate = excluded.PurgeDate, "
                          "RIF = excluded.RIF, RIFExpires = excluded.RIFExpires;\n\n");

    sql += QStringLiteral(
               "INSERT INTO requisitions (ReqNumber, Contact, PositionTitle, JobPostingID, DateLoaded, PositionFilled, "
               "SendFirstData, ExemptPosition, FinalSent, SelectionCriteria, MessageToDept, FTE, DatePosted, "
               "PositionUnderU, JobCode, Department, PurgeReq, ContactPhone, EMailAddress, Address, MaxFiles, "
               "SendAsHTML, SendAsEMail, Continue, ModifiedBy, ModifiedDate)\n"
               "SELECT c17, %1, %2, %3, %4, 0, 0, 0, 0, 0, (SELECT DefaultMessageToDep FROM settings LIMIT 1), %5, "
               "COALESCE(%6, %4), 0, %7, %8, 0, %9, NULLIF(replace(c25, ';', ','), ''), %10, 0, 0, 1, 0, '%11', %4\n"
               "FROM (%12) s\nWHERE true\n")
               .arg(text(18), text(20), text(19), today, text(21), day(QStringLiteral("c27")), text(22), text(23),
                    text(24))
               .arg(text(26), QLatin1String(kUser), oneLineEach(17));
    sql += QStringLiteral("ON CONFLICT (ReqNumber) DO UPDATE SET Contact = excluded.Contact, PositionTitle = "
                          "excluded.PositionTitle, FTE = excluded.FTE, JobCode = excluded.JobCode, DatePosted = "
                          "excluded.DatePosted, Department = excluded.Department, JobPostingID = "
                          "excluded.JobPostingID;\n\n");

    sql += QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, DateLoaded, LoadedbyPS, "
                          "Reviewed, DispDate, ModifiedBy, ModifiedDate)\n"
                          "SELECT c17, c1, 0, %1, 1, 0, %2, '%3', %1 FROM raw WHERE c1 <> '' AND c17 <> ''\n"
                          "ON CONFLICT (ReqNumber, ApplicantID) DO NOTHING;\n")
               .arg(today, day(QStringLiteral("c14")), QLatin1String(kUser));
    return sql;
}

QString rawColumns()
{
    QStringList cols;
    for (int i = 1; i <= 27; ++i)
        cols << QStringLiteral("c%1 TEXT").arg(i);
    return cols.join(QStringLiteral(", "));
}

QString quoted(QString s, QChar q)
{
    s.replace(q, QString(2, q));
    return q + s + q;
}

void writeText(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0)
        fail(QStringLiteral("cannot write %1").arg(path));
}

// The sqlite3 shell's script: the connection set up as the program sets up its
// own (cache, temporary store), the raw table temporary.
QString sqliteFloorScript(const QString& file)
{
    return QStringLiteral(".bail on\n"
                          "PRAGMA cache_size=-32768;\n"
                          "PRAGMA temp_store=MEMORY;\n"
                          "CREATE TEMP TABLE raw (%1);\n"
                          ".mode tabs\n"
                          ".import --skip 1 %2 raw\n"
                          "BEGIN;\n%3COMMIT;\n")
        .arg(rawColumns(), quoted(file, QLatin1Char('"')), floorStatements(mw::Dialect::SQLite));
}

QString postgresFloorScript(const QString& file)
{
    return QStringLiteral("\\set ON_ERROR_STOP on\n"
                          "SET client_min_messages TO WARNING;\n"
                          "SET temp_buffers = '256MB';\n"
                          "SET work_mem = '64MB';\n"
                          "BEGIN;\n"
                          "CREATE TEMP TABLE raw (%1) ON COMMIT DROP;\n"
                          "\\copy raw FROM %2 WITH (FORMAT text, HEADER true, ENCODING 'WIN1252')\n"
                          "ANALYZE raw;\n"
                          "%3COMMIT;\n")
        .arg(rawColumns(), quoted(file, QLatin1Char('\'')), floorStatements(mw::Dialect::PostgreSQL));
}

// ---------------------------------------------------------------------------
// The scan: extra applicants and documents.

void addApplicants(const mw::DatabaseLocation& location, qint64 total)
{
    mw::Database db;
    db.open(location);
    QSqlQuery q = db.exec(QStringLiteral("SELECT COUNT(*) FROM applicants"));
    const qint64 have = q.next() ? q.value(0).toLongLong() : 0;
    if (have >= total)
        return;
    const bool pg = location.dialect == mw::Dialect::PostgreSQL;
    // Numbers go on after the imported ones; the names vary so the name index works as usual.
    const QString id = pg ? QStringLiteral("lpad(i::text, 8, '0')") : QStringLiteral("printf('%08d', i)");
    const QString select = QStringLiteral("SELECT %1, 'Extra' || (i % 997) || ', Applicant ' || i, '555-0100', "
                                          "'1 Main St', 'Madison', 'WI', '53703', '2030-01-01', '2026-01-01', 0, 0, 0, "
                                          "0, 0, 'BENCH', '2026-01-01'")
                               .arg(id);
    const QString insert = QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Phone, Address1, City, State, "
                                          "Zip, PurgeDate, DateLoaded, RIF, DoNotPurge, VeteranPreference, Scanned, "
                                          "NotRehire, ModifiedBy, ModifiedDate) ");
    mw::Transaction tx(db);
    if (pg)
        db.exec(insert + select + QStringLiteral(" FROM generate_series(?::bigint, ?::bigint) AS i"),
                {have + 1, total});
    else
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT ? UNION ALL SELECT i + 1 FROM n WHERE i < ?) ") +
                    insert + select + QStringLiteral(" FROM n"),
                {have + 1, total});
    tx.commit();
}

// Empty documents for `documents` of the applicants 1..applicants, spread evenly.
void makeDocuments(const QString& dir, qint64 applicants, qint64 documents)
{
    QDir().mkpath(dir);
    for (qint64 j = 0; j < documents; ++j) {
        const qint64 n = 1 + j * applicants / documents;
        const QByteArray path = QFile::encodeName(dir) + '/' + applicantId(n) + ".pdf";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            fail(QStringLiteral("cannot write %1").arg(QFile::decodeName(path)));
        ::close(fd);
    }
}

// ---------------------------------------------------------------------------
// The runs

struct Options
{
    QString work;
    int lines = 1000000;
    int applicants = 200000;
    int requisitions = 20000;
    qint64 scanApplicants = 1000000;
    qint64 documents = 200000;
    bool sqlite = true;
    QString postgres; // a URL, "private", or empty
    QString merrowind;
    QString file;
};

struct Figure
{
    QString dialect;
    QString what;
    Timed run;
    std::optional<Timed> floor;
    double ratioTarget = 0;  // 0: none
    double secondsTarget = 0; // 0: none
};

std::vector<Figure> g_figures;

void show(const Figure& f)
{
    QString line = QStringLiteral("%1 %2 %3 s, peak %4 MB")
                       .arg(f.dialect, -10)
                       .arg(f.what, -22)
                       .arg(f.run.seconds, 7, 'f', 2)
                       .arg(f.run.peakMb, 6, 'f', 1);
    if (f.floor)
        line += QStringLiteral(" | floor %1 s (peak %2 MB) | ratio %3 (target %4x)")
                    .arg(f.floor->seconds, 7, 'f', 2)
                    .arg(f.floor->peakMb, 6, 'f', 1)
                    .arg(f.run.seconds / f.floor->seconds, 5, 'f', 2)
                    .arg(f.ratioTarget, 0, 'f', 1);
    if (f.secondsTarget > 0)
        line += QStringLiteral(" | target under %1 s").arg(f.secondsTarget, 0, 'f', 0);
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// What merrowind said: its counts and results, a few lines.
void echoOutput(const QString& logBase)
{
    const QString out = tail(logBase + QStringLiteral(".out"), 12);
    for (const QString& l : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        std::printf("    | %s\n", qPrintable(l));
    std::fflush(stdout);
}

class Target
{
public:
    QString name;            // "SQLite", "PostgreSQL"
    mw::DatabaseLocation importDb, floorDb;
    QString docs;
    QString logs;

    // The shell run of the floor on floorDb; the script is written next to the logs.
    Timed floor(const Options& o, const QString& tag)
    {
        const bool pg = importDb.dialect == mw::Dialect::PostgreSQL;
        const QString script = logs + QStringLiteral("/%1-%2.sql").arg(name.toLower(), tag);
        writeText(script, pg ? postgresFloorScript(o.file) : sqliteFloorScript(o.file));
        const QString log = logs + QStringLiteral("/%1-%2").arg(name.toLower(), tag);
        Timed t;
        if (pg)
            t = runTimed({psql(), QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-d"), floorDb.url,
                          QStringLiteral("-f"), script},
                         log);
        else
            t = runTimed({sqlite3(), floorDb.sqliteFile()}, log, {}, script);
        mustSucceed(t, QStringLiteral("the floor (%1)").arg(tag), log);
        return t;
    }

    Timed merrowind(const Options& o, const QStringList& command, const QString& tag)
    {
        const QString log = logs + QStringLiteral("/%1-%2").arg(name.toLower(), tag);
        QStringList argv{o.merrowind, QStringLiteral("run")};
        argv << command
             << QStringList{QStringLiteral("--yes"), QStringLiteral("--database"),
                            importDb.dialect == mw::Dialect::PostgreSQL ? importDb.url : importDb.directory,
                            QStringLiteral("--user"), QLatin1String(kUser)};
        const Timed t = runTimed(argv, log,
                                 {QStringLiteral("MERROWIND_PASSWORD=") + QLatin1String(kPassword),
                                  QStringLiteral("QT_QPA_PLATFORM=offscreen")});
        mustSucceed(t, QStringLiteral("merrowind %1").arg(command.join(QLatin1Char(' '))), log);
        return t;
    }

    void runAll(const Options& o)
    {
        std::printf("\n== %s ==\n", qPrintable(name));
        std::fflush(stdout);
        const QStringList import{QStringLiteral("import"), QStringLiteral("all"), o.file};
        const Counts expected{o.applicants, o.requisitions, o.lines};

        Figure first{name, QStringLiteral("import"), merrowind(o, import, QStringLiteral("import1")), {}, 1.5, 0};
        echoOutput(logs + QStringLiteral("/%1-import1").arg(name.toLower()));
        first.floor = floor(o, QStringLiteral("floor1"));
        show(first);
        g_figures.push_back(first);

        Figure second{name, QStringLiteral("import again"), merrowind(o, import, QStringLiteral("import2")), {}, 2.0,
                      0};
        echoOutput(logs + QStringLiteral("/%1-import2").arg(name.toLower()));
        second.floor = floor(o, QStringLiteral("floor2"));
        show(second);
        g_figures.push_back(second);

        const Counts stored = countRows(importDb);
        const Counts floorStored = countRows(floorDb);
        std::printf("%-10s stored: %s; floor: %s\n", qPrintable(name), qPrintable(describe(stored)),
                    qPrintable(describe(floorStored)));
        if (!(stored == expected) || !(floorStored == expected))
            std::printf("%-10s NOTE: expected %s\n", qPrintable(name), qPrintable(describe(expected)));

        if (o.scanApplicants <= 0)
            return;
        auto t0 = SteadyClock::now();
        addApplicants(importDb, o.scanApplicants);
        const double adding = secondsSince(t0);
        t0 = SteadyClock::now();
        makeDocuments(docs, o.scanApplicants, o.documents);
        std::printf("%-10s scan: %lld applicants (added in %.1f s), %lld documents (made in %.1f s)\n",
                    qPrintable(name), static_cast<long long>(countRows(importDb).applicants), adding,
                    static_cast<long long>(o.documents), secondsSince(t0));
        Figure scan{name, QStringLiteral("scan"), merrowind(o, {QStringLiteral("scan")}, QStringLiteral("scan1")), {},
                    0, 10};
        echoOutput(logs + QStringLiteral("/%1-scan1").arg(name.toLower()));
        show(scan);
        g_figures.push_back(scan);
        Figure again{name, QStringLiteral("scan, nothing to do"),
                     merrowind(o, {QStringLiteral("scan")}, QStringLiteral("scan2")), {}, 0, 10};
        echoOutput(logs + QStringLiteral("/%1-scan2").arg(name.toLower()));
        show(again);
        g_figures.push_back(again);
    }

    static QString sqlite3()
    {
        static const QString path = findProgram(QStringLiteral("sqlite3"));
        if (path.isEmpty())
            fail(QStringLiteral("the sqlite3 shell is not installed (Debian package sqlite3)"));
        return path;
    }

    static QString psql()
    {
        QStringList pgDirs;
        for (const QString& v : QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            pgDirs << QStringLiteral("/usr/lib/postgresql/%1/bin").arg(v);
        static const QString path = findProgram(QStringLiteral("psql"), pgDirs);
        if (path.isEmpty())
            fail(QStringLiteral("psql is not installed (Debian package postgresql-client)"));
        return path;
    }
};

// A fresh directory (its old content removed).
QString freshDir(const QString& path)
{
    QDir d(path);
    if (d.exists() && !d.removeRecursively())
        fail(QStringLiteral("cannot clear %1").arg(path));
    if (!QDir().mkpath(path))
        fail(QStringLiteral("cannot make %1").arg(path));
    return QFileInfo(path).absoluteFilePath();
}

void runSqlite(const Options& o)
{
    Target t;
    t.name = QStringLiteral("SQLite");
    const QString base = freshDir(o.work + QStringLiteral("/sqlite"));
    t.logs = freshDir(base + QStringLiteral("/logs"));
    t.docs = freshDir(base + QStringLiteral("/documents"));
    const QString empty = freshDir(base + QStringLiteral("/empty"));
    mw::DatabaseLocation e;
    e.directory = empty;
    makeDatabase(e, t.docs);
    // Both start from copies of the same empty file.
    for (const char* sub : {"import", "floor"}) {
        const QString dir = freshDir(base + QLatin1Char('/') + QLatin1String(sub));
        if (!QFile::copy(e.sqliteFile(), dir + QLatin1Char('/') + QLatin1String(mw::Database::SQLiteFileName)))
            fail(QStringLiteral("cannot copy the empty database to %1").arg(dir));
        mw::DatabaseLocation l;
        l.directory = dir;
        (qstrcmp(sub, "import") == 0 ? t.importDb : t.floorDb) = l;
    }
    t.runAll(o);
}

// The two databases next to the one the URL names: dropped, then (unless drop)
// made empty; gives their addresses.
QStringList makePostgresDatabases(const QString& url, bool drop)
{
    const QUrl u(url);
    const QString connection = QStringLiteral("mwbench-admin");
    QStringList urls;
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        admin.setHostName(u.host().isEmpty() ? QStringLiteral("127.0.0.1") : u.host());
        admin.setPort(u.port(5432));
        admin.setUserName(u.userName());
        admin.setPassword(u.password());
        admin.setDatabaseName(u.path().mid(1).isEmpty() ? QStringLiteral("postgres") : u.path().mid(1));
        if (!admin.open())
            fail(QStringLiteral("cannot connect to %1: %2").arg(url, admin.lastError().text()));
        QSqlQuery q(admin);
        q.exec(QStringLiteral("SET client_min_messages TO WARNING"));
        for (const char* name : {"mwbench_import", "mwbench_floor"}) {
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(QLatin1String(name)));
            if (drop)
                continue;
            if (!q.exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(QLatin1String(name))))
                fail(QStringLiteral("cannot make the database %1: %2").arg(QLatin1String(name), q.lastError().text()));
            QUrl made(u);
            made.setPath(QLatin1Char('/') + QLatin1String(name));
            urls << made.toString();
        }
        q.finish();
        admin.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return urls;
}

void runPostgres(const Options& o)
{
    Target t;
    t.name = QStringLiteral("PostgreSQL");
    const QString base = freshDir(o.work + QStringLiteral("/postgres"));
    t.logs = freshDir(base + QStringLiteral("/logs"));
    t.docs = freshDir(base + QStringLiteral("/documents"));
    QStringList urls;
    if (o.postgres == QLatin1String("private")) {
#ifdef MW_BENCH_PRIVATE_POSTGRES
        mwtest::PgCluster& pg = mwtest::PgCluster::instance();
        if (pg.available()) {
            urls << pg.createDatabase() << pg.createDatabase();
        }
        if (urls.contains(QString()) || urls.isEmpty())
            fail(QStringLiteral("PostgreSQL could not be started: %1").arg(pg.error()));
        std::printf("private PostgreSQL server (fsync, full_page_writes and synchronous_commit off)\n");
#else
        fail(QStringLiteral("built without the test support: give a postgresql:// address"));
#endif
    } else {
        urls = makePostgresDatabases(o.postgres, false);
    }
    t.importDb = mw::DatabaseLocation::parse(urls.at(0));
    t.floorDb = mw::DatabaseLocation::parse(urls.at(1));
    makeDatabase(t.importDb, t.docs);
    makeDatabase(t.floorDb, t.docs);
    t.runAll(o);
    if (o.postgres != QLatin1String("private"))
        makePostgresDatabases(o.postgres, true);
}

int usage()
{
    std::fprintf(stderr,
                 "usage: mw_benchimportrun WORKDIR [--lines N] [--applicants N] [--requisitions N]\n"
                 "       [--scan-applicants N (0: no scan)] [--documents N] [--no-sqlite]\n"
                 "       [--postgres postgresql://user@host:port/db | --postgres private] [--merrowind PATH]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--lines") && hasValue)
            o.lines = args[++i].toInt();
        else if (a == QLatin1String("--applicants") && hasValue)
            o.applicants = args[++i].toInt();
        else if (a == QLatin1String("--requisitions") && hasValue)
            o.requisitions = args[++i].toInt();
        else if (a == QLatin1String("--scan-applicants") && hasValue)
            o.scanApplicants = args[++i].toLongLong();
        else if (a == QLatin1String("--documents") && hasValue)
            o.documents = args[++i].toLongLong();
        else if (a == QLatin1String("--postgres") && hasValue)
            o.postgres = args[++i];
        else if (a == QLatin1String("--merrowind") && hasValue)
            o.merrowind = args[++i];
        else if (a == QLatin1String("--no-sqlite"))
            o.sqlite = false;
        else if (!a.startsWith(QLatin1String("--")) && o.work.isEmpty())
            o.work = a;
        else
            return usage();
    }
    if (o.work.isEmpty() || o.lines <= 0 || o.applicants <= 0 || o.requisitions <= 0 || o.lines < o.applicants ||
        o.documents < 0 || (o.scanApplicants > 0 && o.documents > o.scanApplicants))
        return usage();
    if ((o.lines + o.applicants - 1) / o.applicants > o.requisitions) {
        std::fprintf(stderr, "each applicant would need more requisitions than there are\n");
        return 2;
    }
    if (!o.postgres.isEmpty() && o.postgres != QLatin1String("private") &&
        !o.postgres.startsWith(QLatin1String("postgresql://")))
        return usage();
    if (o.merrowind.isEmpty())
        o.merrowind = QCoreApplication::applicationDirPath() + QStringLiteral("/merrowind");
    if (!QFileInfo(o.merrowind).isExecutable())
        fail(QStringLiteral("no merrowind program at %1 (--merrowind PATH)").arg(o.merrowind));
    if (!QDir().mkpath(o.work))
        fail(QStringLiteral("cannot make %1").arg(o.work));
    o.work = QFileInfo(o.work).absoluteFilePath();

    try {
        o.file = exportFile(o.work, o.lines, o.applicants, o.requisitions);
        std::printf("export: %d lines, %d applicants, %d requisitions, %.1f MB\n", o.lines, o.applicants,
                    o.requisitions, double(QFileInfo(o.file).size()) / 1e6);
        if (o.sqlite)
            runSqlite(o);
        if (!o.postgres.isEmpty())
            runPostgres(o);
    } catch (const mw::DbError& e) {
        fail(e.message());
    }

    std::printf("\n== Summary ==\n");
    for (const Figure& f : g_figures)
        show(f);
    std::printf("targets: import within 1.5x its floor, the second import within 2x, peak memory under 200 MB, "
                "scan under 10 s\n");
    return 0;
}
