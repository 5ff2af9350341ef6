#include "datastore/migrations.h"

#include "datastore/database.h"
#include "datastore/schema.h"
#include "datastore/sessions.h"

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

} // namespace

const std::vector<MigrationStep>& migrationSteps()
{
    static const std::vector<MigrationStep> steps = {
        {2, QStringLiteral("Record locks are found by the running copy that holds them"),
         [](Database& db) {
             db.exec(QStringLiteral("CREATE INDEX mw_locks_session ON mw_locks (session_id)"));
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
