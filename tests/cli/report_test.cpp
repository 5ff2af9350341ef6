// `merrowind run report` as a real process without a display: the PDF it writes
// read back with pdftotext and pdfinfo, and the command lines it refuses.

#include "dbfixture.h"
#include "pdftext.h"
#include "programrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace mw;
using mwtest::Ran;

class ReportCommandTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_scans.isValid());
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf'"), {m_scans.path() + QLatin1Char('/')});
        const char* rows[][3] = {{"00000003", "Zeller, Ann", "2027-01-31"}, {"00000001", "Abbott, Bo", ""},
                                 {"00000002", "Moss, Cy", "2027-02-28"}};
        for (auto& r : rows)
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, RIF, RIFExpires) VALUES (?, ?, 1, ?)"),
                {QLatin1String(r[0]), QLatin1String(r[1]), QLatin1String(r[2])});
    }
    Ran run(const QStringList& args)
    {
        return mwtest::runProgram(QStringList{QStringLiteral("run"), QStringLiteral("report")} + args +
                                      QStringList{QStringLiteral("--database"),
                                                  mwtest::databaseArgument(m_testDb->location())},
                                  m_testDb->scratchDir(), mwtest::programEnvironment());
    }
    QString out(const char* name) const { return m_testDb->scratchDir() + QLatin1Char('/') + QLatin1String(name); }

    QTemporaryDir m_scans;
};

TEST_P(ReportCommandTest, WritesTheReportAsAPdfWithoutADisplay)
{
    const Ran r = run({QStringLiteral("rif"), QStringLiteral("--pdf"), out("rif.pdf")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Report Saved: %1 (1 pages, 3 lines)\n").arg(out("rif.pdf")));
    const QList<QStringList> pages = mwtest::pdfPages(out("rif.pdf"));
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages.at(0).mid(1), (QStringList{QStringLiteral("Merrowind Report|Page 1"), QStringLiteral("RIF Report"),
                                               QStringLiteral("ID Number|Name|RIF Expires On|Veteran"),
                                               QStringLiteral("00000001|Abbott, Bo"),
                                               QStringLiteral("00000002|Moss, Cy|02/28/2027"),
                                               QStringLiteral("00000003|Zeller, Ann|01/31/2027")}));
    EXPECT_EQ(mwtest::pdfTitle(out("rif.pdf")), QStringLiteral("Merrowind RIF Report"));
}

TEST_P(ReportCommandTest, RefusesWhatMakesNoSenseAndSaysWhenThereIsNothingToReport)
{
    const struct
    {
        QStringList args;
        int status;
        const char* says;
    } cases[] = {
        {{QStringLiteral("payroll"), QStringLiteral("--pdf"), QStringLiteral("x.pdf")}, 1,
         "unknown report \"payroll\""},
        {{QStringLiteral("rif")}, 1, "give the file to write with --pdf FILE"},
        {{QStringLiteral("requisition"), QStringLiteral("--pdf"), QStringLiteral("x.pdf")}, 1,
         "requisition needs the requisition's number"},
        {{QStringLiteral("requisition"), QStringLiteral("R9"), QStringLiteral("--pdf"), QStringLiteral("x.pdf")}, 1,
         "Requisition R9 Was Not Found."},
        {{QStringLiteral("scan-activity"), QStringLiteral("2026-11-05"), QStringLiteral("--pdf"), QStringLiteral("x.pdf")},
         1, "\"2026-11-05\" Is Not A Date (mm/dd/yyyy)."},
        {{QStringLiteral("no-applicants"), QStringLiteral("--pdf"), QStringLiteral("x.pdf")}, 0,
         "There are no scanned applications: no report was made."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Ran r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE((r.err + r.out).contains(QLatin1String(c.says))) << (r.err + r.out).toStdString();
    }
    EXPECT_FALSE(QFile::exists(out("x.pdf")));
}

MW_INSTANTIATE_BACKENDS(ReportCommandTest);
