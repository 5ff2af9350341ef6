#include "widgets/dbcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QSet>
#include <QTableView>
#include <QToolButton>
#include <QtGlobal>

#include <climits>
#include <exception>

namespace mw {

namespace {

void report(const ErrorSink& sink, const QString& message)
{
    if (sink)
        sink(message);
    else
        qWarning("%s", qUtf8Printable(message));
}

int clampRow(qint64 n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

bool editing(const TTable* t)
{
    return t && (t->state() == DataSetState::Edit || t->state() == DataSetState::Insert);
}

int checkedField(const TTable* t, const QString& name)
{
    if (!t)
        throw DbError(QStringLiteral("No table for field '%1'").arg(name));
    const int i = t->fieldIndex(name);
    if (i < 0)
        throw DbError(QStringLiteral("%1: Field '%2' not found").arg(t->tableName(), name));
    return i;
}

// Keys compare by their text, so a number and its digits are the same key.
bool sameKey(const QVariant& a, const QVariant& b)
{
    const bool aNull = a.isNull() || a.toString().isEmpty();
    const bool bNull = b.isNull() || b.toString().isEmpty();
    if (aNull || bNull)
        return aNull == bNull;
    return a.toString() == b.toString();
}

} // namespace

// ---------------------------------------------------------------------------
// TableModel

TableModel::TableModel(TTable* table, const QVector<GridColumn>& columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(table)
    , m_columns(columns)
{
    if (!table)
        throw DbError(QStringLiteral("A grid needs a table"));
    for (const GridColumn& c : m_columns)
        m_fieldIndexes << checkedField(table, c.field);
    m_active = table->active();
    m_insertRow = m_active && table->state() == DataSetState::Insert;
    if (m_insertRow)
        storedCount();
    m_bufferRow = bufferRow();
    connect(table, &TTable::dataChanged, this, &TableModel::tableDataChanged);
    connect(table, &TTable::stateChanged, this, &TableModel::tableStateChanged);
    connect(table, &TTable::recordChanged, this, &TableModel::tableRecordChanged);
}

QString TableModel::displayText(const QVariant& value, FieldKind kind) { return TTable::textOf(value, kind); }

qint64 TableModel::storedCount() const
{
    if (!m_table || !m_active)
        return 0;
    if (m_count < 0) {
        try {
            m_count = m_table->recordCount();
        } catch (const DbError& e) {
            qWarning("%s", qUtf8Printable(e.message()));
            return 0;
        }
    }
    return m_count;
}

int TableModel::bufferRow() const
{
    if (!m_table || !m_active)
        return -1;
    switch (m_table->state()) {
    case DataSetState::Edit:
        return clampRow(m_table->recNo());
    case DataSetState::Insert:
        return m_insertRow ? clampRow(storedCount()) : -1;
    default:
        return -1;
    }
}

int TableModel::currentRow() const
{
    if (!m_table || !m_active)
        return -1;
    if (m_table->state() == DataSetState::Insert)
        return m_insertRow ? clampRow(storedCount()) : -1;
    return clampRow(m_table->recNo());
}

void TableModel::reload() { tableDataChanged(); }

void TableModel::tableDataChanged()
{
    beginResetModel();
    m_pages.clear();
    m_recent.clear();
    m_count = -1;
    m_active = m_table && m_table->active();
    m_insertRow = m_active && m_table->state() == DataSetState::Insert;
    if (m_insertRow)
        storedCount(); // the row of the new record stays where it is until it is posted
    endResetModel();
    m_bufferRow = bufferRow();
}

void TableModel::tableStateChanged()
{
    if (!m_table)
        return;
    if (m_table->active() != m_active) {
        tableDataChanged();
        return;
    }
    const bool inserting = m_table->state() == DataSetState::Insert;
    if (inserting != m_insertRow) {
        const int row = clampRow(storedCount());
        if (inserting) {
            beginInsertRows(QModelIndex(), row, row);
            m_insertRow = true;
            endInsertRows();
        } else {
            if (m_bufferRow == row)
                m_bufferRow = -1;
            beginRemoveRows(QModelIndex(), row, row);
            m_insertRow = false;
            endRemoveRows();
        }
    }
    tableRecordChanged();
}

void TableModel::tableRecordChanged()
{
    const int row = bufferRow();
    if (row != m_bufferRow) {
        const int old = m_bufferRow;
        m_bufferRow = row;
        rowChanged(old); // back to its stored values
    }
    rowChanged(m_bufferRow);
}

void TableModel::rowChanged(int row)
{
    if (row < 0 || row >= rowCount() || m_columns.isEmpty())
        return;
    Q_EMIT dataChanged(index(row, 0), index(row, static_cast<int>(m_columns.size()) - 1));
}

const QVector<QVariant>* TableModel::valuesAt(int row) const
{
    if (!m_table || !m_active || row < 0)
        return nullptr;
    if (row == m_bufferRow) {
        const Row* r = m_table->currentRow();
        return r ? &r->values : nullptr;
    }
    if (row >= storedCount())
        return nullptr;
    const qint64 page = row / PageSize;
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        QVector<Row> rows;
        try {
            rows = m_table->rows(page * PageSize, PageSize);
        } catch (const DbError& e) {
            qWarning("%s", qUtf8Printable(e.message()));
            return nullptr;
        }
        while (m_pages.size() >= MaxPages && !m_recent.isEmpty())
            m_pages.remove(m_recent.takeFirst());
        it = m_pages.insert(page, std::move(rows));
        m_recent.append(page);
    } else if (m_recent.last() != page) {
        m_recent.removeOne(page);
        m_recent.append(page);
    }
    const qint64 i = row - page * PageSize;
    if (i >= it->size())
        return nullptr;
    return &it->at(i).values;
}

int TableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return clampRow(storedCount() + (m_insertRow ? 1 : 0));
}

int TableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_table || index.column() >= m_columns.size())
        return QVariant();
    const int fi = m_fieldIndexes[index.column()];
    const FieldKind kind = m_table->fieldKind(fi);
    switch (role) {
    case Qt::TextAlignmentRole:
        if (kind == FieldKind::Logical)
            return QVariant(static_cast<int>(Qt::AlignCenter));
        if (kind == FieldKind::Number || kind == FieldKind::AutoInc)
            return QVariant(static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    case Qt::DisplayRole:
    case Qt::CheckStateRole:
        break;
    default:
        return QVariant();
    }
    if ((role == Qt::CheckStateRole) != (kind == FieldKind::Logical))
        return QVariant();
    const QVector<QVariant>* values = valuesAt(index.row());
    if (!values || fi >= values->size())
        return QVariant();
    const QVariant& v = values->at(fi);
    if (role == Qt::CheckStateRole)
        return QVariant(static_cast<int>(!v.isNull() && v.toBool() ? Qt::Checked : Qt::Unchecked));
    return displayText(v, kind);
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_columns.size()) {
        const GridColumn& c = m_columns[section];
        return c.caption.isEmpty() ? m_table ? m_table->fieldName(m_fieldIndexes[section]) : c.field : c.caption;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ---------------------------------------------------------------------------
// TableViewLink

TableViewLink::TableViewLink(QTableView* view, TableModel* model, ErrorSink onError)
    : QObject(view)
    , m_view(view)
    , m_model(model)
    , m_onError(std::move(onError))
{
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    if (QHeaderView* rows = view->verticalHeader())
        rows->hide();
    for (int i = 0; i < model->columns().size(); ++i)
        if (model->columns()[i].width > 0)
            view->setColumnWidth(i, model->columns()[i].width);

    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { rowChosen(current); });
    // The model hears the table first (it was made first), so its rows are up to date here.
    if (TTable* t = model->table()) {
        connect(t, &TTable::recordChanged, this, &TableViewLink::showCurrent);
        connect(t, &TTable::stateChanged, this, &TableViewLink::showCurrent);
    }
    connect(model, &QAbstractItemModel::modelReset, this, &TableViewLink::showCurrent);
    showCurrent();
}

