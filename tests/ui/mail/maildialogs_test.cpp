// The small mail windows: the extra files to send, and the notify dialogs' choice,
// question and help.

#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "findchild.h"
#include "import/notices.h"
#include "mail/extrafileform.h"
#include "mail/mailsend.h"
#include "mail/resendgroupform.h"
#include "mail/resendlistform.h"
#include "scriptedtalk.h"
#include "shell/helpviewer.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

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

QStringList itemsOf(const QListWidget* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->item(i)->text();
    return out;
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QString shippedHelpFile()
{
    return QFileInfo(QString::fromUtf8(__FILE__))
        .dir()
        .filePath(QStringLiteral("../../../docs/Merrowind.hlp"));
}

} // namespace

TEST(ExtraFileForm, AddDeleteAndResetEditTheProgramsListShownSorted)
{
    ExtraFiles files{strings({"/data/b.doc"})}; // left from an earlier visit
    HelpSystem help{QString()};
    TExtraFileForm form(files, help);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Extra Files"));
    QStringList picked;
    form.pickFiles = [&picked] { return picked; };
    form.show();
    auto* box = child<QListWidget>(&form, "ListBox1");
    EXPECT_EQ(itemsOf(box), strings({"/data/b.doc"}));

    enum Button
    {
        Add,
        Delete,
        Reset
    };
    const struct
    {
        const char* step;
        Button button;
        QStringList picked; // what Add's file dialog gives
        const char* select; // selected before the press; null: current but not selected
        QStringList shown;
    } steps[] = {
        {"add two", Add, strings({"/data/c.xls", "/data/a.txt"}), nullptr,
         strings({"/data/a.txt", "/data/b.doc", "/data/c.xls"})},
        {"add one again", Add, strings({"/data/a.txt"}), nullptr,
         strings({"/data/a.txt", "/data/b.doc", "/data/c.xls"})},
        {"add cancelled", Add, {}, nullptr, strings({"/data/a.txt", "/data/b.doc", "/data/c.xls"})},
        {"delete the selected", Delete, {}, "/data/b.doc", strings({"/data/a.txt", "/data/c.xls"})},
        {"delete without a selection", Delete, {}, nullptr, strings({"/data/a.txt", "/data/c.xls"})},
        {"reset", Reset, {}, nullptr, {}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        picked = s.picked;
        box->clearSelection();
        if (s.select) {
            const QList<QListWidgetItem*> found = box->findItems(QLatin1String(s.select), Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1);
            box->setCurrentItem(found.first(), QItemSelectionModel::ClearAndSelect);
        } else if (box->count() > 0) {
            box->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        }
        const char* button = s.button == Add ? "AddBtn" : s.button == Delete ? "DeleteBtn" : "ResetBtn";
        QTest::mouseClick(child<QPushButton>(&form, button), Qt::LeftButton);
        EXPECT_EQ(itemsOf(box), s.shown);
        QStringList kept = files.files;
        kept.sort();
        EXPECT_EQ(kept, s.shown) << "the program's list";
    }
}

// Three users and three job posting groups to choose from.
class ResendFormsTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        sql(QStringLiteral(
                "INSERT INTO users (UserID, UserName, SecurityID, Restricted) VALUES (?, ?, 1, ?), "
                "(?, ?, 1, ?)"),
            {QStringLiteral("BOB"), QStringLiteral("Bob Baker"), true, QStringLiteral("ANN"),
             QStringLiteral("Ann Archer"), false});
        sql(QStringLiteral(
                "INSERT INTO job_postings (JobPostingID, Description) VALUES (?, ?), (?, ?), (?, ?)"),
            {QStringLiteral("PARKS"), QStringLiteral("Parks"), QStringLiteral("NUR"),
             QStringLiteral("Nursing"), QStringLiteral("IT"), QStringLiteral("Information Technology")});
    }
};

MW_INSTANTIATE_BACKENDS(ResendFormsTest);

TEST_P(ResendFormsTest, OkNeedsAChoiceAndAYes)
{
    HelpSystem help{QString()};
    mwtest::ScriptedTalk talk;
    TResendListForm users(*data, help, talk);
    TResendGroupForm groups(*data, help, talk);
    const struct
    {
        QDialog* form;
        const char* caption;
        const char* combo;
        QStringList listed;
        const char* choice;
        std::function<QString()> chosen;
        const char* id;
        QString noChoice;
    } kinds[] = {
        {&users, "Send Notification List To User", "UserCombo",
         strings({"Ann Archer", "Bob Baker", "Supervisor"}), "Bob Baker", [&] { return users.chosenUser(); },
         "BOB", notifyUserChoiceError(QString())},
        {&groups, "Send Notification List To Group", "GroupCombo",
         strings({"Information Technology", "Nursing", "Parks"}), "Nursing",
         [&] { return groups.chosenGroup(); }, "NUR", notifyGroupChoiceError(QString())},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.caption);
        QDialog& form = *k.form;
        EXPECT_EQ(form.windowTitle(), QLatin1String(k.caption));
        auto* box = child<QComboBox>(&form, k.combo);
        EXPECT_EQ(itemsOf(box), k.listed);
        form.show();
        auto* ok = child<QPushButton>(&form, "OKBtn");

        talk.clear();
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_EQ(talk.errors(), QStringList{k.noChoice});
        EXPECT_TRUE(talk.questions().isEmpty());
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(k.chosen(), QString());

        box->setCurrentIndex(box->findText(QLatin1String(k.choice)));
        EXPECT_EQ(k.chosen(), QLatin1String(k.id));
        for (const bool yes : {false, true}) {
            talk.clear();
            talk.answer({yes});
            QTest::mouseClick(ok, Qt::LeftButton);
            EXPECT_EQ(talk.questions(), QStringList{notifyQuestion()});
            EXPECT_TRUE(talk.errors().isEmpty());
            EXPECT_EQ(form.isVisible(), !yes);
        }
        EXPECT_EQ(form.result(), QDialog::Accepted);
        EXPECT_EQ(k.chosen(), QLatin1String(k.id));
    }
}

TEST_P(ResendFormsTest, HelpButtonsOnlyWithTheHelpFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::copy(shippedHelpFile(), dir.filePath(HelpSystem::fileName())));
    mwtest::ScriptedTalk talk;
    ExtraFiles files;
    for (const bool withFile : {false, true}) {
        SCOPED_TRACE(withFile);
        HelpSystem help(withFile ? HelpSystem::locate(dir.path()) : QString());
        ASSERT_EQ(help.available(), withFile);
        TExtraFileForm extra(files, help);
        TResendListForm users(*data, help, talk);
        TResendGroupForm groups(*data, help, talk);
        for (QDialog* form : std::initializer_list<QDialog*>{&extra, &users, &groups}) {
            SCOPED_TRACE(form->objectName().toStdString());
            form->show();
            if (withFile)
                EXPECT_TRUE(child<QPushButton>(form, "HelpBtn")->isVisible());
            else
                EXPECT_EQ(form->findChild<QPushButton*>(QStringLiteral("HelpBtn")), nullptr);
        }
    }
}
