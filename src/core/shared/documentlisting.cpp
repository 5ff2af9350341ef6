#include "shared/documentlisting.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace mw {

DocumentListing DocumentListing::list(const QString& directory, const QString& extension)
{
    DocumentListing out;
    const QString suffix = (QLatin1Char('.') + extension.trimmed()).toLower();
    const QString dir = directory.isEmpty() ? QStringLiteral(".") : directory;
    DIR* d = ::opendir(QFile::encodeName(dir).constData());
    if (!d) {
        out.error = QStringLiteral("The directory of the scanned applications, %1, cannot be listed: %2.")
                        .arg(QDir::toNativeSeparators(dir), QString::fromLocal8Bit(std::strerror(errno)));
        return out;
    }
    const int fd = ::dirfd(d);
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(d);
        if (!e)
            break;
        const QString name = QFile::decodeName(e->d_name);
        if (name.size() <= suffix.size() || !name.toLower().endsWith(suffix))
            continue;
        struct stat st{};
        if (::fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        out.documents.append({name, name.left(name.size() - suffix.size()), qint64(st.st_size),
                              QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec)});
    }
    const int readError = errno;
    ::closedir(d);
    if (readError != 0) {
        out.documents.clear();
        out.error = QStringLiteral("The directory of the scanned applications, %1, could not be read to its end: %2.")
                        .arg(QDir::toNativeSeparators(dir), QString::fromLocal8Bit(std::strerror(readError)));
        return out;
    }
    std::sort(out.documents.begin(), out.documents.end(),
              [](const DocumentEntry& a, const DocumentEntry& b) { return a.fileName < b.fileName; });
    return out;
}

} // namespace mw
