// Packing the database: the texts in order, and the wait for another running copy.

#include "dbfixture.h"
#include "scriptedtalk.h"

#include "maintenance/packing.h"

#include <QFileInfo>

#include <functional>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

// A script that does something (the other copy closes) when the retry question appears.
class RetryTalk : public ScriptedTalk
{
public:
    std::function<void()> onRetry;
    bool retry(const QString& caption, const QString& text) override
    {
        const bool ok = ScriptedTalk::retry(caption, text);
        if (onRetry)
            onRetry();
        return ok;
    }
};

const QString kRetry = QStringLiteral("Open Error: Could not open Table1 exclusively - Try again?");

QStringList packTexts()
{
    QStringList out;
    for (const char* name : {"User Settings", "Settings", "Applicant", "Applications", "Requisitions", "E-Mail",
                             "Security", "ID", "Job Posting ID", "Notify", "Restrict"})
        out << QStringLiteral("Please Wait Packing Database: %1 Table").arg(QLatin1String(name));
    return out;
}

} // namespace

class PackingTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // Records to keep and records deleted, whose space packing gives back.
        Transaction tx(data->database());
        for (int i = 0; i < 200; ++i)
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Comments) VALUES (?, ?, ?)"),
                {QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0')), QStringLiteral("NAME %1").arg(i),
                 QString(2000, QLatin1Char('x'))});
        sql(QStringLiteral("DELETE FROM applicants WHERE Name <> ?"), {QStringLiteral("NAME 7")});
        tx.commit();
        data->ApplicantTable.refresh();
        ASSERT_TRUE(data->ApplicantTable.findKey({QStringLiteral("00000007")}));
    }
    qint64 sqliteFileSize() { return QFileInfo(m_testDb->location().sqliteFile()).size(); }
    std::unique_ptr<TMerrowindData> secondCopy()
    {
        auto other = std::make_unique<TMerrowindData>();
        other->open(m_testDb->location());
        return other;
    }
};

TEST_P(PackingTest, AloneEveryTableIsPackedInOrderAndStaysInUse)
{
    const qint64 before = sqliteFileSize();
    ScriptedTalk talk;
    talk.answer({true});
    ASSERT_TRUE(PackDatabaseCommand(*data, talk).isDone());
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Pack Database")});
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait), packTexts());
    EXPECT_TRUE(talk.texts(ScriptedTalk::Said::Retry).isEmpty());
    EXPECT_TRUE(talk.errors().isEmpty());
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("Database Packed")});
    EXPECT_EQ(talk.openWaits(), 0);
    if (GetParam() == mwtest::Backend::SQLite) {
        EXPECT_LT(sqliteFileSize(), before);
    }
    // The tables are in use again, on the record they stood on.
    ASSERT_TRUE(data->ApplicantTable.active());
    EXPECT_EQ(data->ApplicantTable.value(QStringLiteral("Name")).toString(), QStringLiteral("NAME 7"));
    EXPECT_EQ(data->ApplicantTable.recordCount(), 1);
    EXPECT_FALSE(data->IDTable.active()); // it was not open before either

    ScriptedTalk no;
    EXPECT_TRUE(PackDatabaseCommand(*data, no).isDeclined());
    EXPECT_TRUE(no.texts(ScriptedTalk::Said::Wait).isEmpty());
}

TEST_P(PackingTest, AnotherCopyAttachedAsksUntilCancelled)
{
    auto other = secondCopy();
    const qint64 before = sqliteFileSize();
    ScriptedTalk talk;
    talk.answer({true, true, false}); // pack; try again once; then Cancel
    const mw::OperationResult result = PackDatabaseCommand(*data, talk);
    EXPECT_TRUE(result.isFailed());
    EXPECT_TRUE(result.error.startsWith(QStringLiteral("Table is busy."))) << result.error.toStdString();
    EXPECT_EQ(talk.errors(), QStringList{result.error});
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Retry), (QStringList{kRetry, kRetry}));
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait), packTexts().mid(0, 1));
    EXPECT_TRUE(talk.informations().isEmpty());
    EXPECT_EQ(talk.openWaits(), 0);
    if (GetParam() == mwtest::Backend::SQLite) {
        EXPECT_EQ(sqliteFileSize(), before);
    }
    // The table given up on is in use again.
    EXPECT_TRUE(data->UserSettingsTable.active());
    EXPECT_TRUE(data->ApplicantTable.active());
    EXPECT_EQ(data->ApplicantTable.recordCount(), 1);
}

TEST_P(PackingTest, AnotherCopyThatClosesLetsPackingGoOn)
{
    auto other = secondCopy();
    RetryTalk talk;
    talk.onRetry = [&other] { other.reset(); };
    talk.answer({true, true}); // pack; OK once the other copy has closed
    ASSERT_TRUE(PackDatabaseCommand(*data, talk).isDone());
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Retry), QStringList{kRetry});
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait), packTexts());
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("Database Packed")});
    EXPECT_TRUE(data->ApplicantTable.active());
}

MW_INSTANTIATE_BACKENDS(PackingTest);
