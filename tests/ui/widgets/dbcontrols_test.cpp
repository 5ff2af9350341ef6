// The data-aware controls: the grid model, the grid's link to the current record,
// and the field bindings, on a fresh database.

#include "widgets/dbcontrols.h"
#include "dbfixture.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <ostream>

using namespace mw;

// Readable texts in failure messages.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

class DbControlsTest : public mwtest::StoreTest
{
protected:
    static QString id(int i) { return QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0')); }
    static QString name(int i) { return QStringLiteral("NAME %1").arg(i); }
    static QString req(int r) { return QStringLiteral("R%1").arg(r, 4, 10, QLatin1Char('0')); }
    static QDate rifExpires(int i) { return QDate(2024, 1, 1).addDays(i); }

    // Applicants 1..n; even ones have RIF set.
    void addApplicants(int n)
    {
        Transaction tx(data->database());
        for (int i = 1; i <= n; ++i)
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, RIF, RIFExpires) VALUES (?, ?, ?, ?)"),
                {id(i), name(i), i % 2 == 0, rifExpires(i)});
        tx.commit();
        data->ApplicantTable.refresh();
    }
    void addRequisitions(int n)
    {
        for (int r = 1; r <= n; ++r)
            sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, PositionTitle, JobPostingID) VALUES (?, ?, ?)"),
                {req(r), QStringLiteral("TITLE %1").arg(r), QStringLiteral("GROUP%1").arg(r)});
        data->RequestionTable.refresh();
    }
    QString storedName(int i)
    {
        return scalar(QStringLiteral("SELECT Name FROM applicants WHERE ApplicantID = ?"), {id(i)}).toString();
    }
    ErrorSink sink()
    {
        return [this](const QString& message) { errors << message; };
    }
    static QString text(const QAbstractItemModel& m, int row, int column, int role = Qt::DisplayRole)
    {
        return m.data(m.index(row, column), role).toString();
    }

    QStringList errors;
};

TEST_P(DbControlsTest, GridReadsALargeTablePageByPageWithLookupColumns)
{
    addApplicants(1000);
    addRequisitions(3);
    struct Application
    {
        QString reqNumber;
        int applicant;
    };
    QVector<Application> expected;
    {
        Transaction tx(data->database());
        for (int i = 1; i <= 260; ++i) {
            expected << Application{req(1 + i % 3), i};
            sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed, DateLoaded) "
                               "VALUES (?, ?, ?, ?)"),
                {req(1 + i % 3), id(i), i % 5 == 0, QDate(2023, 12, 31).addDays(i)});
        }
        tx.commit();
    }
    data->ApplicationTable.refresh();
    std::sort(expected.begin(), expected.end(), [](const Application& a, const Application& b) {
        return a.reqNumber != b.reqNumber ? a.reqNumber < b.reqNumber : a.applicant < b.applicant;
    });

    TableModel model(&data->ApplicationTable,
                     {{QStringLiteral("ReqNumber")},
                      {QStringLiteral("ApplicantID")},
                      {QStringLiteral("Name"), QStringLiteral("Applicant")},
                      {QStringLiteral("PostingID")},
                      {QStringLiteral("Reviewed")},
                      {QStringLiteral("DateLoaded")}});
    ASSERT_EQ(model.rowCount(), 260);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("ReqNumber"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Applicant"));
    // Both sides of each page edge, out of order.
    for (int row : {259, 0, 99, 100, 101, 1, 199, 200, 150}) {
        const Application& a = expected[row];
        const int i = a.applicant;
        EXPECT_EQ(text(model, row, 0), a.reqNumber) << row;
        EXPECT_EQ(text(model, row, 1), id(i)) << row;
        EXPECT_EQ(text(model, row, 2), name(i)) << row;
        EXPECT_EQ(text(model, row, 3), QStringLiteral("GROUP%1").arg(a.reqNumber.right(1))) << row;
        EXPECT_EQ(model.data(model.index(row, 4), Qt::CheckStateRole).toInt(),
                  i % 5 == 0 ? Qt::Checked : Qt::Unchecked)
            << row;
        EXPECT_TRUE(text(model, row, 4).isEmpty()) << row;
        EXPECT_EQ(text(model, row, 5), QDate(2023, 12, 31).addDays(i).toString(QStringLiteral("MM/dd/yyyy"))) << row;
    }

    // More pages than are kept: a page read again after it was dropped is still right.
    TableModel applicants(&data->ApplicantTable, {{QStringLiteral("ApplicantID")}, {QStringLiteral("RIFExpires")}});
    ASSERT_EQ(applicants.rowCount(), 1000);
    QVector<int> rows;
    for (int row = 0; row < 1000; row += 97)
        rows << row;
    for (int k = static_cast<int>(rows.size()) - 1; k >= 0; --k)
        rows << rows[k];
    rows << 999;
    for (int row : rows) {
        EXPECT_EQ(text(applicants, row, 0), id(row + 1)) << row;
        EXPECT_EQ(text(applicants, row, 1), rifExpires(row + 1).toString(QStringLiteral("MM/dd/yyyy"))) << row;
    }
}

