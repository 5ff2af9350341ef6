#include "datastore/placeholders.h"

namespace mw {

void ReplacePlaceholder(QString& text, const QString& token, const QString& value)
{
    if (token.isEmpty())
        return;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = text.indexOf(token, from, Qt::CaseInsensitive);
        if (at < 0)
            return;
        qsizetype end = at + token.size();
        QString inserted = value;
        if (end < text.size() && text.at(end) == QLatin1Char(';')) {
            qsizetype p = end + 1;
            while (p < text.size() && text.at(p).isDigit() && text.at(p).unicode() < 128)
                ++p;
            if (p > end + 1 && p < text.size() && text.at(p) == QLatin1Char(';')) {
                bool ok = false;
                const int width = text.mid(end + 1, p - end - 1).toInt(&ok);
                // An absurd width is no width: the suffix stays as written.
                if (ok && width <= 65535) {
                    inserted = value.leftJustified(width, QLatin1Char(' '));
                    end = p + 1;
                }
            }
        }
        text.replace(at, end - at, inserted);
        from = at + inserted.size();
    }
}

} // namespace mw
