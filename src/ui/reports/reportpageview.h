#pragma once
// One page of a report on screen, painted when it is looked at: the widget is the
// size of the page at the chosen scale and its paint event asks the report for
// that one page, so a report of thousands of pages shows its first page at once.
// Used by the report preview (reports/reportpreview.h).

#include <QWidget>

namespace mw {

class Report;

class ReportPageView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReportPageView)

public:
    explicit ReportPageView(QWidget* parent = nullptr);

    // The report whose pages are shown; null shows a blank page.
    void setReport(const Report* report);
    // The page shown (0-based).
    void setPage(int page);
    int page() const { return m_page; }
    // Screen pixels per point of paper; the widget takes the page's size at it.
    void setPixelsPerPoint(double scale);
    double pixelsPerPoint() const { return m_scale; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    const Report* m_report = nullptr;
    int m_page = 0;
    double m_scale = 1;
};

} // namespace mw