TEST_P(DbControlsTest, GridShowsEditsInsertsAndChangesMadeElsewhere)
{
    addApplicants(5);
    TTable& t = data->ApplicantTable;
    TableModel model(&t, {{QStringLiteral("ApplicantID")}, {QStringLiteral("Name")}, {QStringLiteral("RIF")}});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    ASSERT_TRUE(t.moveTo(2));
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("CHANGED"));
    EXPECT_EQ(text(model, 2, 1), QStringLiteral("CHANGED"));
    EXPECT_EQ(text(model, 1, 1), name(2));
    t.cancel();
    EXPECT_EQ(text(model, 2, 1), name(3));

    // A record being inserted is an extra last row until it is posted into its place.
    t.append();
    ASSERT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.currentRow(), 5);
    t.setValue(QStringLiteral("ApplicantID"), QStringLiteral("00000000"));
    t.setValue(QStringLiteral("RIF"), true);
    EXPECT_EQ(text(model, 5, 0), QStringLiteral("00000000"));
    EXPECT_EQ(model.data(model.index(5, 2), Qt::CheckStateRole).toInt(), Qt::Checked);
    t.cancel();
    EXPECT_EQ(model.rowCount(), 5);
    t.append();
    t.setValue(QStringLiteral("ApplicantID"), QStringLiteral("00000000"));
    t.post();
    ASSERT_EQ(model.rowCount(), 6);
    EXPECT_EQ(text(model, 0, 0), QStringLiteral("00000000"));
    EXPECT_EQ(text(model, 5, 0), id(5));

    sql(QStringLiteral("UPDATE applicants SET Name = ? WHERE ApplicantID = ?"), {QStringLiteral("ELSEWHERE"), id(4)});
    t.refresh();
    EXPECT_EQ(text(model, 4, 1), QStringLiteral("ELSEWHERE"));
}

