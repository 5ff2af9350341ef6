// LibreOffice as the other side: it makes a template workbook that we read, and
// it opens the workbook we fill from that template. Long strings of characters
// from several planes are read back by LibreOffice and by xlrd, a stricter reader.
// soffice and python3-xlrd must be installed (the install step does); without them
// these tests fail.
#include "workbook.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cmath>
#include <iterator>
#include <memory>

using namespace mw::xls;

namespace {

const QString kAccented = QStringLiteral("Zo\u00eb \u00d1and\u00fa");
const QString kGreekCjk = QStringLiteral("\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \u65e5\u672c\u8a9e");
const QString kJobTitle = QStringLiteral("Senior Analyst \u00d1");
const int kFillerRows = 3000;

// The template: a bold placeholder, a number with a format of its own, text
// that is not ASCII, and three columns of set widths (5 cm, 2 cm, 5 cm).
QString templateFods()
{
    return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:automatic-styles>
  <number:number-style style:name="N1"><number:number number:decimal-places="3" number:min-decimal-places="3" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
  <style:style style:name="co1" style:family="table-column"><style:table-column-properties style:column-width="5cm"/></style:style>
  <style:style style:name="co2" style:family="table-column"><style:table-column-properties style:column-width="2cm"/></style:style>
  <style:style style:name="ce1" style:family="table-cell"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="ce2" style:family="table-cell" style:data-style-name="N1"/>
 </office:automatic-styles>
 <office:body><office:spreadsheet>
  <table:table table:name="Template">
   <table:table-column table:style-name="co1"/>
   <table:table-column table:style-name="co2"/>
   <table:table-column table:style-name="co1"/>
   <table:table-row>
    <table:table-cell table:style-name="ce1" office:value-type="string"><text:p>%JOBTITLE%</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>)") + kAccented + QStringLiteral(R"(</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>%DETAIL%</text:p></table:table-cell>
    <table:table-cell table:style-name="ce2" office:value-type="float" office:value="1234.5"><text:p>1,234.500</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>)") + kGreekCjk + QStringLiteral(R"(</text:p></table:table-cell>
   </table:table-row>
  </table:table>
 </office:spreadsheet></office:body></office:document>
)");
}

QString soffice()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    return found.isEmpty() && QFileInfo::exists(QStringLiteral("/usr/bin/soffice")) ? QStringLiteral("/usr/bin/soffice") : found;
}

// Starts one headless conversion with a profile of its own; wait with finish().
std::unique_ptr<QProcess> startConversion(const QString& workDir, const QString& profile, const QString& to, const QStringList& files)
{
    auto p = std::make_unique<QProcess>();
    QStringList args{QStringLiteral("-env:UserInstallation=file://") + workDir + QLatin1Char('/') + profile,
                     QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"), to,
                     QStringLiteral("--outdir"), workDir};
    args += files;
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->start(soffice(), args);
    return p;
}

QString finish(QProcess& p)
{
    if (!p.waitForFinished(240000))
        p.kill();
    return QString::fromLocal8Bit(p.readAll());
}

QString readText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

