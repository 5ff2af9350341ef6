// Arbitrary bytes as a workbook file: reading must end in a workbook or a
// WorkbookError, and every cell of the first sheet must read.

#include "workbook.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const mw::xls::Workbook wb = mw::xls::Workbook::fromBytes(bytes);
        const mw::xls::Sheet& sheet = wb.firstSheet();
        qsizetype chars = 0;
        for (auto row = sheet.rows().cbegin(); row != sheet.rows().cend(); ++row)
            for (auto cell = row->cbegin(); cell != row->cend(); ++cell) {
                chars += sheet.text(row.key(), cell.key()).size();
                const quint16 xf = sheet.format(row.key(), cell.key());
                if (xf < wb.cellFormats.size())
                    (void)wb.fontAt(wb.cellFormats[xf].fontIndex());
            }
        if (sheet.rowCount() < 0 || sheet.rowCount() > 65536 || sheet.columnCount() > 256 || chars < 0)
            __builtin_trap();
        // What was read writes again, or the writer says why not.
        try {
            (void)wb.toBytes();
        } catch (const mw::xls::WorkbookError&) {
        }
    } catch (const mw::xls::WorkbookError&) {
    }
    return 0;
}
