#pragma once
// The data-aware controls the windows are made of: a grid model over a table
// component, the link that keeps a grid's selection and the table's current record
// together, and bindings that tie single controls to one field of the current record.
//
// A binding shows the field of the current record and follows the table as it moves
// or changes state. The first change the user makes puts the table into editing (so
// the record lock is taken at once); the value itself is written when the control
// finishes editing. A failure (a lock held by another user, a value the field does not
// take) puts the stored value back into the control and goes to the window's error sink.

#include "datastore/table.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTableView>
#include <QVector>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

namespace mw {

// Where a control reports what went wrong; the window shows it to the user. Without
// one the message goes to the log.
using ErrorSink = std::function<void(const QString& message)>;

// ---------------------------------------------------------------------------
// Grids

// One column of a grid: the field it shows, its header, its width in pixels (0: the
// view's default).
struct GridColumn
{
    GridColumn(const QString& fieldName, const QString& header = QString(), int pixels = 0)
        : field(fieldName)
        , caption(header)
        , width(pixels)
    {}
    QString field;
    QString caption; // empty: the field's name
    int width = 0;
};

// The records of a table for a view. Rows are read a page at a time and only a few
// pages are kept, so a table of a million records costs no more than a small one.
// Texts are as the fields give them (days mm/dd/yyyy); flags are check marks. The
// record being edited shows its unposted values; a record being inserted shows as an
// extra last row.
class TableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int PageSize = 100;
    static constexpr int MaxPages = 8;

    // Raises DbError naming a field the table does not have.
    TableModel(TTable* table, const QVector<GridColumn>& columns, QObject* parent = nullptr);

    TTable* table() const { return m_table; }
    const QVector<GridColumn>& columns() const { return m_columns; }
    int fieldIndexAt(int column) const { return m_fieldIndexes.value(column, -1); }
    // The row of the table's current record; -1 without one.
    int currentRow() const;
    // Forgets what was read and shows the table afresh.
    void reload();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // A value as a grid or an edit shows it: days mm/dd/yyyy, flags True/False.
    static QString displayText(const QVariant& value, FieldKind kind);

private:
    void tableDataChanged();
    void tableStateChanged();
    void tableRecordChanged();
    qint64 storedCount() const;
    const QVector<QVariant>* valuesAt(int row) const;
    int bufferRow() const; // the row that shows the edit buffer; -1 when none
    void rowChanged(int row);

    QPointer<TTable> m_table;
    QVector<GridColumn> m_columns;
    QVector<int> m_fieldIndexes;
    mutable qint64 m_count = -1;
    mutable QHash<qint64, QVector<Row>> m_pages;
    mutable QList<qint64> m_recent; // pages, most recently used last
    bool m_active = false;
    bool m_insertRow = false;
    int m_bufferRow = -1;
};

// Keeps a view's selected row and the table's current record together: choosing a
// row moves the table there; moving the table selects its row. Lives as long as the
// view. Whole rows, one at a time, read-only cells.
class TableViewLink : public QObject
{
    Q_OBJECT
public:
    TableViewLink(QTableView* view, TableModel* model, ErrorSink onError = {});

    QTableView* view() const { return m_view; }
    TableModel* model() const { return m_model; }
    void setErrorSink(ErrorSink onError) { m_onError = std::move(onError); }
    // Selects the row of the table's current record.
    void showCurrent();

private:
    void rowChosen(const QModelIndex& current);
    void moveTable(int row);
    void moveToPending();

    QPointer<QTableView> m_view;
    QPointer<TableModel> m_model;
    ErrorSink m_onError;
    bool m_syncing = false;
    int m_pendingRow = -1;
};

// Sets the view up for the model and links the two.
TableViewLink* bindTableView(QTableView* view, TableModel* model, ErrorSink onError = {});

// ---------------------------------------------------------------------------
// A day typed as mm/dd/yyyy, with a "..." button that offers a calendar.

class DateEdit : public QWidget
{
    Q_OBJECT
public:
    // The calendar: given the day to start from, the chosen day or nothing.
    using Picker = std::function<std::optional<QDate>(QDate preset)>;
    // Which day the calendar starts from, given the day in the edit (invalid when empty).
    using PresetRule = std::function<QDate(QDate current)>;

    explicit DateEdit(QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return m_edit; }
    QToolButton* button() const { return m_button; }

    QDate date() const; // invalid when empty or not a day
    void setDate(const QDate& d); // an invalid date empties the edit

    // Without a picker the button is disabled.
    void setPicker(Picker picker);
    // The default starts from the day in the edit, else from today.
    void setPresetRule(PresetRule rule) { m_preset = std::move(rule); }
    QDate preset() const;

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }

    // What the button does: asks the picker and, when a day is chosen, shows it.
    void pickDate();

Q_SIGNALS:
    // A day was chosen with the calendar (already shown in the edit).
    void datePicked(const QDate& date);

private:
    void updateButton();

    QLineEdit* m_edit;
    QToolButton* m_button;
    Picker m_picker;
    PresetRule m_preset;
    bool m_readOnly = false;
};

// ---------------------------------------------------------------------------
// Bindings of single controls to a field of the table's current record. A binding is
// a child of its control and lives as long as the control.

