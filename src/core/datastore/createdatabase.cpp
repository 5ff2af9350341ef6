#include "datastore/createdatabase.h"

#include "datastore/schema.h"

namespace mw {

void createDatabase(const DatabaseLocation& location, int layout)
{
    Database db;
    db.create(location, layout);
    Transaction tx(db);
    db.exec(QStringLiteral("INSERT INTO settings (PurgeDays, InformUsers) VALUES (?, ?)"), {180, true});
    db.exec(QStringLiteral("INSERT INTO id_counters (AppStart, ReqStart) VALUES (?, ?)"), {1, 1});
    QStringList cols{QStringLiteral("SecurityID"), QStringLiteral("Security"), QStringLiteral("Supervisor")};
    QVariantList values{0, QStringLiteral("Supervisor"), true};
    for (const QString& right : Schema::rightNames()) {
        cols << right;
        values << true;
    }
    db.exec(QStringLiteral("INSERT INTO security_profiles (%1) VALUES (%2)")
                .arg(cols.join(QStringLiteral(", ")), QStringList(cols.size(), QStringLiteral("?")).join(QStringLiteral(", "))),
            values);
    db.exec(QStringLiteral("INSERT INTO users (UserID, UserName, SecurityID) VALUES (?, ?, ?)"),
            {QStringLiteral("SUPERVISOR"), QStringLiteral("Supervisor"), 0});
    tx.commit();
}

} // namespace mw
