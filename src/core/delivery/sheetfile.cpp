// The workbook writer of the department files: a workbook template filled with a
// requisition's applications.

#include "shared/usertalk.h"
#include "datastore/merrowinddata.h"
#include "delivery/appquery.h"
#include "delivery/deptfiles.h"
#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

namespace mw {

namespace {

// Writes a template cell's filled text: a number cell that kept its text stays a number.
void putCell(xls::Sheet& out, int row, int column, const xls::Cell* source, const QString& filled,
             const QString& original)
{
    if (source && source->kind == xls::Cell::Kind::Number && filled == original)
        out.setNumber(row, column, source->number, source->format);
    else
        out.setText(row, column, filled, source ? source->format : quint16(15));
}

} // namespace

bool TDeptFiles::MakeSheetFile(const QString& templateName, const QString& outputPath, const QString& reqNumber,
                               bool approvedOnly, bool /*continuous*/, bool useDates, const QDate& fromDate,
                               const QDate& toDate)
{
    const QString source = templatePath(templateName);
    if (!QFileInfo(source).isFile())
        return false;

    TRequistionData req;
    m_data.LoadRequisition(reqNumber, req);
    xls::Workbook tpl;
    try {
        tpl = xls::Workbook::read(source);
    } catch (const xls::WorkbookError& e) {
        m_talk.error(QStringLiteral("Error:  The Template %1 Could Not Be Read.\n\n%2")
                         .arg(QDir::toNativeSeparators(source), e.message()));
        return false;
    }

    // The output takes the template's formatting: cell formats, fonts, number
    // formats, palette and the first sheet's column formats.
    xls::Workbook book;
    book.fonts = tpl.fonts;
    book.numberFormats = tpl.numberFormats;
    book.cellFormats = tpl.cellFormats;
    book.palette = tpl.palette;
    const xls::Sheet& in = tpl.firstSheet();
    xls::Sheet& out = book.firstSheet();
    out.name = in.name;
    out.columns = in.columns;

    // A row past the sheet's last one (a template that ends near it, or more
    // applications than it holds) raises WorkbookError, as a failed save does.
    try {
        PlaceholderSet reqSet;
        requisitionSet(req, reqSet, false);

        // Header: every cell before the one holding the marker.
        int markerRow = -1;
        for (int r = 0; r < in.rowCount() && markerRow < 0; ++r) {
            for (int c = 0; c < in.columnCount(); ++c) {
                const QString original = in.text(r, c);
                if (original.contains(QLatin1String("%DETAIL%"), Qt::CaseInsensitive)) {
                    markerRow = r;
                    break;
                }
                if (original.isEmpty())
                    continue;
                QString filled = original;
                reqSet.fill(filled);
                putCell(out, r, c, in.cell(r, c), filled, original);
            }
        }

        int outRow = markerRow < 0 ? in.rowCount() : markerRow;
        if (markerRow >= 0) {
            const int rowTemplate = markerRow + 1;
            if (rowTemplate < in.rowCount()) {
                struct TemplateCell
                {
                    int column;
                    QString text;
                    const xls::Cell* cell;
                };
                std::vector<TemplateCell> cells;
                for (int c = 0; c < in.columnCount(); ++c)
                    if (const QString text = in.text(rowTemplate, c); !text.isEmpty())
                        cells.push_back({c, text, in.cell(rowTemplate, c)});
                AppQuery q(m_data.database(), reqNumber, approvedOnly, useDates, fromDate, toDate);
                TExportRow row;
                PlaceholderSet set(&reqSet);
                while (q.next()) {
                    row.clear(QString());
                    q.read(row);
                    row.JobNumber = reqNumber;
                    rowSet(row, set);
                    for (const TemplateCell& t : cells) {
                        QString filled = t.text;
                        set.fill(filled);
                        if (!filled.isEmpty())
                            putCell(out, outRow, t.column, t.cell, filled, t.text);
                    }
                    ++outRow;
                }
            }
            // Trailer: the rows after the row template.
            for (int r = rowTemplate + 1; r < in.rowCount(); ++r, ++outRow) {
                for (int c = 0; c < in.columnCount(); ++c) {
                    const QString original = in.text(r, c);
                    if (original.isEmpty())
                        continue;
                    QString filled = original;
                    reqSet.fill(filled);
                    putCell(out, outRow, c, in.cell(r, c), filled, original);
                }
            }
        }

        ++outRow; // one empty row before the credits
        for (const QString& line : CreditLines())
            out.setText(outRow++, 0, line);

        book.save(outputPath);
    } catch (const xls::WorkbookError& e) {
        QFile::remove(outputPath); // no earlier or partial file is left to be sent as this one
        m_talk.error(QStringLiteral("Error:  Could Not Create Temporary File\n\n%1").arg(e.message()));
        return false;
    }
    return true;
}

} // namespace mw
