#include "reports/reportpreview.h"

#include "ui_reportpreview.h"

#include "reports/report.h"
#include "shared/operation.h"
#include "shared/usertalk.h"
#include "shell/helpviewer.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace mw {

namespace {

enum Zoom { FitWidth = 0, WholePage = 1, ActualSize = 2 };

constexpr int kPageMargin = 8; // pixels of grey around the page

QString jobTitleOf(const Report& report)
{
    const QString title = report.definition().jobTitle;
    return title.isEmpty() ? QStringLiteral("Merrowind Report") : title;
}

} // namespace

QString TReportPreview::captionOf(const Report& report)
{
    const ReportDefinition& d = report.definition();
    QString caption = jobTitleOf(report);
    if (!d.subtitle.isEmpty() && !caption.contains(d.subtitle))
        caption += QStringLiteral(" - ") + d.subtitle;
    if (!d.subtitle2.isEmpty())
        caption += QLatin1Char(' ') + d.subtitle2;
    return caption;
}

TReportPreview::TReportPreview(const Report& report, QPrinter& printer, HelpSystem& help, int helpTopic,
                               UserTalk& talk, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TReportPreview>())
    , m_report(report)
    , m_printer(printer)
    , m_help(help)
    , m_talk(talk)
{
    m_ui->setupUi(this);
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowMaximizeButtonHint);
    setWindowTitle(captionOf(report));

    // Most of the screen's height, a little wider than that for the page.
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        const int height = room.height() * 9 / 10;
        const int widest = std::max(room.width() * 9 / 10, 1);
        resize(std::clamp(height, std::min(860, widest), widest), height);
    }
    m_ui->ScrollBox->setBackgroundRole(QPalette::Dark);
    m_ui->ScrollBox->viewport()->installEventFilter(this);
    m_ui->ScrollBox->installEventFilter(this);
    m_ui->PageView->setReport(&m_report);
    m_ui->PageBox->setMaximum(m_report.pageCount());
    m_ui->PageCountLabel->setText(QStringLiteral("of %1").arg(m_report.pageCount()));

    m_help.attach(this, helpTopic);
    if (QPushButton* helpBtn = m_help.makeHelpButton(this, helpTopic)) {
        helpBtn->setObjectName(QStringLiteral("HelpBtn"));
        m_ui->buttonsLayout->insertWidget(m_ui->buttonsLayout->indexOf(m_ui->CloseBtn), helpBtn);
    }

    askPdfFileName = [this](const QString& suggested) {
        QFileDialog dialog(this, QStringLiteral("Save as PDF"), suggested, QStringLiteral("PDF Files (*.pdf)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("pdf"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };

    connect(m_ui->PrintBtn, &QPushButton::clicked, this, &TReportPreview::PrintBtnClick);
    connect(m_ui->SaveBtn, &QPushButton::clicked, this, &TReportPreview::SaveBtnClick);
    connect(m_ui->CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->FirstBtn, &QPushButton::clicked, this, [this] { showPage(0); });
    connect(m_ui->PriorBtn, &QPushButton::clicked, this, [this] { showPage(m_page - 1); });
    connect(m_ui->NextBtn, &QPushButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(m_ui->LastBtn, &QPushButton::clicked, this, [this] { showPage(m_report.pageCount() - 1); });
    connect(m_ui->PageBox, &QSpinBox::valueChanged, this, [this](int shown) { showPage(shown - 1); });
    connect(m_ui->ZoomBox, &QComboBox::currentIndexChanged, this, &TReportPreview::ZoomBoxChange);

    // Ctrl with Home, PgUp, PgDn and End moves as the buttons do (their letters stay theirs).
    const auto key = [this](QKeyCombination keys, QPushButton* button) {
        connect(new QShortcut(QKeySequence(keys), this), &QShortcut::activated, button, &QPushButton::click);
    };
    key(Qt::CTRL | Qt::Key_Home, m_ui->FirstBtn);
    key(Qt::CTRL | Qt::Key_PageUp, m_ui->PriorBtn);
    key(Qt::CTRL | Qt::Key_PageDown, m_ui->NextBtn);
    key(Qt::CTRL | Qt::Key_End, m_ui->LastBtn);

    showPage(0);
    fitZoom();
    m_ui->ScrollBox->setFocus(); // the keys scroll the page
}

TReportPreview::~TReportPreview() = default;

void TReportPreview::showPage(int page)
{
    page = std::clamp(page, 0, m_report.pageCount() - 1);
    m_page = page;
    m_ui->PageView->setPage(page);
    {
        const QSignalBlocker quiet(m_ui->PageBox);
        m_ui->PageBox->setValue(page + 1);
    }
    const bool last = page == m_report.pageCount() - 1;
    m_ui->FirstBtn->setEnabled(page > 0);
    m_ui->PriorBtn->setEnabled(page > 0);
    m_ui->NextBtn->setEnabled(!last);
    m_ui->LastBtn->setEnabled(!last);
    m_ui->ScrollBox->verticalScrollBar()->setValue(0);
}

void TReportPreview::ZoomBoxChange() { fitZoom(); }

// The page's scale for the zoom chosen and the room the window gives it.
void TReportPreview::fitZoom()
{
    const QSize room = m_ui->ScrollBox->viewport()->size() - QSize(2 * kPageMargin, 2 * kPageMargin);
    const double across = room.width() / Report::kPageWidth;
    double scale = logicalDpiX() / 72.0;
    switch (m_ui->ZoomBox->currentIndex()) {
    case FitWidth:
        scale = across;
        break;
    case WholePage:
        scale = std::min(across, room.height() / Report::kPageHeight);
        break;
    default:
        break;
    }
    m_ui->PageView->setPixelsPerPoint(std::max(scale, 0.2));
}

// Scrolling on past the end of a page turns it: at the foot the next page shows
// from its head, at the head the prior page from its foot. False when the page is
// not scrolled to that end or there is no page to turn to.
bool TReportPreview::turnPage(int direction)
{
    QScrollBar* bar = m_ui->ScrollBox->verticalScrollBar();
    const bool atEnd = direction > 0 ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum();
    const int target = m_page + direction;
    if (!atEnd || target < 0 || target >= m_report.pageCount())
        return false;
    showPage(target);
    if (direction < 0)
        bar->setValue(bar->maximum());
    return true;
}

bool TReportPreview::eventFilter(QObject* watched, QEvent* e)
{
    QWidget* viewport = m_ui->ScrollBox->viewport();
    if (watched == viewport && e->type() == QEvent::Resize && m_ui->ZoomBox->currentIndex() != ActualSize)
        fitZoom();
    if (watched == viewport && e->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(e)->angleDelta().y();
        const QScrollBar* bar = m_ui->ScrollBox->verticalScrollBar();
        const bool atEnd = delta < 0 ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum();
        if (delta == 0 || !atEnd) {
            m_wheel = 0; // the page scrolls
            return QDialog::eventFilter(watched, e);
        }
        // A whole notch of the wheel (or a touchpad's worth) past the end turns the page.
        if ((m_wheel < 0) != (delta < 0))
            m_wheel = 0;
        m_wheel += delta;
        if (std::abs(m_wheel) >= 120) {
            turnPage(m_wheel < 0 ? 1 : -1);
            m_wheel = 0;
        }
        return true;
    }
    if (watched == m_ui->ScrollBox && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->modifiers() == Qt::NoModifier && (key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp) &&
            turnPage(key->key() == Qt::Key_PageDown ? 1 : -1))
            return true;
    }
    return QDialog::eventFilter(watched, e);
}

void TReportPreview::PrintBtnClick()
{
    m_printer.setDocName(jobTitleOf(m_report));
    m_printer.setFullPage(true);
    m_printer.setPageOrientation(QPageLayout::Portrait);
    m_printer.setPageSize(QPageSize(QPageSize::Letter));
    OperationSteps steps;
    steps.waitText = QStringLiteral("Please Wait, Printing The Report");
    steps.cancellable = true;
    // The range chosen in Printer Settings, when one was (0: from the first, to the last).
    steps.work = [this](UserTalk& talk) {
        const bool range = m_printer.printRange() == QPrinter::PageRange;
        return m_report.print(m_printer, talk, range ? m_printer.fromPage() : 0, range ? m_printer.toPage() : 0);
    };
    runOperation(m_talk, steps);
}

void TReportPreview::SaveBtnClick()
{
    const QString suggested =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath((m_report.definition().subtitle.isEmpty() ? jobTitleOf(m_report) : m_report.definition().subtitle) +
                      QStringLiteral(".pdf"));
    const QString file = askPdfFileName ? askPdfFileName(suggested) : QString();
    if (file.isEmpty())
        return;
    OperationSteps steps;
    steps.waitText = QStringLiteral("Please Wait, Writing The Report");
    steps.cancellable = true;
    steps.work = [this, &file](UserTalk& talk) { return m_report.writePdf(file, talk); };
    runOperation(m_talk, steps);
}

} // namespace mw
