// The workbook writer: a workbook template filled with a requisition's applications,
// its formatting carried over, and the result read back by LibreOffice.

#include "dbfixture.h"
#include "scriptedtalk.h"

#include "delivery/deptfiles.h"
#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

// The template: a bold title, a number with its own format, headings, the marker
// row, the row template and a trailer line; column widths set.
struct Template
{
    xls::Workbook book;
    quint16 boldXf = 0;
    quint16 moneyXf = 0;
};

Template makeTemplate()
{
    Template t;
    xls::Workbook& b = t.book;
    xls::Font bold = b.fonts.value(0);
    bold.weight = 700;
    bold.name = QStringLiteral("Liberation Serif");
    b.fonts << bold;
    const auto pos = quint16(b.fonts.size() - 1);
    xls::CellFormat boldXf = xls::CellFormat::defaultCell();
    boldXf.setFontIndex(pos < 4 ? pos : quint16(pos + 1));
    b.cellFormats << boldXf;
    t.boldXf = quint16(b.cellFormats.size() - 1);
    b.numberFormats.insert(164, QStringLiteral("#,##0.000"));
    xls::CellFormat money = xls::CellFormat::defaultCell();
    money.setNumberFormat(164);
    b.cellFormats << money;
    t.moneyXf = quint16(b.cellFormats.size() - 1);

    xls::Sheet& s = b.firstSheet();
    s.setText(0, 0, QStringLiteral("Flow %JOBNUMBER% %JOBTITLE%"), t.boldXf);
    s.setNumber(0, 2, 1234.5, t.moneyXf);
    s.setText(2, 0, QStringLiteral("ID"), t.boldXf);
    s.setText(2, 1, QStringLiteral("Name"), t.boldXf);
    s.setText(3, 0, QStringLiteral("before marker"));
    s.setText(3, 1, QStringLiteral("%detail%"));
    s.setText(3, 2, QStringLiteral("after marker, not copied"));
    s.setText(4, 0, QStringLiteral("%APPID%"));
    s.setText(4, 1, QStringLiteral("%APPNAME% (%APPVET%)"), t.boldXf);
    s.setText(4, 3, QStringLiteral("%APPSENTON%")); // empty for unsent applications: no cell
    s.setText(5, 0, QStringLiteral("Contact %CONTACT%"));
    xls::ColumnFormat wide;
    wide.first = 1;
    wide.last = 1;
    wide.width = 40 * 256;
    s.columns << wide;
    return t;
}

QString soffice()
{
    return QStandardPaths::findExecutable(QStringLiteral("soffice"));
}

} // namespace

class SheetFileTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        data->SystemInfo.FileExt = QStringLiteral("pdf");
        dir = m_testDb->scratchDir() + QStringLiteral("/templates");
        QDir().mkpath(dir);
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, PositionTitle, Contact) VALUES (?, ?, ?)"),
            {QStringLiteral("R7"), QStringLiteral("Gardener"), QStringLiteral("Pat Lee")});
        const char* apps[][3] = {{"000002", "Zeller, Ann", "1"}, {"000001", "Abbott, Bo", "0"}, {"000003", "Møller, Cy", "1"}};
        for (auto& a : apps) {
            sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, VeteranPreference) VALUES (?, ?, ?)"),
                {QString::fromUtf8(a[0]), QString::fromUtf8(a[1]), QString::fromLatin1(a[2]) == QLatin1String("1")});
            sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate) VALUES (?, ?, ?, ?)"),
                {QStringLiteral("R7"), QString::fromUtf8(a[0]), true,
                 QString::fromLatin1(a[0]) == QLatin1String("000001") ? QVariant(QDate(2026, 3, 4)) : QVariant()});
        }
    }
    std::unique_ptr<TDeptFiles> files()
    {
        auto f = std::make_unique<TDeptFiles>(*data, talk);
        f->TemplateDir = dir;
        f->TempDir = m_testDb->scratchDir() + QLatin1Char('/');
        return f;
    }
    bool make(const QString& name, const QString& out, const QString& req = QStringLiteral("R7"))
    {
        return files()->MakeSheetFile(name, out, req, true, false, false, {}, {});
    }

    ScriptedTalk talk;
    QString dir;
};

