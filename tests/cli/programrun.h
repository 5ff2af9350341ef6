// Starting the program as a user at a console would: without a display, without a
// database or password from the caller's environment, and reading what it printed.
#pragma once

#include "datastore/database.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace mwtest {

struct Ran
{
    int status = -1; // the exit code; -1 when the program crashed or did not end
    QString out;
    QString err;
};

// The caller's environment less anything that would choose a display, a database or
// a password; the password given (unless null) and TMPDIR (unless empty) are set.
inline QProcessEnvironment programEnvironment(const QString& password = QString(), const QString& tmpDir = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "MERROWIND_DATABASE", "MERROWIND_PASSWORD"})
        env.remove(QLatin1String(v));
    if (!password.isNull())
        env.insert(QStringLiteral("MERROWIND_PASSWORD"), password);
    if (!tmpDir.isEmpty())
        env.insert(QStringLiteral("TMPDIR"), tmpDir);
    return env;
}

// Runs the program to its end (two minutes at most) in workingDirectory.
inline Ran runProgram(const QStringList& args, const QString& workingDirectory, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workingDirectory);
    p.start(QStringLiteral(MW_PROGRAM), args);
    Ran r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "the program did not end";
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// What --database takes for a database: its directory or its URL.
inline QString databaseArgument(const mw::DatabaseLocation& l)
{
    return l.dialect == mw::Dialect::SQLite ? l.directory : l.url;
}

} // namespace mwtest
