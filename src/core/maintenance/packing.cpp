#include "maintenance/packing.h"

#include "datastore/merrowinddata.h"
#include "shared/usertalk.h"

namespace mw {

namespace {

// Compacts the table. SQLite compacts the whole file at once, so packing the
// tables one after another compacts it only for the first.
void compact(TMerrowindData& data, TTable& table, bool wholeFile)
{
    Database& db = data.database();
    if (db.transactionDepth() > 0)
        throw DbError(QStringLiteral("The table %1 cannot be packed while changes are in progress.")
                          .arg(table.tableName()));
    if (db.dialect() == Dialect::PostgreSQL) {
        // The table name comes from the layout, never from input.
        db.exec(QStringLiteral("VACUUM FULL %1").arg(table.def().sqlName)).finish();
    } else if (wholeFile) {
        db.exec(QStringLiteral("VACUUM")).finish();
    }
}

void packTable(TMerrowindData& data, UserTalk& talk, TTable& table, bool wholeFile)
{
    const bool wasActive = table.active();
    const qint64 mark = wasActive ? table.bookmark() : 0;
    OpenExclusive(data, talk, table);
    try {
        compact(data, table, wholeFile);
    } catch (...) {
        if (wasActive)
            table.open();
        throw;
    }
    if (wasActive) {
        table.open();
        if (mark != 0)
            table.gotoBookmark(mark);
    }
}

} // namespace

void OpenExclusive(TMerrowindData& data, UserTalk& talk, TTable& table)
{
    const bool wasActive = table.active();
    table.close();
    // Exclusive use: no other running copy is attached to the database.
    while (data.sessions().otherSessionCount() > 0) {
        if (!talk.retry(QStringLiteral("Open Error"), QStringLiteral("Could not open Table1 exclusively - Try again?"))) {
            if (wasActive)
                table.open();
            throw DbError(QStringLiteral("Table is busy.\nTable: %1\nAnother running copy of Merrowind is attached "
                                         "to the database.")
                              .arg(table.tableName()));
        }
    }
}

void PackTable(TMerrowindData& data, UserTalk& talk, TTable& table) { packTable(data, talk, table, true); }

void PackTables(TMerrowindData& data, UserTalk& talk)
{
    const std::pair<TTable*, const char*> tables[] = {
        {&data.UserSettingsTable, "User Settings"}, {&data.SettingsTable, "Settings"},
        {&data.ApplicantTable, "Applicant"},        {&data.ApplicationTable, "Applications"},
        {&data.RequestionTable, "Requisitions"},    {&data.EMailTable, "E-Mail"},
        {&data.SecurityTable, "Security"},          {&data.IDTable, "ID"},
        {&data.JobPostingIDTable, "Job Posting ID"}, {&data.NotifyTable, "Notify"},
        {&data.RestrictTable, "Restrict"},
    };
    const auto text = [](const char* name) {
        return QStringLiteral("Please Wait Packing Database: ") + QLatin1String(name) + QStringLiteral(" Table");
    };
    WaitScope wait(talk, text(tables[0].second));
    bool first = true;
    for (const auto& [table, name] : tables) {
        if (!first)
            talk.wait(text(name));
        packTable(data, talk, *table, first);
        first = false;
    }
}

OperationResult PackDatabaseCommand(TMerrowindData& data, UserTalk& talk)
{
    // PackTables shows its own please-wait window, naming each table.
    return runOperation(talk, {QStringLiteral("Are You Sure You Want To Pack Database"), QString(), false,
                               [&](UserTalk& t) {
                                   PackTables(data, t);
                                   return OperationResult::done(QStringLiteral("Database Packed"));
                               }});
}

} // namespace mw
