// The logon decisions on a real database: the three ways in and the admission.

#include "access/logon.h"
#include "datastore/passwords.h"
#include "dbfixture.h"

using namespace mw;

class LogonTest : public mwtest::StoreTest
{
protected:
    void addUser(const QString& id, const QString& password, int profile)
    {
        sql(QStringLiteral("INSERT INTO users (UserID, UserPassword, SecurityID) VALUES (?, ?, ?)"),
            {id, password.isEmpty() ? QString() : passwords::hash(password), profile});
    }
    // A profile with only the right given (none when empty).
    int profile(const QString& right)
    {
        sql(QStringLiteral("INSERT INTO security_profiles (Security) VALUES (?)"), {right.isEmpty() ? QStringLiteral("Plain") : right});
        const int id = scalar(QStringLiteral("SELECT MAX(SecurityID) FROM security_profiles")).toInt();
        if (!right.isEmpty())
            sql(QStringLiteral("UPDATE security_profiles SET %1 = ? WHERE SecurityID = ?").arg(right), {true, id});
        return id;
    }
    void setting(const QString& field, const QVariant& value)
    {
        sql(QStringLiteral("UPDATE settings SET %1 = ?").arg(field), {value});
    }
};

TEST_P(LogonTest, TheFirstRunSupervisorOnlyWhileHeIsAloneAndWithoutPassword)
{
    ASSERT_TRUE(LogonFirstRunSupervisor(*data));
    EXPECT_EQ(data->LoginData.UserID, QStringLiteral("SUPERVISOR"));
    EXPECT_TRUE(data->SecurityData.Supervisor);

    addUser(QStringLiteral("ANN"), QStringLiteral("pw"), profile(QString()));
    EXPECT_FALSE(LogonFirstRunSupervisor(*data)) << "a second user ends the first run";
    sql(QStringLiteral("DELETE FROM users WHERE UserID = ?"), {QStringLiteral("ANN")});
    sql(QStringLiteral("UPDATE users SET UserPassword = ?"), {passwords::hash(QStringLiteral("set"))});
    EXPECT_FALSE(LogonFirstRunSupervisor(*data)) << "a supervisor with a password";
}

TEST_P(LogonTest, AutomaticLogonNeedsTheNetworkTheSettingAndAKnownName)
{
    addUser(QStringLiteral("ANN"), QStringLiteral("pw"), profile(QString()));
    const struct
    {
        bool network;
        bool autoLogin;
        const char* name;
        bool in;
    } cases[] = {
        {true, true, "ann", true},   {true, false, "ann", false}, {false, true, "ann", false},
        {true, true, "bob", false},  {true, true, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.network << c.autoLogin << c.name);
        setting(QStringLiteral("AllowAutoLogin"), c.autoLogin);
        EXPECT_EQ(LogonAutomatic(*data, c.network, QLatin1String(c.name)), c.in);
        if (c.in) {
            EXPECT_EQ(data->LoginData.UserID, QStringLiteral("ANN"));
        }
    }
}

TEST_P(LogonTest, PasswordsAreCheckedAndAdmissionFollowsDeniedLogins)
{
    const int plain = profile(QString());
    const int admin = profile(QStringLiteral("CanChangeGeneral"));
    addUser(QStringLiteral("ANN"), QStringLiteral("pw"), plain);
    addUser(QStringLiteral("ADA"), QStringLiteral("root"), admin);

    EXPECT_FALSE(LogonWithPassword(*data, QStringLiteral("ANN"), QStringLiteral("PW")));
    EXPECT_EQ(admit(*data, false), Admission::InvalidLogin);
    EXPECT_FALSE(LogonWithPassword(*data, QStringLiteral("NOBODY"), QString()));

    const struct
    {
        const char* user;
        const char* password;
        bool denied;
        Admission admission;
    } cases[] = {
        {"ann", "pw", false, Admission::Admitted},
        {"ann", "pw", true, Admission::LoginsDenied},
        {"ada", "root", true, Admission::Admitted},
        {"ada", "root", false, Admission::Admitted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.user << " denied=" << c.denied);
        setting(QStringLiteral("AllowLogin"), c.denied); // the stored flag means "logins denied"
        ASSERT_TRUE(LogonWithPassword(*data, QLatin1String(c.user), QLatin1String(c.password)));
        EXPECT_EQ(admit(*data, true), c.admission);
        // The administrator's way in never changes what is stored.
        EXPECT_EQ(scalar(QStringLiteral("SELECT AllowLogin FROM settings")).toBool(), c.denied);
    }
}

