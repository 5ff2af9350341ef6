// Rules that run on edits, posts, deletes and filters of the table components.

#include "dbfixture.h"

using namespace mw;

class RulesTest : public mwtest::StoreTest
{
protected:
    int count(const QString& table, const QString& where, const QVariantList& binds)
    {
        return scalar(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(table, where), binds).toInt();
    }
    void addListEntries()
    {
        for (const char* table : {"notify_list", "restrict_list"})
            sql(QStringLiteral("INSERT INTO %1 (UserID, JobPostingID) VALUES (?, ?), (?, ?), (?, ?)")
                    .arg(QLatin1String(table)),
                {QStringLiteral("ANN"), QStringLiteral("IT"), QStringLiteral("ANN"), QStringLiteral("PARKS"),
                 QStringLiteral("BOB"), QStringLiteral("IT")});
    }
};

TEST_P(RulesTest, UserIdentifierChangesAndDeletesReachTheLists)
{
    addListEntries();
    TTable& users = data->UserSettingsTable;
    users.append();
    users.setValue(QStringLiteral("UserID"), QStringLiteral("CAROL"));
    users.setValue(QStringLiteral("SecurityID"), 1);
    users.post(); // a new user leaves everybody's entries alone
    users.append();
    users.setValue(QStringLiteral("UserID"), QStringLiteral("ANN"));
    users.setValue(QStringLiteral("SecurityID"), 1);
    users.post();
    EXPECT_EQ(count(QStringLiteral("notify_list"), QStringLiteral("UserID = ?"), {QStringLiteral("ANN")}), 2);

    users.append(); // a new user begun and cancelled: the rename below still cascades
    users.cancel();
    ASSERT_TRUE(users.locate({QStringLiteral("UserID")}, {QStringLiteral("ANN")}));
    users.edit();
    users.setValue(QStringLiteral("UserID"), QStringLiteral("ANNE"));
    users.post();
    for (const QString& table : {QStringLiteral("notify_list"), QStringLiteral("restrict_list")}) {
        EXPECT_EQ(count(table, QStringLiteral("UserID = ?"), {QStringLiteral("ANNE")}), 2);
        EXPECT_EQ(count(table, QStringLiteral("UserID = ?"), {QStringLiteral("BOB")}), 1);
    }
    ASSERT_TRUE(users.locate({QStringLiteral("UserID")}, {QStringLiteral("ANNE")}));
    users.deleteRecord();
    EXPECT_EQ(count(QStringLiteral("notify_list"), QStringLiteral("1 = 1"), {}), 1);
    EXPECT_EQ(count(QStringLiteral("restrict_list"), QStringLiteral("1 = 1"), {}), 1);
}

TEST_P(RulesTest, GroupChangesCascadeButRequisitionsAndUsersKeepTheOldName)
{
    addListEntries();
    sql(QStringLiteral("INSERT INTO job_postings (JobPostingID) VALUES (?), (?)"),
        {QStringLiteral("IT"), QStringLiteral("PARKS")});
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID) VALUES (?, ?)"),
        {QStringLiteral("000001"), QStringLiteral("IT")});
    TTable& groups = data->JobPostingIDTable;
    groups.refresh();
    ASSERT_TRUE(groups.locate({QStringLiteral("JobPostingID")}, {QStringLiteral("IT")}));
    groups.edit();
    groups.setValue(QStringLiteral("JobPostingID"), QStringLiteral("TECH"));
    groups.post();
    EXPECT_EQ(count(QStringLiteral("notify_list"), QStringLiteral("JobPostingID = ?"), {QStringLiteral("TECH")}), 2);
    EXPECT_EQ(count(QStringLiteral("requisitions"), QStringLiteral("JobPostingID = ?"), {QStringLiteral("IT")}), 1);

    ASSERT_TRUE(groups.locate({QStringLiteral("JobPostingID")}, {QStringLiteral("PARKS")}));
    groups.deleteRecord();
    EXPECT_EQ(count(QStringLiteral("restrict_list"), QStringLiteral("JobPostingID = ?"), {QStringLiteral("PARKS")}), 0);
    EXPECT_EQ(count(QStringLiteral("restrict_list"), QStringLiteral("1 = 1"), {}), 2);
}

