// The table component: order, navigation across fetch windows, filters, editing.

#include "dbfixture.h"

#include <functional>

using namespace mw;

class TableTest : public mwtest::StoreTest
{
protected:
    // Applicants 00000001 .. n, inserted in reverse so that order comes from the key.
    void addApplicants(int n)
    {
        Transaction tx(data->database());
        for (int i = n; i >= 1; --i)
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"),
                {QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0')), QStringLiteral("NAME %1").arg(i)});
        tx.commit();
        data->ApplicantTable.refresh();
    }
    static QString id(int i) { return QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0')); }
};

TEST_P(TableTest, WalksEveryRecordInKeyOrderBothWays)
{
    TTable& t = data->ApplicantTable;
    // Sizes around the fetch window's edges.
    for (int n : {0, 1, 99, 100, 101, 200, 250}) {
        sql(QStringLiteral("DELETE FROM applicants"));
        addApplicants(n);
        EXPECT_EQ(t.recordCount(), n);
        int seen = 0;
        for (t.first(); !t.eof(); t.next()) {
            ++seen;
            ASSERT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(seen)) << n;
        }
        EXPECT_EQ(seen, n);
        seen = 0;
        for (t.last(); !t.bof(); t.prior())
            ASSERT_EQ(t.value(QStringLiteral("applicantid")).toString(), id(n - seen++)) << n;
        EXPECT_EQ(seen, n);
        t.first();
        EXPECT_EQ(t.isEmpty(), n == 0);
    }
    ASSERT_TRUE(t.moveTo(173));
    EXPECT_EQ(t.fieldByName(QStringLiteral("ApplicantID")).asString(), id(174));
    EXPECT_FALSE(t.moveTo(250));
    ASSERT_TRUE(t.findKey({id(201)}));
    EXPECT_EQ(t.recNo(), 200);
    t.prior();
    EXPECT_EQ(t.fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("NAME 200"));
    const qint64 mark = t.bookmark();
    t.first();
    ASSERT_TRUE(t.gotoBookmark(mark));
    EXPECT_EQ(t.recNo(), 199);
}

TEST_P(TableTest, AwkwardValuesAreStoredAndFoundLikeAnyOther)
{
    const QStringList names = {QStringLiteral("O'Brien, Pat"), QStringLiteral("Bob \"The Builder\" Jones"),
                               QStringLiteral("José Núñez"), QStringLiteral("100% _under_ score\\")};
    TTable& t = data->ApplicantTable;
    int n = 0;
    for (const QString& name : names) {
        t.append();
        t.setValue(QStringLiteral("ApplicantID"), id(++n));
        t.setValue(QStringLiteral("Name"), name);
        t.post();
    }
    for (int i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(t.locate({QStringLiteral("Name")}, {names[i]})) << names[i].toStdString();
        EXPECT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(i + 1));
    }
    // Searching: lower case finds capitals and accented letters, wildcards are plain characters.
    data->SearchInName = true;
    const struct
    {
        QString text;
        int expected;
    } searches[] = {{QStringLiteral("núñez"), 1}, {QStringLiteral("o'b"), 1}, {QStringLiteral("\"the"), 1},
                    {QStringLiteral("%"), 1},     {QStringLiteral("_"), 1},   {QStringLiteral("\\"), 1},
                    {QStringLiteral("e"), 4},     {QString(), 0}};
    for (const auto& s : searches) {
        data->ApplicantSearchText = s.text;
        t.setFiltered(false);
        t.setFiltered(true);
        EXPECT_EQ(t.recordCount(), s.expected) << s.text.toStdString();
    }
    EXPECT_EQ(data->ApplicantSearchText, QString());
}

TEST_P(TableTest, NameSearchFollowsEditsDeletesAndStatements)
{
    addApplicants(3);
    TTable& t = data->ApplicantTable;
    auto found = [&](const char* text) {
        data->SearchInName = true;
        data->ApplicantSearchText = QString::fromUtf8(text);
        t.setFiltered(false);
        t.setFiltered(true);
        QStringList ids;
        for (t.first(); !t.eof(); t.next())
            ids << t.value(QStringLiteral("ApplicantID")).toString();
        t.setFiltered(false);
        return ids;
    };
    ASSERT_TRUE(t.findKey({id(2)}));
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("Vanderpoel, Åsa"));
    t.post();
    EXPECT_EQ(found("derpo"), QStringList{id(2)});
    EXPECT_EQ(found("åsa"), QStringList{id(2)});
    EXPECT_TRUE(found("name 2").isEmpty());
    sql(QStringLiteral("UPDATE applicants SET Name = ? WHERE ApplicantID = ?"), {QStringLiteral("Vanderpoel, Bo"), id(3)});
    EXPECT_EQ(found("vanderpoel"), (QStringList{id(2), id(3)}));
    ASSERT_TRUE(t.findKey({id(2)}));
    t.deleteRecord();
    EXPECT_EQ(found("vanderpoel"), QStringList{id(3)});
}

