// The workbook written and read back in-process: tables, cells, the shared
// string table across CONTINUE records, the mini stream, the writer's checks.
#include "compoundfile.h"
#include "workbook.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <tuple>

using namespace mw::xls;

namespace {

const QString kNonAscii = QStringLiteral("Zo\u00eb \u00d1and\u00fa \u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \u65e5\u672c\u8a9e \U0001F600");

// A workbook shaped like a filled template: an extra bold font past the gap at
// index 4, custom number formats, cell formats that use them, a palette and
// column formats.
Workbook sampleWorkbook()
{
    Workbook wb;
    Font bold;
    bold.name = QStringLiteral("Liberation Sans");
    bold.weight = 700;
    bold.height = 240;
    bold.colorIndex = 10;
    Font italic;
    italic.name = QStringLiteral("DejaVu Serif \u00c5");
    italic.options = 0x0002;
    italic.underline = 1;
    wb.fonts << bold << italic; // BIFF indexes 5 and 6
    wb.numberFormats.insert(164, QStringLiteral("#,##0.000"));
    wb.numberFormats.insert(165, QStringLiteral("\"\u20ac\" 0.0%"));
    CellFormat boldXf = CellFormat::defaultCell();
    boldXf.setFontIndex(5);
    CellFormat numberXf = CellFormat::defaultCell();
    numberXf.setFontIndex(6);
    numberXf.setNumberFormat(164);
    numberXf.raw[10] = 0x11; // thin left and right borders
    wb.cellFormats << boldXf << numberXf; // XF 16 and 17
    for (int i = 0; i < 56; ++i)
        wb.palette.append(quint32(i * 0x030507));

    Sheet& s = wb.firstSheet();
    s.name = QStringLiteral("P\u00e9rsonal");
    s.columns.append({0, 0, 5000, 16, false, false, 0});
    s.columns.append({1, 3, 1200, 15, true, true, 2});
    s.setText(0, 0, QStringLiteral("%JOBTITLE%"), 16);
    s.setText(0, 1, kNonAscii);
    s.setNumber(1, 0, 1234.5, 17);
    s.setNumber(1, 1, -0.1);
    s.setNumber(1, 2, 1e300);
    s.setNumber(1, 3, 3);
    Cell flag;
    flag.kind = Cell::Kind::Boolean;
    flag.number = 1;
    s.setCell(2, 0, flag);
    Cell error;
    error.kind = Cell::Kind::Error;
    error.number = 0x2A;
    s.setCell(2, 1, error);
    Cell blank;
    blank.format = 17;
    s.setCell(4, 7, blank);
    s.setText(3, 0, QString()); // an empty string is still a text cell
    return wb;
}

void expectSameCells(const Sheet& a, const Sheet& b)
{
    ASSERT_EQ(a.rowCount(), b.rowCount());
    ASSERT_EQ(a.columnCount(), b.columnCount());
    for (int r = 0; r < a.rowCount(); ++r)
        for (int c = 0; c < a.columnCount(); ++c) {
            const Cell* x = a.cell(r, c);
            const Cell* y = b.cell(r, c);
            ASSERT_EQ(x == nullptr, y == nullptr) << r << "," << c;
            if (!x)
                continue;
            EXPECT_EQ(x->kind, y->kind) << r << "," << c;
            EXPECT_EQ(x->text, y->text) << r << "," << c;
            EXPECT_EQ(x->number, y->number) << r << "," << c;
            EXPECT_EQ(x->format, y->format) << r << "," << c;
        }
}


// A version 4 compound document (4096-byte sectors) with one stream: the
// stream's sectors, then one directory sector, then one FAT sector.
QByteArray version4Document(const QString& name, const QByteArray& data)
{
    const qsizetype sector = 4096;
    const quint32 streamSectors = quint32((data.size() + sector - 1) / sector);
    const quint32 dir = streamSectors;
    const quint32 fat = dir + 1;
    QByteArray out((qsizetype(fat) + 2) * sector, '\0');
    const auto put16 = [&](qsizetype at, quint16 v) { qToLittleEndian(v, out.data() + at); };
    const auto put32 = [&](qsizetype at, quint32 v) { qToLittleEndian(v, out.data() + at); };
    const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    out.replace(0, 8, QByteArray(signature, 8));
    put16(0x18, 0x3E);
    put16(0x1A, 4);
    put16(0x1C, 0xFFFE);
    put16(0x1E, 12);
    put16(0x20, 6);
    put32(0x28, 1);
    put32(0x2C, 1);
    put32(0x30, dir);
    put32(0x38, 4096);
    put32(0x3C, 0xFFFFFFFE);
    put32(0x44, 0xFFFFFFFE);
    for (int i = 0; i < 109; ++i)
        put32(0x4C + 4 * i, i == 0 ? fat : 0xFFFFFFFF);
    const auto at = [&](quint32 id) { return (qsizetype(id) + 1) * sector; };
    out.replace(at(0), data.size(), data);
    for (quint32 i = 0; i < 1024; ++i) {
        quint32 next = 0xFFFFFFFF;
        if (i < streamSectors)
            next = i + 1 < streamSectors ? i + 1 : 0xFFFFFFFE;
        else if (i == dir)
            next = 0xFFFFFFFE;
        else if (i == fat)
            next = 0xFFFFFFFD;
        put32(at(fat) + 4 * i, next);
    }
    const auto entry = [&](int k, const QString& entryName, quint8 type, quint32 child, quint32 start, quint64 size) {
        const qsizetype e = at(dir) + 128 * k;
        for (int i = 0; i < entryName.size(); ++i)
            put16(e + 2 * i, entryName[i].unicode());
        put16(e + 0x40, quint16((entryName.size() + 1) * 2));
        out[e + 0x42] = char(type);
        out[e + 0x43] = 1;
        put32(e + 0x44, 0xFFFFFFFF);
        put32(e + 0x48, 0xFFFFFFFF);
        put32(e + 0x4C, child);
        put32(e + 0x74, start);
        qToLittleEndian(size, out.data() + e + 0x78);
    };
    entry(0, QStringLiteral("Root Entry"), 5, 1, 0xFFFFFFFE, 0);
    entry(1, name, 2, 0xFFFFFFFF, 0, quint64(data.size()));
    for (int k = 2; k < 32; ++k)
        entry(k, QString(), 0, 0xFFFFFFFF, 0, 0);
    return out;
}

} // namespace

