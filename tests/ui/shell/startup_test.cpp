// Start-up, logon and the main window, with the user played by a script.

#include "access/menurules.h"
#include "shell/application.h"
#include "shell/helpviewer.h"
#include "shell/logonform.h"
#include "shell/mainform.h"
#include "shell/startup.h"
#include "datastore/migrations.h"
#include "datastore/passwords.h"
#include "dbfixture.h"
#include "findchild.h"
#include "scriptedtalk.h"
#include "shared/operation.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QDeadlineTimer>
#include <QByteArray>
#include <QHash>
#include <QTest>
#include <QTimer>

#include <pwd.h>
#include <unistd.h>

using namespace mw;
using mwtest::child;
using Outcome = Startup::Outcome;

class StartupTest : public mwtest::StoreTest
{
protected:
    StartupOptions options(const QStringList& args = {QStringLiteral("merrowind"), QStringLiteral("/s")})
    {
        StartupOptions o;
        o.arguments = args;
        o.workingDirectory = m_testDb->scratchDir();
        o.location = [this] { return m_testDb->location(); };
        o.engineVersion = [] { return 500; };
        o.networkPresent = [] { return false; };
        o.networkUserName = [] { return QStringLiteral("jsmith"); };
        o.showLogon = [this](TLogonForm& form) {
            ++logonShown;
            child<QLineEdit>(&form, "UserNameEdit")->setText(typedUser);
            child<QLineEdit>(&form, "PasswordEdit")->setText(typedPassword);
            QTest::mouseClick(child<QPushButton>(&form, "LoginB"), Qt::LeftButton);
        };
        o.pause = [this](int ms) { paused += ms; };
        return o;
    }
    void addUser(const QString& id, const QString& password, int profile)
    {
        sql(QStringLiteral("INSERT INTO users (UserID, UserPassword, UserName, SecurityID) VALUES (?, ?, ?, ?)"),
            {id, passwords::hash(password), id, profile});
    }
    // A profile with just the given rights.
    int profile(const QStringList& rights)
    {
        QStringList cols{QStringLiteral("Security")};
        QVariantList values{QStringLiteral("P%1").arg(++m_profiles)};
        for (const QString& r : rights) {
            cols << r;
            values << true;
        }
        sql(QStringLiteral("INSERT INTO security_profiles (%1) VALUES (%2)")
                .arg(cols.join(QStringLiteral(", ")), QStringList(cols.size(), QStringLiteral("?")).join(QStringLiteral(", "))),
            values);
        return scalar(QStringLiteral("SELECT MAX(SecurityID) FROM security_profiles")).toInt();
    }

    mwtest::ScriptedTalk talk;
    int logonShown = 0;
    int paused = 0;
    QString typedUser, typedPassword;
    int m_profiles = 0;
};

TEST_P(StartupTest, FirstRunSupervisorGoesStraightToTheMainWindow)
{
    Startup s(options({QStringLiteral("merrowind")}), talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    EXPECT_EQ(logonShown, 0);
    EXPECT_EQ(s.data().LoginData.UserID, QStringLiteral("SUPERVISOR"));
    EXPECT_TRUE(s.mainForm()->isVisible());
    EXPECT_TRUE(s.splashWanted());
    EXPECT_EQ(s.splashSteps(), 14);
    EXPECT_TRUE(talk.said().isEmpty());
}

TEST_P(StartupTest, ADatabaseOfAnOlderLayoutIsUpgradedOnlyWhenConfirmed)
{
    mwtest::TestDatabase older(GetParam(), 1);
    ASSERT_TRUE(older.ok()) << older.error().toStdString();
    StartupOptions o = options();
    o.location = [&older] { return older.location(); };
    {
        Startup refused(o, talk);
        EXPECT_EQ(refused.start(), Outcome::DatabaseFailed);
        ASSERT_EQ(talk.questions().size(), 1);
        EXPECT_TRUE(talk.questions().first().contains(QStringLiteral("Upgrade it to layout")));
        ASSERT_EQ(talk.errors().size(), 1);
        EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("merrowind --upgrade-database")));
        EXPECT_EQ(databaseLayout(older.location()), 1);
    }
    talk.clear();
    talk.answer({true});
    Startup upgraded(o, talk);
    ASSERT_EQ(upgraded.start(), Outcome::Running);
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("Database Upgraded From Layout 1 To Layout %1").arg(Schema::Version)});
    EXPECT_EQ(databaseLayout(older.location()), Schema::Version);
}

