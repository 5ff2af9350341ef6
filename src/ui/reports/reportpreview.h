#pragma once
// The report preview: a report the core has made, shown one page at a time and
// painted only when looked at (the first page at once, however many there are),
// with First, Prior, Next, Last and a page number box (scrolling on past a page's
// foot or head turns it), a zoom (fit width, whole page, 100%), "Print" onto the printer chosen in Printer Settings (every page,
// full page, US Letter, the report's job title as the document name), "Save as
// PDF" and "Close". Shown modally by the Reports menu's commands, which end when
// it is closed. Printing and saving go through the talk's please-wait window with
// Cancel; their failures are shown as errors.

#include <QDialog>

#include <functional>
#include <memory>

class QPrinter;

namespace Ui {
class TReportPreview;
}

namespace mw {

class HelpSystem;
class Report;
class UserTalk;

class TReportPreview final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TReportPreview)

public:
    // The report, the printer and the talk outlive the window; helpTopic is the
    // report's help section (F1, the Help button).
    TReportPreview(const Report& report, QPrinter& printer, HelpSystem& help, int helpTopic, UserTalk& talk,
                   QWidget* parent = nullptr);
    ~TReportPreview() override;

    const Report& report() const { return m_report; }
    // The page shown, 0-based; showPage keeps it within the report.
    int currentPage() const { return m_page; }
    void showPage(int page);

    // Asks where to save the PDF (the suggested file name given); empty for Cancel.
    // By default a save dialog filtered to "PDF Files (*.pdf)".
    std::function<QString(const QString& suggested)> askPdfFileName;

    // The caption a report's preview has: its job title (or "Merrowind Report") and
    // its subtitle, unless the title says it already.
    static QString captionOf(const Report& report);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void PrintBtnClick();
    void SaveBtnClick();
    void ZoomBoxChange();
    void fitZoom();
    bool turnPage(int direction);

    std::unique_ptr<Ui::TReportPreview> m_ui;
    const Report& m_report;
    QPrinter& m_printer;
    HelpSystem& m_help;
    UserTalk& m_talk;
    int m_page = 0;
    int m_wheel = 0; // the wheel's turn gathered at a page's end, in eighths of a degree
};

} // namespace mw
