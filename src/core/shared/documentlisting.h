#pragma once
// One listing of the scanned documents' directory: every regular file named
// "<applicant id>.<extension>", the extension in any letter case, with its size and
// the time it was last changed. Links are followed to what they name; directories
// and other names are left out. A directory that cannot be listed, or read to its
// end, gives its error and no documents: a partial listing tells nothing.

#include <QDateTime>
#include <QList>
#include <QString>

namespace mw {

struct DocumentEntry
{
    QString fileName;   // as on disk: "000123.PDF"
    QString id;         // "000123"
    qint64 size = 0;
    QDateTime modified; // local time
};

struct DocumentListing
{
    QList<DocumentEntry> documents; // in file-name order
    QString error;                  // empty when the whole directory was read

    static DocumentListing list(const QString& directory, const QString& extension);
};

} // namespace mw
