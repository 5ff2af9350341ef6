// Several running copies on one database: record locks and identifier counters.

#include "dbfixture.h"

#include <QProcess>
#include <QSet>

#include <algorithm>
#include <csignal>

using namespace mw;

class ProcessesTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name) VALUES (?, ?)"),
            {QStringLiteral("00000001"), QStringLiteral("ANN LEE")});
        data->ApplicantTable.refresh();
    }
    QString location() const
    {
        const DatabaseLocation& l = m_testDb->location();
        return l.dialect == Dialect::SQLite ? l.directory : l.url;
    }
    // Starts a copy that puts the applicant into editing and keeps it there.
    void startHolder(QProcess& p)
    {
        p.start(QStringLiteral(MW_STOREPROBE), {location(), QStringLiteral("lock"), QStringLiteral("00000001")});
        ASSERT_TRUE(p.waitForStarted());
        ASSERT_TRUE(p.waitForReadyRead(30000)) << p.readAllStandardError().toStdString();
        ASSERT_EQ(p.readLine().trimmed(), QByteArray("LOCKED"));
    }
    QString probe(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral(MW_STOREPROBE), QStringList{location()} + args);
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
};

TEST_P(ProcessesTest, ARecordInEditingIsLockedForEveryOtherCopy)
{
    TTable& t = data->ApplicantTable;
    {
        QProcess holder;
        startHolder(holder);
        ASSERT_TRUE(t.findKey({QStringLiteral("00000001")}));
        try {
            t.edit();
            FAIL() << "edited a record another copy has in editing";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("Record locked by another user"))) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("Applican.db")));
            EXPECT_TRUE(e.message().contains(QStringLiteral("PROBE")));
        }
        EXPECT_EQ(t.state(), DataSetState::Browse);
        holder.closeWriteChannel(); // the other copy cancels its edit
        ASSERT_TRUE(holder.waitForFinished(30000));
    }
    t.edit();
    t.setValue(QStringLiteral("Name"), QStringLiteral("ANN LEE-SMITH"));
    EXPECT_TRUE(probe({QStringLiteral("edit"), QStringLiteral("00000001")}).startsWith(QStringLiteral("ERROR: Record locked")));
    t.post();
    EXPECT_EQ(probe({QStringLiteral("edit"), QStringLiteral("00000001")}), QStringLiteral("OK"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT Name FROM applicants")).toString(), QStringLiteral("ANN LEE-SMITH"));
}

TEST_P(ProcessesTest, LocksOfACopyThatDiedDoNotLast)
{
    QProcess holder;
    startHolder(holder);
    ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
    ASSERT_TRUE(holder.waitForFinished(30000));
    TTable& t = data->ApplicantTable;
    ASSERT_TRUE(t.findKey({QStringLiteral("00000001")}));
    EXPECT_NO_THROW(t.edit());
    t.cancel();
    // The dead copy is no longer listed among the running ones.
    for (const SessionInfo& s : data->sessions().sessions())
        EXPECT_NE(s.userId, QStringLiteral("PROBE"));
}

TEST_P(ProcessesTest, EachCounterNumberGoesToExactlyOneCopy)
{
    constexpr int copies = 3, each = 60;
    QProcess p[copies];
    for (QProcess& proc : p)
        proc.start(QStringLiteral(MW_STOREPROBE), {location(), QStringLiteral("numbers"), QString::number(each)});
    QSet<int> numbers;
    for (int i = 0; i < each; ++i) // this copy draws too, meanwhile
        numbers.insert(data->TakeNextNumber(TMerrowindData::Counter::Applicant));
    int total = each;
    for (QProcess& proc : p) {
        ASSERT_TRUE(proc.waitForFinished(120000));
        const QList<QByteArray> lines = proc.readAllStandardOutput().trimmed().split('\n');
        ASSERT_EQ(lines.size(), each) << proc.readAllStandardError().toStdString();
        for (const QByteArray& l : lines) {
            EXPECT_FALSE(numbers.contains(l.toInt())) << "number " << l.toInt() << " given twice";
            numbers.insert(l.toInt());
        }
        total += each;
    }
    EXPECT_EQ(numbers.size(), total);
    EXPECT_EQ(*std::min_element(numbers.begin(), numbers.end()), 1);
    EXPECT_EQ(*std::max_element(numbers.begin(), numbers.end()), total);
    EXPECT_EQ(scalar(QStringLiteral("SELECT AppStart FROM id_counters")).toInt(), total + 1);
}

TEST_P(ProcessesTest, ACopyThatDiesMidWriteLeavesNothingHalfDone)
{
    QProcess writer;
    writer.start(QStringLiteral(MW_STOREPROBE), {location(), QStringLiteral("crash"), QStringLiteral("00000002")});
    ASSERT_TRUE(writer.waitForReadyRead(30000)) << writer.readAllStandardError().toStdString();
    ASSERT_EQ(writer.readLine().trimmed(), QByteArray("WRITING"));
    ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
    ASSERT_TRUE(writer.waitForFinished(30000));

    data.reset();
    data = std::make_unique<TMerrowindData>();
    ASSERT_NO_THROW(data->open(m_testDb->location()));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applicants")).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT Name FROM applicants")).toString(), QStringLiteral("ANN LEE"));
    sql(QStringLiteral("INSERT INTO applicants (ApplicantID) VALUES (?)"), {QStringLiteral("00000002")});
}

MW_INSTANTIATE_BACKENDS(ProcessesTest);
