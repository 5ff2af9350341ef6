#include "shared/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSqlDatabase>

#include <ifaddrs.h>
#include <net/if.h>
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

namespace mw {

QString networkUserName()
{
    QString name = QProcessEnvironment::systemEnvironment().value(QStringLiteral("NWUSERNAME")).trimmed();
    if (name.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::geteuid()))
            name = QString::fromLocal8Bit(pw->pw_name);
    }
    if (name.isEmpty())
        name = QProcessEnvironment::systemEnvironment().value(QStringLiteral("USER"));
    return name.left(250);
}

bool networkPresent()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool present = false;
    for (ifaddrs* i = list; i && !present; i = i->ifa_next)
        present = (i->ifa_flags & IFF_UP) && !(i->ifa_flags & IFF_LOOPBACK);
    ::freeifaddrs(list);
    return present;
}

int tableEngineVersion()
{
    // RETURNING and ON CONFLICT, which the table layer relies on, came with SQLite 3.35.
    const int sqlite = ::sqlite3_libversion_number();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")) || sqlite < 3035000)
        return 400;
    return 500 + (sqlite - 3035000) / 1000;
}

QString TempPath()
{
    QString user = networkUserName();
    user.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString dir = QDir(QDir::tempPath()).filePath(QStringLiteral("merrowind-") + user);
    QDir().mkpath(dir);
    return dir + QLatin1Char('/');
}

int deleteTemporaryCopies(const QString& fileExt)
{
    if (fileExt.isEmpty())
        return 0;
    int deleted = 0;
    QDir dir(TempPath());
    const QFileInfoList entries = dir.entryInfoList({QStringLiteral("*.") + fileExt}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& f : entries)
        if (QFile::remove(f.filePath()))
            ++deleted;
    return deleted;
}

} // namespace mw
