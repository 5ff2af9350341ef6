// The group picker of Process > Reload Web Site For Posting ID: the groups the
// logged-on user may see, "Load Web" only once one is chosen, and its help.

#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "findchild.h"
#include "shell/helpviewer.h"
#include "web/getpostingidform.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

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

QStringList itemsOf(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QString shippedHelpFile()
{
    return QFileInfo(QString::fromUtf8(__FILE__)).dir().filePath(QStringLiteral("../../../docs/Merrowind.hlp"));
}

} // namespace

// Three job posting groups. BOB is restricted to two of them and CAL to none; ANN is
// not restricted (her row in the list counts for nothing).
class PostingIDFormTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        sql(QStringLiteral("INSERT INTO users (UserID, UserName, SecurityID, Restricted) VALUES "
                           "('ANN', 'Ann Archer', 1, ?), ('BOB', 'Bob Baker', 1, ?), ('CAL', 'Cal Cole', 1, ?)"),
            {false, true, true});
        sql(QStringLiteral("INSERT INTO job_postings (JobPostingID, Description) VALUES ('PARKS', 'Parks'), "
                           "('NUR', 'Nursing'), ('IT', 'Information Technology')"));
        sql(QStringLiteral("INSERT INTO restrict_list (UserID, JobPostingID) VALUES ('BOB', 'PARKS'), ('BOB', 'IT'), "
                           "('ANN', 'NUR')"));
    }
};

MW_INSTANTIATE_BACKENDS(PostingIDFormTest);

TEST_P(PostingIDFormTest, OffersTheGroupsTheUserMaySee)
{
    HelpSystem help{QString()};
    const struct
    {
        const char* user;
        QStringList listed;
        const char* choice; // null: nothing to choose
        const char* id;
    } cases[] = {
        {"ANN", strings({"Information Technology", "Nursing", "Parks"}), "Nursing", "NUR"},
        {"BOB", strings({"Information Technology", "Parks"}), "Parks", "PARKS"},
        {"CAL", {}, nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        ASSERT_TRUE(data->CheckUser(QLatin1String(c.user), QString(), true));
        TGetPostingIDForm form(*data, help);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Get Positng ID"));
        form.show();
        auto* box = child<QComboBox>(&form, "PostingCombo");
        EXPECT_EQ(itemsOf(box), c.listed);
        auto* load = child<QPushButton>(&form, "LoadWebBtn");
        EXPECT_FALSE(load->isEnabled()) << "enabled before a group was chosen";
        EXPECT_EQ(form.chosenGroup(), QString());
        if (!c.choice)
            continue;
        box->setCurrentIndex(box->findText(QLatin1String(c.choice)));
        ASSERT_TRUE(load->isEnabled());
        QTest::mouseClick(load, Qt::LeftButton);
        EXPECT_EQ(form.result(), QDialog::Accepted);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.chosenGroup(), QLatin1String(c.id));
    }
}

TEST_P(PostingIDFormTest, TheHelpButtonOnlyWithTheHelpFileOpensItsSection)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::copy(shippedHelpFile(), dir.filePath(HelpSystem::fileName())));
    for (const bool withFile : {false, true}) {
        SCOPED_TRACE(withFile);
        HelpSystem help(withFile ? HelpSystem::locate(dir.path()) : QString());
        TGetPostingIDForm form(*data, help);
        form.show();
        if (!withFile) {
            EXPECT_EQ(form.findChild<QPushButton*>(QStringLiteral("HelpBtn")), nullptr);
            continue;
        }
        auto* button = child<QPushButton>(&form, "HelpBtn");
        EXPECT_TRUE(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_NE(help.viewer(), nullptr);
        EXPECT_EQ(child<QTextBrowser>(help.viewer(), "Browser")->source().fragment(), QStringLiteral("4655"))
            << "the help file has no section for the window";
    }
}
