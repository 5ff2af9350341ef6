// Damaged, hostile and unsupported files: each must end in a WorkbookError,
// never a crash, a hang or a huge allocation.
#include "compoundfile.h"
#include "workbook.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <functional>
#include <random>

using namespace mw::xls;

namespace {

quint32 get32(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 4 > b.size())
        return 0xFFFFFFFF;
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uchar(b.at(at + i));
    return v;
}
void put32(QByteArray& b, qsizetype at, quint32 v) { qToLittleEndian(v, b.data() + at); }
qsizetype sectorAt(quint32 id) { return qsizetype(id + 1) * 512; }

QByteArray record(quint16 type, const QByteArray& data)
{
    QByteArray r(4, '\0');
    qToLittleEndian(type, r.data());
    qToLittleEndian(quint16(data.size()), r.data() + 2);
    return r + data;
}

QByteArray bof(quint16 version, quint16 kind)
{
    QByteArray d(16, '\0');
    qToLittleEndian(version, d.data());
    qToLittleEndian(kind, d.data() + 2);
    return record(0x0809, d);
}

QByteArray realWorkbook()
{
    Workbook wb;
    for (int r = 0; r < 200; ++r) {
        wb.firstSheet().setText(r, 0, QStringLiteral("line %1 \u00e9\u65e5").arg(r));
        wb.firstSheet().setNumber(r, 1, r * 1.5);
    }
    return wb.toBytes();
}

// Where the FAT entry of a sector is (the file's FAT fits in its first FAT sector).
qsizetype fatEntry(const QByteArray& file, quint32 id) { return sectorAt(get32(file, 0x4C)) + 4 * qsizetype(id); }
// The first sector of the root's first child stream.
quint32 streamStart(const QByteArray& file) { return get32(file, sectorAt(get32(file, 0x30)) + 128 + 0x74); }

struct Case
{
    const char* name;
    std::function<QByteArray()> make;
    const char* messageHas = nullptr;
};

} // namespace