TEST_P(DbControlsTest, GridSelectionAndCurrentRecordFollowEachOther)
{
    addApplicants(250);
    TTable& t = data->ApplicantTable;
    QWidget window;
    auto* view = new QTableView(&window);
    (new QVBoxLayout(&window))->addWidget(view);
    window.resize(500, 300);
    TableModel model(&t, {{QStringLiteral("ApplicantID"), QString(), 120}, {QStringLiteral("Name")}});
    bindTableView(view, &model, sink());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(view->columnWidth(0), 120);

    auto selectedRow = [&] {
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        return rows.size() == 1 && view->selectionModel()->currentIndex().row() == rows[0].row() ? rows[0].row()
                                                                                                   : -1;
    };
    auto click = [&](int row) {
        const QModelIndex index = model.index(row, 1);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    };
    EXPECT_EQ(selectedRow(), 0);
    for (int row : {7, 99, 100, 249, 0, 181}) {
        click(row);
        EXPECT_EQ(t.recNo(), row);
        EXPECT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(row + 1));
        EXPECT_EQ(selectedRow(), row);
    }
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(t.recNo(), 182);
    for (int recNo : {3, 248, 120}) {
        ASSERT_TRUE(t.moveTo(recNo));
        EXPECT_EQ(selectedRow(), recNo);
    }
    t.last();
    EXPECT_EQ(selectedRow(), 249);

    // Choosing another row while the record is being edited posts the edit and moves on.
    ASSERT_TRUE(t.moveTo(10));
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("EDITED"));
    click(40);
    QCoreApplication::processEvents();
    EXPECT_EQ(t.state(), DataSetState::Browse);
    EXPECT_EQ(t.recNo(), 40);
    EXPECT_EQ(selectedRow(), 40);
    EXPECT_EQ(storedName(11), QStringLiteral("EDITED"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_P(DbControlsTest, LineEditAndMemoEditTheRecordAndTakeTheLockAtTheFirstKey)
{
    addApplicants(3);
    TTable& t = data->ApplicantTable;
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* memo = new QPlainTextEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(memo);
    new LineEditBinding(edit, &t, QStringLiteral("Name"), sink());
    new MemoBinding(memo, &t, QStringLiteral("Comments"), sink());
    ASSERT_TRUE(t.moveTo(1));
    EXPECT_EQ(edit->text(), name(2));
    EXPECT_EQ(edit->maxLength(), 50);

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("A"));
    EXPECT_EQ(t.state(), DataSetState::Edit);
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), name(2)); // written when editing finishes
    QTest::keyClicks(edit, QStringLiteral("NN LEE"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), QStringLiteral("ANN LEE"));

    // The memo is written when it loses the focus; a change still in a control is
    // written on request, before a post from a menu that leaves the focus where it is.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("Called back."));
    EXPECT_TRUE(t.fieldByName(QStringLiteral("Comments")).isNull());
    edit->setFocus();
    EXPECT_EQ(t.value(QStringLiteral("Comments")).toString(), QStringLiteral("Called back."));
    QTest::keyClicks(edit, QStringLiteral("E"));
    EXPECT_TRUE(commitBindings(&window));
    t.post();
    EXPECT_EQ(storedName(2), QStringLiteral("ANN LEEE"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Return);
    t.post();

    // Moving shows the other record; an unwritten change does not follow.
    QTest::keyClicks(edit, QStringLiteral("X"));
    t.cancel();
    EXPECT_EQ(edit->text(), QStringLiteral("ANN LEE"));
    t.next();
    EXPECT_EQ(edit->text(), name(3));
    EXPECT_TRUE(memo->toPlainText().isEmpty());

    // A window closed with a change still in the focused memo.
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("Lost"));
    delete memo;
    EXPECT_EQ(t.state(), DataSetState::Edit);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_P(DbControlsTest, CheckBoxAndDateEditRoundTrip)
{
    addApplicants(2);
    TTable& t = data->ApplicantTable;
    QWidget window;
    auto* box = new QCheckBox(QStringLiteral("RIF"), &window);
    auto* date = new DateEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(box);
    layout->addWidget(date);
    new CheckBoxBinding(box, &t, QStringLiteral("RIF"), sink());
    new DateEditBinding(date, &t, QStringLiteral("RIFExpires"), sink());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(date->lineEdit()->text(), rifExpires(1).toString(QStringLiteral("MM/dd/yyyy")));
    EXPECT_FALSE(date->button()->isEnabled()); // no calendar given
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(t.state(), DataSetState::Edit);
    EXPECT_TRUE(t.fieldByName(QStringLiteral("RIF")).asBoolean());

    const struct
    {
        QString typed;
        QString shown;
        bool rejected;
    } cases[] = {
        {QStringLiteral("12/31/2025"), QStringLiteral("12/31/2025"), false},
        {QStringLiteral("1/2/2026"), QStringLiteral("01/02/2026"), false},
        {QStringLiteral("13/45/2020"), QStringLiteral("01/02/2026"), true},
        {QString(), QString(), false},
    };
    for (const auto& c : cases) {
        errors.clear();
        QLineEdit* line = date->lineEdit();
        line->selectAll();
        if (c.typed.isEmpty())
            QTest::keyClick(line, Qt::Key_Delete);
        else
            QTest::keyClicks(line, c.typed);
        QTest::keyClick(line, Qt::Key_Return);
        EXPECT_EQ(line->text(), c.shown) << c.typed.toStdString();
        EXPECT_EQ(t.fieldByName(QStringLiteral("RIFExpires")).asString(), c.shown) << c.typed.toStdString();
        EXPECT_EQ(errors.size(), c.rejected ? 1 : 0) << c.typed.toStdString();
    }

    // The calendar starts from the day shown, else from today, unless the window says otherwise.
    QDate preset;
    std::optional<QDate> answer = QDate(2027, 7, 4);
    date->setPicker([&](QDate p) {
        preset = p;
        return answer;
    });
    ASSERT_TRUE(date->button()->isEnabled());
    QTest::mouseClick(date->button(), Qt::LeftButton);
    EXPECT_EQ(preset, QDate::currentDate());
    EXPECT_EQ(date->lineEdit()->text(), QStringLiteral("07/04/2027"));
    answer.reset(); // cancelled
    QTest::mouseClick(date->button(), Qt::LeftButton);
    EXPECT_EQ(preset, QDate(2027, 7, 4));
    date->setPresetRule([](QDate current) { return current.addMonths(1); });
    answer = QDate(2028, 2, 29);
    QTest::mouseClick(date->button(), Qt::LeftButton);
    EXPECT_EQ(preset, QDate(2027, 8, 4));

    t.post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT RIFExpires FROM applicants WHERE ApplicantID = ?"), {id(1)}).toString(),
              QStringLiteral("2028-02-29"));
    t.next();
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(date->lineEdit()->text(), rifExpires(2).toString(QStringLiteral("MM/dd/yyyy")));
    t.prior();
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(date->lineEdit()->text(), QStringLiteral("02/29/2028"));
}

