#include "delivery/fileutils.h"

#include "shared/platform.h"
#include "shared/usertalk.h"
#include "datastore/merrowinddata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace mw {

namespace {

constexpr qint64 kCopyChunk = 8192;

// An identifier becomes part of a file name in TempPath(): a separator in it would
// put the copy (and the document looked for) somewhere else.
bool usableAsFileName(const QString& applicantId)
{
    return !applicantId.contains(QLatin1Char('/')) && !applicantId.contains(QLatin1Char('\\')) &&
           !applicantId.contains(QChar(0));
}

} // namespace

FileError::FileError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message)
{
}

void CopyFileTo(const QString& source, const QString& target)
{
    QString destination = QFileInfo(target).absoluteFilePath();
    if (QFileInfo(destination).isDir())
        destination = QDir(destination).filePath(QFileInfo(source).fileName());

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open file %1").arg(source));

    // Copying a file onto itself (same name, a link, another path to it): creating
    // the target would empty the source, and the target already holds the contents.
    std::error_code ec;
    if (std::filesystem::equivalent(QFile::encodeName(source).toStdString(),
                                    QFile::encodeName(destination).toStdString(), ec) &&
        !ec)
        return;

    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QStringLiteral("Cannot create file %1").arg(destination));

    char buffer[kCopyChunk];
    for (;;) {
        const qint64 got = in.read(buffer, kCopyChunk);
        if (got < 0)
            throw FileError(QStringLiteral("Cannot read file %1").arg(source));
        if (got == 0)
            break;
        if (out.write(buffer, got) != got)
            throw FileError(QStringLiteral("Cannot write file %1").arg(destination));
    }
    if (!out.flush())
        throw FileError(QStringLiteral("Cannot write file %1").arg(destination));
}

qint64 FileSizeOf(const QString& path)
{
    if (path.isEmpty())
        return -1;
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(name.constData(), &st) == 0 || ::lstat(name.constData(), &st) == 0)
        return static_cast<qint64>(st.st_size);
    return -1;
}

bool HasAttribute(const QString& path, unsigned mask)
{
    if (path.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat entry = {};
    if (::lstat(name.constData(), &entry) != 0)
        return false;

    unsigned attributes = 0;
    struct stat st = entry;
    bool targetThere = true;
    if (S_ISLNK(entry.st_mode)) {
        attributes |= faSymLink;
        targetThere = ::stat(name.constData(), &st) == 0;
    }
    if (targetThere) {
        if (S_ISDIR(st.st_mode))
            attributes |= faDirectory;
        else if (S_ISREG(st.st_mode))
            attributes |= faArchive;
        if (::access(name.constData(), W_OK) != 0)
            attributes |= faReadOnly;
    }
    const QString fileName = QFileInfo(QDir::cleanPath(path)).fileName();
    if (fileName.startsWith(QLatin1Char('.')) && fileName != QLatin1String(".") &&
        fileName != QLatin1String(".."))
        attributes |= faHidden;

    return (attributes & mask) == mask;
}

QString AcrobatVersion()
{
#ifdef MERROWIND_HAVE_QTPDF
    return QStringLiteral(QT_VERSION_STR);
#else
    return QStringLiteral("0");
#endif
}

TApplicationViewer::TApplicationViewer(TMerrowindData& data, UserTalk& talk, Opener opener)
    : m_data(data), m_talk(talk), m_opener(std::move(opener))
{
}

bool TApplicationViewer::documentExists(const QString& applicantId) const
{
    return usableAsFileName(applicantId) && m_data.ScannedFileExists(applicantId);
}

int TApplicationViewer::ViewApplication(const QString& applicantId, const QString& params, const QString& dir,
                                        int showMode)
{
    // Documents are often named without the leading zeros of the identifier.
    QString id = applicantId;
    if (!documentExists(id)) {
        while (id.size() >= 2 && id.startsWith(QLatin1Char('0')))
            id.remove(0, 1);
        if (!documentExists(id)) {
            m_talk.error(QStringLiteral("Application Form for Applicant Not Found"));
            return 0;
        }
    }

    if (!LastViewedFile.isEmpty())
        QFile::remove(LastViewedFile);

    const QString copy = TempPath() + id + QLatin1Char('.') + m_data.SystemInfo.FileExt;
    QString failure;
    {
        WaitScope wait(m_talk, QStringLiteral("Please Wait Loading Application"));
        if (!QFileInfo::exists(copy)) {
            try {
                CopyFileTo(m_data.ScannedFileName(id), copy);
            } catch (const FileError& e) {
                failure = e.message();
            }
        }
    }
    if (!failure.isEmpty()) {
        // A half-written copy would be shown as it is the next time.
        QFile::remove(copy);
        LastViewedFile.clear();
        m_talk.error(failure);
        return 0;
    }
    LastViewedFile = copy;

    return m_opener ? m_opener(copy, params, dir, showMode) : 0;
}

} // namespace mw