TableViewLink* bindTableView(QTableView* view, TableModel* model, ErrorSink onError)
{
    return new TableViewLink(view, model, std::move(onError));
}

void TableViewLink::showCurrent()
{
    if (m_syncing || !m_view || !m_model)
        return;
    QItemSelectionModel* selection = m_view->selectionModel();
    if (!selection || selection->model() != m_model)
        return;
    const QScopedValueRollback<bool> guard(m_syncing, true);
    const int row = m_model->currentRow();
    if (row < 0 || row >= m_model->rowCount() || m_model->columnCount() == 0) {
        selection->clear();
        return;
    }
    const QModelIndex current = selection->currentIndex();
    if (current.row() == row && selection->isRowSelected(row, QModelIndex()))
        return;
    const QModelIndex target = m_model->index(row, current.isValid() ? current.column() : 0);
    selection->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->scrollTo(target);
}

void TableViewLink::rowChosen(const QModelIndex& current)
{
    if (m_syncing || !current.isValid() || !m_model)
        return;
    TTable* t = m_model->table();
    if (!t || !t->active() || current.row() == m_model->currentRow())
        return;
    if (!editing(t)) {
        moveTable(current.row());
        return;
    }
    // Leaving the record posts it, and a post reads the rows again: that waits until
    // the view has finished with the click or key that chose the row.
    const bool queued = m_pendingRow >= 0;
    m_pendingRow = current.row();
    if (!queued)
        QMetaObject::invokeMethod(this, &TableViewLink::moveToPending, Qt::QueuedConnection);
}

