#pragma once
// The query component: one statement at a time, values always bound, results read
// forward. Each statement replaces the one before; nobody relies on an earlier one.
// A select's rows are all read when it opens: an open query holds nothing in the
// database, so other statements may run while it is walked and other running
// copies may write meanwhile.

#include "datastore/database.h"

#include <QDate>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace mw {

class TQuery
{
public:
    explicit TQuery(Database& db)
        : m_db(db)
    {}

    void close();
    void clear() { close(), m_lines.clear(), m_binds.clear(); }
    // Builds the statement a line at a time; lines are joined with line breaks.
    void add(const QString& line) { m_lines << line; }
    void setSql(const QString& sql) { clear(), m_lines << sql; }
    QString sql() const { return m_lines.join(QLatin1Char('\n')); }
    // Values for the "?" placeholders, in order.
    void bind(const QVariant& v) { m_binds << v; }
    void bind(const QVariantList& vs) { m_binds << vs; }

    // A select: runs it and stands on the first record.
    void open();
    bool active() const { return m_active; }
    bool eof() const { return m_eof; }
    void next();
    // Insert, update, delete: gives the number of rows changed.
    int execSql();
    int rowsAffected() const { return m_rowsAffected; }

    // The current record's fields, by name without regard to letter case. Values
    // come as stored: the typed readers below give the program's forms.
    bool hasField(const QString& name) const;
    QVariant value(const QString& name) const;
    bool isNull(const QString& name) const; // an empty text counts as null
    QString asString(const QString& name) const;
    bool asBoolean(const QString& name) const;
    int asInteger(const QString& name) const;
    QDate asDate(const QString& name) const;
    QString asDateText(const QString& name) const; // mm/dd/yyyy, or empty

    // Convenience: runs one statement with its values and gives the rows changed.
    static int run(Database& db, const QString& sql, const QVariantList& binds = {});

private:
    Database& m_db;
    QStringList m_lines;
    QVariantList m_binds;
    QSqlRecord m_record;       // the result's columns, read once per open
    QVector<QVariant> m_values; // the rows, one after the other, m_record.count() values each
    qsizetype m_at = 0;         // the current row's first value
    bool m_active = false;
    bool m_eof = true;
    int m_rowsAffected = 0;
};

} // namespace mw
