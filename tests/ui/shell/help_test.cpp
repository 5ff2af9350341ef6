// The help: found only in the working directory, opened at a topic's anchor in one
// reused viewer, by F1 and by Help buttons, and usable while a modal window is open;
// the main window's menu commands each open their own section.

#include "datastore/merrowinddata.h"
#include "shell/helpviewer.h"
#include "shell/mainform.h"
#include "findchild.h"
#include "scriptedtalk.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>

namespace {

QString shippedHelpFile()
{
    return QFileInfo(QString::fromUtf8(__FILE__)).dir().filePath(QStringLiteral("../../../docs/Merrowind.hlp"));
}

QList<QWidget*> helpWindows()
{
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QLatin1String("Merrowind Help"))
            found << w;
    return found;
}

// A working directory holding the program's help file.
class HelpFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFile::copy(shippedHelpFile(), dir.filePath(mw::HelpSystem::fileName())));
    }

    // The viewer's browser; null while the viewer was never opened.
    static QTextBrowser* browserOf(const mw::HelpSystem& help)
    {
        return help.viewer() ? mwtest::child<QTextBrowser>(help.viewer(), "Browser") : nullptr;
    }

    // The topic the viewer shows: its anchor, or "" for the contents.
    static std::string shownTopic(const mw::HelpSystem& help)
    {
        const QTextBrowser* browser = browserOf(help);
        return browser ? browser->source().fragment().toStdString() : "<closed>";
    }

    // The first line in view in the viewer.
    static std::string topLine(const QTextBrowser* browser)
    {
        return browser->cursorForPosition(QPoint(10, 10)).block().text().trimmed().toStdString();
    }

    QTemporaryDir dir;
};

} // namespace

TEST(HelpDetect, OnlyTheFileInTheWorkingDirectoryCounts)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(mw::HelpSystem::detect(dir.path()));
    EXPECT_FALSE(mw::HelpSystem(mw::HelpSystem::locate(dir.path())).available());

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(QFile::copy(shippedHelpFile(), dir.filePath(QStringLiteral("sub/Merrowind.hlp"))));
    EXPECT_FALSE(mw::HelpSystem::detect(dir.path()));

    ASSERT_TRUE(QFile::copy(shippedHelpFile(), dir.filePath(QStringLiteral("Merrowind.hlp"))));
    EXPECT_TRUE(mw::HelpSystem::detect(dir.path()));
    EXPECT_TRUE(mw::HelpSystem(mw::HelpSystem::locate(dir.path())).available());
}

TEST(HelpWithoutFile, OffersNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& path : {QString(), dir.filePath(QStringLiteral("Merrowind.hlp"))}) {
        mw::HelpSystem help(path);
        EXPECT_FALSE(help.available());
        QWidget form;
        auto* edit = new QLineEdit(&form);
        help.attach(&form, 2100);
        form.show();
        QTest::keyClick(edit, Qt::Key_F1);
        help.showTopic(2100, &form);
        EXPECT_TRUE(helpWindows().isEmpty());
        EXPECT_EQ(help.makeHelpButton(&form, 2100), nullptr);
        EXPECT_TRUE(form.findChildren<QPushButton*>().isEmpty());
    }
}

TEST_F(HelpFixture, ShowTopicScrollsToItsSectionInOneReusedWindow)
{
    mw::HelpSystem help(mw::HelpSystem::locate(dir.path()));
    ASSERT_TRUE(help.available());
    EXPECT_EQ(help.viewer(), nullptr) << "the viewer is made when first asked for";
    help.showTopic(2100);
    QTextBrowser* browser = browserOf(help);
    ASSERT_NE(browser, nullptr);
    QWidget* window = help.viewer();
    EXPECT_EQ(browser->window(), window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(shownTopic(help), "2100");
    // The section's heading is the first line in view.
    EXPECT_GT(browser->verticalScrollBar()->value(), 0);
    EXPECT_EQ(topLine(browser), "Personal Data");

    help.showTopic(1600);
    EXPECT_EQ(browserOf(help), browser);
    EXPECT_EQ(helpWindows(), QList<QWidget*>{window});
    EXPECT_EQ(topLine(browser), "Exit");

    // Topic 0 and a topic the file lacks show the contents from the top.
    for (int topic : {0, 98765}) {
        help.showTopic(1600);
        help.showTopic(topic);
        EXPECT_EQ(shownTopic(help), "") << topic;
        EXPECT_EQ(browser->verticalScrollBar()->value(), 0) << topic;
    }

    // Closed and asked again: the same window comes back.
    window->close();
    help.showTopic(5400);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(helpWindows(), QList<QWidget*>{window});
    EXPECT_EQ(shownTopic(help), "5400");
}

TEST_F(HelpFixture, F1OpensTheTopicOfTheInnermostAttachedWidget)
{
    mw::HelpSystem help(mw::HelpSystem::locate(dir.path()));
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* name = new QLineEdit(&form);
    auto* panel = new QWidget(&form);
    auto* inPanel = new QLineEdit(panel);
    layout->addWidget(name);
    layout->addWidget(panel);
    help.attach(&form, 1400);
    help.attach(panel, 130);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    QTest::keyClick(name, Qt::Key_F1);
    EXPECT_EQ(shownTopic(help), "1400");
    QTest::keyClick(inPanel, Qt::Key_F1);
    EXPECT_EQ(shownTopic(help), "130");
    // Other keys and shifted F1 are left to the widgets.
    help.showTopic(0);
    QTest::keyClick(name, Qt::Key_F1, Qt::ShiftModifier);
    QTest::keyClick(name, Qt::Key_F2);
    EXPECT_EQ(shownTopic(help), "");
}

TEST_F(HelpFixture, HelpButtonOpensItsTopic)
{
    mw::HelpSystem help(mw::HelpSystem::locate(dir.path()));
    QWidget form;
    QPushButton* button = help.makeHelpButton(&form, 4100);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->parentWidget(), &form);
    form.show();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(shownTopic(help), "4100");
}

