#include "datastore/query.h"

#include <QSqlRecord>

namespace mw {

void TQuery::close()
{
    m_values = QVector<QVariant>();
    m_at = 0;
    m_active = false;
    m_eof = true;
}

void TQuery::open()
{
    close();
    QSqlQuery q = m_db.exec(sql(), m_binds);
    m_record = q.record();
    const int columns = m_record.count();
    while (q.next())
        for (int i = 0; i < columns; ++i)
            m_values << q.value(i);
    q.finish(); // nothing stays open in the database
    m_active = true;
    m_eof = m_values.isEmpty();
}

void TQuery::next()
{
    if (!m_active || m_eof)
        return;
    m_at += m_record.count();
    m_eof = m_at >= m_values.size();
}

int TQuery::execSql()
{
    close();
    QSqlQuery q = m_db.exec(sql(), m_binds);
    m_rowsAffected = q.numRowsAffected();
    return m_rowsAffected;
}

int TQuery::run(Database& db, const QString& sql, const QVariantList& binds)
{
    QSqlQuery q = db.exec(sql, binds);
    return q.numRowsAffected();
}

bool TQuery::hasField(const QString& name) const { return m_active && m_record.indexOf(name) >= 0; }

QVariant TQuery::value(const QString& name) const
{
    if (!m_active || m_eof)
        return QVariant();
    const int i = m_record.indexOf(name);
    if (i < 0)
        throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    return m_values.at(m_at + i);
}

bool TQuery::isNull(const QString& name) const
{
    const QVariant v = value(name);
    return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}

QString TQuery::asString(const QString& name) const
{
    const QVariant v = value(name);
    return v.isNull() ? QString() : v.toString();
}

bool TQuery::asBoolean(const QString& name) const
{
    const QVariant v = value(name);
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        return s == QLatin1String("1") || s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }
    return v.toLongLong() != 0;
}

int TQuery::asInteger(const QString& name) const
{
    const QVariant v = value(name);
    return v.isNull() ? 0 : v.toInt();
}

QDate TQuery::asDate(const QString& name) const
{
    const QVariant v = value(name);
    if (v.isNull())
        return QDate();
    return QDate::fromString(v.toString().left(10), Qt::ISODate);
}

QString TQuery::asDateText(const QString& name) const
{
    const QDate d = asDate(name);
    return d.isValid() ? d.toString(QStringLiteral("MM/dd/yyyy")) : QString();
}

} // namespace mw
