#pragma once
// `merrowind run COMMAND [ARGUMENTS] [--user ID] [--yes] [--database LOCATION]`:
// runs exactly the operation of a menu command, headless, through the console
// user talk. The user logs on as in the logon window (password from the
// environment variable MERROWIND_PASSWORD, or asked on the terminal); without
// --user only a database whose single user is the first-run supervisor is
// accepted. A command the user's menu would disable is refused. The run is a
// registered running copy like the window program (record locks, logged-in users).
//
// Exit status: 0 done, 1 failed (or a command line that makes no sense), 2 declined
// or not confirmed, 3 logon refused or not permitted, 4 cancelled.

#include "shared/operation.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <vector>

namespace mw {

class TMerrowindData;
class UserTalk;

enum ExitStatus : int {
    ExitDone = 0,
    ExitFailed = 1,
    ExitDeclined = 2,
    ExitRefused = 3,
    ExitCancelled = 4,
};

// One process the command line can run: the menu command it stands for and the
// operation both run.
struct ProcessCommand
{
    QString name;       // "mark-old-reviewed"
    QString menuObject; // the menu command's object name, whose rule decides who may run it
    QString menuPath;   // "Process > Mark Old Applicants As Reviewed"
    QString summary;    // one line for the help
    QString argumentsUsage; // "" when it takes no arguments
    int minArguments = 0;
    int maxArguments = 0;
    bool takesGroup = false; // --group ID, handed to run as its one argument
    bool takesDryRun = false; // --dry-run, handed to run as a last argument "--dry-run"
    std::function<OperationResult(TMerrowindData&, UserTalk&, const QStringList& arguments)> run;
};

// Every command, in the order the help lists them.
const std::vector<ProcessCommand>& processCommands();
const ProcessCommand* findProcessCommand(const QString& name);

// What the command line needs of the world around it; tests give their own.
struct CommandLineContext
{
    QTextStream* out = nullptr;
    QTextStream* err = nullptr;
    QString workingDirectory;  // where the database is looked for without --database
    bool terminal = false;     // the error stream is a terminal
    // The password of a user given with --user. Default: MERROWIND_PASSWORD when set,
    // else asked on the terminal without echo, else empty.
    std::function<QString(const QString& userId)> password;
};

// Runs `merrowind run ...`; arguments are those after "run". Gives the exit status.
int runCommandLine(const QStringList& arguments, CommandLineContext& context);

// `merrowind --upgrade-database [LOCATION] [--yes]`; arguments are those after
// "--upgrade-database". Brings the database (default: the one the program would
// open) to this program's layout, all or nothing, while no copy runs on it. Without
// --yes it says what it would do and changes nothing (status 2).
int upgradeDatabaseCommand(const QStringList& arguments, CommandLineContext& context);

// The help texts of `merrowind --help` and `merrowind run --help`.
QString programUsage();
QString runUsage();

// Reads a line from the terminal with echo off, after the prompt; empty when there
// is no terminal.
QString readPasswordFromTerminal(const QString& prompt);

} // namespace mw
