// The small dialogs: the requisition picker and what it reads, "Select Date", the
// logged-in users, and the user spoken to with real message boxes.

#include "shell/appactivityform.h"
#include "shell/dialogtalk.h"
#include "shell/loggedinusersform.h"
#include "shell/messageform.h"
#include "access/reqpicker.h"
#include "shell/scanacctform.h"
#include "dbfixture.h"
#include "findchild.h"
#include "scriptedtalk.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace mw;
using mwtest::child;

namespace {

QStringList strings(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* s : items)
        out << QLatin1String(s);
    return out;
}

} // namespace

// Requisitions in three posting groups, a restricted user for two of them and a
// restricted user with none.
class DialogsTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID) VALUES "
                           "(?, ?), (?, ?), (?, ?), (?, ?), (?, ?)"),
            {QStringLiteral("R300"), QStringLiteral("FIRE"), QStringLiteral("R100"), QStringLiteral("PARKS"),
             QString(QLatin1String("")), QStringLiteral("PARKS"), QStringLiteral("R200"), QStringLiteral("IT"),
             QStringLiteral("R050"), QVariant()});
        sql(QStringLiteral("INSERT INTO users (UserID, UserName, SecurityID, Restricted) VALUES (?, ?, ?, ?), "
                           "(?, ?, ?, ?)"),
            {QStringLiteral("CLERK"), QStringLiteral("Parks Clerk"), 0, true, QStringLiteral("LONER"),
             QStringLiteral("No Groups"), 0, true});
        sql(QStringLiteral("INSERT INTO restrict_list (UserID, JobPostingID) VALUES (?, ?), (?, ?)"),
            {QStringLiteral("CLERK"), QStringLiteral("IT"), QStringLiteral("CLERK"), QStringLiteral("PARKS")});
    }

    void logOn(const QString& user) { ASSERT_TRUE(data->CheckUser(user, QString(), true)) << user.toStdString(); }
};

MW_INSTANTIATE_BACKENDS(DialogsTest);