TEST_P(TableTest, FailingRuleOrKeyViolationKeepsTheRecordInEditing)
{
    addApplicants(3);
    TTable& t = data->ApplicantTable;
    t.beforePost = [](TTable&) { throw DbError(QStringLiteral("refused")); };
    ASSERT_TRUE(t.findKey({id(2)}));
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("CHANGED"));
    EXPECT_THROW(t.post(), DbError);
    EXPECT_EQ(t.state(), DataSetState::Edit);
    t.cancel();
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), QStringLiteral("NAME 2"));
    t.beforePost = nullptr;

    t.append();
    t.setValue(QStringLiteral("ApplicantID"), id(3));
    try {
        t.post();
        FAIL() << "a second applicant with the same key was posted";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Key violation"))) << e.message().toStdString();
    }
    EXPECT_EQ(t.state(), DataSetState::Insert);
    t.cancel();
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants")).toInt(), 3);
}

TEST_P(TableTest, PostingARecordDeletedMeanwhileIsRefusedAndNothingComesBack)
{
    // Deleted by a bulk statement of another running copy, or on this very connection.
    TMerrowindData other;
    other.open(m_testDb->location());
    const struct
    {
        const char* who;
        std::function<void(const QString&)> purge;
    } deleters[] = {
        {"another copy",
         [&](const QString&) {
             other.database().exec(QStringLiteral("DELETE FROM applicants WHERE Name LIKE ?"), {QStringLiteral("%2")});
         }},
        {"a statement here",
         [&](const QString& key) { sql(QStringLiteral("DELETE FROM applicants WHERE ApplicantID = ?"), {key}); }},
    };
    TTable& t = data->ApplicantTable;
    for (const auto& d : deleters) {
        SCOPED_TRACE(d.who);
        sql(QStringLiteral("DELETE FROM applicants"));
        addApplicants(3);
        ASSERT_TRUE(t.findKey({id(2)}));
        t.edit();
        t.setValue(QStringLiteral("Name"), QStringLiteral("CHANGED"));
        d.purge(id(2));
        try {
            t.post();
            FAIL() << "the change to a deleted record was posted";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("Record/Key deleted"))) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("Applican.db"))) << e.message().toStdString();
        }
        EXPECT_EQ(t.state(), DataSetState::Edit);
        EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), QStringLiteral("CHANGED")) << "the change is kept";
        t.cancel();
        EXPECT_EQ(t.state(), DataSetState::Browse);
        EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants WHERE ApplicantID = ?"), {id(2)}).toInt(), 0);
        EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants WHERE Name = ?"), {QStringLiteral("CHANGED")})
                      .toInt(),
                  0);
        EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM mw_locks")).toInt(), 0) << "the lock outlived cancel";
        t.refresh();
        EXPECT_EQ(t.recordCount(), 2);
    }
}

TEST_P(TableTest, PostingValuesTheRecordAlreadyHoldsSucceeds)
{
    // The update changes nothing in the row: it still counts as found.
    addApplicants(2);
    TMerrowindData other;
    other.open(m_testDb->location());
    TTable& t = data->ApplicantTable;
    ASSERT_TRUE(t.findKey({id(1)}));
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("SAME"));
    t.setValue(QStringLiteral("RIF"), true);
    other.database().exec(QStringLiteral("UPDATE applicants SET Name = ?, RIF = ? WHERE ApplicantID = ?"),
                          {QStringLiteral("SAME"), 1, id(1)});
    EXPECT_NO_THROW(t.post());
    EXPECT_EQ(t.state(), DataSetState::Browse);
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), QStringLiteral("SAME"));
    // Values set back to what was read: nothing to write, still a plain post.
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("OTHER"));
    t.setValue(QStringLiteral("Name"), QStringLiteral("SAME"));
    EXPECT_NO_THROW(t.post());
    EXPECT_EQ(t.state(), DataSetState::Browse);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants WHERE Name = ? AND RIF = 1"),
                     {QStringLiteral("SAME")})
                  .toInt(),
              1);
}

