// The report preview and the Reports menu's commands: a long report shows its
// first page without painting the others and paints each page only when it is
// moved to; Save as PDF and Print write every page or say why not; through the main window
// on both backends, which dialogs and which preview each command opens, and Print
// onto the printer chosen in Printer Settings (a PDF file standing in for it).

#include "../../reports/pdftext.h"
#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "findchild.h"
#include "reports/report.h"
#include "reports/reportpageview.h"
#include "reports/reportpreview.h"
#include "scriptedtalk.h"
#include "shared/clock.h"
#include "shell/helpviewer.h"
#include "shell/mainform.h"
#include "shell/scanacctform.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPdfDocument>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <fcntl.h>
#include <sys/stat.h>

#include <functional>

using namespace mw;
using mwtest::child;

namespace {

// The pages the preview's page view paints, in order, as the user sees them.
class PaintWatch final : public QObject
{
public:
    explicit PaintWatch(ReportPageView* view)
        : m_view(view)
    {
        view->installEventFilter(this);
    }
    QList<int> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == m_view && e->type() == QEvent::Paint)
            painted << m_view->page();
        return false;
    }

private:
    ReportPageView* m_view;
};

QList<int> distinct(const QList<int>& pages)
{
    QList<int> out;
    for (int p : pages)
        if (!out.contains(p))
            out << p;
    return out;
}

// Lets pending paints happen.
void settle(QWidget* w)
{
    QCoreApplication::processEvents();
    w->repaint();
    QCoreApplication::processEvents();
}

// A document in the scan directory, changed on that day.
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

// A report of 2,000 applicants: dozens of pages.
std::unique_ptr<Report> longReport()
{
    ReportDefinition d;
    d.subtitle = QStringLiteral("Applicants Of The Test");
    d.jobTitle = QStringLiteral("Merrowind Test Report");
    d.columns = {{QStringLiteral("ID Number"), 1, false}, {QStringLiteral("Name"), 3, false}};
    d.pageNumbers = true;
    auto report = std::make_unique<Report>(d, QDateTime(QDate(2026, 6, 15), QTime(9, 30)));
    for (int i = 0; i < 2000; ++i)
        report->addRow({QStringLiteral("ID%1").arg(i, 4, 10, QLatin1Char('0')),
                        QStringLiteral("Name %1").arg(i, 4, 10, QLatin1Char('0'))});
    return report;
}

} // namespace

