#pragma once
// Reading a PDF back the way a person would: its pages' text as pdftotext lays it
// out, each line's cells (runs of text two or more spaces apart) joined with "|".

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace mwtest {

// The pages of the file, each a list of its non-empty lines as cells joined by "|".
inline QList<QStringList> pdfPages(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    QList<QStringList> pages;
    static const QRegularExpression gap(QStringLiteral("\\s{2,}"));
    for (const QString& page : text.split(QLatin1Char('\f'))) {
        QStringList lines;
        for (const QString& line : page.split(QLatin1Char('\n'))) {
            const QString t = line.trimmed();
            if (!t.isEmpty())
                lines << t.split(gap).join(QLatin1Char('|'));
        }
        pages << lines;
    }
    while (!pages.isEmpty() && pages.last().isEmpty())
        pages.removeLast();
    return pages;
}

// The document's title as pdfinfo reads it.
inline QString pdfTitle(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {file});
    if (!p.waitForFinished(60000))
        return {};
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Title:")))
            return line.mid(6).trimmed();
    return {};
}

} // namespace mwtest
