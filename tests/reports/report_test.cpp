// The report engine on its own: pages as a reader sees them in the PDF it writes
// (header on every page, page numbers only where asked, rows in order across page
// breaks, the caption block, the empty report), and a PDF written whole or not at
// all.

#include "pdftext.h"
#include "scriptedtalk.h"
#include "tmpdirscope.h"

#include "reports/report.h"
#include "shared/platform.h"

#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace mw;
using mwtest::pdfPages;

namespace {

const QDateTime kPrinted(QDate(2026, 3, 4), QTime(15, 7));

ReportDefinition definition(bool pageNumbers)
{
    ReportDefinition d;
    d.subtitle = QStringLiteral("Test Report");
    d.jobTitle = QStringLiteral("Merrowind Test Report");
    d.pageNumbers = pageNumbers;
    d.columns = {{QStringLiteral("ID Number"), 1, false}, {QStringLiteral("Name"), 3, false},
                 {QStringLiteral("File Size (Bytes)"), 1.5, true}};
    return d;
}

class ReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_tmp.isValid());
        m_tmpdir = std::make_unique<mwtest::TmpDirScope>(m_tmp.path());
    }
    QString written(const Report& report, const QString& name = QStringLiteral("out.pdf"))
    {
        const QString file = m_dir.filePath(name);
        const OperationResult r = report.writePdf(file, talk);
        EXPECT_TRUE(r.isDone()) << r.error.toStdString();
        return file;
    }
    mwtest::ScriptedTalk talk;
    QTemporaryDir m_dir;
    QTemporaryDir m_tmp;
    std::unique_ptr<mwtest::TmpDirScope> m_tmpdir;
};

} // namespace

TEST_F(ReportTest, EveryPageHasItsHeaderAndTheRowsRunOnInOrder)
{
    for (const bool numbered : {true, false}) {
        SCOPED_TRACE(numbered);
        Report report(definition(numbered), kPrinted);
        const int perPage = report.rowsPerPage();
        const int rows = perPage * 2 + 3;
        int next = 0;
        ASSERT_TRUE(report
                        .fill(
                            [&](QStringList& row) {
                                if (next >= rows)
                                    return false;
                                row << QStringLiteral("ID%1").arg(next, 5, 10, QLatin1Char('0'))
                                    << QStringLiteral("Name %1").arg(next) << QString::number(next * 1000);
                                ++next;
                                return true;
                            },
                            talk)
                        .isDone());
        EXPECT_EQ(report.rowCount(), rows);
        EXPECT_EQ(report.pageCount(), 3);

        const QList<QStringList> pages = pdfPages(written(report));
        ASSERT_EQ(pages.size(), 3);
        int expected = 0;
        for (int p = 0; p < pages.size(); ++p) {
            SCOPED_TRACE(p);
            const QStringList& lines = pages.at(p);
            ASSERT_GE(lines.size(), 4);
            // Header: the date and time at the right, the title, its page number or none,
            // the subtitle, the headings.
            EXPECT_EQ(lines.at(0), QStringLiteral("03/04/2026 3:07 PM"));
            EXPECT_EQ(lines.at(1), numbered ? QStringLiteral("Merrowind Report|Page %1").arg(p + 1)
                                            : QStringLiteral("Merrowind Report"));
            EXPECT_EQ(lines.at(2), QStringLiteral("Test Report"));
            EXPECT_EQ(lines.at(3), QStringLiteral("ID Number|Name|File Size (Bytes)"));
            for (int i = 4; i < lines.size(); ++i, ++expected)
                EXPECT_EQ(lines.at(i), QStringLiteral("ID%1|Name %2|%3")
                                           .arg(expected, 5, 10, QLatin1Char('0'))
                                           .arg(expected)
                                           .arg(expected * 1000));
            if (p < 2) {
                EXPECT_EQ(lines.size() - 4, perPage);
            }
        }
        EXPECT_EQ(expected, rows);

        // A range of pages, as a print dialog gives it: pages 2 to 3 only.
        const QString range = m_dir.filePath(QStringLiteral("range.pdf"));
        {
            QPdfWriter writer(range);
            writer.setPageSize(QPageSize(QPageSize::Letter));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            ASSERT_TRUE(report.print(writer, talk, 2, 3).isDone());
        }
        const QList<QStringList> printed = pdfPages(range);
        ASSERT_EQ(printed.size(), 2);
        EXPECT_EQ(printed.at(0).value(4), pages.at(1).value(4));
        EXPECT_EQ(printed.at(1).value(4), pages.at(2).value(4));
    }
}

