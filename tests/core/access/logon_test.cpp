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

MW_INSTANTIATE_BACKENDS(LogonTest);
