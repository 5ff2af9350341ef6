// Layout upgrades: a database made by the code of an older layout is refused by
// name until it is upgraded, the upgrade is all or nothing, never under a running
// copy, and an upgraded database is the same as a new one.

#include "datastore/migrations.h"
#include "dbfixture.h"

#include <QSqlQuery>

using namespace mw;
using mwtest::Backend;
using mwtest::TestDatabase;

class MigrationTest : public ::testing::TestWithParam<Backend>
{
protected:
    std::unique_ptr<TestDatabase> olderDatabase(int layout = 1)
    {
        auto db = std::make_unique<TestDatabase>(GetParam(), layout);
        if (!db->ok()) {
            if (GetParam() == Backend::Postgres &&
                qEnvironmentVariable("MERROWIND_TEST_NO_POSTGRES") == QLatin1String("1"))
                return nullptr;
            ADD_FAILURE() << db->error().toStdString();
            return nullptr;
        }
        return db;
    }
    // The indexes of the database, by name, and the columns of every table.
    static QStringList layoutOf(const DatabaseLocation& location)
    {
        Database db;
        db.openForUpgrade(location);
        QStringList layout;
        QSqlQuery q = db.exec(db.dialect() == Dialect::SQLite
                                  ? QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND name "
                                                   "NOT LIKE 'sqlite_%' ORDER BY name")
                                  : QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = "
                                                   "current_schema() ORDER BY indexname"));
        while (q.next())
            layout << QStringLiteral("index ") + q.value(0).toString();
        q.finish();
        for (const char* t : {"mw_locks", "mw_sessions", "settings", "applicants", "users"}) {
            const QSqlRecord r = db.connection().record(QLatin1String(t));
            for (int i = 0; i < r.count(); ++i)
                layout << QLatin1String(t) + QLatin1Char('.') + r.fieldName(i).toLower();
        }
        return layout;
    }
};

TEST_P(MigrationTest, AnOlderLayoutIsRefusedByNameUntilUpgradedAndThenEqualsANewOne)
{
    auto older = olderDatabase();
    if (!older)
        return;
    const DatabaseLocation& where = older->location();
    {
        Database before; // what the older program stored
        before.openForUpgrade(where);
        before.exec(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"),
                    {QStringLiteral("A1"), QStringLiteral("KEPT")});
    }
    EXPECT_EQ(databaseLayout(where), 1);

    TMerrowindData data;
    try {
        data.open(where);
        FAIL() << "an older layout was opened";
    } catch (const DbError& e) {
        EXPECT_EQ(e.code(), QLatin1String(Database::OlderLayoutCode));
        EXPECT_TRUE(e.message().contains(QStringLiteral("merrowind --upgrade-database"))) << e.message().toStdString();
    }

    const UpgradeReport report = upgradeDatabase(where);
    EXPECT_EQ(report.from, 1);
    EXPECT_EQ(report.to, Schema::Version);
    EXPECT_EQ(report.done.size(), Schema::Version - 1);
    EXPECT_EQ(upgradeDatabase(where).done.size(), 0) << "a current database is left alone";

    data.open(where);
    TQuery q(data.database());
    q.add(QStringLiteral("SELECT Name FROM applicants WHERE ApplicantID = ?"));
    q.bind(QStringLiteral("A1"));
    q.open();
    EXPECT_EQ(q.asString(QStringLiteral("Name")), QStringLiteral("KEPT"));
    q.close();
    data.close();

    TestDatabase fresh(GetParam());
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ(layoutOf(where), layoutOf(fresh.location()));
    EXPECT_TRUE(layoutOf(where).contains(QStringLiteral("index mw_locks_session")));
}

