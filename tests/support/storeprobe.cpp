// A second running copy for the tests: opens the database and does one thing.
//   storeprobe LOCATION lock ID     edit applicant ID, print LOCKED, hold until stdin closes
//   storeprobe LOCATION edit ID     try to edit applicant ID, print OK or the error
//   storeprobe LOCATION numbers N   draw N applicant numbers, one per line
//   storeprobe LOCATION crash ID    start writing applicant ID in a transaction, print WRITING, hang

#include "datastore/merrowinddata.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return 2;
    mw::TMerrowindData data;
    try {
        data.open(mw::DatabaseLocation::parse(args[1]));
        data.ReadSettings();
        data.CheckUser(QStringLiteral("PROBE"), QString(), false);
        data.sessions().setUser(QStringLiteral("PROBE"));
        const QString what = args[2];
        if (what == QLatin1String("numbers")) {
            const int n = args[3].toInt();
            for (int i = 0; i < n; ++i)
                std::printf("%d\n", data.TakeNextNumber(mw::TMerrowindData::Counter::Applicant));
            return 0;
        }
        if (what == QLatin1String("crash")) {
            data.database().begin();
            data.database().exec(QStringLiteral("INSERT INTO applicants (ApplicantID) VALUES (?)"), {args[3]});
            data.database().exec(QStringLiteral("UPDATE applicants SET Name = ?"), {QStringLiteral("HALF DONE")});
            std::printf("WRITING\n");
            std::fflush(stdout);
            std::string line;
            std::getline(std::cin, line);
            return 0;
        }
        if (!data.ApplicantTable.findKey({args[3]})) {
            std::printf("NOT FOUND\n");
            return 1;
        }
        if (what == QLatin1String("edit")) {
            try {
                data.ApplicantTable.edit();
                data.ApplicantTable.cancel();
                std::printf("OK\n");
            } catch (const mw::DbError& e) {
                std::printf("ERROR: %s\n", qPrintable(e.message()));
            }
            return 0;
        }
        data.ApplicantTable.edit();
        std::printf("LOCKED\n");
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
        data.ApplicantTable.cancel();
    } catch (const mw::DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
