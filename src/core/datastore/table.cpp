#include "datastore/table.h"

#include "datastore/sessions.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace mw {

namespace {

constexpr int Chunk = 100;

bool isTextKind(FieldKind k) { return k == FieldKind::Alpha || k == FieldKind::Memo; }

QString joinAnd(const QStringList& parts)
{
    QStringList nonEmpty;
    for (const QString& p : parts)
        if (!p.isEmpty())
            nonEmpty << QLatin1Char('(') + p + QLatin1Char(')');
    return nonEmpty.join(QStringLiteral(" AND "));
}

} // namespace

QString stateName(DataSetState s)
{
    switch (s) {
    case DataSetState::Inactive:
        return QStringLiteral("Inactive");
    case DataSetState::Browse:
        return QStringLiteral("Browse");
    case DataSetState::Edit:
        return QStringLiteral("Edit");
    case DataSetState::Insert:
        return QStringLiteral("Insert");
    }
    return QString();
}

// ---------------------------------------------------------------------------
// TField

QString TField::name() const { return m_table->fieldName(m_index); }
FieldKind TField::kind() const { return m_table->fieldKind(m_index); }
bool TField::isLookup() const { return m_index >= m_table->def().fields.size(); }
QVariant TField::value() const { return m_table->bufferValue(m_index); }

bool TField::isNull() const
{
    const QVariant v = value();
    if (v.isNull())
        return true;
    return isTextKind(kind()) && v.toString().isEmpty();
}

QString TField::asString() const { return TTable::textOf(value(), kind()); }

bool TField::asBoolean() const
{
    const QVariant v = value();
    return !v.isNull() && v.toBool();
}

int TField::asInteger() const
{
    const QVariant v = value();
    return v.isNull() ? 0 : v.toInt();
}

QDate TField::asDate() const
{
    const QVariant v = value();
    return v.isNull() ? QDate() : v.toDate();
}

void TField::setValue(const QVariant& v) { m_table->setBufferValue(m_index, v); }

// ---------------------------------------------------------------------------
// Conversions

QString TTable::textOf(const QVariant& v, FieldKind kind)
{
    if (v.isNull())
        return QString();
    switch (kind) {
    case FieldKind::Date:
        return v.toDate().toString(QStringLiteral("MM/dd/yyyy"));
    case FieldKind::Logical:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return v.toString();
    }
}

QVariant TTable::fromStorage(const QVariant& v, FieldKind kind)
{
    if (v.isNull())
        return QVariant();
    switch (kind) {
    case FieldKind::Alpha:
    case FieldKind::Memo:
        return v.toString();
    case FieldKind::Logical:
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            if (s.isEmpty())
                return QVariant();
            return QVariant(s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1"));
        }
        return QVariant(v.toLongLong() != 0);
    case FieldKind::Date: {
        const QString s = v.toString();
        if (s.isEmpty())
            return QVariant();
        const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case FieldKind::Number:
    case FieldKind::AutoInc:
        return QVariant(v.toInt());
    }
    return v;
}

QVariant TTable::convertInput(const QVariant& v, FieldKind kind, int width)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (kind) {
    case FieldKind::Alpha:
    case FieldKind::Memo: {
        QString s = v.typeId() == QMetaType::QDate ? v.toDate().toString(QStringLiteral("MM/dd/yyyy"))
                                                   : v.toString();
        if (s.isEmpty())
            return QVariant();
        if (kind == FieldKind::Alpha && width > 0 && s.size() > width)
            s.truncate(width);
        return s;
    }
    case FieldKind::Logical: {
        if (v.typeId() == QMetaType::Bool)
            return v;
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            if (s.isEmpty())
                return QVariant();
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1") ||
                s.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
                s.compare(QLatin1String("t"), Qt::CaseInsensitive) == 0)
                return QVariant(true);
            if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || s == QLatin1String("0") ||
                s.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0 ||
                s.compare(QLatin1String("f"), Qt::CaseInsensitive) == 0)
                return QVariant(false);
            throw DbError(QStringLiteral("'%1' is not a valid boolean value").arg(s));
        }
        return QVariant(v.toLongLong() != 0);
    }
    case FieldKind::Date: {
        if (v.typeId() == QMetaType::QDate)
            return v.toDate().isValid() ? v : QVariant();
        if (v.typeId() == QMetaType::QDateTime)
            return QVariant(v.toDateTime().date());
        const QString s = v.toString().trimmed();
        if (s.isEmpty())
            return QVariant();
        QDate d = QDate::fromString(s, QStringLiteral("MM/dd/yyyy"));
        if (!d.isValid())
            d = QDate::fromString(s, QStringLiteral("M/d/yyyy"));
        if (!d.isValid())
            d = QDate::fromString(s, Qt::ISODate);
        if (!d.isValid())
            throw DbError(QStringLiteral("'%1' is not a valid date").arg(s));
        return QVariant(d);
    }
    case FieldKind::Number:
    case FieldKind::AutoInc: {
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            if (s.isEmpty())
                return QVariant();
            bool ok = false;
            const int n = s.toInt(&ok);
            if (!ok)
                throw DbError(QStringLiteral("'%1' is not a valid integer value").arg(s));
            return QVariant(n);
        }
        if (v.typeId() == QMetaType::Double)
            return QVariant(qRound(v.toDouble()));
        return QVariant(v.toInt());
    }
    }
    return v;
}