void TableViewLink::moveToPending()
{
    const int row = m_pendingRow;
    m_pendingRow = -1;
    if (row >= 0 && m_model && row != m_model->currentRow())
        moveTable(row);
    else
        showCurrent();
}

void TableViewLink::moveTable(int row)
{
    TTable* t = m_model ? m_model->table() : nullptr;
    if (!t)
        return;
    QString error;
    {
        const QScopedValueRollback<bool> guard(m_syncing, true);
        try {
            t->moveTo(row);
        } catch (const DbError& e) {
            error = e.message();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        }
    }
    showCurrent();
    if (!error.isEmpty()) {
        // The view may still select the row it was given once this returns.
        QMetaObject::invokeMethod(this, &TableViewLink::showCurrent, Qt::QueuedConnection);
        report(m_onError, error);
    }
}

// ---------------------------------------------------------------------------
// DateEdit

DateEdit::DateEdit(QWidget* parent)
    : QWidget(parent)
    , m_edit(new QLineEdit(this))
    , m_button(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    m_edit->setMaxLength(10);
    m_button->setText(QStringLiteral("..."));
    m_button->setToolTip(QStringLiteral("Select Date"));
    m_button->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(m_edit);
    connect(m_button, &QToolButton::clicked, this, &DateEdit::pickDate);
    updateButton();
}

QDate DateEdit::date() const
{
    try {
        return TTable::convertInput(m_edit->text(), FieldKind::Date, 0).toDate();
    } catch (const DbError&) {
        return QDate();
    }
}

void DateEdit::setDate(const QDate& d)
{
    m_edit->setText(d.isValid() ? d.toString(QStringLiteral("MM/dd/yyyy")) : QString());
}

void DateEdit::setPicker(Picker picker)
{
    m_picker = std::move(picker);
    updateButton();
}

QDate DateEdit::preset() const
{
    const QDate current = date();
    if (m_preset)
        return m_preset(current);
    return current.isValid() ? current : QDate::currentDate();
}

void DateEdit::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    m_edit->setReadOnly(readOnly);
    updateButton();
}

void DateEdit::updateButton() { m_button->setEnabled(!m_readOnly && m_picker); }

void DateEdit::pickDate()
{
    if (m_readOnly || !m_picker)
        return;
    const std::optional<QDate> chosen = m_picker(preset());
    if (!chosen || !chosen->isValid())
        return;
    setDate(*chosen);
    Q_EMIT datePicked(*chosen);
}

