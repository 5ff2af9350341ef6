#include "maintenance/puregdeleteform.h"

#include "ui_puregdeleteform.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace mw {

namespace {

// The animation: a document travels into the waste bin, over and over.
constexpr int kFrames = 8;
constexpr int kIcon = 24;
constexpr int kMargin = 8;

} // namespace

TPuregDeleteForm::TPuregDeleteForm(QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TPuregDeleteForm>())
    , m_animation(new QTimer(this))
{
    m_ui->setupUi(this);
    // Cancel stops the operation at its next safe point: what is done stays.
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelBtn"));
    m_ui->mainLayout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, &TPuregDeleteForm::CancelClick);
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint &
                   ~Qt::WindowContextHelpButtonHint);

    m_animation->setInterval(120);
    connect(m_animation, &QTimer::timeout, this, &TPuregDeleteForm::Animate1Timer);
    Animate1Timer(); // the first frame, so the window has its size before it shows
}

TPuregDeleteForm::~TPuregDeleteForm() = default;

PurgeView TPuregDeleteForm::view()
{
    QPointer<TPuregDeleteForm> self(this);
    PurgeView v;
    v.show = [self] {
        if (self)
            self->FormShow();
    };
    v.step = [self](const QString& text) {
        if (self)
            self->SetStep(text);
    };
    v.hide = [self] {
        if (self)
            self->FormHide();
    };
    v.cancelled = [self] { return self && self->m_cancelRequested; };
    return v;
}

void TPuregDeleteForm::FormShow()
{
    m_running = true;
    m_cancelRequested = false;
    m_cancel->setEnabled(true);
    m_frame = 0;
    Animate1Timer();
    m_animation->start();
    if (!isVisible()) {
        show();
        raise();
    }
    QCoreApplication::processEvents(); // laid out and mapped before the first step
    repaint();
}

void TPuregDeleteForm::SetStep(const QString& text)
{
    m_ui->Label2->setText(text);
    if (!isVisible())
        return;
    // The window is modal while shown: the events let it paint and the animation
    // move, and no other command can start meanwhile.
    QCoreApplication::processEvents();
    repaint();
}

void TPuregDeleteForm::FormHide()
{
    m_running = false;
    m_animation->stop();
    hide();
}

void TPuregDeleteForm::Animate1Timer()
{
    const int width = m_ui->Animate1->minimumWidth();
    const int height = m_ui->Animate1->minimumHeight();
    QPixmap frame(width, height);
    frame.fill(Qt::transparent);
    {
        QPainter p(&frame);
        const int top = (height - kIcon) / 2;
        const int bin = width - kMargin - kIcon;
        p.drawPixmap(bin, top, style()->standardIcon(QStyle::SP_TrashIcon).pixmap(kIcon, kIcon));
        if (m_frame < kFrames - 1) { // the last frame: the document is in the bin
            const int x = kMargin + (bin - kIcon - kMargin) * m_frame / (kFrames - 2);
            p.drawPixmap(x, top, style()->standardIcon(QStyle::SP_FileIcon).pixmap(kIcon, kIcon));
        }
    }
    m_ui->Animate1->setPixmap(frame);
    m_frame = (m_frame + 1) % kFrames;
}

void TPuregDeleteForm::CancelClick()
{
    m_cancelRequested = true;
    m_cancel->setEnabled(false);
}

void TPuregDeleteForm::reject()
{
    if (m_running)
        CancelClick(); // Escape while the operation runs is its Cancel
    else
        QDialog::reject();
}

void TPuregDeleteForm::closeEvent(QCloseEvent* e)
{
    if (m_running) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

} // namespace mw
