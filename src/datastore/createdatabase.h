#pragma once
// Making a new database: the tables and the records a first start needs.

#include "datastore/database.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace mw {

// Creates an empty database at the location holding the one settings record, the
// one counter record (both counters at 1), security profile 0 with every right
// and the user SUPERVISOR with an empty password and profile 0.
void createDatabase(const DatabaseLocation& location);

// Fills a freshly created database with a demonstration data set, writes small
// scanned documents into documentDirectory and, when templateDirectory is given, the
// template files and form directories there. Gives lines describing the demo users
// and their passwords.
QStringList fillDemoData(const DatabaseLocation& location, const QString& documentDirectory,
                         const QString& templateDirectory = QString());

// A one-page PDF document (letter size, Helvetica) showing the lines, the first in
// large type: the demonstration's scanned applications. The lines must be printable
// ASCII with "(", ")" and "\\" escaped.
QByteArray demoDocument(const QList<QByteArray>& lines);

} // namespace mw
