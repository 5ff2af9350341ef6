// The import run on a real database (both backends) from real files: what a line
// stores, merging on a second import, the lines that stop a run and what stays
// stored then, Cancel, the dry run, and the follow-up steps.

#include "cleanclock.h"
#include "dbfixture.h"
#include "import/importrun.h"
#include "scriptedtalk.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

// The columns of the tab-separated layout the tests use: column n holds the
// value of the layout's n-th pair.
enum Column {
    AppID = 1, Name, Soc, Phone, Address1, Address2, Address3, Address4, City, State, Zip, PurgeDate, VetPref,
    DispDate, RIF, RIFExpire, ReqNumber, Contact, PostingID, PositionTitle, FTE, JobCode, Department, ReqPhone,
    ReqEMail, ReqMail, Posted, ColumnCount = Posted
};

const char* const kPairs[] = {
    "AppID",        "AppName",         "AppSoc",     "AppPhone",     "AppAddress1",   "AppAddress2", "AppAddress3",
    "AppAddress4",  "AppCity",         "AppState",   "AppZip",       "AppPurgeDate",  "AppVetPref",  "AppDispDate",
    "AppRIF",       "AppRIFExpire",    "ReqNumber",  "ReqContact",   "ReqPostingID",  "ReqPositionTitle", "ReqFTE",
    "ReqJobCode",   "ReqDepartment",   "ReqPhone",   "ReqEMail",     "ReqMail",       "ReqPosted"};

// One line of the file: the defaults of applicant a and requisition r, with changes.
QByteArray line(int a, int r, std::initializer_list<std::pair<Column, QByteArray>> changes = {})
{
    QList<QByteArray> v(ColumnCount);
    v[AppID - 1] = QByteArray::number(100000 + a);
    v[Name - 1] = "Person " + QByteArray::number(a);
    v[City - 1] = "Springfield";
    v[PurgeDate - 1] = "2099-06-30";
    v[DispDate - 1] = "11/02/2026";
    v[ReqNumber - 1] = "R" + QByteArray::number(r);
    v[Contact - 1] = "Manager " + QByteArray::number(r);
    v[PostingID - 1] = "PG" + QByteArray::number(r % 2);
    v[PositionTitle - 1] = "Clerk " + QByteArray::number(r);
    v[Posted - 1] = "2026-10-01";
    for (const auto& [column, value] : changes)
        v[column - 1] = value;
    return v.join('\t');
}

} // namespace

class ImportRunTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        mwtest::StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("scans"));
        for (int i = 0; i < ColumnCount; ++i)
            sql(QStringLiteral("UPDATE settings SET %1Start = ?, %1Length = 0").arg(QLatin1String(kPairs[i])), {i + 1});
        sql(QStringLiteral("UPDATE settings SET LinesToSkip = 1, VetCodes = 'v', AppRIFCodes = 'R', PurgeDays = 180, "
                           "InformUsers = 0, HTTPAllowSendAsWeb = 0, HTTPAllowHTTP = 1, FileExt = 'pdf', "
                           "FileLocation = ?, DefaultMessageToDep = 'Welcome', ImportFileName = ?"),
            {dir.filePath(QStringLiteral("scans")) + QLatin1Char('/'), file()});
        data->ReadSettings();
        ASSERT_TRUE(data->CheckUser(QStringLiteral("supervisor"), QString(), true));
        Clock::setToday(QDate(2026, 12, 10));
    }

public:
    QString file() const { return dir.filePath(QStringLiteral("export.txt")); }

    void write(const QList<QByteArray>& lines, const QByteArray& ending = "\n")
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("ID\tNAME\t...\n");
        for (qsizetype i = 0; i < lines.size(); ++i)
            f.write(lines[i] + (i + 1 < lines.size() ? QByteArray("\n") : ending));
    }