// ---------------------------------------------------------------------------
// TTable

TTable::TTable(Database& db, TableId id, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_def(&Schema::table(id))
{
    for (const QString& f : m_def->order)
        m_orderFields << m_def->fieldIndex(f);
    m_orderUnique = !m_def->order.isEmpty() && m_def->order == m_def->uniqueKey;
    if (!m_orderUnique)
        m_orderFields << -1;
}

TTable::~TTable()
{
    try {
        unlockCurrent();
    } catch (...) {
    }
}

int TTable::fieldCount() const { return m_def->fields.size() + m_def->lookups.size(); }

int TTable::fieldIndex(const QString& name) const
{
    const int i = m_def->fieldIndex(name);
    if (i >= 0)
        return i;
    for (int j = 0; j < m_def->lookups.size(); ++j)
        if (m_def->lookups[j].name.compare(name, Qt::CaseInsensitive) == 0)
            return m_def->fields.size() + j;
    return -1;
}

TField TTable::fieldByName(const QString& name)
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DbError(QStringLiteral("%1: Field '%2' not found").arg(tableName(), name));
    return TField(this, i);
}

QString TTable::fieldName(int index) const
{
    const int nf = m_def->fields.size();
    return index < nf ? m_def->fields[index].name : m_def->lookups[index - nf].name;
}

FieldKind TTable::fieldKind(int index) const
{
    const int nf = m_def->fields.size();
    return index < nf ? m_def->fields[index].kind : m_def->lookups[index - nf].kind;
}

QString TTable::selectList() const
{
    QStringList cols;
    for (const FieldDef& f : m_def->fields)
        cols << QStringLiteral("t.") + f.name;
    if (m_def->hiddenRowId())
        cols << QStringLiteral("t.rid");
    for (const LookupDef& l : m_def->lookups)
        cols << QStringLiteral("(SELECT l.%1 FROM %2 l WHERE l.%3 = t.%4 LIMIT 1)")
                    .arg(l.sourceField, l.sourceTable, l.sourceKey, l.keyField);
    return cols.join(QStringLiteral(", "));
}

SqlFilter TTable::currentFilter() const
{
    if (!m_filtered || !m_filterProvider)
        return {};
    return m_filterProvider();
}