TEST_P(RulesTest, RequisitionAddressesAndDepartmentContacts)
{
    TTable& reqs = data->RequestionTable;
    reqs.append();
    reqs.setValue(QStringLiteral("ReqNumber"), QStringLiteral("000001"));
    reqs.setValue(QStringLiteral("Contact"), QStringLiteral("Dana Fox"));
    reqs.setValue(QStringLiteral("EMailAddress"), QStringLiteral("dana@example.com;boss@example.com"));
    reqs.setValue(QStringLiteral("MaxFiles"), 500);
    reqs.post();
    EXPECT_EQ(reqs.value(QStringLiteral("EMailAddress")).toString(),
              QStringLiteral("dana@example.com,boss@example.com"));
    EXPECT_EQ(reqs.value(QStringLiteral("ModifiedBy")).toString(), QStringLiteral("SUPERVISOR"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT EMailAddress FROM dept_contacts WHERE Contact = ?"),
                     {QStringLiteral("Dana Fox")})
                  .toString(),
              QStringLiteral("dana@example.com"));

    // Saving with no change of the delivery values leaves the contact alone.
    const QDate yesterday = data->today().addDays(-1);
    sql(QStringLiteral("UPDATE dept_contacts SET Updated = ?"), {yesterday});
    mw::Clock::setToday(data->today());
    reqs.edit();
    reqs.setValue(QStringLiteral("PositionTitle"), QStringLiteral("Clerk"));
    reqs.post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT Updated FROM dept_contacts")).toString(), yesterday.toString(Qt::ISODate));

    // Changing only the HTML flag updates the entry and its day.
    reqs.edit();
    reqs.setValue(QStringLiteral("SendAsHTML"), true);
    reqs.post();
    EXPECT_EQ(scalar(QStringLiteral("SELECT SendAsHTML FROM dept_contacts")).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT Updated FROM dept_contacts")).toString(),
              data->today().toString(Qt::ISODate));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM dept_contacts")).toInt(), 1);
}

TEST_P(RulesTest, ApplicantPurgeDateFollowsTheExpiryDates)
{
    const struct
    {
        const char* purge;
        const char* rif;
        const char* notRehire;
        const char* expected;
    } cases[] = {
        {"01/01/2027", "06/01/2027", "", "06/01/2027"},           // before the RIF expiry: raised to it
        {"01/01/2027", "03/01/2027", "05/01/2027", "05/01/2027"}, // the later of the two
        {"09/01/2027", "03/01/2027", "05/01/2027", "09/01/2027"}, // after both: kept
        {"05/01/2027", "05/01/2027", "", "05/01/2027"},           // equal counts as not later
        {"", "", "", ""},                                         // nothing to go by: stays empty
    };
    TTable& t = data->ApplicantTable;
    int n = 0;
    for (const auto& c : cases) {
        t.append();
        t.setValue(QStringLiteral("ApplicantID"), QString::number(++n));
        t.setValue(QStringLiteral("PurgeDate"), QLatin1String(c.purge));
        t.setValue(QStringLiteral("RIFExpires"), QLatin1String(c.rif));
        t.setValue(QStringLiteral("NotRehireExpires"), QLatin1String(c.notRehire));
        t.post();
        EXPECT_EQ(t.fieldByName(QStringLiteral("PurgeDate")).asString(), QLatin1String(c.expected)) << n;
        EXPECT_EQ(t.fieldByName(QStringLiteral("ModifiedDate")).asDate(), data->today());
    }
}

