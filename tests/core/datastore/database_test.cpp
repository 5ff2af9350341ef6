// Creating, opening and refusing databases; table and field names; nested units of work.

#include "datastore/createdatabase.h"
#include "datastore/schema.h"
#include "datastore/table.h"
#include "dbfixture.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>

using namespace mw;
using mwtest::Backend;

TEST(Schema, NamesResolveWithoutRegardToCase)
{
    const struct
    {
        const char* name;
        TableId id;
    } cases[] = {{"Applican.DB", TableId::Applicant}, {"applicat.db", TableId::Application},
                 {"Request.db", TableId::Request},    {"EMail.DB", TableId::EMail},
                 {"Userset.db", TableId::UserSet},    {"Security.db", TableId::Security},
                 {"\"JobPosting.db\"", TableId::JobPosting}, {"idnum", TableId::IDNum}};
    for (const auto& c : cases) {
        const TableDef* t = Schema::find(QLatin1String(c.name));
        ASSERT_NE(t, nullptr) << c.name;
        EXPECT_EQ(t->id, c.id) << c.name;
    }
    EXPECT_EQ(Schema::find(QStringLiteral("Nothing.db")), nullptr);
    EXPECT_GE(Schema::table(TableId::Applicant).fieldIndex(QStringLiteral("NotReHireExpires")), 0);
    EXPECT_GE(Schema::table(TableId::UserSet).fieldIndex(QStringLiteral("Mainuser")), 0);
    EXPECT_GE(Schema::table(TableId::UserSet).fieldIndex(QStringLiteral("userid")), 0);
    EXPECT_GE(Schema::table(TableId::Request).fieldIndex(QStringLiteral("JobpostingID")), 0);
}

class DatabaseTest : public mwtest::StoreTest
{};

TEST_P(DatabaseTest, NewDatabaseHoldsTheFirstRunRecords)
{
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM settings")).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT AppStart FROM id_counters")).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT ReqStart FROM id_counters")).toInt(), 1);
    // The supervisor logged on in SetUp with the empty password and got profile 0 with every right.
    EXPECT_EQ(data->LoginData.UserID, QStringLiteral("SUPERVISOR"));
    EXPECT_EQ(data->LoginData.SecurityID, 0);
    EXPECT_TRUE(data->SecurityData.Supervisor);
    for (bool TSecurityData::*flag : TSecurityData::flags())
        EXPECT_TRUE(data->SecurityData.*flag);
}

TEST_P(DatabaseTest, OpeningRefusesWhatIsNotACompleteDatabase)
{
    // A missing table is named; nothing else is touched.
    sql(QStringLiteral("DROP TABLE restrict_list"));
    data->close();
    TMerrowindData other;
    try {
        other.open(m_testDb->location());
        FAIL() << "opened a database without its restrict table";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Restrict.db"))) << e.message().toStdString();
    }
    EXPECT_FALSE(other.isOpen());
}

TEST_P(DatabaseTest, OpeningRefusesALayoutFromANewerVersion)
{
    sql(QStringLiteral("UPDATE mw_meta SET value = ? WHERE name = ?"),
        {QString::number(Schema::Version + 1), QStringLiteral("schema_version")});
    data->close();
    TMerrowindData other;
    EXPECT_THROW(other.open(m_testDb->location()), DbError);
}

// Nested units of work: an inner one that fails takes back only its own changes.
class TransactionTest : public mwtest::StoreTest
{
protected:
    void add(const QString& id)
    {
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"), {id, QStringLiteral("N")});
    }
    QStringList applicants()
    {
        QSqlQuery q = data->database().exec(QStringLiteral("SELECT ApplicantID FROM applicants ORDER BY ApplicantID"));
        QStringList ids;
        while (q.next())
            ids << q.value(0).toString();
        return ids;
    }
};