// Most windows are modal; the help they open must still take the keyboard.
TEST_F(HelpFixture, ViewerOpenedFromAModalWindowTakesInput)
{
    mw::HelpSystem help(mw::HelpSystem::locate(dir.path()));
    help.showTopic(1600); // the viewer exists before the modal window opens
    QDialog dialog;
    dialog.setWindowModality(Qt::ApplicationModal);
    QPushButton* button = help.makeHelpButton(&dialog, 1300);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(shownTopic(help), "1300");

    QWidget* viewer = help.viewer();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
    QScrollBar* bar = browserOf(help)->verticalScrollBar();
    const int before = bar->value();
    ASSERT_LT(before, bar->maximum());
    // Through the window system, where a window blocked by a modal one loses its keys.
    QTest::keyClick(viewer->windowHandle(), Qt::Key_End);
    EXPECT_GT(bar->value(), before);
}

// Every topic the program's windows and commands carry has its section.
TEST_F(HelpFixture, EveryTopicHasASection)
{
    mw::HelpSystem help(mw::HelpSystem::locate(dir.path()));
    const int topics[] = {100,  110,  120,  130,  1000, 1100, 1110, 1111, 1112, 1113, 1114, 1117, 1200, 1300, 1400,
                          1550, 1600, 1700, 2100, 2200, 2300, 3100, 3200, 4100, 4200, 4300, 4400, 4500,
                          4600, 4650, 4651, 4652, 4700, 4710, 4750, 4800, 5100, 5200, 5300, 5400, 5500,
                          5600, 5700, 5750, 5800, 5900, 5950, 6100, 7500};
    for (int topic : topics) {
        help.showTopic(topic);
        EXPECT_EQ(shownTopic(help), std::to_string(topic));
    }
}

// The main window's menu: every command carries a topic the file has a section
// for, and F1 on a highlighted command (or on a submenu's entry) opens it.
TEST_F(HelpFixture, EveryMenuCommandOpensItsOwnSection)
{
    mw::HelpSystem help(mw::HelpSystem::locate(dir.path()));
    mw::TMerrowindData data; // the menu needs no database
    data.SecurityData.CanImport = true;       // the commands below are enabled:
    data.SecurityData.CanPackDatabase = true; // a disabled one is never highlighted
    data.SystemInfo.InformUsers = true;
    mwtest::ScriptedTalk talk;
    mw::TMainForm main(data, help, talk);

    QList<QMenu*> menus;
    for (QAction* top : main.menuBar()->actions())
        if (top->menu())
            menus << top->menu();
    int commands = 0;
    for (int i = 0; i < menus.size(); ++i) {
        for (QAction* a : menus.at(i)->actions()) {
            if (a->isSeparator())
                continue;
            if (a->menu())
                menus << a->menu();
            const QString name = a->menu() ? a->menu()->objectName() : a->objectName();
            SCOPED_TRACE(name.toStdString());
            ++commands;
            const int topic = mw::TMainForm::helpTopic(name);
            EXPECT_NE(topic, 0);
            if (topic == 0)
                continue;
            help.showTopic(topic);
            EXPECT_EQ(shownTopic(help), std::to_string(topic));
        }
    }
    EXPECT_GT(commands, 40) << "the whole menu was walked";

    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    const struct
    {
        const char* menu;
        const char* command;
        const char* topic;
    } cases[] = {
        {"Process1", "PackDatabase1", "4750"},
        {"File1", "Export1", "1100"}, // the submenu's own entry
        {"Export1", "SendNotifyList1", "1114"},
        {"Help1", "MerrowindHelp1", "6100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        help.showTopic(0);
        auto* menu = mwtest::child<QMenu>(&main, c.menu);
        menu->popup(main.mapToGlobal(QPoint(20, 20)));
        menu->setActiveAction(mwtest::child<QAction>(&main, c.command));
        ASSERT_NE(menu->activeAction(), nullptr);
        QTest::keyClick(menu, Qt::Key_F1);
        EXPECT_EQ(shownTopic(help), c.topic);
        menu->close();
    }
}
