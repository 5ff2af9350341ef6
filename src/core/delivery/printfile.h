#pragma once
// Printing a document through the system's print command.

#include <QString>

namespace mw {

// The command line that prints a document: MERROWIND_PRINT_COMMAND from the
// environment when it is set (set but empty: no printing), else "lp %1" when lp is
// found on the PATH, else empty (no printing).
QString DefaultPrintCommand();

// Prints a document with DefaultPrintCommand().
void PrintFile(const QString& path);

// Prints a document with a command line such as "lp -d office %1". The command is
// split into its arguments as a shell would split them, but no shell runs it: the
// document's full path takes the place of the first "%1" within an argument, or is
// added as a last argument when there is none, and always stays one argument
// whatever blanks, quotes or ";" it holds. The command runs on its own; nothing is
// waited for and nothing is reported. An empty command does nothing.
void PrintFile(const QString& path, const QString& printCommand);

} // namespace mw