TEST(WorkbookRoundTrip, KeepsTablesCellsAndColumns)
{
    const Workbook wb = sampleWorkbook();
    const Workbook back = Workbook::fromBytes(wb.toBytes());

    ASSERT_EQ(back.fonts.size(), wb.fonts.size());
    for (int i = 0; i < wb.fonts.size(); ++i) {
        const Font& x = wb.fonts[i];
        const Font& y = back.fonts[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.height, y.height);
        EXPECT_EQ(x.options, y.options);
        EXPECT_EQ(x.colorIndex, y.colorIndex);
        EXPECT_EQ(x.weight, y.weight);
        EXPECT_EQ(x.underline, y.underline);
    }
    EXPECT_EQ(back.numberFormats, wb.numberFormats);
    ASSERT_EQ(back.cellFormats.size(), wb.cellFormats.size());
    for (int i = 0; i < wb.cellFormats.size(); ++i)
        EXPECT_EQ(back.cellFormats[i].raw, wb.cellFormats[i].raw) << "XF " << i;
    EXPECT_EQ(back.palette, wb.palette);

    // The XF font indexes still point at the same fonts across the gap at 4.
    ASSERT_NE(back.fontAt(back.cellFormats[16].fontIndex()), nullptr);
    EXPECT_TRUE(back.fontAt(back.cellFormats[16].fontIndex())->bold());
    EXPECT_TRUE(back.fontAt(back.cellFormats[17].fontIndex())->italic());
    EXPECT_EQ(back.numberFormats.value(back.cellFormats[17].numberFormat()), QStringLiteral("#,##0.000"));

    ASSERT_EQ(back.sheets.size(), 1);
    const Sheet& s = back.firstSheet();
    EXPECT_EQ(s.name, wb.firstSheet().name);
    ASSERT_EQ(s.columns.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const ColumnFormat& x = wb.firstSheet().columns[i];
        const ColumnFormat& y = s.columns[i];
        EXPECT_EQ(std::tuple(x.first, x.last, x.width, x.formatIndex, x.hidden, x.collapsed, x.outlineLevel),
                  std::tuple(y.first, y.last, y.width, y.formatIndex, y.hidden, y.collapsed, y.outlineLevel));
    }
    expectSameCells(wb.firstSheet(), s);
    EXPECT_EQ(s.text(0, 1), kNonAscii);
}