QVector<QStringList> parseCsv(const QString& text)
{
    QVector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
        } else if (c != u'\r') {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

// What a flat ODS says about the first table: cell styles, number styles and
// column widths, and each cell's text, value and style.
struct OdsTable
{
    struct CellStyle
    {
        bool bold = false;
        QString dataStyle;
    };
    struct NumberStyle
    {
        int decimals = -1;
        bool grouping = false;
    };
    struct OdsCell
    {
        QString text;
        QString value;
        QString style;
    };
    QHash<QString, CellStyle> cellStyles;
    QHash<QString, NumberStyle> numberStyles;
    QHash<QString, double> columnWidthsCm;
    QStringList columns; // style per column
    QVector<QVector<OdsCell>> rows;

    static OdsTable parse(const QString& xml)
    {
        OdsTable t;
        QXmlStreamReader x(xml);
        QString style;
        QString numberStyle;
        int tables = 0;
        while (!x.atEnd()) {
            x.readNext();
            if (!x.isStartElement()) {
                if (x.isEndElement() && x.qualifiedName() == u"table:table")
                    ++tables;
                continue;
            }
            const auto a = x.attributes();
            const auto name = x.qualifiedName();
            if (name == u"style:style") {
                style = a.value(QLatin1String("style:name")).toString();
                if (a.value(QLatin1String("style:family")) == u"table-cell")
                    t.cellStyles[style].dataStyle = a.value(QLatin1String("style:data-style-name")).toString();
            } else if (name == u"style:text-properties" && a.value(QLatin1String("fo:font-weight")) == u"bold") {
                t.cellStyles[style].bold = true;
            } else if (name == u"style:table-column-properties") {
                const QString w = a.value(QLatin1String("style:column-width")).toString();
                if (w.endsWith(u"cm"))
                    t.columnWidthsCm[style] = w.chopped(2).toDouble();
                else if (w.endsWith(u"in"))
                    t.columnWidthsCm[style] = w.chopped(2).toDouble() * 2.54;
            } else if (name == u"number:number-style") {
                numberStyle = a.value(QLatin1String("style:name")).toString();
            } else if (name == u"number:number") {
                t.numberStyles[numberStyle] = {a.value(QLatin1String("number:decimal-places")).toInt(), a.value(QLatin1String("number:grouping")) == u"true"};
            } else if (tables == 0 && name == u"table:table-column") {
                const int n = std::max(1, a.value(QLatin1String("table:number-columns-repeated")).toInt());
                for (int i = 0; i < n && t.columns.size() < 64; ++i)
                    t.columns << a.value(QLatin1String("table:style-name")).toString();
            } else if (tables == 0 && name == u"table:table-row") {
                const int n = std::max(1, a.value(QLatin1String("table:number-rows-repeated")).toInt());
                for (int i = 0; i < std::min(n, 2); ++i)
                    t.rows.append(QVector<OdsCell>());
            } else if (tables == 0 && name == u"table:table-cell" && !t.rows.isEmpty()) {
                OdsCell c{QString(), a.value(QLatin1String("office:value")).toString(), a.value(QLatin1String("table:style-name")).toString()};
                const int n = std::max(1, a.value(QLatin1String("table:number-columns-repeated")).toInt());
                c.text = x.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                for (int i = 0; i < std::min(n, 16); ++i)
                    t.rows.last().append(c);
            }
        }
        return t;
    }
};

class LibreOfficeWorkbook : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        if (soffice().isEmpty())
            return;
        const QString fods = s_dir->filePath(QStringLiteral("template.fods"));
        QFile f(fods);
        if (f.open(QIODevice::WriteOnly))
            f.write(templateFods().toUtf8());
        f.close();
        auto p = startConversion(s_dir->path(), QStringLiteral("profile-t"), QStringLiteral("xls"), {fods});
        s_log = finish(*p);
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override
    {
        ASSERT_FALSE(soffice().isEmpty()) << "LibreOffice (soffice) is not installed: install libreoffice-calc-nogui to run these tests";
        ASSERT_TRUE(QFileInfo::exists(templatePath())) << "LibreOffice did not convert the template: " << s_log.toStdString();
    }
    static QString templatePath() { return s_dir->filePath(QStringLiteral("template.xls")); }

    static QTemporaryDir* s_dir;
    static QString s_log;
};

QTemporaryDir* LibreOfficeWorkbook::s_dir = nullptr;
QString LibreOfficeWorkbook::s_log;

// The filled workbook: the template's tables copied into a new workbook, the
// placeholders replaced, the detail row repeated, and many more rows below so the
// string table runs over several CONTINUE records.
Workbook fillTemplate(const Workbook& tpl)
{
    const Sheet& ts = tpl.firstSheet();
    Workbook out;
    out.fonts.clear();
    out.fonts = tpl.fonts;
    out.numberFormats = tpl.numberFormats;
    out.cellFormats = tpl.cellFormats;
    out.palette = tpl.palette;
    Sheet& s = out.firstSheet();
    s.columns = ts.columns;
    int row = 0;
    for (int r = 0; r < ts.rowCount(); ++r) {
        const bool detail = ts.text(r, 0) == u"%DETAIL%";
        for (int k = 0; k < (detail ? 3 : 1); ++k, ++row) {
            for (int c = 0; c < ts.columnCount(); ++c) {
                const Cell* cell = ts.cell(r, c);
                const quint16 xf = ts.format(r, c);
                const QString text = ts.text(r, c);
                if (text == u"%JOBTITLE%")
                    s.setText(row, c, kJobTitle, xf);
                else if (text == u"%DETAIL%")
                    s.setText(row, c, QStringLiteral("Detail %1 \u00fc").arg(k + 1), xf);
                else if (cell && cell->kind == Cell::Kind::Number)
                    s.setNumber(row, c, 1000.25 * (k + 1), xf);
                else if (cell)
                    s.setText(row, c, text, xf);
            }
        }
    }
    for (int r = 0; r < kFillerRows; ++r) {
        s.setText(row + r, 0, QStringLiteral("Row %1 \u00f6").arg(r));
        s.setText(row + r, 1, QStringLiteral("%1 \u65e5 %2").arg(kGreekCjk).arg(r));
        s.setNumber(row + r, 2, r + 0.5);
    }
    s.setText(row + kFillerRows, 0, QString(9000, QChar(u'x')) + QStringLiteral("end"));
    s.setText(row + kFillerRows, 1, QString(5000, QChar(0x0416)) + QStringLiteral("end"));
    return out;
}

} // namespace

