// mw_benchgen: makes a large database for the benchmarks.
//
//   mw_benchgen DIR [--applicants N] [--applications N] [--requisitions N] [--replace]
//
// Creates a new SQLite database in DIR and fills it with made-up but plausible
// records: applicants with eight-digit ids and varied names, requisitions with
// six-digit numbers in posting groups, and applications linking the two (each
// pair of requisition and applicant at most once). The data comes from a fixed
// starting value, so two runs with the same counts give the same database.

#include "datastore/createdatabase.h"
#include "datastore/database.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// A small, fast generator whose sequence is the same on every platform.
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
    // 0 <= result < n
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    int range(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::uint64_t>(hi - lo + 1))); }
    bool chance(int percent) { return below(100) < static_cast<std::uint64_t>(percent); }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

private:
    std::uint64_t m_s;
};

// Common surnames, most frequent first; picked with weights falling off by rank.
const char* const kCommonLast[] = {
    "Smith",     "Johnson",   "Williams",  "Brown",     "Jones",     "Garcia",    "Miller",    "Davis",
    "Rodriguez", "Martinez",  "Hernandez", "Lopez",     "Gonzalez",  "Wilson",    "Anderson",  "Thomas",
    "Taylor",    "Moore",     "Jackson",   "Martin",    "Lee",       "Perez",     "Thompson",  "White",
    "Harris",    "Sanchez",   "Clark",     "Ramirez",   "Lewis",     "Robinson",  "Walker",    "Young",
    "Allen",     "King",      "Wright",    "Scott",     "Torres",    "Nguyen",    "Hill",      "Flores",
    "Green",     "Adams",     "Nelson",    "Baker",     "Hall",      "Rivera",    "Campbell",  "Mitchell",
    "Carter",    "Roberts",   "Gomez",     "Phillips",  "Evans",     "Turner",    "Diaz",      "Parker",
    "Cruz",      "Edwards",   "Collins",   "Reyes",     "Stewart",   "Morris",    "Morales",   "Murphy",
    "Cook",      "Rogers",    "Gutierrez", "Ortiz",     "Morgan",    "Cooper",    "Peterson",  "Bailey",
    "Reed",      "Kelly",     "Howard",    "Ramos",     "Kim",       "Cox",       "Ward",      "Richardson",
    "Watson",    "Brooks",    "Chavez",    "Wood",      "James",     "Bennett",   "Gray",      "Mendoza",
    "Ruiz",      "Hughes",    "Price",     "Alvarez",   "Castillo",  "Sanders",   "Patel",     "Myers",
    "Long",      "Ross",      "Foster",    "Jimenez",   "Powell",    "Jenkins",   "Perry",     "Russell",
    "Sullivan",  "Bell",      "Coleman",   "Butler",    "Henderson", "Barnes",    "Gonzales",  "Fisher",
    "Vasquez",   "Simmons",   "Romero",    "Jordan",    "Patterson", "Alexander", "Hamilton",  "Graham",
    "Reynolds",  "Griffin",   "Wallace",   "Moreno",    "West",      "Cole",      "Hayes",     "Bryant",
    "Herrera",   "Gibson",    "Ellis",     "Tran",      "Medina",    "Aguilar",   "Stevens",   "Murray",
    "Ford",      "Castro",    "Marshall",  "Owens",     "Harrison",  "Fernandez", "McDonald",  "Woods",
    "Washington", "Kennedy",  "Wells",     "Vargas",    "Henry",     "Chen",      "Freeman",   "Webb",
    "Tucker",    "Guzman",    "Burns",     "Crawford",  "Olson",     "Simpson",   "Porter",    "Hunter",
    "Gordon",    "Mendez",    "Silva",     "Shaw",      "Snyder",    "Mason",     "Dixon",     "Munoz",
    "Hunt",      "Hicks",     "Holmes",    "Palmer",    "Wagner",    "Black",     "Robertson", "Boyd",
    "Rose",      "Stone",     "Salazar",   "Fox",       "Warren",    "Mills",     "Meyer",     "Rice",
    "Schmidt",   "Garza",     "Daniels",   "Ferguson",  "Nichols",   "Stephens",  "Soto",      "Weaver",
    "Ryan",      "Gardner",   "Payne",     "Grant",     "Dunn",      "Kelley",    "Spencer",   "Hawkins",
    "Mann",      "Hanna",     "Smithers",  "Goldsmith", "Peña",      "Müller",    "O'Brien",   "Nuñez"};