TEST_P(RulesTest, ReviewingStampsTheApproverButCommentsDoNot)
{
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES (?, ?)"),
        {QStringLiteral("000001"), QStringLiteral("00000001")});
    TTable& t = data->ApplicationTable;
    t.refresh();
    t.first();
    t.edit();
    t.setValue(QStringLiteral("Comments"), QStringLiteral("called back"));
    t.post();
    EXPECT_TRUE(t.fieldByName(QStringLiteral("ApprovedBy")).isNull());
    EXPECT_EQ(t.value(QStringLiteral("ModifiedBy")).toString(), QStringLiteral("SUPERVISOR"));
    t.edit();
    t.setValue(QStringLiteral("Reviewed"), true);
    t.post();
    EXPECT_EQ(t.value(QStringLiteral("ApprovedBy")).toString(), QStringLiteral("SUPERVISOR"));
    EXPECT_EQ(t.fieldByName(QStringLiteral("ApprovedDate")).asDate(), data->today());
}

TEST_P(RulesTest, FiltersDecideWhatTheViewsShow)
{
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID) VALUES (?, ?), (?, ?), (?, ?), (?, ?)"),
        {QStringLiteral("123999"), QStringLiteral("it"), QStringLiteral("912399"), QStringLiteral("ITX"),
         QStringLiteral("999123"), QStringLiteral("PARKS"), QStringLiteral("555555"), QStringLiteral("PARKS")});
    TTable& reqs = data->RequestionTable;
    reqs.setFiltered(true);
    EXPECT_EQ(reqs.recordCount(), 0) << "with both filters empty no requisition passes";
    data->ReqNumberFilter = QStringLiteral("123");
    reqs.refresh();
    EXPECT_EQ(reqs.recordCount(), 3);
    data->ReqNumberFilter.clear();
    data->PostingGroupFilter = QStringLiteral("It");
    reqs.refresh();
    EXPECT_EQ(reqs.recordCount(), 2) << "group starts with the filter, any case";

    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed) VALUES "
                       "(?, ?, ?), (?, ?, ?), (?, ?, ?)"),
        {QStringLiteral("123999"), QStringLiteral("0001"), 0, QStringLiteral("555555"), QStringLiteral("0001"),
         QVariant(), QStringLiteral("555555"), QStringLiteral("0002"), 1});
    TTable& apps = data->ApplicationTable;
    data->UnreviewedOnly = true;
    apps.setFiltered(true);
    EXPECT_EQ(apps.recordCount(), 2) << "an empty Reviewed counts as not reviewed";
    data->LoadReviewGroup(QStringLiteral("parks"));
    apps.refresh();
    EXPECT_EQ(apps.recordCount(), 1);
    data->UnreviewedOnly = false;
    data->ApplicantSearchText = QStringLiteral("2");
    apps.refresh();
    EXPECT_EQ(apps.recordCount(), 1);

    // A restricted user sees only applications of his permitted requisitions.
    data->LoginData.Restricted = true;
    data->PermittedGroups = {QStringLiteral("it")};
    data->LoadPermittedRequisitions();
    EXPECT_EQ(data->ReqNumberList, QStringList{QStringLiteral("123999")});
    data->ApplicantSearchText = QStringLiteral("0");
    apps.refresh();
    EXPECT_EQ(apps.recordCount(), 1);
    EXPECT_EQ(apps.value(QStringLiteral("ReqNumber")).toString(), QStringLiteral("123999"));

    // Profile 0 and its users stay hidden from the lists.
    data->UserSettingsTable.setFiltered(true);
    EXPECT_EQ(data->UserSettingsTable.recordCount(), 0);
    data->UserIDFilter = QStringLiteral("supervisor");
    data->UserSettingsTable.refresh();
    EXPECT_EQ(data->UserSettingsTable.recordCount(), 1);
    data->SecurityTable.setFiltered(true);
    EXPECT_EQ(data->SecurityTable.recordCount(), 0);
}

MW_INSTANTIATE_BACKENDS(RulesTest);