TEST_F(ReportTest, TheEmptyReportTheCaptionBlockAndACellTooWide)
{
    ReportDefinition d = definition(false);
    d.subtitle2 = QStringLiteral("11/05/2026");
    d.captionRows = {{{QStringLiteral("Requisition:"), QStringLiteral("000123")},
                      {QStringLiteral("Position Title:"), QStringLiteral("Nurse")},
                      {QStringLiteral("Department:"), QStringLiteral("Ward 6")}},
                     {{QStringLiteral("Final Forms Sent:"), QStringLiteral("No")}}};
    Report empty(d, kPrinted);
    EXPECT_EQ(empty.pageCount(), 1);
    const QList<QStringList> pages = pdfPages(written(empty));
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages.at(0), (QStringList{QStringLiteral("03/04/2026 3:07 PM"), QStringLiteral("Merrowind Report"),
                                        QStringLiteral("Test Report"), QStringLiteral("11/05/2026"),
                                        QStringLiteral("Requisition: 000123|Position Title: Nurse|Department: Ward 6"),
                                        QStringLiteral("Final Forms Sent: No"),
                                        QStringLiteral("ID Number|Name|File Size (Bytes)")}));

    Report wide(definition(false), kPrinted);
    wide.addRow({QStringLiteral("00000001"), QString(200, QLatin1Char('W')), QStringLiteral("1,234")});
    const QStringList lines = pdfPages(written(wide, QStringLiteral("wide.pdf"))).value(0);
    ASSERT_EQ(lines.size(), 5);
    const QStringList cells = lines.at(4).split(QLatin1Char('|'));
    ASSERT_EQ(cells.size(), 3) << lines.at(4).toStdString();
    EXPECT_EQ(cells.at(0), QStringLiteral("00000001"));
    EXPECT_TRUE(cells.at(1).startsWith(QLatin1String("WWWW")));
    EXPECT_LT(cells.at(1).size(), 200) << "cut to its column";
    EXPECT_EQ(cells.at(2), QStringLiteral("1,234"));
}

TEST_F(ReportTest, APdfIsWrittenWholeOrNotAtAllAndCarriesItsTitle)
{
    Report report(definition(true), kPrinted);
    report.addRow({QStringLiteral("1"), QStringLiteral("One"), QStringLiteral("1")});
    const QString file = m_dir.filePath(QStringLiteral("report.pdf"));
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older report");
    }
    written(report, QStringLiteral("report.pdf"));
    EXPECT_EQ(mwtest::pdfTitle(file), QStringLiteral("Merrowind Test Report"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("report.pdf")});

    // Into a directory that is not there: a failure with its cause, and no file.
    const OperationResult missing = report.writePdf(m_dir.filePath(QStringLiteral("gone/report.pdf")), talk);
    EXPECT_TRUE(missing.isFailed());
    EXPECT_TRUE(missing.error.startsWith(QLatin1String("The report could not be saved as "))) << missing.error.toStdString();

    // Cancelled while painting: the older file stays as it was.
    Report big(definition(true), kPrinted);
    for (int i = 0; i < big.rowsPerPage() * 40; ++i)
        big.addRow({QString::number(i), QStringLiteral("Row"), QString::number(i)});
    mwtest::ScriptedTalk cancelling;
    cancelling.cancelAfter(0);
    const QString kept = m_dir.filePath(QStringLiteral("kept.pdf"));
    {
        QFile old(kept);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("kept");
    }
    // Painting is fast: cancel is looked at every 100 ms, so it may also finish.
    const OperationResult r = big.writePdf(kept, cancelling);
    QFile k(kept);
    ASSERT_TRUE(k.open(QIODevice::ReadOnly));
    if (r.isCancelled())
        EXPECT_EQ(k.readAll(), QByteArray("kept"));
    else
        EXPECT_EQ(mwtest::pdfPages(kept).size(), 40);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no half-written file";
}

TEST_F(ReportTest, FillingStopsCleanlyOnCancelAndOnAFailingSource)
{
    Report report(definition(false), kPrinted);
    mwtest::ScriptedTalk cancelling;
    cancelling.cancelAfter(0);
    qint64 asked = 0;
    const OperationResult cancelled = report.fill(
        [&](QStringList& row) {
            ++asked;
            row << QStringLiteral("x") << QStringLiteral("y") << QStringLiteral("z");
            return asked < 50000000; // would run for minutes
        },
        cancelling);
    EXPECT_TRUE(cancelled.isCancelled());
    EXPECT_EQ(report.rowCount(), 0);

    const OperationResult failed = report.fill(
        [](QStringList& row) -> bool {
            row << QStringLiteral("x");
            throw std::runtime_error("the server went away");
        },
        talk);
    EXPECT_TRUE(failed.isFailed());
    EXPECT_EQ(failed.error, QStringLiteral("the server went away"));
    EXPECT_EQ(report.rowCount(), 0);
    // Nothing of the report is left in the private temporary directory.
    EXPECT_TRUE(QDir(TempPath()).entryList({QStringLiteral("report-*")}, QDir::Files).isEmpty());
}
