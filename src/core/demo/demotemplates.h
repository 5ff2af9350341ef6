#pragma once
// The template files and form directories of the demonstration installation.

#include <QString>

namespace mw {

// Writes the demonstration templates (flow, report, list, export, index and memo
// files, text, HTML and workbook) into directory, and four small form directories
// under directory/forms. Raises DbError when a file cannot be written.
void writeDemoTemplates(const QString& directory);

// The form directories writeDemoTemplates makes, by setting name.
QString demoFormDirectory(const QString& directory, const QString& settingName);

} // namespace mw
