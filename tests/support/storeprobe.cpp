// A second running copy for the tests: opens the database and does one thing.
//   storeprobe LOCATION lock ID     edit applicant ID, print LOCKED, hold until stdin closes
//   storeprobe LOCATION edit ID     try to edit applicant ID, print OK or the error
//   storeprobe LOCATION numbers N   draw N applicant numbers, one per line
//   storeprobe LOCATION crash ID    start writing applicant ID in a transaction, print WRITING, hang
//   storeprobe LOCATION serve       print READY, then run the commands read from stdin, one a line,
//                                   fields separated by tabs, each answered by one line (OK, a
//                                   value, NOT FOUND or "ERROR: " and the error's text, its line
//                                   breaks as " | "):
//       edit TABLE FIELD VALUE      go to the first record whose FIELD is VALUE and edit it
//       set FIELD VALUE / get FIELD in the record being edited
//       post / cancel
//       delete TABLE FIELD VALUE    go to the record and delete it
//       add TABLE FIELD VALUE ...   insert a record with these values and post it
//       block MS                    hold the window thread this long (a long operation)
//       sleep MS                    stand still this long, heartbeat and all (a sleeping machine)
//       cleared                     CLEARED when another copy took this one for closed, else REGISTERED
// The environment shapes the copy: MW_PROBE_STALE_MS (how long a silent copy counts as running),
// MW_PROBE_MACHINE (the workstation it registers as), MW_PROBE_CLOCK_SKEW (seconds its clock is off),
// MW_PROBE_USER (its user, PROBE by default).

#include "datastore/merrowinddata.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QThread>

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void reply(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString errorLine(const mw::DbError& e)
{
    QString text = e.message();
    text.replace(QLatin1Char('\n'), QStringLiteral(" | "));
    return QStringLiteral("ERROR: ") + text;
}

mw::TTable* tableNamed(mw::TMerrowindData& data, const QString& sqlName)
{
    for (mw::TTable* t : {&data.ApplicantTable, &data.ApplicationTable, &data.UserSettingsTable,
                          &data.JobPostingIDTable, &data.RequestionTable, &data.NotifyTable, &data.RestrictTable})
        if (t->def().sqlName == sqlName)
            return t;
    throw mw::DbError(QStringLiteral("no table ") + sqlName);
}

// One command of the serve mode; the answer is its line.
QString runCommand(mw::TMerrowindData& data, mw::TTable*& current, const QStringList& f)
{
    const QString what = f.value(0);
    try {
        if (what == QLatin1String("edit") || what == QLatin1String("delete")) {
            current = tableNamed(data, f.value(1));
            if (!current->active())
                current->open();
            if (!current->locate({f.value(2)}, {f.value(3)}))
                return QStringLiteral("NOT FOUND");
            if (what == QLatin1String("edit"))
                current->edit();
            else
                current->deleteRecord();
            return QStringLiteral("OK");
        }
        if (what == QLatin1String("add")) {
            current = tableNamed(data, f.value(1));
            if (!current->active())
                current->open();
            current->append();
            for (int i = 2; i + 1 < f.size(); i += 2)
                current->setValue(f[i], f[i + 1]);
            current->post();
            return QStringLiteral("OK");
        }
        if (what == QLatin1String("block")) {
            QThread::msleep(f.value(1).toULong());
            return QStringLiteral("OK");
        }
        if (what == QLatin1String("sleep")) {
            data.sessions().stopHeartbeat();
            QThread::msleep(f.value(1).toULong());
            data.sessions().startHeartbeat();
            return QStringLiteral("OK");
        }
        if (what == QLatin1String("cleared"))
            return data.sessions().wasTakenForClosed() ? QStringLiteral("CLEARED") : QStringLiteral("REGISTERED");
        if (!current)
            return QStringLiteral("ERROR: no table");
        if (what == QLatin1String("set")) {
            current->setValue(f.value(1), f.value(2));
            return QStringLiteral("OK");
        }
        if (what == QLatin1String("get"))
            return current->fieldByName(f.value(1)).asString();
        if (what == QLatin1String("post")) {
            current->post();
            return QStringLiteral("OK");
        }
        if (what == QLatin1String("cancel")) {
            current->cancel();
            return QStringLiteral("OK");
        }
        return QStringLiteral("ERROR: unknown command ") + what;
    } catch (const mw::DbError& e) {
        return errorLine(e);
    }
}

// Answers the commands on stdin while the event loop runs, until stdin closes.
int serve(QCoreApplication& app, mw::TMerrowindData& data)
{
    mw::TTable* current = nullptr;
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        pending.append(buf, n);
        for (qsizetype eol = pending.indexOf('\n'); eol >= 0; eol = pending.indexOf('\n')) {
            const QString line = QString::fromUtf8(pending.left(eol));
            pending.remove(0, eol + 1);
            reply(runCommand(data, current, line.split(QLatin1Char('\t'))));
        }
    });
    reply(QStringLiteral("READY"));
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3 || (args.size() < 4 && args[2] != QLatin1String("serve")))
        return 2;
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString user = env.value(QStringLiteral("MW_PROBE_USER"), QStringLiteral("PROBE"));
    mw::TMerrowindData data;
    if (env.contains(QStringLiteral("MW_PROBE_STALE_MS")))
        data.sessions().setStaleAfter(env.value(QStringLiteral("MW_PROBE_STALE_MS")).toInt());
    if (env.contains(QStringLiteral("MW_PROBE_MACHINE")))
        data.sessions().setMachineName(env.value(QStringLiteral("MW_PROBE_MACHINE")));
    if (env.contains(QStringLiteral("MW_PROBE_CLOCK_SKEW")))
        data.sessions().setClockSkew(env.value(QStringLiteral("MW_PROBE_CLOCK_SKEW")).toLongLong());
    try {
        data.open(mw::DatabaseLocation::parse(args[1]));
        data.ReadSettings();
        data.CheckUser(user, QString(), false);
        data.LoginData.UserID = user;
        data.sessions().setUser(user);
        const QString what = args[2];
        if (what == QLatin1String("serve"))
            return serve(app, data);
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
