#include "web/ftpform.h"

#include "ui_ftpform.h"

#include "shared/operation.h"
#include "web/ftppublisher.h"

#include <QCloseEvent>

#include <algorithm>

namespace mw {

TFTPForm::TFTPForm(TMerrowindData& dataModule, UserTalk& talk, QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::TFTPForm>())
    , m_publisher(std::make_unique<FtpPublisher>(dataModule, talk))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    FtpPublisher& p = *m_publisher;
    p.ShowStatus = [this](const QString& text) { m_ui->StatusLabel->setText(text); };
    p.ShowProgress = [this](int position, int maximum) { ShowProgress(position, maximum); };
    p.ShowRequisition = [this](const QString& department, const QString& requisition, const QString& jobTitle) {
        ShowRequisition(department, requisition, jobTitle);
    };
    // Asked on this thread while a transfer runs, which keeps the window's events going.
    p.StopRequested = [this] { return m_stopRequested; };
}

TFTPForm::~TFTPForm() = default;

void TFTPForm::ShowRequisition(const QString& department, const QString& requisition, const QString& jobTitle)
{
    m_ui->DeptLabel->setText(department);
    m_ui->ReqLabel->setText(requisition);
    m_ui->TitleLabel->setText(jobTitle);
}

// The publisher counts a list's steps from 0 to its length with the length less one
// as the maximum, and an empty list with -1: the bar takes whichever is larger and is
// never a busy indicator (0 to 0).
void TFTPForm::ShowProgress(int position, int maximum)
{
    m_ui->ProgressBar1->setRange(0, std::max({maximum, position, 1}));
    m_ui->ProgressBar1->setValue(std::max(position, 0));
}

void TFTPForm::closeEvent(QCloseEvent* e)
{
    if (operationRunning()) {
        m_stopRequested = true; // the work stops; its caller releases the window
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}

} // namespace mw
