// Program entry. For now: creating a database, and opening one to check it.

#include "datastore/createdatabase.h"
#include "datastore/merrowinddata.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Merrowind"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();

    const int create = args.indexOf(QStringLiteral("--create-database"));
    if (create >= 0) {
        if (create + 1 >= args.size()) {
            err << "usage: merrowind --create-database DIR|postgresql://... [--demo]\n";
            return 2;
        }
        const QString target = args.at(create + 1);
        const bool demo = args.contains(QStringLiteral("--demo"));
        try {
            const mw::DatabaseLocation loc = mw::DatabaseLocation::parse(target);
            if (loc.dialect == mw::Dialect::SQLite)
                QDir().mkpath(loc.directory);
            mw::createDatabase(loc);
            out << "Created a new Merrowind database in " << loc.describe() << "\n";
            if (demo) {
                const QString docs = loc.dialect == mw::Dialect::SQLite
                                         ? QDir(loc.directory).filePath(QStringLiteral("scans"))
                                         : QDir::current().filePath(QStringLiteral("merrowind-scans"));
                const QStringList users = mw::fillDemoData(loc, docs);
                out << "Filled it with demonstration data; scanned documents are in " << docs << "\n";
                out << "Demo users (user id / password / profile):\n";
                for (const QString& u : users)
                    out << "  " << u << "\n";
            }
        } catch (const mw::DbError& e) {
            err << "Merrowind: " << e.message() << "\n";
            return 1;
        }
        return 0;
    }

    mw::TMerrowindData data;
    try {
        data.open(mw::DatabaseLocation::resolve(QDir::currentPath()));
        data.ReadSettings();
    } catch (const mw::DbError& e) {
        err << "Merrowind: " << e.message() << "\n";
        return 1;
    }
    out << "Merrowind " << MERROWIND_VERSION << ": database " << data.database().location().describe()
        << " opened with " << data.ApplicantTable.recordCount() << " applicants, "
        << data.RequestionTable.recordCount() << " requisitions and " << data.ApplicationTable.recordCount()
        << " applications.\n";
    return 0;
}
