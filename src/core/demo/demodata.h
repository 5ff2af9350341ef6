#pragma once
// The demonstration installation: a data set, scanned documents, templates and
// form directories for trying the program and for the tests.

#include "datastore/database.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace mw {

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