class FieldBinding : public QObject
{
    Q_OBJECT
public:
    TTable* table() const { return m_table; }
    int fieldIndex() const { return m_fieldIndex; }
    QString fieldName() const;
    QWidget* control() const { return m_control; }

    // A read-only binding disables its control, makes it read-only and never edits
    // the record. Lookup fields are always read-only (their control stays enabled).
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }
    bool writable() const;

    void setErrorSink(ErrorSink onError) { m_onError = std::move(onError); }

    // Shows the field of the current record, dropping an unwritten change.
    void refresh();
    // Writes an unwritten change now (before posting from a menu or a shortcut that
    // leaves the focus where it is). False when it failed (and was reported).
    virtual bool commit() { return true; }

protected:
    // Raises DbError naming a field the table does not have.
    FieldBinding(TTable* table, const QString& fieldName, QWidget* control, ErrorSink onError);

    // Puts the value of the current record into the control.
    virtual void showValue() = 0;
    // Makes the control read-only (no change possible) and, when disabled, grey.
    virtual void applyReadOnly(bool readOnly, bool disabled) = 0;
    // Called by each kind of binding once its control is set up.
    void start();

    TField field() const { return TField(m_table, m_fieldIndex); }
    bool hasRecord() const;
    // The user began to change the control: the table goes into editing. On failure the
    // stored value is shown again and the error reported.
    bool beginEdit();
    // Writes the control's value into the record, editing first when needed.
    bool write(const QVariant& value);
    void fail(const QString& message);
    // Shows the stored value (without taking the control's signals for user changes).
    void show();
    bool busy() const { return m_showing || m_reporting; }

    bool m_dirty = false; // the control holds a change not yet written

private:
    void tableChanged();

    QPointer<TTable> m_table;
    int m_fieldIndex;
    QWidget* m_control;
    ErrorSink m_onError;
    bool m_readOnly = false;
    bool m_showing = false;
    bool m_reporting = false;
};

// A line edit and a text, number or date field (days typed as mm/dd/yyyy).
class LineEditBinding : public FieldBinding
{
    Q_OBJECT
public:
    LineEditBinding(QLineEdit* edit, TTable* table, const QString& fieldName, ErrorSink onError = {});
    QLineEdit* lineEdit() const { return m_edit; }
    bool commit() override;

protected:
    void showValue() override;
    void applyReadOnly(bool readOnly, bool disabled) override;

private:
    void edited();
    QLineEdit* m_edit;
};

// A plain text edit and a memo field; written when the edit loses the focus.
class MemoBinding : public FieldBinding
{
    Q_OBJECT
public:
    MemoBinding(QPlainTextEdit* edit, TTable* table, const QString& fieldName, ErrorSink onError = {});
    QPlainTextEdit* textEdit() const { return m_edit; }
    bool commit() override;

protected:
    void showValue() override;
    void applyReadOnly(bool readOnly, bool disabled) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void changed();
    QPlainTextEdit* m_edit;
};

// A check box and a logical field; written when it is toggled.
class CheckBoxBinding : public FieldBinding
{
    Q_OBJECT
public:
    CheckBoxBinding(QCheckBox* box, TTable* table, const QString& fieldName, ErrorSink onError = {});
    QCheckBox* checkBox() const { return m_box; }

protected:
    void showValue() override;
    void applyReadOnly(bool readOnly, bool disabled) override;

private:
    void toggled(bool on);
    QCheckBox* m_box;
    Qt::FocusPolicy m_focusPolicy;
};

// A date edit and a date field: typed, or chosen with the calendar button.
class DateEditBinding : public FieldBinding
{
    Q_OBJECT
public:
    DateEditBinding(DateEdit* edit, TTable* table, const QString& fieldName, ErrorSink onError = {});
    DateEdit* dateEdit() const { return m_edit; }
    bool commit() override;

protected:
    void showValue() override;
    void applyReadOnly(bool readOnly, bool disabled) override;

private:
    void edited();
    void picked(const QDate& date);
    DateEdit* m_edit;
};

// One entry of a drop-down list: what it shows and the key written into the field.
struct LookupItem
{
    QString text;
    QVariant key;
};

// A drop-down list and a field that holds a key: the list comes from a column of
// another table (read again when that table changes) or is given. Choosing an entry
// writes its key.
class LookupComboBinding : public FieldBinding
{
    Q_OBJECT
public:
    LookupComboBinding(QComboBox* combo, TTable* table, const QString& fieldName, ErrorSink onError = {});
    QComboBox* comboBox() const { return m_combo; }

    // Keys from keyField of the source table, shown as displayField (empty: the key).
    void setSource(TTable* source, const QString& keyField, const QString& displayField = QString());
    void setItems(const QVector<LookupItem>& items);
    void setItems(const QStringList& keys); // each shown as itself
    void reloadItems();

protected:
    void showValue() override;
    void applyReadOnly(bool readOnly, bool disabled) override;

private:
    void chosen(int index);
    void fill(const QVector<LookupItem>& items);

    QComboBox* m_combo;
    QPointer<TTable> m_source;
    QString m_keyField;
    QString m_displayField;
    QMetaObject::Connection m_sourceConnection;
};

// Writes every unwritten change of the bindings inside a window. False when one failed.
bool commitBindings(QObject* window);

} // namespace mw
