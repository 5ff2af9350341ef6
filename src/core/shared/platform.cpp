#include "shared/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mw {

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

namespace {

// The account name of the real user from the system user database, never from the
// environment; empty when the database has no name for it.
QString realAccountName()
{
    const uid_t uid = ::getuid();
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int rc = 0;
    while ((rc = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (rc == 0 && found && found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return QString();
}

[[noreturn]] void refuse(const QString& dir, const QString& why)
{
    throw TempDirError(QStringLiteral("Cannot use the temporary directory %1: %2.").arg(dir, why));
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace

QString networkUserName()
{
    return realAccountName().left(250);
}

QString TempPath()
{
    const QString base = QDir::tempPath(); // empty when TMPDIR names no directory
    if (base.isEmpty())
        throw TempDirError(QStringLiteral("Cannot use the temporary directory: the system temporary directory "
                                          "\"%1\" does not exist.")
                               .arg(qEnvironmentVariable("TMPDIR")));
    QString account = realAccountName();
    account.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (account.isEmpty())
        account = QString::number(::getuid());
    const QString dir = QDir(base).filePath(QStringLiteral("merrowind-") + account);
    const QByteArray path = QFile::encodeName(dir);

    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        refuse(dir, systemError(errno));
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0)
        refuse(dir, systemError(errno));
    if (S_ISLNK(st.st_mode))
        refuse(dir, QStringLiteral("it is a symbolic link"));
    if (!S_ISDIR(st.st_mode))
        refuse(dir, QStringLiteral("it is not a directory"));
    if (st.st_uid != ::getuid())
        refuse(dir, QStringLiteral("it is not owned by you"));
    if ((st.st_mode & 07777) != 0700) {
        // Through a handle of the very directory checked, never through a name that
        // could have been swapped for a link meanwhile.
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            refuse(dir, QStringLiteral("it cannot be made private (%1)").arg(systemError(errno)));
        struct stat opened{};
        int error = 0;
        if (::fstat(fd, &opened) != 0)
            error = errno;
        else if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino || opened.st_uid != ::getuid())
            error = EPERM;
        else if (::fchmod(fd, 0700) != 0)
            error = errno;
        ::close(fd);
        if (error != 0)
            refuse(dir, QStringLiteral("it cannot be made private (%1)").arg(systemError(error)));
    }
    return dir + QLatin1Char('/');
}

int deleteTemporaryCopies(const QString& fileExt)
{
    if (fileExt.isEmpty())
        return 0;
    QString path;
    try {
        path = TempPath();
    } catch (const TempDirError&) {
        return 0; // nothing of ours is there to delete
    }
    int deleted = 0;
    QDir dir(path);
    const QFileInfoList entries = dir.entryInfoList({QStringLiteral("*.") + fileExt}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& f : entries)
        if (QFile::remove(f.filePath()))
            ++deleted;
    return deleted;
}

int deleteLeftoverWorkFolders(const QDateTime& olderThan)
{
    QString path;
    try {
        path = TempPath();
    } catch (const TempDirError&) {
        return 0;
    }
    int deleted = 0;
    const QFileInfoList entries =
        QDir(path).entryInfoList({QStringLiteral("dept-*"), QStringLiteral("send-*"), QStringLiteral("export-*")},
                                 QDir::Dirs | QDir::NoSymLinks | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& f : entries)
        if (f.lastModified() < olderThan && QDir(f.filePath()).removeRecursively())
            ++deleted;
    return deleted;
}

} // namespace mw
