#pragma once
// Printing a document through the system's print command.

#include <QString>
#include <QStringList>

namespace mw {

// The command line that prints a document: MERROWIND_PRINT_COMMAND from the
// environment when it is set (set but empty: no printing), else "lp %1" when lp is
// found on the PATH, else empty (no printing).
QString DefaultPrintCommand();

// A command line split into words as a POSIX shell splits them: words are parted by
// blanks, tabs and line breaks; single quotes keep everything up to the next single
// quote; double quotes keep everything up to the next double quote except that a
// backslash there escapes $ ` " \ and a line break; outside quotes a backslash
// keeps the next character (a backslash and a line break vanish; a backslash at the
// very end stays). Two quotes with nothing between give an empty word. Nothing is
// expanded: "$HOME", "*" and "~" stay as written, and ";", "|" or "&" are ordinary
// characters. A quote left open gives no words at all, as a shell would refuse the line.
QStringList SplitPrintCommand(const QString& command);

// Prints a document with DefaultPrintCommand().
void PrintFile(const QString& path);

// Prints a document with a command line such as "lp -d office %1". The command is
// split into its arguments by SplitPrintCommand, but no shell runs it: the
// document's full path takes the place of the first "%1" within an argument, or is
// added as a last argument when there is none, and always stays one argument
// whatever blanks, quotes or ";" it holds. The command runs on its own; nothing is
// waited for and nothing is reported. An empty command does nothing.
void PrintFile(const QString& path, const QString& printCommand);

} // namespace mw