TEST_P(DbControlsTest, LookupDropDownWritesTheKeyAndLookupFieldsAreReadOnly)
{
    addApplicants(1);
    addRequisitions(3);
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES (?, ?)"), {req(2), id(1)});
    TTable& t = data->ApplicationTable;
    t.refresh();
    QWidget window;
    auto* combo = new QComboBox(&window);
    auto* posting = new QLineEdit(&window);
    auto* binding = new LookupComboBinding(combo, &t, QStringLiteral("ReqNumber"), sink());
    binding->setSource(&data->RequestionTable, QStringLiteral("ReqNumber"), QStringLiteral("PositionTitle"));
    new LineEditBinding(posting, &t, QStringLiteral("PostingID"), sink());

    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentText(), QStringLiteral("TITLE 2"));
    EXPECT_EQ(posting->text(), QStringLiteral("GROUP2"));
    EXPECT_TRUE(posting->isReadOnly());
    EXPECT_TRUE(posting->isEnabled());

    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(t.state(), DataSetState::Edit);
    EXPECT_EQ(t.value(QStringLiteral("ReqNumber")).toString(), req(3));
    EXPECT_EQ(posting->text(), QStringLiteral("GROUP3"));
    t.post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT ReqNumber FROM applications")).toString(), req(3));

    // The list follows its table.
    data->RequestionTable.append();
    data->RequestionTable.setValue(QStringLiteral("ReqNumber"), req(4));
    data->RequestionTable.setValue(QStringLiteral("PositionTitle"), QStringLiteral("TITLE 4"));
    data->RequestionTable.post();
    EXPECT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->currentText(), QStringLiteral("TITLE 3"));

    // A given list: a stored key that is not in it shows nothing.
    binding->setItems(QStringList{req(1), req(2)});
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_P(DbControlsTest, ReadOnlyBindingsAreDisabledAndChangeNothing)
{
    addApplicants(1);
    addRequisitions(2);
    TTable& t = data->ApplicantTable;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    auto* memo = new QPlainTextEdit(&window);
    auto* box = new QCheckBox(&window);
    auto* date = new DateEdit(&window);
    auto* combo = new QComboBox(&window);
    for (QWidget* w : std::initializer_list<QWidget*>{edit, memo, box, date, combo})
        layout->addWidget(w);
    date->setPicker([](QDate) { return std::optional<QDate>(QDate(2030, 1, 1)); });
    auto* list = new LookupComboBinding(combo, &t, QStringLiteral("State"), sink());
    list->setItems(QStringList{QStringLiteral("NY"), QStringLiteral("VT")});
    const QList<FieldBinding*> bindings = {new LineEditBinding(edit, &t, QStringLiteral("Name"), sink()),
                                           new MemoBinding(memo, &t, QStringLiteral("Comments"), sink()),
                                           new CheckBoxBinding(box, &t, QStringLiteral("RIF"), sink()),
                                           new DateEditBinding(date, &t, QStringLiteral("RIFExpires"), sink()),
                                           list};
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (FieldBinding* b : bindings)
        b->setReadOnly(true);

    const struct
    {
        const char* what;
        QWidget* control;
        std::function<void()> attempt;
    } attempts[] = {
        {"line edit", edit, [&] { QTest::keyClicks(edit, QStringLiteral("X")); }},
        {"memo", memo, [&] { QTest::keyClicks(memo, QStringLiteral("X")); }},
        {"check box by key", box, [&] { QTest::keyClick(box, Qt::Key_Space); }},
        {"check box by the window", box, [&] { box->setChecked(true); }},
        {"date edit", date, [&] { QTest::mouseClick(date->button(), Qt::LeftButton); date->pickDate(); }},
        {"drop-down", combo, [&] { QTest::keyClick(combo, Qt::Key_Down); }},
    };
    for (const auto& a : attempts) {
        EXPECT_FALSE(a.control->isEnabled()) << a.what;
        a.attempt();
        EXPECT_EQ(t.state(), DataSetState::Browse) << a.what;
        EXPECT_FALSE(t.modified()) << a.what;
    }
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_TRUE(date->lineEdit()->isReadOnly());
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(date->lineEdit()->text(), rifExpires(1).toString(QStringLiteral("MM/dd/yyyy")));
    EXPECT_EQ(storedName(1), name(1));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();

    // Given the right again, the control edits.
    bindings[0]->setReadOnly(false);
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_FALSE(edit->isReadOnly());
    QTest::keyClicks(edit, QStringLiteral("X"));
    EXPECT_EQ(t.state(), DataSetState::Edit);
}

