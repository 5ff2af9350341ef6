#pragma once
// What the program asks of the machine it runs on.

#include <QString>

namespace mw {

// The network user name: NWUSERNAME from the environment, else the operating
// system's login name; at most 250 characters.
QString networkUserName();
// Whether a network is present: some interface other than loopback is up.
bool networkPresent();
// The version of the table layer, 500 or more when it is fit for the program: the
// SQLite library and the database drivers the program needs are there.
int tableEngineVersion();
// The directory for temporary copies of documents and generated files: private to
// this user, inside the system temporary directory, with a trailing separator.
QString TempPath();
// Deletes the temporary document copies (files "*.ext") left in TempPath; a file
// that cannot be deleted is skipped. Gives how many were deleted.
int deleteTemporaryCopies(const QString& fileExt);

} // namespace mw