TEST(WorkbookRoundTrip, SeveralSheetsKeepTheirOwnCells)
{
    Workbook wb;
    wb.sheets.append(Sheet());
    wb.sheets[1].name = QStringLiteral("Zweites Blatt");
    wb.sheets[0].setText(0, 0, QStringLiteral("shared"));
    wb.sheets[1].setText(5, 3, QStringLiteral("shared"));
    wb.sheets[1].setNumber(6, 3, 7);
    const Workbook back = Workbook::fromBytes(wb.toBytes());
    ASSERT_EQ(back.sheets.size(), 2);
    EXPECT_EQ(back.sheets[1].name, wb.sheets[1].name);
    expectSameCells(wb.sheets[0], back.sheets[0]);
    expectSameCells(wb.sheets[1], back.sheets[1]);
}

// Thousands of strings fill many CONTINUE records; long strings of both widths
// at shifting lengths get cut at every kind of place, including inside a string.
TEST(WorkbookRoundTrip, LargeSharedStringTable)
{
    Workbook wb;
    Sheet& s = wb.firstSheet();
    const int rows = 5000;
    const int columns = 22;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            QString text = QStringLiteral("r%1c%2").arg(r).arg(c);
            if (c == 5)
                text += QStringLiteral(" \u00f1\u00e9"); // still one byte a character
            if (c == 7 && r % 3 == 0)
                text += QStringLiteral(" \u0394\u65e5"); // two bytes a character
            s.setText(r, c, text);
        }
    for (int k = 0; k < 40; ++k) {
        // 8,200..9,000 one-byte and 4,100..4,500 two-byte characters: many
        // longer than a record, starting at every offset.
        s.setText(k, columns, QString(8200 + 20 * k, QChar(u'a' + k % 26)) + QString::number(k));
        s.setText(k, columns + 1, QString(4100 + 10 * k, QChar(0x0416 + k)) + QString::number(k));
        s.setText(k, columns + 2, QString(16500 + k, QChar(u'\u00fc')));
    }
    s.setText(rows, 0, QString(32767, QChar(0x4E2D)));

    const QByteArray bytes = wb.toBytes();
    const Workbook back = Workbook::fromBytes(bytes);
    expectSameCells(s, back.firstSheet());
}

TEST(WorkbookRoundTrip, SmallStreamInTheMiniStream)
{
    Workbook wb;
    wb.firstSheet().setText(0, 0, kNonAscii);
    wb.firstSheet().setNumber(1, 0, 2.25);
    // The writer pads its stream to 4096 bytes; take the records alone.
    QByteArray stream = cfb::CompoundReader(wb.toBytes()).stream(QStringLiteral("Workbook"));
    while (stream.endsWith('\0'))
        stream.chop(1);
    stream.append(3, '\0'); // the EOF record's zero length
    ASSERT_LT(stream.size(), 4096);
    const Workbook back = Workbook::fromBytes(cfb::writeCompound(QStringLiteral("Workbook"), stream, true));
    expectSameCells(wb.firstSheet(), back.firstSheet());
}

TEST(CompoundFile, ManyFatSectorsNeedDifatSectors)
{
    // 110 FAT sectors and more: the header's 109 slots do not reach.
    QByteArray data(512 * 128 * 112, '\0');
    for (qsizetype i = 0; i < data.size(); i += 4099)
        data[i] = char(i / 4099);
    const QByteArray file = cfb::writeCompound(QStringLiteral("Blob"), data);
    const cfb::CompoundReader reader(file);
    EXPECT_TRUE(reader.hasStream(QStringLiteral("blob")));
    EXPECT_FALSE(reader.hasStream(QStringLiteral("Book")));
    EXPECT_EQ(reader.stream(QStringLiteral("Blob")), data);
}

TEST(CompoundFile, Version4With4096ByteSectors)
{
    Workbook wb = sampleWorkbook();
    for (int r = 10; r < 800; ++r)
        wb.firstSheet().setText(r, 2, QStringLiteral("row %1 \u00e6").arg(r));
    const QByteArray stream = cfb::CompoundReader(wb.toBytes()).stream(QStringLiteral("Workbook"));
    ASSERT_GT(stream.size(), 3 * 4096);
    const Workbook back = Workbook::fromBytes(version4Document(QStringLiteral("Workbook"), stream));
    expectSameCells(wb.firstSheet(), back.firstSheet());
}

