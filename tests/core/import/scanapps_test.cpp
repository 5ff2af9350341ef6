// The scanned flags against a real directory of documents (both backends).

#include "dbfixture.h"
#include "import/scanapps.h"
#include "scriptedtalk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace mw;
using mwtest::ScriptedTalk;

class ScanTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        mwtest::StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(dir.isValid());
        const struct
        {
            const char* id;
            bool scanned;
        } applicants[] = {
            {"000123", false}, // its document is "000123.PDF"
            {"123", false},    // no document: "000123.PDF" is not its
            {"555", true},     // its document is gone
            {"777", true},     // its document is there
            {"888", false},    // a directory named like a document is none
        };
        for (const auto& a : applicants)
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Scanned) VALUES (?, ?)"),
                {QLatin1String(a.id), a.scanned});
        for (const char* name : {"000123.PDF", "777.pdf", "999.pdf", "777.txt"})
            touch(QLatin1String(name));
        QDir(dir.path()).mkdir(QStringLiteral("888.pdf"));
        setLocation(dir.path() + QLatin1Char('/'));
    }

    void touch(const QString& name)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    void setLocation(const QString& location)
    {
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf'"), {location});
        data->ReadSettings();
    }
    QStringList scanned()
    {
        QStringList ids;
        QSqlQuery q = data->database().exec(QStringLiteral("SELECT ApplicantID FROM applicants WHERE Scanned = 1 ORDER BY ApplicantID"));
        while (q.next())
            ids << q.value(0).toString();
        return ids;
    }

    QTemporaryDir dir;
    ScriptedTalk talk;
};

TEST_P(ScanTest, TheFlagsFollowTheDocumentsInTheDirectory)
{
    talk.answer({true});
    const OperationResult r = ScanForApplicationsCommand(*data, talk);
    ASSERT_TRUE(r.isDone()) << r.error.toStdString();
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Scan For Applications?")});
    EXPECT_EQ(scanned(), (QStringList{QStringLiteral("000123"), QStringLiteral("777")}));
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("Results From Scan For Applicaions:\n\n"
                                                              "Records Set To True That Where False: 1\n"
                                                              "Records Set To False That Where True: 1")});

    // Nothing to change: both counts 0.
    talk.clear();
    talk.answer({true});
    const OperationResult again = ScanForApplicationsCommand(*data, talk);
    EXPECT_EQ(again.countOf(QStringLiteral("Records Set To True")), 0);
    EXPECT_EQ(again.countOf(QStringLiteral("Records Set To False")), 0);

    // No changes without Yes.
    QFile::remove(dir.filePath(QStringLiteral("777.pdf")));
    talk.clear();
    EXPECT_TRUE(ScanForApplicationsCommand(*data, talk).isDeclined());
    EXPECT_EQ(scanned(), (QStringList{QStringLiteral("000123"), QStringLiteral("777")}));
}

// A directory that cannot be listed tells nothing: no flag changes. Only an
// existing, empty one clears them.
TEST_P(ScanTest, ADirectoryThatCannotBeListedChangesNoFlag)
{
    const QStringList before = scanned();
    touch(QStringLiteral("plainfile"));
    for (const QString& location : {dir.filePath(QStringLiteral("gone")) + QLatin1Char('/'),
                                    dir.filePath(QStringLiteral("plainfile")) + QLatin1Char('/')}) {
        SCOPED_TRACE(location.toStdString());
        setLocation(location);
        talk.clear();
        talk.answer({true});
        const OperationResult r = ScanForApplicationsCommand(*data, talk);
        ASSERT_TRUE(r.isFailed());
        EXPECT_TRUE(r.error.contains(QStringLiteral("cannot be listed"))) << r.error.toStdString();
        EXPECT_EQ(scanned(), before);
    }
    QDir(dir.path()).mkdir(QStringLiteral("empty"));
    setLocation(dir.filePath(QStringLiteral("empty")) + QLatin1Char('/'));
    talk.answer({true});
    ASSERT_TRUE(ScanForApplicationsCommand(*data, talk).isDone());
    EXPECT_TRUE(scanned().isEmpty());
}

MW_INSTANTIATE_BACKENDS(ScanTest);
