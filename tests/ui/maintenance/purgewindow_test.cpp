// The purge window "Perge/Delete" on its own, and the Process menu's five purge
// and deletion commands chosen in the main window: which run in the purge window,
// the steps it shows, that it is gone before the results box, and what each
// command leaves in the tables.

#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "findchild.h"
#include "maintenance/puregdeleteform.h"
#include "scriptedtalk.h"
#include "shared/clock.h"
#include "shell/helpviewer.h"
#include "shell/mainform.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>
#include <optional>

using namespace mw;
using mwtest::child;

namespace {

const QString kWindow = QStringLiteral("PuregDeleteForm");

QStringList strings(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* s : items)
        out << QLatin1String(s);
    return out;
}

// Watches the purge window as the user sees it: each time it is shown, and each
// step line it paints.
class PurgeWindowWatch final : public QObject
{
public:
    PurgeWindowWatch() { qApp->installEventFilter(this); }
    ~PurgeWindowWatch() override { qApp->removeEventFilter(this); }

    int shown = 0;
    QStringList steps; // in the order painted, each once

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || w->window()->objectName() != kWindow)
            return false;
        if (e->type() == QEvent::Show && w->isWindow())
            ++shown;
        if (e->type() == QEvent::Paint && w->objectName() == QLatin1String("Label2")) {
            const QString text = static_cast<QLabel*>(w)->text();
            if (!text.isEmpty() && (steps.isEmpty() || steps.last() != text))
                steps << text;
        }
        return false;
    }
};

// The scripted user, who also notes whether the purge window was up when a results
// box came.
class WatchingTalk final : public mwtest::ScriptedTalk
{
public:
    void inform(const QString& text) override
    {
        const QWidget* w = TMainForm::findWindow(kWindow);
        if (w && w->isVisible())
            purgeWindowUnderResults = true;
        ScriptedTalk::inform(text);
    }
    bool purgeWindowUnderResults = false;
};

} // namespace

TEST(PurgeWindow, ShowsItsStepsAndStaysUpUntilTheOperationHidesIt)
{
    std::optional<PurgeView> view;
    {
        TPuregDeleteForm form;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Perge/Delete"));
        EXPECT_EQ(child<QLabel>(&form, "Label1")->text(), QStringLiteral("Please Wait Purging/Deleting Information"));
        EXPECT_FALSE(form.isVisible());

        view = form.view();
        ASSERT_TRUE(bool(*view));
        view->show();
        EXPECT_TRUE(form.isVisible());
        view->step(QStringLiteral("Deleting Old Applicants"));
        EXPECT_EQ(child<QLabel>(&form, "Label2")->text(), QStringLiteral("Deleting Old Applicants"));

        // Neither Escape nor the close box takes it down while the operation runs;
        // Escape, like Cancel, asks the operation to stop.
        EXPECT_FALSE(view->cancelled());
        QTest::keyClick(&form, Qt::Key_Escape);
        form.close();
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(view->cancelled());
        view->show(); // the next operation starts afresh
        EXPECT_FALSE(view->cancelled());
        child<QPushButton>(&form, "CancelBtn")->click();
        EXPECT_TRUE(view->cancelled());

        view->hide();
        EXPECT_FALSE(form.isVisible());
    }
    // The window is released with its command; a view kept longer does nothing.
    EXPECT_FALSE(view->cancelled());
    view->show();
    view->step(QStringLiteral("Deleting Old Applicants"));
    view->hide();
}

// SUPERVISOR's main window, on a day fixed for the test, over four applicants, three
// requisitions and four applications laid out afresh for each command.
class PurgeCommandsTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Clock::setToday(m_today);
        const QDir work(m_testDb->scratchDir());
        ASSERT_TRUE(work.mkpath(QStringLiteral("scans")));
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf', PurgeDays = 180, DeleteInvalid = 0"),
            {work.filePath(QStringLiteral("scans")) + QLatin1Char('/')});
        data->ReadSettings();
        data->LoginData.EMailAddress = QStringLiteral("hr@example.org");
    }

    void lay()
    {
        for (const char* table : {"applicants", "requisitions", "applications"})
            sql(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        const QDate past = m_today.addDays(-1);
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, PurgeDate, DoNotPurge, RIF, RIFExpires) VALUES "
                           "('0001', 'Past Purge', ?, 0, 0, NULL), ('0002', 'Do Not Purge', ?, 1, 0, NULL), "
                           "('0003', 'Future Purge', ?, NULL, 0, NULL), ('0004', 'Under RIF', ?, 0, 1, ?)"),
            {past, past, m_today.addDays(30), past, m_today.addDays(30)});
        // R1 marked and filled; R2 open and recent; R3 open, posted PurgeDays ago.
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, PurgeReq, PositionFilled, DatePosted) VALUES "
                           "('R1', 1, 1, ?), ('R2', 0, 0, ?), ('R3', 0, 0, ?)"),
            {m_today.addDays(-400), m_today.addDays(-14), m_today.addDays(-180)});
        // R9 is no requisition, 0099 no applicant.
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES "
                           "('R1', '0003'), ('R2', '0003'), ('R9', '0003'), ('R2', '0099')"));
    }

    // The three tables in short: applicants; requisitions, * for marked; applications.
    QStringList tables()
    {
        const auto line = [this](const QString& select) {
            QStringList out;
            QSqlQuery q = data->database().exec(select);
            while (q.next()) {
                QString row;
                for (int i = 0; i < q.record().count(); ++i)
                    row += q.value(i).toString();
                out << row;
            }
            return out.join(QLatin1Char(' '));
        };
        return {line(QStringLiteral("SELECT ApplicantID FROM applicants ORDER BY ApplicantID")),
                line(QStringLiteral("SELECT ReqNumber, CASE WHEN PurgeReq = 1 THEN '*' ELSE '' END FROM requisitions "
                                    "ORDER BY ReqNumber")),
                line(QStringLiteral("SELECT ReqNumber, '/', ApplicantID FROM applications "
                                    "ORDER BY ReqNumber, ApplicantID"))};
    }

    const QDate m_today{2026, 6, 15};
    HelpSystem help{QString()};
};