protected:
    OperationResult import(int kind = ImportAllData, std::function<void(ImportRun&)> setUp = {})
    {
        ImportRun run(*data, talk);
        run.ImportKind = kind;
        if (setUp)
            setUp(run);
        const OperationResult r = run.run();
        EXPECT_FALSE(run.Importing) << "every way out clears Importing";
        return r;
    }

    qint64 count(const char* table) { return scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toLongLong(); }
    QVariant applicant(const QString& id, const char* field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM applicants WHERE ApplicantID = ?").arg(QLatin1String(field)), {id});
    }
    QVariant requisition(const QString& number, const char* field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM requisitions WHERE ReqNumber = ?").arg(QLatin1String(field)),
                      {number});
    }
    // Every applicant, requisition and application, as one text per row, in key order.
    QStringList contents()
    {
        QStringList rows;
        for (const char* select :
             {"SELECT ApplicantID, Name, PurgeDate, RIF, RIFExpires, DateLoaded FROM applicants ORDER BY ApplicantID",
              "SELECT ReqNumber, Contact, PositionTitle, JobPostingID, EMailAddress FROM requisitions ORDER BY ReqNumber",
              "SELECT ReqNumber, ApplicantID, DispDate, Approved FROM applications ORDER BY ReqNumber, ApplicantID"}) {
            QSqlQuery q = data->database().exec(QLatin1String(select));
            while (q.next()) {
                QStringList v;
                for (int i = 0; i < q.record().count(); ++i)
                    v << q.value(i).toString();
                rows << v.join(QLatin1Char('|'));
            }
        }
        return rows;
    }

    QTemporaryDir dir;
    ScriptedTalk talk;
};