TEST_P(DbControlsTest, ALockHeldElsewhereIsReportedAndTheStoredValueShown)
{
    addApplicants(2);
    TTable& t = data->ApplicantTable;
    TMerrowindData other;
    other.open(m_testDb->location());
    ASSERT_TRUE(other.ApplicantTable.findKey({id(1)}));
    other.ApplicantTable.edit();

    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* box = new QCheckBox(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(box);
    new LineEditBinding(edit, &t, QStringLiteral("Name"), sink());
    new CheckBoxBinding(box, &t, QStringLiteral("RIF"), sink());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    t.first();

    const struct
    {
        const char* what;
        std::function<void()> attempt;
    } attempts[] = {
        {"typing", [&] { QTest::keyClicks(edit, QStringLiteral("X")); QTest::keyClick(edit, Qt::Key_Return); }},
        {"checking", [&] { QTest::keyClick(box, Qt::Key_Space); }},
    };
    for (const auto& a : attempts) {
        errors.clear();
        a.attempt();
        ASSERT_EQ(errors.size(), 1) << a.what;
        EXPECT_TRUE(errors[0].contains(QStringLiteral("Record locked by another user"))) << a.what;
        EXPECT_EQ(t.state(), DataSetState::Browse) << a.what;
        EXPECT_EQ(edit->text(), name(1)) << a.what;
        EXPECT_FALSE(box->isChecked()) << a.what;
    }

    other.ApplicantTable.cancel();
    errors.clear();
    QTest::keyClicks(edit, QStringLiteral("Z"));
    EXPECT_EQ(t.state(), DataSetState::Edit);
    EXPECT_TRUE(errors.isEmpty());
}

MW_INSTANTIATE_BACKENDS(DbControlsTest);
