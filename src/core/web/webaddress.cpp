#include "web/webaddress.h"

#include "datastore/merrowinddata.h"

#include <QSqlQuery>

#include <sodium.h>

namespace mw {

QString WebDirName(const QString& webAddress)
{
    const qsizetype last = webAddress.lastIndexOf(QLatin1Char('/'));
    if (last <= 0)
        return QString();
    const qsizetype before = webAddress.lastIndexOf(QLatin1Char('/'), last - 1);
    if (before < 0)
        return QString();
    return webAddress.mid(before + 1, last - before - 1);
}

QString webDirProblem(const QString& webAddress)
{
    const QString name = WebDirName(webAddress);
    bool plain = !name.isEmpty() && name.at(0) != QLatin1Char('.');
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        plain = plain && ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
                          u == '_' || u == '.');
    }
    if (plain)
        return QString();
    return QStringLiteral("The web address \"%1\" does not name a directory of its own on the web server (its last "
                          "directory must be a plain name such as \"abcdefgh\"); nothing was sent to the server.")
        .arg(webAddress);
}

QString RandomWebAddress(const TMerrowindData& data)
{
    if (sodium_init() < 0)
        throw std::runtime_error("the system's random source cannot be used");
    QString letters;
    for (int i = 0; i < 8; ++i)
        letters += QChar(char16_t(u'a' + randombytes_uniform(26)));
    return (data.SystemInfo.HTTPWebAddress + letters + QLatin1Char('/') + data.SystemInfo.HTTPIndexName).toLower();
}

bool WebAddressInUse(TMerrowindData& data, const QString& webAddress)
{
    QSqlQuery q = data.database().exec(QStringLiteral("SELECT 1 FROM requisitions WHERE LOWER(WebAddress) = ?"),
                                       {webAddress.toLower()});
    return q.next();
}

QString NewWebAddress(TMerrowindData& data)
{
    for (;;) {
        const QString candidate = RandomWebAddress(data);
        if (!WebAddressInUse(data, candidate))
            return candidate;
    }
}

} // namespace mw