TEST_P(ImportRunTest, StoresEachLineAsTheTablesWouldAndMergesOnTheNextImport)
{
    sql(QStringLiteral("INSERT INTO dept_contacts (Contact, EMailAddress, MaxFiles, SendAsEMail, SendAsHTML) "
                       "VALUES ('Manager 2', 'm2@example.com', 7, 1, 1)"));
    const auto pat = {std::pair<Column, QByteArray>{Name, "O'Brien, \"Pat\" Jr"}, {VetPref, "V"}, {Address1, "Caf\xE9 Street 1"}};
    write({line(1, 1, pat),
           line(1, 2, pat),                                        // the same applicant again
           line(2, 2, {{PurgeDate, "01/05/2020"}, {RIF, "R"}, {RIFExpire, "2100-01-02"}, {DispDate, "12-01-2026"}}),
           line(3, 1, {{ReqNumber, ""}}),                          // an applicant only
           line(4, 3, {{ReqEMail, "a@x.org;b@x.org"}}),
           line(5, 4, {{AppID, ""}})},                             // a requisition only
          "");                                                     // the last line has no line end
    const OperationResult first = import();
    ASSERT_TRUE(first.isDone()) << first.error.toStdString();
    EXPECT_EQ(first.countOf(QStringLiteral("Lines Read")), 6);
    EXPECT_EQ(first.countOf(QStringLiteral("Applicants Inserted")), 4);
    EXPECT_EQ(first.countOf(QStringLiteral("Requisitions Inserted")), 4);
    EXPECT_EQ(first.countOf(QStringLiteral("Applications Inserted")), 4);

    // Quotes, apostrophes, commas and Windows-1252 letters are stored as they were.
    EXPECT_EQ(applicant(QStringLiteral("100001"), "Name").toString(), QStringLiteral("O'Brien, \"Pat\" Jr"));
    EXPECT_EQ(applicant(QStringLiteral("100001"), "Address1").toString(), QStringLiteral("Caf\u00e9 Street 1"));
    EXPECT_EQ(applicant(QStringLiteral("100001"), "VeteranPreference").toInt(), 1);
    EXPECT_EQ(applicant(QStringLiteral("100001"), "ModifiedBy").toString(), QStringLiteral("SUPERVISOR"));
    // A past purge date becomes today plus PurgeDays; a RIF expiry beyond it wins.
    EXPECT_EQ(applicant(QStringLiteral("100002"), "PurgeDate").toString(), QStringLiteral("2100-01-02"));
    EXPECT_EQ(applicant(QStringLiteral("100002"), "RIF").toInt(), 1);
    EXPECT_EQ(applicant(QStringLiteral("100003"), "PurgeDate").toString(), QStringLiteral("2099-06-30"));
    EXPECT_EQ(applicant(QStringLiteral("100003"), "Scanned").toInt(), 0);

    // A new requisition takes its contact's defaults and the settings' message.
    EXPECT_EQ(requisition(QStringLiteral("R2"), "EMailAddress").toString(), QStringLiteral("m2@example.com"));
    EXPECT_EQ(requisition(QStringLiteral("R2"), "MaxFiles").toInt(), 7);
    EXPECT_EQ(requisition(QStringLiteral("R2"), "SendAsHTML").toInt(), 1);
    EXPECT_EQ(requisition(QStringLiteral("R2"), "MessageToDept").toString(), QStringLiteral("Welcome"));
    EXPECT_TRUE(requisition(QStringLiteral("R2"), "WebAddress").toString().isEmpty()) << "web sending is off";
    EXPECT_EQ(requisition(QStringLiteral("R1"), "SendAsEMail").toInt(), 1) << "without web sending, always by e-mail";
    EXPECT_EQ(requisition(QStringLiteral("R3"), "EMailAddress").toString(), QStringLiteral("a@x.org,b@x.org"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT EMailAddress FROM dept_contacts WHERE Contact = 'Manager 3'")).toString(),
              QStringLiteral("a@x.org")) << "the contact table learns the first address";

    // A new application: loaded, neither reviewed nor approved, and nobody's approval.
    QSqlQuery q = data->database().exec(QStringLiteral(
        "SELECT Approved, Reviewed, LoadedbyPS, ApprovedBy, ApprovedDate, DispDate, DateLoaded FROM applications "
        "WHERE ApplicantID = '100002'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
    EXPECT_EQ(q.value(1).toInt(), 0);
    EXPECT_EQ(q.value(2).toInt(), 1);
    EXPECT_TRUE(q.value(3).isNull());
    EXPECT_TRUE(q.value(4).isNull());
    EXPECT_EQ(q.value(5).toString(), QStringLiteral("2026-12-01"));
    EXPECT_EQ(q.value(6).toString(), QStringLiteral("2026-12-10"));
    q.finish();

    // The next day the same file again: nothing new, every applicant loaded again.
    sql(QStringLiteral("UPDATE requisitions SET ContactPhone = '555-1234' WHERE ReqNumber = 'R1'"));
    sql(QStringLiteral("UPDATE applicants SET Scanned = 1, DoNotPurge = 1 WHERE ApplicantID = '100001'"));
    Clock::setToday(QDate(2026, 12, 11));
    const OperationResult second = import();
    ASSERT_TRUE(second.isDone()) << second.error.toStdString();
    EXPECT_EQ(second.countOf(QStringLiteral("Applicants Inserted")), 0);
    EXPECT_EQ(second.countOf(QStringLiteral("Applicants Updated")), 4);
    EXPECT_EQ(second.countOf(QStringLiteral("Requisitions Updated")), 4);
    EXPECT_EQ(second.countOf(QStringLiteral("Applications Inserted")), 0);
    EXPECT_EQ(count("applications"), 4);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants WHERE DateLoaded = '2026-12-11'")).toInt(), 4);
    EXPECT_EQ(applicant(QStringLiteral("100001"), "DoNotPurge").toInt(), 1) << "what the layout does not carry stays";
    EXPECT_EQ(requisition(QStringLiteral("R1"), "ContactPhone").toString(), QStringLiteral("555-1234"));
}

// The name search's index follows a name the import changes, and only that one.
TEST_P(ImportRunTest, TheNameSearchFindsNamesTheImportChanged)
{
    write({line(1, 1, {{Name, "Quackenbush, Ada"}}), line(2, 1, {{Name, "Zebedee, Tom"}})});
    ASSERT_TRUE(import().isDone());
    write({line(1, 1, {{Name, "Quackenbush, Ada"}}), line(2, 1, {{Name, "Yarborough, Tom"}})});
    ASSERT_TRUE(import().isDone());
    const auto found = [this](const char* text) {
        data->SearchInName = true;
        data->ApplicantSearchText = QLatin1String(text);
        TTable& t = data->ApplicantTable;
        if (!t.active())
            t.open();
        t.setFiltered(false);
        t.setFiltered(true);
        return t.recordCount();
    };
    EXPECT_EQ(found("quackenbush"), 1) << "an unchanged name stays found";
    EXPECT_EQ(found("yarborough"), 1);
    EXPECT_EQ(found("zebedee"), 0);
}

TEST_P(ImportRunTest, ARequisitionsImportChangesOnlyTheFieldsTheLayoutCarries)
{
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, Contact, PositionTitle, ContactPhone, EMailAddress, "
                       "Address, Department) VALUES ('R1', 'Old', 'Old title', '555', 'old@x.org', 'Hall', 'Old dept')"));
    sql(QStringLiteral("UPDATE settings SET ReqDepartmentStart = 0, ReqsOnlyFile = ?"), {file()});
    write({line(1, 1, {{ReqPhone, "999"}, {ReqEMail, "new@x.org"}, {ReqMail, "Elsewhere"}})});
    ASSERT_TRUE(import(ImportRequisitions).isDone());
    EXPECT_EQ(requisition(QStringLiteral("R1"), "Contact").toString(), QStringLiteral("Manager 1"));
    EXPECT_EQ(requisition(QStringLiteral("R1"), "PositionTitle").toString(), QStringLiteral("Clerk 1"));
    EXPECT_EQ(requisition(QStringLiteral("R1"), "Department").toString(), QStringLiteral("Old dept")) << "not in the layout";
    for (const char* kept : {"ContactPhone", "EMailAddress", "Address"})
        EXPECT_NE(requisition(QStringLiteral("R1"), kept).toString(), QStringLiteral("999")) << kept;
    EXPECT_EQ(requisition(QStringLiteral("R1"), "EMailAddress").toString(), QStringLiteral("old@x.org"));
    EXPECT_EQ(count("applicants"), 0) << "a requisitions import reads no applicant";

    // A layout that carries nothing of a requisition but its number updates nothing
    // and still tells a known requisition from a new one.
    for (const char* pair : kPairs)
        if (QByteArray(pair).startsWith("Req") && QByteArray(pair) != "ReqNumber")
            sql(QStringLiteral("UPDATE settings SET %1Start = 0").arg(QLatin1String(pair)));
    write({line(1, 1), line(1, 9)});
    const OperationResult r = import(ImportRequisitions);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(r.countOf(QStringLiteral("Requisitions Updated")), 1);
    EXPECT_EQ(r.countOf(QStringLiteral("Requisitions Inserted")), 1);
    EXPECT_EQ(requisition(QStringLiteral("R1"), "Contact").toString(), QStringLiteral("Manager 1"));
}

// A line that cannot be stored ends the run there: the lines before it stay stored,
// nothing of it is stored, the follow-up steps do not run, and the error names it.
TEST_P(ImportRunTest, ALineThatCannotBeStoredStopsTheRunThereAndNothingOfItIsStored)
{
    const struct
    {
        const char* what;
        QByteArray bad;
        const char* message;
    } cases[] = {
        {"applicant id too long", line(7, 7, {{AppID, "123456789012"}}), "the applicant identifier \"123456789012\" is longer than 11"},
        {"requisition too long", line(7, 7, {{ReqNumber, "R1234567890"}}), "the requisition number \"R1234567890\" is longer than 10"},
        {"not a date", line(7, 7, {{DispDate, "20261101"}}), "the application date \"20261101\" is not a date"},
        {"expiry not a date", line(7, 7, {{RIF, "R"}, {RIFExpire, "soon"}}), "the RIF expiry date \"soon\" is not a date"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sql(QStringLiteral("DELETE FROM applicants"));
        sql(QStringLiteral("DELETE FROM requisitions"));
        sql(QStringLiteral("DELETE FROM applications"));
        write({line(1, 1), line(2, 1), line(3, 2), c.bad, line(8, 8)});
        talk.clear();
        const OperationResult r = import(ImportAllData, [](ImportRun& run) { run.BatchLines = 2; });
        ASSERT_TRUE(r.isFailed());
        EXPECT_TRUE(r.error.startsWith(QStringLiteral("Line 5: "))) << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QLatin1String(c.message))) << r.error.toStdString();
        EXPECT_EQ(count("applicants"), 3);
        EXPECT_EQ(count("applications"), 3);
        EXPECT_EQ(count("requisitions"), 2) << "R7 of the bad line is not stored";
        EXPECT_FALSE(talk.waits().contains(QStringLiteral("Marking Applications As Scanned")));
    }
}

