#include "demo/demodata.h"

#include "datastore/createdatabase.h"
#include "demo/demotemplates.h"

#include "datastore/passwords.h"
#include "datastore/schema.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPair>
#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <iterator>
#include <random>
#include <vector>

namespace mw {

namespace {

// The dice of the demo. The starting value is fixed and the numbers are taken straight from
// the generator (whose sequence the standard fixes), so every demo database made
// on the same day holds the same records on every platform.
// Where the demonstration's random draws start: one sequence for the data, one for
// the web directories' letters.
constexpr std::mt19937::result_type kDataStart = 20260214u;
constexpr std::mt19937::result_type kWebLettersStart = 20261210u;

class Dice
{
public:
    // Equal starting values give equal demonstration data every time.
    explicit Dice(std::mt19937::result_type start)
        : m_gen(start)
    {}
    int below(int n) { return static_cast<int>(m_gen() % static_cast<std::mt19937::result_type>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool percent(int p) { return below(100) < p; }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[below(static_cast<int>(N))];
    }

private:
    std::mt19937 m_gen;
};

// A web directory's eight letters (the program draws them from the system's
// cryptographic source; the demonstration keeps them the same from run to run).
QString letters(Dice& dice)
{
    QString out;
    for (int i = 0; i < 8; ++i)
        out += QChar(char16_t(u'a' + dice.below(26)));
    return out;
}

QString u8(const char* s) { return QString::fromUtf8(s); }

// ---------------------------------------------------------------------------
// The material the records are made of.

const char* const kFirstNames[] = {
    "James",   "Mary",    "Robert",  "Patricia", "Michael", "Linda",   "David",     "Barbara", "William",
    "Elizabeth", "Richard", "Jennifer", "Joseph", "Maria",  "Thomas",  "Susan",     "Charles", "Margaret",
    "Christopher", "Dorothy", "Daniel", "Lisa",   "Matthew", "Nancy",  "Anthony",   "Karen",   "Mark",
    "Betty",   "Donald",  "Helen",   "Steven",   "Sandra",  "Paul",    "Donna",     "Andrew",  "Carol",
    "Joshua",  "Ruth",    "Kenneth", "Sharon",   "Kevin",   "Michelle", "Brian",    "Laura",   "George",
    "Sarah",   "Tyrone",  "Aisha",   "Wei",      "Mei",     "Hiroshi", "Yuki",      "Carlos",  "Lucía",
    "Ahmed",   "Fatima",  "Dmitri",  "Olga",     "Kwame",   "Ngozi",   "Raj",       "Priya",   "Seamus",
    "Zoë",     "Renée",   "André",   "Chloé",    "Mateo",   "Ingrid",  "Tomás"};

const char* const kLastNames[] = {
    "Smith",    "Johnson",  "Williams", "Brown",    "Jones",    "Garcia",   "Miller",   "Davis",
    "Rodriguez", "Martinez", "Hernandez", "Lopez",  "Gonzalez", "Wilson",   "Anderson", "Thomas",
    "Taylor",   "Moore",    "Jackson",  "Martin",   "Lee",      "Perez",    "Thompson", "White",
    "Harris",   "Sanchez",  "Clark",    "Ramirez",  "Lewis",    "Robinson", "Walker",   "Young",
    "Allen",    "King",     "Wright",   "Scott",    "Torres",   "Nguyen",   "Hill",     "Flores",
    "Green",    "Adams",    "Nelson",   "Baker",    "Hall",     "Rivera",   "Campbell", "Mitchell",
    "Carter",   "Roberts",  "Kowalski", "Nakamura", "Okafor",   "Petrov",   "Chen",     "Patel",
    "Müller",   "Peña",     "O'Connor", "D'Angelo", "Lefèvre",  "Van der Berg", "Schmidt", "Byrne",
    "Haddad",   "Sørensen", "Ibáñez",   "Lindqvist"};

// Applicants whose names try the program's handling of text: they take the first numbers.
const char* const kSpecialNames[] = {"José Núñez",        "Siobhan O'Brien", "Robert \"Bobby\" Kline",
                                     "Björn Åkesson",     "Zoë Brontë-Hale", "François Lefèvre",
                                     "Ana Sofía Peña",    "Dr. Ngozi (Ada) Okafor"};

const char* const kMiddleInitials[] = {"A.", "B.", "C.", "D.", "E.", "J.", "K.", "L.", "M.", "R.", "S.", "T."};

const char* const kStreets[] = {"Main St",     "Oak Ave",       "Maple Dr",    "Lakeview Rd", "Park Pl",
                                "Cedar Ln",    "Washington Ave", "Elm St",     "River Rd",    "Hillcrest Dr",
                                "Church St",   "Sunset Blvd",   "Highland Ave", "Meadow Ln",  "Birch Ct",
                                "University Ave", "Johnson St", "Prairie Rd",  "Willow Way",  "Mill Pond Rd"};

const char* const kUnits[] = {"Apt 1", "Apt 2B", "Apt 3C", "Unit 12", "Apt 204", "Suite 5", "Lower", "Upper"};

struct City
{
    const char* name;
    const char* state;
    const char* zipPrefix;
    const char* areaCode;
};

const City kCities[] = {{"Madison", "WI", "537", "608"},    {"Middleton", "WI", "535", "608"},
                        {"Sun Prairie", "WI", "535", "608"}, {"Verona", "WI", "535", "608"},
                        {"Fitchburg", "WI", "537", "608"},   {"Janesville", "WI", "535", "608"},
                        {"Beloit", "WI", "535", "608"},      {"Milwaukee", "WI", "532", "414"},
                        {"Rockford", "IL", "611", "815"},    {"Dubuque", "IA", "520", "563"}};

const char* const kApplicantComments[] = {"Prefers part-time work.", "Bilingual (Spanish).",
                                          "Available from the first of next month.",
                                          "Asked to be told about evening positions.",
                                          "Transcript on file."};

const char* const kApplicationComments[] = {"Phone screen done.", "References requested.",
                                            "Asked for a copy of the license.", "Second interview wanted.",
                                            "Withdrew? Call to confirm."};

struct Group
{
    const char* id;
    const char* description;
};

const Group kGroups[] = {{"ADMIN", "Administration and Finance"}, {"FACIL", "Facilities and Maintenance"},
                         {"HEALTH", "Public Health"},             {"IT", "Information Technology"},
                         {"POLICE", "Police Department"},         {"PARKS", "Parks and Recreation"}};

struct Position
{
    const char* title;
    const char* department; // as the contacts name it
    const char* jobCode;
    bool exempt;
};

const Position kPositions[] = {
    {"Accountant II", "Finance", "AC2210", true},
    {"Payroll Specialist", "Finance", "PY1140", false},
    {"Budget Analyst", "Finance", "BA2300", true},
    {"Clerk Typist III", "Finance", "CT1030", false},
    {"Human Resources Generalist", "Human Resources", "HR2150", true},
    {"Administrative Assistant", "Human Resources", "AA1020", false},
    {"Benefits Specialist", "Human Resources", "BE2160", false},
    {"Maintenance Mechanic", "Facilities Management", "MM0820", false},
    {"Electrician", "Facilities Management", "EL0930", false},
    {"HVAC Technician", "Facilities Management", "HV0940", false},
    {"Building Superintendent", "Facilities Management", "BS2010", true},
    {"Custodian", "Building Services", "CU0510", false},
    {"Building Maintenance Worker", "Building Services", "BM0520", false},
    {"Public Health Nurse", "Public Health", "PN3110", true},
    {"Epidemiologist", "Public Health", "EP3300", true},
    {"Health Educator", "Public Health", "HE2250", false},
    {"Nutritionist (WIC)", "Public Health", "NU2260", true},
    {"Sanitarian", "Environmental Health", "SN2420", false},
    {"Environmental Health Specialist", "Environmental Health", "EH2430", false},
    {"Systems Analyst", "Information Technology", "SA3010", true},
    {"Network Administrator", "Information Technology", "NA3020", true},
    {"Help Desk Technician", "Information Technology", "HD1510", false},
    {"Database Administrator", "Information Technology", "DB3040", true},
    {"Web Developer", "Information Technology", "WD3050", true},
    {"Police Officer", "Police", "PO1200", false},
    {"Records Clerk", "Police", "RC1050", false},
    {"Evidence Technician", "Police", "ET1260", false},
    {"Crime Analyst", "Police", "CA2270", true},
    {"Emergency Dispatcher", "Emergency Communications", "ED1210", false},
    {"Communications Supervisor", "Emergency Communications", "CS2280", true},
    {"Park Ranger", "Parks", "PR1310", false},
    {"Groundskeeper", "Parks", "GK0620", false},
    {"Forestry Technician", "Parks", "FT1340", false},
    {"Recreation Leader", "Recreation", "RL0610", false},
    {"Aquatics Supervisor", "Recreation", "AQ2330", true}};

const char* const kFte[] = {"1.0", "1.0", "1.0", "1.0", "0.75", "0.5", "0.6"};

struct Contact
{
    const char* name;
    const char* phone;
    const char* email; // some hold two addresses
    const char* group;
    const char* department;
    const char* office;
    bool web;          // takes applications as a web page rather than attachments
};

const Contact kContacts[] = {
    {"Karen Whitfield", "(608) 555-0101", "kwhitfield@example.com", "ADMIN", "Finance",
     "City Hall, Room 301", false},
    {"Tom Becker", "(608) 555-0102", "tbecker@example.com,hr-office@example.com", "ADMIN", "Human Resources",
     "City Hall, Room 210", false},
    {"Luis Ortega", "(608) 555-0103", "lortega@example.com", "FACIL", "Facilities Management",
     "Service Center, Bay 2", true},
    {"Dana Kim", "(608) 555-0104", "dkim@example.com,facilities@example.com", "FACIL", "Building Services",
     "Service Center, Office 4", false},
    {"Dr. Ellen Park", "(608) 555-0105", "epark@example.com", "HEALTH", "Public Health",
     "Health Building, Suite 100", false},
    {"Grace Mensah", "(608) 555-0106", "gmensah@example.com", "HEALTH", "Environmental Health",
     "Health Building, Suite 140", true},
    {"Raj Iyer", "(608) 555-0107", "riyer@example.com", "IT", "Information Technology", "City Hall, Room 500",
     true},
    {"Sofia Alvarez", "(608) 555-0108", "salvarez@example.com,it-hiring@example.com", "IT",
     "Information Technology", "City Hall, Room 512", false},
    {"Lt. Mark Dawson", "(608) 555-0109", "mdawson@example.com", "POLICE", "Police",
     "Public Safety Building, 2nd Floor", false},
    {"Janet Rowe", "(608) 555-0110", "jrowe@example.com", "POLICE", "Emergency Communications",
     "Public Safety Building, Dispatch", false},
    {"Brian Sullivan", "(608) 555-0111", "bsullivan@example.com", "PARKS", "Parks",
     "Parks Office, Olin Ave", true},
    {"Amy Chen", "(608) 555-0112", "achen@example.com,recreation@example.com", "PARKS", "Recreation",
     "Community Center, Room B", false}};

const char* const kHrStaffRights[] = {"CanImport",
                                      "CanApprove",
                                      "CanApproveAll",
                                      "CanInsertApplicantData",
                                      "CanEditApplicantData",
                                      "CanInsertReqData",
                                      "CanEditReqData",
                                      "CanInsertApplication",
                                      "CanEditApplication",
                                      "CanScanForApps",
                                      "CanSeeModifiedBy",
                                      "CanModifyInterviewDate",
                                      "CanProcessRIF",
                                      "CanMarkOldApplicants",
                                      "CanSendAllJobs"};

struct DemoUser
{
    const char* id;
    const char* password;
    const char* name;
    const char* email;
    const char* profile;
    const char* group;
    bool restricted;
    bool mainUser;
};

const DemoUser kUsers[] = {
    {"ADMIN", "admin", "System Administrator", "admin@example.com", "Administrator", "", false, false},
    {"JSMITH", "hr2026", "Jane Smith", "jsmith@example.com", "HR Staff", "ADMIN", false, true},
    {"MLOPEZ", "hr2026", "María López", "mlopez@example.com", "HR Staff", "HEALTH", true, false},
    {"VIEWER", "view", "Office Viewer", "", "Viewer", "", false, false}};

struct UserGroup
{
    const char* user;
    const char* group;
};

const UserGroup kNotify[] = {
    {"JSMITH", "ADMIN"}, {"JSMITH", "IT"}, {"JSMITH", "POLICE"}, {"MLOPEZ", "HEALTH"}, {"MLOPEZ", "PARKS"}};
const UserGroup kRestrict[] = {{"MLOPEZ", "HEALTH"}, {"MLOPEZ", "PARKS"}};

constexpr int kFirstReq = 101;
constexpr int kReqCount = 60;
constexpr int kFirstApplicant = 10001;
constexpr int kApplicantCount = 400;
constexpr int kPurgeDays = 180;
constexpr int kMaxFiles = 5000000;
const char* const kApprover = "JSMITH";
const char* const kDefaultMessage = "Please review the attached applications.";

// ---------------------------------------------------------------------------
// Writing rows.

using Row = QList<QPair<const char*, QVariant>>;

void insert(Database& db, const char* table, const Row& row)
{
    QStringList columns;
    QVariantList values;
    for (const auto& [column, value] : row) {
        columns << QLatin1String(column);
        values << value;
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(QLatin1String(table), columns.join(QStringLiteral(", ")),
                                 QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    db.execCached(sql, values).finish();
}

void update(Database& db, const char* table, const Row& row)
{
    QStringList assignments;
    QVariantList values;
    for (const auto& [column, value] : row) {
        assignments << QLatin1String(column) + QStringLiteral(" = ?");
        values << value;
    }
    db.exec(QStringLiteral("UPDATE %1 SET %2").arg(QLatin1String(table), assignments.join(QStringLiteral(", "))),
            values);
}

QDate earliest(const QDate& a, const QDate& b)
{
    if (!a.isValid())
        return b;
    if (!b.isValid())
        return a;
    return a < b ? a : b;
}

QDate latest(const QDate& a, const QDate& b)
{
    if (!a.isValid())
        return b;
    if (!b.isValid())
        return a;
    return a > b ? a : b;
}

// ---------------------------------------------------------------------------
// Scanned documents: a one-page PDF written by hand.

// Text for a PDF string in Helvetica: accents dropped, anything else outside
// printable ASCII shown as '?', and the three characters the string syntax
// reserves escaped.
QByteArray pdfString(const QString& text)
{
    QByteArray out;
    for (const QChar c : text.normalized(QString::NormalizationForm_KD)) {
        if (c.category() == QChar::Mark_NonSpacing || c.isLowSurrogate())
            continue;
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7E) {
            out += '?';
            continue;
        }
        if (u == '(' || u == ')' || u == '\\')
            out += '\\';
        out += static_cast<char>(u);
    }
    return out;
}


void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw DbError(QStringLiteral("Cannot write the scanned document %1: %2")
                          .arg(QDir::toNativeSeparators(path), f.errorString()));
}

// ---------------------------------------------------------------------------
// The parts of the demo.

void writeSettings(Database& db, const QString& fileLocation, const QString& templates)
{
    Row row = {{"FileLocation", fileLocation},
               {"FileExt", QStringLiteral("pdf")},
               {"PurgeDays", kPurgeDays},
               {"InformUsers", true},
               {"SMTPServer", QStringLiteral("127.0.0.1")},
               {"Port", 2525},
               {"HTTPWebAddress", QStringLiteral("http://127.0.0.1:8080/jobs/")},
               {"HTTPHeading", QStringLiteral("<H2>Current job openings</H2>\n<P>Applications are reviewed by the "
                                              "hiring department.</P>")},
               {"FTPHost", QStringLiteral("127.0.0.1")},
               {"FTPPort", 2121},
               {"FTPUserName", QStringLiteral("merrowind")},
               {"FTPPassword", QStringLiteral("merrowind")},
               {"FTPUploadDir", QStringLiteral("/jobs/")},
               {"FTPUploadAsBinary", true},
               {"HTTPIndexName", QStringLiteral("index.htm")},
               {"HTTPAllowHTTP", true},
               {"HTTPAllowSendAsWeb", true},
               {"SubjectSend", QStringLiteral("Applications for requisition")},
               {"SubjectFirst", QStringLiteral("Initial forms")},
               {"SubjectLast", QStringLiteral("Final forms")},
               {"DefaultRIFDays", 365},
               {"NotRehireDays", 730},
               {"DefaultMessageToDep", QString::fromLatin1(kDefaultMessage)},
               {"DefaultContinueMessage",
                QStringLiteral("This position stays open; more applications will follow as they arrive.")},
               {"LinesToSkip", 1},
               {"VetCodes", QStringLiteral("V;VET")},
               {"AppRIFCodes", QStringLiteral("R;RIF")}};
    if (!templates.isEmpty()) {
        for (const char* setting : {"FilesSendFirst", "FilesSendLast", "ExemptFiles", "NonExemptFiles"})
            row.push_back({setting, demoFormDirectory(templates, QLatin1String(setting))});
        row.push_back({"CustomMemo", QStringLiteral("Memo.txt")});
        row.push_back({"MakeAppFlow", true});
        row.push_back({"ExportAsExcel", true});
        row.push_back({"DefaultDirForFiles", templates});
    }
    // The import file is tab separated: each layout field is a column number, its
    // length 0. The columns follow the layout's own order.
    std::vector<QByteArray> columns; // the row refers to these
    for (const FieldDef& f : Schema::table(TableId::Settings).fields) {
        if (!f.name.endsWith(QLatin1String("Start")))
            continue;
        const QByteArray base = f.name.chopped(5).toLatin1();
        columns.push_back(base + "Start");
        columns.push_back(base + "Length");
    }
    for (std::size_t i = 0; i < columns.size(); ++i)
        row.append({columns[i].constData(), i % 2 == 0 ? static_cast<int>(i / 2 + 1) : 0});
    update(db, "settings", row);
}

// The security profiles besides profile 0; gives each profile name its number.
QHash<QString, int> writeProfiles(Database& db)
{
    QSet<QString> hrRights;
    for (const char* r : kHrStaffRights) {
        Q_ASSERT(Schema::rightNames().contains(QLatin1String(r)));
        hrRights.insert(QLatin1String(r));
    }
    struct Profile
    {
        const char* name;
        bool supervisor;
        bool all;
        const QSet<QString>* some;
    };
    const Profile profiles[] = {
        {"Administrator", true, true, nullptr}, {"HR Staff", false, false, &hrRights}, {"Viewer", false, false, nullptr}};

    std::vector<QByteArray> rightColumns; // the row refers to these
    for (const QString& r : Schema::rightNames())
        rightColumns.push_back(r.toLatin1());

    QHash<QString, int> ids{{QStringLiteral("Supervisor"), 0}};
    for (const Profile& p : profiles) {
        // The number is left to the database so that its own counter stays ahead.
        Row row = {{"Security", QLatin1String(p.name)}, {"Supervisor", p.supervisor}};
        for (const QByteArray& r : rightColumns)
            row.append({r.constData(), p.all || (p.some && p.some->contains(QLatin1String(r)))});
        insert(db, "security_profiles", row);
        QSqlQuery q = db.exec(QStringLiteral("SELECT SecurityID FROM security_profiles WHERE Security = ?"),
                              {QLatin1String(p.name)});
        if (!q.next())
            throw DbError(QStringLiteral("The security profile %1 was not stored.").arg(QLatin1String(p.name)));
        ids.insert(QLatin1String(p.name), q.value(0).toInt());
    }
    return ids;
}

QStringList writeUsers(Database& db, const QHash<QString, int>& profiles)
{
    QStringList lines{QStringLiteral("SUPERVISOR  (no password)  Supervisor")};
    for (const DemoUser& u : kUsers) {
        const QString group = QLatin1String(u.group);
        const QString email = QLatin1String(u.email);
        insert(db, "users",
               {{"UserID", QLatin1String(u.id)},
                {"UserPassword", passwords::hash(QLatin1String(u.password))},
                {"UserName", u8(u.name)},
                {"EMailAddress", email.isEmpty() ? QVariant() : QVariant(email)},
                {"Phone", QStringLiteral("(608) 555-0199")},
                {"SecurityID", profiles.value(QLatin1String(u.profile))},
                {"JobPostingID", group.isEmpty() ? QVariant() : QVariant(group)},
                {"Restricted", u.restricted},
                {"MainUser", u.mainUser},
                {"NotifyAll", false}});
        lines << QStringLiteral("%1  %2  %3").arg(QLatin1String(u.id), QLatin1String(u.password),
                                                  QLatin1String(u.profile));
    }
    for (const UserGroup& n : kNotify)
        insert(db, "notify_list", {{"UserID", QLatin1String(n.user)}, {"JobPostingID", QLatin1String(n.group)}});
    for (const UserGroup& r : kRestrict)
        insert(db, "restrict_list", {{"UserID", QLatin1String(r.user)}, {"JobPostingID", QLatin1String(r.group)}});
    return lines;
}

struct Req
{
    QString number;
    QString group;
    QDate posted;
    QDate lastDay; // the last day applications come in
};

std::vector<Req> writeRequisitions(Database& db, Dice& dice, const QDate& today)
{
    Dice webDice(kWebLettersStart); // apart, so the rest of the data stays as it was
    const int contactCount = static_cast<int>(std::size(kContacts));
    for (int c = 0; c < contactCount; ++c) {
        const Contact& k = kContacts[c];
        insert(db, "dept_contacts",
               {{"Contact", QLatin1String(k.name)},
                {"EMailAddress", QString::fromLatin1(k.email).section(QLatin1Char(','), 0, 0)},
                {"Updated", today.addDays(-dice.between(0, 90))},
                {"MaxFiles", kMaxFiles},
                {"SendAsEMail", true},
                {"SendAsHTML", k.web}});
    }

    std::vector<Req> reqs;
    for (int i = 0; i < kReqCount; ++i) {
        // Every contact has five requisitions, in an order that looks like real life.
        const Contact& contact = kContacts[(i * 7 + i / contactCount) % contactCount];
        std::vector<const Position*> fitting;
        for (const Position& p : kPositions)
            if (qstrcmp(p.department, contact.department) == 0)
                fitting.push_back(&p);
        const Position& pos = *fitting[static_cast<std::size_t>(dice.below(static_cast<int>(fitting.size())))];

        Req r;
        r.number = QStringLiteral("%1").arg(kFirstReq + i, 6, 10, QLatin1Char('0'));
        r.group = QLatin1String(contact.group);
        const QDate loaded = today.addDays(-dice.between(0, 120));
        r.posted = earliest(loaded.addDays(dice.between(0, 3)), today);
        const bool continuing = dice.percent(8);
        const QDate close = !continuing && dice.percent(45) ? r.posted.addDays(dice.between(14, 60)) : QDate();
        r.lastDay = earliest(close, today);
        const bool closed = close.isValid() && close < today;
        const bool filled = closed && dice.percent(50);
        const bool emailDraw = dice.percent(90);
        const bool web = contact.web && dice.percent(80);
        // A department that takes a web page gets its applications there, not by mail.
        const bool email = emailDraw && !web;

        QString message = QString::fromLatin1(kDefaultMessage);
        if (close.isValid() && dice.percent(40))
            message += QStringLiteral("\nPlease let us know your selection by %1.")
                           .arg(close.addDays(14).toString(Qt::ISODate));
        QVariant comments;
        if (dice.percent(15))
            comments = dice.percent(50) ? QStringLiteral("Re-posted; the first posting drew few applicants.")
                                        : QStringLiteral("Budget approved for this fiscal year.");

        insert(db, "requisitions",
               {{"ReqNumber", r.number},
                {"PositionTitle", QLatin1String(pos.title)},
                {"JobPostingID", r.group},
                {"Department", QLatin1String(contact.department)},
                {"JobCode", QLatin1String(pos.jobCode)},
                {"FTE", QLatin1String(dice.pick(kFte))},
                {"Contact", QLatin1String(contact.name)},
                {"ContactPhone", QLatin1String(contact.phone)},
                {"EMailAddress", QLatin1String(contact.email)},
                {"Address", QLatin1String(contact.office)},
                {"DateLoaded", loaded},
                {"DatePosted", r.posted},
                {"CloseDate", close},
                {"Comments", comments},
                {"MessageToDept", message},
                {"PositionUnderU", false},
                {"PositionFilled", filled},
                {"SendFirstData", filled || dice.percent(30)},
                {"FinalSent", filled},
                {"ExemptPosition", pos.exempt},
                {"SelectionCriteria", dice.percent(30)},
                {"PurgeReq", false},
                {"Continue", continuing},
                {"SendAsEMail", email},
                {"SendAsHTML", web},
                {"MaxFiles", email ? kMaxFiles : 0},
                {"WebAddress", web ? QVariant(QStringLiteral("http://127.0.0.1:8080/jobs/%1/index.htm").arg(letters(webDice)))
                                   : QVariant()},
                {"ModifiedBy", QLatin1String(kApprover)},
                {"ModifiedDate", r.posted}});
        reqs.push_back(r);
    }
    return reqs;
}

QString applicantName(Dice& dice, int index)
{
    if (index < static_cast<int>(std::size(kSpecialNames)))
        return u8(kSpecialNames[index]);
    QString name = u8(dice.pick(kFirstNames));
    if (dice.percent(15))
        name += QLatin1Char(' ') + QLatin1String(dice.pick(kMiddleInitials));
    return name + QLatin1Char(' ') + u8(dice.pick(kLastNames));
}

QString digits(Dice& dice, int count)
{
    QString s;
    for (int i = 0; i < count; ++i)
        s += QLatin1Char(static_cast<char>('0' + dice.below(10)));
    return s;
}

// Applicants with their applications and scanned documents.
void writeApplicants(Database& db, Dice& dice, const QDate& today, const std::vector<Req>& reqs,
                    const QString& documentDirectory)
{
    struct Application
    {
        const Req* req;
        QDate disp;
        QDate loaded;
    };
    int scannedCount = 0;
    for (int i = 0; i < kApplicantCount; ++i) {
        const QString id = QStringLiteral("%1").arg(kFirstApplicant + i, 8, 10, QLatin1Char('0'));
        const QString name = applicantName(dice, i);

        // The requisitions applied for, each within the days it takes applications.
        std::vector<Application> apps;
        QSet<int> chosen;
        const int wanted = dice.between(1, 5);
        while (static_cast<int>(chosen.size()) < wanted) {
            const int r = dice.below(static_cast<int>(reqs.size()));
            if (chosen.contains(r))
                continue;
            chosen.insert(r);
            const Req& req = reqs[static_cast<std::size_t>(r)];
            const QDate disp = req.posted.addDays(dice.between(0, static_cast<int>(req.posted.daysTo(req.lastDay))));
            apps.push_back({&req, disp, earliest(disp.addDays(dice.between(0, 2)), today)});
        }
        QDate loaded;
        QDate applied;
        for (const Application& a : apps) {
            loaded = earliest(loaded, a.loaded);
            applied = earliest(applied, a.disp);
        }

        const City& city = dice.pick(kCities);
        const bool rif = dice.percent(5);
        const bool notRehire = dice.percent(3);
        const QDate rifExpires = rif ? today.addDays(dice.between(-30, 330)) : QDate();
        const QDate notRehireExpires = notRehire ? today.addDays(dice.between(30, 730)) : QDate();
        // As the program keeps it: the purge date never falls before a RIF or not-rehire expiry.
        const QDate purge = latest(latest(loaded.addDays(kPurgeDays), rifExpires), notRehireExpires);
        const bool scanned = i < static_cast<int>(std::size(kSpecialNames)) || dice.percent(85);
        QString zip = QLatin1String(city.zipPrefix) + digits(dice, 2);
        if (dice.percent(20))
            zip += QLatin1Char('-') + digits(dice, 4);

        insert(db, "applicants",
               {{"ApplicantID", id},
                {"Name", name},
                {"Soc", QString(QLatin1Char(static_cast<char>('1' + dice.below(8)))) + digits(dice, 8)},
                {"Phone", QStringLiteral("(%1) 555-%2").arg(QLatin1String(city.areaCode), digits(dice, 4))},
                {"Address1", QStringLiteral("%1 %2").arg(dice.between(10, 9899)).arg(QLatin1String(dice.pick(kStreets)))},
                {"Address2", dice.percent(15) ? QVariant(QLatin1String(dice.pick(kUnits))) : QVariant()},
                {"City", QLatin1String(city.name)},
                {"State", QLatin1String(city.state)},
                {"Zip", zip},
                {"RIF", rif},
                {"RIFExpires", rifExpires},
                {"PurgeDate", purge},
                {"DateLoaded", loaded},
                {"Comments", dice.percent(4) ? QVariant(QLatin1String(dice.pick(kApplicantComments))) : QVariant()},
                {"DoNotPurge", dice.percent(2)},
                {"VeteranPreference", dice.percent(10)},
                {"Scanned", scanned},
                {"ModifiedBy", QLatin1String(kApprover)},
                {"ModifiedDate", loaded},
                {"NotRehire", notRehire},
                {"NotRehireExpires", notRehireExpires}});

        for (const Application& a : apps) {
            const bool reviewed = a.loaded < today && dice.percent(65);
            const bool approved = reviewed && dice.percent(55);
            const QDate decided = reviewed ? earliest(a.loaded.addDays(dice.between(1, 7)), today) : QDate();
            const QDate sent = approved && dice.percent(70) ? earliest(decided.addDays(dice.between(0, 3)), today)
                                                            : QDate();
            const QDate interview = sent.isValid() && dice.percent(20) ? sent.addDays(dice.between(3, 21)) : QDate();
            const bool ownGroup = a.req->group == QLatin1String("HEALTH") || a.req->group == QLatin1String("PARKS");
            insert(db, "applications",
                   {{"ReqNumber", a.req->number},
                    {"ApplicantID", id},
                    {"Approved", approved},
                    {"SemtDate", sent},
                    {"DateLoaded", a.loaded},
                    {"LoadedbyPS", true},
                    {"Reviewed", reviewed},
                    {"Comments",
                     dice.percent(5) ? QVariant(QLatin1String(dice.pick(kApplicationComments))) : QVariant()},
                    {"DispDate", a.disp},
                    {"ModifiedBy", ownGroup ? QStringLiteral("MLOPEZ") : QLatin1String(kApprover)},
                    {"ModifiedDate", latest(latest(a.loaded, decided), sent)},
                    {"ApprovedBy", reviewed ? QVariant(QLatin1String(kApprover)) : QVariant()},
                    {"ApprovedDate", decided},
                    {"InterviewDate", interview}});
        }

        if (scanned) {
            // One document carries its extension in capitals, as copies from other
            // systems sometimes do.
            const QString ext = scannedCount == 9 ? QStringLiteral("PDF") : QStringLiteral("pdf");
            writeFile(QDir(documentDirectory).filePath(id + QLatin1Char('.') + ext),
                      demoDocument({"Application of " + pdfString(name), "Applicant " + id.toLatin1(),
                                       "Applied " + applied.toString(Qt::ISODate).toLatin1()}));
            ++scannedCount;
        }
    }
}

// Former applicants for the Process menu's purge: their purge dates have passed,
// and their documents are older than PurgeDays. Six may go; one may not be purged,
// and a RIF and a not-rehirable flag still running hold two more. The documents of
// three applicants purged long ago and two applications left without applicant or
// requisition are there too; Delete Invalid is on.
void writeFormerApplicants(Database& db, const QDate& today, const std::vector<Req>& reqs,
                           const QString& documentDirectory)
{
    const struct
    {
        const char* id;
        const char* name;
        int purgedDaysAgo;
        bool doNotPurge;
        int rifExpiresIn;       // days from today; 0 for no flag
        int notRehireExpiresIn; // the same
    } former[] = {
        {"00009001", "Harold Finch", 40, false, 0, 0},      {"00009002", "Greta Lindqvist", 12, false, 0, 0},
        {"00009003", "Omar Haddad", 200, false, 0, 0},      {"00009004", "Beatrice Olsen", 1, false, 0, 0},
        {"00009005", "Luis Carvalho", 90, false, 0, 0},     {"00009006", "Nora Quinlan", 0, false, 0, 0},
        {"00009007", "Victor Nyberg", 60, true, 0, 0},      {"00009008", "Ingrid Maas", 30, false, 60, 0},
        {"00009009", "Desmond Achebe", 15, false, 0, 200},
    };
    const QDateTime old(today.addDays(-400), QTime(9, 0));
    const auto oldDocument = [&](const QString& id, const QString& name) {
        const QString path = documentDirectory + id + QStringLiteral(".pdf");
        writeFile(path, demoDocument({"Application of " + pdfString(name), "Applicant " + id.toLatin1()}));
        QFile f(path);
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(old, QFileDevice::FileModificationTime);
    };
    int n = 0;
    for (const auto& f : former) {
        const QString id = QLatin1String(f.id);
        const QDate loaded = today.addDays(-f.purgedDaysAgo - kPurgeDays);
        insert(db, "applicants",
               {{"ApplicantID", id},
                {"Name", QLatin1String(f.name)},
                {"City", QStringLiteral("Madison")},
                {"State", QStringLiteral("WI")},
                {"PurgeDate", today.addDays(-f.purgedDaysAgo)},
                {"DateLoaded", loaded},
                {"DoNotPurge", f.doNotPurge},
                {"RIF", f.rifExpiresIn != 0},
                {"RIFExpires", f.rifExpiresIn != 0 ? QVariant(today.addDays(f.rifExpiresIn)) : QVariant()},
                {"NotRehire", f.notRehireExpiresIn != 0},
                {"NotRehireExpires",
                 f.notRehireExpiresIn != 0 ? QVariant(today.addDays(f.notRehireExpiresIn)) : QVariant()},
                {"Scanned", true},
                {"ModifiedBy", QLatin1String(kApprover)},
                {"ModifiedDate", loaded}});
        insert(db, "applications",
               {{"ReqNumber", reqs[static_cast<std::size_t>(n++) % reqs.size()].number},
                {"ApplicantID", id},
                {"Reviewed", true},
                {"Approved", false},
                {"DateLoaded", loaded},
                {"DispDate", loaded},
                {"LoadedbyPS", true}});
        oldDocument(id, QLatin1String(f.name));
    }
    for (const char* id : {"00008001", "00008002", "00008003"})
        oldDocument(QLatin1String(id), QStringLiteral("Former Applicant"));
    insert(db, "applications", {{"ReqNumber", reqs.front().number}, {"ApplicantID", QStringLiteral("00008001")}});
    insert(db, "applications",
           {{"ReqNumber", QStringLiteral("000999")},
            {"ApplicantID", QStringLiteral("%1").arg(kFirstApplicant, 8, 10, QLatin1Char('0'))}});
    update(db, "settings", {{"DeleteInvalid", true}});
}

} // namespace

QByteArray demoDocument(const QList<QByteArray>& lines)
{
    QByteArray content = "BT\n/F1 18 Tf\n72 720 Td\n";
    for (int i = 0; i < lines.size(); ++i) {
        if (i == 1)
            content += "/F1 12 Tf\n";
        if (i > 0)
            content += "0 -22 Td\n";
        content += '(' + lines[i] + ") Tj\n";
    }
    content += "ET";

    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> "
        "/Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream"};

    QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

namespace {

// An export of the HR system to try the import with ("hr-export.txt", in the demo's
// tab-separated layout): new applicants for some open requisitions, a few with
// their scanned documents already there, and one new requisition of a known
// contact. Its requisition lines repeat what the database holds, so importing it
// changes no requisition but the new one.
void writeDemoExport(Database& db, const QString& directory, const QString& documentDirectory, const QDate& today)
{
    QSqlQuery q = db.exec(QStringLiteral(
        "SELECT ReqNumber, Contact, JobPostingID, PositionTitle, FTE, JobCode, Department, ContactPhone, "
        "EMailAddress, Address, DatePosted FROM requisitions WHERE PositionFilled = 0 ORDER BY ReqNumber"));
    QList<QStringList> reqs;
    while (q.next() && reqs.size() < 4) {
        QStringList r;
        for (int i = 0; i < 11; ++i)
            r << q.value(i).toString();
        reqs << r;
    }
    if (reqs.isEmpty())
        return;
    // A new requisition: the contact's defaults come from the department contact table.
    QStringList fresh = reqs.first();
    fresh[0] = QStringLiteral("%1").arg(kFirstReq + kReqCount + 40, 6, 10, QLatin1Char('0'));
    fresh[3] = QStringLiteral("Seasonal ") + fresh[3];
    fresh[8].clear();
    fresh[10] = today.toString(Qt::ISODate);
    reqs << fresh;

    const char* const names[] = {"Okafor, Chidi",     "Lindqvist, Maja",  "D'Angelo, Rosa",  "Nguyen, Thi Mai",
                                 "Brennan, Sean",     "Al-Masri, Layla",  "Kowalski, Piotr", "Garc\xED" "a, Luc\xED" "a",
                                 "Haddad, Omar",      "Fischer, Anna"};
    QByteArray out = "ApplicantID\tName\tSSN\tPhone\tAddress1\tAddress2\tAddress3\tAddress4\tCity\tState\tZip\t"
                     "PurgeDate\tVeteran\tApplied\tRIF\tRIFExpires\tReqNumber\tContact\tPostingID\tTitle\tFTE\t"
                     "JobCode\tDepartment\tPhone\tEMail\tMailing\tPosted\r\n";
    const auto field = [](const QString& s) { return s.toLatin1(); };
    for (int i = 0; i < int(std::size(names)); ++i) {
        const QByteArray id = QByteArray::number(kFirstApplicant + kApplicantCount + 500 + i).rightJustified(8, '0');
        const int applications = 1 + i % 2;
        for (int k = 0; k < applications; ++k) {
            const QStringList& r = reqs.at((i + k * 2) % reqs.size());
            QList<QByteArray> v = {id, QByteArray(names[i]), QByteArray::number(600000000 + i * 7919),
                                   "555-01" + QByteArray::number(10 + i), QByteArray::number(100 + i * 12) + " Elm Street",
                                   "", "", "", "Springfield", "IL", "62704", "",
                                   i % 4 == 0 ? "V" : "", today.addDays(-i % 3).toString(QStringLiteral("MM/dd/yyyy")).toLatin1(),
                                   i == 5 ? "R" : "", i == 5 ? today.addDays(200).toString(Qt::ISODate).toLatin1() : QByteArray()};
            for (int c = 0; c < 11; ++c)
                v << field(r.at(c));
            out += v.join('\t') + "\r\n";
        }
        // Some documents were scanned before the export came: the import marks them.
        if (i % 3 == 0)
            writeFile(documentDirectory + QString::fromLatin1(id) + QStringLiteral(".pdf"),
                      demoDocument({"Application of " + QByteArray(names[i]).replace('\xED', 'i'),
                                    "Applicant " + id}));
    }
    writeFile(QDir(directory).filePath(QStringLiteral("hr-export.txt")), out);
    update(db, "settings", {{"ImportFileName", QDir(directory).filePath(QStringLiteral("hr-export.txt"))}});
}

} // namespace

QStringList fillDemoData(const DatabaseLocation& location, const QString& documentDirectory,
                         const QString& templateDirectory)
{
    const QDate today = QDate::currentDate();
    Dice dice(kDataStart);

    QString docs = QDir::fromNativeSeparators(QFileInfo(documentDirectory).absoluteFilePath());
    if (!QDir().mkpath(docs))
        throw DbError(QStringLiteral("Cannot make the directory %1 for the scanned documents.")
                          .arg(QDir::toNativeSeparators(docs)));
    if (!docs.endsWith(QLatin1Char('/')))
        docs += QLatin1Char('/');

    Database db;
    db.open(location);
    Transaction tx(db);

    if (!templateDirectory.isEmpty())
        writeDemoTemplates(templateDirectory);
    writeSettings(db, docs, templateDirectory);
    for (const Group& g : kGroups)
        insert(db, "job_postings", {{"JobPostingID", QLatin1String(g.id)}, {"Description", QLatin1String(g.description)}});
    const QStringList users = writeUsers(db, writeProfiles(db));
    const std::vector<Req> reqs = writeRequisitions(db, dice, today);
    writeApplicants(db, dice, today, reqs, docs);
    writeFormerApplicants(db, today, reqs, docs);
    if (!templateDirectory.isEmpty())
        writeDemoExport(db, templateDirectory, docs, today);
    update(db, "id_counters", {{"AppStart", kFirstApplicant + kApplicantCount}, {"ReqStart", kFirstReq + kReqCount}});

    tx.commit();
    return users;
}

} // namespace mw
