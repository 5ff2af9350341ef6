// The Reports menu's reports on both backends, read back from their PDFs: which
// records each lists, in which order, with which texts; the requisition status
// report's caption block; the scan reports against a real directory with the
// names that trip a careless reader.

#include "dbfixture.h"
#include "pdftext.h"
#include "scriptedtalk.h"
#include "tmpdirscope.h"

#include "reports/reportset.h"
#include "shared/clock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

const QDateTime kPrinted(QDate(2026, 11, 20), QTime(9, 30));
const QVariant kNull = QVariant(QMetaType(QMetaType::QString));

// A document with its size and day of change.
void document(const QString& path, int size, const QDate& day)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(QByteArray(size, 'x'));
    f.close();
    const time_t when = QDateTime(day, QTime(10, 0)).toSecsSinceEpoch();
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

class ReportSetTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_out.isValid());
        ASSERT_TRUE(m_scans.isValid());
        ASSERT_TRUE(m_tmp.isValid());
        m_tmpdir = std::make_unique<mwtest::TmpDirScope>(m_tmp.path());
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf'"), {m_scans.path() + QLatin1Char('/')});
        data->ReadSettings();
    }
    void TearDown() override
    {
        m_tmpdir.reset();
        StoreTest::TearDown();
    }

    void applicant(const QString& id, const QString& name, const QVariantList& flags = {})
    {
        // flags: RIF, RIFExpires, VeteranPreference, NotRehire, NotRehireExpires, DoNotPurge, Comments, DateLoaded
        QVariantList values{id, name};
        for (int i = 0; i < 8; ++i)
            values << flags.value(i, kNull);
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, RIF, RIFExpires, VeteranPreference, NotRehire, "
                           "NotRehireExpires, DoNotPurge, Comments, DateLoaded) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            values);
    }
    void requisition(const QString& number, const QString& group, bool filled, bool marked, bool continuous,
                     const QString& web = QString())
    {
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, PositionTitle, Department, PositionFilled, "
                           "PurgeReq, Continue, WebAddress) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
            {number, group, QStringLiteral("Title ") + number, QStringLiteral("Dept ") + number, filled, marked,
             continuous, web});
    }
    // The report's detail lines (after the headings), all pages; or the outcome when
    // no report was made.
    QStringList lines(const ReportRequest& request, QString* outcome = nullptr, QStringList* header = nullptr)
    {
        std::unique_ptr<Report> report;
        const OperationResult r = makeReport(*data, talk, request, kPrinted, report);
        if (outcome)
            *outcome = r.isFailed() ? r.error : r.outcomeName();
        if (!r.isDone())
            return {};
        EXPECT_TRUE(report);
        const QString file = m_out.filePath(QStringLiteral("report.pdf"));
        EXPECT_TRUE(report->writePdf(file, talk).isDone());
        QStringList out;
        const QList<QStringList> pages = mwtest::pdfPages(file);
        for (const QStringList& page : pages) {
            // The header ends with the headings: the line starting with the first heading.
            const QString first = report->definition().columns.value(0).heading;
            qsizetype at = 0;
            while (at < page.size() && !page.at(at).startsWith(first))
                ++at;
            if (header && header->isEmpty())
                *header = page.mid(0, at + 1);
            out << page.mid(at + 1);
        }
        return out;
    }

    ScriptedTalk talk;
    QTemporaryDir m_out;
    QTemporaryDir m_scans;
    QTemporaryDir m_tmp;
    std::unique_ptr<mwtest::TmpDirScope> m_tmpdir;
};

