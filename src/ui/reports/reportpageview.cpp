#include "reports/reportpageview.h"

#include "reports/report.h"

#include <QPainter>
#include <QPaintEvent>

#include <cmath>

namespace mw {

ReportPageView::ReportPageView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setPixelsPerPoint(1);
}

void ReportPageView::setReport(const Report* report)
{
    m_report = report;
    update();
}

void ReportPageView::setPage(int page)
{
    if (page == m_page)
        return;
    m_page = page;
    update();
}

void ReportPageView::setPixelsPerPoint(double scale)
{
    m_scale = scale > 0 ? scale : 1;
    setFixedSize(sizeHint());
    update();
}

QSize ReportPageView::sizeHint() const
{
    return {int(std::lround(Report::kPageWidth * m_scale)), int(std::lround(Report::kPageHeight * m_scale))};
}

void ReportPageView::paintEvent(QPaintEvent* e)
{
    QPainter painter(this);
    painter.fillRect(e->rect(), Qt::white);
    if (!m_report)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setClipRect(e->rect());
    m_report->paintPage(painter, m_page, 72.0 * m_scale);
}

} // namespace mw