QString TTable::keyTuple() const
{
    QStringList cols;
    for (int i : m_orderFields)
        cols << (i < 0 ? QStringLiteral("t.") + m_def->rowIdField : QStringLiteral("t.") + m_def->fields[i].name);
    return QLatin1Char('(') + cols.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString TTable::orderBy(bool descending) const
{
    QStringList cols;
    for (int i : m_orderFields) {
        QString c = i < 0 ? QStringLiteral("t.") + m_def->rowIdField : QStringLiteral("t.") + m_def->fields[i].name;
        if (descending)
            c += QStringLiteral(" DESC");
        cols << c;
    }
    return QStringLiteral(" ORDER BY ") + cols.join(QStringLiteral(", "));
}

QString TTable::keyCondition(const char* op) const
{
    const QStringList marks(m_orderFields.size(), QStringLiteral("?"));
    return keyTuple() + QLatin1Char(' ') + QLatin1String(op) + QStringLiteral(" (") + marks.join(QStringLiteral(", ")) +
           QLatin1Char(')');
}

QVariantList TTable::keyValues(const Row& r) const
{
    QVariantList out;
    for (int i : m_orderFields) {
        if (i < 0)
            out << r.rid;
        else {
            const QVariant v = r.values[i];
            out << (v.isNull() ? QVariant(QString(QLatin1String(""))) : Database::toStorage(v));
        }
    }
    return out;
}

Row TTable::readRow(const QSqlQuery& q) const
{
    Row r;
    const int nf = m_def->fields.size();
    r.values.resize(fieldCount());
    for (int i = 0; i < nf; ++i)
        r.values[i] = fromStorage(q.value(i), m_def->fields[i].kind);
    int col = nf;
    if (m_def->hiddenRowId())
        r.rid = q.value(col++).toLongLong();
    else
        r.rid = q.value(m_def->fieldIndex(m_def->rowIdField)).toLongLong();
    for (int j = 0; j < m_def->lookups.size(); ++j) {
        const LookupDef& l = m_def->lookups[j];
        QVariant v = fromStorage(q.value(col++), l.kind);
        if (l.kind == FieldKind::Alpha && l.width > 0 && !v.isNull() && v.toString().size() > l.width)
            v = v.toString().left(l.width);
        r.values[nf + j] = v;
    }
    return r;
}

QVector<Row> TTable::fetch(const QString& extraWhere, const QVariantList& extraBinds, bool descending, int limit,
                           qint64 offset)
{
    const SqlFilter f = currentFilter();
    if (f.nothing)
        return {};
    QString sql = QStringLiteral("SELECT ") + selectList() + QStringLiteral(" FROM ") + m_def->sqlName +
                  QStringLiteral(" t");
    const QString where = joinAnd({f.where, extraWhere});
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    sql += orderBy(descending) + QStringLiteral(" LIMIT ?");
    QVariantList binds = f.binds + extraBinds;
    binds << limit;
    if (offset > 0) {
        sql += QStringLiteral(" OFFSET ?");
        binds << offset;
    }
    QSqlQuery& q = m_db.execCached(sql, binds);
    QVector<Row> rows;
    rows.reserve(std::min(limit, Chunk));
    while (q.next())
        rows << readRow(q);
    q.finish();
    if (descending)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

Row TTable::readOne(qint64 rid)
{
    const QString sql = QStringLiteral("SELECT ") + selectList() + QStringLiteral(" FROM ") + m_def->sqlName +
                        QStringLiteral(" t WHERE t.") + m_def->rowIdField + QStringLiteral(" = ?");
    QSqlQuery& q = m_db.execCached(sql, {rid});
    Row r;
    if (q.next())
        r = readRow(q);
    q.finish();
    return r;
}

void TTable::checkActive() const
{
    if (m_state == DataSetState::Inactive)
        throw DbError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(tableName()));
}

void TTable::checkBrowse()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        post();
}

void TTable::setCurrentIndex(int i)
{
    m_cur = i;
    Q_EMIT recordChanged();
    if (afterScroll)
        afterScroll(*this);
}

void TTable::invalidate()
{
    m_count = -1;
    m_winStart = -1;
    m_winFromStart = m_winToEnd = false;
}

void TTable::open()
{
    if (active())
        return;
    m_state = DataSetState::Browse;
    invalidate();
    Q_EMIT stateChanged();
    first();
}

void TTable::close()
{
    if (!active())
        return;
    unlockCurrent();
    m_state = DataSetState::Inactive;
    m_win.clear();
    m_cur = -1;
    m_bof = m_eof = true;
    invalidate();
    Q_EMIT stateChanged();
    Q_EMIT dataChanged();
}

void TTable::first()
{
    checkBrowse();
    // Read again even when the window starts at the first record: another copy
    // may have added records before it.
    m_win = fetch(QString(), {}, false, Chunk);
    m_winStart = 0;
    m_winFromStart = true;
    m_winToEnd = m_win.size() < Chunk;
    m_bof = true;
    m_eof = m_win.isEmpty();
    setCurrentIndex(m_win.isEmpty() ? -1 : 0);
}

void TTable::last()
{
    checkBrowse();
    m_win = fetch(QString(), {}, true, Chunk);
    m_winStart = m_count >= 0 ? m_count - m_win.size() : -1;
    m_winToEnd = true;
    m_winFromStart = m_win.size() < Chunk;
    m_eof = true;
    m_bof = m_win.isEmpty();
    setCurrentIndex(m_win.isEmpty() ? -1 : static_cast<int>(m_win.size()) - 1);
}