TEST_P(PurgeCommandsTest, EachCommandRunsInItsWindowAndLeavesTheTablesAsItSays)
{
    const QString applicantsAsLaid = QStringLiteral("0001 0002 0003 0004");
    const QString requisitionsAsLaid = QStringLiteral("R1* R2 R3");
    const QString applicationsAsLaid = QStringLiteral("R1/0003 R2/0003 R2/0099 R9/0003");
    struct Case
    {
        const char* command;
        bool yes;
        const char* question;
        QStringList waits;       // the please-wait window's texts
        QStringList windowSteps; // the purge window's step lines; empty: it never shows
        QStringList informed;
        QStringList tablesAfter;
    };
    const Case cases[] = {
        {"PurgeFiles1", false, "Are You Sure You Want To Purge Files?", {}, {}, {},
         {applicantsAsLaid, requisitionsAsLaid, applicationsAsLaid}},
        {"PurgeFiles1", true, "Are You Sure You Want To Purge Files?",
         strings({"Please Wait, Updating Purge Date of Applicants"}), strings({"Deleting Old Applicants"}),
         {QStringLiteral("Results From Purge of Database:\n\nRecords Deleted: 1\nFiles Deleted: 0")},
         {QStringLiteral("0002 0003 0004"), requisitionsAsLaid, applicationsAsLaid}},
        {"DeleteOldRequestions1", true, "Are You Sure You Want To Delete Old Requistions?", {},
         strings({"Preparing Records to be deleted", "Deleting All Applications For Requisition: R1",
                  "Deleting Old E-Mail Address"}),
         {QStringLiteral("Results From Delete Requistions:\n\nRecords Deleted: 1")},
         {applicantsAsLaid, QStringLiteral("R2 R3"), QStringLiteral("R2/0003 R2/0099 R9/0003")}},
        {"DeleteInvalidApplications1", true, "Are You Sure You Want To Delete Invalid Applications?", {},
         strings({"Deleting Applications With No Valid Requisitions", "Deleting Applications With No Valid Applicants"}),
         {}, {applicantsAsLaid, requisitionsAsLaid, QStringLiteral("R1/0003 R2/0003")}},
        {"MarkOldRequisitions1", true, "Are You Sure You Want To Mark Old Requistions?",
         strings({"Please Wait, Marking Old Requisitions", "Marking Old Requistions to be deleted"}), {},
         {QStringLiteral("Results From Mark Old Requisitions:\n\nRecords Marked For Deletions: 2")},
         {applicantsAsLaid, QStringLiteral("R1* R2 R3*"), applicationsAsLaid}},
        {"RemoveReqsFromWeb1", true, "Are You Sure You Want To Removed Fill Requistions From The Web?",
         strings({"Please Wait, Removing Fill Requistions From Web"}), {},
         {QStringLiteral("Results From Remove Old Requistions From Web:\n\nRequestions Deleted: 0")},
         {applicantsAsLaid, requisitionsAsLaid, applicationsAsLaid}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.yes ? " answered Yes" : " answered No"));
        lay();
        WatchingTalk talk;
        talk.answer({c.yes});
        TMainForm main(*data, help, talk);
        main.pdfViewerAvailable = [] { return false; };
        main.FormActivate();
        auto* action = child<QAction>(&main, c.command);
        ASSERT_TRUE(action->isEnabled());
        PurgeWindowWatch watch;
        action->trigger();

        EXPECT_EQ(talk.questions(), QStringList{QLatin1String(c.question)});
        EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(talk.waits(), c.waits);
        EXPECT_EQ(watch.shown, c.windowSteps.isEmpty() ? 0 : 1);
        EXPECT_EQ(watch.steps, c.windowSteps);
        EXPECT_EQ(talk.informations(), c.informed);
        EXPECT_FALSE(talk.purgeWindowUnderResults);
        EXPECT_EQ(TMainForm::findWindow(kWindow), nullptr) << "released with its command";
        EXPECT_EQ(tables(), c.tablesAfter);
    }
}

MW_INSTANTIATE_BACKENDS(PurgeCommandsTest);