TEST(SheetCells, TextOfEachKind)
{
    struct Case
    {
        Cell::Kind kind;
        double number;
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {Cell::Kind::Number, 12.5, {}, QStringLiteral("12.5")},
        {Cell::Kind::Number, 3, {}, QStringLiteral("3")},
        {Cell::Kind::Number, -0.1, {}, QStringLiteral("-0.1")},
        {Cell::Kind::Number, 1234567, {}, QStringLiteral("1234567")},
        {Cell::Kind::Number, 0.1 + 0.2, {}, QStringLiteral("0.30000000000000004")},
        {Cell::Kind::Boolean, 1, {}, QStringLiteral("TRUE")},
        {Cell::Kind::Boolean, 0, {}, QStringLiteral("FALSE")},
        {Cell::Kind::Error, 0x2A, {}, QStringLiteral("#N/A")},
        {Cell::Kind::Error, 0x07, {}, QStringLiteral("#DIV/0!")},
        {Cell::Kind::Blank, 0, {}, QString()},
        {Cell::Kind::Text, 0, QStringLiteral("%DETAIL%"), QStringLiteral("%DETAIL%")},
    };
    for (const Case& c : cases) {
        Sheet s;
        Cell cell;
        cell.kind = c.kind;
        cell.number = c.number;
        cell.text = c.text;
        s.setCell(2, 3, cell);
        EXPECT_EQ(s.text(2, 3), c.expected) << c.expected.toStdString();
        EXPECT_EQ(s.rowCount(), 3);
        EXPECT_EQ(s.columnCount(), 4);
    }
    Sheet s;
    EXPECT_EQ(s.text(0, 0), QString());
    EXPECT_EQ(s.format(7, 7), 15);
    EXPECT_EQ(s.rowCount(), 0);
    EXPECT_THROW(s.setText(65536, 0, QStringLiteral("x")), WorkbookError);
    EXPECT_THROW(s.setText(0, 256, QStringLiteral("x")), WorkbookError);
    EXPECT_THROW(s.setText(-1, 0, QStringLiteral("x")), WorkbookError);
}

TEST(WorkbookTables, FontIndexFourIsSkipped)
{
    Workbook wb;
    wb.fonts.clear();
    for (int i = 0; i < 6; ++i) {
        Font f;
        f.height = quint16(100 + i);
        wb.fonts.append(f);
    }
    EXPECT_EQ(wb.fontAt(3)->height, 103);
    EXPECT_EQ(wb.fontAt(4), nullptr);
    EXPECT_EQ(wb.fontAt(5)->height, 104);
    EXPECT_EQ(wb.fontAt(6)->height, 105);
    EXPECT_EQ(wb.fontAt(7), nullptr);
}

// A table copied without what it refers to would give a file that spreadsheet
// programs reject; the writer says so instead.
TEST(WorkbookTables, WriterRefusesDanglingReferences)
{
    struct Case
    {
        const char* what;
        void (*spoil)(Workbook&);
    };
    const Case cases[] = {
        {"XF on font 4", [](Workbook& wb) { wb.cellFormats[15].setFontIndex(4); }},
        {"XF on a missing font", [](Workbook& wb) { wb.cellFormats[15].setFontIndex(9); }},
        {"XF on a missing number format", [](Workbook& wb) { wb.cellFormats[15].setNumberFormat(170); }},
        {"XF of the wrong size", [](Workbook& wb) { wb.cellFormats[15].raw.chop(1); }},
        {"cell on a missing XF", [](Workbook& wb) { wb.firstSheet().setText(0, 0, QStringLiteral("x"), 16); }},
        {"column on a missing XF", [](Workbook& wb) { wb.firstSheet().columns.append({0, 0, 100, 40, false, false, 0}); }},
        {"text too long", [](Workbook& wb) { wb.firstSheet().setText(0, 0, QString(32768, QChar(u'x'))); }},
        {"sheet name too long", [](Workbook& wb) { wb.firstSheet().name = QString(32, QChar(u'x')); }},
        {"sheet name with a slash", [](Workbook& wb) { wb.firstSheet().name = QStringLiteral("a/b"); }},
        {"two sheets of one name", [](Workbook& wb) { wb.sheets.append(wb.firstSheet()); wb.sheets[1].name = QStringLiteral("SHEET1"); }},
    };
    for (const Case& c : cases) {
        Workbook wb;
        c.spoil(wb);
        EXPECT_THROW(wb.toBytes(), WorkbookError) << c.what;
    }
}

TEST(WorkbookFiles, SaveAndReadAFile)
{
    const Workbook wb = sampleWorkbook();
    const QString path = QDir::tempPath() + QStringLiteral("/mw_workbook_test_%1.xls").arg(QCoreApplication::applicationPid());
    wb.save(path);
    const Workbook back = Workbook::read(path);
    QFile::remove(path);
    expectSameCells(wb.firstSheet(), back.firstSheet());
    EXPECT_THROW(Workbook::read(path), WorkbookError);
}