TEST_P(StartupTest, SplashIsSuppressedBySInAnyCase)
{
    for (const char* arg : {"/s", "-S", "/S", "-s"}) {
        Startup s(options({QStringLiteral("merrowind"), QLatin1String(arg)}), talk);
        ASSERT_EQ(s.start(), Outcome::Running);
        EXPECT_FALSE(s.splashWanted()) << arg;
    }
}

TEST_P(StartupTest, TheEngineMustReportVersion500OrMore)
{
    StartupOptions o = options();
    o.engineVersion = [] { return 499; };
    Startup old(o, talk);
    EXPECT_EQ(old.start(), Outcome::EngineTooOld);
    EXPECT_EQ(old.mainForm(), nullptr);
    EXPECT_EQ(talk.errors(),
              QStringList{QStringLiteral("This Applicaion Requires the Borland Database 5.0 Or Higher To Be Installed")});
    o.engineVersion = [] { return 500; };
    Startup current(o, talk);
    EXPECT_EQ(current.start(), Outcome::Running);
}

TEST_P(StartupTest, WithASecondUserTheLogonWindowDecides)
{
    addUser(QStringLiteral("JSMITH"), QStringLiteral("hr2026"), profile({QStringLiteral("CanApprove")}));
    typedUser = QStringLiteral("jsmith");
    typedPassword = QStringLiteral("hr2026");
    {
        Startup s(options(), talk);
        ASSERT_EQ(s.start(), Outcome::Running);
        EXPECT_EQ(logonShown, 1);
        EXPECT_EQ(s.data().LoginData.UserID, QStringLiteral("JSMITH"));
    }
    typedPassword = QStringLiteral("HR2026");
    Startup wrong(options(), talk);
    EXPECT_EQ(wrong.start(), Outcome::InvalidLogin);
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Access Denied To Merrowind, Invalid Login")});
    EXPECT_FALSE(wrong.mainForm()->isVisible());
}