// Pieces of the less common surnames: every prefix with every suffix.
const char* const kLastPrefix[] = {"Ash",  "Bar",  "Black", "Brad", "Cal",  "Dal",  "East", "Fair", "Glen",
                                   "Hal",  "Hart", "Kings", "Lang", "Mar",  "Mid",  "Nor",  "Oak",  "Pem",
                                   "Red",  "Ros",  "Sal",  "Stan", "Sut",  "Thorn", "Ul",  "Wal",  "West",
                                   "Whit", "Win",  "York"};
const char* const kLastSuffix[] = {"bury",  "by",    "cott",  "dale",  "don",   "field", "ford",  "gate",
                                   "ham",   "hurst", "ington", "ley",  "low",   "mere",  "more",  "ney",
                                   "ridge", "stead", "ton",   "vale",  "ville", "wick",  "well",  "wood",
                                   "worth", "ward",  "wright", "son",  "man",   "er"};

const char* const kFirst[] = {
    "James",   "Mary",     "John",    "Patricia", "Robert",   "Jennifer", "Michael",  "Linda",   "William",
    "Elizabeth", "David",  "Barbara", "Richard",  "Susan",    "Joseph",   "Jessica",  "Thomas",  "Sarah",
    "Charles", "Karen",    "Daniel",  "Nancy",    "Matthew",  "Lisa",     "Anthony",  "Betty",   "Mark",
    "Margaret", "Donald",  "Sandra",  "Steven",   "Ashley",   "Paul",     "Kimberly", "Andrew",  "Emily",
    "Joshua",  "Donna",    "Kenneth", "Michelle", "Kevin",    "Dorothy",  "Brian",    "Carol",   "George",
    "Amanda",  "Edward",   "Melissa", "Ronald",   "Deborah",  "Timothy",  "Stephanie", "Jason",  "Rebecca",
    "Jeffrey", "Sharon",   "Ryan",    "Laura",    "Jacob",    "Cynthia",  "Gary",     "Kathleen", "Nicholas",
    "Amy",     "Eric",     "Shirley", "Jonathan", "Angela",   "Stephen",  "Helen",    "Larry",   "Anna",
    "Justin",  "Brenda",   "Scott",   "Pamela",   "Brandon",  "Nicole",   "Benjamin", "Emma",    "Samuel",
    "Samantha", "Gregory", "Katherine", "Frank",  "Christine", "Alexander", "Debra",  "Raymond", "Rachel",
    "Patrick", "Catherine", "Jack",   "Carolyn",  "Dennis",   "Janet",    "Jerry",    "Ruth",    "Tyler",
    "Maria",   "Aaron",    "Heather", "Jose",     "Diane",    "Adam",     "Virginia", "Henry",   "Julie",
    "Nathan",  "Joyce",    "Douglas", "Victoria", "Zachary",  "Olivia",   "Peter",    "Kelly",   "Kyle",
    "Christina", "Walter", "Lauren",  "Ethan",    "Joan",     "Jeremy",   "Evelyn",   "Harold",  "Judith",
    "Ann",     "Anne",     "Annette", "Hannah",   "Joann",    "Dianne",   "Leanne",   "Suzanne", "Shannon",
    "Roxanne", "Jeanne",   "Marianne", "Luis",    "Carlos",   "José",     "Zoë",      "Renée",   "Wei",
    "Priya",   "Mohammed", "Fatima",  "Hiroshi",  "Olga",     "Sean"};

const char* const kStreets[] = {"Oak",    "Maple",  "Cedar",   "Pine",    "Elm",     "Washington", "Lake",
                                "Hill",   "Main",   "Park",    "View",    "Church",  "High",       "Mill",
                                "River",  "Spring", "Sunset",  "Willow",  "Walnut",  "Chestnut",   "Jefferson",
                                "Lincoln", "Madison", "Franklin", "Highland", "Forest", "Meadow",   "Ridge"};