TEST_P(DialogsTest, PickerOffersAndAcceptsOnlyTheNumbersTheUserMaySee)
{
    const struct
    {
        const char* user;
        QStringList offered;
        QStringList refused;
    } cases[] = {
        {"supervisor", strings({"R050", "R100", "R200", "R300"}), strings({"r100", "R10", "R1000", " R100", ""})},
        {"clerk", strings({"R100", "R200"}), strings({"R300", "R050", "r200", ""})},
        {"loner", {}, strings({"R050", "R100", "R200", "R300", "-1"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        logOn(QLatin1String(c.user));
        EXPECT_EQ(pickerRequisitionNumbers(*data), c.offered);
        for (const QString& number : c.offered)
            EXPECT_TRUE(requisitionPermitted(*data, number)) << number.toStdString();
        for (const QString& number : c.refused)
            EXPECT_FALSE(requisitionPermitted(*data, number)) << number.toStdString();
    }
}

TEST_P(DialogsTest, LoggedInUsersNameEachRunningCopy)
{
    ASSERT_EQ(loggedInUserLines(*data), strings({"SUPERVISOR (Supervisor)"}));

    sql(QStringLiteral("INSERT INTO users (UserID, SecurityID) VALUES (?, ?)"), {QStringLiteral("NONAME"), 0});
    TMerrowindData anonymous;
    anonymous.open(m_testDb->location());
    TMerrowindData noName;
    noName.open(m_testDb->location());
    noName.ReadSettings();
    ASSERT_TRUE(noName.CheckUser(QStringLiteral("noname"), QString(), true));

    const QStringList expected = strings({"SUPERVISOR (Supervisor)", "User name: Unknown", "User name: NONAME"});
    EXPECT_EQ(loggedInUserLines(*data), expected);
    EXPECT_EQ(loggedInUserLines(anonymous), expected) << "every copy sees the same list";

    anonymous.close();
    EXPECT_EQ(loggedInUserLines(*data), strings({"SUPERVISOR (Supervisor)", "User name: NONAME"}));
}

// The windows, on SQLite only.
class DialogWindowsTest : public DialogsTest
{};

INSTANTIATE_TEST_SUITE_P(Backends, DialogWindowsTest, ::testing::Values(mwtest::Backend::SQLite),
                         mwtest::backendName);

TEST_P(DialogWindowsTest, PickerOkSearchesAndSaysWhenTheNumberIsNotThere)
{
    logOn(QStringLiteral("clerk"));
    const struct
    {
        const char* typed;
        bool found;
    } cases[] = {{"R100", true}, {"R200", true}, {"R300", false}, {"R999", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        mwtest::ScriptedTalk talk;
        TAppActivityForm form(*data, talk);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Applicant Activity"));
        EXPECT_FALSE(form.Found());
        form.show();
        QTest::keyClicks(child<QComboBox>(&form, "ComboBox1")->lineEdit(), QLatin1String(c.typed));
        EXPECT_EQ(form.typedNumber(), QLatin1String(c.typed));
        QTest::mouseClick(child<QPushButton>(&form, "OKBtn"), Qt::LeftButton);
        EXPECT_EQ(form.result(), QDialog::Accepted);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.Found(), c.found);
        EXPECT_EQ(talk.errors(), c.found ? QStringList() : strings({"Job Requistion Number Not Found"}));
    }
}

TEST_P(DialogWindowsTest, PickerCancelLeavesFoundAsItWas)
{
    mwtest::ScriptedTalk talk;
    TAppActivityForm form(*data, talk);
    auto* number = child<QComboBox>(&form, "ComboBox1");
    const auto enter = [&](const QString& typed, const char* button) {
        number->setEditText(QString());
        form.show();
        QTest::keyClicks(number->lineEdit(), typed);
        QTest::mouseClick(child<QPushButton>(&form, button), Qt::LeftButton);
        EXPECT_FALSE(form.isVisible());
    };
    for (const bool before : {false, true}) {
        SCOPED_TRACE(before);
        if (before) {
            enter(QStringLiteral("R100"), "OKBtn"); // found
            ASSERT_TRUE(form.Found());
        }
        enter(before ? QStringLiteral("R999") : QStringLiteral("R100"), "CancelBtn");
        EXPECT_EQ(form.result(), QDialog::Rejected);
        EXPECT_EQ(form.Found(), before);
    }
    EXPECT_TRUE(talk.said().isEmpty());
}

TEST_P(DialogWindowsTest, PickerListIsReadWhenItOpensAndKeepsTheTypedText)
{
    logOn(QStringLiteral("clerk"));
    mwtest::ScriptedTalk talk;
    TAppActivityForm form(*data, talk);
    auto* number = child<QComboBox>(&form, "ComboBox1");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(number->count(), 0) << "nothing is read before the list opens";
    QTest::keyClicks(number->lineEdit(), QStringLiteral("R2"));
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID) VALUES (?, ?)"),
        {QStringLiteral("R150"), QStringLiteral("IT")});

    number->showPopup();
    QStringList listed;
    for (int i = 0; i < number->count(); ++i)
        listed << number->itemText(i);
    EXPECT_EQ(listed, strings({"R100", "R150", "R200"}));
    EXPECT_EQ(form.typedNumber(), QStringLiteral("R2"));
    EXPECT_FALSE(child<QLabel>(&form, "WaitLabel")->isVisible());
    number->hidePopup();
}

TEST_P(DialogWindowsTest, SelectDateIsReusedAndADoubleClickOnADayChoosesIt)
{
    TScanAcctForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Select Date"));
    auto* view = child<QCalendarWidget>(&form, "MonthCalendar1")->findChild<QTableView*>();
    ASSERT_NE(view, nullptr);

    const QDate start(2024, 3, 5);
    enum Action { DoubleClickDay, OkButton, CancelButton };
    const struct
    {
        Action action;
        QDialog::DialogCode result;
        QDate chosen;
    } cases[] = {
        {DoubleClickDay, QDialog::Accepted, QDate(2024, 3, 19)},
        {CancelButton, QDialog::Rejected, start},
        {OkButton, QDialog::Accepted, start},
        {DoubleClickDay, QDialog::Accepted, QDate(2024, 3, 19)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.action));
        form.setResult(-1);
        form.setDate(start);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        switch (c.action) {
        case DoubleClickDay: {
            // The 19th is in the grid once: the neighbouring months show only their edges.
            QModelIndex day;
            const QAbstractItemModel* model = view->model();
            for (int r = 0; r < model->rowCount() && !day.isValid(); ++r)
                for (int col = 0; col < model->columnCount(); ++col)
                    if (model->index(r, col).data().toString() == QLatin1String("19"))
                        day = model->index(r, col);
            ASSERT_TRUE(day.isValid());
            // As the mouse does it: a click, then the second press that makes it a double click.
            const QPoint at = view->visualRect(day).center();
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
            break;
        }
        case OkButton:
            QTest::mouseClick(child<QPushButton>(&form, "OKBtn"), Qt::LeftButton);
            break;
        case CancelButton:
            QTest::mouseClick(child<QPushButton>(&form, "CancelBtn"), Qt::LeftButton);
            break;
        }
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), c.result);
        if (c.result == QDialog::Accepted) {
            EXPECT_EQ(form.date(), c.chosen);
        }
    }
}

