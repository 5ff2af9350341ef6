// Cell records our writer never makes but other programs do: RK and MULRK
// numbers, MULBLANK, LABEL, BOOLERR, formulas with their cached results, and
// shared strings with rich-text runs and phonetic data cut across CONTINUE
// records where the character width changes.
#include "compoundfile.h"
#include "workbook.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <cstring>

using namespace mw::xls;

namespace {

class Bytes
{
public:
    Bytes& u8(quint8 v)
    {
        b.append(char(v));
        return *this;
    }
    Bytes& u16(quint16 v)
    {
        char x[2];
        qToLittleEndian(v, x);
        b.append(x, 2);
        return *this;
    }
    Bytes& u32(quint32 v)
    {
        char x[4];
        qToLittleEndian(v, x);
        b.append(x, 4);
        return *this;
    }
    Bytes& f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, 8);
        char x[8];
        qToLittleEndian(bits, x);
        b.append(x, 8);
        return *this;
    }
    Bytes& latin1(const char* s)
    {
        b.append(s);
        return *this;
    }
    Bytes& wide(const QString& s)
    {
        for (QChar c : s)
            u16(c.unicode());
        return *this;
    }
    QByteArray b;
};

QByteArray record(quint16 type, const Bytes& data)
{
    return Bytes().u16(type).u16(quint16(data.b.size())).b + data.b;
}

QByteArray bof(quint16 kind)
{
    return record(0x0809, Bytes().u16(0x0600).u16(kind).u32(0).u32(0).u32(0));
}

quint32 rkInteger(qint32 v) { return (quint32(v) << 2) | 0x02; }
quint32 rkHundredths(qint32 v) { return (quint32(v) << 2) | 0x03; }
quint32 rkDouble(double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    return quint32(bits >> 32);
}

const QString kRich = QStringLiteral("Caf\u00e9 \u03a9\u03bc\u03ad\u03b3\u03b1");

QByteArray crafted()
{
    // Shared strings: "plain"; then kRich with 2 runs and 6 bytes of phonetic
    // data. Its first 5 characters ("Café ", one byte each) end the SST record;
    // the rest goes on two bytes each in a CONTINUE; its runs and phonetic data
    // are cut by another CONTINUE (no option byte there: they are not characters);
    // a last string follows, begun in that third record.
    const Bytes sst = Bytes().u32(3).u32(3).u16(5).u8(0).latin1("plain").u16(quint16(kRich.size())).u8(0x0C).u16(2).u32(6).latin1("Caf\xe9 ");
    const Bytes cont1 = Bytes().u8(0x01).wide(kRich.mid(5)).u16(0).u16(1).u16(3);
    const Bytes cont2 = Bytes().u16(2).u8(0xAA).u8(0xBB).u32(0xDDCCBBAA).u16(4).u8(0).latin1("last");

    QByteArray globals = bof(0x0005);
    globals += record(0x0042, Bytes().u16(1252));
    const qsizetype sheetRef = globals.size() + 4;
    globals += record(0x0085, Bytes().u32(0).u8(0).u8(0).u8(4).u8(0).latin1("Data"));
    globals += record(0x00FC, sst) + record(0x003C, cont1) + record(0x003C, cont2);
    globals += record(0x000A, Bytes());
    qToLittleEndian(quint32(globals.size()), globals.data() + sheetRef);

    QByteArray sheet = bof(0x0010);
    sheet += record(0x0200, Bytes().u32(0).u32(8).u16(0).u16(4).u16(0));
    sheet += record(0x00FD, Bytes().u16(0).u16(0).u16(16).u32(0));
    sheet += record(0x00FD, Bytes().u16(0).u16(1).u16(17).u32(1));
    sheet += record(0x00FD, Bytes().u16(0).u16(2).u16(15).u32(2));
    sheet += record(0x0204, Bytes().u16(1).u16(0).u16(18).u16(3).u8(1).wide(QStringLiteral("\u00d1\u65e5x")));
    sheet += record(0x027E, Bytes().u16(2).u16(0).u16(19).u32(rkInteger(-5)));
    sheet += record(0x027E, Bytes().u16(2).u16(1).u16(19).u32(rkHundredths(123)));
    sheet += record(0x00BD, Bytes().u16(3).u16(1).u16(20).u32(rkDouble(0.5)).u16(21).u32(rkInteger(70000)).u16(22).u32(rkHundredths(-1)).u16(3));
    sheet += record(0x00BE, Bytes().u16(4).u16(2).u16(23).u16(24).u16(3));
    sheet += record(0x0205, Bytes().u16(5).u16(0).u16(15).u8(1).u8(0));
    sheet += record(0x0205, Bytes().u16(5).u16(1).u16(15).u8(0x2A).u8(1));
    // Formulas: number, text (in the STRING after a SHRFMLA), boolean, error, empty text.
    sheet += record(0x0006, Bytes().u16(6).u16(0).u16(25).f64(2.5).u16(0).u32(0).u16(0));
    sheet += record(0x0006, Bytes().u16(6).u16(1).u16(26).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF).u16(0).u32(0).u16(0));
    sheet += record(0x04BC, Bytes().u32(0).u16(0));
    sheet += record(0x0207, Bytes().u16(2).u8(0).latin1("fx"));
    sheet += record(0x0006, Bytes().u16(6).u16(2).u16(27).u8(1).u8(0).u8(1).u8(0).u8(0).u8(0).u16(0xFFFF).u16(0).u32(0).u16(0));
    sheet += record(0x0006, Bytes().u16(6).u16(3).u16(27).u8(2).u8(0).u8(0x07).u8(0).u8(0).u8(0).u16(0xFFFF).u16(0).u32(0).u16(0));
    sheet += record(0x0006, Bytes().u16(7).u16(0).u16(27).u8(3).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF).u16(0).u32(0).u16(0));
    // An embedded chart: its records are not the sheet's.
    sheet += bof(0x0020) + record(0x0203, Bytes().u16(9).u16(9).u16(15).f64(99)) + record(0x000A, Bytes());
    sheet += record(0x000A, Bytes());
    return globals + sheet;
}

} // namespace

