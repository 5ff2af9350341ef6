#pragma once
// The table component: one table of the database presented as an ordered list of
// records with a current record, browse/edit/insert states, rules that run before
// and after edits, and an optional filter. Records are fetched a window at a
// time, so a table of a million records costs no more to show than a small one.

#include "datastore/database.h"
#include "datastore/schema.h"

#include <QDate>
#include <QObject>
#include <QVariant>
#include <QVector>

#include <functional>

namespace mw {

class SessionRegistry;
class TTable;

enum class DataSetState { Inactive, Browse, Edit, Insert };

// One record as read: the fields of the table in layout order, then the lookups.
struct Row
{
    qint64 rid = 0;
    QVector<QVariant> values;
};

// A filter as SQL over the table's own columns, with its bound values.
struct SqlFilter
{
    QString where;       // empty: every record passes
    QVariantList binds;
    bool nothing = false; // no record passes
    // The same filter written for counting, where another form counts faster.
    QString countWhere;
    QVariantList countBinds;
    static SqlFilter none()
    {
        SqlFilter f;
        f.nothing = true;
        return f;
    }
};

// Access to one field of a table's current record.
class TField
{
public:
    TField(TTable* table, int index)
        : m_table(table)
        , m_index(index)
    {}
    QString name() const;
    FieldKind kind() const;
    bool isLookup() const;

    QVariant value() const;
    bool isNull() const; // empty texts count as null
    QString asString() const; // days as mm/dd/yyyy, flags as True/False
    bool asBoolean() const;   // empty is false
    int asInteger() const;    // empty is 0
    QDate asDate() const;     // empty is an invalid date

    void setValue(const QVariant& v); // texts "mm/dd/yyyy" and "True"/"False" are understood
    void setAsString(const QString& s) { setValue(QVariant(s)); }
    void clear() { setValue(QVariant()); }

private:
    TTable* m_table;
    int m_index;
};

class TTable : public QObject
{
    Q_OBJECT
public:
    using Event = std::function<void(TTable&)>;

    TTable(Database& db, TableId id, QObject* parent = nullptr);
    ~TTable() override;

    const TableDef& def() const { return *m_def; }
    QString tableName() const { return m_def->fileName; }
    void setSessions(SessionRegistry* sessions) { m_sessions = sessions; }

    void open();
    void close();
    bool active() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }

    // Navigation. An edit in progress is posted first. first() reads again, and
    // next() on the last record read looks past it, so records other copies added
    // meanwhile show up.
    void first();
    void last();
    void next();
    void prior();
    void moveBy(qint64 distance);
    bool moveTo(qint64 recNo); // 0-based; false when out of range
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty();
    bool hasRecord() const { return m_cur >= 0 || m_state == DataSetState::Insert; }
    qint64 recNo();        // 0-based position of the current record; -1 without one
    qint64 recordCount();  // records that pass the filter
    // Goes to the first record (in order) whose fields equal the values.
    bool locate(const QStringList& fields, const QVariantList& values, bool caseInsensitive = false);
    bool findKey(const QVariantList& keyValues); // by the table's key
    // Re-reads from the database, staying on the current record where it still exists.
    void refresh();

    // Bookmarks are row identities: they survive refreshes and reordering.
    qint64 bookmark() const;
    bool gotoBookmark(qint64 bookmark);

    // Filtering. The provider is asked each time the records are read.
    void setFilterProvider(std::function<SqlFilter()> provider) { m_filterProvider = std::move(provider); }
    void setFiltered(bool on);
    bool filtered() const { return m_filtered; }

    // Editing.
    // Locks the current record for this copy (DbError "Record locked by another
    // user." when another running copy has it), reads it as it is now and runs
    // beforeEdit on that; a failing rule lets the lock go.
    void edit();
    void insert();
    void append() { insert(); }
    // Writes the record being edited or inserted. An edit is written only while this
    // copy still holds the record's lock, which is let go in the same transaction.
    // On a failure raises DbError and the record stays in edit or insert state
    // with what was typed: a before-post rule, "Key violation.", "Record/Key
    // deleted." when another copy deleted the record meanwhile, "Record lock
    // taken over by another user meanwhile; the record was not saved." when another
    // copy took this one for closed (the fields not typed in then show the record
    // as it is now). Posting again takes the lock again when it is free ("Record
    // changed by another user meanwhile; ..." once more when the record changed
    // again meanwhile) and writes.
    void post();
    void cancel();
    // Locks the record, then runs beforeDelete and deletes it in one transaction:
    // a delete refused by another copy's lock, or failing, changes nothing.
    void deleteRecord();
    bool modified() const { return m_modified; }

