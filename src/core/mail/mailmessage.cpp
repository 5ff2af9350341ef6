#include "mail/mailmessage.h"

namespace mw {

void TMailMessage::clear()
{
    *this = TMailMessage();
}

QStringList TMailMessage::recipients() const
{
    QStringList out;
    QString entry;
    bool quoted = false;
    bool any = false;
    auto flush = [&] {
        if (any && !entry.isEmpty())
            out << entry;
        entry.clear();
        any = false;
    };
    for (const QChar c : ToAddresses) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == QLatin1Char(',') || c.isSpace())) {
            flush();
        } else {
            entry += c;
            any = true;
        }
    }
    flush();
    return out;
}

} // namespace mw