TEST_F(LibreOfficeWorkbook, ReadsTheTemplateLibreOfficeWrote)
{
    const Workbook tpl = Workbook::read(templatePath());
    const Sheet& s = tpl.firstSheet();
    EXPECT_EQ(s.name, QStringLiteral("Template"));
    ASSERT_GE(s.rowCount(), 2);
    ASSERT_GE(s.columnCount(), 3);
    EXPECT_EQ(s.text(0, 0), QStringLiteral("%JOBTITLE%"));
    EXPECT_EQ(s.text(0, 1), kAccented);
    EXPECT_EQ(s.text(1, 0), QStringLiteral("%DETAIL%"));
    EXPECT_EQ(s.text(1, 1), QStringLiteral("1234.5"));
    EXPECT_EQ(s.text(1, 2), kGreekCjk);

    const auto formatOf = [&](int r, int c) -> const CellFormat& {
        const quint16 xf = s.format(r, c);
        EXPECT_LT(xf, tpl.cellFormats.size());
        return tpl.cellFormats[std::min<int>(xf, int(tpl.cellFormats.size()) - 1)];
    };
    const Font* bold = tpl.fontAt(formatOf(0, 0).fontIndex());
    ASSERT_NE(bold, nullptr);
    EXPECT_TRUE(bold->bold());
    const Font* plain = tpl.fontAt(formatOf(0, 1).fontIndex());
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->bold());
    EXPECT_EQ(tpl.numberFormats.value(formatOf(1, 1).numberFormat()), QStringLiteral("#,##0.000"));

    // 5 cm and 2 cm: about 2.5 times as wide, and 5 cm is some 25 to 30 zero characters.
    const auto widthOf = [&](int column) -> int {
        for (const ColumnFormat& c : s.columns)
            if (c.first <= column && column <= c.last)
                return c.width;
        return -1;
    };
    const int wide = widthOf(0);
    const int narrow = widthOf(1);
    EXPECT_EQ(widthOf(2), wide);
    EXPECT_GT(wide, 20 * 256);
    EXPECT_LT(wide, 35 * 256);
    EXPECT_NEAR(double(wide) / narrow, 2.5, 0.2);
}

TEST_F(LibreOfficeWorkbook, OpensTheWorkbookWeFilled)
{
    const Workbook tpl = Workbook::read(templatePath());
    const Workbook filled = fillTemplate(tpl);
    const QString dir = s_dir->filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString xls = dir + QStringLiteral("/filled.xls");
    filled.save(xls);

    // Both conversions at once, each with its own profile.
    auto toCsv = startConversion(dir, QStringLiteral("profile-c"), QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), {xls});
    auto toFods = startConversion(dir, QStringLiteral("profile-f"), QStringLiteral("fods"), {xls});
    const QString csvLog = finish(*toCsv);
    const QString fodsLog = finish(*toFods);

    const QString csvPath = dir + QStringLiteral("/filled.csv");
    const QString fodsPath = dir + QStringLiteral("/filled.fods");
    ASSERT_TRUE(QFileInfo::exists(csvPath)) << "LibreOffice could not read our workbook: " << csvLog.toStdString();
    ASSERT_TRUE(QFileInfo::exists(fodsPath)) << "LibreOffice could not read our workbook: " << fodsLog.toStdString();

    const QVector<QStringList> rows = parseCsv(readText(csvPath));
    ASSERT_EQ(rows.size(), 4 + kFillerRows + 1);
    EXPECT_EQ(rows[0].value(0), kJobTitle);
    EXPECT_EQ(rows[0].value(1), kAccented);
    const char* const shown[] = {"1,000.250", "2,000.500", "3,000.750"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(rows[1 + k].value(0), QStringLiteral("Detail %1 \u00fc").arg(k + 1));
        EXPECT_EQ(rows[1 + k].value(1), QLatin1String(shown[k]));
        EXPECT_EQ(rows[1 + k].value(2), kGreekCjk);
    }
    for (int r = 0; r < kFillerRows; r += 7) {
        const QStringList& row = rows[4 + r];
        EXPECT_EQ(row.value(0), QStringLiteral("Row %1 \u00f6").arg(r));
        EXPECT_EQ(row.value(1), QStringLiteral("%1 \u65e5 %2").arg(kGreekCjk).arg(r));
        EXPECT_EQ(row.value(2), QString::number(r + 0.5));
    }
    EXPECT_EQ(rows.last().value(0), QString(9000, QChar(u'x')) + QStringLiteral("end"));
    EXPECT_EQ(rows.last().value(1), QString(5000, QChar(0x0416)) + QStringLiteral("end"));

    // The formats came through: bold, the number format, the column widths.
    const OdsTable ods = OdsTable::parse(readText(fodsPath));
    ASSERT_GE(ods.rows.size(), 2);
    ASSERT_GE(ods.rows[0].size(), 1);
    ASSERT_GE(ods.rows[1].size(), 2);
    EXPECT_EQ(ods.rows[0][0].text, kJobTitle);
    EXPECT_TRUE(ods.cellStyles.value(ods.rows[0][0].style).bold) << ods.rows[0][0].style.toStdString();
    EXPECT_FALSE(ods.cellStyles.value(ods.rows[0][1].style).bold);
    EXPECT_EQ(ods.rows[1][1].value, QStringLiteral("1000.25"));
    const OdsTable::NumberStyle number = ods.numberStyles.value(ods.cellStyles.value(ods.rows[1][1].style).dataStyle);
    EXPECT_EQ(number.decimals, 3);
    EXPECT_TRUE(number.grouping);
    ASSERT_GE(ods.columns.size(), 3);
    EXPECT_NEAR(ods.columnWidthsCm.value(ods.columns[0]), 5.0, 0.15);
    EXPECT_NEAR(ods.columnWidthsCm.value(ods.columns[1]), 2.0, 0.15);
    EXPECT_NEAR(ods.columnWidthsCm.value(ods.columns[2]), 5.0, 0.15);
}