const char* const kStreetKinds[] = {"St", "Ave", "Rd", "Blvd", "Ln", "Dr", "Ct", "Way", "Pl"};
const char* const kCities[] = {"Springfield", "Riverside", "Franklin",  "Greenville", "Bristol",  "Clinton",
                               "Fairview",    "Salem",     "Madison",   "Georgetown", "Arlington", "Ashland",
                               "Dover",       "Oxford",    "Jackson",   "Burlington", "Manchester", "Milton",
                               "Newport",     "Auburn",    "Dayton",    "Lexington",  "Milford",   "Winchester"};
const char* const kStates[] = {"CA", "TX", "FL", "NY", "PA", "IL", "OH", "GA", "NC", "MI",
                               "NJ", "VA", "WA", "AZ", "MA", "TN", "IN", "MO", "MD", "WI"};

const char* const kTitles[] = {"Registered Nurse",      "Staff Accountant",     "Administrative Assistant",
                               "Custodian",             "Maintenance Technician", "Research Associate",
                               "Lab Technician",        "Program Coordinator",  "Financial Analyst",
                               "Systems Administrator", "Software Developer",   "Librarian",
                               "Police Officer",        "Groundskeeper",        "Food Service Worker",
                               "Payroll Specialist",    "Academic Advisor",     "Executive Secretary",
                               "Clinical Social Worker", "Pharmacist",          "Electrician",
                               "Plumber",               "HR Generalist",        "Buyer",
                               "Records Clerk",         "Data Analyst",         "Help Desk Technician"};
const char* const kDepartments[] = {"Nursing",          "Finance",        "Facilities",    "Human Resources",
                                    "Information Technology", "Library",  "Public Safety", "Dining Services",
                                    "Student Affairs",  "Research",       "Pharmacy",      "Purchasing",
                                    "Registrar",        "Athletics",      "Medicine",      "Engineering"};
const char* const kGroups[] = {"NURS",  "FIN",   "FAC",   "HR",    "IT",    "LIB",   "PS",    "DIN",
                               "STU",   "RES",   "PHA",   "PUR",   "REG",   "ATH",   "MED",   "ENG",
                               "NURS2", "FIN2",  "FAC2",  "IT2",   "RES2",  "MED2",  "ENG2",  "TEMP",
                               "CLER",  "SKIL",  "PROF",  "EXEC",  "UNION", "GRANT", "SEAS",  "PART",
                               "ONCL",  "FAC3",  "IT3",   "RES3",  "MED3",  "NURS3", "ADMIN", "OTHER"};

template <typename T, std::size_t N>
constexpr int count(const T (&)[N])
{
    return static_cast<int>(N);
}

QString pick(Rng& rng, const char* const* list, int n) { return QString::fromUtf8(list[rng.below(static_cast<std::uint64_t>(n))]); }

// Formatting by hand: Qt's general formatting costs more than the inserts themselves.
QString digits(Rng& rng, int n)
{
    char buf[32];
    for (int i = 0; i < n; ++i)
        buf[i] = static_cast<char>('0' + rng.below(10));
    return QString::fromLatin1(buf, n);
}

// The number with leading zeros to the width.
QString padded(qint64 v, int width)
{
    char buf[32];
    for (int i = width - 1; i >= 0; --i, v /= 10)
        buf[i] = static_cast<char>('0' + v % 10);
    return QString::fromLatin1(buf, width);
}

QString phone(Rng& rng)
{
    char buf[14] = {'(', 0, 0, 0, ')', ' ', 0, 0, 0, '-', 0, 0, 0, 0};
    int area = rng.range(201, 989);
    int exchange = rng.range(200, 999);
    for (int i = 3; i >= 1; --i, area /= 10)
        buf[i] = static_cast<char>('0' + area % 10);
    for (int i = 8; i >= 6; --i, exchange /= 10)
        buf[i] = static_cast<char>('0' + exchange % 10);
    for (int i = 10; i < 14; ++i)
        buf[i] = static_cast<char>('0' + rng.below(10));
    return QString::fromLatin1(buf, 14);
}

// Days as stored (yyyy-mm-dd), formatted once for the whole range the data uses.
class Days
{
public:
    Days(const QDate& from, const QDate& to)
        : m_from(from)
    {
        for (QDate d = from; d <= to; d = d.addDays(1))
            m_text.push_back(d.toString(Qt::ISODate));
    }
    const QString& operator()(const QDate& d) const
    {
        const qint64 i = m_from.daysTo(d);
        Q_ASSERT(i >= 0 && i < static_cast<qint64>(m_text.size()));
        return m_text[static_cast<std::size_t>(i)];
    }

private:
    QDate m_from;
    std::vector<QString> m_text;
};

