#pragma once
// The report engine: one page layout for every report, filled from rows read
// forward once.
//
// A report is its description (subtitles, caption block, columns, whether pages
// are numbered) and its rows. fill() reads the rows from their source to the end
// and keeps them in a spool file of the report's own (in the private temporary
// directory), so the query is finished before anyone looks at a page, and memory
// stays flat however many rows there are. Every detail line is one line of
// text, so a page holds a fixed number of rows and any page can be painted at
// once, in any order: the preview paints the pages looked at, print() and
// writePdf() paint them all onto a paged device (a printer, a PDF file).
//
// The page: US Letter portrait, Arial (a metric-compatible font where Arial is
// missing). On every page a header: "Merrowind Report" large and centred, the
// subtitle centred beneath it, an optional second subtitle line, an optional
// caption block (bold captions with their values, three to a row), the date
// and time of printing at the right ("Page n" beneath it where the report numbers
// its pages), and the column headings in a ruled box. Then the detail lines, the
// columns under their headings; a cell too wide for its column is cut. No group
// bands, totals or page footers. A report without rows prints its header alone.
//
// The painter works in points (1/72 inch) from the paper's top-left corner
// whatever the device's resolution: paintPage scales it itself.

#include "shared/operation.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QPainter;
class QPagedPaintDevice;

namespace mw {

class UserTalk;

struct ReportColumn
{
    QString heading;
    double width = 1; // a share of the line's width, against the other columns'
    bool alignRight = false;
};

struct ReportCaption
{
    QString caption; // printed bold: "Requisition:"
    QString value;
};

struct ReportDefinition
{
    QString subtitle;  // "RIF Report"
    QString subtitle2; // a second line under it (the day of a scan activity); empty for none
    QString jobTitle;  // the print job's and the PDF's title; empty: "Merrowind Report"
    QList<QList<ReportCaption>> captionRows; // the caption block, up to three captions a row
    QList<ReportColumn> columns;
    bool pageNumbers = false;
};

// Where the rows come from: next() fills the row's cells (one per column, in
// column order) and says whether there was one. It is called until it says no.
using ReportRowSource = std::function<bool(QStringList& row)>;

class Report
{
public:
    Report(ReportDefinition definition, QDateTime printedAt);
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    const ReportDefinition& definition() const { return m_definition; }
    QDateTime printedAt() const { return m_printedAt; }

    // Reads every row of the source into the report. Progress and Cancel go
    // through the talk (at most every 100 ms); cancelled leaves no rows. A failure
    // to read (the source raising) or to spool ends it as failed with the cause.
    OperationResult fill(const ReportRowSource& source, UserTalk& talk);
    // Appends rows one by one (tests, small reports).
    void addRow(const QStringList& row);

    qint64 rowCount() const;
    int rowsPerPage() const;
    int pageCount() const; // 1 for a report without rows

    // The paper in points: 612 x 792.
    static constexpr double kPageWidth = 612;
    static constexpr double kPageHeight = 792;

    // Paints one page (0-based) with the painter's current transform taken as
    // points from the paper's top-left corner.
    void paintPageInPoints(QPainter& painter, int page) const;
    // Paints one page on a painter of a device with the given resolution
    // (dots per inch), scaling points to dots.
    void paintPage(QPainter& painter, int page, double dotsPerInch) const;

    // The pages firstPage to lastPage (1-based, as a print dialog's range; 0 for
    // the first or the last page) onto the device, one after the other, with
    // progress and Cancel through the talk. The device must be set to US Letter.
    OperationResult print(QPagedPaintDevice& device, UserTalk& talk, int firstPage = 0, int lastPage = 0) const;
    // The whole report as a PDF file, titled with the job title; written beside the
    // target under a hidden name and renamed into place, so a failed or cancelled
    // write leaves no file.
    OperationResult writePdf(const QString& fileName, UserTalk& talk) const;

private:
    struct Spool;

    ReportDefinition m_definition;
    QDateTime m_printedAt;
    std::unique_ptr<Spool> m_spool;
};

} // namespace mw