TEST(ReportPreview, PaintsOnlyThePagesLookedAtAndMovesBetweenThem)
{
    const std::unique_ptr<Report> report = longReport();
    const int pages = report->pageCount();
    ASSERT_GT(pages, 20);
    mwtest::ScriptedTalk talk;
    QPrinter printer;
    HelpSystem help{QString()};
    TReportPreview preview(*report, printer, help, 5700, talk);
    auto* view = child<ReportPageView>(&preview, "PageView");
    PaintWatch watch(view);
    preview.resize(900, 700);
    preview.show();
    preview.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    settle(view);

    EXPECT_EQ(preview.windowTitle(), QStringLiteral("Merrowind Test Report - Applicants Of The Test"));
    EXPECT_EQ(child<QLabel>(&preview, "PageCountLabel")->text(), QStringLiteral("of %1").arg(pages));
    EXPECT_EQ(distinct(watch.painted), QList<int>{0}) << "the first page, and no other, when the preview opens";

    auto* pageBox = child<QSpinBox>(&preview, "PageBox");
    auto* scroll = child<QScrollArea>(&preview, "ScrollBox");
    QScrollBar* bar = scroll->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "at the window's width the page is taller than the window";
    const struct
    {
        const char* step;
        std::function<void()> act;
        int page;
    } steps[] = {
        {"Next", [&] { QTest::mouseClick(child<QPushButton>(&preview, "NextBtn"), Qt::LeftButton); }, 1},
        {"Ctrl+PgDn", [&] { QTest::keyClick(&preview, Qt::Key_PageDown, Qt::ControlModifier); }, 2},
        {"Last", [&] { QTest::mouseClick(child<QPushButton>(&preview, "LastBtn"), Qt::LeftButton); }, pages - 1},
        {"Prior", [&] { QTest::mouseClick(child<QPushButton>(&preview, "PriorBtn"), Qt::LeftButton); }, pages - 2},
        {"page 7 typed",
         [&] {
             pageBox->selectAll();
             QTest::keyClicks(pageBox, QStringLiteral("7"));
             QTest::keyClick(pageBox, Qt::Key_Return);
         },
         6},
        {"First", [&] { QTest::mouseClick(child<QPushButton>(&preview, "FirstBtn"), Qt::LeftButton); }, 0},
        {"PgDn at the foot of the page",
         [&] {
             bar->setValue(bar->maximum());
             QTest::keyClick(scroll, Qt::Key_PageDown);
         },
         1},
        {"PgUp at its head", [&] { QTest::keyClick(scroll, Qt::Key_PageUp); }, 0},
        {"the wheel turned down at the foot",
         [&] {
             bar->setValue(bar->maximum());
             QWheelEvent wheel(QPointF(50, 50), scroll->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                               QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(scroll->viewport(), &wheel);
         },
         1},
    };
    QList<int> visited{0};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        watch.painted.clear();
        s.act();
        settle(view);
        EXPECT_EQ(preview.currentPage(), s.page);
        EXPECT_EQ(pageBox->value(), s.page + 1);
        EXPECT_EQ(distinct(watch.painted), QList<int>{s.page});
        EXPECT_EQ(child<QPushButton>(&preview, "PriorBtn")->isEnabled(), s.page > 0);
        EXPECT_EQ(child<QPushButton>(&preview, "NextBtn")->isEnabled(), s.page < pages - 1);
        EXPECT_EQ(bar->value(), QLatin1String(s.step) == QLatin1String("PgUp at its head") ? bar->maximum() : 0)
            << "a page turned back to shows its foot, any other its head";
    }

    // Whole Page puts all of the page in the window; 100% gives it its size on paper.
    auto* zoom = child<QComboBox>(&preview, "ZoomBox");
    const QWidget* room = scroll->viewport();
    zoom->setCurrentText(QStringLiteral("Whole Page"));
    EXPECT_LE(view->height(), room->height());
    EXPECT_LE(view->width(), room->width());
    zoom->setCurrentText(QStringLiteral("100%"));
    EXPECT_NEAR(view->width(), Report::kPageWidth * view->logicalDpiX() / 72.0, 1.0);
    EXPECT_TRUE(talk.said().isEmpty());
}

TEST(ReportPreview, SaveAsPdfAndPrintWriteEveryPageOrSayWhyNot)
{
    const std::unique_ptr<Report> report = longReport();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString saved = dir.filePath(QStringLiteral("applicants.pdf"));
    const struct
    {
        const char* why;
        QString answer; // the file dialog's: empty for Cancel
        bool written;
        bool error;
    } cases[] = {
        {"Cancel in the file dialog", QString(), false, false},
        {"a folder that is not there", dir.filePath(QStringLiteral("missing/applicants.pdf")), false, true},
        {"a file", saved, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        mwtest::ScriptedTalk talk;
        QPrinter printer;
        HelpSystem help{QString()};
        TReportPreview preview(*report, printer, help, 5700, talk);
        QString suggested;
        preview.askPdfFileName = [&](const QString& offered) {
            suggested = offered;
            return c.answer;
        };
        QTest::mouseClick(child<QPushButton>(&preview, "SaveBtn"), Qt::LeftButton);
        EXPECT_TRUE(suggested.endsWith(QLatin1String("/Applicants Of The Test.pdf"))) << suggested.toStdString();
        EXPECT_EQ(talk.errors().size(), c.error ? 1 : 0) << talk.errors().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(QFile::exists(c.answer), c.written);
        EXPECT_EQ(talk.openWaits(), 0);
    }
    const QList<QStringList> pages = mwtest::pdfPages(saved);
    ASSERT_EQ(pages.size(), report->pageCount());
    EXPECT_TRUE(pages.first().contains(QStringLiteral("ID0000|Name 0000"))) << pages.first().join('\n').toStdString();
    EXPECT_TRUE(pages.last().contains(QStringLiteral("ID1999|Name 1999"))) << pages.last().join('\n').toStdString();
    EXPECT_EQ(mwtest::pdfTitle(saved), QStringLiteral("Merrowind Test Report"));

    // A printer that cannot be opened: the error box, and the preview stays.
    mwtest::ScriptedTalk talk;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("missing/printed.pdf")));
    HelpSystem help{QString()};
    TReportPreview preview(*report, printer, help, 5700, talk);
    preview.show();
    QTest::mouseClick(child<QPushButton>(&preview, "PrintBtn"), Qt::LeftButton);
    EXPECT_EQ(talk.errors(),
              QStringList{QStringLiteral("The report could not be printed: the printer or file cannot be opened.")});
    EXPECT_EQ(talk.openWaits(), 0);
    EXPECT_TRUE(preview.isVisible());
}