TEST_P(StartupTest, AutomaticLogonUsesTheNetworkNameOnlyWhenAllowedAndPresent)
{
    addUser(QStringLiteral("JSMITH"), QStringLiteral("hr2026"), profile({}));
    sql(QStringLiteral("UPDATE settings SET AllowAutoLogin = ?"), {true});
    StartupOptions o = options();
    o.networkPresent = [] { return true; };
    {
        Startup s(o, talk);
        ASSERT_EQ(s.start(), Outcome::Running);
        EXPECT_EQ(logonShown, 0);
        EXPECT_EQ(s.data().LoginData.UserID, QStringLiteral("JSMITH"));
    }
    o.networkPresent = [] { return false; };
    typedUser = QStringLiteral("JSMITH");
    typedPassword = QStringLiteral("hr2026");
    {
        Startup s(o, talk);
        ASSERT_EQ(s.start(), Outcome::Running);
        EXPECT_EQ(logonShown, 1) << "without a network the window is always shown";
    }
    sql(QStringLiteral("UPDATE settings SET AllowAutoLogin = ?"), {false});
    o.networkPresent = [] { return true; };
    Startup s(o, talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    EXPECT_EQ(logonShown, 2);
}

// The person at the workstation is the account the program runs as: what the
// environment says is not asked.
TEST_P(StartupTest, AutomaticLogonTakesTheAccountNotTheEnvironment)
{
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const QString me = QString::fromLocal8Bit(account->pw_name).toUpper();
    ASSERT_NE(me, QStringLiteral("ADMIN"));
    addUser(QStringLiteral("ADMIN"), QStringLiteral("secret"), profile({QStringLiteral("CanAddUsers")}));
    sql(QStringLiteral("UPDATE settings SET AllowAutoLogin = ?"), {true});
    struct Spoofed // the environment names ADMIN while the test runs
    {
        QHash<QByteArray, QByteArray> saved;
        Spoofed()
        {
            for (const char* name : {"NWUSERNAME", "USER", "LOGNAME"}) {
                if (qEnvironmentVariableIsSet(name))
                    saved.insert(name, qgetenv(name));
                qputenv(name, "ADMIN");
            }
        }
        ~Spoofed()
        {
            for (const char* name : {"NWUSERNAME", "USER", "LOGNAME"}) {
                if (saved.contains(name))
                    qputenv(name, saved.value(name));
                else
                    qunsetenv(name);
            }
        }
    } spoofed;
    StartupOptions o = options();
    o.networkPresent = [] { return true; };
    o.networkUserName = nullptr; // the program's own
    {
        Startup s(o, talk);
        EXPECT_EQ(s.start(), Outcome::InvalidLogin) << "logged on as ADMIN without a password";
        EXPECT_EQ(logonShown, 1);
    }
    addUser(me, QStringLiteral("mine"), profile({}));
    Startup s(o, talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    EXPECT_EQ(logonShown, 1);
    EXPECT_EQ(s.data().LoginData.UserID, me);
}

TEST_P(StartupTest, DeniedLoginsStopOrdinaryUsersButNotAdministrators)
{
    addUser(QStringLiteral("CLERK"), QStringLiteral("c"), profile({QStringLiteral("CanImport")}));
    addUser(QStringLiteral("BOSS"), QStringLiteral("b"), profile({QStringLiteral("CanChangeGeneral")}));
    sql(QStringLiteral("UPDATE settings SET AllowLogin = ?"), {true});
    typedUser = QStringLiteral("clerk");
    typedPassword = QStringLiteral("c");
    {
        Startup s(options(), talk);
        EXPECT_EQ(s.start(), Outcome::LoginsDisabled);
        EXPECT_EQ(paused, 5000);
        EXPECT_TRUE(talk.said().isEmpty()) << "no message box, only the Logins Disabled window";
    }
    typedUser = QStringLiteral("boss");
    typedPassword = QStringLiteral("b");
    Startup s(options(), talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    EXPECT_TRUE(child<QLabel>(s.mainForm(), "WarningLabel")->isVisibleTo(s.mainForm()));
    EXPECT_FALSE(child<QTimer>(s.mainForm(), "Timer1")->isActive()) << "administrators are not timed out";
}

TEST_P(StartupTest, MenuFollowsRightsAndSettings)
{
    addUser(QStringLiteral("NOIMPORT"), QStringLiteral("x"), profile({QStringLiteral("CanApprove")}));
    addUser(QStringLiteral("IMPORTER"), QStringLiteral("x"), profile({QStringLiteral("CanImport")}));
    typedPassword = QStringLiteral("x");
    typedUser = QStringLiteral("noimport");
    {
        // The built-in viewer offers the review of new applications.
        Startup s(options(), talk);
        ASSERT_EQ(s.start(), Outcome::Running);
        s.mainForm()->FormActivate();
        EXPECT_TRUE(child<QAction>(s.mainForm(), "ReviewNew1")->isVisible());
    }
    {
        StartupOptions o = options();
        o.pdfViewerAvailable = [] { return false; };
        Startup s(o, talk);
        ASSERT_EQ(s.start(), Outcome::Running);
        TMainForm& m = *s.mainForm();
        m.FormActivate();
        EXPECT_FALSE(child<QAction>(&m, "Export1")->isEnabled());
        for (const char* name : {"SendNotifyList1", "ResendNotifyList1", "ResendNotifyListToGroup1", "PackDatabase1",
                                 "SettingsGeneral1", "AdministratorSettings1", "Security1", "MerrowindHelp1"})
            EXPECT_FALSE(child<QAction>(&m, name)->isEnabled()) << name;
        for (const char* name : {"New1", "PersonalData1", "JobData1", "Exit1", "ScanActivity1", "PrinterSettings1"})
            EXPECT_TRUE(child<QAction>(&m, name)->isEnabled()) << name;
        EXPECT_FALSE(child<QAction>(&m, "ReviewNew1")->isVisible()) << "no PDF viewer";
        EXPECT_TRUE(child<QTimer>(&m, "Timer1")->isActive());
        EXPECT_EQ(m.helpTopic(QStringLiteral("PackDatabase1")), 4750);
    }
    sql(QStringLiteral("UPDATE settings SET InformUsers = ?"), {false});
    typedUser = QStringLiteral("importer");
    Startup s(options(), talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    TMainForm& m = *s.mainForm();
    m.FormActivate();
    EXPECT_TRUE(child<QAction>(&m, "Export1")->isEnabled());
    EXPECT_TRUE(child<QAction>(&m, "ApplicantsOnly1")->isEnabled());
    for (const char* name : {"SendNotifyList1", "ResendNotifyList1", "ResendNotifyListToGroup1"})
        EXPECT_FALSE(child<QAction>(&m, name)->isEnabled()) << name;
    EXPECT_FALSE(child<QAction>(&m, "New1")->isEnabled());
}

// Every command the menu rules name is in the main window's menu, and activating
// the window gives each the state the rules give it.
TEST(MainFormMenu, HoldsEveryCommandTheRulesNameAndAppliesThem)
{
    TMerrowindData data; // a user without rights; the menu needs no database
    HelpSystem help{QString()};
    mwtest::ScriptedTalk talk;
    TMainForm m(data, help, talk);
    m.pdfViewerAvailable = [] { return false; };
    m.FormActivate();

    MenuContext context;
    context.rights = data.SecurityData;
    context.informUsers = data.SystemInfo.InformUsers;
    const QStringList names = ruledMenuCommands();
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QAction* action = nullptr;
        EXPECT_NO_THROW(action = child<QAction>(&m, qPrintable(name)));
        if (!action)
            continue;
        const MenuCommandState state = menuCommandState(name, context);
        EXPECT_EQ(action->isEnabled(), state.enabled);
        EXPECT_EQ(action->isVisible(), state.visible);
    }
}

TEST_P(StartupTest, ProcessMenuCommandsAskBeforeTheyChangeAnything)
{
    Startup s(options(), talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    TMainForm& m = *s.mainForm();
    m.FormActivate();
    for (const char* name : {"ProcessRIF1", "NotRehirableExpiredDates1", "ProcessNotRehirable1",
                             "MarkOldApplicantsAsReviewed1", "PackDatabase1"})
        child<QAction>(&m, name)->trigger(); // answered No
    EXPECT_EQ(talk.questions(), (QStringList{QStringLiteral("Are You Sure You Want To Removed Expired RIF Flags?"),
                                             QStringLiteral("Are You Sure You Want To Removed Expired Not Rehirable Flags?"),
                                             QStringLiteral("Are You Sure You Want To Process The Not Rehirable Flags?"),
                                             QStringLiteral("Are You Sure You Want To Mark Old Applicants As Reviewed?"),
                                             QStringLiteral("Are You Sure You Want To Pack Database")}));
    EXPECT_EQ(talk.said().size(), 5) << "nothing but the questions";
}

TEST_P(StartupTest, TheTimerEndsAnOrdinaryUsersProgramWhenLoginsAreDenied)
{
    addUser(QStringLiteral("CLERK"), QStringLiteral("c"), profile({}));
    typedUser = QStringLiteral("clerk");
    typedPassword = QStringLiteral("c");
    Startup s(options(), talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    TMainForm& m = *s.mainForm();
    int ended = 0;
    m.endProgram = [&ended] { ++ended; };
    m.Timer1Timer();
    EXPECT_EQ(ended, 0);
    sql(QStringLiteral("UPDATE settings SET AllowLogin = ?"), {true});
    m.Timer1Timer();
    EXPECT_EQ(ended, 1);

    // Under a running operation the timer's check waits: the operation's windows and
    // settings stay; the check comes once the operation has ended.
    ended = 0;
    auto* timer = child<QTimer>(&m, "Timer1");
    timer->start(1);
    mwtest::ScriptedTalk busy;
    busy.answer({true});
    mw::runOperation(busy, {QStringLiteral("Are You Sure You Want To Wait?"), QStringLiteral("Please Wait"), true,
                            [&](mw::UserTalk&) {
                                QTest::qWait(100); // the timer fires meanwhile, many times
                                EXPECT_EQ(ended, 0) << "ended under a running operation";
                                return mw::OperationResult::done();
                            }});
    EXPECT_EQ(ended, 1) << "checked once, right after the operation";
    timer->stop();
}

// Another copy cleared this one's session (its machine slept): the main window
// says so once the heartbeat finds out.
TEST_P(StartupTest, TheMainWindowTellsWhenAnotherCopyTookThisOneForClosed)
{
    Startup s(options(), talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    s.data().sessions().setStaleAfter(400);
    talk.clear();
    sql(QStringLiteral("DELETE FROM mw_sessions"));
    for (QDeadlineTimer wait(10000); talk.said().isEmpty() && !wait.hasExpired();)
        QTest::qWait(20);
    ASSERT_EQ(talk.said().size(), 1);
    EXPECT_EQ(talk.said().first().kind, mwtest::ScriptedTalk::Said::Information);
    EXPECT_EQ(talk.said().first().text, TMerrowindData::takenForClosedText());
}

TEST_P(StartupTest, StatusBarCountsUseThousandsSeparatorsAndStayAsAtStartUp)
{
    {
        Transaction tx(data->database());
        for (int i = 1; i <= 1234; ++i)
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID) VALUES (?)"), {QString::number(i)});
        tx.commit();
    }
    Startup s(options(), talk);
    ASSERT_EQ(s.start(), Outcome::Running);
    EXPECT_EQ(s.mainForm()->statusText(1), QStringLiteral("Applicants: 1,234"));
    EXPECT_EQ(s.mainForm()->statusText(2), QStringLiteral("Requisitions: 0"));
    sql(QStringLiteral("INSERT INTO applicants (ApplicantID) VALUES (?)"), {QStringLiteral("x")});
    s.mainForm()->FillStatusBar();
    EXPECT_EQ(s.mainForm()->statusText(1), QStringLiteral("Applicants: 1,234"));
}

TEST_P(StartupTest, AMissingDatabaseIsReportedAndNothingStarts)
{
    StartupOptions o = options();
    o.location = [this] { return DatabaseLocation::parse(m_testDb->scratchDir() + QStringLiteral("/none")); };
    Startup s(o, talk);
    EXPECT_EQ(s.start(), Outcome::DatabaseFailed);
    ASSERT_EQ(talk.errors().size(), 1);
    EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("does not exist")));
}

MW_INSTANTIATE_BACKENDS(StartupTest);

TEST(Application, ATableErrorInAHandlerIsShownAndTheProgramGoesOn)
{
    auto* app = static_cast<MerrowindApplication*>(QCoreApplication::instance());
    mwtest::ScriptedTalk talk;
    app->setTalk(&talk);
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] {
        throw DbError(QStringLiteral("Record locked by another user.\nTable: Applican.db"));
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    app->setTalk(nullptr);
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Record locked by another user.\nTable: Applican.db")});
}