// The database itself refuses part of a line whose applicant went in already:
// the line's applicant is taken back with it, in the middle of a batch. On
// PostgreSQL applications go in groups of many lines: the line to blame is found
// all the same.
TEST_P(ImportRunTest, ALineTheDatabaseRefusesHalfWayIsTakenBackWhole)
{
    const bool sqlite = GetParam() == mwtest::Backend::SQLite;
    const struct
    {
        const char* table;
        const char* condition;
    } cases[] = {{"requisitions", "ReqNumber = 'R6'"}, {"applications", "ApplicantID = '100004'"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        for (const char* t : {"applicants", "requisitions", "applications"})
            sql(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
        if (sqlite) {
            sql(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 WHEN new.%2 BEGIN SELECT RAISE(ABORT, "
                               "'line refused'); END")
                    .arg(QLatin1String(c.table), QLatin1String(c.condition)));
        } else {
            sql(QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.%1 THEN RAISE EXCEPTION "
                               "'line refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql")
                    .arg(QLatin1String(c.condition)));
            sql(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 FOR EACH ROW EXECUTE FUNCTION refuse()")
                    .arg(QLatin1String(c.table)));
        }
        write({line(1, 1), line(2, 2), line(3, 3), line(4, 6), line(5, 5), line(6, 1)});
        const OperationResult r = import();
        ASSERT_TRUE(r.isFailed());
        EXPECT_TRUE(r.error.startsWith(QStringLiteral("Line 5: "))) << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QLatin1String("line refused"))) << r.error.toStdString();
        EXPECT_EQ(count("applicants"), 3) << "the applicant of the refused line is not stored";
        EXPECT_EQ(count("applications"), 3);
        EXPECT_EQ(r.countOf(QStringLiteral("Applicants Inserted")), 3);
        EXPECT_EQ(r.countOf(QStringLiteral("Applications Inserted")), 3);

        // With the refusal gone, the same file completes what is missing.
        sql(QStringLiteral("DROP TRIGGER refuse") + (sqlite ? QString() : QStringLiteral(" ON ") + QLatin1String(c.table)));
        if (!sqlite)
            sql(QStringLiteral("DROP FUNCTION refuse()"));
        const OperationResult again = import();
        ASSERT_TRUE(again.isDone()) << again.error.toStdString();
        EXPECT_EQ(count("applicants"), 6);
        EXPECT_EQ(count("applications"), 6);
        EXPECT_EQ(again.countOf(QStringLiteral("Applications Inserted")), 3);
    }
}

