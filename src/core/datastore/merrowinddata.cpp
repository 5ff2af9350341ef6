#include "datastore/merrowinddata.h"

#include <QDir>

#include <algorithm>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>

namespace mw {

TMerrowindData::TMerrowindData(QObject* parent)
    : QObject(parent)
    , UserSettingsTable(m_db, TableId::UserSet, this)
    , SettingsTable(m_db, TableId::Settings, this)
    , ApplicantTable(m_db, TableId::Applicant, this)
    , ApplicationTable(m_db, TableId::Application, this)
    , RequestionTable(m_db, TableId::Request, this)
    , EMailTable(m_db, TableId::EMail, this)
    , SecurityTable(m_db, TableId::Security, this)
    , IDTable(m_db, TableId::IDNum, this)
    , JobPostingIDTable(m_db, TableId::JobPosting, this)
    , NotifyTable(m_db, TableId::Notify, this)
    , RestrictTable(m_db, TableId::Restrict, this)
    , UserSettingsSource(&UserSettingsTable)
    , SettingsSource(&SettingsTable)
    , ApplicantSource(&ApplicantTable)
    , ApplicationSource(&ApplicationTable)
    , RequestionSource(&RequestionTable)
    , EMailSource(&EMailTable)
    , SecuritySource(&SecurityTable)
    , IDSource(&IDTable)
    , JobPostingIDSource(&JobPostingIDTable)
    , NotifySource(&NotifyTable)
    , RestrictSource(&RestrictTable)
    , UserSettingsQuery(m_db)
    , ApplicantQuery(m_db)
    , ApplicationQuery(m_db)
    , RequestionQuery(m_db)
    , EMailQuery(m_db)
    , SecurityQuery(m_db)
    , JobPostingIDQuery(m_db)
    , NotifyQuery(m_db)
    , RestrictQuery(m_db)
    , m_sessions(m_db)
{
    for (TTable* t : {&UserSettingsTable, &SettingsTable, &ApplicantTable, &ApplicationTable, &RequestionTable,
                      &EMailTable, &SecurityTable, &IDTable, &JobPostingIDTable, &NotifyTable, &RestrictTable})
        t->setSessions(&m_sessions);
    installRules();
    installFilters();
    // Told on the heartbeat's thread; the windows hear it on theirs.
    m_sessions.setClearedHandler([this] {
        QMetaObject::invokeMethod(this, [this] { Q_EMIT takenForClosed(); }, Qt::QueuedConnection);
    });
}

QString TMerrowindData::takenForClosedText()
{
    return QStringLiteral("Another workstation took this copy of Merrowind for closed and released the records it "
                          "had locked. A record you are editing may have been changed meanwhile: if saving it "
                          "fails, your changes are still on screen; cancel them and edit the record again.");
}

TMerrowindData::~TMerrowindData()
{
    try {
        close();
    } catch (...) {
    }
}

void TMerrowindData::open(const DatabaseLocation& location)
{
    close();
    m_db.open(location);
    try {
        if (m_db.dialect() == Dialect::SQLite) {
            QSqlQuery q = m_db.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE name = ?"),
                                    {QStringLiteral("applicant_names")});
            m_nameIndex = q.next();
        }
        if (m_db.dialect() == Dialect::PostgreSQL) {
            QSqlQuery q = m_db.exec(QStringLiteral("SELECT collname FROM pg_collation WHERE collname = ?"),
                                    {QStringLiteral("und-x-icu")});
            m_upperCollation = q.next() ? QStringLiteral("und-x-icu") : QString();
        }
        m_sessions.registerSession(LoginData.UserID);
        // In the order the rest of the program expects them to be ready.
        for (TTable* t : {&UserSettingsTable, &SettingsTable, &ApplicantTable, &ApplicationTable, &RequestionTable,
                          &EMailTable, &SecurityTable, &IDTable, &JobPostingIDTable, &NotifyTable, &RestrictTable}) {
            if (t == &IDTable)
                continue; // opened only by those who draw a number
            t->open();
        }
    } catch (...) {
        close();
        throw;
    }
    m_tempLists.clear();
    m_sessions.startHeartbeat();
}

void TMerrowindData::close()
{
    m_sessions.stopHeartbeat();
    for (TTable* t : {&UserSettingsTable, &SettingsTable, &ApplicantTable, &ApplicationTable, &RequestionTable,
                      &EMailTable, &SecurityTable, &IDTable, &JobPostingIDTable, &NotifyTable, &RestrictTable})
        t->close();
    for (TQuery* q : {&UserSettingsQuery, &ApplicantQuery, &ApplicationQuery, &RequestionQuery, &EMailQuery,
                      &SecurityQuery, &JobPostingIDQuery, &NotifyQuery, &RestrictQuery})
        q->close();
    if (m_db.isOpen()) {
        m_sessions.unregisterSession();
        m_db.close();
    }
    m_tempLists.clear();
}

void TMerrowindData::RefreshTables()
{
    for (TTable* t : {&ApplicationTable, &ApplicantTable, &RequestionTable})
        if (t->active())
            t->refresh();
}

int TMerrowindData::TakeNextNumber(Counter which)
{
    // One statement takes the write lock, counts on and gives the new value: two
    // copies never draw the same number, and the lock is held no longer than that.
    const QString update =
        which == Counter::Applicant
            ? QStringLiteral("UPDATE id_counters SET AppStart = COALESCE(AppStart, 1) + 1 RETURNING AppStart")
            : QStringLiteral("UPDATE id_counters SET ReqStart = COALESCE(ReqStart, 1) + 1 RETURNING ReqStart");
    Transaction tx(m_db);
    QSqlQuery q = m_db.exec(update);
    if (!q.next())
        throw DbError(QStringLiteral("The identifier counter table %1 holds no record.")
                          .arg(Schema::table(TableId::IDNum).fileName));
    const int next = q.value(0).toInt();
    q.finish();
    tx.commit();
    return next - 1;
}