void TTable::next()
{
    checkBrowse();
    if (m_cur < 0) {
        m_eof = true;
        return;
    }
    m_bof = false;
    if (m_cur + 1 < m_win.size()) {
        m_eof = false;
        setCurrentIndex(m_cur + 1);
        return;
    }
    // Past the last record read, even when it was the last one there was: another
    // copy may have added records after it. One read from the last key.
    QVector<Row> rows = fetch(keyCondition(">"),
                              keyValues(m_win.last()), false, Chunk);
    if (rows.isEmpty()) {
        m_eof = true;
        m_winToEnd = true;
        return;
    }
    if (m_winToEnd)
        m_count = -1; // more records than were counted
    m_winStart = m_winStart >= 0 ? m_winStart + m_win.size() : -1;
    m_winFromStart = false;
    m_winToEnd = rows.size() < Chunk;
    m_win = std::move(rows);
    m_eof = false;
    setCurrentIndex(0);
}

void TTable::prior()
{
    checkBrowse();
    if (m_cur < 0) {
        m_bof = true;
        return;
    }
    m_eof = false;
    if (m_cur > 0) {
        m_bof = false;
        setCurrentIndex(m_cur - 1);
        return;
    }
    if (m_winFromStart) {
        m_bof = true;
        return;
    }
    QVector<Row> rows = fetch(keyCondition("<"),
                              keyValues(m_win.first()), true, Chunk);
    if (rows.isEmpty()) {
        m_bof = true;
        m_winFromStart = true;
        m_winStart = 0;
        return;
    }
    m_winStart = m_winStart >= 0 ? m_winStart - rows.size() : -1;
    m_winToEnd = false;
    m_winFromStart = rows.size() < Chunk;
    if (m_winFromStart)
        m_winStart = 0;
    m_win = std::move(rows);
    m_bof = false;
    setCurrentIndex(static_cast<int>(m_win.size()) - 1);
}

void TTable::moveBy(qint64 distance)
{
    for (; distance > 0 && !m_eof; --distance)
        next();
    for (; distance < 0 && !m_bof; ++distance)
        prior();
}

bool TTable::moveTo(qint64 recNo)
{
    checkBrowse();
    if (recNo < 0)
        return false;
    if (m_winStart >= 0 && recNo >= m_winStart && recNo < m_winStart + m_win.size()) {
        m_bof = m_eof = false;
        setCurrentIndex(static_cast<int>(recNo - m_winStart));
        return true;
    }
    const qint64 start = std::max<qint64>(0, recNo - Chunk / 4);
    QVector<Row> rows = fetch(QString(), {}, false, Chunk, start);
    if (recNo - start >= rows.size())
        return false;
    m_win = std::move(rows);
    m_winStart = start;
    m_winFromStart = start == 0;
    m_winToEnd = m_win.size() < Chunk;
    m_bof = m_eof = false;
    setCurrentIndex(static_cast<int>(recNo - start));
    return true;
}

bool TTable::isEmpty()
{
    checkActive();
    if (m_state == DataSetState::Insert)
        return false;
    if (m_cur >= 0)
        return false;
    return fetch(QString(), {}, false, 1).isEmpty();
}

qint64 TTable::recNo()
{
    if (m_cur < 0 || m_state == DataSetState::Insert)
        return -1;
    if (m_winStart < 0) {
        const SqlFilter f = currentFilter();
        QString sql = QStringLiteral("SELECT COUNT(*) FROM ") + m_def->sqlName + QStringLiteral(" t WHERE ") +
                      joinAnd({f.where, keyCondition("<")});
        QSqlQuery& q = m_db.execCached(sql, f.binds + keyValues(m_win.first()));
        m_winStart = q.next() ? q.value(0).toLongLong() : 0;
        q.finish();
    }
    return m_winStart + m_cur;
}

qint64 TTable::recordCount()
{
    checkActive();
    if (m_count < 0) {
        const SqlFilter f = currentFilter();
        if (f.nothing) {
            m_count = 0;
        } else {
            const bool own = !f.countWhere.isEmpty();
            QString sql = QStringLiteral("SELECT COUNT(*) FROM ") + m_def->sqlName + QStringLiteral(" t");
            if (!f.where.isEmpty())
                sql += QStringLiteral(" WHERE ") + (own ? f.countWhere : f.where);
            QSqlQuery& q = m_db.execCached(sql, own ? f.countBinds : f.binds);
            m_count = q.next() ? q.value(0).toLongLong() : 0;
            q.finish();
        }
    }
    return m_count;
}

