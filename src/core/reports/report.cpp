#include "reports/report.h"

#include "shared/platform.h"
#include "shared/usertalk.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>
#include <QVector>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

namespace mw {

namespace {

// The page in points.
constexpr double kMargin = 36;
constexpr double kTitleSize = 18;
constexpr double kSubtitleSize = 12;
constexpr double kSmallSize = 8;
constexpr double kTextSize = 9;
constexpr double kLineHeight = 12;
constexpr double kCaptionRowHeight = 13;
constexpr double kHeadingBoxHeight = 16;

QFont reportFont(double size, bool bold = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(int(size)); // the painter works in points: a pixel is a point
    f.setBold(bold);
    return f;
}

struct Geometry
{
    double titleTop = kMargin;
    double subtitleTop = 0;
    double subtitle2Top = 0;
    double captionTop = 0;
    double headingTop = 0;
    double detailTop = 0;
};

Geometry geometry(const ReportDefinition& d)
{
    Geometry g;
    g.subtitleTop = g.titleTop + kTitleSize + 8;
    double y = g.subtitleTop + kSubtitleSize + 4;
    if (!d.subtitle2.isEmpty()) {
        g.subtitle2Top = y;
        y += kTextSize + 6;
    }
    y += 6;
    g.captionTop = y;
    y += kCaptionRowHeight * d.captionRows.size();
    if (!d.captionRows.isEmpty())
        y += 6;
    g.headingTop = y;
    g.detailTop = y + kHeadingBoxHeight + 4;
    return g;
}

// Left edges and widths of the columns across the line.
QVector<QPair<double, double>> columnSpans(const ReportDefinition& d)
{
    QVector<QPair<double, double>> spans;
    double total = 0;
    for (const ReportColumn& c : d.columns)
        total += c.width > 0 ? c.width : 1;
    const double line = Report::kPageWidth - 2 * kMargin - 8;
    double x = kMargin + 4;
    for (const ReportColumn& c : d.columns) {
        const double w = line * (c.width > 0 ? c.width : 1) / (total > 0 ? total : 1);
        spans.append({x, w});
        x += w;
    }
    return spans;
}

void drawCell(QPainter& p, const QString& text, double x, double top, double width, double height, bool right)
{
    const QFontMetricsF fm(p.font());
    const double room = std::max(0.0, width - 6);
    const QString shown = fm.horizontalAdvance(text) <= room ? text : fm.elidedText(text, Qt::ElideRight, room);
    p.drawText(QRectF(x, top, room, height), int(Qt::TextSingleLine | Qt::AlignVCenter) |
                                                 int(right ? Qt::AlignRight : Qt::AlignLeft),
               shown);
}

} // namespace

// The rows in a file of their own, one QDataStream record each, with where each
// page's first row begins.
struct Report::Spool
{
    QTemporaryFile file;
    QDataStream stream;
    qint64 rows = 0;
    QVector<qint64> pageStarts;
    bool writing = true;
    bool failed = false;
};

Report::Report(ReportDefinition definition, QDateTime printedAt)
    : m_definition(std::move(definition))
    , m_printedAt(std::move(printedAt))
{
}

Report::~Report() = default;

int Report::rowsPerPage() const
{
    const double room = kPageHeight - kMargin - geometry(m_definition).detailTop;
    return std::max(1, int(room / kLineHeight));
}

qint64 Report::rowCount() const { return m_spool ? m_spool->rows : 0; }

int Report::pageCount() const
{
    const qint64 rows = rowCount();
    return rows == 0 ? 1 : int((rows + rowsPerPage() - 1) / rowsPerPage());
}

void Report::addRow(const QStringList& row)
{
    if (!m_spool) {
        m_spool = std::make_unique<Spool>();
        m_spool->file.setFileTemplate(TempPath() + QStringLiteral("report-XXXXXX"));
        if (!m_spool->file.open())
            throw std::runtime_error(QStringLiteral("The report cannot be kept in %1: %2")
                                         .arg(TempPath(), m_spool->file.errorString())
                                         .toStdString());
        m_spool->stream.setDevice(&m_spool->file);
    }
    Spool& s = *m_spool;
    if (!s.writing) {
        s.file.seek(s.file.size());
        s.writing = true;
    }
    if (s.rows % rowsPerPage() == 0)
        s.pageStarts.append(s.file.pos());
    s.stream << row;
    ++s.rows;
    if (s.stream.status() != QDataStream::Ok)
        throw std::runtime_error(QStringLiteral("The report cannot be kept in %1: %2")
                                     .arg(s.file.fileName(), s.file.errorString())
                                     .toStdString());
}

OperationResult Report::fill(const ReportRowSource& source, UserTalk& talk)
{
    m_spool.reset();
    QElapsedTimer last;
    last.start();
    try {
        QStringList row;
        qint64 n = 0;
        while (source(row)) {
            addRow(row);
            row.clear();
            if (++n % 256 == 0 && last.elapsed() >= 100) {
                last.start();
                talk.progress(n, 0);
                if (talk.cancelled()) {
                    m_spool.reset();
                    return OperationResult::cancelled();
                }
            }
        }
        if (m_spool && !m_spool->file.flush())
            throw std::runtime_error(QStringLiteral("The report cannot be kept in %1: %2")
                                         .arg(m_spool->file.fileName(), m_spool->file.errorString())
                                         .toStdString());
    } catch (const std::exception& e) {
        m_spool.reset();
        return OperationResult::failed(QString::fromStdString(e.what()));
    }
    return OperationResult::done().count(QStringLiteral("Lines"), rowCount());
}

void Report::paintPageInPoints(QPainter& p, int page) const
{
    const ReportDefinition& d = m_definition;
    const Geometry g = geometry(d);
    const double left = kMargin;
    const double width = kPageWidth - 2 * kMargin;
    p.save();
    p.setPen(Qt::black);

    p.setFont(reportFont(kTitleSize, true));
    p.drawText(QRectF(left, g.titleTop, width, kTitleSize + 6), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Merrowind Report"));
    p.setFont(reportFont(kSubtitleSize, true));
    p.drawText(QRectF(left, g.subtitleTop, width, kSubtitleSize + 4), Qt::AlignHCenter | Qt::AlignVCenter, d.subtitle);
    if (!d.subtitle2.isEmpty()) {
        p.setFont(reportFont(kTextSize + 1));
        p.drawText(QRectF(left, g.subtitle2Top, width, kTextSize + 4), Qt::AlignHCenter | Qt::AlignVCenter,
                   d.subtitle2);
    }

    // The date and time of printing, and the page, at the right.
    p.setFont(reportFont(kSmallSize));
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    p.drawText(QRectF(left, g.titleTop, width, kSmallSize + 4), Qt::AlignRight | Qt::AlignVCenter,
               english.toString(m_printedAt, QStringLiteral("MM/dd/yyyy h:mm AP")));
    if (d.pageNumbers)
        p.drawText(QRectF(left, g.titleTop + kSmallSize + 4, width, kSmallSize + 4), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Page %1").arg(page + 1));

    // The caption block: bold captions with their values, three to a row.
    const double third = width / 3;
    for (int r = 0; r < d.captionRows.size(); ++r) {
        const double top = g.captionTop + r * kCaptionRowHeight;
        const QList<ReportCaption>& row = d.captionRows.at(r);
        for (int c = 0; c < row.size() && c < 3; ++c) {
            const double x = left + c * third;
            const QFont bold = reportFont(kTextSize, true);
            p.setFont(bold);
            const double captionWidth = QFontMetricsF(bold).horizontalAdvance(row.at(c).caption) + 4;
            drawCell(p, row.at(c).caption, x, top, captionWidth + 6, kCaptionRowHeight, false);
            p.setFont(reportFont(kTextSize));
            drawCell(p, row.at(c).value, x + captionWidth, top, third - captionWidth, kCaptionRowHeight, false);
        }
    }

    // The column headings in their ruled box.
    const QVector<QPair<double, double>> spans = columnSpans(d);
    p.setPen(QPen(Qt::black, 0.8));
    p.drawRect(QRectF(left, g.headingTop, width, kHeadingBoxHeight));
    p.setFont(reportFont(kTextSize, true));
    for (int c = 0; c < d.columns.size(); ++c)
        drawCell(p, d.columns.at(c).heading, spans.at(c).first, g.headingTop, spans.at(c).second, kHeadingBoxHeight,
                 d.columns.at(c).alignRight);

    // The page's detail lines.
    p.setFont(reportFont(kTextSize));
    if (m_spool && page >= 0 && page < m_spool->pageStarts.size()) {
        Spool& s = *m_spool;
        s.writing = false;
        s.file.seek(s.pageStarts.at(page));
        const qint64 first = qint64(page) * rowsPerPage();
        const qint64 last = std::min(s.rows, first + rowsPerPage());
        QStringList row;
        for (qint64 i = first; i < last; ++i) {
            s.stream >> row;
            const double top = g.detailTop + double(i - first) * kLineHeight;
            for (int c = 0; c < d.columns.size(); ++c)
                drawCell(p, row.value(c), spans.at(c).first, top, spans.at(c).second, kLineHeight,
                         d.columns.at(c).alignRight);
        }
    }
    p.restore();
}

void Report::paintPage(QPainter& painter, int page, double dotsPerInch) const
{
    painter.save();
    painter.scale(dotsPerInch / 72.0, dotsPerInch / 72.0);
    paintPageInPoints(painter, page);
    painter.restore();
}

OperationResult Report::print(QPagedPaintDevice& device, UserTalk& talk, int firstPage, int lastPage) const
{
    const int from = std::clamp(firstPage > 0 ? firstPage - 1 : 0, 0, pageCount() - 1);
    const int pages = std::clamp(lastPage > 0 ? lastPage : pageCount(), from + 1, pageCount());
    QPainter painter;
    if (!painter.begin(&device))
        return OperationResult::failed(QStringLiteral("The report could not be printed: the printer or file cannot be "
                                                      "opened."));
    QElapsedTimer last;
    last.start();
    for (int page = from; page < pages; ++page) {
        if (page > from && !device.newPage()) {
            painter.end();
            return OperationResult::failed(QStringLiteral("The report could not be printed: page %1 was refused.")
                                               .arg(page + 1));
        }
        paintPage(painter, page, device.logicalDpiX());
        if (last.elapsed() >= 100) {
            last.start();
            talk.progress(page + 1, pages);
            if (talk.cancelled()) {
                painter.end();
                return OperationResult::cancelled().count(QStringLiteral("Pages"), page + 1);
            }
        }
    }
    if (!painter.end())
        return OperationResult::failed(QStringLiteral("The report could not be printed to the end."));
    return OperationResult::done().count(QStringLiteral("Pages"), pages - from);
}

OperationResult Report::writePdf(const QString& fileName, UserTalk& talk) const
{
    const QFileInfo target(fileName);
    QTemporaryFile part(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!part.open())
        return OperationResult::failed(
            QStringLiteral("The report could not be saved as %1: %2").arg(fileName, part.errorString()));
    OperationResult result;
    {
        QPdfWriter writer(&part);
        writer.setPageSize(QPageSize(QPageSize::Letter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(m_definition.jobTitle.isEmpty() ? QStringLiteral("Merrowind Report") : m_definition.jobTitle);
        writer.setCreator(QStringLiteral("Merrowind"));
        result = print(writer, talk);
    }
    if (!result.isDone())
        return result;
    if (!part.flush() || part.error() != QFileDevice::NoError || part.size() == 0)
        return OperationResult::failed(
            QStringLiteral("The report could not be saved as %1: %2").arg(fileName, part.errorString()));
    part.close();
    if (std::rename(QFile::encodeName(part.fileName()).constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return OperationResult::failed(QStringLiteral("The report could not be saved as %1: %2")
                                           .arg(fileName, QString::fromLocal8Bit(std::strerror(errno))));
    part.setAutoRemove(false);
    ::chmod(QFile::encodeName(target.absoluteFilePath()).constData(), 0644);
    return result;
}

} // namespace mw
