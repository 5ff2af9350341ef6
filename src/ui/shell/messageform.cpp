#include "shell/messageform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TMessageForm::TMessageForm(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Merrowind"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint &
                   ~Qt::WindowContextHelpButtonHint);

    Label2 = new QLabel(QStringLiteral("Merrowind"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont big = Label2->font();
    big.setPointSize(big.pointSize() * 2 + 6);
    big.setBold(true);
    Label2->setFont(big);
    Label2->setAlignment(Qt::AlignCenter);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label1->setMinimumWidth(320);

    Animate1 = new QProgressBar(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setRange(0, 0);
    Animate1->setTextVisible(false);

    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    CancelBtn->setVisible(false);
    connect(CancelBtn, &QPushButton::clicked, this, &TMessageForm::pressCancel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CancelBtn);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addWidget(Label1);
    layout->addWidget(Animate1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setVisible(false);
}

void TMessageForm::setText(const QString& text)
{
    Label1->setText(text);
    if (isVisible())
        repaint();
}

QString TMessageForm::text() const { return Label1->text(); }

void TMessageForm::setProgress(qint64 done, qint64 total)
{
    if (total <= 0) {
        Animate1->setRange(0, 0);
        return;
    }
    // The bar counts in int; long loops are shown in thousandths.
    const int steps = 1000;
    const qint64 at = qBound<qint64>(0, done, total) * steps / total;
    Animate1->setRange(0, steps);
    Animate1->setValue(static_cast<int>(at));
}

void TMessageForm::setCancellable(bool cancellable)
{
    m_cancellable = cancellable;
    m_cancelPressed = false;
    CancelBtn->setVisible(cancellable);
    CancelBtn->setEnabled(true);
}

void TMessageForm::reject()
{
    if (m_cancellable)
        pressCancel();
}

void TMessageForm::pressCancel()
{
    if (!m_cancellable)
        return;
    m_cancelPressed = true;
    CancelBtn->setEnabled(false);
}