// ---------------------------------------------------------------------------
// FieldBinding

FieldBinding::FieldBinding(TTable* table, const QString& fieldName, QWidget* control, ErrorSink onError)
    : QObject(control)
    , m_table(table)
    , m_fieldIndex(checkedField(table, fieldName))
    , m_control(control)
    , m_onError(std::move(onError))
{
    connect(table, &TTable::recordChanged, this, &FieldBinding::tableChanged);
    connect(table, &TTable::stateChanged, this, &FieldBinding::tableChanged);
}

QString FieldBinding::fieldName() const { return m_table ? m_table->fieldName(m_fieldIndex) : QString(); }

bool FieldBinding::writable() const { return m_table && !m_readOnly && !field().isLookup(); }

bool FieldBinding::hasRecord() const { return m_table && m_table->active() && m_table->hasRecord(); }

void FieldBinding::start()
{
    applyReadOnly(!writable(), m_readOnly);
    show();
}

void FieldBinding::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (readOnly)
        m_dirty = false;
    applyReadOnly(!writable(), m_readOnly);
    show();
}

void FieldBinding::refresh()
{
    m_dirty = false;
    show();
}

void FieldBinding::show()
{
    const QScopedValueRollback<bool> guard(m_showing, true);
    showValue();
}

void FieldBinding::tableChanged()
{
    // A change the user is making stays while the record is being edited; when the
    // table leaves the record or the edit ends, the control shows what is stored.
    if (m_dirty && editing(m_table))
        return;
    m_dirty = false;
    show();
}

void FieldBinding::fail(const QString& message)
{
    m_dirty = false;
    show();
    const QScopedValueRollback<bool> guard(m_reporting, true);
    report(m_onError, message);
}

