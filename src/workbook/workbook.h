#pragma once
// The classic binary workbook (".xls": BIFF8 records in a compound document),
// just as much of it as filling a workbook template needs: read a workbook, look
// at the first sheet's cells and their formats, copy the font, number-format,
// cell-format and column-format tables, write cells and save a workbook that
// spreadsheet programs open.

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QVector>

#include <stdexcept>

namespace mw::xls {

// A file that is not a workbook, is damaged, or cannot be read or written.
class WorkbookError : public std::runtime_error
{
public:
    explicit WorkbookError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A FONT record.
struct Font
{
    QString name = QStringLiteral("Arial");
    quint16 height = 200;        // twips (1/20 point)
    quint16 options = 0;         // bit 1 italic, bit 3 struck out, bit 4 outline, bit 5 shadow
    quint16 colorIndex = 0x7FFF; // palette index; 0x7FFF: the system's window text colour
    quint16 weight = 400;        // 400 normal, 700 bold
    quint16 escapement = 0;      // 0 none, 1 superscript, 2 subscript
    quint8 underline = 0;
    quint8 family = 0;
    quint8 charset = 0;

    bool bold() const { return weight >= 700; }
    bool italic() const { return options & 0x0002; }
};

// An XF record: a cell format or a cell style. Everything it says (protection,
// alignment, indent, rotation, borders and their colours, diagonal lines, fill
// pattern and colours, which attributes are used) is kept as the 20 bytes of the
// record, so copying a format copies all of it. The font and number format are
// referred to by index.
struct CellFormat
{
    QByteArray raw; // exactly 20 bytes

    quint16 fontIndex() const;   // BIFF font index (4 is never used)
    quint16 numberFormat() const; // index into the number formats
    bool isStyle() const;
    void setFontIndex(quint16 index);
    void setNumberFormat(quint16 index);

    static CellFormat defaultStyle(); // the "Normal" style XF
    static CellFormat defaultCell();  // a cell XF on the Normal style
};

// A COLINFO record: the format of a range of columns.
struct ColumnFormat
{
    quint16 first = 0;
    quint16 last = 0;
    quint16 width = 2340;   // 1/256 of the width of the zero character
    quint16 formatIndex = 15;
    bool hidden = false;
    bool collapsed = false;
    quint8 outlineLevel = 0;
};

struct Cell
{
    enum class Kind { Text, Number, Boolean, Error, Blank };
    Kind kind = Kind::Blank;
    QString text;       // Text
    double number = 0;  // Number, Boolean (0/1), Error (code)
    quint16 format = 15; // XF index
};

class Sheet
{
public:
    QString name = QStringLiteral("Sheet1");
    QVector<ColumnFormat> columns;

    // One past the last used row and column (0 when the sheet has no cells).
    int rowCount() const { return m_rows; }
    int columnCount() const { return m_columns; }

    // The cell at a place; null when there is none.
    const Cell* cell(int row, int column) const;
    // A cell's contents as text: labels as they are, numbers in the shortest form
    // that reads back the same ("12.5", "3"), booleans "TRUE"/"FALSE", errors
    // "#N/A" and the like, blank and missing cells empty.
    QString text(int row, int column) const;
    // A cell's XF index; 15 (the default cell format) when there is no cell.
    quint16 format(int row, int column) const;

    // Raise WorkbookError for a place outside a sheet (65536 rows, 256 columns).
    void setText(int row, int column, const QString& text, quint16 format = 15);
    void setNumber(int row, int column, double value, quint16 format = 15);
    void setCell(int row, int column, const Cell& cell);

    // Row by row, columns in order.
    const QMap<int, QMap<int, Cell>>& rows() const { return m_cells; }

private:
    QMap<int, QMap<int, Cell>> m_cells;
    int m_rows = 0;
    int m_columns = 0;
};

class Workbook
{
public:
    // A new workbook with the default fonts, number formats, cell formats and one
    // empty sheet.
    Workbook();

    // Reads a workbook. Raises WorkbookError when the file cannot be read or is
    // not a BIFF8 workbook; a damaged or hostile file never reads past its end.
    static Workbook read(const QString& path);
    static Workbook fromBytes(const QByteArray& bytes);

    // Writes the workbook (replacing the file). Raises WorkbookError.
    void save(const QString& path) const;
    QByteArray toBytes() const;

    // Fonts in record order; an XF's font index i refers to fonts[i] for i < 4 and
    // to fonts[i - 1] above 4 (BIFF skips index 4). fontAt handles that.
    QVector<Font> fonts;
    const Font* fontAt(quint16 biffIndex) const;
    // Number formats by index: the workbook's own (164 and up) and any built-in
    // ones it redefines.
    QMap<quint16, QString> numberFormats;
    // Cell formats and styles by XF index. At least 16 style XFs come first.
    QVector<CellFormat> cellFormats;
    // The colour palette (indexes 8..63) as 0x00BBGGRR; empty: the default palette.
    QVector<quint32> palette;
    QVector<Sheet> sheets; // never empty

    Sheet& firstSheet() { return sheets.first(); }
    const Sheet& firstSheet() const { return sheets.first(); }
};

} // namespace mw::xls