void TTable::loadFrom(const Row& anchor, bool inclusive)
{
    const char* op = inclusive ? ">=" : ">";
    m_win = fetch(keyCondition(op),
                  keyValues(anchor), false, Chunk);
    m_winStart = -1;
    m_winFromStart = false;
    m_winToEnd = m_win.size() < Chunk;
    m_bof = false;
    m_eof = m_win.isEmpty();
    setCurrentIndex(m_win.isEmpty() ? -1 : 0);
}

bool TTable::locate(const QStringList& fields, const QVariantList& values, bool caseInsensitive)
{
    checkBrowse();
    QStringList conds;
    QVariantList binds;
    for (int i = 0; i < fields.size(); ++i) {
        const int fi = m_def->fieldIndex(fields[i]);
        if (fi < 0)
            throw DbError(QStringLiteral("%1: Field '%2' not found").arg(tableName(), fields[i]));
        const FieldDef& fd = m_def->fields[fi];
        const QVariant v = convertInput(i < values.size() ? values[i] : QVariant(), fd.kind, 0);
        const bool notNullColumn = m_def->uniqueKey.contains(fd.name) || m_def->order.contains(fd.name);
        if (v.isNull() && !notNullColumn) {
            conds << QStringLiteral("t.") + fd.name + QStringLiteral(" IS NULL");
            continue;
        }
        if (caseInsensitive && isTextKind(fd.kind))
            conds << QStringLiteral("UPPER(t.") + fd.name + QStringLiteral(") = UPPER(?)");
        else
            conds << QStringLiteral("t.") + fd.name + QStringLiteral(" = ?");
        binds << (v.isNull() ? QVariant(QString(QLatin1String(""))) : v);
    }
    const QVector<Row> found = fetch(joinAnd(conds), binds, false, 1);
    if (found.isEmpty())
        return false;
    loadFrom(found.first(), true);
    return true;
}

bool TTable::findKey(const QVariantList& keyValues)
{
    if (m_def->uniqueKey.isEmpty())
        throw DbError(QStringLiteral("%1: the table has no key").arg(tableName()));
    if (!m_orderUnique || keyValues.size() != m_orderFields.size())
        return locate(m_def->uniqueKey, keyValues);
    // The key is the order: one read finds the record and the window after it.
    checkBrowse();
    QVariantList binds;
    for (int i = 0; i < keyValues.size(); ++i) {
        const QVariant v = convertInput(keyValues[i], m_def->fields[m_orderFields[i]].kind, 0);
        binds << (v.isNull() ? QVariant(QString(QLatin1String(""))) : Database::toStorage(v));
    }
    QVector<Row> rows = fetch(keyCondition(">="), binds, false, Chunk);
    if (rows.isEmpty() || this->keyValues(rows.first()) != binds)
        return false;
    m_win = std::move(rows);
    m_winStart = -1;
    m_winFromStart = false;
    m_winToEnd = m_win.size() < Chunk;
    m_bof = m_eof = false;
    setCurrentIndex(0);
    return true;
}

void TTable::refresh()
{
    checkBrowse();
    invalidate();
    if (m_cur >= 0) {
        const Row anchor = m_win[m_cur];
        loadFrom(anchor, true);
        if (m_win.isEmpty())
            last();
    } else {
        first();
    }
    Q_EMIT dataChanged();
}

qint64 TTable::bookmark() const
{
    if (m_state == DataSetState::Insert || m_cur < 0)
        return 0;
    return m_win[m_cur].rid;
}

bool TTable::gotoBookmark(qint64 bookmark)
{
    checkBrowse();
    if (m_cur >= 0) {
        for (int i = 0; i < m_win.size(); ++i)
            if (m_win[i].rid == bookmark) {
                setCurrentIndex(i);
                m_bof = m_eof = false;
                return true;
            }
    }
    const Row r = readOne(bookmark);
    if (r.rid == 0)
        return false;
    loadFrom(r, true);
    return m_cur >= 0 && m_win[m_cur].rid == bookmark;
}

void TTable::setFiltered(bool on)
{
    if (m_filtered == on)
        return;
    m_filtered = on;
    if (active()) {
        invalidate();
        first();
        Q_EMIT dataChanged();
    }
}

const Row* TTable::currentRow() const
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return &m_buffer;
    return m_cur >= 0 ? &m_win[m_cur] : nullptr;
}