TEST_P(SheetFileTest, FillsTheTemplateAndKeepsItsFormats)
{
    const Template t = makeTemplate();
    t.book.save(dir + QStringLiteral("/Flow.xls"));
    const QString out = m_testDb->scratchDir() + QStringLiteral("/Flow.xls");
    ASSERT_TRUE(make(QStringLiteral("Flow.xls"), out));

    const xls::Workbook got = xls::Workbook::read(out);
    const xls::Sheet& s = got.firstSheet();
    EXPECT_EQ(s.text(0, 0), QStringLiteral("Flow R7 Gardener"));
    EXPECT_EQ(s.format(0, 0), t.boldXf);
    ASSERT_NE(s.cell(0, 2), nullptr);
    EXPECT_EQ(s.cell(0, 2)->kind, xls::Cell::Kind::Number);
    EXPECT_EQ(s.cell(0, 2)->number, 1234.5);
    EXPECT_EQ(got.numberFormats.value(got.cellFormats.value(s.format(0, 2)).numberFormat()), QStringLiteral("#,##0.000"));
    EXPECT_EQ(s.text(2, 1), QStringLiteral("Name"));
    // Applications start at the marker row, in name order; the cell before the
    // marker was copied and is left where no application cell covers it.
    EXPECT_EQ(s.text(3, 0), QStringLiteral("000001"));
    EXPECT_EQ(s.text(3, 1), QStringLiteral("Abbott, Bo (No)"));
    EXPECT_EQ(s.format(3, 1), t.boldXf);
    EXPECT_EQ(s.text(3, 2), QString());
    EXPECT_EQ(s.text(3, 3), QStringLiteral("03/04/2026"));
    EXPECT_EQ(s.text(4, 1), QStringLiteral("Møller, Cy (Yes)"));
    EXPECT_EQ(s.cell(4, 3), nullptr);
    EXPECT_EQ(s.text(5, 1), QStringLiteral("Zeller, Ann (Yes)"));
    EXPECT_EQ(s.text(6, 0), QStringLiteral("Contact Pat Lee"));
    // One empty row, then the four credit lines.
    EXPECT_EQ(s.text(7, 0), QString());
    const QStringList credits = CreditLines();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(s.text(8 + i, 0), credits.at(i));
    EXPECT_EQ(s.rowCount(), 12);
    ASSERT_FALSE(s.columns.isEmpty());
    EXPECT_EQ(s.columns.first().width, 40 * 256);
    const xls::Font* font = got.fontAt(got.cellFormats.value(t.boldXf).fontIndex());
    ASSERT_NE(font, nullptr);
    EXPECT_TRUE(font->bold());
    EXPECT_EQ(font->name, QStringLiteral("Liberation Serif"));

    // LibreOffice opens the result and reads the same cells.
    const QString office = soffice();
    ASSERT_FALSE(office.isEmpty()) << "LibreOffice (soffice) is needed: install libreoffice-calc-nogui";
    const QString profile = m_testDb->scratchDir() + QStringLiteral("/lo-profile");
    QProcess p;
    p.start(office, {QStringLiteral("-env:UserInstallation=file://") + profile, QStringLiteral("--headless"),
                     QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                     QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"),
                     m_testDb->scratchDir() + QStringLiteral("/csv"), out});
    ASSERT_TRUE(p.waitForFinished(120000));
    QFile csv(m_testDb->scratchDir() + QStringLiteral("/csv/Flow.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << "LibreOffice could not convert the workbook";
    const QStringList rows = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'));
    ASSERT_GE(rows.size(), 12);
    EXPECT_EQ(rows.at(0), QStringLiteral("Flow R7 Gardener,,\"1,234.500\","));
    EXPECT_EQ(rows.at(3), QStringLiteral("000001,\"Abbott, Bo (No)\",,03/04/2026"));
    EXPECT_EQ(rows.at(4), QStringLiteral("000003,\"Møller, Cy (Yes)\",,"));
    EXPECT_EQ(rows.at(8), credits.at(0) + QStringLiteral(",,,"));
}

TEST_P(SheetFileTest, TemplateFaults)
{
    const QString out = m_testDb->scratchDir() + QStringLiteral("/out.xls");
    // Missing: false, no message, nothing written.
    EXPECT_FALSE(make(QStringLiteral("Missing.xls"), out));
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_TRUE(talk.errors().isEmpty());

    // Not a workbook: a clear error, false.
    {
        QFile f(dir + QStringLiteral("/Bad.xls"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is a text file, not a workbook\n");
    }
    EXPECT_FALSE(make(QStringLiteral("Bad.xls"), out));
    ASSERT_EQ(talk.errors().size(), 1);
    EXPECT_TRUE(talk.errors().first().contains(QStringLiteral("Bad.xls")));

    // No applications: still written, true.
    makeTemplate().book.save(dir + QStringLiteral("/Flow.xls"));
    EXPECT_TRUE(make(QStringLiteral("Flow.xls"), out, QStringLiteral("NONE")));
    const xls::Sheet s = xls::Workbook::read(out).firstSheet();
    EXPECT_EQ(s.text(3, 0), QStringLiteral("Contact ")); // the trailer follows the marker row at once
    EXPECT_EQ(s.text(5, 0), CreditLines().first());

    // No marker: the whole sheet is header; applications add nothing.
    xls::Workbook plain;
    plain.firstSheet().setText(0, 0, QStringLiteral("Only %JOBNUMBER%"));
    plain.firstSheet().setText(1, 1, QStringLiteral("x"));
    plain.save(dir + QStringLiteral("/Plain.xls"));
    EXPECT_TRUE(make(QStringLiteral("Plain.xls"), out));
    const xls::Sheet p = xls::Workbook::read(out).firstSheet();
    EXPECT_EQ(p.text(0, 0), QStringLiteral("Only R7"));
    EXPECT_EQ(p.text(1, 1), QStringLiteral("x"));
    EXPECT_EQ(p.text(3, 0), CreditLines().first());

    // An output that cannot be written.
    talk.clear();
    EXPECT_FALSE(make(QStringLiteral("Flow.xls"), m_testDb->scratchDir() + QStringLiteral("/no/dir/x.xls")));
    EXPECT_EQ(talk.errors().size(), 1);
}

TEST_P(SheetFileTest, RowsBeyondTheLastRowOfASheetAreReported)
{
    // A sheet has 65536 rows (0 to 65535). The three approved applications, the
    // template's trailer and the credits (an empty row and four lines) follow the
    // marker row, or the template's last row when there is no marker.
    const struct
    {
        const char* what;
        int markerRow; // -1: no marker
        int trailerRows;
        int lastRow; // of the template
        bool fits;
    } cases[] = {
        {"applications past the last row", 65534, 0, 65535, false},
        {"trailer past the last row", 65530, 4, 65535, false},
        {"credits past the last row", -1, 0, 65532, false},
        {"credits ending on the last row", -1, 0, 65530, true},
        {"applications, trailer and credits ending on the last row", 65527, 1, 65529, true},
    };
    const QString out = m_testDb->scratchDir() + QStringLiteral("/Flow.xls");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        xls::Workbook t;
        xls::Sheet& s = t.firstSheet();
        s.setText(0, 0, QStringLiteral("Flow %JOBNUMBER%"));
        if (c.markerRow >= 0) {
            s.setText(c.markerRow, 0, QStringLiteral("%DETAIL%"));
            s.setText(c.markerRow + 1, 0, QStringLiteral("%APPID%"));
            for (int r = 0; r < c.trailerRows; ++r)
                s.setText(c.markerRow + 2 + r, 0, QStringLiteral("Trailer %CONTACT%"));
        }
        s.setText(c.lastRow, 1, QStringLiteral("last"));
        t.save(dir + QStringLiteral("/Tall.xls"));
        {
            // An earlier file of the same name must not be left to be sent as this one.
            QFile stale(out);
            ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
            stale.write("an earlier file");
        }
        talk.clear();
        bool made = false;
        EXPECT_NO_THROW(made = make(QStringLiteral("Tall.xls"), out));
        EXPECT_EQ(made, c.fits);
        if (c.fits) {
            EXPECT_TRUE(talk.errors().isEmpty());
            const xls::Sheet got = xls::Workbook::read(out).firstSheet();
            EXPECT_EQ(got.text(65535, 0), CreditLines().last());
        } else {
            ASSERT_EQ(talk.errors().size(), 1);
            EXPECT_TRUE(talk.errors().first().startsWith(QStringLiteral("Error:  Could Not Create Temporary File")))
                << talk.errors().first().toStdString();
            EXPECT_FALSE(QFileInfo::exists(out));
        }
    }
}

MW_INSTANTIATE_BACKENDS(SheetFileTest);