TEST_P(TableTest, EditPostAndDeleteKeepAUsefulCurrentRecord)
{
    addApplicants(5);
    TTable& t = data->ApplicantTable;
    ASSERT_TRUE(t.findKey({id(2)}));
    t.edit();
    t.setValue(QStringLiteral("ApplicantID"), id(9)); // a key change moves the record in the order
    t.setValue(QStringLiteral("RIFExpires"), QStringLiteral("02/29/2028"));
    t.setValue(QStringLiteral("RIF"), QStringLiteral("True"));
    t.setValue(QStringLiteral("Zip"), QStringLiteral("123456789012345")); // longer than the field
    t.post();
    EXPECT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(9));
    EXPECT_EQ(t.fieldByName(QStringLiteral("RIFExpires")).asString(), QStringLiteral("02/29/2028"));
    EXPECT_TRUE(t.fieldByName(QStringLiteral("RIF")).asBoolean());
    EXPECT_EQ(t.fieldByName(QStringLiteral("Zip")).asString(), QStringLiteral("1234567890"));
    EXPECT_EQ(t.recNo(), 4);
    EXPECT_EQ(scalar(QStringLiteral("SELECT RIFExpires FROM applicants WHERE ApplicantID = ?"), {id(9)}).toString(),
              QStringLiteral("2028-02-29"));

    EXPECT_FALSE(t.findKey({id(7)}));
    EXPECT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(9)) << "a failed search does not move";
    ASSERT_TRUE(t.findKey({id(3)}));
    t.deleteRecord();
    EXPECT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(4));
    t.last();
    t.deleteRecord();
    EXPECT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(5));
    EXPECT_EQ(t.recordCount(), 3);

    EXPECT_THROW(t.setValue(QStringLiteral("Name"), QStringLiteral("x")), DbError) << "not in edit mode";
    t.edit();
    EXPECT_THROW(t.setValue(QStringLiteral("RIFExpires"), QStringLiteral("13/45/2020")), DbError);
    t.cancel();
}

TEST_P(TableTest, LookupsFollowTheirRecordsAndShowEmptyForOrphans)
{
    sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID) VALUES (?, ?)"),
        {QStringLiteral("000100"), QStringLiteral("IT")});
    sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, VeteranPreference) VALUES (?, ?, ?)"),
        {id(1), QStringLiteral("ANN LEE"), true});
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES (?, ?), (?, ?), (?, ?)"),
        {QStringLiteral("000100"), id(1), QStringLiteral("000100"), id(2), QStringLiteral("000999"), id(1)});
    TTable& t = data->ApplicationTable;
    t.refresh();
    t.first();
    EXPECT_EQ(t.value(QStringLiteral("PostingID")).toString(), QStringLiteral("IT"));
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), QStringLiteral("ANN LEE"));
    EXPECT_TRUE(t.fieldByName(QStringLiteral("Veteran")).asBoolean());
    t.next();
    EXPECT_TRUE(t.fieldByName(QStringLiteral("Name")).isNull()) << "applicant is gone";
    t.next();
    EXPECT_TRUE(t.fieldByName(QStringLiteral("PostingID")).isNull()) << "requisition is gone";
    EXPECT_THROW(t.fieldByName(QStringLiteral("Name")).setValue(QStringLiteral("x")), DbError);
}

TEST_P(TableTest, StatementChangesShowAfterRefreshTables)
{
    addApplicants(2);
    TTable& t = data->ApplicantTable;
    t.first();
    sql(QStringLiteral("UPDATE applicants SET Name = ?"), {QStringLiteral("RENAMED")});
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), QStringLiteral("NAME 1"));
    data->RefreshTables();
    EXPECT_EQ(t.value(QStringLiteral("Name")).toString(), QStringLiteral("RENAMED"));
    EXPECT_EQ(t.value(QStringLiteral("ApplicantID")).toString(), id(1));
}

TEST_P(TableTest, TransactionRollsBackUnlessCommitted)
{
    {
        Transaction tx(data->database());
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID) VALUES (?)"), {id(1)});
    }
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants")).toInt(), 0);
    {
        Transaction tx(data->database());
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID) VALUES (?)"), {id(1)});
        tx.commit();
    }
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants")).toInt(), 1);
}

MW_INSTANTIATE_BACKENDS(TableTest);
