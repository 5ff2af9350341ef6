#pragma once
// The eleven tables of the database, defined once. Everything that creates,
// opens, reads or writes a table takes its layout from here.

#include <QString>
#include <QStringList>
#include <QVector>

namespace mw {

enum class FieldKind { Alpha, Logical, Date, Memo, Number, AutoInc };

struct FieldDef
{
    QString name;          // as the program spells it, e.g. "ApplicantID"
    FieldKind kind = FieldKind::Alpha;
    int width = 0;         // alpha: at most this many characters
    int sinceLayout = 1;   // the layout version that added the field (see migrations.h)
};

// A read-only field computed per record from another table.
struct LookupDef
{
    QString name;          // e.g. "PostingID"
    FieldKind kind = FieldKind::Alpha;
    int width = 0;
    QString keyField;      // field of this table, e.g. "ReqNumber"
    QString sourceTable;   // sql name of the table looked in
    QString sourceKey;     // its key field
    QString sourceField;   // the field whose value is shown
};

enum class TableId {
    UserSet,
    Settings,
    Applicant,
    Application,
    Request,
    EMail,
    Security,
    IDNum,
    JobPosting,
    Notify,
    Restrict
};
constexpr int TableCount = 11;

struct TableDef
{
    TableId id;
    QString fileName;            // "Applican.db"
    QString sqlName;             // "applicants"
    QVector<FieldDef> fields;
    QString rowIdField;          // the autoincrement field, or "rid" (hidden) when the table has none
    QStringList uniqueKey;       // primary key of the table as the program sees it (may be empty)
    QString uniqueKeyName;       // name of the index that enforces it
    QStringList order;           // the order in which the table component presents records
    QVector<LookupDef> lookups;
    QStringList secondaryIndex;  // fields of an index named "Name", when the table has one

    int fieldIndex(const QString& name) const; // case-insensitive; -1 when absent
    const FieldDef& field(int i) const { return fields.at(i); }
    bool hiddenRowId() const { return rowIdField == QLatin1String("rid"); }
};

class Schema
{
public:
    // The layout this program works with. A new database is made as layout 1 and
    // brought up by the migration steps (migrations.h); the database records its
    // layout in mw_meta. Raise it together with a new step.
    static constexpr int Version = 6;

    static const QVector<TableDef>& tables();
    static const TableDef& table(TableId id);
    // Resolves a table by file name ("Request.DB", "request.db", "Request"), sql name
    // or component base name, without regard to letter case. Null when unknown.
    static const TableDef* find(const QString& name);

    // The 31 rights of a security profile, in order (Supervisor not included).
    static const QStringList& rightNames();
};

} // namespace mw