TEST(ForeignRecords, CellsOfEveryKindRead)
{
    const Workbook wb = Workbook::fromBytes(cfb::writeCompound(QStringLiteral("Workbook"), crafted()));
    const Sheet& s = wb.firstSheet();
    EXPECT_EQ(s.name, QStringLiteral("Data"));
    EXPECT_EQ(s.rowCount(), 8);
    EXPECT_EQ(s.columnCount(), 4);

    struct Expect
    {
        int row;
        int column;
        const char16_t* text;
        quint16 format;
        Cell::Kind kind;
    };
    const Expect cases[] = {
        {0, 0, u"plain", 16, Cell::Kind::Text},
        {0, 1, u"Caf\u00e9 \u03a9\u03bc\u03ad\u03b3\u03b1", 17, Cell::Kind::Text},
        {0, 2, u"last", 15, Cell::Kind::Text},
        {1, 0, u"\u00d1\u65e5x", 18, Cell::Kind::Text},
        {2, 0, u"-5", 19, Cell::Kind::Number},
        {2, 1, u"1.23", 19, Cell::Kind::Number},
        {3, 1, u"0.5", 20, Cell::Kind::Number},
        {3, 2, u"70000", 21, Cell::Kind::Number},
        {3, 3, u"-0.01", 22, Cell::Kind::Number},
        {4, 2, u"", 23, Cell::Kind::Blank},
        {4, 3, u"", 24, Cell::Kind::Blank},
        {5, 0, u"TRUE", 15, Cell::Kind::Boolean},
        {5, 1, u"#N/A", 15, Cell::Kind::Error},
        {6, 0, u"2.5", 25, Cell::Kind::Number},
        {6, 1, u"fx", 26, Cell::Kind::Text},
        {6, 2, u"TRUE", 27, Cell::Kind::Boolean},
        {6, 3, u"#DIV/0!", 27, Cell::Kind::Error},
        {7, 0, u"", 27, Cell::Kind::Text},
    };
    for (const Expect& e : cases) {
        const Cell* c = s.cell(e.row, e.column);
        ASSERT_NE(c, nullptr) << e.row << "," << e.column;
        EXPECT_EQ(s.text(e.row, e.column), QString::fromUtf16(e.text)) << e.row << "," << e.column;
        EXPECT_EQ(s.format(e.row, e.column), e.format) << e.row << "," << e.column;
        EXPECT_EQ(c->kind, e.kind) << e.row << "," << e.column;
    }
    EXPECT_EQ(s.cell(1, 1), nullptr);
    EXPECT_EQ(s.cell(9, 9), nullptr); // in the embedded chart
}