TEST(HostileWorkbook, EachRaisesWorkbookError)
{
    const QByteArray real = realWorkbook();
    ASSERT_NO_THROW(Workbook::fromBytes(real));
    const QByteArray globalsOnly = bof(0x0600, 0x0005) + record(0x000A, {});

    const Case cases[] = {
        {"empty file", [] { return QByteArray(); }, "compound"},
        {"random bytes",
         [] {
             std::mt19937 gen(7);
             QByteArray b(20000, '\0');
             for (char& c : b)
                 c = char(gen());
             return b;
         },
         "compound"},
        {"signature then random bytes",
         [&] {
             std::mt19937 gen(11);
             QByteArray b = real.left(8);
             b.resize(8192);
             for (qsizetype i = 8; i < b.size(); ++i)
                 b[i] = char(gen());
             return b;
         }},
        {"truncated to the header", [&] { return real.left(512); }},
        {"truncated in the header", [&] { return real.left(300); }},
        {"truncated to half", [&] { return real.left(real.size() / 2); }},
        {"truncated by a sector", [&] { return real.left(real.size() - 512); }},
        {"truncated by a byte", [&] { return real.left(real.size() - 1); }},
        {"FAT cycle in the stream",
         [&] {
             QByteArray b = real;
             const quint32 start = streamStart(b);
             put32(b, fatEntry(b, start + 1), start);
             return b;
         },
         "loops"},
        {"FAT entry pointing at itself",
         [&] {
             QByteArray b = real;
             put32(b, fatEntry(b, streamStart(b)), streamStart(b));
             return b;
         },
         "loops"},
        {"sector index out of range",
         [&] {
             QByteArray b = real;
             put32(b, fatEntry(b, streamStart(b)), 0x00FFFFF0);
             return b;
         },
         "out of range"},
        {"directory sector out of range",
         [&] {
             QByteArray b = real;
             put32(b, 0x30, 0x7FFFFFF0);
             return b;
         }},
        {"FAT sector out of range",
         [&] {
             QByteArray b = real;
             put32(b, 0x4C, 0x10000);
             return b;
         }},
        {"huge FAT sector count",
         [&] {
             QByteArray b = real;
             put32(b, 0x2C, 0xFFFFFFF0);
             return b;
         }},
        {"DIFAT sector pointing at itself",
         [&] {
             // 109 header slots all name the real FAT sector; then a DIFAT sector chained to itself.
             QByteArray b = real + QByteArray(512 * 300, '\0'); // room for more than 109 FAT sectors
             const quint32 fat = get32(b, 0x4C);
             const quint32 self = quint32(b.size() / 512 - 1);
             QByteArray difat(512, '\0');
             for (int j = 0; j < 127; ++j)
                 put32(difat, 4 * j, fat);
             put32(difat, 508, self);
             b += difat;
             for (int i = 0; i < 109; ++i)
                 put32(b, 0x4C + 4 * i, fat);
             put32(b, 0x2C, 109 + 127 + 10); // more FAT sectors than one DIFAT sector lists
             put32(b, 0x44, self);
             put32(b, 0x48, 1);
             return b;
         },
         "loops"},
        {"stream size beyond the file",
         [&] {
             QByteArray b = real;
             put32(b, sectorAt(get32(b, 0x30)) + 128 + 0x78, 0x7FFFFFFF);
             return b;
         }},
        {"mini FAT cycle",
         [] {
             QByteArray stream = bof(0x0600, 0x0005) + record(0x000A, {});
             QByteArray b = cfb::writeCompound(QStringLiteral("Workbook"), stream + QByteArray(150, '\0'), true);
             put32(b, sectorAt(get32(b, 0x3C)) + 4, 1); // mini sector 1 -> 1
             return b;
         },
         "loops"},
        {"BIFF5 Book stream", [] { return cfb::writeCompound(QStringLiteral("Book"), bof(0x0500, 0x0005) + record(0x000A, {})); }, "BIFF8"},
        {"BIFF5 records in a Workbook stream",
         [] { return cfb::writeCompound(QStringLiteral("Workbook"), bof(0x0500, 0x0005) + record(0x000A, {})); },
         "BIFF8"},
        {"no Workbook stream", [] { return cfb::writeCompound(QStringLiteral("Other"), QByteArray(5000, 'x')); }},
        {"encrypted",
         [] { return cfb::writeCompound(QStringLiteral("Workbook"), bof(0x0600, 0x0005) + record(0x002F, QByteArray(54, '\1')) + record(0x000A, {})); },
         "encrypted"},
        {"globals without EOF", [] { return cfb::writeCompound(QStringLiteral("Workbook"), bof(0x0600, 0x0005)); }},
        {"record longer than the stream",
         [] {
             QByteArray s = bof(0x0600, 0x0005) + record(0x0031, QByteArray(20, '\0'));
             s.chop(10);
             return cfb::writeCompound(QStringLiteral("Workbook"), s, true);
         }},
        {"no worksheet", [&] { return cfb::writeCompound(QStringLiteral("Workbook"), globalsOnly); }, "no worksheet"},
        {"sheet offset out of range",
         [] {
             QByteArray sheetRef(9, '\0');
             qToLittleEndian(quint32(0x7FFFFFF0), sheetRef.data());
             sheetRef[6] = 1;
             sheetRef[8] = 'S';
             return cfb::writeCompound(QStringLiteral("Workbook"), bof(0x0600, 0x0005) + record(0x0085, sheetRef) + record(0x000A, {}));
         },
         "sheet offset"},
        {"shared string index out of range",
         [] {
             QByteArray globals = bof(0x0600, 0x0005);
             QByteArray sheetRef(9, '\0');
             sheetRef[6] = 1;
             sheetRef[8] = 'S';
             globals += record(0x0085, sheetRef) + record(0x000A, {});
             qToLittleEndian(quint32(globals.size()), globals.data() + 20 + 4); // the BOUNDSHEET offset
             QByteArray label(10, '\0');
             qToLittleEndian(quint32(5), label.data() + 6);
             return cfb::writeCompound(QStringLiteral("Workbook"), globals + bof(0x0600, 0x0010) + record(0x00FD, label) + record(0x000A, {}));
         },
         "shared string"},
        {"string claiming more characters than its record",
         [] {
             QByteArray sst(8, '\0');
             qToLittleEndian(quint32(1), sst.data() + 4);
             sst += QByteArray("\xff\xff\x01", 3) + QByteArray(40, 'a');
             return cfb::writeCompound(QStringLiteral("Workbook"), bof(0x0600, 0x0005) + record(0x00FC, sst) + record(0x000A, {}));
         }},
        {"rich string whose runs run off the end",
         [] {
             QByteArray sst(8, '\0');
             qToLittleEndian(quint32(1), sst.data() + 4);
             sst += QByteArray("\x02\x00\x0c\xff\xff\xff\xff\xff\x7f", 9) + QByteArray("ab", 2);
             return cfb::writeCompound(QStringLiteral("Workbook"), bof(0x0600, 0x0005) + record(0x00FC, sst) + record(0x000A, {}));
         }},
    };
    for (const Case& c : cases) {
        try {
            (void)Workbook::fromBytes(c.make());
            ADD_FAILURE() << c.name << ": read without an error";
        } catch (const WorkbookError& e) {
            if (c.messageHas) {
                EXPECT_TRUE(e.message().contains(QLatin1String(c.messageHas), Qt::CaseInsensitive))
                    << c.name << ": " << e.message().toStdString();
            }
        }
    }
}

// No prefix of a real workbook reads.
TEST(HostileWorkbook, EveryTruncationFails)
{
    const QByteArray real = realWorkbook();
    for (qsizetype n = 0; n < real.size(); n += 97)
        EXPECT_THROW((void)Workbook::fromBytes(real.left(n)), WorkbookError) << n;
}