TEST_P(MigrationTest, AFailingStepLeavesTheOlderLayoutWhole)
{
    auto older = olderDatabase();
    if (!older)
        return;
    const std::vector<MigrationStep> failing = {
        {2, QStringLiteral("first half"),
         [](Database& db) {
             db.exec(QStringLiteral("CREATE TABLE mw_half (x INTEGER)"));
             db.exec(QStringLiteral("CREATE INDEX mw_locks_session ON mw_locks (session_id)"));
             db.exec(QStringLiteral("INSERT INTO no_such_table VALUES (1)")); // the step breaks here
         }},
    };
    EXPECT_THROW(upgradeDatabase(older->location(), failing), DbError);
    EXPECT_EQ(databaseLayout(older->location()), 1);
    const QStringList layout = layoutOf(older->location());
    EXPECT_FALSE(layout.contains(QStringLiteral("index mw_locks_session")));
    Database db;
    db.openForUpgrade(older->location());
    EXPECT_FALSE(db.tableExists(QStringLiteral("mw_half"))) << "half a step stayed";
    db.close();
    // The real steps still apply afterwards.
    EXPECT_EQ(upgradeDatabase(older->location()).to, Schema::Version);
}

TEST_P(MigrationTest, NotWhileACopyRunsOnItAndNeverDownwards)
{
    auto older = olderDatabase();
    if (!older)
        return;
    {
        // A running copy of the older program: registered, not upgraded under it.
        Database other;
        other.openForUpgrade(older->location());
        SessionRegistry running(other);
        running.registerSession(QStringLiteral("CLERK"));
        try {
            upgradeDatabase(older->location());
            ADD_FAILURE() << "upgraded under a running copy";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("while Merrowind runs on it"))) << e.message().toStdString();
        }
        EXPECT_EQ(databaseLayout(older->location()), 1);
        running.unregisterSession();
    }
    {
        Database db;
        db.openForUpgrade(older->location());
        db.exec(QStringLiteral("UPDATE mw_meta SET value = ? WHERE name = ?"),
                {QString::number(Schema::Version + 1), QStringLiteral("schema_version")});
    }
    EXPECT_THROW(upgradeDatabase(older->location()), DbError);
    TMerrowindData data;
    try {
        data.open(older->location());
        ADD_FAILURE() << "a newer layout was opened";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("newer version of Merrowind")));
    }
}

// Users whose identifiers differ only in letter case stop the upgrade, named, and
// the database stays as it was until they are resolved.
TEST_P(MigrationTest, UserIdentifiersThatDifferOnlyInCaseAreNamedAndKeepTheOlderLayout)
{
    auto older = olderDatabase(2);
    if (!older)
        return;
    const DatabaseLocation& where = older->location();
    {
        Database db;
        db.openForUpgrade(where);
        db.exec(QStringLiteral("INSERT INTO users (UserID, UserName, SecurityID) VALUES (?, ?, 1), (?, ?, 1), (?, ?, 1)"),
                {QStringLiteral("supervisor"), QStringLiteral("Mallory"), QStringLiteral("ANN"), QStringLiteral(""),
                 QStringLiteral("ann"), QStringLiteral("Ann Lee")});
    }
    try {
        upgradeDatabase(where);
        ADD_FAILURE() << "upgraded with ambiguous users";
    } catch (const DbError& e) {
        EXPECT_EQ(e.message().toStdString(),
                  "The database cannot be upgraded: these user identifiers differ only in letter case, so the logon "
                  "cannot tell them apart. Rename or delete all but one of each, then upgrade again.\n"
                  "  \"ANN\"\n  \"ann\" (Ann Lee)\n  \"SUPERVISOR\" (Supervisor)\n  \"supervisor\" (Mallory)");
    }
    EXPECT_EQ(databaseLayout(where), 2);
    {
        Database db;
        db.openForUpgrade(where);
        db.exec(QStringLiteral("DELETE FROM users WHERE UserID IN (?, ?)"), {QStringLiteral("supervisor"), QStringLiteral("ann")});
    }
    EXPECT_EQ(upgradeDatabase(where).to, Schema::Version);
    Database db;
    db.openForUpgrade(where);
    EXPECT_THROW(db.exec(QStringLiteral("INSERT INTO users (UserID) VALUES (?)"), {QStringLiteral("Ann")}), DbError);
}

MW_INSTANTIATE_BACKENDS(MigrationTest);
