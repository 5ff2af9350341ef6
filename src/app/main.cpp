// Program entry: the start-up with its windows, or, without any window or display,
// a process run from the command line, a new database, or the help text.

#include "shell/application.h"
#include "shell/dialogtalk.h"
#include "shell/mainform.h"
#include "shell/startup.h"
#include "commands/commandline.h"
#include "datastore/createdatabase.h"
#include "demo/demodata.h"
#include "shared/platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <unistd.h>

namespace {

int createDatabaseCommand(const QStringList& args, int at)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (at + 1 >= args.size()) {
        err << "usage: merrowind --create-database DIR|postgresql://... [--demo]\n";
        return 2;
    }
    const bool demo = args.contains(QStringLiteral("--demo"));
    try {
        const mw::DatabaseLocation loc = mw::DatabaseLocation::parse(args.at(at + 1));
        if (loc.dialect == mw::Dialect::SQLite)
            QDir().mkpath(loc.directory);
        mw::createDatabase(loc);
        out << "Created a new Merrowind database in " << loc.describe() << "\n";
        if (demo) {
            const QString docs = loc.dialect == mw::Dialect::SQLite
                                     ? QDir(loc.directory).filePath(QStringLiteral("scans"))
                                     : QDir::current().filePath(QStringLiteral("merrowind-scans"));
            // Templates belong in the working directory the program is started in: the
            // database directory for the embedded database.
            const QString templates =
                loc.dialect == mw::Dialect::SQLite ? loc.directory : QDir::currentPath();
            const QStringList users = mw::fillDemoData(loc, docs, templates);
            out << "Filled it with demonstration data; scanned documents are in " << docs << "\n";
            out << "Templates and form directories are in " << templates << "\n";
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

} // namespace

int main(int argc, char* argv[])
{
    const QStringList raw = [&] {
        QStringList l;
        for (int i = 0; i < argc; ++i)
            l << QString::fromLocal8Bit(argv[i]);
        return l;
    }();
    if (raw.size() > 1 && (raw.at(1) == QLatin1String("--help") || raw.at(1) == QLatin1String("-h"))) {
        QTextStream(stdout) << mw::programUsage();
        return 0;
    }
    const bool run = raw.size() > 1 && raw.at(1) == QLatin1String("run");
    if (run || (raw.size() > 1 && raw.at(1) == QLatin1String("--upgrade-database"))) {
        // No window ever shows here, and no display is needed: reports are painted
        // offscreen.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            try {
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(mw::TempPath()));
            } catch (const std::exception&) {
                // the command says so itself when it needs the directory
            }
        }
        QGuiApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Merrowind"));
        QTextStream out(stdout);
        QTextStream err(stderr);
        mw::CommandLineContext context;
        context.out = &out;
        context.err = &err;
        context.workingDirectory = QDir::currentPath();
        context.terminal = ::isatty(STDERR_FILENO) != 0;
        return run ? mw::runCommandLine(raw.mid(2), context) : mw::upgradeDatabaseCommand(raw.mid(2), context);
    }
    const int create = raw.indexOf(QStringLiteral("--create-database"));
    if (create >= 0) {
        QCoreApplication app(argc, argv);
        return createDatabaseCommand(raw, create);
    }

    mw::MerrowindApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Merrowind"));
    mw::DialogTalk talk;
    app.setTalk(&talk);
    mw::StartupOptions options;
    options.arguments = QApplication::arguments();
    mw::Startup startup(std::move(options), talk);
    if (startup.start() != mw::Startup::Outcome::Running)
        return 1;
    talk.setParentWidget(startup.mainForm());
    return QApplication::exec();
}
