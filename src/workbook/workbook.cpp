#include "workbook.h"

#include "compoundfile.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

namespace mw::xls {

namespace {

// Record types.
constexpr quint16 kFormula = 0x0006;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kPrecision = 0x000E;
constexpr quint16 kDateMode = 0x0022;
constexpr quint16 kFilePass = 0x002F;
constexpr quint16 kFontRecord = 0x0031;
constexpr quint16 kContinue = 0x003C;
constexpr quint16 kWindow1 = 0x003D;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kDefColWidth = 0x0055;
constexpr quint16 kColInfo = 0x007D;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kPalette = 0x0092;
constexpr quint16 kMulRk = 0x00BD;
constexpr quint16 kMulBlank = 0x00BE;
constexpr quint16 kRString = 0x00D6;
constexpr quint16 kXf = 0x00E0;
constexpr quint16 kSst = 0x00FC;
constexpr quint16 kLabelSst = 0x00FD;
constexpr quint16 kExtSst = 0x00FF;
constexpr quint16 kDimensions = 0x0200;
constexpr quint16 kBlank = 0x0201;
constexpr quint16 kNumber = 0x0203;
constexpr quint16 kLabel = 0x0204;
constexpr quint16 kBoolErr = 0x0205;
constexpr quint16 kString = 0x0207;
constexpr quint16 kWindow2 = 0x023E;
constexpr quint16 kRk = 0x027E;
constexpr quint16 kStyle = 0x0293;
constexpr quint16 kFormat = 0x041E;
constexpr quint16 kBof = 0x0809;

constexpr quint16 kBiff8 = 0x0600;
constexpr quint16 kGlobalsKind = 0x0005;
constexpr quint16 kWorksheetKind = 0x0010;
constexpr int kMaxRecordData = 8224;
constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;
constexpr int kMaxText = 32767;
constexpr int kPaletteSize = 56;
constexpr int kStyleXfs = 15; // XFs 0..14 are styles, 15 is the default cell format
constexpr qint64 kMaxFileSize = qint64(512) * 1024 * 1024;

// The colours of indexes 8..63 when a workbook has no PALETTE record.
constexpr quint32 kDefaultPalette[kPaletteSize] = {
    0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00, //
    0x000080, 0x008000, 0x800000, 0x008080, 0x800080, 0x808000, 0xC0C0C0, 0x808080, //
    0xFF9999, 0x663399, 0xCCFFFF, 0xFFFFCC, 0x660066, 0x8080FF, 0xCC6600, 0xFFCCCC, //
    0x800000, 0xFF00FF, 0x00FFFF, 0xFFFF00, 0x800080, 0x000080, 0x808000, 0xFF0000, //
    0xFFCC00, 0xFFFFCC, 0xCCFFCC, 0x99FFFF, 0xFFCC99, 0xCC99FF, 0xFF99CC, 0x99CCFF, //
    0xFF6633, 0xCCCC33, 0x00CC99, 0x00CCFF, 0x0099FF, 0x0066FF, 0x996666, 0x969696, //
    0x663300, 0x669933, 0x003300, 0x003333, 0x003399, 0x663399, 0x993333, 0x333333};

quint16 get16(const uchar* p) { return qFromLittleEndian<quint16>(p); }
quint32 get32(const uchar* p) { return qFromLittleEndian<quint32>(p); }
double getDouble(const uchar* p)
{
    const quint64 bits = qFromLittleEndian<quint64>(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

[[noreturn]] void damaged(const char* what)
{
    throw WorkbookError(QStringLiteral("The workbook file is damaged (%1).").arg(QLatin1String(what)));
}

[[noreturn]] void notBiff8()
{
    throw WorkbookError(QStringLiteral("The file is not a BIFF8 workbook (Excel 97 or later); older workbook formats are not supported."));
}

struct Record
{
    quint16 type = 0;
    const uchar* data = nullptr;
    int size = 0;
};

// Walks the records of the workbook stream.
class RecordCursor
{
public:
    explicit RecordCursor(const QByteArray& stream, qsizetype pos = 0)
        : m_data(reinterpret_cast<const uchar*>(stream.constData()))
        , m_size(stream.size())
        , m_pos(pos)
    {
    }

    bool next(Record& r)
    {
        if (m_pos + 4 > m_size)
            return false;
        r.type = get16(m_data + m_pos);
        r.size = get16(m_data + m_pos + 2);
        if (m_pos + 4 + r.size > m_size)
            damaged("record past the end of the stream");
        r.data = m_data + m_pos + 4;
        m_pos += 4 + r.size;
        return true;
    }
    int peekType() const { return m_pos + 4 <= m_size ? get16(m_data + m_pos) : -1; }
    qsizetype pos() const { return m_pos; }

private:
    const uchar* m_data;
    qsizetype m_size;
    qsizetype m_pos;
};

// The data of a record and the CONTINUE records after it, read as one. Where the
// characters of a string cross into the next piece, that piece starts with a
// fresh option byte saying whether the rest is one or two bytes per character.
class Pieces
{
public:
    Pieces() = default;
    Pieces(const uchar* data, int size) { add(data, size); }

    void add(const uchar* data, int size)
    {
        if (size > 0)
            m_pieces.append({data, size});
    }
    // Adds the CONTINUE records that follow.
    void addContinues(RecordCursor& cursor)
    {
        Record r;
        while (cursor.peekType() == kContinue && cursor.next(r))
            add(r.data, r.size);
    }

    bool atEnd()
    {
        return !ready();
    }
    quint8 u8()
    {
        if (!ready())
            damaged("record too short");
        return m_pieces[m_index].data[m_pos++];
    }
    quint16 u16()
    {
        const quint16 lo = u8();
        return quint16(lo | (u8() << 8));
    }
    quint32 u32()
    {
        const quint32 lo = u16();
        return lo | (quint32(u16()) << 16);
    }
    void skip(quint64 n)
    {
        while (n > 0) {
            if (!ready())
                damaged("record too short");
            const quint64 step = std::min<quint64>(n, quint64(m_pieces[m_index].size - m_pos));
            m_pos += int(step);
            n -= step;
        }
    }
    // A string with a one- or two-byte character count, its option byte, and
    // the rich-text runs and phonetic data (skipped).
    QString string(int countBytes)
    {
        const int count = countBytes == 1 ? u8() : u16();
        const quint8 flags = u8();
        const quint16 runs = (flags & 0x08) ? u16() : 0;
        const quint32 extra = (flags & 0x04) ? u32() : 0;
        QString s = characters(count, flags & 0x01);
        skip(quint64(runs) * 4);
        skip(extra);
        return s;
    }

private:
    struct Piece
    {
        const uchar* data;
        int size;
    };

    bool ready()
    {
        while (m_index < m_pieces.size() && m_pos >= m_pieces[m_index].size) {
            ++m_index;
            m_pos = 0;
        }
        return m_index < m_pieces.size();
    }

    QString characters(int count, bool wide)
    {
        QString s(count, Qt::Uninitialized);
        QChar* out = s.data();
        int done = 0;
        while (done < count) {
            if (m_index >= m_pieces.size())
                damaged("string past the end of its record");
            if (m_pos >= m_pieces[m_index].size) {
                ++m_index;
                m_pos = 0;
                wide = u8() & 0x01;
                continue;
            }
            const Piece& p = m_pieces[m_index];
            const int avail = p.size - m_pos;
            const int n = std::min(count - done, wide ? avail / 2 : avail);
            if (n == 0)
                damaged("string split inside a character");
            const uchar* src = p.data + m_pos;
            if (wide) {
                for (int i = 0; i < n; ++i)
                    out[done + i] = QChar(get16(src + 2 * i));
                m_pos += 2 * n;
            } else {
                for (int i = 0; i < n; ++i)
                    out[done + i] = QChar(src[i]);
                m_pos += n;
            }
            done += n;
        }
        return s;
    }

    QVector<Piece> m_pieces;
    int m_index = 0;
    int m_pos = 0;
};

double fromRk(quint32 rk)
{
    double d;
    if (rk & 0x02) {
        d = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    return (rk & 0x01) ? d / 100.0 : d;
}

// Cells a read may hold in all: far more than any template, and a bound on
// the memory a hostile file can make us take.
constexpr qint64 kMaxCellsRead = 4'000'000;

void putCell(Sheet& sheet, int row, int column, const Cell& cell, qint64& cellBudget)
{
    // Columns past the last one a BIFF8 sheet has are ignored.
    if (column >= kMaxColumns)
        return;
    if (--cellBudget < 0)
        throw WorkbookError(QStringLiteral("The workbook has too many cells to read."));
    sheet.setCell(row, column, cell);
}

// An error cell's code; a number that is none says #N/A.
quint8 errorCode(double number)
{
    return number >= 0 && number < 256 ? quint8(number) : 0x2A;
}

Cell numberCell(double v, quint16 xf)
{
    Cell c;
    c.kind = Cell::Kind::Number;
    c.number = v;
    c.format = xf;
    return c;
}

Cell textCell(const QString& text, quint16 xf)
{
    Cell c;
    c.kind = Cell::Kind::Text;
    c.text = text;
    c.format = xf;
    return c;
}

// A worksheet's cells and column formats, from its BOF to its EOF. `budget` is
// what is left of the bytes all sheets together may walk (sheets of a hostile
// file may overlap).
std::optional<Sheet> readSheet(const QByteArray& stream, quint32 offset, const QVector<QString>& sst, qint64& budget, qint64& cellBudget)
{
    if (offset >= quint64(stream.size()))
        damaged("sheet offset out of range");
    RecordCursor cursor(stream, offset);
    Record r;
    if (!cursor.next(r) || r.type != kBof || r.size < 4)
        damaged("sheet does not start with BOF");
    if (get16(r.data) != kBiff8)
        notBiff8();
    if (get16(r.data + 2) != kWorksheetKind)
        return std::nullopt; // a chart or macro sheet

    Sheet sheet;
    int depth = 0; // inside an embedded substream (a chart on the sheet)
    // A formula whose text result comes in the next STRING record.
    struct Pending
    {
        bool active = false;
        int row = 0;
        int column = 0;
        quint16 xf = 15;
    } pendingString;
    while (cursor.next(r)) {
        budget -= 4 + r.size;
        if (budget < 0)
            damaged("sheets overlap");
        const uchar* d = r.data;
        if (depth > 0) {
            if (r.type == kBof)
                ++depth;
            else if (r.type == kEof)
                --depth;
            continue;
        }
        switch (r.type) {
        case kBof:
            ++depth;
            break;
        case kEof:
            return sheet;
        case kColInfo:
            if (r.size >= 10) {
                ColumnFormat c;
                c.first = get16(d);
                c.last = get16(d + 2);
                c.width = get16(d + 4);
                c.formatIndex = get16(d + 6);
                const quint16 options = get16(d + 8);
                c.hidden = options & 0x0001;
                c.outlineLevel = quint8((options >> 8) & 0x07);
                c.collapsed = options & 0x1000;
                if (c.first <= c.last && c.first < kMaxColumns) {
                    c.last = std::min<quint16>(c.last, kMaxColumns - 1);
                    sheet.columns.append(c);
                }
            }
            break;
        case kLabelSst:
            if (r.size >= 10) {
                const quint32 i = get32(d + 6);
                if (i >= quint32(sst.size()))
                    damaged("shared string index out of range");
                putCell(sheet, get16(d), get16(d + 2), textCell(sst[i], get16(d + 4)), cellBudget);
            }
            break;
        case kLabel:
        case kRString:
            if (r.size >= 8) {
                Pieces p(d + 6, r.size - 6);
                p.addContinues(cursor);
                putCell(sheet, get16(d), get16(d + 2), textCell(p.string(2), get16(d + 4)), cellBudget);
            }
            break;
        case kNumber:
            if (r.size >= 14)
                putCell(sheet, get16(d), get16(d + 2), numberCell(getDouble(d + 6), get16(d + 4)), cellBudget);
            break;
        case kRk:
            if (r.size >= 10)
                putCell(sheet, get16(d), get16(d + 2), numberCell(fromRk(get32(d + 6)), get16(d + 4)), cellBudget);
            break;
        case kMulRk:
            if (r.size >= 6) {
                const int row = get16(d);
                const int first = get16(d + 2);
                const int n = (r.size - 6) / 6;
                for (int i = 0; i < n; ++i)
                    putCell(sheet, row, first + i, numberCell(fromRk(get32(d + 4 + 6 * i + 2)), get16(d + 4 + 6 * i)), cellBudget);
            }
            break;
        case kBlank:
            if (r.size >= 6) {
                Cell c;
                c.format = get16(d + 4);
                putCell(sheet, get16(d), get16(d + 2), c, cellBudget);
            }
            break;
        case kMulBlank:
            if (r.size >= 6) {
                const int row = get16(d);
                const int first = get16(d + 2);
                const int n = (r.size - 6) / 2;
                for (int i = 0; i < n; ++i) {
                    Cell c;
                    c.format = get16(d + 4 + 2 * i);
                    putCell(sheet, row, first + i, c, cellBudget);
                }
            }
            break;
        case kBoolErr:
            if (r.size >= 8) {
                Cell c;
                c.kind = d[7] ? Cell::Kind::Error : Cell::Kind::Boolean;
                c.number = d[6];
                c.format = get16(d + 4);
                putCell(sheet, get16(d), get16(d + 2), c, cellBudget);
            }
            break;
        case kFormula:
            pendingString.active = false;
            if (r.size >= 20) {
                const int row = get16(d);
                const int column = get16(d + 2);
                const quint16 xf = get16(d + 4);
                const uchar* result = d + 6;
                if (get16(result + 6) != 0xFFFF) {
                    putCell(sheet, row, column, numberCell(getDouble(result), xf), cellBudget);
                } else {
                    Cell c;
                    c.format = xf;
                    switch (result[0]) {
                    case 0: // the text follows in a STRING record
                        pendingString = Pending{true, row, column, xf};
                        c.kind = Cell::Kind::Text;
                        break;
                    case 1:
                        c.kind = Cell::Kind::Boolean;
                        c.number = result[2] ? 1 : 0;
                        break;
                    case 2:
                        c.kind = Cell::Kind::Error;
                        c.number = result[2];
                        break;
                    default:
                        c.kind = Cell::Kind::Text;
                        break;
                    }
                    putCell(sheet, row, column, c, cellBudget);
                }
            }
            break;
        case kString: {
            Pieces p(d, r.size);
            p.addContinues(cursor);
            const QString s = p.string(2);
            if (pendingString.active)
                putCell(sheet, pendingString.row, pendingString.column, textCell(s, pendingString.xf), cellBudget);
            pendingString.active = false;
            break;
        }
        default:
            break;
        }
    }
    damaged("sheet has no end");
}

Workbook readBiff(const QByteArray& stream)
{
    RecordCursor cursor(stream);
    Record r;
    if (!cursor.next(r) || r.type != kBof || r.size < 4 || get16(r.data) != kBiff8)
        notBiff8();
    if (get16(r.data + 2) != kGlobalsKind)
        damaged("no workbook globals");

    Workbook wb;
    wb.fonts.clear();
    wb.numberFormats.clear();
    wb.cellFormats.clear();
    wb.palette.clear();
    wb.sheets.clear();
    struct SheetRef
    {
        QString name;
        quint32 offset;
        quint8 kind;
    };
    QVector<SheetRef> refs;
    QVector<QString> sst;
    bool ended = false;
    while (!ended && cursor.next(r)) {
        const uchar* d = r.data;
        switch (r.type) {
        case kFilePass:
            throw WorkbookError(QStringLiteral("The workbook is encrypted (password protected); it cannot be read."));
        case kFontRecord: {
            if (r.size < 16)
                damaged("short FONT record");
            Font f;
            f.height = get16(d);
            f.options = get16(d + 2);
            f.colorIndex = get16(d + 4);
            f.weight = get16(d + 6);
            f.escapement = get16(d + 8);
            f.underline = d[10];
            f.family = d[11];
            f.charset = d[12];
            Pieces p(d + 14, r.size - 14);
            f.name = p.string(1);
            wb.fonts.append(f);
            break;
        }
        case kFormat: {
            if (r.size < 5)
                damaged("short FORMAT record");
            Pieces p(d + 2, r.size - 2);
            wb.numberFormats.insert(get16(d), p.string(2));
            break;
        }
        case kXf:
            if (r.size < 20)
                damaged("short XF record");
            wb.cellFormats.append(CellFormat{QByteArray(reinterpret_cast<const char*>(d), 20)});
            break;
        case kPalette: {
            if (r.size < 2)
                damaged("short PALETTE record");
            const int count = std::min<int>(get16(d), kPaletteSize);
            if (2 + 4 * count > r.size)
                damaged("short PALETTE record");
            wb.palette.clear();
            for (int i = 0; i < count; ++i)
                wb.palette.append(get32(d + 2 + 4 * i) & 0x00FFFFFF);
            break;
        }
        case kBoundSheet: {
            if (r.size < 8)
                damaged("short BOUNDSHEET record");
            Pieces p(d + 6, r.size - 6);
            refs.append({p.string(1), get32(d), d[5]});
            break;
        }
        case kSst: {
            if (r.size < 8)
                damaged("short SST record");
            Pieces p(d + 8, r.size - 8);
            p.addContinues(cursor);
            const quint32 unique = get32(d + 4);
            // Each string takes at least three bytes: do not trust the count for the reservation.
            sst.reserve(qsizetype(std::min<quint64>(unique, quint64(stream.size()) / 3)));
            for (quint32 i = 0; i < unique && !p.atEnd(); ++i)
                sst.append(p.string(2));
            break;
        }
        case kEof:
            ended = true;
            break;
        default:
            break;
        }
    }
    if (!ended)
        damaged("workbook globals have no end");

    qint64 budget = stream.size();
    qint64 cellBudget = kMaxCellsRead;
    for (const SheetRef& ref : refs) {
        if (ref.kind != 0)
            continue; // chart, macro or module sheet
        std::optional<Sheet> sheet = readSheet(stream, ref.offset, sst, budget, cellBudget);
        if (sheet) {
            sheet->name = ref.name;
            wb.sheets.append(std::move(*sheet));
        }
    }
    if (wb.sheets.isEmpty())
        throw WorkbookError(QStringLiteral("The workbook has no worksheet."));
    return wb;
}

// ---- Writing ----

bool isLatin1(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

class RecordWriter
{
public:
    std::string out; // grows by plain appends; copied into a QByteArray once at the end

    void begin(quint16 type)
    {
        m_start = qsizetype(out.size());
        u16(type);
        u16(0);
    }
    void end()
    {
        const qsizetype length = qsizetype(out.size()) - m_start - 4;
        if (length > kMaxRecordData)
            throw WorkbookError(QStringLiteral("A workbook record came out too long."));
        qToLittleEndian(quint16(length), out.data() + m_start + 2);
    }
    qsizetype size() const { return qsizetype(out.size()); }
    qsizetype recordStart() const { return m_start; }
    int room() const { return kMaxRecordData - int(size() - m_start - 4); }

    void u8(quint8 v) { out.push_back(char(v)); }
    void u16(quint16 v)
    {
        out.push_back(char(v & 0xFF));
        out.push_back(char(v >> 8));
    }
    void u32(quint32 v)
    {
        u16(quint16(v & 0xFFFF));
        u16(quint16(v >> 16));
    }
    void f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(quint32(bits & 0xFFFFFFFFu));
        u32(quint32(bits >> 32));
    }
    void bytes(const QByteArray& b) { out.append(b.constData(), size_t(b.size())); }
    void chars(const QChar* s, qsizetype n, bool latin1)
    {
        const size_t at = out.size();
        out.resize(at + size_t(latin1 ? n : 2 * n));
        char* dst = out.data() + at;
        if (latin1) {
            for (qsizetype i = 0; i < n; ++i)
                dst[i] = char(s[i].unicode());
        } else {
            for (qsizetype i = 0; i < n; ++i)
                qToLittleEndian(s[i].unicode(), dst + 2 * i);
        }
    }
    // A string with a one- or two-byte character count, all in this record.
    void string(const QString& s, int countBytes)
    {
        const bool latin1 = isLatin1(s);
        if (countBytes == 1)
            u8(quint8(s.size()));
        else
            u16(quint16(s.size()));
        u8(latin1 ? 0 : 1);
        chars(s.constData(), s.size(), latin1);
    }
    void record(quint16 type, std::initializer_list<quint16> words)
    {
        begin(type);
        for (quint16 w : words)
            u16(w);
        end();
    }

private:
    qsizetype m_start = 0;
};

void writeBof(RecordWriter& w, quint16 kind)
{
    w.begin(kBof);
    w.u16(kBiff8);
    w.u16(kind);
    w.u16(0x18AF); // build
    w.u16(0x07CD); // year
    w.u32(0x000080C9);
    w.u32(0x00000306);
    w.end();
}

int xfTableSize(const Workbook& wb)
{
    return std::max<int>(int(wb.cellFormats.size()), kStyleXfs + 1);
}

void check(bool ok, const QString& what)
{
    if (!ok)
        throw WorkbookError(QStringLiteral("Cannot write the workbook: %1.").arg(what));
}

// The tables and sheets; the cells are checked while their strings are gathered.
void validate(const Workbook& wb)
{
    check(!wb.sheets.isEmpty(), QStringLiteral("it has no sheet"));
    check(wb.fonts.size() < 0xFFFF, QStringLiteral("too many fonts"));
    for (const Font& f : wb.fonts)
        check(f.name.size() <= 255, QStringLiteral("a font name is too long"));
    for (auto it = wb.numberFormats.cbegin(); it != wb.numberFormats.cend(); ++it)
        check(it.value().size() <= 255, QStringLiteral("number format %1 is too long").arg(it.key()));
    check(wb.cellFormats.size() <= 4050, QStringLiteral("too many cell formats"));
    for (int i = 0; i < wb.cellFormats.size(); ++i) {
        const CellFormat& xf = wb.cellFormats[i];
        check(xf.raw.size() == 20, QStringLiteral("cell format %1 is not 20 bytes").arg(i));
        const quint16 font = xf.fontIndex();
        check(wb.fonts.isEmpty() ? font == 0 : wb.fontAt(font) != nullptr,
              QStringLiteral("cell format %1 uses font %2, which it does not have").arg(i).arg(font));
        const quint16 number = xf.numberFormat();
        check(number < 164 || wb.numberFormats.contains(number),
              QStringLiteral("cell format %1 uses number format %2, which it does not have").arg(i).arg(number));
    }
    const int xfCount = xfTableSize(wb);
    check(wb.palette.size() <= kPaletteSize, QStringLiteral("the palette has more than 56 colours"));
    QSet<QString> names;
    for (const Sheet& sheet : wb.sheets) {
        check(!sheet.name.isEmpty() && sheet.name.size() <= 31, QStringLiteral("sheet name \"%1\" is empty or too long").arg(sheet.name));
        static const QRegularExpression forbidden(QStringLiteral("[\\[\\]:*?/\\\\]"));
        check(!sheet.name.contains(forbidden), QStringLiteral("sheet name \"%1\" has one of []:*?/\\ in it").arg(sheet.name));
        check(!names.contains(sheet.name.toCaseFolded()), QStringLiteral("two sheets are named \"%1\"").arg(sheet.name));
        names.insert(sheet.name.toCaseFolded());
        for (const ColumnFormat& c : sheet.columns) {
            check(c.first <= c.last && c.last < kMaxColumns, QStringLiteral("a column format has a bad column range"));
            check(c.formatIndex < xfCount, QStringLiteral("a column format uses cell format %1, which it does not have").arg(c.formatIndex));
        }
    }
}

// The shared string table and its index, split into CONTINUE records where a
// record fills up, strings included. A piece of a string never ends between the
// two halves of a surrogate pair: readers that decode each piece on its own reject
// half a character.
void writeSst(RecordWriter& w, const QVector<QString>& strings, quint32 references)
{
    const int perBucket = std::max<int>(8, int((strings.size() + 127) / 128));
    struct Bucket
    {
        quint32 streamPos;
        quint16 recordOffset;
    };
    QVector<Bucket> buckets;
    buckets.reserve(strings.size() / perBucket + 1);

    w.begin(kSst);
    w.u32(references);
    w.u32(quint32(strings.size()));
    for (int i = 0; i < strings.size(); ++i) {
        const QString& s = strings[i];
        const bool latin1 = isLatin1(s);
        const int charBytes = latin1 ? 1 : 2;
        // The count, the option byte and the first character (both halves of a
        // surrogate pair) stay together.
        const int firstUnits = !s.isEmpty() && s.at(0).isHighSurrogate() && s.size() > 1 ? 2 : 1;
        if (w.room() < 3 + (s.isEmpty() ? 0 : charBytes * firstUnits)) {
            w.end();
            w.begin(kContinue);
        }
        if (i % perBucket == 0)
            buckets.append({quint32(w.size()), quint16(w.size() - w.recordStart())});
        w.u16(quint16(s.size()));
        w.u8(latin1 ? 0 : 1);
        qsizetype done = 0;
        while (done < s.size()) {
            qsizetype n = std::min<qsizetype>(s.size() - done, w.room() / charBytes);
            if (!latin1 && n > 0 && done + n < s.size() && s.at(done + n - 1).isHighSurrogate() &&
                s.at(done + n).isLowSurrogate())
                --n; // the pair goes whole into the next record
            if (n == 0) {
                w.end();
                w.begin(kContinue);
                w.u8(latin1 ? 0 : 1);
                continue;
            }
            w.chars(s.constData() + done, n, latin1);
            done += n;
        }
    }
    w.end();

    w.begin(kExtSst);
    w.u16(quint16(perBucket));
    for (const Bucket& b : buckets) {
        w.u32(b.streamPos);
        w.u16(b.recordOffset);
        w.u16(0);
    }
    w.end();
}

// `strings` holds the string table index of each text cell, in the order they are written.
void writeSheet(RecordWriter& w, const Sheet& sheet, bool selected, const quint32*& strings)
{
    writeBof(w, kWorksheetKind);
    w.record(kDefColWidth, {8});
    for (const ColumnFormat& c : sheet.columns) {
        w.begin(kColInfo);
        w.u16(c.first);
        w.u16(c.last);
        w.u16(c.width);
        w.u16(c.formatIndex);
        w.u16(quint16((c.hidden ? 0x0001 : 0) | ((c.outlineLevel & 0x07) << 8) | (c.collapsed ? 0x1000 : 0)));
        w.u16(0);
        w.end();
    }

    int firstRow = 0;
    int firstColumn = kMaxColumns;
    const auto& rows = sheet.rows();
    if (!rows.isEmpty())
        firstRow = rows.firstKey();
    for (const auto& row : rows)
        if (!row.isEmpty())
            firstColumn = std::min(firstColumn, row.firstKey());
    if (firstColumn == kMaxColumns)
        firstColumn = 0;
    w.begin(kDimensions);
    w.u32(quint32(firstRow));
    w.u32(quint32(sheet.rowCount()));
    w.u16(quint16(firstColumn));
    w.u16(quint16(sheet.columnCount()));
    w.u16(0);
    w.end();

    for (auto r = rows.cbegin(); r != rows.cend(); ++r) {
        const quint16 row = quint16(r.key());
        for (auto c = r->cbegin(); c != r->cend(); ++c) {
            const quint16 column = quint16(c.key());
            const Cell& cell = c.value();
            switch (cell.kind) {
            case Cell::Kind::Text:
                w.begin(kLabelSst);
                w.u16(row);
                w.u16(column);
                w.u16(cell.format);
                w.u32(*strings++);
                w.end();
                break;
            case Cell::Kind::Number:
                w.begin(kNumber);
                w.u16(row);
                w.u16(column);
                w.u16(cell.format);
                w.f64(cell.number);
                w.end();
                break;
            case Cell::Kind::Boolean:
            case Cell::Kind::Error:
                w.begin(kBoolErr);
                w.u16(row);
                w.u16(column);
                w.u16(cell.format);
                w.u8(cell.kind == Cell::Kind::Boolean ? (cell.number != 0 ? 1 : 0) : errorCode(cell.number));
                w.u8(cell.kind == Cell::Kind::Error ? 1 : 0);
                w.end();
                break;
            case Cell::Kind::Blank:
                w.record(kBlank, {row, column, cell.format});
                break;
            }
        }
    }

    w.begin(kWindow2);
    w.u16(selected ? 0x06B6 : 0x00B6); // grid, headers, zeros, outline symbols; selected and shown
    w.u16(0);
    w.u16(0);
    w.u16(64);
    w.u16(0);
    w.u16(0);
    w.u16(0);
    w.u32(0);
    w.end();
    w.record(kEof, {});
}

} // namespace

// ---- CellFormat ----

quint16 CellFormat::fontIndex() const
{
    return raw.size() >= 2 ? get16(reinterpret_cast<const uchar*>(raw.constData())) : 0;
}

quint16 CellFormat::numberFormat() const
{
    return raw.size() >= 4 ? get16(reinterpret_cast<const uchar*>(raw.constData()) + 2) : 0;
}

bool CellFormat::isStyle() const
{
    return raw.size() >= 5 && (raw[4] & 0x04);
}

void CellFormat::setFontIndex(quint16 index)
{
    if (raw.size() < 20)
        raw.resize(20, '\0');
    qToLittleEndian(index, raw.data());
}

void CellFormat::setNumberFormat(quint16 index)
{
    if (raw.size() < 20)
        raw.resize(20, '\0');
    qToLittleEndian(index, raw.data() + 2);
}

CellFormat CellFormat::defaultStyle()
{
    // Font 0, General, locked, a style with no parent, bottom aligned, no border,
    // pattern colours: system window text and background.
    static const char bytes[20] = {0, 0, 0, 0, '\xF5', '\xFF', 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '\xC0', 0x20};
    return CellFormat{QByteArray(bytes, 20)};
}

CellFormat CellFormat::defaultCell()
{
    static const char bytes[20] = {0, 0, 0, 0, 0x01, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '\xC0', 0x20};
    return CellFormat{QByteArray(bytes, 20)};
}

// ---- Sheet ----

const Cell* Sheet::cell(int row, int column) const
{
    const auto r = m_cells.constFind(row);
    if (r == m_cells.cend())
        return nullptr;
    const auto c = r->constFind(column);
    return c == r->cend() ? nullptr : &*c;
}

QString Sheet::text(int row, int column) const
{
    const Cell* c = cell(row, column);
    if (!c)
        return QString();
    switch (c->kind) {
    case Cell::Kind::Text:
        return c->text;
    case Cell::Kind::Number:
        return QString::number(c->number, 'g', QLocale::FloatingPointShortest);
    case Cell::Kind::Boolean:
        return c->number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case Cell::Kind::Error:
        switch (errorCode(c->number)) {
        case 0x00:
            return QStringLiteral("#NULL!");
        case 0x07:
            return QStringLiteral("#DIV/0!");
        case 0x0F:
            return QStringLiteral("#VALUE!");
        case 0x17:
            return QStringLiteral("#REF!");
        case 0x1D:
            return QStringLiteral("#NAME?");
        case 0x24:
            return QStringLiteral("#NUM!");
        default:
            return QStringLiteral("#N/A");
        }
    case Cell::Kind::Blank:
        break;
    }
    return QString();
}

quint16 Sheet::format(int row, int column) const
{
    const Cell* c = cell(row, column);
    return c ? c->format : 15;
}

void Sheet::setText(int row, int column, const QString& text, quint16 format)
{
    setCell(row, column, textCell(text, format));
}

void Sheet::setNumber(int row, int column, double value, quint16 format)
{
    setCell(row, column, numberCell(value, format));
}

void Sheet::setCell(int row, int column, const Cell& cell)
{
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns)
        throw WorkbookError(QStringLiteral("Cell (%1, %2) is outside a sheet (65536 rows, 256 columns).").arg(row).arg(column));
    m_cells[row][column] = cell;
    m_rows = std::max(m_rows, row + 1);
    m_columns = std::max(m_columns, column + 1);
}

// ---- Workbook ----

Workbook::Workbook()
{
    fonts = QVector<Font>(4);
    cellFormats.reserve(kStyleXfs + 1);
    cellFormats.append(CellFormat::defaultStyle());
    for (int i = 1; i < kStyleXfs; ++i) {
        CellFormat style = CellFormat::defaultStyle();
        style.raw[9] = char(0xF4); // an outline style: only the font is its own
        cellFormats.append(style);
    }
    cellFormats.append(CellFormat::defaultCell());
    sheets.append(Sheet());
}

const Font* Workbook::fontAt(quint16 biffIndex) const
{
    if (biffIndex == 4)
        return nullptr;
    const int i = biffIndex < 4 ? biffIndex : biffIndex - 1;
    return i < fonts.size() ? &fonts[i] : nullptr;
}

Workbook Workbook::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw WorkbookError(QStringLiteral("Cannot open the workbook %1: %2").arg(path, file.errorString()));
    if (file.size() > kMaxFileSize)
        throw WorkbookError(QStringLiteral("The workbook %1 is too large.").arg(path));
    return fromBytes(file.readAll());
}

Workbook Workbook::fromBytes(const QByteArray& bytes)
{
    const cfb::CompoundReader document(bytes);
    if (!document.hasStream(QStringLiteral("Workbook"))) {
        if (document.hasStream(QStringLiteral("Book")))
            notBiff8();
        throw WorkbookError(QStringLiteral("The file is not a workbook: it has no Workbook stream."));
    }
    return readBiff(document.stream(QStringLiteral("Workbook")));
}

void Workbook::save(const QString& path) const
{
    const QByteArray bytes = toBytes();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw WorkbookError(QStringLiteral("Cannot write the workbook %1: %2").arg(path, file.errorString()));
}

QByteArray Workbook::toBytes() const
{
    validate(*this);

    // The shared strings, in order of first use, and each text cell's index into them.
    qsizetype cellCount = 0;
    for (const Sheet& sheet : sheets)
        for (const auto& row : sheet.rows())
            cellCount += row.size();
    QHash<QString, quint32> sstIndex;
    sstIndex.reserve(cellCount);
    QVector<QString> strings;
    QVector<quint32> cellStrings;
    cellStrings.reserve(cellCount);
    qsizetype textBytes = 0;
    const int xfCount = xfTableSize(*this);
    for (const Sheet& sheet : sheets)
        for (const auto& row : sheet.rows())
            for (const Cell& cell : row) {
                check(cell.format < xfCount, QStringLiteral("a cell uses cell format %1, which it does not have").arg(cell.format));
                if (cell.kind != Cell::Kind::Text)
                    continue;
                check(cell.text.size() <= kMaxText, QStringLiteral("a cell's text is longer than 32767 characters"));
                auto it = sstIndex.find(cell.text);
                if (it == sstIndex.end()) {
                    it = sstIndex.insert(cell.text, quint32(strings.size()));
                    strings.append(cell.text);
                    textBytes += 3 + 2 * cell.text.size();
                }
                cellStrings.append(it.value());
            }
    const quint32 references = quint32(cellStrings.size());

    RecordWriter w;
    w.out.reserve(size_t(8192 + textBytes + textBytes / 8192 * 5 + cellCount * 18));

    writeBof(w, kGlobalsKind);
    w.record(kCodePage, {1200});
    w.record(kWindow1, {0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 0x0258});
    w.record(kDateMode, {0});
    w.record(kPrecision, {1});

    auto writeFont = [&w](const Font& f) {
        w.begin(kFontRecord);
        w.u16(f.height);
        w.u16(f.options);
        w.u16(f.colorIndex);
        w.u16(f.weight);
        w.u16(f.escapement);
        w.u8(f.underline);
        w.u8(f.family);
        w.u8(f.charset);
        w.u8(0);
        w.string(f.name, 1);
        w.end();
    };
    // Keep font 0 real even for a workbook without fonts.
    if (fonts.isEmpty())
        writeFont(Font());
    for (const Font& f : fonts)
        writeFont(f);
    for (auto it = numberFormats.cbegin(); it != numberFormats.cend(); ++it) {
        w.begin(kFormat);
        w.u16(it.key());
        w.string(it.value(), 2);
        w.end();
    }
    for (const CellFormat& xf : cellFormats) {
        w.begin(kXf);
        w.bytes(xf.raw);
        w.end();
    }
    // Too short a table: fill up the styles and the default cell format.
    for (qsizetype i = cellFormats.size(); i <= kStyleXfs; ++i) {
        w.begin(kXf);
        w.bytes(i < kStyleXfs ? CellFormat::defaultStyle().raw : CellFormat::defaultCell().raw);
        w.end();
    }
    w.record(kStyle, {0x8000, 0xFF00}); // XF 0 is the built-in Normal style
    if (!palette.isEmpty()) {
        w.begin(kPalette);
        w.u16(kPaletteSize);
        for (int i = 0; i < kPaletteSize; ++i)
            w.u32((i < palette.size() ? palette[i] : kDefaultPalette[i]) & 0x00FFFFFF);
        w.end();
    }
    QVector<qsizetype> sheetOffsetAt;
    for (const Sheet& sheet : sheets) {
        w.begin(kBoundSheet);
        sheetOffsetAt.append(w.size());
        w.u32(0); // filled in below
        w.u8(0);  // visible
        w.u8(0);  // worksheet
        w.string(sheet.name, 1);
        w.end();
    }
    writeSst(w, strings, references);
    w.record(kEof, {});

    const quint32* nextString = cellStrings.constData();
    for (int i = 0; i < sheets.size(); ++i) {
        qToLittleEndian(quint32(w.size()), w.out.data() + sheetOffsetAt[i]);
        writeSheet(w, sheets[i], i == 0, nextString);
    }
    return cfb::writeCompound(QStringLiteral("Workbook"), QByteArray(w.out.data(), w.size()));
}

} // namespace mw::xls