// ---------------------------------------------------------------- strings across record ends

namespace {

// Long strings of characters from several planes (Latin-1, Greek, CJK, emoji,
// musical symbols, rare CJK from plane 2), each of its own length and mix, so that
// the shared string table's record ends fall inside them at many different places:
// on either half of a surrogate pair, on a BMP character, on an odd or even unit.
QStringList crossingStrings()
{
    const char32_t alphabet[] = {U'\u00e9', U'\U0001F600', U'\u5c71', U'\U00020000', U'\u03a9',
                                 U'\U0001D11E', U'\U0002F800', U'\U00010348', U'a'};
    const int letters = int(std::size(alphabet));
    QStringList strings;
    for (int i = 0; i < 240; ++i) {
        QString s;
        const int length = 300 + (i * 37) % 701;
        for (int k = 0; k < length; ++k) {
            const char32_t c = alphabet[(k * (i % 7 + 1) + i) % letters];
            s += QString::fromUcs4(&c, 1);
        }
        strings << s;
    }
    return strings;
}

// The first column of the first sheet as xlrd reads it; an error text when it cannot.
QStringList readWithXlrd(const QString& path, QString& error)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import json, sys, xlrd\n"
                            "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                            "print(json.dumps([s.cell_value(r, 0) for r in range(s.nrows)]))\n"),
             path});
    if (!p.waitForFinished(120000))
        p.kill();
    const QByteArray out = p.readAllStandardOutput();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(out, &parseError);
    if (p.exitCode() != 0 || !doc.isArray()) {
        error = QString::fromUtf8(p.readAllStandardError().right(2000));
        return {};
    }
    QStringList values;
    for (const QJsonValue& v : doc.array())
        values << v.toString();
    return values;
}

} // namespace

TEST(WorkbookStrings, CharactersBeyondTheBasicPlaneSurviveRecordEnds)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QStringList strings = crossingStrings();
    Workbook book;
    for (int i = 0; i < strings.size(); ++i)
        book.firstSheet().setText(i, 0, strings.at(i));
    const QString xls = tmp.filePath(QStringLiteral("planes.xls"));
    book.save(xls);

    QString error;
    const QStringList byXlrd = readWithXlrd(xls, error);
    ASSERT_EQ(byXlrd.size(), strings.size()) << "xlrd could not read the workbook: " << error.toStdString();
    for (int i = 0; i < strings.size(); ++i)
        EXPECT_EQ(byXlrd.at(i), strings.at(i)) << "row " << i;

    auto toCsv = startConversion(tmp.path(), QStringLiteral("profile-planes"),
                                 QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), {xls});
    const QString log = finish(*toCsv);
    const QVector<QStringList> rows = parseCsv(readText(tmp.filePath(QStringLiteral("planes.csv"))));
    ASSERT_EQ(rows.size(), strings.size()) << "LibreOffice could not read the workbook: " << log.toStdString();
    for (int i = 0; i < strings.size(); ++i)
        EXPECT_EQ(rows.at(i).value(0), strings.at(i)) << "row " << i;

    // And our own reader.
    const Sheet back = Workbook::read(xls).firstSheet();
    for (int i = 0; i < strings.size(); ++i)
        EXPECT_EQ(back.text(i, 0), strings.at(i)) << "row " << i;
}