// One identifier, one user, whatever the letter case: a second one cannot be
// stored, and where a database lacks the guard the logon still loads the very
// user whose password it checked and takes no ambiguous name without one.
TEST_P(LogonTest, NobodyBecomesAnotherUser)
{
    const int plain = profile(QString());
    sql(QStringLiteral("UPDATE users SET UserPassword = ? WHERE UserID = ?"),
        {passwords::hash(QStringLiteral("boss")), QStringLiteral("SUPERVISOR")});
    addUser(QStringLiteral("ANN"), QStringLiteral("pw"), plain);

    TTable& users = data->UserSettingsTable;
    users.refresh();
    users.append();
    users.setValue(QStringLiteral("UserID"), QStringLiteral("supervisor"));
    users.setValue(QStringLiteral("SecurityID"), plain);
    try {
        users.post();
        ADD_FAILURE() << "a second SUPERVISOR was stored";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.isKeyViolation() || e.message().startsWith(QStringLiteral("Key violation."))) << e.message().toStdString();
    }
    users.cancel();
    EXPECT_ANY_THROW(addUser(QStringLiteral("Ann"), QStringLiteral("x"), plain)) << "stored past the table too";

    // A database without the guard, holding such a pair.
    sql(QStringLiteral("DROP INDEX users_userid_nocase"));
    addUser(QStringLiteral("supervisor"), QStringLiteral("mine"), plain);
    setting(QStringLiteral("AllowAutoLogin"), true);
    const struct
    {
        bool withPassword;
        const char* user;
        const char* password;
        bool in;
        bool supervisor;
    } cases[] = {
        {true, "supervisor", "mine", true, false}, // his own row, not the first one
        {true, "SUPERVISOR", "mine", true, false},
        {true, "Supervisor", "boss", true, true},
        {true, "supervisor", "BOSS", false, false}, // passwords keep their case
        {false, "supervisor", "", false, false},    // without a password the name is ambiguous
        {false, "ann", "", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.user << " / " << c.password);
        const bool in = c.withPassword ? LogonWithPassword(*data, QLatin1String(c.user), QLatin1String(c.password))
                                       : LogonAutomatic(*data, true, QLatin1String(c.user));
        EXPECT_EQ(in, c.in);
        if (in) {
            EXPECT_EQ(data->SecurityData.Supervisor, c.supervisor);
            EXPECT_EQ(data->LoginData.SecurityID, c.supervisor ? 0 : plain);
        }
    }
}

// A restricted user's lists name him in any letter case.
TEST_P(LogonTest, ListsNameAUserInAnyLetterCase)
{
    addUser(QStringLiteral("MLOPEZ"), QStringLiteral("pw"), profile(QString()));
    sql(QStringLiteral("UPDATE users SET Restricted = ? WHERE UserID = ?"), {true, QStringLiteral("MLOPEZ")});
    sql(QStringLiteral("INSERT INTO restrict_list (UserID, JobPostingID) VALUES (?, ?), (?, ?), (?, ?)"),
        {QStringLiteral("mlopez"), QStringLiteral("IT"), QStringLiteral("MLopez"), QStringLiteral("PARKS"),
         QStringLiteral("BOB"), QStringLiteral("HR")});
    sql(QStringLiteral("INSERT INTO notify_list (UserID, JobPostingID) VALUES (?, ?)"),
        {QStringLiteral("mlopez"), QStringLiteral("IT")});
    ASSERT_TRUE(LogonWithPassword(*data, QStringLiteral("mlopez"), QStringLiteral("pw")));
    EXPECT_EQ(data->PermittedGroups, (QStringList{QStringLiteral("IT"), QStringLiteral("PARKS")}));

    // Renaming and deleting him take all his entries along.
    TTable& users = data->UserSettingsTable;
    users.refresh();
    ASSERT_TRUE(users.locate({QStringLiteral("UserID")}, {QStringLiteral("MLOPEZ")}));
    users.edit();
    users.setValue(QStringLiteral("UserID"), QStringLiteral("MLOPEZ2"));
    users.post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM restrict_list WHERE UserID = ?"), {QStringLiteral("MLOPEZ2")}).toInt(), 2);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM notify_list WHERE UserID = ?"), {QStringLiteral("MLOPEZ2")}).toInt(), 1);
    sql(QStringLiteral("UPDATE restrict_list SET UserID = ? WHERE JobPostingID = ?"), {QStringLiteral("mlopez2"), QStringLiteral("IT")});
    ASSERT_TRUE(users.locate({QStringLiteral("UserID")}, {QStringLiteral("MLOPEZ2")}));
    users.deleteRecord();
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM restrict_list")).toInt(), 1) << "BOB's entry alone stays";
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM notify_list")).toInt(), 0);
}

MW_INSTANTIATE_BACKENDS(LogonTest);