QVariant TTable::bufferValue(int index) const
{
    const Row* r = currentRow();
    if (!r || index < 0 || index >= r->values.size())
        return QVariant();
    return r->values[index];
}

QVector<Row> TTable::rows(qint64 offset, int limit) { return fetch(QString(), {}, false, limit, offset); }

void TTable::refreshLookups()
{
    const int nf = m_def->fields.size();
    for (int j = 0; j < m_def->lookups.size(); ++j) {
        const LookupDef& l = m_def->lookups[j];
        const QVariant key = m_buffer.values[m_def->fieldIndex(l.keyField)];
        QVariant v;
        if (!key.isNull()) {
            QSqlQuery& q = m_db.execCached(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? LIMIT 1")
                                               .arg(l.sourceField, l.sourceTable, l.sourceKey),
                                           {key});
            if (q.next())
                v = fromStorage(q.value(0), l.kind);
            q.finish();
        }
        if (l.kind == FieldKind::Alpha && l.width > 0 && !v.isNull() && v.toString().size() > l.width)
            v = v.toString().left(l.width);
        m_buffer.values[nf + j] = v;
    }
}

void TTable::setBufferValue(int index, const QVariant& v)
{
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw DbError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(tableName()));
    const int nf = m_def->fields.size();
    if (index < 0 || index >= nf)
        throw DbError(QStringLiteral("Field '%1' cannot be modified").arg(fieldName(index)));
    const FieldDef& f = m_def->fields[index];
    m_buffer.values[index] = convertInput(v, f.kind, f.width);
    m_modified = true;
    for (const LookupDef& l : m_def->lookups)
        if (l.keyField.compare(f.name, Qt::CaseInsensitive) == 0) {
            refreshLookups();
            break;
        }
    Q_EMIT recordChanged();
}

void TTable::unlockCurrent()
{
    if (m_lockedRid != 0 && m_sessions)
        m_sessions->unlockRecord(m_def->sqlName, m_lockedRid);
    m_lockedRid = 0;
}

bool TTable::sameValue(const QVariant& a, const QVariant& b) { return a == b && a.isNull() == b.isNull(); }

void TTable::rebase(const Row& fresh)
{
    // What the user changed stays; every other field shows the record as it is now,
    // which becomes what the edit started from.
    const Row& original = m_win[m_cur];
    for (int i = 0; i < m_def->fields.size(); ++i)
        if (sameValue(m_buffer.values[i], original.values[i]))
            m_buffer.values[i] = fresh.values[i];
    m_buffer.rid = fresh.rid;
    m_win[m_cur] = fresh;
    refreshLookups();
    if (beforeEdit) {
        // The rules remember the record the edit now starts from.
        m_state = DataSetState::Browse;
        try {
            beforeEdit(*this);
        } catch (...) {
            m_state = DataSetState::Edit;
            throw;
        }
        m_state = DataSetState::Edit;
    }
    Q_EMIT recordChanged();
}

void TTable::refuseLostLock(qint64 rid)
{
    m_lockedRid = 0;
    const std::optional<QString> holder = m_sessions->otherLockHolder(m_def->sqlName, rid);
    const Row fresh = readOne(rid);
    if (fresh.rid == 0)
        throw DbError(QStringLiteral("Record/Key deleted.\nTable: %1").arg(tableName()));
    rebase(fresh);
    const QString who = holder && !holder->isEmpty() ? QStringLiteral("\nUser: ") + *holder : QString();
    throw DbError(QStringLiteral("Record lock taken over by another user meanwhile; the record was not saved."
                                 "\nTable: %1%2")
                      .arg(tableName(), who));
}

void TTable::regainLock()
{
    const qint64 rid = m_buffer.rid;
    m_sessions->lockRecord(m_def->sqlName, m_def->fileName, rid);
    m_lockedRid = rid;
    Row fresh;
    try {
        fresh = readOne(rid);
    } catch (...) {
        unlockCurrent();
        throw;
    }
    if (fresh.rid == 0) {
        unlockCurrent();
        throw DbError(QStringLiteral("Record/Key deleted.\nTable: %1").arg(tableName()));
    }
    const Row& original = m_win[m_cur];
    for (int i = 0; i < m_def->fields.size(); ++i)
        if (!sameValue(fresh.values[i], original.values[i])) {
            // Changed again since the user was told: show it before writing over it.
            rebase(fresh);
            throw DbError(QStringLiteral("Record changed by another user meanwhile; the record was not saved.\n"
                                         "Table: %1")
                              .arg(tableName()));
        }
}