QVariant nullText() { return QVariant(QMetaType(QMetaType::QString)); }

// A weighted pick among the common surnames: weight 1 / (rank + 20).
class SurnamePicker
{
public:
    SurnamePicker()
    {
        double total = 0;
        for (int i = 0; i < count(kCommonLast); ++i) {
            total += 1.0 / (i + 21.0);
            m_cumulative.push_back(total);
        }
        for (double& c : m_cumulative)
            c /= total;
    }
    QString operator()(Rng& rng) const
    {
        // Half of all applicants carry a common surname, the rest one of the
        // prefix+suffix names (900 of them, each rare).
        if (rng.chance(50)) {
            const double u = rng.unit();
            int lo = 0, hi = static_cast<int>(m_cumulative.size()) - 1;
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (m_cumulative[static_cast<std::size_t>(mid)] < u)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            return QString::fromUtf8(kCommonLast[lo]);
        }
        return pick(rng, kLastPrefix, count(kLastPrefix)) + pick(rng, kLastSuffix, count(kLastSuffix));
    }

private:
    std::vector<double> m_cumulative;
};

struct Options
{
    QString dir;
    qint64 applicants = 1000000;
    qint64 applications = 3000000;
    qint64 requisitions = 50000;
    bool replace = false;
};

[[noreturn]] void usage(const char* why)
{
    if (why)
        std::fprintf(stderr, "mw_benchgen: %s\n", why);
    std::fprintf(stderr,
                 "usage: mw_benchgen DIR [--applicants N] [--applications N] [--requisitions N] [--replace]\n");
    std::exit(2);
}

Options parseArgs(const QStringList& args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto number = [&](qint64& out) {
            if (i + 1 >= args.size())
                usage("a count is missing");
            bool ok = false;
            out = args[++i].toLongLong(&ok);
            if (!ok || out < 0)
                usage("a count is not a number");
        };
        if (a == QLatin1String("--applicants"))
            number(o.applicants);
        else if (a == QLatin1String("--applications"))
            number(o.applications);
        else if (a == QLatin1String("--requisitions"))
            number(o.requisitions);
        else if (a == QLatin1String("--replace"))
            o.replace = true;
        else if (a.startsWith(QLatin1String("--")))
            usage("unknown option");
        else if (o.dir.isEmpty())
            o.dir = a;
        else
            usage("more than one directory");
    }
    if (o.dir.isEmpty())
        usage(nullptr);
    if (o.applicants > 99999999)
        usage("applicant ids have eight digits: at most 99999999 applicants");
    if (o.requisitions > 999999)
        usage("requisition numbers have six digits: at most 999999 requisitions");
    if ((o.applicants == 0 || o.requisitions == 0) && o.applications > 0)
        usage("applications need applicants and requisitions");
    if (o.applications > o.applicants * o.requisitions)
        usage("more applications than distinct requisition/applicant pairs");
    return o;
}

} // namespace