// SUPERVISOR's main window on a day fixed for the test, over applicants,
// requisitions, applications and a directory of scanned documents.
class ReportCommandsTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Clock::setToday(m_today);
        const QDir work(m_testDb->scratchDir());
        ASSERT_TRUE(work.mkpath(QStringLiteral("scans")));
        m_scans = work.filePath(QStringLiteral("scans")) + QLatin1Char('/');
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?, FileExt = 'pdf'"), {m_scans});
        data->ReadSettings();
        for (const char* table : {"applicants", "requisitions", "applications"})
            sql(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, RIF, RIFExpires, VeteranPreference) VALUES "
                           "('0001', 'Zeller, Ann', 1, ?, 1), ('0002', 'Abbot, Bo', 1, NULL, 0), "
                           "('0003', 'Mills, Cy', 0, NULL, 0)"),
            {m_today.addDays(30)});
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID, PositionTitle, PositionFilled, PurgeReq) "
                           "VALUES ('R1', 'IT', 'Analyst', 0, 0), ('R2', 'IT', 'Clerk', 1, 0), "
                           "('R3', 'HR', 'Typist', 1, 1)"));
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID) VALUES ('R1', '0001'), ('R1', '0003')"));
        document(m_scans + QStringLiteral("0003.pdf"), 1500, m_today.addDays(-1));

        main = std::make_unique<TMainForm>(*data, help, talk);
        main->pdfViewerAvailable = [] { return false; };
        main->FormActivate();
    }
    void TearDown() override
    {
        main.reset();
        StoreTest::TearDown();
    }

    const QDate m_today{2026, 6, 15};
    QString m_scans;
    HelpSystem help{QString()};
    mwtest::ScriptedTalk talk;
    std::unique_ptr<TMainForm> main;
};