TEST_P(ImportRunTest, FilesThatAreNotWhatTheySeem)
{
    const QByteArray longLine = line(9, 9, {{Address2, QByteArray(70 * 1024, 'x')}});
    const struct
    {
        const char* what;
        std::function<void(ImportRunTest&)> make;
        bool done;
        qint64 lines;
        const char* message;
        bool followUp;
    } cases[] = {
        {"empty", [](ImportRunTest& t) { QFile f(t.file()); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }, true, 0, "", true},
        {"only the header", [](ImportRunTest& t) { t.write({}); }, true, 0, "", true},
        {"header without line end",
         [](ImportRunTest& t) { QFile f(t.file()); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); f.write("ID\tNAME"); }, true, 0, "", true},
        {"still being written", [](ImportRunTest& t) { t.write({line(1, 1), line(2, 1)}, ""); }, true, 2, "", true},
        {"CR LF", [](ImportRunTest& t) { t.write({line(1, 1) + "\r", line(2, 1) + "\r"}); }, true, 2, "", true},
        {"an over-long line", [longLine](ImportRunTest& t) { t.write({line(1, 1), longLine, line(2, 1)}); }, false, 1,
         "Line 3: the line is longer than 65536 characters", false},
        {"missing", [](ImportRunTest& t) { QFile::remove(t.file()); }, false, 0, "Import File Does Not Exist", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sql(QStringLiteral("DELETE FROM applicants"));
        c.make(*this);
        talk.clear();
        const OperationResult r = import();
        EXPECT_EQ(r.isDone(), c.done) << r.error.toStdString();
        EXPECT_EQ(r.countOf(QStringLiteral("Lines Read")), c.lines);
        EXPECT_EQ(count("applicants"), c.lines);
        EXPECT_TRUE(QByteArray(c.message).isEmpty() ? r.error.isEmpty() : r.error.startsWith(QLatin1String(c.message)))
            << r.error.toStdString();
        EXPECT_EQ(talk.waits().contains(QStringLiteral("Checking For Jobs With No Posting ID")), c.followUp);
    }
    sql(QStringLiteral("UPDATE settings SET ImportFileName = NULL"));
    EXPECT_EQ(import().error, QStringLiteral("No Import File Name Defined In General Settings"));
}

// A share that went away mid-file reads as an error, not as the end of the file.
TEST_P(ImportRunTest, AReadErrorIsAnErrorNotTheEndOfTheFile)
{
    const OperationResult r = import(ImportAllData, [](ImportRun& run) { run.FileName = QStringLiteral("/proc/self/mem"); });
    ASSERT_TRUE(r.isFailed());
    EXPECT_TRUE(r.error.startsWith(QStringLiteral("Line 1: the import file could not be read"))) << r.error.toStdString();
}