TEST_P(DialogWindowsTest, LoggedInUsersWindowShowsTheLines)
{
    TMerrowindData anonymous;
    anonymous.open(m_testDb->location());
    TLoggedInUsersForm form(*data);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Logged In Users"));
    auto* memo = child<QPlainTextEdit>(&form, "Memo1");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("SUPERVISOR (Supervisor)\nUser name: Unknown"));
    form.show();
    QTest::mouseClick(child<QPushButton>(&form, "OKBtn"), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

// The message boxes: the answer is Yes only when Yes is pressed.
TEST(DialogTalk, QuestionsAreYesOnlyForYes)
{
    DialogTalk talk;
    enum Press { Yes, No, Escape };
    const struct
    {
        Press press;
        bool answer;
    } cases[] = {{Yes, true}, {No, false}, {Escape, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.press));
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            if (c.press == Escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(c.press == Yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(talk.ask(QStringLiteral("Delete it?")), c.answer);
        EXPECT_EQ(caption, QStringLiteral("Merrowind"));
        EXPECT_EQ(text, QStringLiteral("Delete it?"));
        EXPECT_EQ(icon, QMessageBox::Question);
    }
}

TEST(DialogTalk, ThePleaseWaitWindowShowsTheTextAndCancelIsHeard)
{
    DialogTalk talk;
    EXPECT_EQ(talk.waitForm(), nullptr);
    {
        WaitScope outer(talk, QStringLiteral("Reading applicants"), true);
        TMessageForm* form = talk.waitForm();
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Merrowind"));
        auto* message = child<QLabel>(form, "Label1");
        EXPECT_EQ(message->text(), QStringLiteral("Reading applicants"));
        EXPECT_EQ(child<QLabel>(form, "Label2")->text(), QStringLiteral("Merrowind"));
        {
            WaitScope inner(talk, QStringLiteral("Reading files"));
            talk.wait(QStringLiteral("Reading file 2"));
            EXPECT_EQ(message->text(), QStringLiteral("Reading file 2"));
        }
        EXPECT_TRUE(form->isVisible()) << "the outer wait is still running";
        auto* cancel = child<QPushButton>(form, "CancelBtn");
        ASSERT_TRUE(cancel->isVisible());
        talk.progress(1, 10);
        EXPECT_FALSE(talk.cancelled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        EXPECT_TRUE(talk.cancelled());
    }
    EXPECT_EQ(talk.waitForm(), nullptr);
    {
        WaitScope again(talk, QStringLiteral("Saving"));
        EXPECT_FALSE(talk.cancelled()) << "an earlier Cancel is forgotten";
        EXPECT_FALSE(child<QPushButton>(talk.waitForm(), "CancelBtn")->isVisible());
    }
}
