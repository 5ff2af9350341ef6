#include "shell/messageform.h"

#include "ui_messageform.h"

namespace mw {

TMessageForm::TMessageForm(QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TMessageForm>())
{
    m_ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint &
                   ~Qt::WindowContextHelpButtonHint);

    // The name is twice the size of the desktop's font, and then some.
    QFont big = m_ui->Label2->font();
    big.setPointSize(big.pointSize() * 2 + 6);
    big.setBold(true);
    m_ui->Label2->setFont(big);

    m_ui->CancelBtn->setVisible(false);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &TMessageForm::CancelBtnClick);

    setVisible(false);
}

TMessageForm::~TMessageForm() = default;

void TMessageForm::setText(const QString& text)
{
    m_ui->Label1->setText(text);
    if (isVisible())
        repaint();
}

QString TMessageForm::text() const { return m_ui->Label1->text(); }

void TMessageForm::setProgress(qint64 done, qint64 total)
{
    if (total <= 0) {
        m_ui->Animate1->setRange(0, 0);
        return;
    }
    // The bar counts in int; long loops are shown in thousandths.
    const int steps = 1000;
    const qint64 at = qBound<qint64>(0, done, total) * steps / total;
    m_ui->Animate1->setRange(0, steps);
    m_ui->Animate1->setValue(static_cast<int>(at));
}

void TMessageForm::setCancellable(bool cancellable)
{
    m_cancellable = cancellable;
    m_cancelPressed = false;
    m_ui->CancelBtn->setVisible(cancellable);
    m_ui->CancelBtn->setEnabled(true);
}

void TMessageForm::reject()
{
    if (m_cancellable)
        CancelBtnClick();
}

void TMessageForm::CancelBtnClick()
{
    if (!m_cancellable)
        return;
    m_cancelPressed = true;
    m_ui->CancelBtn->setEnabled(false);
}

} // namespace mw