    int fieldCount() const; // fields and lookups
    int fieldIndex(const QString& name) const; // case-insensitive, lookups included; -1 when absent
    TField fieldByName(const QString& name); // raises DbError for an unknown field
    TField field(int index) { return TField(this, index); }
    QString fieldName(int index) const;
    FieldKind fieldKind(int index) const;

    QVariant value(const QString& name) { return fieldByName(name).value(); }
    void setValue(const QString& name, const QVariant& v) { fieldByName(name).setValue(v); }

    // Reads rows for a view without moving the current record.
    QVector<Row> rows(qint64 offset, int limit);
    const Row* currentRow() const;

    // Rules. A rule that raises DbError stops what it ran before.
    Event beforeEdit, beforeInsert, onNewRecord, beforePost, afterPost, beforeDelete, afterDelete, afterScroll;
    // Runs inside a post's transaction once the record is written (state() still
    // tells an edit from an insert): what it changes commits with the record or
    // not at all.
    Event onWrite;

    // Converts a value read from the database into the program's form for a field kind.
    static QVariant fromStorage(const QVariant& v, FieldKind kind);
    static QVariant convertInput(const QVariant& v, FieldKind kind, int width);
    // A value as text: days as mm/dd/yyyy, flags as True/False, empty as "".
    static QString textOf(const QVariant& v, FieldKind kind);

Q_SIGNALS:
    void stateChanged();   // browse/edit/insert/inactive
    void recordChanged();  // the current record moved, or its values changed
    void dataChanged();    // the set of records may have changed (post, delete, refresh, filter)

    friend class TField;

private:
    QString selectList() const;
    SqlFilter currentFilter() const;
    QString orderBy(bool descending) const;
    QString keyTuple() const;
    QString keyCondition(const char* op) const; // the order key compared with bound values
    QVariantList keyValues(const Row& r) const;
    QVector<Row> fetch(const QString& extraWhere, const QVariantList& extraBinds, bool descending, int limit,
                       qint64 offset = 0);
    Row readRow(const QSqlQuery& q) const;
    Row readOne(qint64 rid);
    void loadFrom(const Row& anchor, bool inclusive);
    void checkActive() const;
    void checkBrowse();
    void setCurrentIndex(int i);
    void invalidate();
    void unlockCurrent();
    void regainLock();
    // Inserts or updates the record from the buffer in one transaction; false,
    // with nothing written, when the lock of the record edited is no longer ours.
    bool write(bool inserting, qint64& rid);
    [[noreturn]] void refuseLostLock(qint64 rid);
    void rebase(const Row& fresh);
    static bool sameValue(const QVariant& a, const QVariant& b);
    void refreshLookups();
    QVariant bufferValue(int index) const;
    void setBufferValue(int index, const QVariant& v);

    Database& m_db;
    const TableDef* m_def;
    SessionRegistry* m_sessions = nullptr;
    DataSetState m_state = DataSetState::Inactive;
    QVector<int> m_orderFields; // field indexes of the order; -1 is the hidden row id
    bool m_orderUnique = false;

    QVector<Row> m_win;       // a window of consecutive records
    qint64 m_winStart = -1;   // position of its first record; -1 when unknown
    bool m_winFromStart = false; // the window begins with the first record
    bool m_winToEnd = false;     // the window ends with the last record
    int m_cur = -1;           // the current record within the window
    bool m_bof = true;
    bool m_eof = true;
    qint64 m_count = -1;

    Row m_buffer; // the record being edited or inserted
    bool m_modified = false;
    qint64 m_lockedRid = 0;

    bool m_filtered = false;
    std::function<SqlFilter()> m_filterProvider;
};

// The link between a table and the windows that show it.
class TDataSource
{
public:
    explicit TDataSource(TTable* table = nullptr)
        : m_table(table)
    {}
    TTable* dataSet() const { return m_table; }
    void setDataSet(TTable* t) { m_table = t; }

private:
    TTable* m_table;
};

QString stateName(DataSetState s);

} // namespace mw