TEST_P(ReportSetTest, EachListShowsItsRecordsInAFixedOrder)
{
    const QDate d(2027, 5, 1);
    //            RIF   expires  vet    NR    NRexp  DNP   comment
    applicant(QStringLiteral("A3"), QStringLiteral("Baker, Ann"), {1, d, 0, 0, kNull, 0});
    applicant(QStringLiteral("A1"), QStringLiteral("Baker, Ann"), {1, kNull, 1, 1, d, 1, QStringLiteral("keep her")});
    applicant(QStringLiteral("A2"), QStringLiteral("Adams, Bo"), {1, d, 1, 0, kNull, 0});
    applicant(QStringLiteral("A4"), QStringLiteral("Cole, Cy"), {0, kNull, 1, 1, d, 1});
    requisition(QStringLiteral("R3"), QStringLiteral("NUR"), true, false, true, QStringLiteral("http://x/a/index.htm"));
    requisition(QStringLiteral("R1"), QStringLiteral("PARKS"), true, true, false);
    requisition(QStringLiteral("R2"), QStringLiteral("ADM"), true, false, true);
    requisition(QStringLiteral("R4"), QStringLiteral("ADM"), false, true, false);

    const struct
    {
        ReportKind kind;
        QStringList expected;
    } cases[] = {
        {ReportKind::RIF,
         {QStringLiteral("A2|Adams, Bo|05/01/2027|True"), QStringLiteral("A1|Baker, Ann|True"),
          QStringLiteral("A3|Baker, Ann|05/01/2027|False")}},
        {ReportKind::Veteran,
         {QStringLiteral("A2|Adams, Bo|True|05/01/2027"), QStringLiteral("A1|Baker, Ann|True"),
          QStringLiteral("A4|Cole, Cy|False")}},
        {ReportKind::NotRehirable,
         {QStringLiteral("A1|Baker, Ann|05/01/2027|True|True"), QStringLiteral("A4|Cole, Cy|05/01/2027|True|False")}},
        {ReportKind::DoNotPurge, {QStringLiteral("A1|Baker, Ann|keep her"), QStringLiteral("A4|Cole, Cy")}},
        // Filled and marked: listed as marked only.
        {ReportKind::Filled, {QStringLiteral("ADM|R2|Title R2|Dept R2"), QStringLiteral("NUR|R3|Title R3|Dept R3")}},
        {ReportKind::MarkedForDeletion,
         {QStringLiteral("PARKS|R1|Title R1|Dept R1"), QStringLiteral("ADM|R4|Title R4|Dept R4")}},
        {ReportKind::Continuous,
         {QStringLiteral("ADM|R2|Title R2|Dept R2"), QStringLiteral("NUR|R3|Title R3|Dept R3|http://x/a/index.htm")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(reportName(c.kind).toStdString());
        EXPECT_EQ(lines({c.kind, {}, {}}), c.expected);
    }

    QStringList header;
    lines({ReportKind::RIF, {}, {}}, nullptr, &header);
    EXPECT_EQ(header, (QStringList{QStringLiteral("11/20/2026 9:30 AM"), QStringLiteral("Merrowind Report|Page 1"),
                                   QStringLiteral("RIF Report"),
                                   QStringLiteral("ID Number|Name|RIF Expires On|Veteran")}));
}

TEST_P(ReportSetTest, TheRequisitionStatusReportShowsItsRequisitionAndItsApplications)
{
    requisition(QStringLiteral("R1"), QStringLiteral("NUR"), true, false, false);
    requisition(QStringLiteral("R2"), QStringLiteral("NUR"), false, false, false);
    sql(QStringLiteral("UPDATE requisitions SET ExemptPosition = 1, FinalSent = 1 WHERE ReqNumber = 'R1'"));
    applicant(QStringLiteral("A2"), QStringLiteral("Baker, Ann"), {0, kNull, 1});
    applicant(QStringLiteral("A1"), QStringLiteral("Baker, Ann"), {1});
    sql(QStringLiteral("UPDATE applicants SET Scanned = 1 WHERE ApplicantID = 'A1'"));
    sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, Reviewed, SemtDate) VALUES "
                       "('R1', 'A2', 1, 1, '2026-11-05'), ('R1', 'A1', 0, 0, NULL)"));

    QStringList header;
    EXPECT_EQ(lines({ReportKind::Requisition, QStringLiteral("R1"), {}}, nullptr, &header),
              (QStringList{QStringLiteral("A1|Baker, Ann|False|False|True|True"),
                           QStringLiteral("A2|Baker, Ann|11/05/2026|True|True|True|False")}));
    EXPECT_EQ(header.mid(2),
              (QStringList{QStringLiteral("Job Requisition Status"),
                           QStringLiteral("Requisition: R1|Position Title: Title R1|Department: Dept R1"),
                           QStringLiteral("Exempt Position: Yes|Selection Criteria Sent: No|Underutilized: No"),
                           QStringLiteral("Position Filled: Yes|Delete Reqisition: No|Initital Forms Sent: No"),
                           QStringLiteral("Final Forms Sent: Yes"),
                           QStringLiteral("ID Number|Applicant Name|Date Sent|Reviewed|Approved|Scanned|Veteran|RIF")}));

    // Without applications: the header and the block only.
    QString outcome;
    EXPECT_TRUE(lines({ReportKind::Requisition, QStringLiteral("R2"), {}}, &outcome).isEmpty());
    EXPECT_EQ(outcome, QStringLiteral("done"));
    // A number that does not exist prints nothing.
    EXPECT_TRUE(lines({ReportKind::Requisition, QStringLiteral("R9"), {}}, &outcome).isEmpty());
    EXPECT_EQ(outcome, QStringLiteral("Requisition R9 Was Not Found."));
}