TEST_P(ImportRunTest, CancelKeepsExactlyAPrefixOfTheLines)
{
    QList<QByteArray> lines;
    for (int i = 1; i <= 60; ++i)
        lines << line(i, i % 7);
    write(lines);
    talk.cancelAfter(25);
    const OperationResult r = import(ImportAllData, [](ImportRun& run) {
        run.ProgressMs = 0; // Cancel is looked at before every line
        run.BatchLines = 4;
    });
    ASSERT_TRUE(r.isCancelled());
    EXPECT_EQ(r.text, QStringLiteral("Import Aborted By User"));
    const qint64 stored = count("applicants");
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, 60);
    EXPECT_EQ(r.countOf(QStringLiteral("Lines Read")), stored);
    EXPECT_EQ(scalar(QStringLiteral("SELECT MAX(ApplicantID) FROM applicants")).toString(),
              QString::number(100000 + stored)) << "the first lines, none after";
    EXPECT_FALSE(talk.waits().contains(QStringLiteral("Marking Applications As Scanned"))) << "no follow-up after Cancel";
}

TEST_P(ImportRunTest, ADryRunChangesNothingAndTellsWhatWouldHappen)
{
    sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES ('100001', 'Known')"));
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber) VALUES ('R1')"));
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES ('R1', '100001')"));
    write({line(1, 1), line(1, 2), line(2, 2), line(3, 3, {{Posted, "31.12.2026"}}), line(2, 2),
           line(4, 4, {{AppID, "123456789012"}})});
    const QStringList before = contents();
    const OperationResult r = import(ImportAllData, [](ImportRun& run) { run.DryRun = true; });
    EXPECT_EQ(contents(), before);
    ASSERT_TRUE(r.isFailed()) << "two lines would stop the import";
    EXPECT_EQ(r.countOf(QStringLiteral("Applicants Inserted")), 1);
    EXPECT_EQ(r.countOf(QStringLiteral("Applicants Updated")), 1);
    EXPECT_EQ(r.countOf(QStringLiteral("Requisitions Inserted")), 1);
    EXPECT_EQ(r.countOf(QStringLiteral("Requisitions Updated")), 1);
    EXPECT_EQ(r.countOf(QStringLiteral("Applications Inserted")), 2);
    EXPECT_TRUE(r.error.contains(QStringLiteral("Line 5: the date posted \"31.12.2026\" is not a date."))) << r.error.toStdString();
    EXPECT_TRUE(r.error.contains(QStringLiteral("Line 7: the applicant identifier"))) << r.error.toStdString();
    EXPECT_FALSE(talk.waits().contains(QStringLiteral("Marking Applications As Scanned")));
}

TEST_P(ImportRunTest, TheFollowUpStepsRunInOrderAndReportRequisitionsWithoutAGroup)
{
    QFile doc(dir.filePath(QStringLiteral("scans/100002.PDF")));
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.close();
    sql(QStringLiteral("UPDATE settings SET AutoProcessNotHire = 1"));
    data->ReadSettings();
    write({line(1, 1, {{PostingID, ""}}), line(2, 2), line(3, 3, {{PostingID, ""}})});
    const OperationResult r = import();
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    QStringList steps = talk.waits();
    steps.erase(steps.begin(), std::find(steps.begin(), steps.end(), QStringLiteral("Marking Applications As Scanned")));
    EXPECT_EQ(steps, (QStringList{QStringLiteral("Marking Applications As Scanned"),
                                  QStringLiteral("Updating Scanned Applications"),
                                  QStringLiteral("Checking For Jobs With No Posting ID"),
                                  QStringLiteral("Updating RIF Flags"), QStringLiteral("Updating Not Rehirable Flags"),
                                  QStringLiteral("Flagging Not Rehirable Applicants As Not Approved"),
                                  QStringLiteral("Notifing Users Of New Scanned Applications")}))
        << steps.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(talk.errors(),
              QStringList{QStringLiteral("The Following Requisitions Do Not Have Job Posting ID's\n\nR1\nR3")});
    EXPECT_EQ(r.countOf(QStringLiteral("Scanned Flags Set")), 1);
    EXPECT_EQ(applicant(QStringLiteral("100002"), "Scanned").toInt(), 1);

    // A requisitions import runs only the posting group check.
    sql(QStringLiteral("UPDATE settings SET ReqsOnlyFile = ?"), {file()});
    talk.clear();
    ASSERT_TRUE(import(ImportRequisitions).isDone());
    EXPECT_FALSE(talk.waits().contains(QStringLiteral("Marking Applications As Scanned")));
    EXPECT_TRUE(talk.waits().contains(QStringLiteral("Checking For Jobs With No Posting ID")));
}

MW_INSTANTIATE_BACKENDS(ImportRunTest);
