// Creating, opening and refusing databases; table and field names.

#include "datastore/createdatabase.h"
#include "datastore/schema.h"
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

MW_INSTANTIATE_BACKENDS(DatabaseTest);

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
