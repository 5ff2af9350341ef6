#include "import/scanapps.h"

#include "datastore/merrowinddata.h"
#include "shared/usertalk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace mw {

QString ScanListing::list(const QString& directory, const QString& extension)
{
    m_names.clear();
    m_suffix = (QLatin1Char('.') + extension).toLower();
    const QString dir = directory.isEmpty() ? QStringLiteral(".") : directory;
    DIR* d = ::opendir(QFile::encodeName(dir).constData());
    if (!d)
        return QStringLiteral("The directory of the scanned applications, %1, cannot be listed: %2.\nNo applicant's "
                              "scanned flag was changed.")
            .arg(QDir::toNativeSeparators(dir), QString::fromLocal8Bit(std::strerror(errno)));
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(d);
        if (!e)
            break;
        if (e->d_type == DT_DIR)
            continue;
        m_names.insert(QFile::decodeName(e->d_name).toLower());
    }
    const int readError = errno;
    ::closedir(d);
    if (readError != 0) {
        m_names.clear();
        return QStringLiteral("The directory of the scanned applications, %1, could not be read to its end: %2.\nNo "
                              "applicant's scanned flag was changed.")
            .arg(QDir::toNativeSeparators(dir), QString::fromLocal8Bit(std::strerror(readError)));
    }
    return QString();
}

bool ScanListing::has(const QString& applicantId) const
{
    m_key.resize(0);
    m_key += applicantId;
    m_key += m_suffix;
    // Letter case is let go, as the look-up of one document does; 000123 stays 000123.
    const QString lower = m_key.toLower();
    return m_names.contains(lower);
}

namespace {

// The applicants whose flag is wrong: those with the flag as given whose document
// is (not) there. Empty when stopped.
QStringList mismatched(TMerrowindData& data, UserTalk& talk, const ScanListing& listing, bool flagged,
                       const std::function<bool()>& stop, bool& stopped)
{
    QStringList ids;
    QSqlQuery& q = data.database().execCached(
        flagged ? QStringLiteral("SELECT ApplicantID FROM applicants WHERE Scanned = 1")
                : QStringLiteral("SELECT ApplicantID FROM applicants WHERE Scanned = 0 OR Scanned IS NULL"));
    QElapsedTimer last;
    last.start();
    qint64 looked = 0;
    stopped = false;
    while (q.next()) {
        if (last.elapsed() >= 100) {
            last.start();
            talk.progress(looked, 0);
            if (stop && stop()) {
                stopped = true;
                break;
            }
        }
        ++looked;
        const QString id = q.value(0).toString();
        if (id.isEmpty())
            continue;
        if (listing.has(id) != flagged)
            ids << id;
    }
    q.finish();
    if (!stopped && stop && stop())
        stopped = true;
    return stopped ? QStringList() : ids;
}

// Sets the flag of the applicants in one transaction; gives how many changed.
int setFlag(TMerrowindData& data, const QStringList& ids, bool scanned)
{
    if (ids.isEmpty())
        return 0;
    Database& db = data.database();
    constexpr qsizetype chunk = 500;
    int changed = 0;
    Transaction tx(db);
    for (qsizetype from = 0; from < ids.size(); from += chunk) {
        const qsizetype n = std::min(chunk, ids.size() - from);
        const QString sql =
            QStringLiteral("UPDATE applicants SET Scanned = %1 WHERE ApplicantID IN (%2) AND %3")
                .arg(scanned ? 1 : 0)
                .arg(QStringList(n, QStringLiteral("?")).join(QLatin1Char(',')))
                .arg(scanned ? QStringLiteral("(Scanned = 0 OR Scanned IS NULL)") : QStringLiteral("Scanned = 1"));
        QVariantList binds;
        binds.reserve(n);
        for (qsizetype i = from; i < from + n; ++i)
            binds << ids.at(i);
        changed += db.execCached(sql, binds).numRowsAffected();
    }
    tx.commit();
    return changed;
}

} // namespace

int UpdateScannedApps(TMerrowindData& data, UserTalk& talk, const ScanListing& listing,
                      const std::function<bool()>& stop)
{
    bool stopped = false;
    const QStringList ids = mismatched(data, talk, listing, false, stop, stopped);
    return stopped ? 0 : setFlag(data, ids, true);
}

int RescanApplications(TMerrowindData& data, UserTalk& talk, const ScanListing& listing,
                       const std::function<bool()>& stop)
{
    bool stopped = false;
    const QStringList ids = mismatched(data, talk, listing, true, stop, stopped);
    return stopped ? 0 : setFlag(data, ids, false);
}

OperationResult ScanForApplicationsCommand(TMerrowindData& data, UserTalk& talk)
{
    OperationSteps steps;
    steps.question = QStringLiteral("Are You Sure You Want To Scan For Applications?");
    steps.waitText = QStringLiteral("Please Wait, Scanning For Applications");
    steps.work = [&data](UserTalk& t) {
        ScanListing listing;
        const QString problem = listing.list(data.SystemInfo.FileLocation, data.SystemInfo.FileExt);
        if (!problem.isEmpty())
            return OperationResult::failed(problem);
        const auto never = [] { return false; };
        const int cleared = RescanApplications(data, t, listing, never);
        t.wait(QStringLiteral("Please Wait, Updating Scanned Applications"));
        const int set = UpdateScannedApps(data, t, listing, never);
        OperationResult r = OperationResult::done(
            QStringLiteral("Results From Scan For Applicaions:\n\nRecords Set To True That Where False: %1\n"
                           "Records Set To False That Where True: %2")
                .arg(set)
                .arg(cleared));
        r.count(QStringLiteral("Records Set To True"), set);
        r.count(QStringLiteral("Records Set To False"), cleared);
        return r;
    };
    return runOperation(talk, steps);
}

} // namespace mw