// The scan reports: one listing of a real directory with capitals, a nameless
// applicant, a ";" in a name, a directory named like a document, a file of
// another extension.
TEST_P(ReportSetTest, TheScanReportsCompareTheDirectoryWithTheApplicants)
{
    const QDate today(2026, 11, 20);
    const QDate before(2026, 10, 2);
    Clock::setToday(today);
    applicant(QStringLiteral("00000001"), QStringLiteral("Zeller; Ann"), {0, kNull, 0, 0, kNull, 0, kNull, QDate(2026, 9, 1)});
    applicant(QStringLiteral("00000002"), QString());             // nameless, document today
    applicant(QStringLiteral("00000003"), QStringLiteral("Abbott, Bo"), {0, kNull, 0, 0, kNull, 0, kNull, QDate(2026, 9, 3)});
    applicant(QStringLiteral("00000004"), QStringLiteral("Cole, Cy")); // no document, no date loaded
    applicant(QStringLiteral("Ab12"), QStringLiteral("Dee, Di"));       // document in other letters
    const QString s = m_scans.path() + QLatin1Char('/');
    document(s + QStringLiteral("00000001.PDF"), 1234567, today);
    document(s + QStringLiteral("00000002.pdf"), 10, today);
    document(s + QStringLiteral("000777.pdf"), 2048, today);   // no applicant
    document(s + QStringLiteral("000888.pdf"), 999, before);   // no applicant, earlier
    document(s + QStringLiteral("aB12.pdf"), 5, before);
    document(s + QStringLiteral("00000004.txt"), 5, today);     // not a document
    ASSERT_TRUE(QDir().mkdir(s + QStringLiteral("00000003.pdf"))); // not a document either

    EXPECT_EQ(lines({ReportKind::ScanActivity, {}, today}),
              (QStringList{QStringLiteral("00000002|10"), QStringLiteral("000777|Not Found In Database|2,048"),
                           QStringLiteral("00000001|Zeller; Ann|1,234,567")}));
    EXPECT_EQ(lines({ReportKind::ScanActivity, {}, QDate(2026, 1, 1)}), QStringList{QStringLiteral("Nothing To Report")});
    QStringList header;
    lines({ReportKind::ScanActivity, {}, today}, nullptr, &header);
    EXPECT_TRUE(header.contains(QStringLiteral("11/20/2026"))) << header.join(QLatin1Char('\n')).toStdString();

    EXPECT_EQ(lines({ReportKind::NoApplications, {}, {}}),
              (QStringList{QStringLiteral("00000003|Abbott, Bo|09/03/2026"), QStringLiteral("00000004|Cole, Cy|N/A")}));
    EXPECT_EQ(lines({ReportKind::NoApplicants, {}, {}}),
              (QStringList{QStringLiteral("000777|11/20/2026|2,048"), QStringLiteral("000888|10/02/2026|999")}));

    // Every document has its applicant: one line says so.
    ASSERT_TRUE(QFile::remove(s + QStringLiteral("000777.pdf")));
    ASSERT_TRUE(QFile::remove(s + QStringLiteral("000888.pdf")));
    EXPECT_EQ(lines({ReportKind::NoApplicants, {}, {}}), QStringList{QStringLiteral("Nothing To Report")});
}

TEST_P(ReportSetTest, ScanReportsWithNothingToCompareOrAnUnreadableDirectoryMakeNoReport)
{
    QString outcome;
    // No documents: "No Applicants" is not made; no applicants: "No Applications" is not.
    EXPECT_TRUE(lines({ReportKind::NoApplicants, {}, {}}, &outcome).isEmpty());
    EXPECT_EQ(outcome, QStringLiteral("declined"));
    EXPECT_TRUE(lines({ReportKind::NoApplications, {}, {}}, &outcome).isEmpty());
    EXPECT_EQ(outcome, QStringLiteral("declined"));

    // A directory that cannot be listed does not make every applicant look unscanned.
    applicant(QStringLiteral("00000001"), QStringLiteral("Abbott, Bo"));
    sql(QStringLiteral("UPDATE settings SET FileLocation = '/nonexistent/scans/'"));
    data->ReadSettings();
    for (const ReportKind kind : {ReportKind::NoApplications, ReportKind::NoApplicants, ReportKind::ScanActivity}) {
        SCOPED_TRACE(reportName(kind).toStdString());
        EXPECT_TRUE(lines({kind, {}, QDate(2026, 11, 20)}, &outcome).isEmpty());
        EXPECT_TRUE(outcome.startsWith(QLatin1String("The directory of the scanned applications, /nonexistent/scans/, "
                                                     "cannot be listed: No such file or directory.")))
            << outcome.toStdString();
    }
}

MW_INSTANTIATE_BACKENDS(ReportSetTest);