void TMerrowindData::fillTempList(const QString& name, const QStringList& values)
{
    auto it = m_tempLists.find(name);
    if (it != m_tempLists.end() && *it == values)
        return;
    m_tempLists.remove(name);
    const bool pg = m_db.dialect() == Dialect::PostgreSQL;
    m_db.exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS %1 (v TEXT%2 PRIMARY KEY)")
                  .arg(name, pg ? QStringLiteral(" COLLATE \"C\"") : QString()));
    // Some hundreds of values a statement: one round trip each, not one per value.
    constexpr int batch = 500;
    Transaction tx(m_db);
    m_db.exec(QStringLiteral("DELETE FROM %1").arg(name));
    for (qsizetype from = 0; from < values.size(); from += batch) {
        const qsizetype n = std::min<qsizetype>(batch, values.size() - from);
        const QString sql = QStringLiteral("INSERT INTO %1 (v) VALUES %2 ON CONFLICT (v) DO NOTHING")
                                .arg(name, QStringList(n, QStringLiteral("(?)")).join(QLatin1Char(',')));
        QVariantList binds;
        binds.reserve(n);
        for (qsizetype i = from; i < from + n; ++i)
            binds << values[i];
        m_db.execCached(sql, binds).finish();
    }
    const bool outermost = m_db.transactionDepth() == 1;
    tx.commit();
    // Inside somebody else's transaction the list may yet be taken back with it.
    if (outermost)
        m_tempLists.insert(name, values);
}

QString TMerrowindData::upper(const QString& column) const
{
    if (m_db.dialect() == Dialect::PostgreSQL && !m_upperCollation.isEmpty())
        return QStringLiteral("UPPER(%1 COLLATE \"%2\")").arg(column, m_upperCollation);
    return QStringLiteral("UPPER(%1)").arg(column);
}

QString TMerrowindData::documentOnDisk(const QString& applicantId) const
{
    const QString name = SystemInfo.FileLocation + applicantId + QLatin1Char('.') + SystemInfo.FileExt;
    const QFileInfo info(name);
    if (info.isFile())
        return name;
    // Documents copied from elsewhere may carry the extension in capitals (000123.PDF).
    // The directory is listed once and listed again only when it changes.
    const QString dirPath = info.absolutePath();
    const QFileInfo dirInfo(dirPath);
    if (!dirInfo.isDir())
        return QString();
    // A change within the same clock tick as the listing would not show in the
    // stamp, so a directory changed just before it was listed is listed again.
    const QDateTime stamp = dirInfo.lastModified();
    if (m_docDir != dirPath || m_docDirStamp != stamp || qAbs(stamp.msecsTo(m_docListed)) < 2000) {
        m_docDir = dirPath;
        m_docDirStamp = stamp;
        m_docListed = QDateTime::currentDateTime();
        m_docNames.clear();
        const QStringList files = QDir(dirPath).entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& f : files)
            m_docNames.insert(f.toLower(), f);
    }
    const auto it = m_docNames.constFind(info.fileName().toLower());
    if (it == m_docNames.constEnd())
        return QString();
    const QString& actual = it.value();
    const qsizetype dot = actual.lastIndexOf(QLatin1Char('.'));
    if (actual.left(dot) != applicantId) // only the extension may differ in case
        return QString();
    const QString path = QDir(dirPath).filePath(actual);
    return QFileInfo::exists(path) ? path : QString();
}

QString TMerrowindData::ScannedFileName(const QString& applicantId) const
{
    const QString onDisk = documentOnDisk(applicantId);
    return onDisk.isEmpty() ? SystemInfo.FileLocation + applicantId + QLatin1Char('.') + SystemInfo.FileExt : onDisk;
}

bool TMerrowindData::ScannedFileExists(const QString& applicantId) const
{
    return !documentOnDisk(applicantId).isEmpty();
}

QHash<QString, QString> TMerrowindData::ApplicantsAmong(const QStringList& ids)
{
    QHash<QString, QString> found;
    constexpr qsizetype chunk = 300;
    for (qsizetype from = 0; from < ids.size(); from += chunk) {
        QVariantList binds;
        for (qsizetype i = from; i < std::min(ids.size(), from + chunk); ++i) {
            const QString& id = ids.at(i);
            binds << id;
            if (id.toUpper() != id)
                binds << id.toUpper();
            if (id.toLower() != id)
                binds << id.toLower();
        }
        QSqlQuery& q = m_db.execCached(QStringLiteral("SELECT ApplicantID, Name FROM applicants WHERE ApplicantID IN (%1)")
                                           .arg(QStringList(binds.size(), QStringLiteral("?")).join(QLatin1Char(','))),
                                       binds);
        while (q.next())
            found.insert(q.value(0).toString().toLower(), q.value(1).toString());
        q.finish();
    }
    // An identifier with letters may still belong to an applicant whose own is in
    // mixed letter case ("aB12"): those few are read in one streamed pass.
    QSet<QString> unfound;
    for (const QString& id : ids)
        if (id.toUpper() != id.toLower() && !found.contains(id.toLower()))
            unfound.insert(id.toLower());
    if (!unfound.isEmpty()) {
        QSqlQuery& q = m_db.execCached(QStringLiteral("SELECT ApplicantID, Name FROM applicants WHERE ApplicantID <> "
                                                      "upper(ApplicantID) AND ApplicantID <> lower(ApplicantID)"));
        while (q.next())
            if (const QString id = q.value(0).toString().toLower(); unfound.contains(id))
                found.insert(id, q.value(1).toString());
        q.finish();
    }
    return found;
}

} // namespace mw