TEST_P(ReportCommandsTest, EachCommandAsksWhatItNeedsAndPreviewsItsReport)
{
    const QString dayBefore = m_today.addDays(-1).toString(QStringLiteral("MM/dd/yyyy"));
    struct Case
    {
        const char* command;
        const char* typed;   // the requisition picker's number; null presses Cancel
        bool dayChosen;      // Select Date: OK on the day before, else Cancel
        QStringList dialogs; // the windows shown, in order
        QString caption;     // the preview's; empty when none opened
        qint64 rows;
        QStringList errors;
        bool print = false;  // the preview's Print pressed
    };
    const QString preview = QStringLiteral("ReportPreview");
    const Case cases[] = {
        {"RIFReport1", nullptr, false, {preview}, QStringLiteral("Merrowind RIF Report"), 2, {}, true},
        {"FilledRequisitions1", nullptr, false, {preview}, QStringLiteral("Merrowind Report - Filled Requisitions"), 1,
         {}},
        {"Reqisition1", "R1", false, {QStringLiteral("AppActivityForm"), preview},
         QStringLiteral("Merrowind Report - Job Requisition Status"), 2, {}},
        {"Reqisition1", "R9", false, {QStringLiteral("AppActivityForm")}, {}, 0,
         {QStringLiteral("Job Requistion Number Not Found")}},
        {"Reqisition1", nullptr, false, {QStringLiteral("AppActivityForm")}, {}, 0, {}},
        {"ScanActivity1", nullptr, true, {QStringLiteral("ScanAcctForm"), preview},
         QStringLiteral("Merrowind Scan Activity ") + dayBefore, 1, {}},
        {"ScanActivity1", nullptr, false, {QStringLiteral("ScanAcctForm")}, {}, 0, {}},
        {"NoApplicants1", nullptr, false, {preview},
         QStringLiteral("Merrowind Report - Applications Without Applicants"), 1, {}}, // "Nothing To Report"
        {"WhatMissing1", nullptr, false, {preview},
         QStringLiteral("Merrowind Report - Applicants With No Application Scanned"), 2, {}},
    };
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString printed = out.filePath(QStringLiteral("printed.pdf"));
    QPrinter& printer = main->reportPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printed);
    printer.setPageSize(QPageSize(QPageSize::A4)); // as chosen in Printer Settings
    printer.setPageOrientation(QPageLayout::Landscape);

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + (c.typed ? c.typed : "-") + (c.dayChosen ? " day" : ""));
        talk.clear();
        QStringList dialogs;
        QString caption;
        qint64 rows = 0;
        QDate presetDay;
        main->showModal = [&](QDialog& dialog) {
            dialogs << dialog.objectName();
            if (dialog.objectName() == QLatin1String("AppActivityForm")) {
                dialog.show();
                QTest::keyClicks(child<QComboBox>(&dialog, "ComboBox1")->lineEdit(),
                                 QLatin1String(c.typed ? c.typed : "R1"));
                QTest::mouseClick(child<QPushButton>(&dialog, c.typed ? "OKBtn" : "CancelBtn"), Qt::LeftButton);
                return dialog.result();
            }
            if (auto* dates = qobject_cast<TScanAcctForm*>(&dialog)) {
                presetDay = dates->date();
                dates->setDate(m_today.addDays(-1));
                return int(c.dayChosen ? QDialog::Accepted : QDialog::Rejected);
            }
            if (auto* shown = qobject_cast<TReportPreview*>(&dialog)) {
                caption = shown->windowTitle();
                rows = shown->report().rowCount();
                if (c.print)
                    QTest::mouseClick(child<QPushButton>(shown, "PrintBtn"), Qt::LeftButton);
            }
            return int(QDialog::Rejected);
        };
        child<QAction>(main.get(), c.command)->trigger();

        EXPECT_EQ(dialogs, c.dialogs);
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(talk.errors(), c.errors);
        EXPECT_TRUE(talk.informations().isEmpty()) << talk.informations().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(talk.openWaits(), 0);
        if (c.dialogs.contains(QLatin1String("ScanAcctForm"))) {
            EXPECT_EQ(presetDay, m_today) << "Select Date opens on today";
        }
    }

    // The RIF report went to the chosen printer: by name, full Letter pages, titled.
    const QList<QStringList> pages = mwtest::pdfPages(printed);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages.first().filter(QRegularExpression(QStringLiteral("^000[12]\\|"))),
              (QStringList{QStringLiteral("0002|Abbot, Bo|False"),
                           QStringLiteral("0001|Zeller, Ann|") + m_today.addDays(30).toString(QStringLiteral("MM/dd/yyyy")) +
                               QStringLiteral("|True")}));
    EXPECT_EQ(mwtest::pdfTitle(printed), QStringLiteral("Merrowind RIF Report"));
    QPdfDocument pdf;
    ASSERT_EQ(pdf.load(printed), QPdfDocument::Error::None);
    EXPECT_EQ(pdf.pagePointSize(0).toSize(), QSize(612, 792));
}

TEST_P(ReportCommandsTest, NothingToReportOnOrAnUnreadableDirectoryOpensNoPreview)
{
    ASSERT_TRUE(QFile::remove(m_scans + QStringLiteral("0003.pdf")));
    const struct
    {
        const char* command;
        bool readable;
        const char* error; // a part of the error shown; null for none
    } cases[] = {
        {"NoApplicants1", true, nullptr}, // no documents at all: no report, nothing said
        {"NoApplicants1", false, "cannot be listed"},
        {"WhatMissing1", false, "cannot be listed"},
        {"ScanActivity1", false, "cannot be listed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.readable ? "" : " unreadable"));
        sql(QStringLiteral("UPDATE settings SET FileLocation = ?"),
            {c.readable ? m_scans : m_scans + QStringLiteral("missing/")});
        data->ReadSettings();
        talk.clear();
        QStringList shown;
        main->showModal = [&](QDialog& dialog) {
            shown << dialog.objectName();
            return int(qobject_cast<TScanAcctForm*>(&dialog) ? QDialog::Accepted : QDialog::Rejected);
        };
        child<QAction>(main.get(), c.command)->trigger();
        EXPECT_FALSE(shown.contains(QStringLiteral("ReportPreview")));
        EXPECT_TRUE(talk.informations().isEmpty());
        EXPECT_EQ(talk.openWaits(), 0);
        if (!c.error) {
            EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
            continue;
        }
        ASSERT_EQ(talk.errors().size(), 1);
        EXPECT_TRUE(talk.errors().first().contains(QLatin1String(c.error))) << talk.errors().first().toStdString();
    }
}

MW_INSTANTIATE_BACKENDS(ReportCommandsTest);
