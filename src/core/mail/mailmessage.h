#pragma once
// One outgoing message as data: the header the sender fills in, the body lines and
// the files to attach. The e-mail window carries and sends it; the writers of the
// department files add lines and attachments to it.

#include <QString>
#include <QStringList>

namespace mw {

class TMailMessage
{
public:
    QString Subject;
    QString FromAddress;
    QString FromName;
    // Recipients as comma text: entries separated by commas or blanks; an entry in
    // double quotes may contain either.
    QString ToAddresses;
    // The attachment budget of one message in bytes; 0 or less: one message with all.
    qint64 MaxBytes = 0;
    bool AsHTML = false;

    QStringList Body;
    QStringList Attachments;

    void addLine(const QString& line) { Body << line; }
    void addLines(const QStringList& lines) { Body << lines; }
    void attach(const QString& path) { Attachments << path; }
    void clear();

    // The recipients of ToAddresses, in order, quotes removed, empty entries dropped.
    QStringList recipients() const;
};

} // namespace mw