void TTable::edit()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    if (m_cur < 0) {
        insert();
        return;
    }
    // Lock, read the record as it is now, and only then run the rules on it: they
    // must not judge by what this copy showed before another copy changed it.
    const qint64 rid = m_win[m_cur].rid;
    if (m_sessions) {
        m_sessions->lockRecord(m_def->sqlName, m_def->fileName, rid);
        m_lockedRid = rid;
    }
    Row fresh;
    try {
        fresh = readOne(rid);
        if (fresh.rid == 0)
            throw DbError(QStringLiteral("Record/Key deleted.\nTable: %1").arg(tableName()));
        m_win[m_cur] = fresh;
        if (beforeEdit)
            beforeEdit(*this);
    } catch (...) {
        unlockCurrent();
        throw;
    }
    m_buffer = fresh;
    m_modified = false;
    m_state = DataSetState::Edit;
    Q_EMIT stateChanged();
    Q_EMIT recordChanged();
}

void TTable::insert()
{
    checkBrowse();
    if (beforeInsert)
        beforeInsert(*this);
    m_buffer = Row();
    m_buffer.values.resize(fieldCount());
    m_modified = false;
    m_state = DataSetState::Insert;
    if (onNewRecord)
        onNewRecord(*this);
    Q_EMIT stateChanged();
    Q_EMIT recordChanged();
}

bool TTable::write(bool inserting, qint64& rid)
{
    const int nf = m_def->fields.size();
    auto storageValue = [&](int i) {
        const FieldDef& f = m_def->fields[i];
        const QVariant v = m_buffer.values[i];
        const bool notNull = m_def->uniqueKey.contains(f.name) || m_def->order.contains(f.name);
        if (v.isNull() && notNull && f.kind == FieldKind::Alpha)
            return QVariant(QString(QLatin1String("")));
        if (v.isNull())
            return QVariant(f.kind == FieldKind::Logical || f.kind == FieldKind::Number ||
                                    f.kind == FieldKind::AutoInc
                                ? QMetaType(QMetaType::Int)
                                : QMetaType(QMetaType::QString));
        return Database::toStorage(v);
    };

    Transaction tx(m_db); // the write and the release of the lock commit together
    try {
        if (inserting) {
            QStringList cols, marks;
            QVariantList binds;
            for (int i = 0; i < nf; ++i) {
                const FieldDef& f = m_def->fields[i];
                if (f.kind == FieldKind::AutoInc && m_buffer.values[i].isNull())
                    continue;
                cols << f.name;
                marks << QStringLiteral("?");
                binds << storageValue(i);
            }
            QSqlQuery& q = m_db.execCached(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                                               .arg(m_def->sqlName, cols.join(QStringLiteral(", ")),
                                                    marks.join(QStringLiteral(", ")), m_def->rowIdField),
                                           binds);
            if (q.next())
                rid = q.value(0).toLongLong();
            q.finish();
        } else if (m_sessions && !m_sessions->releaseHeldLock(m_def->sqlName, rid)) {
            // Another copy took this one for closed meanwhile and may have written
            // the record since: writing now could undo that.
            return false;
        } else {
            const Row& original = m_win[m_cur];
            QStringList sets;
            QVariantList binds;
            for (int i = 0; i < nf; ++i) {
                if (m_buffer.values[i] == original.values[i] &&
                    m_buffer.values[i].isNull() == original.values[i].isNull())
                    continue;
                sets << m_def->fields[i].name + QStringLiteral(" = ?");
                binds << storageValue(i);
            }
            if (!sets.isEmpty()) {
                binds << rid;
                // The record gives its row identity back when it is still there: a
                // statement of another copy (a purge) may have deleted it meanwhile.
                // Counting changed rows is left to no driver.
                QSqlQuery& q = m_db.execCached(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ? RETURNING %3")
                                                   .arg(m_def->sqlName, sets.join(QStringLiteral(", ")),
                                                        m_def->rowIdField),
                                               binds);
                const bool found = q.next();
                q.finish();
                if (!found)
                    throw DbError(QStringLiteral("Record/Key deleted.\nTable: %1").arg(tableName()));
            }
        }
        if (onWrite)
            onWrite(*this);
    } catch (const DbError& e) {
        if (e.isKeyViolation())
            throw DbError(QStringLiteral("Key violation.\nTable: %1").arg(tableName()), e.code());
        throw;
    }
    tx.commit();
    return true;
}

