#pragma once
// The history of the database layout. A new database is made as layout 1, the
// first there was, and brought up to Schema::Version by the same ordered steps
// that upgrade an existing database, so the two never differ. A step adds the
// fields whose sinceLayout is its version (FieldDef) and runs its own statements.
// An upgrade is all or nothing: every step and the new version in one transaction
// (both backends take table and index changes inside a transaction).
//
// Adding a layout: raise Schema::Version, give new fields that sinceLayout, add
// the step here with its statements, and test it on a database of the layout before.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace mw {

class Database;
struct DatabaseLocation;

struct MigrationStep
{
    int layout = 0;       // the layout the step makes
    QString description;  // one line for the upgrade's report
    std::function<void(Database&)> statements; // beyond adding the layout's new fields
};

// The steps from layout 2 up to Schema::Version, in order.
const std::vector<MigrationStep>& migrationSteps();

// Inside a transaction the caller holds: takes the database from the layout
// mw_meta records up to target, step by step, and records the new layout.
void applyMigrations(Database& db, int target, const std::vector<MigrationStep>& steps = migrationSteps());

struct UpgradeReport
{
    int from = 0;
    int to = 0;
    QStringList done; // the steps' descriptions, in order
};

// Upgrades the database at the location to Schema::Version, all or nothing.
// Refuses (DbError) while another running copy of the program is attached, and a
// database of a newer layout. Nothing to do when it is current.
UpgradeReport upgradeDatabase(const DatabaseLocation& location,
                              const std::vector<MigrationStep>& steps = migrationSteps());

// The layout version the database at the location holds.
int databaseLayout(const DatabaseLocation& location);

} // namespace mw