// The rarer surname the store benchmark searches for: one applicant in 20,011.
static const char* const kRareSurname = "Vanderpoel";

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Options opt = parseArgs(QCoreApplication::arguments());
    const auto t0 = Clock::now();

    if (!QDir().mkpath(opt.dir)) {
        std::fprintf(stderr, "mw_benchgen: cannot make the directory %s\n", qPrintable(opt.dir));
        return 1;
    }
    const mw::DatabaseLocation loc = mw::DatabaseLocation::parse(opt.dir);
    if (opt.replace && QFile::exists(loc.sqliteFile()) && !QFile::remove(loc.sqliteFile())) {
        std::fprintf(stderr, "mw_benchgen: cannot remove %s\n", qPrintable(loc.sqliteFile()));
        return 1;
    }

    try {
        mw::createDatabase(loc);
        mw::Database db;
        db.open(loc);
        // This connection alone writes a fresh file: a large page cache keeps the
        // randomly placed index entries of the applications in memory.
        db.exec(QStringLiteral("PRAGMA cache_size=-1048576"));

        Rng rng(20240611);
        const QDate today(2024, 6, 11);
        SurnamePicker surname;
        const Days isoDay(today.addDays(-6 * 365), today.addDays(6 * 365));
        // No ANALYZE afterwards: the program never runs it, so the planner sees the
        // database as it would in use.
        mw::Transaction tx(db);

        // ---- posting groups
        for (int g = 0; g < count(kGroups); ++g)
            db.execCached(QStringLiteral("INSERT INTO job_postings (JobPostingID, Description) VALUES (?, ?)"),
                          {QString::fromLatin1(kGroups[g]),
                           QStringLiteral("%1 positions").arg(QString::fromLatin1(kGroups[g]))})
                .finish();

        // ---- requisitions
        auto t1 = Clock::now();
        const QString reqSql = QStringLiteral(
            "INSERT INTO requisitions (ReqNumber, PositionTitle, JobPostingID, Department, JobCode, FTE, Contact, "
            "ContactPhone, EMailAddress, DateLoaded, DatePosted, CloseDate, PositionFilled, SendFirstData, "
            "FinalSent, ExemptPosition, PurgeReq, SendAsEMail, SendAsHTML, MaxFiles, ModifiedBy, ModifiedDate) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (qint64 r = 1; r <= opt.requisitions; ++r) {
            const QDate loaded = today.addDays(-rng.range(0, 3 * 365));
            const QString contactFirst = pick(rng, kFirst, count(kFirst));
            const QString contactLast = surname(rng);
            db.execCached(reqSql,
                          {padded(r, 6),
                           pick(rng, kTitles, count(kTitles)),
                           pick(rng, kGroups, count(kGroups)),
                           pick(rng, kDepartments, count(kDepartments)),
                           QStringLiteral("JC%1").arg(rng.range(1000, 9999)),
                           rng.chance(80) ? QStringLiteral("1.00") : QStringLiteral("0.50"),
                           contactFirst + QLatin1Char(' ') + contactLast,
                           phone(rng),
                           (contactFirst.left(1) + contactLast).toLower() + QStringLiteral("@example.edu"),
                           isoDay(loaded),
                           isoDay(loaded.addDays(rng.range(0, 7))),
                           isoDay(loaded.addDays(rng.range(14, 60))),
                           rng.chance(30) ? 1 : 0,
                           rng.chance(70) ? 1 : 0,
                           rng.chance(25) ? 1 : 0,
                           rng.chance(40) ? 1 : 0,
                           0,
                           1,
                           rng.chance(20) ? 1 : 0,
                           rng.range(5, 50),
                           QStringLiteral("LOADER"),
                           isoDay(loaded)})
                .finish();
        }
        const double reqSeconds = secondsSince(t1);

        // ---- applicants
        t1 = Clock::now();
        const QString appSql = QStringLiteral(
            "INSERT INTO applicants (ApplicantID, Name, Soc, Phone, Address1, City, State, Zip, RIF, RIFExpires, "
            "PurgeDate, DateLoaded, Comments, DoNotPurge, VeteranPreference, Scanned, ModifiedBy, ModifiedDate, "
            "NotRehire, NotRehireExpires) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (qint64 a = 1; a <= opt.applicants; ++a) {
            const QString last = a % 20011 == 7 ? QString::fromLatin1(kRareSurname) : surname(rng);
            QString name = last + QStringLiteral(", ") + pick(rng, kFirst, count(kFirst));
            if (rng.chance(70)) {
                name += QLatin1Char(' ');
                name += QLatin1Char(static_cast<char>('A' + rng.below(26)));
            }
            const QDate loaded = today.addDays(-rng.range(0, 5 * 365));
            const bool rif = rng.chance(3);
            const bool notRehire = rng.chance(1);
            const QDate rifExpires = loaded.addDays(rng.range(90, 730));
            const QDate notRehireExpires = loaded.addDays(rng.range(365, 1825));
            QDate purge = loaded.addDays(730);
            if (rif && rifExpires > purge)
                purge = rifExpires;
            if (notRehire && notRehireExpires > purge)
                purge = notRehireExpires;
            db.execCached(appSql,
                          {padded(a, 8),
                           name,
                           digits(rng, 9),
                           phone(rng),
                           QStringLiteral("%1 %2 %3")
                               .arg(rng.range(1, 9999))
                               .arg(pick(rng, kStreets, count(kStreets)), pick(rng, kStreetKinds, count(kStreetKinds))),
                           pick(rng, kCities, count(kCities)),
                           pick(rng, kStates, count(kStates)),
                           digits(rng, 5),
                           rif ? 1 : 0,
                           rif ? QVariant(isoDay(rifExpires)) : nullText(),
                           isoDay(purge),
                           isoDay(loaded),
                           rng.chance(5) ? QVariant(QStringLiteral("Called back; left a message.")) : nullText(),
                           0,
                           rng.chance(8) ? 1 : 0,
                           rng.chance(50) ? 1 : 0,
                           QStringLiteral("LOADER"),
                           isoDay(loaded),
                           notRehire ? 1 : 0,
                           notRehire ? QVariant(isoDay(notRehireExpires)) : nullText()})
                .finish();
        }
        const double applicantSeconds = secondsSince(t1);

        // ---- applications: distinct (requisition, applicant) pairs in random order,
        // as they arrive over time.
        t1 = Clock::now();
        std::vector<QString> reqNumbers, applicantIds;
        reqNumbers.reserve(static_cast<std::size_t>(opt.requisitions));
        for (qint64 r = 1; r <= opt.requisitions; ++r)
            reqNumbers.push_back(padded(r, 6));
        applicantIds.reserve(static_cast<std::size_t>(opt.applicants));
        for (qint64 a = 1; a <= opt.applicants; ++a)
            applicantIds.push_back(padded(a, 8));
        std::unordered_set<std::uint64_t> seen;
        seen.reserve(static_cast<std::size_t>(opt.applications) * 2);
        const QString linkSql = QStringLiteral(
            "INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate, DateLoaded, LoadedbyPS, Reviewed, "
            "DispDate, ModifiedBy, ModifiedDate, ApprovedBy, ApprovedDate, InterviewDate) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (qint64 n = 0; n < opt.applications;) {
            const auto r = static_cast<std::uint64_t>(rng.below(static_cast<std::uint64_t>(opt.requisitions)));
            const auto a = static_cast<std::uint64_t>(rng.below(static_cast<std::uint64_t>(opt.applicants)));
            if (!seen.insert(r * static_cast<std::uint64_t>(opt.applicants) + a).second)
                continue;
            ++n;
            const QDate loaded = today.addDays(-rng.range(0, 3 * 365));
            const bool reviewed = rng.chance(60);
            const bool approved = reviewed && rng.chance(50);
            const bool sent = approved && rng.chance(80);
            db.execCached(linkSql,
                          {reqNumbers[r],
                           applicantIds[a],
                           approved ? 1 : 0,
                           sent ? QVariant(isoDay(loaded.addDays(rng.range(1, 20)))) : nullText(),
                           isoDay(loaded),
                           1,
                           reviewed ? 1 : 0,
                           reviewed ? QVariant(isoDay(loaded.addDays(rng.range(1, 30)))) : nullText(),
                           QStringLiteral("LOADER"),
                           isoDay(loaded),
                           approved ? QVariant(QStringLiteral("SUPERVISOR")) : nullText(),
                           approved ? QVariant(isoDay(loaded.addDays(rng.range(1, 15)))) : nullText(),
                           approved && rng.chance(30) ? QVariant(isoDay(loaded.addDays(rng.range(10, 40))))
                                                      : nullText()})
                .finish();
        }
        seen = {};
        reqNumbers = {};
        applicantIds = {};
        const double linkSeconds = secondsSince(t1);

        db.execCached(QStringLiteral("UPDATE id_counters SET AppStart = ?, ReqStart = ?"),
                      {opt.applicants + 1, opt.requisitions + 1})
            .finish();

        t1 = Clock::now();
        tx.commit();
        const double commitSeconds = secondsSince(t1);
        db.close();

        std::printf("requisitions  %9lld in %7.2f s\n", static_cast<long long>(opt.requisitions), reqSeconds);
        std::printf("applicants    %9lld in %7.2f s\n", static_cast<long long>(opt.applicants), applicantSeconds);
        std::printf("applications  %9lld in %7.2f s\n", static_cast<long long>(opt.applications), linkSeconds);
        std::printf("commit                  %7.2f s\n", commitSeconds);
        std::printf("total                   %7.2f s  (%s, %.0f MB)\n", secondsSince(t0),
                    qPrintable(loc.sqliteFile()), static_cast<double>(QFile(loc.sqliteFile()).size()) / 1e6);
    } catch (const mw::DbError& e) {
        std::fprintf(stderr, "mw_benchgen: %s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