void TTable::post()
{
    checkActive();
    if (m_state == DataSetState::Browse)
        return;
    const bool inserting = m_state == DataSetState::Insert;
    // Posting again after the lock was lost: take it again first.
    if (!inserting && m_sessions && m_lockedRid == 0)
        regainLock();
    if (beforePost)
        beforePost(*this);

    qint64 rid = m_buffer.rid;
    if (!write(inserting, rid))
        refuseLostLock(rid);
    m_lockedRid = 0;
    const Row posted = readOne(rid);
    bool placed = false;
    if (!inserting && posted.rid != 0 && keyValues(posted) == keyValues(m_win[m_cur])) {
        m_win[m_cur] = posted;
        placed = true;
    }
    m_state = DataSetState::Browse;
    m_modified = false;
    // An edit of an unfiltered table does not change how many records it has.
    if (inserting || m_filtered)
        m_count = (inserting && !m_filtered && m_count >= 0) ? m_count + 1 : -1;
    if (!placed) {
        if (posted.rid != 0) {
            // The posted record stays current, followed by the records after it in order.
            QVector<Row> after = fetch(keyCondition(">"),
                                       keyValues(posted), false, Chunk);
            m_win.clear();
            m_win << posted << after;
            m_winStart = -1;
            m_winFromStart = false;
            m_winToEnd = after.size() < Chunk;
            m_bof = m_eof = false;
            m_cur = 0;
        } else {
            refresh();
        }
    }
    Q_EMIT stateChanged();
    Q_EMIT recordChanged();
    Q_EMIT dataChanged();
    if (afterPost)
        afterPost(*this);
}

void TTable::cancel()
{
    checkActive();
    if (m_state == DataSetState::Browse)
        return;
    unlockCurrent();
    m_state = DataSetState::Browse;
    m_modified = false;
    m_buffer = Row();
    Q_EMIT stateChanged();
    Q_EMIT recordChanged();
}

void TTable::deleteRecord()
{
    checkActive();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    if (m_state == DataSetState::Edit)
        cancel();
    if (m_cur < 0)
        throw DbError(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(tableName()));
    // Lock first: a delete refused by another copy's lock changes nothing. Then the
    // rules and the delete, on the record as it is now, as one unit of work.
    const qint64 rid = m_win[m_cur].rid;
    if (m_sessions) {
        m_sessions->lockRecord(m_def->sqlName, m_def->fileName, rid);
        m_lockedRid = rid;
    }
    Row doomed;
    try {
        doomed = readOne(rid);
        if (doomed.rid == 0)
            throw DbError(QStringLiteral("Record/Key deleted.\nTable: %1").arg(tableName()));
        m_win[m_cur] = doomed;
        Transaction tx(m_db);
        if (m_sessions && !m_sessions->releaseHeldLock(m_def->sqlName, rid))
            throw DbError(QStringLiteral("Record lock taken over by another user meanwhile; the record was not "
                                         "deleted.\nTable: %1")
                              .arg(tableName()));
        if (beforeDelete)
            beforeDelete(*this);
        QSqlQuery& q = m_db.execCached(
            QStringLiteral("DELETE FROM %1 WHERE %2 = ? RETURNING %2").arg(m_def->sqlName, m_def->rowIdField), {rid});
        const bool found = q.next();
        q.finish();
        if (!found)
            throw DbError(QStringLiteral("Record/Key deleted.\nTable: %1").arg(tableName()));
        tx.commit();
        m_lockedRid = 0;
    } catch (...) {
        unlockCurrent();
        throw;
    }
    m_win.remove(m_cur);
    if (m_count > 0)
        --m_count;
    if (m_cur >= m_win.size()) {
        QVector<Row> after = fetch(keyCondition(">"),
                                   keyValues(doomed), false, Chunk);
        if (!after.isEmpty()) {
            m_winStart = m_winStart >= 0 ? m_winStart + m_win.size() : -1;
            m_winFromStart = false;
            m_winToEnd = after.size() < Chunk;
            m_win = std::move(after);
            m_cur = 0;
        } else if (!m_win.isEmpty()) {
            m_cur = static_cast<int>(m_win.size()) - 1;
            m_eof = true;
        } else {
            m_cur = -1;
            last();
        }
    }
    Q_EMIT recordChanged();
    Q_EMIT dataChanged();
    if (afterDelete)
        afterDelete(*this);
}

} // namespace mw