bool FieldBinding::beginEdit()
{
    if (!writable()) {
        m_dirty = false;
        show();
        return false;
    }
    if (editing(m_table))
        return true;
    try {
        m_table->edit();
        return true;
    } catch (const DbError& e) {
        fail(e.message());
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

bool FieldBinding::write(const QVariant& value)
{
    m_dirty = true; // the edit about to begin must not show the stored value over the new one
    if (!beginEdit())
        return false;
    try {
        field().setValue(value);
    } catch (const DbError& e) {
        fail(e.message());
        return false;
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
        return false;
    }
    m_dirty = false;
    show(); // as the field took it: a day in full, a text cut to its width
    return true;
}

bool commitBindings(QObject* window)
{
    bool ok = true;
    if (!window)
        return ok;
    const QList<FieldBinding*> bindings = window->findChildren<FieldBinding*>();
    for (FieldBinding* b : bindings)
        ok = b->commit() && ok;
    return ok;
}

// ---------------------------------------------------------------------------
// LineEditBinding

LineEditBinding::LineEditBinding(QLineEdit* edit, TTable* table, const QString& fieldName, ErrorSink onError)
    : FieldBinding(table, fieldName, edit, std::move(onError))
    , m_edit(edit)
{
    const FieldKind kind = table->fieldKind(fieldIndex());
    const int nf = static_cast<int>(table->def().fields.size());
    if (fieldIndex() < nf && kind == FieldKind::Alpha && table->def().fields[fieldIndex()].width > 0)
        edit->setMaxLength(table->def().fields[fieldIndex()].width);
    else if (kind == FieldKind::Date)
        edit->setMaxLength(10);
    connect(edit, &QLineEdit::textEdited, this, &LineEditBinding::edited);
    connect(edit, &QLineEdit::editingFinished, this, &LineEditBinding::commit);
    start();
}

void LineEditBinding::showValue()
{
    const QString text = hasRecord() ? field().asString() : QString();
    if (m_edit->text() != text)
        m_edit->setText(text);
}

void LineEditBinding::applyReadOnly(bool readOnly, bool disabled)
{
    m_edit->setReadOnly(readOnly);
    m_edit->setEnabled(!disabled);
}

void LineEditBinding::edited()
{
    if (busy() || m_dirty)
        return;
    m_dirty = true;
    beginEdit();
}

bool LineEditBinding::commit()
{
    if (busy() || !m_dirty)
        return true;
    return write(m_edit->text());
}

// ---------------------------------------------------------------------------
// MemoBinding

MemoBinding::MemoBinding(QPlainTextEdit* edit, TTable* table, const QString& fieldName, ErrorSink onError)
    : FieldBinding(table, fieldName, edit, std::move(onError))
    , m_edit(edit)
{
    connect(edit, &QPlainTextEdit::textChanged, this, &MemoBinding::changed);
    edit->installEventFilter(this);
    start();
}

void MemoBinding::showValue()
{
    const QString text = hasRecord() ? field().asString() : QString();
    if (m_edit->toPlainText() != text)
        m_edit->setPlainText(text);
}

void MemoBinding::applyReadOnly(bool readOnly, bool disabled)
{
    m_edit->setReadOnly(readOnly);
    m_edit->setEnabled(!disabled);
}

void MemoBinding::changed()
{
    if (busy() || m_dirty)
        return;
    m_dirty = true;
    beginEdit();
}

bool MemoBinding::commit()
{
    if (busy() || !m_dirty)
        return true;
    return write(m_edit->toPlainText());
}

bool MemoBinding::eventFilter(QObject* watched, QEvent* event)
{
    // While the edit is being destroyed it is no longer a QPlainTextEdit, and there is
    // nothing left to read.
    if (event->type() == QEvent::FocusOut && qobject_cast<QPlainTextEdit*>(watched))
        commit();
    return FieldBinding::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// CheckBoxBinding

CheckBoxBinding::CheckBoxBinding(QCheckBox* box, TTable* table, const QString& fieldName, ErrorSink onError)
    : FieldBinding(table, fieldName, box, std::move(onError))
    , m_box(box)
    , m_focusPolicy(box->focusPolicy())
{
    connect(box, &QCheckBox::toggled, this, &CheckBoxBinding::toggled);
    start();
}

void CheckBoxBinding::showValue() { m_box->setChecked(hasRecord() && field().asBoolean()); }

void CheckBoxBinding::applyReadOnly(bool readOnly, bool disabled)
{
    // A check box cannot be read-only by itself: it takes no clicks and no focus.
    m_box->setAttribute(Qt::WA_TransparentForMouseEvents, readOnly);
    m_box->setFocusPolicy(readOnly ? Qt::NoFocus : m_focusPolicy);
    m_box->setEnabled(!disabled);
}

void CheckBoxBinding::toggled(bool on)
{
    if (busy())
        return;
    if (!writable()) {
        show();
        return;
    }
    write(on);
}

// ---------------------------------------------------------------------------
// DateEditBinding

DateEditBinding::DateEditBinding(DateEdit* edit, TTable* table, const QString& fieldName, ErrorSink onError)
    : FieldBinding(table, fieldName, edit, std::move(onError))
    , m_edit(edit)
{
    connect(edit->lineEdit(), &QLineEdit::textEdited, this, &DateEditBinding::edited);
    connect(edit->lineEdit(), &QLineEdit::editingFinished, this, &DateEditBinding::commit);
    connect(edit, &DateEdit::datePicked, this, &DateEditBinding::picked);
    start();
}

void DateEditBinding::showValue()
{
    const QString text = hasRecord() ? field().asString() : QString();
    if (m_edit->lineEdit()->text() != text)
        m_edit->lineEdit()->setText(text);
}

void DateEditBinding::applyReadOnly(bool readOnly, bool disabled)
{
    m_edit->setReadOnly(readOnly);
    m_edit->setEnabled(!disabled);
}

void DateEditBinding::edited()
{
    if (busy() || m_dirty)
        return;
    m_dirty = true;
    beginEdit();
}

bool DateEditBinding::commit()
{
    if (busy() || !m_dirty)
        return true;
    return write(m_edit->lineEdit()->text());
}

void DateEditBinding::picked(const QDate& date)
{
    if (busy())
        return;
    if (!writable()) {
        show();
        return;
    }
    write(date);
}

// ---------------------------------------------------------------------------
// LookupComboBinding

LookupComboBinding::LookupComboBinding(QComboBox* combo, TTable* table, const QString& fieldName,
                                       ErrorSink onError)
    : FieldBinding(table, fieldName, combo, std::move(onError))
    , m_combo(combo)
{
    connect(combo, &QComboBox::activated, this, &LookupComboBinding::chosen);
    start();
}

void LookupComboBinding::setSource(TTable* source, const QString& keyField, const QString& displayField)
{
    checkedField(source, keyField);
    if (!displayField.isEmpty())
        checkedField(source, displayField);
    disconnect(m_sourceConnection);
    m_source = source;
    m_keyField = keyField;
    m_displayField = displayField;
    m_sourceConnection = connect(source, &TTable::dataChanged, this, &LookupComboBinding::reloadItems);
    reloadItems();
}

void LookupComboBinding::setItems(const QVector<LookupItem>& items)
{
    disconnect(m_sourceConnection);
    m_source = nullptr;
    fill(items);
}

void LookupComboBinding::setItems(const QStringList& keys)
{
    QVector<LookupItem> items;
    for (const QString& k : keys)
        items << LookupItem{k, k};
    setItems(items);
}

void LookupComboBinding::reloadItems()
{
    if (!m_source)
        return;
    QVector<LookupItem> items;
    if (m_source->active()) {
        const int keyIndex = m_source->fieldIndex(m_keyField);
        const int textIndex = m_displayField.isEmpty() ? keyIndex : m_source->fieldIndex(m_displayField);
        const FieldKind keyKind = m_source->fieldKind(keyIndex);
        const FieldKind textKind = m_source->fieldKind(textIndex);
        QSet<QString> seen;
        constexpr int Page = 500;
        try {
            for (qint64 offset = 0;; offset += Page) {
                const QVector<Row> rows = m_source->rows(offset, Page);
                for (const Row& r : rows) {
                    const QString key = TableModel::displayText(r.values.value(keyIndex), keyKind);
                    if (key.isEmpty() || seen.contains(key))
                        continue;
                    seen.insert(key);
                    items << LookupItem{TableModel::displayText(r.values.value(textIndex), textKind),
                                        r.values.value(keyIndex)};
                }
                if (rows.size() < Page)
                    break;
            }
        } catch (const DbError& e) {
            report(nullptr, e.message());
        }
    }
    fill(items);
}

void LookupComboBinding::fill(const QVector<LookupItem>& items)
{
    {
        const QSignalBlocker block(m_combo);
        m_combo->clear();
        for (const LookupItem& item : items)
            m_combo->addItem(item.text, item.key);
    }
    refresh();
}

void LookupComboBinding::showValue()
{
    const QSignalBlocker block(m_combo);
    const QVariant key = hasRecord() ? field().value() : QVariant();
    int found = -1;
    for (int i = 0; i < m_combo->count() && found < 0; ++i)
        if (sameKey(m_combo->itemData(i), key))
            found = i;
    if (found < 0 && !key.isNull() && m_combo->isEditable()) {
        m_combo->setCurrentIndex(-1);
        m_combo->setEditText(field().asString());
        return;
    }
    m_combo->setCurrentIndex(found);
}

void LookupComboBinding::applyReadOnly(bool readOnly, bool disabled)
{
    // A drop-down list has no read-only state of its own.
    m_combo->setEnabled(!readOnly && !disabled);
}

void LookupComboBinding::chosen(int index)
{
    if (busy() || index < 0)
        return;
    if (!writable()) {
        show();
        return;
    }
    const QVariant key = m_combo->itemData(index);
    if (hasRecord() && sameKey(key, field().value()))
        return;
    write(key);
}

} // namespace mw