TEST_P(TransactionTest, AFailingInnerUnitLeavesTheOuterOneCommittable)
{
    Database& db = data->database();
    {
        Transaction outer(db);
        add(QStringLiteral("A"));
        {
            Transaction inner(db);
            EXPECT_EQ(db.transactionDepth(), 2);
            add(QStringLiteral("C")); // taken back with the failing line
            try {
                add(QStringLiteral("A"));
                FAIL() << "a second applicant A was inserted";
            } catch (const DbError& e) {
                EXPECT_TRUE(e.isKeyViolation()) << e.message().toStdString();
            }
        } // not committed: back to the savepoint
        EXPECT_EQ(db.transactionDepth(), 1);
        // On PostgreSQL the failed statement no longer blocks the transaction.
        add(QStringLiteral("B"));
        outer.commit();
    }
    EXPECT_EQ(db.transactionDepth(), 0);
    EXPECT_EQ(applicants(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));

    // The same through the table: a key violation on post inside an outer unit.
    TTable& t = data->ApplicantTable;
    t.refresh();
    {
        Transaction outer(db);
        add(QStringLiteral("D"));
        t.append();
        t.setValue(QStringLiteral("ApplicantID"), QStringLiteral("B"));
        EXPECT_THROW(t.post(), DbError);
        t.cancel();
        add(QStringLiteral("E"));
        outer.commit();
    }
    EXPECT_EQ(applicants(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("D"),
                                         QStringLiteral("E")}));
}

TEST_P(TransactionTest, InnerCommitsAreTakenBackWithTheOuterUnit)
{
    Database& db = data->database();
    {
        Transaction outer(db);
        add(QStringLiteral("A"));
        {
            Transaction middle(db);
            add(QStringLiteral("B"));
            {
                Transaction inner(db);
                add(QStringLiteral("C"));
                inner.commit();
            }
            {
                Transaction inner(db); // the same depth again, after the first was released
                add(QStringLiteral("D"));
            }
            middle.commit();
        }
        EXPECT_EQ(applicants(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        {
            Transaction middle(db);
            add(QStringLiteral("E"));
            {
                Transaction inner(db);
                add(QStringLiteral("F"));
                inner.commit();
            }
        } // the middle level takes its committed inner level back with it
        EXPECT_EQ(applicants(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    } // the outer one is never committed
    EXPECT_EQ(db.transactionDepth(), 0);
    EXPECT_TRUE(applicants().isEmpty());

    // Afterwards a new unit starts from the beginning.
    Transaction again(db);
    add(QStringLiteral("G"));
    again.commit();
    EXPECT_EQ(applicants(), QStringList{QStringLiteral("G")});
}

MW_INSTANTIATE_BACKENDS(DatabaseTest);
MW_INSTANTIATE_BACKENDS(TransactionTest);

TEST(DatabaseLocation, MissingDirectoryOrDatabaseIsNamedAndNothingIsCreated)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("nowhere"));
    TMerrowindData data;
    try {
        data.open(DatabaseLocation::parse(missing));
        FAIL();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("nowhere"))) << e.message().toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    try {
        data.open(DatabaseLocation::parse(dir.path()));
        FAIL();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("merrowind.db"))) << e.message().toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << "opening must not create a database";
}

TEST(DatabaseLocation, EnvironmentThenWorkingDirectory)
{
    qputenv("MERROWIND_DATABASE", "postgresql://hr@db.example:5433/merrowind");
    DatabaseLocation loc = DatabaseLocation::resolve(QStringLiteral("/work/dir"));
    EXPECT_EQ(loc.dialect, Dialect::PostgreSQL);
    qputenv("MERROWIND_DATABASE", "\\\\server\\share\\hr");
    loc = DatabaseLocation::resolve(QStringLiteral("/work/dir"));
    EXPECT_EQ(loc.dialect, Dialect::SQLite);
    EXPECT_EQ(loc.directory, QStringLiteral("//server/share/hr"));
    qunsetenv("MERROWIND_DATABASE");
    loc = DatabaseLocation::resolve(QStringLiteral("/work/dir"));
    EXPECT_EQ(loc.directory, QStringLiteral("/work/dir"));
}

TEST(DatabaseLocation, CreatingOverAnExistingDatabaseIsRefused)
{
    QTemporaryDir dir;
    const DatabaseLocation loc = DatabaseLocation::parse(dir.path());
    createDatabase(loc);
    EXPECT_THROW(createDatabase(loc), DbError);
    TMerrowindData data;
    EXPECT_NO_THROW(data.open(loc));
}
