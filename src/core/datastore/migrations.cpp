#include "datastore/migrations.h"

#include "datastore/database.h"
#include "datastore/schema.h"
#include "datastore/sessions.h"

#include <QSqlQuery>

namespace mw {

namespace {

void addFieldsOf(Database& db, int layout)
{
    for (const TableDef& t : Schema::tables())
        for (const FieldDef& f : t.fields)
            if (f.sinceLayout == layout)
                db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                            .arg(t.sqlName, db.columnDdl(f, t.uniqueKey.contains(f.name) || t.order.contains(f.name))));
}

// The upper-case form of a user identifier as the logon compares it: on
// PostgreSQL by every script's rules where the server has them.
QString upperUserId(Database& db)
{
    if (db.dialect() == Dialect::PostgreSQL) {
        QSqlQuery q = db.exec(QStringLiteral("SELECT collname FROM pg_collation WHERE collname = ?"),
                              {QStringLiteral("und-x-icu")});
        if (q.next())
            return QStringLiteral("UPPER(UserID COLLATE \"und-x-icu\")");
    }
    return QStringLiteral("UPPER(UserID)");
}

// Users whose identifiers differ only in letter case cannot be told apart by the
// logon: the step stops and names them, to be resolved before upgrading again.
void userIdsIgnoringCase(Database& db)
{
    const QString key = upperUserId(db);
    QSqlQuery q = db.exec(QStringLiteral("SELECT UserID, UserName FROM users WHERE %1 IN "
                                         "(SELECT %1 FROM users GROUP BY %1 HAVING COUNT(*) > 1) "
                                         "ORDER BY %1, rid")
                              .arg(key));
    QStringList rows;
    while (q.next())
        rows << QStringLiteral("  \"%1\"%2")
                    .arg(q.value(0).toString(),
                         q.value(1).toString().isEmpty() ? QString() : QStringLiteral(" (%1)").arg(q.value(1).toString()));
    q.finish();
    if (!rows.isEmpty())
        throw DbError(QStringLiteral("The database cannot be upgraded: these user identifiers differ only in "
                                     "letter case, so the logon cannot tell them apart. Rename or delete all but "
                                     "one of each, then upgrade again.\n%1")
                          .arg(rows.join(QLatin1Char('\n'))));
    db.exec(QStringLiteral("CREATE UNIQUE INDEX users_userid_nocase ON users ((%1))").arg(key));
}

} // namespace

const std::vector<MigrationStep>& migrationSteps()
{
    static const std::vector<MigrationStep> steps = {
        {2, QStringLiteral("Record locks are found by the running copy that holds them"),
         [](Database& db) {
             db.exec(QStringLiteral("CREATE INDEX mw_locks_session ON mw_locks (session_id)"));
         }},
        {3, QStringLiteral("A user identifier names one user, whatever the letter case"), userIdsIgnoringCase},
        {4, QStringLiteral("Mail servers: connection security, login, time-out and certificate authority; "
                           "unreviewed applications are found by their requisition"),
         [](Database& db) {
             // The notices count them per requisition, over millions of applications.
             db.exec(QStringLiteral("CREATE INDEX applications_unreviewed ON applications (ReqNumber) "
                                    "WHERE Reviewed IS NULL OR Reviewed = 0"));
         }},
        {5, QStringLiteral("FTP: connection security, passive mode, time-out and certificate authority"), nullptr},
        {6, QStringLiteral("The applicants' name search index is written only when a name changes"),
         [](Database& db) {
             // An import sets every applicant's name again; rewriting the index for
             // an unchanged name cost as much as the import itself.
             if (db.dialect() != Dialect::SQLite)
                 return;
             QSqlQuery had = db.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND "
                                                    "name = 'applicant_names_update'"));
             if (!had.next())
                 return;
             db.exec(QStringLiteral("DROP TRIGGER applicant_names_update"));
             db.exec(QStringLiteral("CREATE TRIGGER applicant_names_update AFTER UPDATE OF Name ON applicants "
                                    "WHEN old.Name IS NOT new.Name BEGIN "
                                    "INSERT INTO applicant_names (applicant_names, rowid, Name) "
                                    "VALUES ('delete', old.rid, old.Name); "
                                    "INSERT INTO applicant_names (rowid, Name) VALUES (new.rid, new.Name); END"));
         }},
    };
    return steps;
}

void applyMigrations(Database& db, int target, const std::vector<MigrationStep>& steps)
{
    int version = db.schemaVersion();
    for (const MigrationStep& step : steps) {
        if (step.layout <= version || step.layout > target)
            continue;
        if (step.layout != version + 1)
            throw DbError(QStringLiteral("The database layout %1 cannot be upgraded: no step leads to layout %2.")
                              .arg(version)
                              .arg(version + 1));
        addFieldsOf(db, step.layout);
        if (step.statements)
            step.statements(db);
        version = step.layout;
    }
    if (version != target)
        throw DbError(QStringLiteral("The database layout %1 cannot be brought to layout %2.").arg(version).arg(target));
    db.exec(QStringLiteral("UPDATE mw_meta SET value = ? WHERE name = ?"),
            {QString::number(version), QStringLiteral("schema_version")});
}

UpgradeReport upgradeDatabase(const DatabaseLocation& location, const std::vector<MigrationStep>& steps)
{
    Database db;
    db.openForUpgrade(location);
    UpgradeReport report;
    report.from = db.schemaVersion();
    report.to = report.from;
    if (report.from >= Schema::Version)
        return report;
    {
        // Not while anybody works on it: the layout changes under a running copy.
        SessionRegistry others(db);
        if (others.otherSessionCount() > 0)
            throw DbError(QStringLiteral("The database %1 cannot be upgraded while Merrowind runs on it "
                                         "(%2 running copies attached). Close them all and try again.")
                              .arg(location.describe())
                              .arg(others.otherSessionCount()));
    }
    Transaction tx(db);
    applyMigrations(db, Schema::Version, steps);
    tx.commit();
    for (const MigrationStep& s : steps)
        if (s.layout > report.from && s.layout <= Schema::Version)
            report.done << s.description;
    report.to = Schema::Version;
    return report;
}

int databaseLayout(const DatabaseLocation& location)
{
    Database db;
    db.openForUpgrade(location);
    return db.schemaVersion();
}

} // namespace mw
